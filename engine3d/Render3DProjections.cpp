// Maximum, minimum and average intensity projections of Render3D.

#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "Render3DState.h"
#include "Workers.h"
#include "SOLog.h"

namespace {

constexpr int16_t kBackground = -1024;
constexpr int16_t kMinIPStart = 4096;
constexpr int kAIPFloor = -1248;
// Rays go in square tiles of this side: neighbouring rays read the same voxels and octree
// nodes, so a tile's rays find them in cache where a long row of rays would not.
constexpr int kTile = 16;
static_assert(kTile * kTile <= 256, "a tile's rays are numbered in a byte");

struct ProjectionScene {
  const V3VolumeData& volume;
  const V3VolumeMark& mark;
  const VolumeParam& vp;
  const RenderParam& rp;
  const VolumePalette& palette;
  const Octree& octree;
  const BrickLabels* labels;         // one per brick, or null
  uint64_t shownLabels;              // bit per label whose table is shown
  const int16_t* brickBounds;        // per brick its maximum (MIP) or minimum (MinIP)
  const int16_t* const* slicePairs;  // slices z and min(z + 1, last) for every z
};

// Whether the label of voxel (x, y, z) is shown. Its brick's label summary settles it where
// every label there is shown and none is cut, so the mask is read only where labels differ.
bool VoxelShown(const ProjectionScene& s, int x, int y, int z) {
  if (s.labels) {
    const BrickLabels& brick =
        s.labels[(x >> 4) + (y >> 4) * s.octree.bricksX + (z >> 4) * s.octree.bricksPerLayer];
    if (AllLabelsShown(brick, s.shownLabels)) return true;
  }
  return IsLabelShown(s.palette, MaskByte(s.mark, x, y, z));
}

// The nearest voxel's label shown, at a voxel position.
bool NearestShown(const ProjectionScene& s, const float* p) {
  return VoxelShown(s, int(p[0] + 0.5f), int(p[1] + 0.5f), int(p[2] + 0.5f));
}

// The ray of rectangle pixel i, clipped; false when it misses the clip box.
struct ProjectionRay {
  int pixel;
  float origin[3];  // voxel origin
  float entry[3];
  float t0, t1;
};

bool StartRay(const ProjectionScene& s, int i, ProjectionRay& ray) {
  const RenderParam& rp = s.rp;
  const int column = rp.rectMin[0] + i % rp.rectWidth;
  const int row = rp.rectMin[1] + i / rp.rectWidth;
  ray.pixel = column + row * rp.width;
  float world[3], exitPoint[3];
  PixelOrigin(rp, column, row, world);
  WorldToVoxel(s.vp, world, ray.origin);
  if (!ClipRay(s.vp, world, ray.origin, rp.viewDir, rp.voxelDir, rp.clipMin, rp.clipMax, ray.entry, &ray.t0,
               exitPoint, &ray.t1))
    return false;
  if (rp.depthLength < ray.t1) ray.t1 = rp.depthLength;
  return true;
}

// The nearest voxel's value when its label is shown.
bool NearestValue(const ProjectionScene& s, const float* p, int16_t* value) {
  const int x = int(p[0] + 0.5f), y = int(p[1] + 0.5f), z = int(p[2] + 0.5f);
  if (!VoxelShown(s, x, y, z)) return false;
  *value = Voxel(s.volume, x, y, z);
  return true;
}

// The eight voxels around a voxel position as int16 lanes, (x0, x0 + 1) on rows y0 and y0 + 1
// of slice z0 and then of slice z1 = min(z0 + 1, last slice); slicePairs holds the slices z and
// z1 of every z side by side, w is the row length.
inline __m128i LoadVoxels(const int16_t* const* slicePairs, int w, int x0, int y0, int z0) {
  const int offset = x0 + y0 * w;
  const int16_t* s0 = slicePairs[2 * z0] + offset;
  const int16_t* s1 = slicePairs[2 * z0 + 1] + offset;
  const auto pair = [](const int16_t* at) {
    int32_t two;
    std::memcpy(&two, at, 4);
    return _mm_cvtsi32_si128(two);
  };
  return _mm_unpacklo_epi64(_mm_unpacklo_epi32(pair(s0), pair(s0 + w)),
                            _mm_unpacklo_epi32(pair(s1), pair(s1 + w)));
}

// Whether some of the voxels exceeds m (MIP) or falls below it (MinIP), m in every lane.
template <bool kMax>
inline bool Beats(__m128i voxels, __m128i m) {
  return _mm_movemask_epi8(kMax ? _mm_cmpgt_epi16(voxels, m) : _mm_cmplt_epi16(voxels, m)) != 0;
}

// RoundedValue(InterpolateCell(...)) of four samples, one per lane: their voxels as loaded
// and their fractions (fx, fy, fz). Every step is one vector operation over the four, the
// same operations in the same order as one sample at a time, so the same values.
inline __m128i InterpolateFour(const __m128i* voxels, __m128 fx, __m128 fy, __m128 fz) {
  // Corner c of sample j into lane j: (z0 x0y0, z0 x1y0), (z0 x0y1, z0 x1y1), then z1.
  const __m128i a = _mm_unpacklo_epi16(voxels[0], voxels[1]), b = _mm_unpacklo_epi16(voxels[2], voxels[3]);
  const __m128i c = _mm_unpackhi_epi16(voxels[0], voxels[1]), d = _mm_unpackhi_epi16(voxels[2], voxels[3]);
  const __m128i lowerY0 = _mm_unpacklo_epi32(a, b), lowerY1 = _mm_unpackhi_epi32(a, b);
  const __m128i upperY0 = _mm_unpacklo_epi32(c, d), upperY1 = _mm_unpackhi_epi32(c, d);
  const auto first = [](__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); };
  const auto second = [](__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); };
  // c = lower + (upper - lower) * fz
  const auto blendZ = [&](__m128i lower, __m128i upper) {
    return _mm_add_ps(_mm_cvtepi32_ps(lower), _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(upper, lower)), fz));
  };
  const __m128 c00 = blendZ(first(lowerY0), first(upperY0)), c10 = blendZ(second(lowerY0), second(upperY0));
  const __m128 c01 = blendZ(first(lowerY1), first(upperY1)), c11 = blendZ(second(lowerY1), second(upperY1));
  const __m128 r0 = _mm_add_ps(c00, _mm_mul_ps(_mm_sub_ps(c10, c00), fx));
  const __m128 r1 = _mm_add_ps(c01, _mm_mul_ps(_mm_sub_ps(c11, c01), fx));
  // RoundedValue: floor(value + 0.5) by truncation
  const __m128 x = _mm_add_ps(_mm_add_ps(r0, _mm_mul_ps(_mm_sub_ps(r1, r0), fy)), _mm_set1_ps(0.5f));
  const __m128i t = _mm_cvttps_epi32(x);
  return _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), x)));
}

