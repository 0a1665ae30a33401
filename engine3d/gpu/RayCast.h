#pragma once

// Per-image ray parameters and the per-ray code of volume rendering and fly-through, shared
// by the CPU workers and the GPU kernels.

#include "Octree.h"

struct RenderParam {
  int32_t height;
  int32_t width;
  float rowSpacing;
  float columnSpacing;
  float right[3];
  float down[3];
  float corner[3];
  float eye[3];
  float viewDir[3];
  float eyeVoxel[3];
  float voxelDir[3];
  float step;
  float stepVector[3];
  float skipEpsilon;
  float skipNudge[3];
  float coarseStep;
  float coarseStepVector[3];
  float depthLength;
  int32_t rectMin[2];
  int32_t rectMax[2];
  int32_t rectWidth;
  int32_t rectHeight;
  int32_t rectPixels;
  float clipMin[3];
  float clipMax[3];
};
static_assert(sizeof(RenderParam) == 204, "RenderParam is 51 fields of 32 bits");

constexpr float kVRStepFactor = 0.33f;
constexpr float kNoDepthLimit = 10000.0f;
constexpr float kStopTransmittance = 0.001f;

// Screen rectangle of a set of world points, rounded outward and clamped to the image. A set
// that lies wholly off the image gives an empty rectangle (rectPixels 0).
HD inline void ScreenRect(RenderParam& rp, const float (*points)[3], int count) {
  float minC = 0, maxC = 0, minR = 0, maxR = 0;
  for (int k = 0; k < count; ++k) {
    const float d[3] = {points[k][0] - rp.corner[0], points[k][1] - rp.corner[1],
                        points[k][2] - rp.corner[2]};
    const float c = Dot3(rp.right, d) / rp.columnSpacing;
    const float r = Dot3(rp.down, d) / rp.rowSpacing;
    if (k == 0 || c < minC) minC = c;
    if (k == 0 || c > maxC) maxC = c;
    if (k == 0 || r < minR) minR = r;
    if (k == 0 || r > maxR) maxR = r;
  }
  minC = floorf(minC), maxC = ceilf(maxC), minR = floorf(minR), maxR = ceilf(maxR);
  const bool onScreen = minC <= float(rp.width - 1) && maxC >= 0.0f && minR <= float(rp.height - 1) &&
                        maxR >= 0.0f && rp.width > 0 && rp.height > 0;
  if (!onScreen) {
    rp.rectMin[0] = rp.rectMin[1] = 0;
    rp.rectMax[0] = rp.rectMax[1] = -1;
    rp.rectWidth = rp.rectHeight = rp.rectPixels = 0;
    return;
  }
  rp.rectMin[0] = minC < 0.0f ? 0 : int(minC);
  rp.rectMin[1] = minR < 0.0f ? 0 : int(minR);
  rp.rectMax[0] = maxC > float(rp.width - 1) ? rp.width - 1 : int(maxC);
  rp.rectMax[1] = maxR > float(rp.height - 1) ? rp.height - 1 : int(maxR);
  rp.rectWidth = rp.rectMax[0] - rp.rectMin[0] + 1;
  rp.rectHeight = rp.rectMax[1] - rp.rectMin[1] + 1;
  rp.rectPixels = rp.rectWidth * rp.rectHeight;
}

// Step, coarse step and skip nudge for the ray direction already in rp.voxelDir.
HD inline void SetupStep(const VolumeParam& vp, float stepFactor, RenderParam& rp) {
  const float scaled[3] = {vp.spacingRatio[0] * rp.voxelDir[0], vp.spacingRatio[1] * rp.voxelDir[1],
                           vp.spacingRatio[2] * rp.voxelDir[2]};
  rp.step = stepFactor / Length3(scaled);
  rp.coarseStep = 10.0f * rp.step;
  rp.skipEpsilon = 0.001f;
  for (int i = 0; i < 3; ++i) {
    rp.stepVector[i] = rp.voxelDir[i] * rp.step;
    rp.coarseStepVector[i] = 10.0f * rp.stepVector[i];
    rp.skipNudge[i] = rp.voxelDir[i] < 0.0f ? -0.001f * vp.inverseRatio[i] : 0.001f * vp.inverseRatio[i];
  }
}

