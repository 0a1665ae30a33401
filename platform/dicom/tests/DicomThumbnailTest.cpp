#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "DicomFixtures.h"
#include "SODcmUtil.h"
#include "SOGdi.h"
#include "TestSupport.h"

namespace fx = orvanta::fixtures;
using orvanta::test::MakeTempDir;

namespace {

// The bitmap's pixels as B, G, R, A rows from the top.
std::vector<unsigned char> Pixels(HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biBitCount = 32;
  std::vector<unsigned char> bgra(size_t(width) * height * 4);
  EXPECT_EQ(GetDIBits(nullptr, bitmap, 0, height, bgra.data(), &info, DIB_RGB_COLORS), height);
  return bgra;
}

}  // namespace

TEST(DicomThumbnail, ImagesAreFittedWindowedAndCentred) {
  orvanta::test::EnsureQtApp();
  auto dir = MakeTempDir("thumb");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = 64;  // twice as wide as high: bands above and below
  auto series = fx::WriteCtSeries(dir / "ct", options);
  HBITMAP bitmap = SODcmUtil::CreateBitmap(series.files[0].c_str(), 64, 64);
  ASSERT_NE(bitmap, nullptr);
  auto px = Pixels(bitmap, 64, 64);
  DeleteObject(bitmap);
  auto at = [&](int x, int y) { return &px[(size_t(y) * 64 + x) * 4]; };
  EXPECT_EQ(at(32, 2)[0], 0);  // band above the image
  EXPECT_EQ(at(32, 61)[0], 0);
  // Water (0 HU) in the file's window 40/400 is a mid grey; air outside the body is black.
  EXPECT_NEAR(at(32, 24)[0], 102, 6);
  EXPECT_EQ(at(32, 24)[0], at(32, 24)[2]);
  EXPECT_EQ(at(1, 32)[0], 0);

  HBITMAP colour = SODcmUtil::CreateBitmap(fx::WriteRgbImage(dir / "rgb", 48, 64).c_str(), 32, 32);
  ASSERT_NE(colour, nullptr);
  auto rgb = Pixels(colour, 32, 32);
  DeleteObject(colour);
  const unsigned char* right = &rgb[(size_t(16) * 32 + 31) * 4];
  EXPECT_GT(right[2], 230);  // red grows to the right
  EXPECT_NEAR(right[0], 128, 2);

  EXPECT_EQ(SODcmUtil::CreateBitmap((dir / "missing.dcm").c_str(), 64, 64), nullptr);
  EXPECT_EQ(SODcmUtil::CreateBitmap(series.files[0].c_str(), 0, 64), nullptr);
  auto hostile = fx::WriteHostileFile(dir, fx::Hostile::AbsurdDimensions);
  EXPECT_EQ(SODcmUtil::CreateBitmap(hostile.c_str(), 64, 64), nullptr);
}