// The brick around a voxel position: writes its low corner; true when its values may change
// m. Finer cells cost more than they save: where the brick may change m, its samples' own
// voxels are as cheap to test as its smaller cells.
template <bool kMax>
bool BrickMayChange(const ProjectionScene& s, int16_t m, const float* p, int* low) {
  const Octree& o = s.octree;
  int c[3];
  for (int a = 0; a < 3; ++a) c[a] = std::clamp(int(p[a]), 0, o.dims[a] - 1);
  const int16_t bound = s.brickBounds[(c[0] >> 4) + (c[1] >> 4) * o.bricksX + (c[2] >> 4) * o.bricksPerLayer];
  for (int a = 0; a < 3; ++a) low[a] = c[a] & ~(kBrickSide - 1);
  return kMax ? bound > m : bound < m;
}

// Up to four fine samples of a ray: positions, voxels, and the extreme of all their voxels.
struct SampleGroup {
  __m128 p[3];
  __m128i voxels[4];
  __m128i extreme;
  int n;
};

// One MIP (kMax) or MinIP ray between bricks: its pixel, entry, running value m, next fine
// sample k and last one.
struct ExtremeWalk {
  int pixel;
  float entry[3];
  int k, last;
  int16_t m;
};

// The brick stepping of an image's rays, all of one direction: per axis, the distance to a
// brick's far face is (low + 16 * ahead - entry) * inverse, plus a bias that rules out the axes
// the ray does not move along.
struct BrickStepping {
  float step, inverseStep;
  float inverse[3], ahead[3], bias[3];
  explicit BrickStepping(const RenderParam& rp) : step(rp.step), inverseStep(1.0f / rp.step) {
    for (int a = 0; a < 3; ++a) {
      const float d = rp.voxelDir[a];
      inverse[a] = d != 0.0f ? 1.0f / d : 0.0f;
      ahead[a] = d > 0.0f ? 1.0f : 0.0f;
      bias[a] = d != 0.0f ? 0.0f : 1e30f;
    }
  }
};

