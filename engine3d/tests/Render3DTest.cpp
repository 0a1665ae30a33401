#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "OctreeBuild.h"
#include "PaletteTables.h"
#include "Render3D.h"
#include "VolumeFixture.h"

using voxtest::MakePalette;
using voxtest::TestMask;
using voxtest::TestVolume;

namespace {

struct PaletteHolder {
  VolumePalette p{};
  ~PaletteHolder() { FreeVolumePalette(p); }
};

// A parallel frame of w x h pixels looking along +y at a volume of side n (1 mm voxels),
// centred on the volume, `spacing` mm per pixel.
V3ImageRGB FrontFrame(uint32_t* pixels, int w, int h, double spacing, double n) {
  V3ImageRGB f{};
  f.pixels = pixels;
  f.width = w, f.height = h;
  f.rowSpacing = f.columnSpacing = spacing;
  const double right[3] = {1, 0, 0}, down[3] = {0, 0, -1};
  std::copy(right, right + 3, f.right);
  std::copy(down, down + 3, f.down);
  const double c = (n - 1) / 2;
  f.corner[0] = c - spacing * (w - 1) / 2;
  f.corner[1] = -3 * n;
  f.corner[2] = c + spacing * (h - 1) / 2;
  return f;
}

struct Scene {
  TestVolume volume;
  TestMask mask;
  PaletteHolder palette;
  Render3D renderer;
  std::vector<uint32_t> pixels;

  explicit Scene(int n) : volume(n, n, n), mask(volume.data) {}
  void Load() { ASSERT_TRUE(renderer.InitData(volume.data, mask.data, palette.p)); }
  void SetPalette(const V3Palette& p, int label = 0) {
    ASSERT_TRUE(BuildLabelPalette(palette.p, p, label));
    renderer.SetPalette(palette.p);
  }
  V3ImageRGB Render(int w, int h, double spacing, int index = 0) {
    pixels.assign(size_t(w) * h, 0);
    V3ImageRGB f = FrontFrame(pixels.data(), w, h, spacing, volume.data.dims[0]);
    EXPECT_TRUE(renderer.ImagingVR(&f, index));
    return f;
  }
};

bool Inside(int x, int y, int z, int lo, int hi) {
  return x >= lo && x <= hi && y >= lo && y <= hi && z >= lo && z <= hi;
}

TEST(Render3D, AnalyticCubeIsFlatColourInsideAndEmptyOutside) {
  Scene s(32);
  s.volume.Fill([](int x, int y, int z) { return int16_t(Inside(x, y, z, 10, 21) ? 1000 : 0); });
  s.Load();
  s.SetPalette(MakePalette({{501, 0x40A0F0, 1}, {2000, 0x40A0F0, 1}}, 1, 0, 0));
  s.Render(48, 48, 1.0, 0);
  const uint32_t C = 0xF0u << 24 | 0xA0u << 16 | 0x40u << 8 | 255u;
  // Pixel (col, row) looks at world x = 31/2 - 23.5 + col, z = 15.5 + 23.5 - row; the cube's
  // silhouette (values above 500) spans 9.5 .. 21.5 on both axes.
  for (int row = 0; row < 48; ++row)
    for (int col = 0; col < 48; ++col) {
      const double x = 15.5 - 23.5 + col, z = 15.5 + 23.5 - row;
      const bool inX = x > 10.5 && x<20.5, inZ = z> 10.5 && z < 20.5;
      const bool outX = x < 8.5 || x > 22.5, outZ = z < 8.5 || z > 22.5;
      const uint32_t p = s.pixels[col + row * 48];
      if (inX && inZ) {
        EXPECT_EQ(p, C) << col << "," << row;
      }
      if (outX || outZ) {
        EXPECT_EQ(p, 0u) << col << "," << row;
      }
    }
}

// Renders the same rays with every octree cell marked visible and the whole image as the
// rectangle: empty-space skipping and the screen rectangle must not change the picture.
TEST(Render3D, OctreeSkippingDoesNotChangeTheImage) {
  Scene s(48);
  std::mt19937 rng(9);
  std::normal_distribution<float> noise(0, 20);
  s.volume.Fill([&](int x, int y, int z) {
    const float d1 = std::hypot(x - 18.0f, y - 22.0f, z - 25.0f),
                d2 = std::hypot(x - 31.0f, y - 28.0f, z - 17.0f);
    float v = -1000;
    if (d1 < 13) v = 40;
    if (d1 < 9) v = 700;
    if (d2 < 8) v = 1300;
    return int16_t(v + noise(rng));
  });
  for (int z = 0; z < 48; ++z)
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 48; ++x)
        if (x > 30 && y < 20) s.mask.at(x, y, z) = 0x40;
  s.Load();
  s.SetPalette(MakePalette(
      {{100, 0xFF3010, 0.0f}, {300, 0xFFFF80, 0.08f}, {800, 0xFFFFFF, 0.3f}, {1400, 0xF0F0FF, 0.7f}}, 0.2f,
      0.7f, 0.4f));
  const float a[3] = {2, 3, 1}, b[3] = {45, 44, 40};
  s.renderer.SetVisibleBox(a, b);

