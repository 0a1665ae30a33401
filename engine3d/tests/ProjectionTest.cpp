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

struct Scene {
  TestVolume volume;
  TestMask mask;
  VolumePalette palette{};
  Render3D renderer;

  explicit Scene(int n) : volume(n, n, n), mask(volume.data) {
    BuildLabelPalette(palette, MakePalette({{145, 0xFF0000, 0.05f}, {1448, 0xFFFFFF, 0.6f}}), 0);
  }
  ~Scene() { FreeVolumePalette(palette); }
  void Load() { ASSERT_TRUE(renderer.InitData(volume.data, mask.data, palette)); }
};

// Looking along +z from z = -50 through voxel centres: pixel (col, row) is voxel (8 + col, 8 + row).
V3Camera AlongZ(float cx, float cy) {
  return V3Camera{{cx, cy, -50}, {0, 0, 1}, {0, -1, 0}};
}

V3ImageVAL Image(std::vector<int16_t>& pixels, int w, int h) {
  pixels.assign(size_t(w) * h, 1234);
  V3ImageVAL image{};
  image.pixels = pixels.data();
  image.width = w, image.height = h;
  return image;
}

TEST(Projection, ColumnVolumeGivesExactValues) {
  Scene s(32);
  s.volume.Fill([](int x, int y, int) { return int16_t(x * 10 + y * 3 - 200); });
  s.Load();
  std::vector<int16_t> pixels;
  for (auto kind : {Render3D::Projection::MIP, Render3D::Projection::MinIP, Render3D::Projection::AIP}) {
    V3ImageVAL image = Image(pixels, 16, 16);
    const V3Camera cam = AlongZ(15.5f, 15.5f);
    bool ok = kind == Render3D::Projection::MIP     ? s.renderer.ImagingMIP(cam, 16, &image)
              : kind == Render3D::Projection::MinIP ? s.renderer.ImagingMinIP(cam, 16, &image)
                                                    : s.renderer.ImagingAIP(cam, 16, &image);
    ASSERT_TRUE(ok);
    EXPECT_DOUBLE_EQ(image.rowSpacing, 1.0);
    for (int row = 0; row < 16; ++row)
      for (int col = 0; col < 16; ++col)
        ASSERT_EQ(pixels[col + row * 16], (8 + col) * 10 + (8 + row) * 3 - 200)
            << int(kind) << " " << col << "," << row;
  }
}

// A brute-force walker over the same rays: every grid sample, no octree, one thread.
struct Walk {
  int16_t mip, minip, aip;
  bool hit;
};

Walk BruteForce(const Scene& s, const VolumeParam& vp, const RenderParam& rp, int column, int row) {
  float world[3], o[3], entry[3], exit[3], t0, t1;
  PixelOrigin(rp, column, row, world);
  WorldToVoxel(vp, world, o);
  if (!ClipRay(vp, world, o, rp.viewDir, rp.voxelDir, rp.clipMin, rp.clipMax, entry, &t0, exit, &t1))
    return {-1024, -1024, -1024, false};
  t1 = std::min(t1, rp.depthLength);
  if (!(t1 > t0)) return {-1024, 4096, -1024, true};
  auto at = [&](float d, float* p) {
    for (int a = 0; a < 3; ++a) p[a] = entry[a] + rp.voxelDir[a] * d;
  };
  auto shown = [&](const float* p) { return IsLabelShown(s.palette, NearestMask(s.mask.data, p)); };
  auto nearest = [&](const float* p) {
    return Voxel(s.volume.data, int(p[0] + 0.5f), int(p[1] + 0.5f), int(p[2] + 0.5f));
  };
  int mx = -1024, mn = 4096;
  int64_t sum = 0, n = 0;
  float p[3];
  for (int j = 0; t0 + float(j) * rp.coarseStep < t1; ++j) {
    at(float(j) * rp.coarseStep, p);
    if (shown(p)) mx = std::max<int>(mx, nearest(p)), mn = std::min<int>(mn, nearest(p));
  }
  for (int k = 1; t0 + float(k) * rp.step <= t1; ++k) {
    at(float(k) * rp.step, p);
    if (!shown(p)) continue;
    const int v = RoundedValue(TrilinearValue(s.volume.data, p));
    mx = std::max(mx, v), mn = std::min(mn, v);
  }
  for (int j = 0; t0 + float(j) * rp.step < t1; ++j) {
    at(float(j) * rp.step, p);
    if (shown(p) && nearest(p) >= -1248) sum += nearest(p), ++n;
  }
  const int aip = n ? int(std::max<int64_t>(sum / n, -1024)) : -1024;
  return {int16_t(mx), int16_t(mn), int16_t(aip), true};
}

