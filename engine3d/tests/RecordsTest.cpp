#include <gtest/gtest.h>

#include <cstddef>

#include "RayCast.h"
#include "VolumeFixture.h"

using voxtest::TestVolume;

static_assert(offsetof(OctreeNode, maxValue) == 0 && offsetof(OctreeNode, minValue) == 2 &&
              offsetof(OctreeNode, flag) == 4);
static_assert(offsetof(RenderParam, clipMax) == 48 * 4);
static_assert(offsetof(VolumeParam, opacityCorners) == 70 * 4);
static_assert(offsetof(Octree, bricks) == 8 && offsetof(Octree, brickCount) == 48 &&
              offsetof(Octree, bricksZ) == 92);
static_assert(offsetof(V3ImageRGB, rowSpacing) == 16 && offsetof(V3ImageRGB, corner) == 80);

namespace {

TestVolume TiltedStack() {
  TestVolume v(20, 30, 40, 0.7f, 0.7f, 1.25f);
  const float n = std::sqrt(1.0f + 0.04f);
  const float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0.2f / n, 1.0f / n};
  std::copy(orientation, orientation + 9, v.data.orientation);
  v.data.origin[0] = -12, v.data.origin[1] = 40, v.data.origin[2] = 7.5f;
  return v;
}

TEST(VolumeGeometry, WorldVoxelRoundTripOnTiltedStack) {
  TestVolume v = TiltedStack();
  VolumeParam vp;
  BuildVolumeParam(v.data, vp);
  const float samples[][3] = {{0, 0, 0}, {3.5f, 17.25f, 39}, {19, 29, 11.75f}, {7, 2, 20}};
  for (const auto& s : samples) {
    float world[3], back[3];
    VoxelToWorld(vp, s, world);
    WorldToVoxel(vp, world, back);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i] * vp.spacing[i], s[i] * vp.spacing[i], 1e-4);
  }
  // Slice z lies z * 1.25 mm along the slice direction.
  const float z10[3] = {0, 0, 10};
  float w[3];
  VoxelToWorld(vp, z10, w);
  EXPECT_NEAR(w[1] - 40, 12.5f * v.data.orientation[7], 1e-4);
  EXPECT_NEAR(w[2] - 7.5f, 12.5f * v.data.orientation[8], 1e-4);
}

TEST(VolumeGeometry, CornersInOrderAndRefusedForBadSpacing) {
  TestVolume v(5, 6, 7, 1, 2, 3);
  float corners[8][3];
  ASSERT_TRUE(GetVolumeCorners(v.data, corners));
  const float expected[8][3] = {{0, 0, 0},  {4, 0, 0},  {4, 10, 0},  {0, 10, 0},
                                {0, 0, 18}, {4, 0, 18}, {4, 10, 18}, {0, 10, 18}};
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(corners[k][i], expected[k][i]) << k;
  v.data.spacing[1] = 0;
  EXPECT_FALSE(GetVolumeCorners(v.data, corners));
}

TEST(VolumeGeometry, UnusableVolumesAreRecognised) {
  TestVolume good(4, 4, 4);
  EXPECT_TRUE(IsVolumeUsable(good.data));
  auto bad = [&](auto change) {
    TestVolume v(4, 4, 4);
    change(v.data);
    return !IsVolumeUsable(v.data);
  };
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.slices = nullptr; }));
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.dims[2] = 0; }));
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.spacing[0] = -1; }));
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.spacing[2] = NAN; }));
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.spacing[1] = INFINITY; }));
  // Slice direction inside the row/column plane: no slice ever advances.
  EXPECT_TRUE(bad([](V3VolumeData& d) { d.orientation[6] = 1, d.orientation[7] = 0, d.orientation[8] = 0; }));
}

TEST(VolumeGeometry, SingleVoxelVolumeHasNoSampleBox) {
  TestVolume v(1, 1, 1);
  v.data.origin[0] = 3, v.data.origin[1] = 4, v.data.origin[2] = 5;
  VolumeParam vp;
  BuildVolumeParam(v.data, vp);
  for (int k = 0; k < 8; ++k) EXPECT_FLOAT_EQ(vp.corners[k][2], 5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(vp.boundsMin[i], vp.boundsMax[i]);
    EXPECT_LT(vp.sampleMax[i], vp.sampleMin[i]);
  }
}

TEST(VolumeGeometry, BuildVolumeParamFields) {
  TestVolume v(10, 20, 30, 0.5f, 0.5f, 2.0f);
  const float c = std::cos(0.3f), s = std::sin(0.3f);
  const float orientation[9] = {c, s, 0, -s, c, 0, 0, 0, 1};  // rotated about z
  std::copy(orientation, orientation + 9, v.data.orientation);
  VolumeParam vp;
  BuildVolumeParam(v.data, vp);
  EXPECT_FLOAT_EQ(vp.minSpacing, 0.5f);
  EXPECT_FLOAT_EQ(vp.spacingRatio[2], 4.0f);
  EXPECT_FLOAT_EQ(vp.inverseRatio[2], 0.25f);
  EXPECT_NEAR(vp.normal[2], 1.0f, 1e-6);
  EXPECT_NEAR(vp.sliceInFrame[2], 1.0f, 1e-6);
  // Bounds of the rotated grid: x from -19*0.5*s to 9*0.5*c.
  EXPECT_NEAR(vp.boundsMin[0], -9.5f * s, 1e-5);
  EXPECT_NEAR(vp.boundsMax[0], 4.5f * c, 1e-5);
  EXPECT_NEAR(vp.boundsMax[1], 4.5f * s + 9.5f * c, 1e-5);
  EXPECT_FLOAT_EQ(vp.sampleMin[1], 1.01f);
  EXPECT_FLOAT_EQ(vp.sampleMax[0], 7.99f);
  EXPECT_FLOAT_EQ(vp.sampleMax[2], 27.99f);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(vp.visibleMin[i], vp.boundsMin[i]);
    EXPECT_EQ(vp.visibleMax[i], vp.boundsMax[i]);
  }
}

TEST(PlaneImage, ResizeRefusesNegativeAndHugeSizes) {
  V3ImageData image;
  ASSERT_TRUE(image.Resize(3, 4));
  EXPECT_EQ(image.data.count, 12u);
  EXPECT_EQ(image.data.data[11], 0);
  EXPECT_FALSE(image.Resize(-1, 4));
  EXPECT_EQ(image.data.data, nullptr);
  // 70000 x 70000 wraps a 32-bit product; it must be refused, not allocated small.
  EXPECT_FALSE(image.Resize(70000, 70000));
  EXPECT_EQ(image.data.count, 0u);
  EXPECT_TRUE(image.Resize(0, 5));
  EXPECT_EQ(image.data.data, nullptr);
  V3MarkData copy;
  ASSERT_TRUE(copy.Resize(2, 2));
  V3MarkData other = copy;  // deep copy: both free their own buffer
  EXPECT_NE(other.data.data, copy.data.data);
}

}  // namespace
