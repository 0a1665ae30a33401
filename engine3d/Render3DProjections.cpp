// Maximum, minimum and average intensity projections of Render3D.

#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "Render3DState.h"
#include "Workers.h"

namespace {

constexpr int16_t kBackground = -1024;
constexpr int16_t kMinIPStart = 4096;
constexpr int kAIPFloor = -1248;

struct ProjectionScene {
  const V3VolumeData& volume;
  const V3VolumeMark& mark;
  const VolumeParam& vp;
  const RenderParam& rp;
  const VolumePalette& palette;
  const Octree& octree;
};

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
  if (!IsLabelShown(s.palette, MaskByte(s.mark, x, y, z))) return false;
  *value = Voxel(s.volume, x, y, z);
  return true;
}

// The eight voxels around a voxel position as int16 lanes, (x0, x0 + 1) on rows y0 and y0 + 1
// of slice z0 and then of slice z1 = min(z0 + 1, last slice), with the fractions.
struct CellVoxels {
  __m128i voxels;
  float fx, fy, fz;
};

inline void LoadVoxels(const V3VolumeData& v, const float* p, CellVoxels& c) {
  const int x0 = int(p[0]), y0 = int(p[1]), z0 = int(p[2]);
  const int z1 = z0 + 1 < v.dims[2] - 1 ? z0 + 1 : v.dims[2] - 1;
  c.fx = p[0] - float(x0), c.fy = p[1] - float(y0), c.fz = p[2] - float(z0);
  const int w = v.dims[0];
  const int16_t* s0 = v.slices[z0] + x0 + y0 * w;
  const int16_t* s1 = v.slices[z1] + x0 + y0 * w;
  int32_t pairs[4];
  std::memcpy(&pairs[0], s0, 4);
  std::memcpy(&pairs[1], s0 + w, 4);
  std::memcpy(&pairs[2], s1, 4);
  std::memcpy(&pairs[3], s1 + w, 4);
  c.voxels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs));
}

// Whether some voxel of the cell exceeds m (MIP) or falls below it (MinIP).
template <bool kMax>
inline bool CellBeats(const CellVoxels& c, int16_t m) {
  const __m128i mm = _mm_set1_epi16(m);
  return _mm_movemask_epi8(kMax ? _mm_cmpgt_epi16(c.voxels, mm) : _mm_cmplt_epi16(c.voxels, mm)) != 0;
}

// RoundedValue(InterpolateCell(...)) of the cell, with the four z blends and the two x blends
// each done as one vector operation: the same operations in the same order, so the same value.
inline int16_t InterpolateVoxels(const CellVoxels& c) {
  const __m128i lower = _mm_srai_epi32(_mm_unpacklo_epi16(c.voxels, c.voxels), 16);
  const __m128i upper = _mm_srai_epi32(_mm_unpackhi_epi16(c.voxels, c.voxels), 16);
  // (c00, c10, c01, c11) = lower + (upper - lower) * fz
  const __m128 b = _mm_add_ps(_mm_cvtepi32_ps(lower),
                              _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(upper, lower)), _mm_set1_ps(c.fz)));
  // (r0, r1) = (c00, c01) + ((c10, c11) - (c00, c01)) * fx
  const __m128 left = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 0, 2, 0));
  const __m128 right = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 1, 3, 1));
  const __m128 r = _mm_add_ps(left, _mm_mul_ps(_mm_sub_ps(right, left), _mm_set1_ps(c.fx)));
  const float r0 = _mm_cvtss_f32(r), r1 = _mm_cvtss_f32(_mm_shuffle_ps(r, r, 1));
  return RoundedValue(r0 + (r1 - r0) * c.fy);
}

// The octree cell around a voxel position, as coarse as the running value allows: the first
// cell from the brick down to the 4-voxel cells whose values cannot change m. Writes its low
// corner and side; true when even the 4-voxel cell may change m. Below that level the samples
// themselves are cheaper to test than the 2-voxel cells.
template <bool kMax>
bool CellMayChange(const Octree& o, int16_t m, const float* p, int* low, int* side) {
  int c[3];
  for (int a = 0; a < 3; ++a) {
    c[a] = int(p[a]);
    c[a] = c[a] < 0 ? 0 : c[a] > o.dims[a] - 1 ? o.dims[a] - 1 : c[a];
  }
  const OctreeBrick& b = o.bricks[(c[0] >> 4) + (c[1] >> 4) * o.bricksX + (c[2] >> 4) * o.bricksPerLayer];
  int index = 0, level = 0;
  *side = kBrickSide;
  while (true) {
    const OctreeNode& n = b.levelNodes[level][index];
    const bool may = kMax ? n.maxValue > m : n.minValue < m;
    if (!may || level == 2) {
      for (int a = 0; a < 3; ++a) low[a] = c[a] & ~(*side - 1);
      return may;
    }
    ++level;
    const int bit = 4 - level;
    index = index * 8 + (((c[0] >> bit) & 1) | (((c[1] >> bit) & 1) << 1) | (((c[2] >> bit) & 1) << 2));
    *side >>= 1;
  }
}

