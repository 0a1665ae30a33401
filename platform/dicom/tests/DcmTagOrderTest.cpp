// Counting elements out of order in encoded data sets fed in pieces of every size.

#include "DcmTagOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Encodes elements by hand, in one transfer syntax's VR and byte order.
struct Encoder {
  bool explicitVR;
  bool big;
  std::string out;

  void U16(uint16_t v) { out += big ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)}; }
  void U32(uint32_t v) {
    if (big) {
      U16(uint16_t(v >> 16));
      U16(uint16_t(v));
    } else {
      U16(uint16_t(v));
      U16(uint16_t(v >> 16));
    }
  }
  void Tag(uint32_t tag) {
    U16(uint16_t(tag >> 16));
    U16(uint16_t(tag));
  }
  // An element with a short value; long says whether its VR has a 4-byte length.
  Encoder& Element(uint32_t tag, const char* vr, const std::string& value) {
    Tag(tag);
    const bool longVR = std::string("OB OW SQ UN UT").find(vr) != std::string::npos;
    if (!explicitVR) {
      U32(uint32_t(value.size()));
    } else if (longVR) {
      out += vr;
      U16(0);
      U32(uint32_t(value.size()));
    } else {
      out += vr;
      U16(uint16_t(value.size()));
    }
    out += value;
    return *this;
  }
  // A sequence of undefined length opening, an item of undefined length, their ends.
  Encoder& Open(uint32_t tag) {
    Tag(tag);
    if (explicitVR) {
      out += "SQ";
      U16(0);
    }
    U32(0xFFFFFFFF);
    return *this;
  }
  Encoder& Delimiter(uint32_t tag, uint32_t length = 0) {
    Tag(tag);
    U32(length);
    return *this;
  }
};

size_t BackwardInPieces(const std::string& bytes, bool explicitVR, bool big, size_t piece, bool* lost = nullptr) {
  DcmTagOrder order(explicitVR, big);
  for (size_t at = 0; at < bytes.size(); at += piece)
    order.Feed(reinterpret_cast<const unsigned char*>(bytes.data()) + at, std::min(piece, bytes.size() - at));
  if (lost) *lost = order.Lost();
  return order.Backward();
}

}  // namespace

TEST(DcmTagOrder, CountsElementsOutOfOrderAtEveryLevel) {
  struct Syntax {
    bool explicitVR, big;
  };
  for (Syntax syntax : {Syntax{false, false}, Syntax{true, false}, Syntax{true, true}}) {
    // In order throughout: a sequence (0008,1115) of two items, one of defined length with an
    // element whose tag is lower than the sequence's, and encapsulated pixel data whose
    // fragments hold bytes that read as descending tags.
    Encoder ordered{syntax.explicitVR, syntax.big};
    ordered.Element(0x00080016, "UI", "1.2").Element(0x00080018, "UI", "1.3").Open(0x00081115);
    ordered.Delimiter(0xFFFEE000, 0xFFFFFFFF).Element(0x00081150, "UI", "4.5").Element(0x00081155, "UI", "4.6");
    ordered.Delimiter(0xFFFEE00D);
    Encoder item{syntax.explicitVR, syntax.big};
    item.Element(0x00080005, "CS", "ISO_IR 100");
    ordered.Delimiter(0xFFFEE000, uint32_t(item.out.size()));
    ordered.out += item.out;
    ordered.Delimiter(0xFFFEE0DD).Element(0x00100010, "PN", "A^B");
    Encoder junk{syntax.explicitVR, syntax.big};
    junk.Element(0x00300000, "LO", "xx").Element(0x00200000, "LO", "yy");
    ordered.Tag(0x7FE00010);
    if (syntax.explicitVR) ordered.out += std::string("OB\0\0", 4);
    ordered.U32(0xFFFFFFFF);
    ordered.Delimiter(0xFFFEE000, 0).Delimiter(0xFFFEE000, uint32_t(junk.out.size()));
    ordered.out += junk.out;
    ordered.Delimiter(0xFFFEE0DD);

    // Out of order: three elements at the top level, one inside an item.
    Encoder backward{syntax.explicitVR, syntax.big};
    backward.Element(0x00100010, "PN", "A^B").Element(0x00080018, "UI", "1.3").Element(0x00080016, "UI", "1.2");
    backward.Open(0x00081115).Delimiter(0xFFFEE000, 0xFFFFFFFF).Element(0x00081155, "UI", "4.6");
    backward.Element(0x00081150, "UI", "4.5").Delimiter(0xFFFEE00D).Delimiter(0xFFFEE0DD);
    backward.Element(0x00081090, "LO", "again");

    for (size_t piece : {size_t(1), size_t(3), size_t(7), size_t(4096)}) {
      bool lost = true;
      EXPECT_EQ(BackwardInPieces(ordered.out, syntax.explicitVR, syntax.big, piece, &lost), 0u)
          << syntax.explicitVR << syntax.big << " piece " << piece;
      EXPECT_FALSE(lost);
      EXPECT_EQ(BackwardInPieces(backward.out, syntax.explicitVR, syntax.big, piece, &lost), 4u)
          << syntax.explicitVR << syntax.big << " piece " << piece;
      EXPECT_FALSE(lost);
    }
  }
}

TEST(DcmTagOrder, BytesThatAreNoElementsStopTheCount) {
  Encoder stray{true, false};
  stray.Element(0x00100010, "PN", "A^B").Delimiter(0xFFFEE0DD).Element(0x00080016, "UI", "1.2");
  bool lost = false;
  EXPECT_EQ(BackwardInPieces(stray.out, true, false, 5, &lost), 0u);
  EXPECT_TRUE(lost);
}