// Maps a world direction to a unit voxel direction (normalised with the 1e-6 guard).
HD inline void VoxelDirection(const VolumeParam& vp, const float* worldDir, float* voxelDir) {
  WorldToVoxelDir(vp, worldDir, voxelDir);
  const float len = Length3(voxelDir) + 1e-6f;
  for (int i = 0; i < 3; ++i) voxelDir[i] /= len;
}

// Copies the frame of an image into rp (the rectangle is left to the caller).
template <typename Image>
HD inline void CopyFrame(const Image& image, RenderParam& rp) {
  rp.width = image.width;
  rp.height = image.height;
  rp.rowSpacing = float(image.rowSpacing);
  rp.columnSpacing = float(image.columnSpacing);
  for (int i = 0; i < 3; ++i) {
    rp.right[i] = float(image.right[i]);
    rp.down[i] = float(image.down[i]);
    rp.corner[i] = float(image.corner[i]);
  }
}

// Parallel rays through the frame of an image; the rectangle covers the given world corners.
template <typename Image>
HD inline void SetupRays(const VolumeParam& vp, const Image& image, float stepFactor, float depthLimit,
                         const float (*rectCorners)[3], RenderParam& rp) {
  CopyFrame(image, rp);
  for (int i = 0; i < 3; ++i) rp.eye[i] = rp.eyeVoxel[i] = 0.0f;
  Cross3(rp.right, rp.down, rp.viewDir);
  const float len = Length3(rp.viewDir) + 1e-6f;
  for (int i = 0; i < 3; ++i) rp.viewDir[i] /= len;
  VoxelDirection(vp, rp.viewDir, rp.voxelDir);
  const float depth[3] = {rp.viewDir[0] * depthLimit, rp.viewDir[1] * depthLimit, rp.viewDir[2] * depthLimit};
  float depthVoxel[3];
  WorldToVoxelDir(vp, depth, depthVoxel);
  rp.depthLength = Length3(depthVoxel);
  SetupStep(vp, stepFactor, rp);
  ScreenRect(rp, rectCorners, 8);
  for (int i = 0; i < 3; ++i) {
    rp.clipMin[i] = vp.visibleMin[i];
    rp.clipMax[i] = vp.visibleMax[i];
  }
}

// Where a ray enters a box (parameter may be negative); false when it misses.
HD inline bool RayBoxEntry(const float* lo, const float* hi, const float* o, const float* d, float* entry,
                           float* t) {
  if (o[0] > lo[0] && o[0] < hi[0] && o[1] > lo[1] && o[1] < hi[1] && o[2] > lo[2] && o[2] < hi[2]) {
    for (int i = 0; i < 3; ++i) entry[i] = o[i];
    *t = 0.0f;
    return true;
  }
  for (int a = 0; a < 3; ++a) {
    if (fabsf(d[a]) <= 1e-4f) continue;
    const float plane = d[a] > 0.0f ? lo[a] : hi[a];
    const float ta = (plane - o[a]) / d[a];
    float p[3];
    for (int i = 0; i < 3; ++i) p[i] = o[i] + d[i] * ta;
    p[a] = plane;
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    if (p[b] > lo[b] && p[b] < hi[b] && p[c] > lo[c] && p[c] < hi[c]) {
      for (int i = 0; i < 3; ++i) entry[i] = p[i];
      *t = ta;
      return true;
    }
  }
  return false;
}

// Parameter where a ray leaves a box (10000 when no axis moves).
HD inline float RayBoxExit(const float* lo, const float* hi, const float* o, const float* d) {
  float t = 10000.0f;
  for (int a = 0; a < 3; ++a) {
    if (fabsf(d[a]) <= 1e-4f) continue;
    const float ta = ((d[a] > 0.0f ? hi[a] : lo[a]) - o[a]) / d[a];
    if (ta < t) t = ta;
  }
  return t;
}

