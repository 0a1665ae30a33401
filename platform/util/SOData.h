#pragma once

#include <algorithm>
#include <cstdint>

// A buffer of count elements. When owned, the holder frees data (array delete) on reset or
// destruction; a holder over somebody else's buffer has owned false. Copies are deep, so two
// holders never free the same buffer.
template <typename T>
struct SOData {
  uint32_t count = 0;
  T* data = nullptr;
  bool owned = true;

  SOData() = default;
  // Wraps a borrowed buffer.
  SOData(T* buffer, uint32_t n) : count(n), data(buffer), owned(false) {}
  SOData(const SOData& other) { Assign(other); }
  SOData(SOData&& other) noexcept : count(other.count), data(other.data), owned(other.owned) {
    other.count = 0;
    other.data = nullptr;
    other.owned = true;
  }
  SOData& operator=(const SOData& other) {
    if (this != &other) Assign(other);
    return *this;
  }
  SOData& operator=(SOData&& other) noexcept {
    if (this != &other) {
      Free();
      count = other.count;
      data = other.data;
      owned = other.owned;
      other.count = 0;
      other.data = nullptr;
      other.owned = true;
    }
    return *this;
  }
  ~SOData() { Free(); }

  void Free() {
    if (owned && data) delete[] data;
    data = nullptr;
    count = 0;
  }
  // n zero-filled elements, owned.
  void Resize(uint32_t n) {
    Free();
    if (n == 0) return;
    data = new T[n]();
    count = n;
    owned = true;
  }
  // An owned copy of the source's elements; an empty source leaves this empty.
  void Assign(const SOData& other) {
    if (this == &other) return;
    Free();
    if (other.count == 0 || !other.data) return;
    data = new T[other.count];
    std::copy(other.data, other.data + other.count, data);
    count = other.count;
    owned = true;
  }
};
