#include "Render3D.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "OctreeBuild.h"
#include "Render3DState.h"
#include "Workers.h"
#include "SOLog.h"

namespace {

void ForgetVolume(RenderVolume& r) {
  r.volume = V3VolumeData{};
  r.mark = V3VolumeMark{};
  r.palette = VolumePalette{};
  FreeOctree(r.octree);
  r.labels.clear();
  r.maskChanged = true;
}

}  // namespace

uint64_t ElapsedMs(std::chrono::steady_clock::time_point start) {
  return uint64_t(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count());
}

RenderVolume::~RenderVolume() {
  FreeOctree(octree);
}

Render3D::Render3D() : m_state(new Render3DState) {}

Render3D::~Render3D() {
  Clear();
}

bool Render3D::SetVolumeData(const V3VolumeData& volume) {
  m_state->main.volume = V3VolumeData{};
  if (!IsVolumeUsable(volume)) return false;
  RenderVolume& r = m_state->main;
  r.volume = volume;
  BuildVolumeParam(volume, r.param);
  for (int i = 0; i < 3; ++i)
    m_state->anatomicalCenter[i] = (r.param.boundsMin[i] + r.param.boundsMax[i]) / 2.0;
  return true;
}

bool Render3D::InitData(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumePalette& palette) {
  Clear();
  if (!SetVolumeData(volume)) return false;
  RenderVolume& r = m_state->main;
  if (!BuildOctree(volume, r.octree) || !InitOctreeBricks(volume, r.octree)) {
    ForgetVolume(r);
    return false;
  }
  r.mark = mark;
  r.palette = palette;
  r.dirty = true;
  return true;
}

void Render3D::Clear() {
  ForgetVolume(m_state->main);
  m_state->attached.clear();
}

void Render3D::SetVolumeMark(const V3VolumeMark& mark) {
  m_state->main.mark = mark;
  m_state->main.dirty = m_state->main.maskChanged = true;
  // Attached phases read the same mask voxels.
  for (auto& r : m_state->attached) r->dirty = r->maskChanged = true;
}

bool Render3D::GetBoundingBox(float* low, float* high) {
  if (!m_state->main.volume.slices) return false;
  for (int i = 0; i < 3; ++i)
    low[i] = m_state->main.param.boundsMin[i], high[i] = m_state->main.param.boundsMax[i];
  return true;
}

bool Render3D::SetVisibleBox(const float* a, const float* b) {
  if (!m_state->main.volume.slices) return false;
  // Every phase keeps the crop, so it stays during 4D playback.
  auto apply = [&](VolumeParam& vp) {
    for (int i = 0; i < 3; ++i) {
      vp.visibleMin[i] = a[i] < b[i] ? a[i] : b[i];
      vp.visibleMax[i] = a[i] < b[i] ? b[i] : a[i];
    }
  };
  apply(m_state->main.param);
  for (auto& r : m_state->attached) apply(r->param);
  return true;
}

bool Render3D::GetVisibleBox(float* low, float* high) {
  if (!m_state->main.volume.slices) return false;
  for (int i = 0; i < 3; ++i)
    low[i] = m_state->main.param.visibleMin[i], high[i] = m_state->main.param.visibleMax[i];
  return true;
}

void Render3D::Refresh(RenderVolume& r) {
  if (!r.dirty) return;
  if (r.maskChanged) {
    SummarizeBrickLabels(r.mark, r.octree, r.labels);
    r.maskChanged = false;
  }
  UpdateOctreeBricks(r.mark, m_state->main.palette, r.octree, r.labels.empty() ? nullptr : &r.labels);
  UpdateOpacityBox(r.volume, r.octree, &r.param.opacityCorners[0][0]);
  r.dirty = false;
}

bool Render3D::ImagingVR(V3ImageRGB* image, int index) {
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0) return false;
  if (!m_state->main.volume.slices) return false;
  const int attached = int(m_state->attached.size());
  RenderVolume& r = index > 0 && index <= attached ? *m_state->attached[index - 1] : m_state->main;
  Refresh(r);
  RenderParam rp;
  SetupRays(r.param, *image, kVRStepFactor, kNoDepthLimit, r.param.opacityCorners, rp);
  AnatomicalClip(m_state->anatomicalEnabled, m_state->plane, m_state->part, m_state->anatomicalCenter, rp);
  const VolumePalette& palette = m_state->main.palette;
  const auto start = std::chrono::steady_clock::now();
  RunWorkers(rp.rectPixels, [&](int begin, int end) {
    for (int i = begin; i < end; ++i)
      VRPixel(i, r.volume, r.mark, r.param, rp, palette, r.octree, image->pixels);
  });
  SOLog::Debug("Render3D::VR take time %llu\n", (unsigned long long)ElapsedMs(start));
  return true;
}

bool Render3D::ImagingVE(V3ViewPoint viewPoint, float viewAngle, V3ImageRGB* image) {
  RenderVolume& r = m_state->main;
  if (!r.volume.slices || !image || !image->pixels || image->width <= 0 || image->height <= 0) return false;
  Refresh(r);
  RenderParam rp{};
  SetupViewPoint(r.param, viewPoint, viewAngle, *image, rp);
  const VolumePalette& palette = r.palette;
  const int width = image->width;
  const auto start = std::chrono::steady_clock::now();
  RunWorkers(rp.rectPixels, [&](int begin, int end) {
    for (int i = begin; i < end; ++i)
      VEPixel(i % width, i / width, r.volume, r.mark, r.param, rp, palette, r.octree, image->pixels);
  });
  SOLog::Debug("Render3D::VE take time %llu\n", (unsigned long long)ElapsedMs(start));
  return true;
}

bool Render3D::SetPalette(const VolumePalette& palette) {
  m_state->main.palette = palette;
  m_state->main.dirty = true;
  for (auto& r : m_state->attached) r->dirty = true;
  return true;
}

bool Render3D::SetAnatomicalRenderEnable(bool enabled) {
  m_state->anatomicalEnabled = enabled;
  return true;
}

bool Render3D::SetAnatomicalPart(V3AnatomicalPart part) {
  m_state->part = part;
  return true;
}

bool Render3D::SetAnatomicalPlane(V3AnatomicalPlane plane) {
  m_state->plane = plane;
  return true;
}

bool Render3D::SetAnatomicalCenter(float* center) {
  for (int i = 0; i < 3; ++i) m_state->anatomicalCenter[i] = center[i];
  return true;
}

int Render3D::AttachVolumeData(const V3VolumeData& volume) {
  const RenderVolume& main = m_state->main;
  if (!main.volume.slices || !volume.slices) return 0;
  for (int i = 0; i < 3; ++i)
    if (volume.dims[i] != main.volume.dims[i]) return 0;
  if (!IsVolumeUsable(volume)) return 0;
  auto r = std::unique_ptr<RenderVolume>(new (std::nothrow) RenderVolume);
  if (!r) return 0;
  r->volume = volume;
  r->mark = main.mark;
  r->dirty = true;
  BuildVolumeParam(volume, r->param);
  // The phases share the crop of the main volume.
  for (int i = 0; i < 3; ++i) {
    r->param.visibleMin[i] = main.param.visibleMin[i];
    r->param.visibleMax[i] = main.param.visibleMax[i];
  }
  if (!BuildOctree(volume, r->octree) || !InitOctreeBricks(volume, r->octree)) return 0;
  try {
    m_state->attached.push_back(std::move(r));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return int(m_state->attached.size());
}

void Render3D::ClearAttachVolume() {
  m_state->attached.clear();
}
