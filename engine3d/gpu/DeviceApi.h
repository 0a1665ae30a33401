#pragma once

// The device operations the GPU renderer needs: memory, copies, synchronisation and the six
// kernel launches. The CUDA runtime implements them on a GPU; HostDevice emulates them with
// host memory and loops over the grid, so the whole renderer also runs without a GPU.

#include <stddef.h>

#include "RayCast.h"

class DeviceApi {
 public:
  virtual ~DeviceApi() = default;
  // Number of usable devices; 0 when there is no device or driver.
  virtual int DeviceCount() = 0;
  // Null on failure.
  virtual void* Alloc(size_t bytes) = 0;
  virtual void Free(void* p) = 0;
  virtual bool CopyToDevice(void* device, const void* host, size_t bytes) = 0;
  virtual bool CopyToHost(void* host, const void* device, size_t bytes) = 0;

  // Launches; each returns false when the launch or the wait for it failed.
  virtual bool BuildOctree(const Octree& octree) = 0;
  virtual bool InitOctree(const V3VolumeData& volume, const Octree& octree) = 0;
  virtual bool UpdateOctree(const V3VolumeMark& mark, const VolumePalette& palette, const Octree& octree) = 0;
  virtual bool UpdateVisibleBox(const V3VolumeData& volume, const Octree& octree, float* corners) = 0;
  virtual bool ImagingVR(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                         const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                         const V3ImageRGB& image) = 0;
  virtual bool ImagingVE(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                         const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                         const V3ImageRGB& image) = 0;
};

// The device new Cuda3D objects use: the CUDA runtime when the kernels were built, else none
// (null: no device). Tests may install another, such as a HostDevice; null restores the default.
DeviceApi* DefaultDevice();
void SetDefaultDevice(DeviceApi* device);

// Grid sizes of the launches.
constexpr int kOctreeBlock = 4;
constexpr int kImageBlock = 16;
inline int BlocksFor(int count, int block) {
  return (count + block - 1) / block;
}