// Clips a ray to the world clip box and to the voxel sampling box. Parameters are voxel
// distances from the voxel origin along the unit voxel direction.
HD inline bool ClipRay(const VolumeParam& vp, const float* worldOrigin, const float* voxelOrigin,
                       const float* worldDir, const float* voxelDir, const float* clipMin,
                       const float* clipMax, float* entry, float* tEntry, float* exit, float* tExit) {
  float worldEntry[3], twEntry;
  if (!RayBoxEntry(clipMin, clipMax, worldOrigin, worldDir, worldEntry, &twEntry)) return false;
  const float twExit = RayBoxExit(clipMin, clipMax, worldOrigin, worldDir);
  if (twExit < 0.0f) return false;
  float tvEntry;
  if (!RayBoxEntry(vp.sampleMin, vp.sampleMax, voxelOrigin, voxelDir, entry, &tvEntry)) return false;
  const float tvExit = RayBoxExit(vp.sampleMin, vp.sampleMax, voxelOrigin, voxelDir);
  if (tvExit < 0.0f) return false;
  for (int i = 0; i < 3; ++i) exit[i] = voxelOrigin[i] + voxelDir[i] * tvExit;
  *tEntry = tvEntry;
  *tExit = tvExit;
  // World parameters become voxel distances through the length of the mapped direction.
  float mapped[3];
  WorldToVoxelDir(vp, worldDir, mapped);
  const float scale = Length3(mapped);
  if (twEntry * scale > *tEntry) {
    *tEntry = twEntry * scale;
    float w[3];
    for (int i = 0; i < 3; ++i) w[i] = worldOrigin[i] + worldDir[i] * twEntry;
    WorldToVoxel(vp, w, entry);
  }
  if (twExit * scale < *tExit) {
    *tExit = twExit * scale;
    float w[3];
    for (int i = 0; i < 3; ++i) w[i] = worldOrigin[i] + worldDir[i] * twExit;
    WorldToVoxel(vp, w, exit);
  }
  return *tEntry <= *tExit;
}

HD inline int16_t Voxel(const V3VolumeData& v, int x, int y, int z) {
  return v.slices[z][x + y * v.dims[0]];
}

// The eight voxels around a position and its fractions: corners (x, y) = (0,0), (1,0), (0,1),
// (1,1) on slice z0, then the same on z1 = min(z0 + 1, last slice).
struct TrilinearCell {
  int lower[4];
  int upper[4];
  float fx, fy, fz;
};

HD inline void LoadCell(const V3VolumeData& v, const float* p, TrilinearCell& c) {
  const int x0 = int(p[0]), y0 = int(p[1]), z0 = int(p[2]);
  const int z1 = z0 + 1 < v.dims[2] - 1 ? z0 + 1 : v.dims[2] - 1;
  c.fx = p[0] - float(x0), c.fy = p[1] - float(y0), c.fz = p[2] - float(z0);
  const int w = v.dims[0];
  const int16_t* s0 = v.slices[z0] + x0 + y0 * w;
  const int16_t* s1 = v.slices[z1] + x0 + y0 * w;
  c.lower[0] = s0[0], c.lower[1] = s0[1], c.lower[2] = s0[w], c.lower[3] = s0[w + 1];
  c.upper[0] = s1[0], c.upper[1] = s1[1], c.upper[2] = s1[w], c.upper[3] = s1[w + 1];
}

// Along z first, then x, then y.
HD inline float InterpolateCell(const TrilinearCell& c) {
  const float c00 = c.lower[0] + (c.upper[0] - c.lower[0]) * c.fz;
  const float c10 = c.lower[1] + (c.upper[1] - c.lower[1]) * c.fz;
  const float c01 = c.lower[2] + (c.upper[2] - c.lower[2]) * c.fz;
  const float c11 = c.lower[3] + (c.upper[3] - c.lower[3]) * c.fz;
  const float r0 = c00 + (c10 - c00) * c.fx;
  const float r1 = c01 + (c11 - c01) * c.fx;
  return r0 + (r1 - r0) * c.fy;
}