// Starts the ray of rectangle pixel i: a coarse nearest-voxel pass primes m so that the
// octree's ranges skip most of the fine trilinear pass. False when nothing is left to walk
// (the pixel is then written, or left alone where the ray misses the box).
template <bool kMax>
bool StartExtreme(const ProjectionScene& s, const BrickStepping& b, int i, int16_t* pixels,
                  ExtremeWalk& walk) {
  ProjectionRay ray;
  if (!StartRay(s, i, ray)) return false;
  const int16_t start = kMax ? kBackground : kMinIPStart;
  if (!(ray.t1 > ray.t0)) {
    pixels[ray.pixel] = start;
    return false;
  }
  const RenderParam& rp = s.rp;
  const float* dir = rp.voxelDir;
  int16_t m = start;
  // The coarse samples j < count, where t0 + j * coarseStep < t1, four values per test.
  int count = int((ray.t1 - ray.t0) / rp.coarseStep);
  while (ray.t0 + float(count) * rp.coarseStep < ray.t1) ++count;
  while (count > 1 && !(ray.t0 + float(count - 1) * rp.coarseStep < ray.t1)) --count;
  for (int j = 0; j < count; j += 4) {
    int voxel[4][3];
    int16_t v[4];
    for (int l = 0; l < 4; ++l) {
      // Lanes past count repeat sample j.
      const float d = float(j + l < count ? j + l : j) * rp.coarseStep;
      for (int a = 0; a < 3; ++a) voxel[l][a] = int(ray.entry[a] + dir[a] * d + 0.5f);
      v[l] = Voxel(s.volume, voxel[l][0], voxel[l][1], voxel[l][2]);
    }
    const int16_t top = kMax ? std::max(std::max(v[0], v[1]), std::max(v[2], v[3]))
                             : std::min(std::min(v[0], v[1]), std::min(v[2], v[3]));
    if (!(kMax ? top > m : top < m)) continue;
    for (int l = 0; l < 4; ++l)
      if ((kMax ? v[l] > m : v[l] < m) && VoxelShown(s, voxel[l][0], voxel[l][1], voxel[l][2])) m = v[l];
  }
  // The fine pass takes the samples k >= 1 at entry + dir * (k * step), up to the last one
  // whose parameter t0 + k * step is within t1.
  int last = int((ray.t1 - ray.t0) * b.inverseStep);
  while (ray.t0 + float(last + 1) * b.step <= ray.t1) ++last;
  while (last > 0 && ray.t0 + float(last) * b.step > ray.t1) --last;
  walk.pixel = ray.pixel;
  for (int a = 0; a < 3; ++a) walk.entry[a] = ray.entry[a];
  walk.k = 1;
  walk.last = last;
  walk.m = m;
  if (last >= 1) return true;
  pixels[ray.pixel] = m;
  return false;
}