  const int W = 80, H = 72;
  std::vector<uint32_t> skipped(size_t(W) * H, 0);
  V3ImageRGB frame{};
  frame.pixels = skipped.data();
  frame.width = W, frame.height = H;
  frame.rowSpacing = frame.columnSpacing = 0.6;
  // An oblique view: right and down orthonormal, neither along an axis.
  const double r[3] = {0.8, 0.36, 0.48}, d[3] = {0, 0.8, -0.6};
  std::copy(r, r + 3, frame.right);
  std::copy(d, d + 3, frame.down);
  const double viewDir[3] = {r[1] * d[2] - r[2] * d[1], r[2] * d[0] - r[0] * d[2], r[0] * d[1] - r[1] * d[0]};
  for (int i = 0; i < 3; ++i)
    frame.corner[i] = 23.5 - 60 * viewDir[i] - r[i] * 0.6 * (W - 1) / 2 - d[i] * 0.6 * (H - 1) / 2;
  ASSERT_TRUE(s.renderer.ImagingVR(&frame, 0));

  // The same rays, brute force: all flags visible, full rectangle.
  VolumeParam vp;
  BuildVolumeParam(s.volume.data, vp);
  for (int i = 0; i < 3; ++i) vp.visibleMin[i] = a[i], vp.visibleMax[i] = b[i];
  Octree full{};
  ASSERT_TRUE(BuildOctree(s.volume.data, full));
  InitOctreeBricks(s.volume.data, full);
  for (int64_t i = 0; i < OctreeNodeCount(full); ++i) full.nodes[i].flag = 255;
  float everything[8][3];
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 3; ++i) everything[k][i] = vp.corners[k][i];
  RenderParam rp;
  std::vector<uint32_t> brute(size_t(W) * H, 0);
  V3ImageRGB bruteFrame = frame;
  bruteFrame.pixels = brute.data();
  SetupRays(vp, bruteFrame, kVRStepFactor, kNoDepthLimit, everything, rp);
  rp.rectMin[0] = rp.rectMin[1] = 0;
  rp.rectWidth = W, rp.rectHeight = H, rp.rectPixels = W * H;
  for (int i = 0; i < rp.rectPixels; ++i)
    VRPixel(i, s.volume.data, s.mask.data, vp, rp, s.palette.p, full, brute.data());
  FreeOctree(full);

  int lit = 0, differing = 0, far = 0;
  for (size_t i = 0; i < brute.size(); ++i) {
    lit += brute[i] != 0;
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
      worst = std::max(worst, std::abs(int((brute[i] >> shift) & 0xFF) - int((skipped[i] >> shift) & 0xFF)));
    differing += worst != 0;
    far += worst > 2;
  }
  voxtest::SaveRGB(voxtest::ImageFolder() + "/octree_skip.png", skipped.data(), W, H);
  EXPECT_GT(lit, int(brute.size()) / 10);
  EXPECT_LE(far, int(brute.size()) / 1000) << differing << " pixels differ at all";
}

