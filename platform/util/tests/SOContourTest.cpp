#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SOContour.h"

namespace {

std::vector<std::string> Render(const std::vector<uint8_t>& mask, int rows, int cols) {
  std::vector<std::string> lines;
  for (int y = 0; y < rows; ++y) {
    std::string line;
    for (int x = 0; x < cols; ++x) line += mask[y * cols + x] ? char('0' + mask[y * cols + x]) : '.';
    lines.push_back(line);
  }
  return lines;
}

TEST(SOContour, FillsAConcaveUShapeButNotItsNotch) {
  constexpr int rows = 8, cols = 9;
  std::vector<uint8_t> mask(rows * cols, 0);
  // A U: outer box (1,1)-(7,6) with a notch from the top down to row 3 between x 3 and 5.
  const std::vector<SOPoint> u = {{1, 1}, {3, 1}, {3, 4}, {5, 4}, {5, 1}, {7, 1}, {7, 6}, {1, 6}};
  ASSERT_TRUE(SOContour::FillContour(mask.data(), rows, cols, u, 1));
  const std::vector<std::string> expected = {
      ".........",  //
      ".111.111.",  //
      ".111.111.",  //
      ".111.111.",  //
      ".1111111.",  //
      ".1111111.",  //
      ".1111111.",  //
      ".........",  //
  };
  EXPECT_EQ(Render(mask, rows, cols), expected);
}

TEST(SOContour, ClipsToTheMaskAndFillsEachLoopOfACrossingLasso) {
  constexpr int rows = 5, cols = 5;
  std::vector<uint8_t> mask(rows * cols, 0);
  // Far beyond the mask on every side: the whole mask is inside.
  ASSERT_TRUE(SOContour::FillContour(
      mask.data(), rows, cols, {{-100000, -100000}, {100000, -100000}, {100000, 100000}, {-100000, 100000}},
      3));
  for (uint8_t v : mask) EXPECT_EQ(v, 3);

  // A bow tie: both triangles are filled, the gaps above and below the crossing are not.
  std::vector<uint8_t> bow(7 * 7, 0);
  ASSERT_TRUE(SOContour::FillContour(bow.data(), 7, 7, {{0, 0}, {6, 6}, {6, 0}, {0, 6}}, 1));
  EXPECT_EQ(bow[3 * 7 + 1], 1);  // left triangle
  EXPECT_EQ(bow[3 * 7 + 5], 1);  // right triangle
  EXPECT_EQ(bow[1 * 7 + 3], 0);  // above the crossing
  EXPECT_EQ(bow[5 * 7 + 3], 0);  // below it

  std::vector<uint8_t> untouched(4, 0);
  EXPECT_FALSE(SOContour::FillContour(untouched.data(), 2, 2, {{0, 0}, {1, 1}}, 1));
  EXPECT_FALSE(SOContour::FillContour(nullptr, 2, 2, {{0, 0}, {1, 0}, {1, 1}}, 1));
  EXPECT_FALSE(SOContour::FillContour(untouched.data(), 0, 2, {{0, 0}, {1, 0}, {1, 1}}, 1));
  for (uint8_t v : untouched) EXPECT_EQ(v, 0);
}

}  // namespace