// The fine samples of a ray in its next brick; false (and the pixel written) once the ray is
// done. A brick whose range cannot change m drops the samples before the ray leaves it, less
// a margin for rounding: dropping fewer is always safe. In a brick that may change m, a sample
// is interpolated when one of its eight voxels beats m, and counts when its value beats m and
// its label is shown.
template <bool kMax>
bool StepExtreme(const ProjectionScene& s, const BrickStepping& b, ExtremeWalk& walk, int16_t* pixels) {
  const float* dir = s.rp.voxelDir;
  const float step = b.step;
  const float e0 = walk.entry[0], e1 = walk.entry[1], e2 = walk.entry[2];
  const float d0 = dir[0], d1 = dir[1], d2 = dir[2];
  const int last = walk.last;
  int k = walk.k;
  int16_t m = walk.m;
  const float d = float(k) * step;
  const float pos[3] = {e0 + d0 * d, e1 + d1 * d, e2 + d2 * d};
  int low[3];
  const bool may = BrickMayChange<kMax>(s, m, pos, low);
  // Distance from the entry at which the ray leaves the brick.
  float exit = 1e30f;
  for (int a = 0; a < 3; ++a)
    exit = std::min(
        exit, (float(low[a]) + float(kBrickSide) * b.ahead[a] - walk.entry[a]) * b.inverse[a] + b.bias[a]);
  // The first sample index at or beyond the exit (the margin before it when skipping).
  const float x = std::min((may ? exit : exit - 0.01f) * b.inverseStep, float(last + 1));
  int next = int(x);
  next += float(next) < x ? 1 : 0;
  next = std::max(next, k + 1);
  if (may) {
    const int16_t* const* slicePairs = s.slicePairs;
    const int w = s.volume.dims[0];
    // Four samples at a time: their positions as vectors (the same operations per lane as one
    // at a time), then one test of all their voxels; where some voxel beats m, all four are
    // interpolated together, and only a value that beats m leaves the vectors. The last four
    // may reach into the next brick: taking more of the ray's samples is always safe.
    __m128i lanes = _mm_set1_epi16(m);
    // The samples k.. of the group, up to four (lanes past the ray's last one repeat the first).
    const auto load = [&](int k, SampleGroup& g) {
      g.n = std::min(4, last + 1 - k);
      const __m128 dv = _mm_mul_ps(
          _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(k), _mm_setr_epi32(0, 1, 2, 3))), _mm_set1_ps(step));
      g.p[0] = _mm_add_ps(_mm_set1_ps(e0), _mm_mul_ps(_mm_set1_ps(d0), dv));
      g.p[1] = _mm_add_ps(_mm_set1_ps(e1), _mm_mul_ps(_mm_set1_ps(d1), dv));
      g.p[2] = _mm_add_ps(_mm_set1_ps(e2), _mm_mul_ps(_mm_set1_ps(d2), dv));
      alignas(16) int32_t ix[4], iy[4], iz[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(ix), _mm_cvttps_epi32(g.p[0]));
      _mm_store_si128(reinterpret_cast<__m128i*>(iy), _mm_cvttps_epi32(g.p[1]));
      _mm_store_si128(reinterpret_cast<__m128i*>(iz), _mm_cvttps_epi32(g.p[2]));
      g.voxels[0] = LoadVoxels(slicePairs, w, ix[0], iy[0], iz[0]);
      g.extreme = g.voxels[0];
      for (int j = 1; j < 4; ++j) {
        g.voxels[j] = j < g.n ? LoadVoxels(slicePairs, w, ix[j], iy[j], iz[j]) : g.voxels[0];
        g.extreme = kMax ? _mm_max_epi16(g.extreme, g.voxels[j]) : _mm_min_epi16(g.extreme, g.voxels[j]);
      }
    };
    // Each group's voxels are asked for before the previous group's test, whose branch often
    // goes the unexpected way: the loads then overlap the restart.
    SampleGroup group, following;
    load(k, group);
    for (;;) {
      const bool more = k + group.n < next;
      if (more) load(k + group.n, following);
      if (Beats<kMax>(group.extreme, lanes)) {
        const __m128 p0 = group.p[0], p1 = group.p[1], p2 = group.p[2];
        const __m128i values =
            InterpolateFour(group.voxels, _mm_sub_ps(p0, _mm_cvtepi32_ps(_mm_cvttps_epi32(p0))),
                            _mm_sub_ps(p1, _mm_cvtepi32_ps(_mm_cvttps_epi32(p1))),
                            _mm_sub_ps(p2, _mm_cvtepi32_ps(_mm_cvttps_epi32(p2))));
        const __m128i mv = _mm_set1_epi32(m);
        int beats = _mm_movemask_ps(
            _mm_castsi128_ps(kMax ? _mm_cmpgt_epi32(values, mv) : _mm_cmplt_epi32(values, mv)));
        beats &= (1 << group.n) - 1;
        // The label last: a value that beats m is rarer than one that is shown.
        if (beats) {
          alignas(16) float px[4], py[4], pz[4];
          alignas(16) int32_t v[4];
          _mm_store_ps(px, p0), _mm_store_ps(py, p1), _mm_store_ps(pz, p2);
          _mm_store_si128(reinterpret_cast<__m128i*>(v), values);
          for (; beats; beats &= beats - 1) {
            const int j = __builtin_ctz(unsigned(beats));
            const float p[3] = {px[j], py[j], pz[j]};
            if ((kMax ? v[j] > m : v[j] < m) && NearestShown(s, p)) {
              m = int16_t(v[j]);
              lanes = _mm_set1_epi16(m);
            }
          }
        }
      }
      k += group.n;
      if (!more) break;
      group = following;
    }
    walk.m = m;
    next = k;
  }
  walk.k = next;
  if (next <= last) return true;
  pixels[walk.pixel] = m;
  return false;
}

