#include "DcmTagOrder.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctag.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kItem = 0xFFFEE000;
constexpr uint32_t kItemEnd = 0xFFFEE00D;
constexpr uint32_t kSequenceEnd = 0xFFFEE0DD;
constexpr uint32_t kPixelData = 0x7FE00010;
constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;

bool LongVR(const unsigned char* vr) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  return std::any_of(std::begin(kLong), std::end(kLong), [&](const char* v) { return std::memcmp(v, vr, 2) == 0; });
}

}  // namespace

DcmTagOrder::DcmTagOrder(bool explicitVR, bool bigEndian) : explicit_(explicitVR), big_(bigEndian) {
  levels_.push_back({Kind::Elements, kUndefined});
}

uint16_t DcmTagOrder::Read16(const unsigned char* p) const {
  return big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

uint32_t DcmTagOrder::Read32(const unsigned char* p) const {
  return big_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
              : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

void DcmTagOrder::Feed(const unsigned char* bytes, size_t n) {
  while (n > 0 && !lost_) {
    if (skip_ > 0) {
      const size_t take = size_t(std::min<uint64_t>(skip_, n));
      skip_ -= take;
      offset_ += take;
      bytes += take;
      n -= take;
      continue;
    }
    const size_t take = std::min(n, headerNeed_ - headerHave_);
    std::memcpy(header_ + headerHave_, bytes, take);
    headerHave_ += take;
    offset_ += take;
    bytes += take;
    n -= take;
    if (headerHave_ == headerNeed_) Header();
  }
}

void DcmTagOrder::Close(uint64_t at) {
  // Levels of defined length end where their length says, before the next header.
  while (levels_.size() > 1 && levels_.back().end != kUndefined && at >= levels_.back().end) levels_.pop_back();
}

void DcmTagOrder::Header() {
  const uint64_t start = offset_ - headerHave_;
  Close(start);
  const uint32_t tag = Tag(header_);
  Level& level = levels_.back();
  if (level.kind != Kind::Elements || tag == kItemEnd || tag == kItem || tag == kSequenceEnd) {
    // Items and delimiters: tag and a 4-byte length, whatever the VR encoding.
    const uint32_t length = Read32(header_ + 4);
    headerHave_ = 0;
    headerNeed_ = 8;
    const uint64_t end = length == kUndefinedLength ? kUndefined : offset_ + length;
    if (tag == kItemEnd && level.kind == Kind::Elements && levels_.size() > 1 && level.end == kUndefined) {
      levels_.pop_back();
    } else if (tag == kSequenceEnd && level.kind != Kind::Elements && level.end == kUndefined) {
      levels_.pop_back();
    } else if (tag == kItem && level.kind == Kind::Items) {
      levels_.push_back({Kind::Elements, end});
    } else if (tag == kItem && level.kind == Kind::Fragments && end != kUndefined) {
      skip_ = length;
    } else {
      lost_ = true;
    }
    return;
  }
  // An element of a data set.
  if (explicit_ && headerNeed_ == 8 && LongVR(header_ + 4)) {
    headerNeed_ = 12;  // two reserved bytes, then a 4-byte length
    return;
  }
  if (level.last != 0 && tag <= level.last) ++backward_;
  bool sequence = false;
  uint32_t length = 0;
  if (explicit_) {
    sequence = std::memcmp(header_ + 4, "SQ", 2) == 0 ||
               (std::memcmp(header_ + 4, "UN", 2) == 0 && Read32(header_ + 8) == kUndefinedLength);
    length = headerNeed_ == 12 ? Read32(header_ + 8) : Read16(header_ + 6);
  } else {
    length = Read32(header_ + 4);
    sequence = length == kUndefinedLength ||
               DcmTag(DcmTagKey(Uint16(tag >> 16), Uint16(tag & 0xFFFF))).getEVR() == EVR_SQ;
  }
  level.last = tag;
  headerHave_ = 0;
  headerNeed_ = 8;
  const uint64_t end = length == kUndefinedLength ? kUndefined : offset_ + length;
  if (tag == kPixelData && length == kUndefinedLength) {
    levels_.push_back({Kind::Fragments, end});
  } else if (sequence) {
    levels_.push_back({Kind::Items, end});
  } else if (length == kUndefinedLength) {
    lost_ = true;
  } else {
    skip_ = length;
  }
}
