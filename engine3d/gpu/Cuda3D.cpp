#include "Cuda3D.h"

#include <chrono>
#include <vector>

#include "CUDA_Data.h"
#include "CUDA_Octree.h"
#include "DeviceApi.h"
#include "SOLog.h"

// One attached volume: its own volume mirror, geometry and octree; mask and palette are shared.
struct GpuVolume {
  Octree octree{};
  V3VolumeData volume{};
  VolumeParam param{};
};

// Owned by the one thread that drives the engine; no lock.
struct Cuda3DState {
  DeviceApi* device = nullptr;
  V3AnatomicalPlane plane = V3PLANE_AXIAL;
  V3AnatomicalPart part = V3PART_LOWER;
  bool anatomicalEnabled = false;
  double anatomicalCenter[3] = {0, 0, 0};
  V3VolumeData volume{};
  V3VolumeMark mark{};
  VolumePalette palette{};
  VolumeParam param{};
  V3ImageRGB veImage{};
  Octree octree{};
  std::vector<GpuVolume> attached;
};

extern "C" {
// Asks hybrid-graphics drivers to run the process on the discrete GPU.
__attribute__((visibility("default"))) uint32_t NvOptimusEnablementCuda = 1;
}

namespace {

void FreeGpuVolume(DeviceApi& dev, GpuVolume& g) {
  FreeDeviceOctree(dev, g.octree);
  UploadVolume(dev, g.volume, nullptr, nullptr);
}

uint64_t Since(std::chrono::steady_clock::time_point start) {
  return uint64_t(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count());
}

}  // namespace

Cuda3D::Cuda3D() : Cuda3D(DefaultDevice()) {}

Cuda3D::Cuda3D(DeviceApi* device) : m_state(new Cuda3DState) {
  m_state->device = device;
}

Cuda3D::~Cuda3D() {
  Clear();
}

bool Cuda3D::SupportCuda() {
  return m_state->device && m_state->device->DeviceCount() > 0;
}

bool Cuda3D::InitData(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumePalette& palette) {
  Clear();
  Cuda3DState& s = *m_state;
  if (!SupportCuda()) return false;
  DeviceApi& dev = *s.device;
  const bool ok = UploadVolume(dev, s.volume, &s.param, &volume) &&
                  AllocDeviceOctree(dev, s.volume, s.octree, kOctreeLevels) &&
                  BuildDeviceOctree(dev, s.volume, s.octree) && UploadMark(dev, s.mark, &mark) &&
                  UploadPalette(dev, s.palette, &palette) &&
                  UpdateDeviceOctree(dev, s.mark, s.palette, s.volume, s.param, s.octree);
  if (!ok) {
    Clear();
    return false;
  }
  // As on the CPU, clipping starts at the centre of the volume.
  for (int i = 0; i < 3; ++i)
    s.anatomicalCenter[i] = (double(s.param.boundsMin[i]) + s.param.boundsMax[i]) / 2;
  return true;
}

// Every volume's flags follow the shared mask and palette.
bool Cuda3D::UpdateAllOctrees() {
  Cuda3DState& s = *m_state;
  bool ok = UpdateDeviceOctree(*s.device, s.mark, s.palette, s.volume, s.param, s.octree);
  for (GpuVolume& g : s.attached)
    ok = ok && UpdateDeviceOctree(*s.device, s.mark, s.palette, g.volume, g.param, g.octree);
  return ok;
}

bool Cuda3D::SetPalette(const VolumePalette& palette) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices) return false;
  return UploadPalette(*s.device, s.palette, &palette) && UpdateAllOctrees();
}

bool Cuda3D::SetVolumeMark(const V3VolumeMark& mark) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices) return false;
  return UploadMark(*s.device, s.mark, &mark) && UpdateAllOctrees();
}

bool Cuda3D::SetVisibleBox(const float* a, const float* b) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices) return false;
  auto apply = [&](VolumeParam& vp) {
    for (int i = 0; i < 3; ++i) {
      vp.visibleMin[i] = a[i] < b[i] ? a[i] : b[i];
      vp.visibleMax[i] = a[i] < b[i] ? b[i] : a[i];
    }
  };
  apply(s.param);
  for (GpuVolume& g : s.attached) apply(g.param);
  return true;
}

bool Cuda3D::GetVisibleBox(float* low, float* high) {
  const Cuda3DState& s = *m_state;
  if (!s.volume.slices) return false;
  for (int i = 0; i < 3; ++i) low[i] = s.param.visibleMin[i], high[i] = s.param.visibleMax[i];
  return true;
}

