#pragma once

#include <vector>

// Ordered list of borrowed pointers; the array never frees what they point to.
class SOPtrArray {
 public:
  void Add(void* value) { items_.push_back(value); }
  // Inserts before index; an index at or past the end appends.
  void Insert(int index, void* value) {
    if (index < 0) index = 0;
    if (index >= GetLength()) index = GetLength();
    items_.insert(items_.begin() + index, value);
  }
  // False for an index out of range.
  bool Remove(int index) {
    if (index < 0 || index >= GetLength()) return false;
    items_.erase(items_.begin() + index);
    return true;
  }
  // Null for an index out of range.
  void* GetValue(int index) const { return index >= 0 && index < GetLength() ? items_[index] : nullptr; }
  int GetLength() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }

 private:
  std::vector<void*> items_;
};
