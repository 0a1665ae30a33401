#include <gtest/gtest.h>

#include "Engine3D.h"
#include "PaletteTables.h"
#include "VolumeFixture.h"

using voxtest::MakePalette;

namespace {

struct PaletteHolder {
  VolumePalette p{};
  ~PaletteHolder() { FreeVolumePalette(p); }
};

TEST(Palette, LinearTableBetweenPoints) {
  PaletteHolder h;
  ASSERT_TRUE(BuildLabelPalette(h.p, MakePalette({{100, 0xFF0000, 0}, {200, 0x0000FF, 1}}), 0));
  const VolumeLabelPalette* t = h.p.labels[0];
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->minValue, 100);
  EXPECT_EQ(t->count, 101u);
  EXPECT_FLOAT_EQ(t->alpha[50], 0.5f);
  EXPECT_EQ(t->rgb[150], 128);  // 127.5 + 0.5 truncated
  EXPECT_EQ(t->rgb[151], 0);
  EXPECT_EQ(t->rgb[152], 128);
  EXPECT_FLOAT_EQ(t->ambient, 0.11f);
  ASSERT_NE(h.p.opacity, nullptr);
  EXPECT_EQ(h.p.base, 100);
  EXPECT_EQ(h.p.count, 101);
}

TEST(Palette, PointsAreSortedAndFirstOfAValueWins) {
  PaletteHolder h;
  ASSERT_TRUE(BuildLabelPalette(
      h.p, MakePalette({{300, 0x000000, 0.3f}, {100, 0, 0.1f}, {300, 0xFFFFFF, 0.9f}, {200, 0, 0.2f}}), 0));
  const VolumeLabelPalette* t = h.p.labels[0];
  EXPECT_EQ(t->minValue, 100);
  EXPECT_EQ(t->maxValue, 300);
  EXPECT_FLOAT_EQ(t->alpha[200], 0.3f);
  EXPECT_EQ(t->rgb[600], 0);
  EXPECT_FLOAT_EQ(t->alpha[100], 0.2f);
}

TEST(Palette, RefusalsKeepTheOldTable) {
  PaletteHolder h;
  ASSERT_TRUE(BuildLabelPalette(h.p, MakePalette({{0, 0, 0}, {10, 0, 1}}), 0));
  const VolumeLabelPalette* old = h.p.labels[0];
  EXPECT_FALSE(BuildLabelPalette(h.p, MakePalette({{5, 0, 1}}), 0));
  EXPECT_FALSE(BuildLabelPalette(h.p, MakePalette({{50, 0, 0}, {50, 0, 1}}), 0));
  EXPECT_FALSE(BuildLabelPalette(h.p, MakePalette({{0, 0, 0}, {10, 0, 1}}), 64));
  EXPECT_EQ(h.p.labels[0], old);
  EXPECT_EQ(h.p.labels[0]->maxValue, 10);
}

TEST(Palette, CombinedTableIsTheUnclampedSumOfVisibleLabels) {
  PaletteHolder h;
  ASSERT_TRUE(BuildLabelPalette(h.p, MakePalette({{0, 0, 0.8f}, {10, 0, 0.8f}}), 0));
  ASSERT_TRUE(BuildLabelPalette(h.p, MakePalette({{5, 0, 0.7f}, {20, 0, 0.7f}}), 3));
  EXPECT_EQ(h.p.base, 0);
  EXPECT_EQ(h.p.count, 21);
  EXPECT_FLOAT_EQ(h.p.opacity[7], 1.5f);
  EXPECT_FLOAT_EQ(h.p.opacity[2], 0.8f);
  EXPECT_FLOAT_EQ(h.p.opacity[15], 0.7f);
  h.p.labels[0]->visible = false;
  h.p.labels[3]->visible = false;
  ASSERT_TRUE(BuildOpacityTable(h.p));
  EXPECT_EQ(h.p.opacity, nullptr);
}

TEST(Palette, ShiftSaturates) {
  EXPECT_EQ(ShiftValue(32767, 1), 32767);
  EXPECT_EQ(ShiftValue(-32768, -5), -32768);
  EXPECT_EQ(ShiftValue(100, 10), 110);
}

// The engine's palette operations, seen through GetPalette and rendering.
class EnginePalette : public ::testing::Test {
 protected:
  voxtest::TestVolume volume{24, 24, 24};
  Engine3D engine;
  std::vector<uint32_t> pixels = std::vector<uint32_t>(32 * 32);

  void SetUp() override {
    volume.Fill([](int x, int y, int z) {
      return int16_t((x - 12) * (x - 12) + (y - 12) * (y - 12) + (z - 12) * (z - 12) < 49 ? 400 : 0);
    });
    ASSERT_TRUE(engine.InitData(volume.data));
  }
  int Lit() {
    EXPECT_TRUE(engine.ImagingVR(32, 32, pixels.data(), false, nullptr, 0));
    return int(std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0; }));
  }
};

TEST_F(EnginePalette, DefaultPointsAfterInitData) {
  ASSERT_TRUE(engine.SetPalette(MakePalette({{0, 0, 0}, {10, 0, 1}})));
  ASSERT_TRUE(engine.InitData(volume.data));
  V3Palette p;
  ASSERT_TRUE(engine.GetPalette(p));
  ASSERT_EQ(p.points.count, 4u);
  EXPECT_EQ(p.points.data[0].value, 145);
  EXPECT_EQ(p.points.data[3].value, 1448);
  EXPECT_EQ(p.points.data[1].color, 0xFFFF75u);
  EXPECT_FLOAT_EQ(p.points.data[2].alpha, 0.28f);
}

TEST_F(EnginePalette, SinglePointOrSingleValuePaletteChangesNothing) {
  EXPECT_TRUE(engine.SetPalette(MakePalette({{5, 0, 1}})));
  EXPECT_TRUE(engine.SetPalette(MakePalette({{50, 0, 0}, {50, 0, 1}})));
  V3Palette p;
  engine.GetPalette(p);
  EXPECT_EQ(p.points.count, 4u);
  EXPECT_EQ(p.points.data[0].value, 145);
}

TEST_F(EnginePalette, HiddenThenShownAfterAdjustColorStillRenders) {
  ASSERT_GT(Lit(), 0);
  const std::vector<uint32_t> unshifted = pixels;
  engine.SetVisible(false, 0);
  EXPECT_EQ(Lit(), 0);
  engine.AdjustColor(-100);
  engine.SetVisible(true, 0);
  EXPECT_GT(Lit(), 0);
  V3Palette p;
  engine.GetPalette(p);
  EXPECT_EQ(p.points.data[0].value, 45);
  // The hidden table moved with the points: the same picture as shifting while shown.
  const std::vector<uint32_t> shown = pixels;
  Engine3D other;
  ASSERT_TRUE(other.InitData(volume.data));
  other.AdjustColor(-100);
  ASSERT_TRUE(other.ImagingVR(32, 32, pixels.data(), false, nullptr, 0));
  EXPECT_EQ(pixels, shown);
  EXPECT_NE(shown, unshifted);
}

TEST_F(EnginePalette, AdjustColorShiftsTheCurve) {
  // Voxels at 400 sit between 336 and 1448; shifting the curve far above them clears them.
  ASSERT_GT(Lit(), 0);
  engine.AdjustColor(1000);
  EXPECT_EQ(Lit(), 0);
  engine.AdjustColor(-1000);
  EXPECT_GT(Lit(), 0);
}

}  // namespace