// MIP (kMax) or MinIP of one ray: a coarse nearest-voxel pass primes the running value so
// that the octree's ranges skip most of the fine trilinear pass.
template <bool kMax>
void ExtremeRay(const ProjectionScene& s, int i, int16_t* pixels) {
  ProjectionRay ray;
  if (!StartRay(s, i, ray)) return;
  const int16_t start = kMax ? kBackground : kMinIPStart;
  if (!(ray.t1 > ray.t0)) {
    pixels[ray.pixel] = start;
    return;
  }
  const RenderParam& rp = s.rp;
  const float* dir = rp.voxelDir;
  int16_t m = start;
  float pos[3];
  for (int j = 0; ray.t0 + float(j) * rp.coarseStep < ray.t1; ++j) {
    for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + dir[a] * (float(j) * rp.coarseStep);
    const int x = int(pos[0] + 0.5f), y = int(pos[1] + 0.5f), z = int(pos[2] + 0.5f);
    const int16_t v = Voxel(s.volume, x, y, z);
    if ((kMax ? v > m : v < m) && IsLabelShown(s.palette, MaskByte(s.mark, x, y, z))) m = v;
  }
  // Fine pass over the samples k >= 1 at entry + dir * (k * step). A cell whose range cannot
  // change m drops the samples before the ray leaves it, less a margin for rounding: dropping
  // fewer is always safe. A cell that may change m has each of its samples interpolated; the
  // running value changes seldom, so a value is cheaper to compute than to rule out.
  float inverse[3];
  for (int a = 0; a < 3; ++a) inverse[a] = dir[a] != 0.0f ? 1.0f / dir[a] : 0.0f;
  const float inverseStep = 1.0f / rp.step;
  int k = 1;
  while (ray.t0 + float(k) * rp.step <= ray.t1) {
    float d = float(k) * rp.step;
    for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + dir[a] * d;
    int low[3], side;
    const bool may = CellMayChange<kMax>(s.octree, m, pos, low, &side);
    // Distance from the entry at which the ray leaves the cell.
    float exit = 1e30f;
    for (int a = 0; a < 3; ++a) {
      if (dir[a] == 0.0f) continue;
      const float plane = float(dir[a] > 0.0f ? low[a] + side : low[a]);
      exit = std::min(exit, (plane - ray.entry[a]) * inverse[a]);
    }
    if (!may) {
      const float x = (exit - 0.01f) * inverseStep;
      int next = int(x);
      next += float(next) < x ? 1 : 0;
      k = next > k ? next : k + 1;
      continue;
    }
    do {
      CellVoxels cell;
      LoadVoxels(s.volume, pos, cell);
      if (CellBeats<kMax>(cell, m) && IsLabelShown(s.palette, NearestMask(s.mark, pos))) {
        const int16_t v = InterpolateVoxels(cell);
        if (kMax ? v > m : v < m) m = v;
      }
      ++k;
      d = float(k) * rp.step;
      for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + dir[a] * d;
    } while (d < exit && ray.t0 + d <= ray.t1);
  }
  pixels[ray.pixel] = m;
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
  std::fill(image->pixels, image->pixels + int64_t(image->width) * image->height, kBackground);
  Refresh(r);
  // The rays cover the whole visible box, whatever the volume-rendering curve leaves opaque.
  float box[8][3];
  for (int k = 0; k < 8; ++k) {
    box[k][0] = (k & 1) ? r.param.visibleMax[0] : r.param.visibleMin[0];
    box[k][1] = (k & 2) ? r.param.visibleMax[1] : r.param.visibleMin[1];
    box[k][2] = (k & 4) ? r.param.visibleMax[2] : r.param.visibleMin[2];
  }
  RenderParam rp;
  SetupRays(r.param, *image, 1.0f, depth, box, rp);
  const ProjectionScene scene{r.volume, r.mark, r.param, rp, r.palette, r.octree};
  int16_t* pixels = image->pixels;
  const auto start = std::chrono::steady_clock::now();
  // Square tiles of rays: neighbouring rays read the same voxels and octree nodes, so a tile's
  // rays find them in cache where a long row of rays would not.
  constexpr int kTile = 16;
  const int tilesX = (rp.rectWidth + kTile - 1) / kTile, tilesY = (rp.rectHeight + kTile - 1) / kTile;
  RunWorkers(tilesX * tilesY, [&](int begin, int end) {
    for (int tile = begin; tile < end; ++tile) {
      const int x0 = tile % tilesX * kTile, y0 = tile / tilesX * kTile;
      const int x1 = std::min(x0 + kTile, rp.rectWidth), y1 = std::min(y0 + kTile, rp.rectHeight);
      for (int y = y0; y < y1; ++y)
        for (int i = x0 + y * rp.rectWidth; i < x1 + y * rp.rectWidth; ++i) {
          if (kind == Projection::MIP)
            ExtremeRay<true>(scene, i, pixels);
          else if (kind == Projection::MinIP)
            ExtremeRay<false>(scene, i, pixels);
          else
            AverageRay(scene, i, pixels);
        }
    }
  });
  printf("RenderIP::IP take time %llu\n", (unsigned long long)ElapsedMs(start));
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