// Oblique and axis-parallel views (directions with zero components), thin slab and whole
// volume: the octree skips must leave every image equal to the walker's.
TEST(Projection, AllThreeEqualABruteForceWalker) {
  Scene s(40);
  std::mt19937 rng(2);
  std::normal_distribution<float> noise(0, 20);
  s.volume.Fill([&](int x, int y, int z) {
    const float r = std::hypot(x - 20.0f, y - 18.0f, z - 21.0f);
    return int16_t((r < 14 ? (r < 6 ? 900 : 40) : -1000) + noise(rng));
  });
  for (int z = 0; z < 40; ++z)
    for (int x = 0; x < 40; ++x) s.mask.at(x, 20, z) = 0x40;  // a cut plane through the middle
  s.Load();
  const float lo[3] = {3, 4, 2}, hi[3] = {36, 37, 30};
  s.renderer.SetVisibleBox(lo, hi);
  const struct {
    V3Camera camera;
    float depth;
  } views[] = {
      {{{19, 18, 20}, {0.36f, 0.48f, 0.8f}, {0.8f, -0.6f, 0}}, 18},
      {{{19, 1, 20}, {0, 1, 0}, {0, 0, 1}}, 60},
      {{{30, 20, 10}, {-0.6f, 0, 0.8f}, {0, 1, 0}}, 60},
  };
  for (const auto& view : views) {
    const int W = 48, H = 40;
    std::vector<int16_t> mip, minip, aip;
    V3ImageVAL a = Image(mip, W, H), b = Image(minip, W, H), c = Image(aip, W, H);
    ASSERT_TRUE(s.renderer.ImagingMIP(view.camera, 40, view.depth, &a));
    ASSERT_TRUE(s.renderer.ImagingMinIP(view.camera, 40, view.depth, &b));
    ASSERT_TRUE(s.renderer.ImagingAIP(view.camera, 40, view.depth, &c));

    VolumeParam vp;
    BuildVolumeParam(s.volume.data, vp);
    for (int i = 0; i < 3; ++i) vp.visibleMin[i] = lo[i], vp.visibleMax[i] = hi[i];
    float box[8][3];
    for (int k = 0; k < 8; ++k)
      for (int i = 0; i < 3; ++i) box[k][i] = (k >> i) & 1 ? hi[i] : lo[i];
    RenderParam rp;
    SetupRays(vp, a, 1.0f, view.depth, box, rp);
    int hits = 0;
    for (int row = 0; row < H; ++row)
      for (int col = 0; col < W; ++col) {
        const Walk w = BruteForce(s, vp, rp, col, row);
        const int i = col + row * W;
        hits += w.hit;
        ASSERT_EQ(mip[i], w.mip) << view.depth << ": " << col << "," << row;
        ASSERT_EQ(aip[i], w.aip) << view.depth << ": " << col << "," << row;
        ASSERT_EQ(minip[i], w.hit ? w.minip : -1024) << view.depth << ": " << col << "," << row;
      }
    EXPECT_GT(hits, W * H / 3);
  }
}

