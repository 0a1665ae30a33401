#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "EngineMPR.h"
#include "VolumeFixture.h"

using voxtest::TestMask;
using voxtest::TestVolume;

namespace {

TEST(EngineMPR, StandardPlaneSizesOfALargeVolume) {
  // 512 x 512 x 300 built over one shared slice, so the test stays small.
  std::vector<int16_t> slice(512 * 512, 0);
  std::vector<int16_t*> slices(300, slice.data());
  V3VolumeData v{};
  v.slices = slices.data();
  v.dims[0] = v.dims[1] = 512, v.dims[2] = 300;
  v.spacing[0] = v.spacing[1] = 0.5f, v.spacing[2] = 1.0f;
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::copy(identity, identity + 9, v.orientation);
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v));
  double origin[3];
  engine.GetOrigin(origin);
  EXPECT_DOUBLE_EQ(origin[0], 127.75);
  EXPECT_DOUBLE_EQ(origin[2], 149.5);
  V3ImageData axial, sagittal;
  ASSERT_TRUE(engine.Imaging(V3MPR_AXIAL, &axial));
  EXPECT_EQ(axial.columns, 511);
  EXPECT_EQ(axial.rows, 511);
  EXPECT_DOUBLE_EQ(axial.corner[0], 0);
  EXPECT_DOUBLE_EQ(axial.corner[2], 149.5);
  ASSERT_TRUE(engine.Imaging(V3MPR_SAGITTAL, &sagittal));
  EXPECT_EQ(sagittal.columns, 511);
  EXPECT_EQ(sagittal.rows, 598);
  EXPECT_DOUBLE_EQ(sagittal.corner[0], 127.75);
  EXPECT_DOUBLE_EQ(sagittal.corner[1], 0);
  EXPECT_DOUBLE_EQ(sagittal.corner[2], 299);
  EXPECT_DOUBLE_EQ(sagittal.down[2], -1);
}

// value = x + 10 y + 100 z at voxel (x, y, z): trilinear samples are exact.
struct LinearVolume : TestVolume {
  LinearVolume() : TestVolume(12, 10, 8, 1.0f, 2.0f, 3.0f) {
    Fill([](int x, int y, int z) { return int16_t(x + 10 * y + 100 * z); });
    data.origin[0] = 5, data.origin[1] = -4, data.origin[2] = 10;
  }
  // The value at a world point, or NAN where a plane may not sample (outside the sampling box).
  double Expected(const double* w, double margin) const {
    const double v[3] = {(w[0] - 5) / 1.0, (w[1] + 4) / 2.0, (w[2] - 10) / 3.0};
    for (int i = 0; i < 3; ++i)
      if (v[i] < 1.01 + margin || v[i] > data.dims[i] - 2.01 - margin) return NAN;
    return v[0] + 10 * v[1] + 100 * v[2];
  }
  bool Outside(const double* w) const {
    const double v[3] = {(w[0] - 5) / 1.0, (w[1] + 4) / 2.0, (w[2] - 10) / 3.0};
    for (int i = 0; i < 3; ++i)
      if (v[i] < -0.01 || v[i] > data.dims[i] - 0.99) return true;
    return false;
  }
};

// Checks every pixel of a plane against the linear function: exact (to rounding) inside the
// sampling box, -1024 outside the volume.
int CheckPlane(const LinearVolume& v, const V3ImageData& image) {
  int exact = 0;
  for (int i = 0; i < image.rows; ++i)
    for (int j = 0; j < image.columns; ++j) {
      double w[3];
      for (int a = 0; a < 3; ++a)
        w[a] = image.corner[a] + image.down[a] * i * image.spacing[0] + image.right[a] * j * image.spacing[1];
      const int16_t p = image.data.data[j + i * image.columns];
      const double e = v.Expected(w, 0.01);
      if (!std::isnan(e)) {
        EXPECT_LE(std::fabs(p - e), 0.5 + 1e-3) << i << "," << j;
        ++exact;
      } else if (v.Outside(w)) {
        EXPECT_EQ(p, -1024) << i << "," << j;
      }
    }
  return exact;
}