// The MIP or MinIP rays of one tile, brick by brick: each round takes every unfinished ray
// through its next brick, so the rays, which run side by side, share the voxels of a few
// bricks while these are in cache, where one ray after another would each fetch its whole
// path again.
template <bool kMax>
void ExtremeTile(const ProjectionScene& s, int x0, int y0, int x1, int y1, int16_t* pixels) {
  const BrickStepping b(s.rp);
  ExtremeWalk walks[kTile * kTile];
  uint8_t order[kTile * kTile];  // the unfinished walks, in tile order
  int active = 0;
  for (int y = y0; y < y1; ++y)
    for (int i = x0 + y * s.rp.rectWidth; i < x1 + y * s.rp.rectWidth; ++i)
      if (StartExtreme<kMax>(s, b, i, pixels, walks[active])) {
        order[active] = uint8_t(active);
        ++active;
      }
  while (active > 0) {
    int kept = 0;
    for (int r = 0; r < active; ++r)
      if (StepExtreme<kMax>(s, b, walks[order[r]], pixels)) order[kept++] = order[r];
    active = kept;
  }
}

void AverageRay(const ProjectionScene& s, int i, int16_t* pixels) {
  ProjectionRay ray;
  if (!StartRay(s, i, ray)) return;
  const RenderParam& rp = s.rp;
  int64_t sum = 0, n = 0;
  for (int j = 0; ray.t0 + float(j) * rp.step < ray.t1; ++j) {
    float pos[3];
    for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + rp.voxelDir[a] * (float(j) * rp.step);
    int16_t v;
    if (NearestValue(s, pos, &v) && v >= kAIPFloor) {
      sum += v;
      ++n;
    }
  }
  const int64_t mean = n > 0 ? sum / n : kBackground;
  pixels[ray.pixel] = int16_t(mean < kBackground ? kBackground : mean);
}

}  // namespace

bool Render3D::ImagingIP(const V3Camera& camera, float fieldOfView, float depth, V3ImageVAL* image,
                         Projection kind) {
  if (!m_state->main.volume.slices || !(fieldOfView >= 1.0f) || !image || !image->pixels ||
      image->width < 1 || image->height < 1 || !(depth >= 0.1f))
    return false;
  const float* D = camera.direction;
  float right[3], down[3];
  Cross3(D, camera.viewUp, right);
  float len = Length3(right) + 1e-6f;
  for (float& c : right) c /= len;
  Cross3(D, right, down);
  len = Length3(down) + 1e-6f;
  for (float& c : down) c /= len;
  const double spacing = double(fieldOfView) / (image->width < image->height ? image->width : image->height);
  image->rowSpacing = image->columnSpacing = spacing;
  for (int i = 0; i < 3; ++i) {
    image->right[i] = right[i];
    image->down[i] = down[i];
    image->corner[i] = camera.position[i] - down[i] * ((image->height - 1) * spacing / 2) -
                       right[i] * ((image->width - 1) * spacing / 2);
  }
  return ImagingIP(depth, image, kind);
}

