#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "DicomFixtures.h"
#include "SODcmObject.h"

#include "FilmTestUtil.h"
#include "SOFilmBox.h"
#include "SOFilmGeometry.h"
#include "SOImageObject.h"
#include "TestSupport.h"

namespace {

struct Counter : ISOFilmBoxCallback {
  void OnFilmBoxChanged(ISOFilmBox*) override { ++changed; }
  void OnFilmBoxSelected(ISOFilmBox*) override { ++selected; }
  int changed = 0;
  int selected = 0;
};

}  // namespace

TEST(FilmBox, LayoutCellsAndClamp) {
  SOFilmBox box;
  Counter counter;
  box.RegisterCallback(&counter);
  EXPECT_EQ(box.GetImageBoxCount(), 1);
  EXPECT_FALSE(box.SetLayout(0, 3));
  ASSERT_TRUE(box.SetLayout(2, 3));
  EXPECT_EQ(counter.changed, 1);
  ASSERT_EQ(box.GetImageBoxCount(), 6);
  SOImageBox* cell = box.GetCell(1 * 3 + 2);
  EXPECT_FLOAT_EQ(cell->GetX(), 2.0f / 3);
  EXPECT_FLOAT_EQ(cell->GetY(), 0.5f);
  EXPECT_FLOAT_EQ(cell->GetWidth(), 1.0f / 3);
  EXPECT_FLOAT_EQ(cell->GetHeight(), 0.5f);
  EXPECT_EQ(box.GetImageBox(6), nullptr);
  // A grid no film can show is cut down instead of making millions of cells.
  ASSERT_TRUE(box.SetLayout(100000, 100000));
  EXPECT_EQ(box.GetImageBoxCount(), SOFilmBox::kMaxLayout * SOFilmBox::kMaxLayout);

  box.SetSelected(true);
  box.SetSelected(true);
  EXPECT_EQ(counter.selected, 1);
}

TEST(FilmBox, SizesAndLuminance) {
  int w = 0, h = 0;
  film::FilmSizePixels(8, 300, w, h);
  EXPECT_EQ(w, 4200);
  EXPECT_EQ(h, 5100);
  film::FilmSizePixels(11, 300, w, h);  // A4
  EXPECT_EQ(w, 2480);
  EXPECT_EQ(h, 3507);
  for (int id : {0, 13, -1}) {
    film::FilmSizePixels(id, 300, w, h);
    EXPECT_EQ(w * h, 0) << id;
  }
  for (unsigned v = 0; v < 256; ++v) ASSERT_EQ(film::Luminance(0xFF000000u | v << 16 | v << 8 | v), v);
  EXPECT_EQ(film::Luminance(0xFFFF0000u), 76);
  EXPECT_EQ(film::Luminance(0xFF00FF00u), 149);
  EXPECT_EQ(film::Luminance(0xFF0000FFu), 29);
}

TEST(FilmRender, HeaderBandCellsAndShortBuffer) {
  orvanta::test::EnsureQtApp();
  SOFilmBox box;
  box.SetHeaderVisible(true);
  box.SetPageNumber(2, 3);
  const int W = 4200, H = 5100;
  std::vector<unsigned char> out(static_cast<size_t>(W) * H, 7);
  EXPECT_FALSE(box.Render(W, H, out.data(), static_cast<long long>(W) * H - 1, nullptr));
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out.back(), 7);
  ASSERT_TRUE(box.Render(W, H, out.data(), static_cast<long long>(out.size()), nullptr));
  auto at = [&](int x, int y) { return out[static_cast<size_t>(y) * W + x]; };
  for (int y = 0; y < 102; ++y)
    for (int x = 0; x < 2000; x += 37) ASSERT_EQ(at(x, y), 0) << x << "," << y;
  // The page text sits in the band's right end.
  int lit = 0;
  for (int y = 0; y < 102; ++y)
    for (int x = 3000; x < W; ++x) lit += at(x, y) > 128;
  EXPECT_GT(lit, 200);
  EXPECT_EQ(at(100, 104), 255);
  EXPECT_EQ(at(100, 105), 255);
  // The empty 1x1 cell is black over (2, 106)-(4196, 5096).
  EXPECT_EQ(at(2, 106), 0);
  EXPECT_EQ(at(4195, 5095), 0);
  EXPECT_EQ(at(1, 106), 255);
  EXPECT_EQ(at(4196, 2000), 255);
  EXPECT_EQ(at(2000, 5096), 255);
}