HD inline float TrilinearValue(const V3VolumeData& v, const float* p) {
  TrilinearCell c;
  LoadCell(v, p, c);
  return InterpolateCell(c);
}

// Unscaled central-difference gradient at a voxel position, interpolated with the trilinear
// weights. z neighbours are clamped to the volume; x and y stay inside through the sampling box.
HD inline void TrilinearGradient(const V3VolumeData& v, const float* p, float* g) {
  const int x0 = int(p[0]), y0 = int(p[1]), z0 = int(p[2]);
  const int lastZ = v.dims[2] - 1;
  const int z1 = z0 + 1 < lastZ ? z0 + 1 : lastZ;
  const float fx = p[0] - float(x0), fy = p[1] - float(y0), fz = p[2] - float(z0);
  const int w = v.dims[0];
  const int zs[2] = {z0, z1};
  float corner[2][2][2][3];  // [z][y][x][axis]
  for (int k = 0; k < 2; ++k) {
    const int z = zs[k];
    const int zm = z - 1 < 0 ? 0 : z - 1;
    const int zp = z + 1 > lastZ ? lastZ : z + 1;
    const int16_t* s = v.slices[z];
    const int16_t* sm = v.slices[zm];
    const int16_t* sp = v.slices[zp];
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i) {
        const int idx = (x0 + i) + (y0 + j) * w;
        corner[k][j][i][0] = float(s[idx + 1] - s[idx - 1]);
        corner[k][j][i][1] = float(s[idx + w] - s[idx - w]);
        corner[k][j][i][2] = float(sp[idx] - sm[idx]);
      }
  }
  for (int a = 0; a < 3; ++a) {
    const float c00 = corner[0][0][0][a] + (corner[1][0][0][a] - corner[0][0][0][a]) * fz;
    const float c10 = corner[0][0][1][a] + (corner[1][0][1][a] - corner[0][0][1][a]) * fz;
    const float c01 = corner[0][1][0][a] + (corner[1][1][0][a] - corner[0][1][0][a]) * fz;
    const float c11 = corner[0][1][1][a] + (corner[1][1][1][a] - corner[0][1][1][a]) * fz;
    const float r0 = c00 + (c10 - c00) * fx;
    const float r1 = c01 + (c11 - c01) * fx;
    g[a] = r0 + (r1 - r0) * fy;
  }
}

// A trilinear value as a voxel value, rounded to nearest (halves upward) for negative values
// as well, so air at -1024 stays -1024.
// floorf(value + 0.5f), found by truncation so that loops over it can be vectorised.
HD inline int16_t RoundedValue(float value) {
  const float x = value + 0.5f;
  const int t = int(x);
  return int16_t(t - (float(t) > x ? 1 : 0));
}

// Opacity and colour of a sample under one label's table; false when out of range or clear.
HD inline bool SampleVoxel(const V3VolumeData& v, const VolumeLabelPalette& label, const float* p,
                           float* opacity, const uint8_t** rgb) {
  const float value = TrilinearValue(v, p);
  const int index = int(int16_t(int(value + 0.5f))) - label.minValue;
  if (index < 0 || index >= int(label.count)) return false;
  *opacity = label.alpha[index];
  if (*opacity <= kOpaqueAlpha) return false;
  *rgb = label.rgb + 3 * index;
  return true;
}

// Nearest-voxel mask byte at a sample position.
HD inline uint8_t NearestMask(const V3VolumeMark& mark, const float* p) {
  return MaskByte(mark, int(p[0] + 0.5f), int(p[1] + 0.5f), int(p[2] + 0.5f));
}

// Index of the first sample at or beyond parameter c on the grid t0 + k * step, and at least
// k + 1, so a ray always moves on.
HD inline int NextSampleIndex(float t0, float step, float c, int k) {
  const int next = int(ceil(double(c - t0) / double(step)));
  return next > k ? next : k + 1;
}