bool Render3D::ImagingIP(float depth, V3ImageVAL* image, Projection kind) {
  RenderVolume& r = m_state->main;
  if (!r.volume.slices || !image || !image->pixels || image->width <= 0 || image->height <= 0 ||
      !(depth >= 0.1f))
    return false;
  // The bound of every brick in one small table: the rays test bricks far more often than
  // there are bricks, and a brick's own node lies far from the next one's.
  std::vector<int16_t> bounds;
  std::vector<const int16_t*> slicePairs;
  try {
    if (kind != Projection::AIP) {
      bounds.resize(size_t(r.octree.brickCount));
      slicePairs.resize(2 * size_t(r.volume.dims[2]));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int z = 0; z < int(slicePairs.size()) / 2; ++z) {
    slicePairs[2 * z] = r.volume.slices[z];
    slicePairs[2 * z + 1] = r.volume.slices[std::min(z + 1, r.volume.dims[2] - 1)];
  }
  std::fill(image->pixels, image->pixels + int64_t(image->width) * image->height, kBackground);
  Refresh(r);
  RunWorkers(int(bounds.size()), [&](int begin, int end) {
    for (int b = begin; b < end; ++b) {
      const OctreeNode& root = r.octree.bricks[b].levelNodes[0][0];
      bounds[b] = kind == Projection::MIP ? root.maxValue : root.minValue;
    }
  });
  // The rays cover the whole visible box, whatever the volume-rendering curve leaves opaque.
  float box[8][3];
  for (int k = 0; k < 8; ++k) {
    box[k][0] = (k & 1) ? r.param.visibleMax[0] : r.param.visibleMin[0];
    box[k][1] = (k & 2) ? r.param.visibleMax[1] : r.param.visibleMin[1];
    box[k][2] = (k & 4) ? r.param.visibleMax[2] : r.param.visibleMin[2];
  }
  RenderParam rp;
  SetupRays(r.param, *image, 1.0f, depth, box, rp);
  const ProjectionScene scene{r.volume,
                              r.mark,
                              r.param,
                              rp,
                              r.palette,
                              r.octree,
                              r.labels.empty() ? nullptr : r.labels.data(),
                              ShownLabels(r.palette),
                              bounds.data(),
                              slicePairs.data()};
  int16_t* pixels = image->pixels;
  const auto start = std::chrono::steady_clock::now();
  const int tilesX = (rp.rectWidth + kTile - 1) / kTile, tilesY = (rp.rectHeight + kTile - 1) / kTile;
  RunWorkers(tilesX * tilesY, [&](int begin, int end) {
    for (int tile = begin; tile < end; ++tile) {
      const int x0 = tile % tilesX * kTile, y0 = tile / tilesX * kTile;
      const int x1 = std::min(x0 + kTile, rp.rectWidth), y1 = std::min(y0 + kTile, rp.rectHeight);
      if (kind == Projection::MIP) {
        ExtremeTile<true>(scene, x0, y0, x1, y1, pixels);
      } else if (kind == Projection::MinIP) {
        ExtremeTile<false>(scene, x0, y0, x1, y1, pixels);
      } else {
        for (int y = y0; y < y1; ++y)
          for (int i = x0 + y * rp.rectWidth; i < x1 + y * rp.rectWidth; ++i) AverageRay(scene, i, pixels);
      }
    }
  });
  SOLog::Debug("RenderIP::IP take time %llu\n", (unsigned long long)ElapsedMs(start));
  return true;
}

bool Render3D::ImagingMIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, depth, image, Projection::MIP);
}
bool Render3D::ImagingMIP(V3Camera camera, float fieldOfView, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, kNoDepthLimit, image, Projection::MIP);
}
bool Render3D::ImagingMIP(V3ImageVAL* image) {
  return image && ImagingIP(kNoDepthLimit, image, Projection::MIP);
}
bool Render3D::ImagingAIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, depth, image, Projection::AIP);
}
bool Render3D::ImagingAIP(V3Camera camera, float fieldOfView, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, kNoDepthLimit, image, Projection::AIP);
}
bool Render3D::ImagingAIP(V3ImageVAL* image) {
  return image && ImagingIP(kNoDepthLimit, image, Projection::AIP);
}
bool Render3D::ImagingMinIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, depth, image, Projection::MinIP);
}
bool Render3D::ImagingMinIP(V3Camera camera, float fieldOfView, V3ImageVAL* image) {
  return ImagingIP(camera, fieldOfView, kNoDepthLimit, image, Projection::MinIP);
}
bool Render3D::ImagingMinIP(V3ImageVAL* image) {
  return image && ImagingIP(kNoDepthLimit, image, Projection::MinIP);
}
