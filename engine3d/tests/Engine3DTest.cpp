#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Engine3D.h"
#include "EngineMPR.h"
#include "VolumeFixture.h"

using voxtest::MakePalette;
using voxtest::TestMask;
using voxtest::TestVolume;

namespace {

bool Lit(const std::vector<uint32_t>& p) {
  return std::any_of(p.begin(), p.end(), [](uint32_t v) { return v != 0; });
}

TEST(Engine3D, InitDataRefusesAndForgetsTheOldVolume) {
  TestVolume v(8, 8, 8);
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  V3VolumeData bad = v.data;
  bad.slices = nullptr;
  EXPECT_FALSE(engine.InitData(bad));
  V3VolumeData got;
  EXPECT_FALSE(engine.GetVolumeData(got));
  for (auto change : {+[](V3VolumeData& d) { d.dims[1] = 0; }, +[](V3VolumeData& d) { d.spacing[0] = NAN; },
                      +[](V3VolumeData& d) { d.spacing[2] = -1.25f; }}) {
    V3VolumeData d = v.data;
    change(d);
    EXPECT_FALSE(engine.InitData(d));
  }
  ASSERT_TRUE(engine.InitData(v.data));
  ASSERT_TRUE(engine.GetVolumeData(got));
  EXPECT_EQ(got.slices, v.data.slices);
}

TEST(Engine3D, VolumeRenderingFrame) {
  TestVolume v(2, 1, 1);  // bounds 1 x 0 x 0 mm: a 1 x 1 viewport
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  std::vector<uint32_t> pixels(200 * 100, 0xDEADBEEF);
  V3ImageRGB frame{};
  // A rendering writes nothing on standard output (timings go to the debug log).
  testing::internal::CaptureStdout();
  ASSERT_TRUE(engine.ImagingVR(200, 100, pixels.data(), false, &frame, 0));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_DOUBLE_EQ(frame.rowSpacing, 0.01);
  EXPECT_DOUBLE_EQ(frame.columnSpacing, 0.01);
  EXPECT_DOUBLE_EQ(frame.right[0], 1);
  EXPECT_DOUBLE_EQ(frame.down[2], -1);
  EXPECT_EQ(frame.width, 100);
  EXPECT_EQ(frame.height, 200);
  EXPECT_FALSE(Lit(pixels));
  // Bad sizes or buffers write nothing.
  std::vector<uint32_t> guard(4, 7);
  EXPECT_FALSE(engine.ImagingVR(0, 2, guard.data(), false, nullptr, 0));
  EXPECT_FALSE(engine.ImagingVR(2, -2, guard.data(), false, nullptr, 0));
  EXPECT_FALSE(engine.ImagingVE(2, 2, nullptr, 45, false, nullptr));
  std::vector<int16_t> values(4, 7);
  EXPECT_FALSE(engine.ImagingMIP(-1, 2, values.data(), false, nullptr));
  EXPECT_TRUE(std::all_of(guard.begin(), guard.end(), [](uint32_t p) { return p == 7; }));
  EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](int16_t p) { return p == 7; }));
}

TEST(Engine3D, EmptyEngineAnswersFalse) {
  Engine3D engine;
  std::vector<uint32_t> pixels(16);
  EXPECT_FALSE(engine.ImagingVE(4, 4, pixels.data(), 45, false, nullptr));
  EXPECT_FALSE(engine.ImagingVR(4, 4, pixels.data(), false, nullptr, 0));
  EXPECT_FALSE(engine.SupportGPU());
  EXPECT_FALSE(engine.SetGPUEnabled(true));
  EXPECT_FALSE(engine.IsGPUEnabled());
  EXPECT_TRUE(engine.SetGPUEnabled(false));
}

TEST(Engine3D, ViewAngleIsClamped) {
  TestVolume v(24, 24, 24);
  v.Fill([](int x, int y, int z) { return int16_t(std::hypot(x - 11.5, y - 11.5, z - 11.5) > 8 ? 600 : 0); });
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  engine.SetRenderType(V3RENDER_VE);
  std::vector<uint32_t> a(32 * 32), b(32 * 32), c(32 * 32);
  engine.SetViewAngle(2);
  ASSERT_TRUE(engine.Imaging(32, 32, a.data(), false, nullptr, 0));
  ASSERT_TRUE(engine.ImagingVE(32, 32, b.data(), 5, false, nullptr));
  EXPECT_EQ(a, b);
  EXPECT_TRUE(Lit(a));
  engine.SetViewAngle(179);
  ASSERT_TRUE(engine.Imaging(32, 32, a.data(), false, nullptr, 0));
  ASSERT_TRUE(engine.ImagingVE(32, 32, c.data(), 175, false, nullptr));
  EXPECT_EQ(a, c);
}