// Front-to-back compositing along one ray from a world origin; returns the packed pixel.
// Samples lie on the fixed grid t0 + k * step from the entry, and an empty octree cell only
// removes samples that could not have contributed, so skipping never changes the picture.
HD inline uint32_t CalcVR(const float* origin, const V3VolumeData& volume, const V3VolumeMark& mark,
                          const VolumeParam& vp, const RenderParam& rp, const VolumePalette& palette,
                          const Octree& octree) {
  float o[3], entry[3], exitPoint[3], t0, tExit;
  WorldToVoxel(vp, origin, o);
  if (!ClipRay(vp, origin, o, rp.viewDir, rp.voxelDir, rp.clipMin, rp.clipMax, entry, &t0, exitPoint, &tExit))
    return 0;
  if (!(t0 < tExit)) return 0;
  float T = 1.0f, R = 0.0f, G = 0.0f, B = 0.0f;
  int k = 1;
  while (T >= kStopTransmittance) {
    float t = t0 + float(k) * rp.step;
    if (t > tExit) break;
    float pos[3], cellExit[3], c;
    for (int i = 0; i < 3; ++i) pos[i] = entry[i] + rp.voxelDir[i] * (float(k) * rp.step);
    if (!OctreeLookup(octree, o, rp.voxelDir, pos, cellExit, &c)) {
      k = NextSampleIndex(t0, rp.step, c, k);
      continue;
    }
    // Every sample of the visible cell, at least one.
    do {
      const uint8_t m = NearestMask(mark, pos);
      float alpha;
      const uint8_t* rgb;
      if (IsLabelShown(palette, m) &&
          SampleVoxel(volume, *palette.labels[m & kMaskLabel], pos, &alpha, &rgb)) {
        const VolumeLabelPalette& label = *palette.labels[m & kMaskLabel];
        float g[3];
        TrilinearGradient(volume, pos, g);
        const float a = vp.inverseRatio[0] * g[0] + vp.sliceInFrame[0] * vp.inverseRatio[2] * g[2];
        const float b = vp.inverseRatio[1] * g[1] + vp.sliceInFrame[1] * vp.inverseRatio[2] * g[2];
        const float cz = vp.sliceInFrame[2] * vp.inverseRatio[2] * g[2];
        float nrm[3];
        for (int i = 0; i < 3; ++i)
          nrm[i] = a * vp.orientation[i] + b * vp.orientation[3 + i] + cz * vp.normal[i];
        const float len = Length3(nrm) + 1e-6f;
        const float d = fabsf(Dot3(nrm, rp.viewDir) / len);
        float shade = label.diffuse * d + label.ambient;
        if (label.specular != 0.0f) shade += float(label.specular * pow(double(d), 96.0));
        const float w = shade * alpha * T;
        R += rgb[0] * w;
        G += rgb[1] * w;
        B += rgb[2] * w;
        T *= 1.0f - alpha;
      }
      ++k;
      t = t0 + float(k) * rp.step;
      for (int i = 0; i < 3; ++i) pos[i] = entry[i] + rp.voxelDir[i] * (float(k) * rp.step);
    } while (t < c && t <= tExit && T >= kStopTransmittance);
  }
  const uint32_t r = R > 255.0f ? 255u : uint32_t(R);
  const uint32_t g = G > 255.0f ? 255u : uint32_t(G);
  const uint32_t b = B > 255.0f ? 255u : uint32_t(B);
  const uint32_t alpha = T < kStopTransmittance ? 255u : uint32_t(int(255.0f * (1.0f - T)));
  return b << 24 | g << 16 | r << 8 | alpha;
}

// Cuts the clip box of an image to one side of the anatomical centre: plane 0 acts on z,
// 1 on x, 2 on y; part 0 keeps coordinates up to the centre, part 1 from it on.
HD inline void AnatomicalClip(bool enabled, int plane, int part, const double* centre, RenderParam& rp) {
  if (!enabled) return;
  const int axis = plane == 0 ? 2 : plane == 1 ? 0 : plane == 2 ? 1 : -1;
  if (axis < 0) return;
  const float c = float(centre[axis]);
  if (part == 1 && c > rp.clipMin[axis]) rp.clipMin[axis] = c;
  if (part == 0 && c < rp.clipMax[axis]) rp.clipMax[axis] = c;
}