TEST(Render3D, CutAndHiddenVoxelsInFrontLeaveTheObjectVisible) {
  Scene s(32);
  s.volume.Fill([](int x, int y, int z) {
    if (y >= 18 && y <= 24 && Inside(x, 20, z, 8, 23)) return int16_t(1000);  // the object
    if (y >= 6 && y <= 10 && Inside(x, 8, z, 4, 27)) return int16_t(1000);    // a plate in front of it
    return int16_t(0);
  });
  s.Load();
  BuildLabelPalette(s.palette.p, MakePalette({{501, 0x2080FF, 0.5f}, {2000, 0x2080FF, 0.5f}}), 0);
  V3Palette hidden = MakePalette({{501, 0xFF0000, 1}, {2000, 0xFF0000, 1}});
  hidden.visible = false;
  BuildLabelPalette(s.palette.p, hidden, 2);
  s.renderer.SetPalette(s.palette.p);

  auto plateMarked = [&](auto byteOf) {
    for (int z = 0; z < 32; ++z)
      for (int y = 6; y <= 10; ++y)
        for (int x = 0; x < 32; ++x) s.mask.at(x, y, z) = byteOf(x);
    s.renderer.SetVolumeMark(s.mask.data);
    s.Render(40, 40, 1.0);
    return s.pixels;
  };
  const auto cut = plateMarked([](int x) { return uint8_t(x < 16 ? 0x40 : 0x80); });
  const auto hiddenLabel = plateMarked([](int) { return uint8_t(2); });
  const auto noTable = plateMarked([](int) { return uint8_t(5); });
  const auto plate = plateMarked([](int) { return uint8_t(0); });
  // The reference: the object alone.
  for (int z = 0; z < 32; ++z)
    for (int y = 6; y <= 10; ++y)
      for (int x = 0; x < 32; ++x) s.volume.at(x, y, z) = 0;
  const auto alone = plateMarked([](int) { return uint8_t(0); });
  EXPECT_EQ(cut, alone);
  EXPECT_EQ(hiddenLabel, alone);
  EXPECT_EQ(noTable, alone);
  EXPECT_NE(plate, alone);
}

TEST(Render3D, TransparentVolumeIsBlackAndBrightShadingClamps) {
  Scene s(24);
  s.volume.Fill([](int x, int y, int z) { return int16_t(Inside(x, y, z, 6, 17) ? 800 : 0); });
  s.Load();
  s.SetPalette(MakePalette({{0, 0xFFFFFF, 0.01f}, {1000, 0xFFFFFF, 0.01f}}));
  s.Render(24, 24, 1.0);
  EXPECT_TRUE(std::all_of(s.pixels.begin(), s.pixels.end(), [](uint32_t p) { return p == 0; }));
  s.SetPalette(MakePalette({{0, 0xFFFFFF, 0.0f}, {500, 0xFFFFFF, 0.9f}, {1000, 0xFFFFFF, 0.9f}}, 3.0f, 0, 0));
  s.Render(24, 24, 1.0);
  EXPECT_EQ(s.pixels[12 + 12 * 24], 0xFFFFFFFFu);
}

