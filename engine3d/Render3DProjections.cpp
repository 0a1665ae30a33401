// Maximum, minimum and average intensity projections of Render3D.

#include <algorithm>
#include <chrono>
#include <cstdio>

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

// A trilinear sample that can beat the running extreme: some corner voxel must exceed it
// (MIP) or fall below it (MinIP), and its label must be shown. The mask is read last: most
// samples fail on the voxels, which the cell has in cache.
template <bool kMax>
bool SampleExtreme(const ProjectionScene& s, int16_t current, const float* p, int16_t* value) {
  TrilinearCell c;
  LoadCell(s.volume, p, c);
  bool may = false;
  for (int k = 0; k < 4; ++k) may = may || (kMax ? c.lower[k] > current || c.upper[k] > current
                                                 : c.lower[k] < current || c.upper[k] < current);
  if (!may || !IsLabelShown(s.palette, NearestMask(s.mark, p))) return false;
  *value = RoundedValue(InterpolateCell(c));
  return true;
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
  int16_t m = start;
  float pos[3];
  for (int j = 0; ray.t0 + float(j) * rp.coarseStep < ray.t1; ++j) {
    for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + rp.voxelDir[a] * (float(j) * rp.coarseStep);
    const int x = int(pos[0] + 0.5f), y = int(pos[1] + 0.5f), z = int(pos[2] + 0.5f);
    const int16_t v = Voxel(s.volume, x, y, z);
    if ((kMax ? v > m : v < m) && IsLabelShown(s.palette, MaskByte(s.mark, x, y, z))) m = v;
  }
  // Fine pass on the grid t0 + k * step; cells that cannot beat m only drop samples that
  // could not have changed it.
  int k = 1;
  while (true) {
    float t = ray.t0 + float(k) * rp.step;
    if (t > ray.t1) break;
    for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + rp.voxelDir[a] * (float(k) * rp.step);
    float exitPoint[3], c;
    const bool may = kMax ? OctreeLookupMax(s.octree, m, ray.origin, rp.voxelDir, pos, exitPoint, &c)
                          : OctreeLookupMin(s.octree, m, ray.origin, rp.voxelDir, pos, exitPoint, &c);
    if (!may) {
      k = NextSampleIndex(ray.t0, rp.step, c, k);
      continue;
    }
    do {
      int16_t v;
      if (SampleExtreme<kMax>(s, m, pos, &v) && (kMax ? v > m : v < m)) m = v;
      ++k;
      t = ray.t0 + float(k) * rp.step;
      for (int a = 0; a < 3; ++a) pos[a] = ray.entry[a] + rp.voxelDir[a] * (float(k) * rp.step);
    } while (t < c && t <= ray.t1);
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
  RunWorkers(rp.rectPixels, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      if (kind == Projection::MIP)
        ExtremeRay<true>(scene, i, pixels);
      else if (kind == Projection::MinIP)
        ExtremeRay<false>(scene, i, pixels);
      else
        AverageRay(scene, i, pixels);
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
