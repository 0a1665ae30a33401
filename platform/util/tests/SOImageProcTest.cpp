#include <gtest/gtest.h>

#include <vector>

#include "SOImageProc.h"

namespace {

constexpr uint32_t kBack = 0xFF000000;

// A 4 x 4 source whose pixel (x, y) is 0xFF000000 | (y << 8) | x.
std::vector<uint32_t> Source() {
  std::vector<uint32_t> src(16);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src[y * 4 + x] = 0xFF000000u | (y << 8) | x;
  return src;
}

TEST(SOImageProc, PerspectiveCopiesScalesAndMirrors) {
  const std::vector<uint32_t> src = Source();
  const SOPointF whole[4] = {{0, 0}, {3, 0}, {3, 3}, {0, 3}};

  // Same quadrilateral: a copy, placed with an offset.
  std::vector<uint32_t> dst(6 * 6, kBack);
  const SOPointF moved[4] = {{2, 1}, {5, 1}, {5, 4}, {2, 4}};
  ASSERT_TRUE(SOImageProc::Perspective(src.data(), 4, 4, whole, dst.data(), 6, 6, moved));
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 2 && y >= 1 && y <= 4;
      EXPECT_EQ(dst[y * 6 + x], inside ? src[(y - 1) * 4 + (x - 2)] : kBack) << x << "," << y;
    }
  }

  // Twice the size: destination (2x, 2y) takes source (x, y).
  std::vector<uint32_t> big(7 * 7, kBack);
  const SOPointF doubled[4] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}};
  ASSERT_TRUE(SOImageProc::Perspective(src.data(), 4, 4, whole, big.data(), 7, 7, doubled));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(big[2 * y * 7 + 2 * x], src[y * 4 + x]);

  // Corners given right to left: the picture is mirrored.
  std::vector<uint32_t> mirror(16, kBack);
  const SOPointF flipped[4] = {{3, 0}, {0, 0}, {0, 3}, {3, 3}};
  ASSERT_TRUE(SOImageProc::Perspective(src.data(), 4, 4, whole, mirror.data(), 4, 4, flipped));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(mirror[y * 4 + x], src[y * 4 + (3 - x)]);
}

TEST(SOImageProc, PerspectiveKeepsLinesStraightAndRefusesDegenerateInput) {
  // A trapezoid (a face seen at an angle): its middle column still takes the source's middle.
  std::vector<uint32_t> src(5 * 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) src[y * 5 + x] = x == 2 ? 0xFFFFFFFF : kBack;
  const SOPointF whole[4] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  const SOPointF trapezoid[4] = {{4, 0}, {16, 0}, {20, 20}, {0, 20}};
  std::vector<uint32_t> dst(21 * 21, 0);
  ASSERT_TRUE(SOImageProc::Perspective(src.data(), 5, 5, whole, dst.data(), 21, 21, trapezoid));
  for (int y = 0; y <= 20; y += 4) EXPECT_EQ(dst[y * 21 + 10], 0xFFFFFFFFu) << y;
  EXPECT_EQ(dst[0 * 21 + 1], 0u);  // left of the top edge: outside
  EXPECT_EQ(dst[20 * 21 + 1], kBack);

  const SOPointF line[4] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
  std::vector<uint32_t> untouched(16, 7);
  EXPECT_FALSE(SOImageProc::Perspective(src.data(), 5, 5, whole, untouched.data(), 4, 4, line));
  EXPECT_FALSE(SOImageProc::Perspective(nullptr, 5, 5, whole, untouched.data(), 4, 4, whole));
  for (uint32_t v : untouched) EXPECT_EQ(v, 7u);
}

}  // namespace