TEST(Render3D, AnatomicalClippingKeepsOneSide) {
  Scene s(32);
  // Red above z = 16, blue below; the ramps from the empty border reach only their own colour.
  s.volume.Fill(
      [](int x, int y, int z) { return int16_t(Inside(x, y, z, 4, 27) ? (z >= 16 ? -600 : 600) : 0); });
  s.Load();
  s.SetPalette(MakePalette({{-700, 0xFF0000, 1},
                            {-500, 0xFF0000, 1},
                            {-499, 0, 0},
                            {499, 0, 0},
                            {500, 0x0000FF, 1},
                            {700, 0x0000FF, 1}},
                           1, 0, 0));
  float centre[3] = {0, 0, 20};
  s.renderer.SetAnatomicalCenter(centre);
  s.renderer.SetAnatomicalPlane(V3PLANE_AXIAL);
  s.renderer.SetAnatomicalPart(V3PART_LOWER);
  s.renderer.SetAnatomicalRenderEnable(true);
  s.Render(32, 32, 1.0);
  auto at = [&](int col, double z) { return s.pixels[col + int(15.5 + 15.5 - z) * 32]; };
  const uint32_t blue = 0xFFu << 24 | 255u, red = 0xFFu << 8 | 255u;
  EXPECT_EQ(at(16, 10), blue);
  EXPECT_EQ(at(16, 18), red);  // red below the cut at 20
  EXPECT_EQ(at(16, 24), 0u);   // above the cut: nothing
  s.renderer.SetAnatomicalPart(V3PART_UPPER);
  s.Render(32, 32, 1.0);
  EXPECT_EQ(at(16, 10), 0u);
  EXPECT_EQ(at(16, 24), red);
  // A centre below the box changes nothing for the upper part.
  centre[2] = -5;
  s.renderer.SetAnatomicalCenter(centre);
  s.Render(32, 32, 1.0);
  EXPECT_EQ(at(16, 10), blue);
}

TEST(Render3D, FlyThroughFromInsideAHollowSphere) {
  Scene s(40);
  s.volume.Fill([](int x, int y, int z) {
    const float r = std::hypot(x - 19.5f, y - 19.5f, z - 19.5f);
    return int16_t(r > 12 && r < 16 ? 1000 : 0);
  });
  s.Load();
  s.SetPalette(MakePalette({{501, 0xC0C0C0, 1}, {2000, 0xC0C0C0, 1}}));
  std::vector<uint32_t> pixels(48 * 32, 0);
  V3ImageRGB image{};
  image.pixels = pixels.data();
  image.width = 48, image.height = 32;
  V3ViewPoint eye{{19.5f, 19.5f, 19.5f}, {0.3f, 1, 0.2f}, {0, 0, 1}};
  ASSERT_TRUE(s.renderer.ImagingVE(eye, 120, &image));
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0; }));
  EXPECT_DOUBLE_EQ(image.rowSpacing, 1.0);
  // 179 degrees renders with 175.
  std::vector<uint32_t> wide(pixels.size()), clamped(pixels.size());
  V3ImageRGB a = image, b = image;
  a.pixels = wide.data(), b.pixels = clamped.data();
  ASSERT_TRUE(s.renderer.ImagingVE(eye, 179, &a));
  ASSERT_TRUE(s.renderer.ImagingVE(eye, 175, &b));
  EXPECT_EQ(wide, clamped);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(a.corner[i], b.corner[i]);
  image.width = 0;
  EXPECT_FALSE(s.renderer.ImagingVE(eye, 60, &image));
}

