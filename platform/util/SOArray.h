#pragma once

#include <memory>
#include <utility>
#include <vector>

// Ordered list that keeps each element in its own heap cell, so an element's address stays
// put while others are added or removed. Copying an array copies every element.
template <typename T>
class SOArray {
 public:
  SOArray() = default;
  SOArray(const SOArray& other) { CopyFrom(other); }
  SOArray(SOArray&&) noexcept = default;
  SOArray& operator=(const SOArray& other) {
    if (this != &other) {
      Clear();
      CopyFrom(other);
    }
    return *this;
  }
  SOArray& operator=(SOArray&&) noexcept = default;

  void Add(const T& value) { cells_.push_back(std::make_unique<T>(value)); }
  // Inserts before index; an index at or past the end appends.
  void Insert(int index, const T& value) {
    if (index < 0) index = 0;
    if (index >= GetLength()) {
      Add(value);
      return;
    }
    cells_.insert(cells_.begin() + index, std::make_unique<T>(value));
  }
  // False for an index out of range.
  bool Remove(int index) {
    if (index < 0 || index >= GetLength()) return false;
    cells_.erase(cells_.begin() + index);
    return true;
  }
  // The index must be within 0 .. GetLength() - 1.
  T& GetValue(int index) { return *cells_[index]; }
  const T& GetValue(int index) const { return *cells_[index]; }
  T& operator[](int index) { return *cells_[index]; }
  const T& operator[](int index) const { return *cells_[index]; }
  int GetLength() const { return static_cast<int>(cells_.size()); }
  void Clear() { cells_.clear(); }

 private:
  void CopyFrom(const SOArray& other) {
    cells_.reserve(other.cells_.size());
    for (const auto& cell : other.cells_) cells_.push_back(std::make_unique<T>(*cell));
  }

  std::vector<std::unique_ptr<T>> cells_;
};