TEST(Projection, BackgroundAndHiddenLabels) {
  Scene s(24);
  s.volume.Fill([](int, int, int) { return int16_t(-1300); });
  s.Load();
  std::vector<int16_t> pixels;
  V3ImageVAL image = Image(pixels, 8, 8);
  const V3Camera cam = AlongZ(11.5f, 11.5f);
  ASSERT_TRUE(s.renderer.ImagingAIP(cam, 8, &image));
  EXPECT_EQ(pixels[27], -1024);
  ASSERT_TRUE(s.renderer.ImagingMinIP(cam, 8, &image));
  EXPECT_EQ(pixels[27], -1300);

  s.volume.Fill([](int, int, int) { return int16_t(500); });
  s.palette.labels[0]->visible = false;
  s.renderer.SetPalette(s.palette);
  ASSERT_TRUE(s.renderer.ImagingMIP(cam, 8, &image));
  EXPECT_EQ(pixels[27], -1024);
  ASSERT_TRUE(s.renderer.ImagingAIP(cam, 8, &image));
  EXPECT_EQ(pixels[27], -1024);
  ASSERT_TRUE(s.renderer.ImagingMinIP(cam, 8, &image));
  EXPECT_EQ(pixels[27], 4096);
}

TEST(Projection, DepthLimitsTheSlab) {
  Scene s(48);
  s.volume.Fill([](int x, int, int z) {
    if (x < 24 && z >= 9 && z <= 11) return int16_t(800);    // 10 mm behind the plane at z = 0
    if (x >= 24 && z >= 29 && z <= 31) return int16_t(800);  // 30 mm behind it
    return int16_t(0);
  });
  s.Load();
  std::vector<int16_t> pixels;
  V3ImageVAL image = Image(pixels, 32, 32);
  const V3Camera cam{{23.5f, 23.5f, 0}, {0, 0, 1}, {0, -1, 0}};
  ASSERT_TRUE(s.renderer.ImagingMIP(cam, 32, 20, &image));
  EXPECT_EQ(pixels[4 + 16 * 32], 800);  // x = 12: the near blob
  EXPECT_EQ(pixels[28 + 16 * 32], 0);   // x = 36: the far blob is beyond the depth
  ASSERT_TRUE(s.renderer.ImagingMIP(cam, 32, 40, &image));
  EXPECT_EQ(pixels[28 + 16 * 32], 800);
}

TEST(Projection, RefusalsLeaveTheImageUntouched) {
  Scene s(16);
  s.Load();
  std::vector<int16_t> pixels;
  V3ImageVAL image = Image(pixels, 4, 4);
  const V3Camera cam = AlongZ(7.5f, 7.5f);
  EXPECT_FALSE(s.renderer.ImagingMIP(cam, 16, 0.05f, &image));
  EXPECT_FALSE(s.renderer.ImagingAIP(cam, 0.5f, &image));
  EXPECT_FALSE(s.renderer.ImagingMinIP(cam, NAN, &image));
  EXPECT_FALSE(s.renderer.ImagingMIP(nullptr));
  image.width = 0;
  EXPECT_FALSE(s.renderer.ImagingAIP(&image));
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](int16_t p) { return p == 1234; }));

  std::vector<int16_t> wide;
  V3ImageVAL w = Image(wide, 200, 100);
  ASSERT_TRUE(s.renderer.ImagingMIP(cam, 50, &w));
  EXPECT_DOUBLE_EQ(w.rowSpacing, 0.5);
  EXPECT_DOUBLE_EQ(w.columnSpacing, 0.5);
}

TEST(Projection, ACutVoxelIsNeverTheMaximum) {
  Scene s(24);
  s.volume.Fill([](int, int, int) { return int16_t(100); });
  s.volume.at(12, 12, 12) = 3000;
  s.mask.at(12, 12, 12) = 0x40;
  s.Load();
  std::vector<int16_t> pixels;
  V3ImageVAL image = Image(pixels, 8, 8);
  ASSERT_TRUE(s.renderer.ImagingMIP(AlongZ(11.5f, 11.5f), 8, &image));
  const int16_t through = pixels[(12 - 8) + (12 - 8) * 8];
  EXPECT_LT(through, 3000);
  EXPECT_GE(through, 100);
  // Without the cut the voxel is the maximum.
  s.mask.at(12, 12, 12) = 0;
  s.renderer.SetVolumeMark(s.mask.data);
  ASSERT_TRUE(s.renderer.ImagingMIP(AlongZ(11.5f, 11.5f), 8, &image));
  EXPECT_GT(pixels[(12 - 8) + (12 - 8) * 8], 2900);
}

}  // namespace