TEST(Render3D, AttachedPhasesRenderByIndexWithTheMainPaletteAndCrop) {
  Scene s(32);
  s.volume.Fill([](int x, int y, int z) { return int16_t(Inside(x, y, z, 6, 14) ? 1000 : 0); });
  TestVolume phase(32, 32, 32);
  phase.Fill([](int x, int y, int z) { return int16_t(Inside(x, y, z, 14, 25) ? 1000 : 0); });
  s.Load();
  s.SetPalette(MakePalette({{501, 0x80FF80, 0.6f}, {2000, 0x80FF80, 0.6f}}));
  EXPECT_EQ(s.renderer.AttachVolumeData(phase.data), 1);
  TestVolume other(32, 32, 31);
  EXPECT_EQ(s.renderer.AttachVolumeData(other.data), 0);

  const auto main = s.Render(40, 40, 1.0, 0), dummy = main;
  (void)dummy;
  const auto mainPixels = s.pixels;
  for (int index : {-1, 2, 7}) {
    s.Render(40, 40, 1.0, index);
    EXPECT_EQ(s.pixels, mainPixels) << index;
  }
  s.Render(40, 40, 1.0, 1);
  const auto phasePixels = s.pixels;
  EXPECT_NE(phasePixels, mainPixels);

  // The phase alone as the main volume gives the same picture.
  Scene alone(32);
  alone.volume.voxels = phase.voxels;
  alone.Load();
  alone.SetPalette(MakePalette({{501, 0x80FF80, 0.6f}, {2000, 0x80FF80, 0.6f}}));
  alone.Render(40, 40, 1.0);
  EXPECT_EQ(alone.pixels, phasePixels);

  // A crop applies to every phase.
  const float lo[3] = {0, 0, 0}, hi[3] = {31, 31, 19};
  s.renderer.SetVisibleBox(hi, lo);
  alone.renderer.SetVisibleBox(lo, hi);
  s.Render(40, 40, 1.0, 1);
  alone.Render(40, 40, 1.0);
  EXPECT_EQ(alone.pixels, s.pixels);
  EXPECT_NE(s.pixels, phasePixels);
}

TEST(Render3D, RefusesBadImagesAndVolumes) {
  Scene s(16);
  s.Load();
  uint32_t pixel = 7;
  V3ImageRGB f = FrontFrame(&pixel, 1, 1, 1.0, 16);
  f.height = 0;
  EXPECT_FALSE(s.renderer.ImagingVR(&f, 0));
  f.height = 1, f.pixels = nullptr;
  EXPECT_FALSE(s.renderer.ImagingVR(&f, 0));
  EXPECT_FALSE(s.renderer.ImagingVR(nullptr, 0));
  EXPECT_EQ(pixel, 7u);
  s.volume.data.spacing[2] = 0;
  EXPECT_FALSE(s.renderer.InitData(s.volume.data, s.mask.data, s.palette.p));
  float lo[3], hi[3];
  EXPECT_FALSE(s.renderer.GetBoundingBox(lo, hi));
}

TEST(ScreenRect, RoundsOutwardAndIgnoresOffScreenBoxes) {
  RenderParam rp{};
  rp.width = 10, rp.height = 10;
  rp.rowSpacing = rp.columnSpacing = 4;
  rp.right[0] = 1, rp.down[1] = 1;
  float box[8][3];
  auto setBox = [&](float x0, float x1, float y0, float y1) {
    for (int k = 0; k < 8; ++k) box[k][0] = (k & 1) ? x1 : x0, box[k][1] = (k & 2) ? y1 : y0, box[k][2] = 0;
  };
  setBox(1, 9, 5, 13);  // columns 0.25 .. 2.25, rows 1.25 .. 3.25
  ScreenRect(rp, box, 8);
  EXPECT_EQ(rp.rectMin[0], 0);
  EXPECT_EQ(rp.rectMax[0], 3);
  EXPECT_EQ(rp.rectMin[1], 1);
  EXPECT_EQ(rp.rectMax[1], 4);
  EXPECT_EQ(rp.rectPixels, 16);
  setBox(-100, -50, 5, 13);  // wholly left of the image
  ScreenRect(rp, box, 8);
  EXPECT_EQ(rp.rectPixels, 0);
  setBox(5, 13, 60, 90);  // wholly below
  ScreenRect(rp, box, 8);
  EXPECT_EQ(rp.rectPixels, 0);
  setBox(-100, 1000, -100, 1000);  // larger than the image: clamped
  ScreenRect(rp, box, 8);
  EXPECT_EQ(rp.rectPixels, 100);
}

}  // namespace