TEST(Engine3D, SlabProjectionsOfAPlane) {
  TestVolume v(150, 150, 90, 0.7f, 0.7f, 1.25f);
  v.Fill([](int, int, int) { return int16_t(0); });
  // Bright voxels 5 mm and 15 mm in front of the plane z = 50 mm (slice 40).
  v.at(50, 70, 36) = 2000;   // z = 45
  v.at(100, 70, 28) = 2000;  // z = 35
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  V3SliceParam plane{{0, 0, 50}, {1, 0, 0}, {0, 1, 0}, 100};
  V3ImageData image;
  ASSERT_TRUE(engine.ImagingMIP(plane, 20, &image));
  EXPECT_EQ(image.rows, 143);
  EXPECT_EQ(image.columns, 143);
  // The frame is the one the rays used: fov / n.
  EXPECT_DOUBLE_EQ(image.spacing[0], 100.0 / 143);
  auto at = [&](double x, double y) {
    const int col = int(std::lround((x - image.corner[0]) / image.spacing[1]));
    const int row = int(std::lround((y - image.corner[1]) / image.spacing[0]));
    return image.data.data[col + row * image.columns];
  };
  EXPECT_GT(at(50 * 0.7, 70 * 0.7), 500);
  EXPECT_LT(at(100 * 0.7, 70 * 0.7), 100);
  ASSERT_TRUE(engine.ImagingMIP(plane, 40, &image));
  EXPECT_GT(at(100 * 0.7, 70 * 0.7), 500);
  for (double fov : {0.0, double(NAN), 1e9}) {
    plane.fieldOfView = fov;
    EXPECT_FALSE(engine.ImagingAIP(plane, 20, &image)) << fov;
  }
}

TEST(Engine3D, CutsMarkTheMask) {
  TestVolume v(16, 12, 10);
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  TestMask mark(v.data);
  mark.at(3, 4, 5) = 1;
  mark.at(15, 11, 9) = 9;
  ASSERT_TRUE(engine.CutAppend(mark.data));
  V3VolumeMark* mask = engine.GetMarkData();
  int marked = 0;
  for (int z = 0; z < 10; ++z)
    for (int i = 0; i < 16 * 12; ++i) marked += mask->slices[z][i] == 0x40;
  EXPECT_EQ(marked, 2);
  EXPECT_EQ(mask->slices[5][3 + 4 * 16], 0x40);
  TestVolume other(16, 12, 9);
  TestMask wrong(other.data);
  EXPECT_FALSE(engine.CutAppend(wrong.data));
  EXPECT_FALSE(engine.CutSubtract(mark.data));
}

TEST(Engine3D, CutFillMarksVisibleUncutVoxelsUnderTheContour) {
  TestVolume v(8, 8, 4);
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  engine.GetMarkData()->slices[1][2 + 2 * 8] = 0x40;  // cut
  engine.GetMarkData()->slices[1][3 + 2 * 8] = 7;     // a label without a table
  // A screen mask looking down z: pixel (row i, column j) at world (j - 1, i - 1).
  std::vector<uint8_t> screen(6 * 6, 1);
  V3ImageMark image{};
  image.pixels = screen.data();
  image.width = image.height = 6;
  image.rowSpacing = image.columnSpacing = 1;
  image.right[0] = 1, image.down[1] = 1;
  image.corner[0] = image.corner[1] = -0.9;
  TestMask out(v.data);
  std::fill(out.bytes.begin(), out.bytes.end(), 99);
  ASSERT_TRUE(engine.CutFill(image, out.data, 5));
  // Voxel x = 0 is at column -0.9 + ... = 0.9 -> 0; x = 5 at 5.9 -> 5; x = 6 at 6.9 -> outside.
  EXPECT_EQ(out.at(0, 0, 0), 5);
  EXPECT_EQ(out.at(5, 5, 3), 5);
  EXPECT_EQ(out.at(6, 0, 0), 0);
  EXPECT_EQ(out.at(2, 2, 1), 0);
  EXPECT_EQ(out.at(3, 2, 1), 0);
  EXPECT_EQ(out.at(4, 2, 1), 5);
  // A voxel 0.5 pixel left of the image is outside (floor, not truncation toward zero).
  image.corner[0] = 0.5;
  ASSERT_TRUE(engine.CutFill(image, out.data, 5));
  EXPECT_EQ(out.at(0, 3, 0), 0);
  EXPECT_EQ(out.at(1, 3, 0), 5);
  TestVolume other(8, 8, 3);
  TestMask wrong(other.data);
  EXPECT_FALSE(engine.CutFill(image, wrong.data, 5));
}

TEST(Engine3D, AttachedPhasesAndProjectionsThroughTheFacade) {
  TestVolume v(32, 32, 32), phase(32, 32, 32);
  v.Fill([](int x, int y, int z) { return int16_t(std::hypot(x - 12, y - 16, z - 16) < 6 ? 900 : -1000); });
  phase.Fill(
      [](int x, int y, int z) { return int16_t(std::hypot(x - 20, y - 16, z - 16) < 6 ? 900 : -1000); });
  Engine3D engine;
  ASSERT_TRUE(engine.InitData(v.data));
  EXPECT_EQ(engine.AttachVolumeData(phase.data), 1);
  std::vector<uint32_t> main(64 * 64), attached(64 * 64);
  ASSERT_TRUE(engine.ImagingVR(64, 64, main.data(), false, nullptr, 0));
  ASSERT_TRUE(engine.ImagingVR(64, 64, attached.data(), false, nullptr, 1));
  EXPECT_TRUE(Lit(main));
  EXPECT_NE(main, attached);
  std::vector<int16_t> mip(64 * 64);
  V3ImageVAL frame{};
  ASSERT_TRUE(engine.ImagingMIP(64, 64, mip.data(), false, &frame));
  EXPECT_EQ(*std::max_element(mip.begin(), mip.end()), 900);
  EXPECT_EQ(*std::min_element(mip.begin(), mip.end()), -1024);
  engine.ClearAttachVolume();
  ASSERT_TRUE(engine.ImagingVR(64, 64, attached.data(), false, nullptr, 1));
  EXPECT_EQ(main, attached);
}

}  // namespace