TEST(EngineMPR, StandardPlanesOfALinearVolume) {
  LinearVolume v;
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v.data));
  const double origin[3] = {11.3, 6.7, 23.5};
  engine.SetOrigin(origin);
  for (V3MPRType type : {V3MPR_AXIAL, V3MPR_SAGITTAL, V3MPR_CORONAL}) {
    V3ImageData image;
    ASSERT_TRUE(engine.Imaging(type, &image));
    EXPECT_DOUBLE_EQ(image.spacing[0], 1.0);
    EXPECT_GT(CheckPlane(v, image), 20) << type;
  }
  // Axial through z = 23.5: voxel z = 4.5; pixel (row 3, column 4) is voxel (4, 1.5, 4.5).
  V3ImageData axial;
  engine.Imaging(V3MPR_AXIAL, &axial);
  EXPECT_EQ(axial.data.data[4 + 3 * axial.columns], 4 + 15 + 450);
}

// Standard planes of an irregular volume on unit spacing (whole-voxel steps along every row)
// through an origin between voxels: every pixel is the trilinear value at its voxel position.
TEST(EngineMPR, StandardPlanesOfAnIrregularVolumeBetweenVoxels) {
  TestVolume v(12, 10, 8, 1.0f, 1.0f, 1.0f);
  auto value = [](int x, int y, int z) { return (x * 7919 + y * 104729 + z * 1299709) % 2001 - 1000; };
  v.Fill([&](int x, int y, int z) { return int16_t(value(x, y, z)); });
  auto trilinear = [&](const double* p) {
    const int x = int(p[0]), y = int(p[1]), z = int(p[2]);
    const double fx = p[0] - x, fy = p[1] - y, fz = p[2] - z;
    double sum = 0;
    for (int k = 0; k < 8; ++k) {
      const int i = k & 1, j = (k >> 1) & 1, l = k >> 2;
      sum += value(x + i, y + j, z + l) * (i ? fx : 1 - fx) * (j ? fy : 1 - fy) * (l ? fz : 1 - fz);
    }
    return sum;
  };
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v.data));
  const double origin[3] = {5.25, 4.5, 3.75};
  engine.SetOrigin(origin);
  for (V3MPRType type : {V3MPR_AXIAL, V3MPR_SAGITTAL, V3MPR_CORONAL}) {
    V3ImageData image;
    ASSERT_TRUE(engine.Imaging(type, &image));
    int checked = 0;
    for (int i = 0; i < image.rows; ++i)
      for (int j = 0; j < image.columns; ++j) {
        double p[3];
        bool inside = true;
        for (int a = 0; a < 3; ++a) {
          p[a] = image.corner[a] + image.down[a] * i * image.spacing[0] + image.right[a] * j * image.spacing[1];
          inside = inside && p[a] >= 1.02 && p[a] <= v.data.dims[a] - 2.02;
        }
        if (!inside) continue;
        EXPECT_LE(std::fabs(image.data.data[j + i * image.columns] - trilinear(p)), 0.5 + 1e-3)
            << type << ": " << i << "," << j;
        ++checked;
      }
    EXPECT_GT(checked, 20) << type;
  }
}

// Engines on several threads at once share the worker threads: each plane is still whole.
TEST(EngineMPR, EnginesOnSeveralThreadsAtOnce) {
  LinearVolume v;
  std::vector<int16_t> alone[3];
  {
    EngineMPR engine;
    ASSERT_TRUE(engine.InitData(v.data));
    for (int t = 0; t < 3; ++t) {
      V3ImageData image;
      ASSERT_TRUE(engine.Imaging(V3MPRType(t), &image));
      alone[t].assign(image.data.data, image.data.data + image.data.count);
    }
  }
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      EngineMPR engine;
      engine.InitData(v.data);
      for (int round = 0; round < 50; ++round) {
        V3ImageData image;
        const int t = (k + round) % 3;
        engine.Imaging(V3MPRType(t), &image);
        mismatches[k] += std::vector<int16_t>(image.data.data, image.data.data + image.data.count) != alone[t];
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(EngineMPR, ObliquePlaneOfALinearVolume) {
  LinearVolume v;
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v.data));
  const double a = 0.4, b = 0.7;
  V3SliceParam plane{};
  const double right[3] = {std::cos(a), std::sin(a), 0};
  const double down[3] = {-std::sin(a) * std::cos(b), std::cos(a) * std::cos(b), -std::sin(b)};
  std::copy(right, right + 3, plane.right);
  std::copy(down, down + 3, plane.down);
  plane.corner[0] = 3, plane.corner[1] = -6, plane.corner[2] = 22;
  plane.fieldOfView = 24;
  V3ImageData image;
  ASSERT_TRUE(engine.Imaging(plane, &image));
  EXPECT_EQ(image.rows, 24);
  EXPECT_GT(CheckPlane(v, image), 50);
  // Wholly outside the volume: background only.
  plane.corner[2] = 500;
  ASSERT_TRUE(engine.Imaging(plane, &image));
  EXPECT_TRUE(
      std::all_of(image.data.data, image.data.data + image.data.count, [](int16_t p) { return p == -1024; }));
}