// The fly-through frame: the view angle clamped to 5..175 degrees, pixels of the smallest
// spacing, the image plane at the distance that angle gives. Writes the frame into the image
// and the shared ray parameters (the per-ray ones are set by VEPixel).
HD inline void SetupViewPoint(const VolumeParam& vp, const V3ViewPoint& view, float viewAngle,
                              V3ImageRGB& image, RenderParam& rp) {
  if (!(viewAngle >= 5.0f)) viewAngle = 5.0f;
  if (viewAngle > 175.0f) viewAngle = 175.0f;
  const float* E = view.position;
  const float* D = view.direction;
  float right[3], down[3];
  Cross3(D, view.viewUp, right);
  float len = Length3(right) + 1e-6f;
  for (int i = 0; i < 3; ++i) right[i] /= len;
  Cross3(D, right, down);
  len = Length3(down) + 1e-6f;
  for (int i = 0; i < 3; ++i) down[i] /= len;
  const float s = vp.minSpacing;
  const float h = float(image.height - 1) * s / 2.0f, w = float(image.width - 1) * s / 2.0f;
  const float distance = h / tanf(viewAngle / 2.0f * 3.1415927f / 180.0f);
  image.rowSpacing = image.columnSpacing = s;
  for (int i = 0; i < 3; ++i) {
    image.right[i] = right[i];
    image.down[i] = down[i];
    image.corner[i] = E[i] + D[i] * distance - down[i] * h - right[i] * w;
  }
  CopyFrame(image, rp);
  for (int i = 0; i < 3; ++i) {
    rp.eye[i] = E[i];
    rp.clipMin[i] = vp.boundsMin[i];
    rp.clipMax[i] = vp.boundsMax[i];
  }
  WorldToVoxel(vp, rp.eye, rp.eyeVoxel);
  rp.rectMin[0] = rp.rectMin[1] = 0;
  rp.rectMax[0] = image.width - 1;
  rp.rectMax[1] = image.height - 1;
  rp.rectWidth = image.width;
  rp.rectHeight = image.height;
  rp.rectPixels = image.width * image.height;
}

// World origin of the parallel ray of screen pixel (column, row).
HD inline void PixelOrigin(const RenderParam& rp, int column, int row, float* origin) {
  for (int i = 0; i < 3; ++i)
    origin[i] = rp.corner[i] + rp.right[i] * (float(column) * rp.columnSpacing) +
                rp.down[i] * (float(row) * rp.rowSpacing);
}

// One ray of a VR image: ray i of the screen rectangle.
HD inline void VRPixel(int i, const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                       const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                       uint32_t* pixels) {
  const int column = rp.rectMin[0] + i % rp.rectWidth;
  const int row = rp.rectMin[1] + i / rp.rectWidth;
  float origin[3];
  PixelOrigin(rp, column, row, origin);
  pixels[column + row * rp.width] = CalcVR(origin, volume, mark, vp, rp, palette, octree);
}

// One ray of a fly-through image: from the eye through pixel (column, row).
HD inline void VEPixel(int column, int row, const V3VolumeData& volume, const V3VolumeMark& mark,
                       const VolumeParam& vp, const RenderParam& shared, const VolumePalette& palette,
                       const Octree& octree, uint32_t* pixels) {
  RenderParam rp = shared;
  float p[3];
  PixelOrigin(rp, column, row, p);
  for (int i = 0; i < 3; ++i) rp.viewDir[i] = p[i] - rp.eye[i];
  const float len = Length3(rp.viewDir) + 1e-6f;
  for (int i = 0; i < 3; ++i) rp.viewDir[i] /= len;
  VoxelDirection(vp, rp.viewDir, rp.voxelDir);
  SetupStep(vp, kVRStepFactor, rp);
  pixels[column + row * rp.width] = CalcVR(rp.eye, volume, mark, vp, rp, palette, octree);
}