TEST(FilmRender, ColoursBecomeTheirLuminance) {
  orvanta::test::EnsureQtApp();
  film_test::Objects objects;
  SODcmObject* red = objects.Add("1.9", 1);
  SODcmObject* blue = objects.Add("1.9", 2);
  const auto dir = orvanta::test::MakeTempDir("colours");
  ASSERT_TRUE(film_test::PaintUniform(*red, (dir / "red.dcm").string(), 255, 0, 0));
  ASSERT_TRUE(film_test::PaintUniform(*blue, (dir / "blue.dcm").string(), 0, 0, 255));
  SOImageObject redImage, blueImage;
  redImage.SetDcmObject(red, 0);
  blueImage.SetDcmObject(blue, 0);
  SOFilmBox box;
  box.SetLayout(1, 2);
  box.SetImages({&redImage, &blueImage});
  const int W = 400, H = 200;
  std::vector<unsigned char> out(W * H);
  ASSERT_TRUE(box.Render(W, H, out.data(), W * H, nullptr));
  EXPECT_EQ(out[100 * W + 100], 76);
  EXPECT_EQ(out[100 * W + 300], 29);
  // A landscape film lies turned: its 200 x 400 canvas has red left of x 100 and blue right of
  // it, and output (r, c) shows canvas (x = r, y = W - 1 - c). Both keep their luminance.
  box.SetOrientation(2);
  ASSERT_TRUE(box.Render(W, H, out.data(), W * H, nullptr));
  EXPECT_EQ(out[50 * W + 200], 76);
  EXPECT_EQ(out[150 * W + 200], 29);
}

TEST(FilmRender, LandscapeIsStoredTurnedClockwise) {
  orvanta::test::EnsureQtApp();
  SOFilmBox box;
  box.SetHeaderVisible(true);
  box.SetOrientation(2);
  const int W = 420, H = 510;
  std::vector<unsigned char> out(W * H, 7);
  ASSERT_TRUE(box.Render(W, H, out.data(), W * H, nullptr));
  // The canvas is 510 x 420 with an 8-pixel header band (y 0-7), the cell from (2, 12) to
  // (508, 416). Output (r, c) shows canvas (x = r, y = W - 1 - c).
  auto canvas = [&](int x, int y) { return out[static_cast<size_t>(x) * W + (W - 1 - y)]; };
  for (int x = 0; x < 250; x += 7) EXPECT_EQ(canvas(x, 0), 0) << x;
  EXPECT_EQ(canvas(0, 9), 255);   // left margin below the band
  EXPECT_EQ(canvas(100, 10), 255);  // gap between band and cell
  EXPECT_EQ(canvas(2, 12), 0);    // the cell's first pixel
  EXPECT_EQ(canvas(505, 415), 0);
  EXPECT_EQ(canvas(507, 300), 255);
  EXPECT_EQ(canvas(509, 419), 255);
  EXPECT_EQ(canvas(300, 417), 255);
}

// Corner texts too long for their cell keep to their own share of it: on a 1 x 2 film whose
// patient name is wider than a cell, the first text line of each cell leaves a blank gap
// between its left and right texts and a blank margin at both cell edges.
TEST(FilmRender, CornerTextsKeepToTheirOwnCell) {
  orvanta::test::EnsureQtApp();
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 2;
  options.rows = options.columns = 64;
  options.patientName = std::string(90, 'W');
  const auto files = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("corners"), options).files;
  SODcmObject first, second;
  ASSERT_TRUE(first.ParseDcmFile(files[0].c_str(), true));
  ASSERT_TRUE(second.ParseDcmFile(files[1].c_str(), true));
  SOImageObject left, right;
  left.SetDcmObject(&first, 0);
  right.SetDcmObject(&second, 0);
  SOFilmBox box;
  box.SetLayout(1, 2);
  box.SetImages({&left, &right});
  const int W = 1200, H = 600;
  std::vector<unsigned char> out(W * H);
  ASSERT_TRUE(box.Render(W, H, out.data(), W * H, nullptr));
  // Cells span x 2-599 and 599-1196 from y 2; the first text line lies in rows 4-14.
  for (const auto& [from, to] : {std::pair{2, 599}, std::pair{599, 1196}}) {
    std::vector<bool> lit(to - from, false);
    for (int y = 4; y < 15; ++y)
      for (int x = from; x < to; ++x) lit[x - from] = lit[x - from] || out[y * W + x] > 128;
    EXPECT_FALSE(lit[0] || lit[1] || lit[to - from - 1] || lit[to - from - 2]) << "cell from " << from;
    int first = 0, last = static_cast<int>(lit.size()) - 1, widest = 0, run = 0;
    while (first < last && !lit[first]) ++first;
    while (last > first && !lit[last]) --last;
    for (int x = first; x <= last; ++x) widest = std::max(widest, run = lit[x] ? 0 : run + 1);
    EXPECT_GE(widest, 6) << "the left and right texts meet in the cell from " << from;
    EXPECT_GT(last - first, 400) << "both texts are drawn";
  }
}
