#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Follows a data set's encoded bytes as they arrive, in pieces of any size, and counts the
// elements that come after an element of a higher or equal tag in the same data set or item.
// DCMTK takes time in the square of a data set's size to read its elements in descending order,
// so a receiver counts them before it parses. Sequences, items and encapsulated pixel data are
// followed; values are skipped unread. Deflated data sets cannot be followed.
class DcmTagOrder {
 public:
  DcmTagOrder(bool explicitVR, bool bigEndian);

  void Feed(const unsigned char* bytes, size_t n);
  // Elements out of order so far.
  size_t Backward() const { return backward_; }
  // The bytes stopped making sense as elements; nothing after that is counted.
  bool Lost() const { return lost_; }

 private:
  enum class Kind { Elements, Items, Fragments };
  struct Level {
    Kind kind;
    uint64_t end;       // offset past the level, kUndefined when a delimiter ends it
    uint32_t last = 0;  // the last element's tag, for Elements
  };
  static constexpr uint64_t kUndefined = ~uint64_t(0);

  uint16_t Read16(const unsigned char* p) const;
  uint32_t Read32(const unsigned char* p) const;
  uint32_t Tag(const unsigned char* p) const { return uint32_t(Read16(p)) << 16 | Read16(p + 2); }
  // The header in header_ is whole (headerNeed_ bytes) or needs more (headerNeed_ grows).
  void Header();
  void Close(uint64_t at);

  const bool explicit_;
  const bool big_;
  uint64_t offset_ = 0;       // bytes fed so far
  uint64_t skip_ = 0;         // value bytes still to pass
  unsigned char header_[12];
  size_t headerHave_ = 0, headerNeed_ = 8;
  std::vector<Level> levels_;
  size_t backward_ = 0;
  bool lost_ = false;
};
