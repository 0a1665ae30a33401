#pragma once

// A device emulated in host memory: kernels run their per-thread bodies in loops over the
// grid. Lets the whole GPU renderer run, and be compared with the CPU renderer, without a GPU.

#include <stdint.h>

#include <mutex>
#include <set>

#include "DeviceApi.h"

class HostDevice final : public DeviceApi {
 public:
  ~HostDevice() override;
  int DeviceCount() override { return 1; }
  void* Alloc(size_t bytes) override;
  void Free(void* p) override;
  bool CopyToDevice(void* device, const void* host, size_t bytes) override;
  bool CopyToHost(void* host, const void* device, size_t bytes) override;
  bool BuildOctree(const Octree& octree) override;
  bool InitOctree(const V3VolumeData& volume, const Octree& octree) override;
  bool UpdateOctree(const V3VolumeMark& mark, const VolumePalette& palette, const Octree& octree) override;
  bool UpdateVisibleBox(const V3VolumeData& volume, const Octree& octree, float* corners) override;
  bool ImagingVR(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                 const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                 const V3ImageRGB& image) override;
  bool ImagingVE(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                 const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                 const V3ImageRGB& image) override;

  // Allocations still held; a test's leak check.
  size_t Outstanding();
  // The allocation after `count` more succeed fails (negative: none fails).
  void FailAllocationAfter(int count);

 private:
  std::mutex m_lock;  // guards m_blocks and m_failAfter
  std::set<void*> m_blocks;
  int m_failAfter = -1;
};