TEST(EngineMPR, MovingTheOriginAlongZChangesOnlyTheAxialPlane) {
  LinearVolume v;
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v.data));
  auto planes = [&] {
    std::vector<std::vector<int16_t>> out;
    for (V3MPRType t : {V3MPR_AXIAL, V3MPR_SAGITTAL, V3MPR_CORONAL}) {
      V3ImageData image;
      EXPECT_TRUE(engine.Imaging(t, &image));
      out.emplace_back(image.data.data, image.data.data + image.data.count);
    }
    return out;
  };
  const auto before = planes();
  double origin[3];
  engine.GetOrigin(origin);
  origin[2] += 4.5;
  engine.SetOrigin(origin);
  const auto after = planes();
  EXPECT_NE(before[0], after[0]);
  EXPECT_EQ(before[1], after[1]);
  EXPECT_EQ(before[2], after[2]);
}

TEST(EngineMPR, MaskPlanesAndRefusals) {
  LinearVolume v;
  EngineMPR engine;
  ASSERT_TRUE(engine.InitData(v.data));
  TestVolume otherGrid(12, 10, 7);
  TestMask wrong(otherGrid.data);
  V3MarkData mark;
  EXPECT_FALSE(engine.SetMarkData(wrong.data));
  EXPECT_FALSE(engine.Marking(V3MPR_AXIAL, &mark));
  TestMask mask(v.data);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) mask.at(x, y, 4) = uint8_t(x < 6 ? 3 : 0x41);
  ASSERT_TRUE(engine.SetMarkData(mask.data));
  const double origin[3] = {10, 6, 10 + 3 * 4.2};  // voxel z 4.2: nearest slice 4
  engine.SetOrigin(origin);
  ASSERT_TRUE(engine.Marking(V3MPR_AXIAL, &mark));
  EXPECT_EQ(mark.data.data[3 + 4 * mark.columns], 3);
  EXPECT_EQ(mark.data.data[8 + 4 * mark.columns], 0x41);
  EXPECT_FALSE(engine.Marking(V3MPRType(3), &mark));

  // Another phase must share the grid.
  V3ImageData image;
  EXPECT_FALSE(engine.Imaging(V3MPR_AXIAL, otherGrid.data, &image));
  // Slabs are not made here; the plane forms still size the image.
  V3SliceParam plane{{5, -4, 20}, {1, 0, 0}, {0, 1, 0}, 10};
  V3ImageData slab;
  EXPECT_FALSE(engine.ImagingMIP(plane, 5, &slab));
  EXPECT_EQ(slab.rows, 10);
  EXPECT_FALSE(engine.ImagingAIP(V3MPR_AXIAL, 5, &slab));
  // Fields of view that cannot make an image.
  for (double fov : {0.0, -3.0, double(NAN), 1e12}) {
    plane.fieldOfView = fov;
    EXPECT_FALSE(engine.Imaging(plane, &image)) << fov;
  }
  V3VolumeData flat = v.data;
  flat.spacing[2] = 0;
  EXPECT_FALSE(engine.InitData(flat));
  EXPECT_FALSE(engine.Imaging(V3MPR_AXIAL, &image));
}

}  // namespace