void Cuda3D::Clear() {
  Cuda3DState& s = *m_state;
  if (!s.device) return;
  DeviceApi& dev = *s.device;
  ClearAttachVolume();
  FreeDeviceOctree(dev, s.octree);
  UploadVolume(dev, s.volume, nullptr, nullptr);
  UploadMark(dev, s.mark, nullptr);
  UploadPalette(dev, s.palette, nullptr);
  UploadImage(dev, s.veImage, nullptr);
}

bool Cuda3D::ImagingVR(V3ImageRGB* image, int index) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices || !s.mark.slices || !s.palette.labels[0] || !image) return false;
  DeviceApi& dev = *s.device;
  V3ImageRGB mirror{};
  if (!UploadImage(dev, mirror, image)) return false;
  const int attached = int(s.attached.size());
  const V3VolumeData& volume = index > 0 && index <= attached ? s.attached[index - 1].volume : s.volume;
  const VolumeParam& vp = index > 0 && index <= attached ? s.attached[index - 1].param : s.param;
  const Octree& octree = index > 0 && index <= attached ? s.attached[index - 1].octree : s.octree;
  RenderParam rp;
  SetupRays(vp, *image, kVRStepFactor, kNoDepthLimit, vp.opacityCorners, rp);
  AnatomicalClip(s.anatomicalEnabled, s.plane, s.part, s.anatomicalCenter, rp);
  bool ok = true;
  if (rp.rectPixels > 0) {
    SOLog::Debug("Block(%d, %d, %d) Thread(%d, %d, %d)\n", BlocksFor(rp.rectWidth, kImageBlock),
           BlocksFor(rp.rectHeight, kImageBlock), 1, kImageBlock, kImageBlock, 1);
    const auto start = std::chrono::steady_clock::now();
    ok = dev.ImagingVR(volume, s.mark, vp, rp, s.palette, octree, mirror);
    SOLog::Debug("Imaging_VR Kernel take time %llu\n", (unsigned long long)Since(start));
    ok = ok && DownloadImage(dev, mirror, image);
  }
  UploadImage(dev, mirror, nullptr);
  return ok;
}

bool Cuda3D::ImagingVE(V3ViewPoint viewPoint, float viewAngle, V3ImageRGB* image) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices || !s.mark.slices || !s.palette.labels[0] || !image) return false;
  DeviceApi& dev = *s.device;
  if (!UploadImage(dev, s.veImage, image)) return false;
  RenderParam rp{};
  SetupViewPoint(s.param, viewPoint, viewAngle, *image, rp);
  SOLog::Debug("Block(%d, %d, %d) Thread(%d, %d, %d)\n", BlocksFor(rp.width, kImageBlock),
         BlocksFor(rp.height, kImageBlock), 1, kImageBlock, kImageBlock, 1);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = dev.ImagingVE(s.volume, s.mark, s.param, rp, s.palette, s.octree, s.veImage);
  SOLog::Debug("Imaging_VE Kernel take time %llu\n", (unsigned long long)Since(start));
  return ok && DownloadImage(dev, s.veImage, image);
}

bool Cuda3D::SetAnatomicalRenderEnable(bool enabled) {
  m_state->anatomicalEnabled = enabled;
  return true;
}

bool Cuda3D::SetAnatomicalPart(V3AnatomicalPart part) {
  m_state->part = part;
  return true;
}

bool Cuda3D::SetAnatomicalPlane(V3AnatomicalPlane plane) {
  m_state->plane = plane;
  return true;
}

bool Cuda3D::SetAnatomicalCenter(float* center) {
  for (int i = 0; i < 3; ++i) m_state->anatomicalCenter[i] = center[i];
  return true;
}

int Cuda3D::AttachVolumeData(const V3VolumeData& volume) {
  Cuda3DState& s = *m_state;
  if (!s.volume.slices || !volume.slices) return 0;
  for (int i = 0; i < 3; ++i)
    if (volume.dims[i] != s.volume.dims[i]) return 0;
  DeviceApi& dev = *s.device;
  GpuVolume g;
  bool ok = UploadVolume(dev, g.volume, &g.param, &volume) &&
            AllocDeviceOctree(dev, g.volume, g.octree, kOctreeLevels) &&
            BuildDeviceOctree(dev, g.volume, g.octree) &&
            UpdateDeviceOctree(dev, s.mark, s.palette, g.volume, g.param, g.octree);
  if (ok) {
    // Phases share the crop of the main volume.
    for (int i = 0; i < 3; ++i)
      g.param.visibleMin[i] = s.param.visibleMin[i], g.param.visibleMax[i] = s.param.visibleMax[i];
    try {
      s.attached.push_back(g);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    FreeGpuVolume(dev, g);
    return 0;
  }
  return int(s.attached.size());
}

void Cuda3D::ClearAttachVolume() {
  Cuda3DState& s = *m_state;
  if (!s.device) return;
  for (GpuVolume& g : s.attached) FreeGpuVolume(*s.device, g);
  s.attached.clear();
}
