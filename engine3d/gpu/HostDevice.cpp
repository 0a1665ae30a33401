#include "HostDevice.h"

#include <cstdlib>
#include <cstring>

#include "render.h"

HostDevice::~HostDevice() {
  for (void* p : m_blocks) std::free(p);
}

void* HostDevice::Alloc(size_t bytes) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_failAfter == 0) return nullptr;
  if (m_failAfter > 0) --m_failAfter;
  void* p = std::malloc(bytes ? bytes : 1);
  if (p) m_blocks.insert(p);
  return p;
}

void HostDevice::Free(void* p) {
  if (!p) return;
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_blocks.erase(p)) std::free(p);
}

bool HostDevice::CopyToDevice(void* device, const void* host, size_t bytes) {
  std::memcpy(device, host, bytes);
  return true;
}

bool HostDevice::CopyToHost(void* host, const void* device, size_t bytes) {
  std::memcpy(host, device, bytes);
  return true;
}

bool HostDevice::BuildOctree(const Octree& octree) {
  Octree o = octree;
  LinkOctree(o);
  return true;
}

bool HostDevice::InitOctree(const V3VolumeData& volume, const Octree& octree) {
  const int gx = BlocksFor(octree.bricksX, kOctreeBlock), gy = BlocksFor(octree.bricksY, kOctreeBlock),
            gz = BlocksFor(octree.bricksZ, kOctreeBlock);
  for (int bz = 0; bz < gz; ++bz)
    for (int by = 0; by < gy; ++by)
      for (int bx = 0; bx < gx; ++bx)
        for (int t = 0; t < kOctreeBlock * kOctreeBlock * kOctreeBlock; ++t)
          InitOctreeThread(volume, octree, bx, by, bz, t % 4, (t / 4) % 4, t / 16);
  return true;
}

bool HostDevice::UpdateOctree(const V3VolumeMark& mark, const VolumePalette& palette, const Octree& octree) {
  const int gx = BlocksFor(octree.bricksX, kOctreeBlock), gy = BlocksFor(octree.bricksY, kOctreeBlock),
            gz = BlocksFor(octree.bricksZ, kOctreeBlock);
  for (int bz = 0; bz < gz; ++bz)
    for (int by = 0; by < gy; ++by)
      for (int bx = 0; bx < gx; ++bx)
        for (int t = 0; t < kOctreeBlock * kOctreeBlock * kOctreeBlock; ++t)
          UpdateOctreeThread(mark, palette, octree, bx, by, bz, t % 4, (t / 4) % 4, t / 16);
  return true;
}

bool HostDevice::UpdateVisibleBox(const V3VolumeData& volume, const Octree& octree, float* corners) {
  UpdateOpacityBox(volume, octree, corners);
  return true;
}

bool HostDevice::ImagingVR(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                           const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                           const V3ImageRGB& image) {
  const int gx = BlocksFor(rp.rectWidth, kImageBlock), gy = BlocksFor(rp.rectHeight, kImageBlock);
  for (int y = 0; y < gy * kImageBlock; ++y)
    for (int x = 0; x < gx * kImageBlock; ++x)
      ImagingVRThread(volume, mark, vp, rp, palette, octree, image, x, y);
  return true;
}

bool HostDevice::ImagingVE(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                           const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                           const V3ImageRGB& image) {
  const int gx = BlocksFor(rp.width, kImageBlock), gy = BlocksFor(rp.height, kImageBlock);
  for (int y = 0; y < gy * kImageBlock; ++y)
    for (int x = 0; x < gx * kImageBlock; ++x)
      ImagingVEThread(volume, mark, vp, rp, palette, octree, image, x, y);
  return true;
}

size_t HostDevice::Outstanding() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_blocks.size();
}

void HostDevice::FailAllocationAfter(int count) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_failAfter = count;
}
