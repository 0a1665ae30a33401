#pragma once

// Records and geometry shared by the CPU renderer and the GPU kernels. Everything marked HD
// compiles as plain C++ and as CUDA device code, so it must stay free of the standard library,
// exceptions, virtual calls and recursion.

#include <math.h>
#include <stdint.h>

#include "V3VolumeData.h"

#ifdef __CUDACC__
#define HD __host__ __device__
#else
#define HD
#endif

// The lookup table of one label, built from its control points.
struct VolumeLabelPalette {
  int32_t minValue;
  int32_t maxValue;
  uint32_t count;  // maxValue - minValue + 1
  uint8_t* rgb;    // count x R, G, B
  float* alpha;    // count opacities
  float opacity;
  bool visible;
  float ambient;
  float diffuse;
  float specular;
};

// The renderer's palette of all labels; opacity is the sum of the visible labels' alphas.
struct VolumePalette {
  VolumeLabelPalette* labels[64];
  int32_t base;
  int32_t count;
  float* opacity;  // null while no visible label has a table
};

// Geometry derived once from a volume.
struct VolumeParam {
  float origin[3];
  float spacing[3];
  float orientation[9];
  float normal[3];        // row direction x column direction
  float sliceInFrame[3];  // slice direction in the frame (row, column, normal)
  float minSpacing;
  float spacingRatio[3];
  float inverseRatio[3];
  float boundsMin[3];
  float boundsMax[3];
  float corners[8][3];
  float visibleMin[3];
  float visibleMax[3];
  float sampleMin[3];
  float sampleMax[3];
  float opacityCorners[8][3];
};
static_assert(sizeof(VolumeParam) == 94 * sizeof(float), "VolumeParam is 94 floats");

// Mask bits that remove a voxel from rendering.
constexpr uint8_t kMaskCut = 0x40;
constexpr uint8_t kMaskCutHigh = 0x80;
constexpr uint8_t kMaskLabel = 0x3F;

HD inline float Dot3(const float* a, const float* b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

HD inline void Cross3(const float* a, const float* b, float* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

HD inline float Length3(const float* a) {
  return sqrtf(Dot3(a, a));
}

// Voxel (x, y, z) to world. The slice direction is decomposed in the orthonormal frame (row,
// column, normal), so a tilted stack maps exactly.
HD inline void VoxelToWorldRaw(const float* origin, const float* spacing, const float* orientation,
                               const float* voxel, float* world) {
  const float* r0 = orientation;
  const float* r1 = orientation + 3;
  const float* r2 = orientation + 6;
  float n[3];
  Cross3(r0, r1, n);
  const float h = voxel[2] * spacing[2];
  const float a = voxel[0] * spacing[0] + Dot3(r0, r2) * h;
  const float b = voxel[1] * spacing[1] + Dot3(r1, r2) * h;
  const float c = Dot3(r2, n) * h;
  for (int i = 0; i < 3; ++i) world[i] = origin[i] + r0[i] * a + r1[i] * b + n[i] * c;
}

HD inline void VoxelToWorld(const VolumeParam& vp, const float* voxel, float* world) {
  VoxelToWorldRaw(vp.origin, vp.spacing, vp.orientation, voxel, world);
}

// World offset (no origin) to voxel offset.
HD inline void WorldToVoxelDir(const VolumeParam& vp, const float* d, float* voxel) {
  const float h = Dot3(d, vp.normal) / vp.sliceInFrame[2];
  voxel[2] = h / vp.spacing[2];
  voxel[1] = (Dot3(d, vp.orientation + 3) - vp.sliceInFrame[1] * h) / vp.spacing[1];
  voxel[0] = (Dot3(d, vp.orientation) - vp.sliceInFrame[0] * h) / vp.spacing[0];
}

HD inline void WorldToVoxel(const VolumeParam& vp, const float* world, float* voxel) {
  const float d[3] = {world[0] - vp.origin[0], world[1] - vp.origin[1], world[2] - vp.origin[2]};
  WorldToVoxelDir(vp, d, voxel);
}

// A volume the engines can work with: a slice table, positive finite spacings and a slice
// direction that leaves the row/column plane.
HD inline bool IsVolumeUsable(const V3VolumeData& v) {
  if (!v.slices) return false;
  for (int i = 0; i < 3; ++i) {
    if (v.dims[i] < 1) return false;
    if (!(v.spacing[i] > 0.0f) || !isfinite(v.spacing[i])) return false;
  }
  float n[3];
  Cross3(v.orientation, v.orientation + 3, n);
  const float along = Dot3(v.orientation + 6, n);
  return isfinite(along) && fabsf(along) > 1e-6f;
}

// The eight corner voxels in world positions; false when a spacing is not positive.
HD inline bool GetVolumeCorners(const V3VolumeData& v, float corners[8][3]) {
  for (int i = 0; i < 3; ++i)
    if (!(v.spacing[i] > 0.0f)) return false;
  const float X = float(v.dims[0] - 1), Y = float(v.dims[1] - 1), Z = float(v.dims[2] - 1);
  const float voxels[8][3] = {{0, 0, 0}, {X, 0, 0}, {X, Y, 0}, {0, Y, 0},
                              {0, 0, Z}, {X, 0, Z}, {X, Y, Z}, {0, Y, Z}};
  for (int k = 0; k < 8; ++k) VoxelToWorldRaw(v.origin, v.spacing, v.orientation, voxels[k], corners[k]);
  return true;
}

// Fills the geometry of a volume; opacityCorners are zeroed until a renderer writes them.
HD inline void BuildVolumeParam(const V3VolumeData& v, VolumeParam& vp) {
  float minSpacing = v.spacing[0];
  if (v.spacing[1] < minSpacing) minSpacing = v.spacing[1];
  if (v.spacing[2] < minSpacing) minSpacing = v.spacing[2];
  vp.minSpacing = minSpacing;
  for (int i = 0; i < 3; ++i) {
    vp.spacingRatio[i] = v.spacing[i] / minSpacing;
    vp.inverseRatio[i] = minSpacing / v.spacing[i];
    vp.origin[i] = v.origin[i];
    vp.spacing[i] = v.spacing[i];
    vp.sampleMin[i] = 1.01f;
    vp.sampleMax[i] = float(v.dims[i]) - 2.0f - 0.01f;
  }
  for (int i = 0; i < 9; ++i) vp.orientation[i] = v.orientation[i];
  Cross3(v.orientation, v.orientation + 3, vp.normal);
  vp.sliceInFrame[0] = Dot3(v.orientation + 6, v.orientation);
  vp.sliceInFrame[1] = Dot3(v.orientation + 6, v.orientation + 3);
  vp.sliceInFrame[2] = Dot3(v.orientation + 6, vp.normal);
  if (!GetVolumeCorners(v, vp.corners)) {
    for (int k = 0; k < 8; ++k)
      for (int i = 0; i < 3; ++i) vp.corners[k][i] = v.origin[i];
  }
  for (int i = 0; i < 3; ++i) {
    vp.boundsMin[i] = vp.boundsMax[i] = vp.corners[0][i];
    for (int k = 1; k < 8; ++k) {
      if (vp.corners[k][i] < vp.boundsMin[i]) vp.boundsMin[i] = vp.corners[k][i];
      if (vp.corners[k][i] > vp.boundsMax[i]) vp.boundsMax[i] = vp.corners[k][i];
    }
    vp.visibleMin[i] = vp.boundsMin[i];
    vp.visibleMax[i] = vp.boundsMax[i];
  }
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 3; ++i) vp.opacityCorners[k][i] = 0.0f;
}
