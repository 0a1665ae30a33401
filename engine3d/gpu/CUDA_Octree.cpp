#include "CUDA_Octree.h"

#include <chrono>

#include "SOLog.h"

bool AllocDeviceOctree(DeviceApi& dev, const V3VolumeData& volume, Octree& octree, int levels) {
  FreeDeviceOctree(dev, octree);
  Octree o{};
  if (levels != kOctreeLevels || !SizeOctree(volume.dims, o)) return false;
  int32_t full[4], partial[4];
  ComputeLevelCounts(kBrickSide, full);
  ComputeLevelCounts(volume.dims[2] % kBrickSide, partial);
  o.nodes = static_cast<OctreeNode*>(dev.Alloc(size_t(OctreeNodeCount(o)) * sizeof(OctreeNode)));
  o.bricks = static_cast<OctreeBrick*>(dev.Alloc(size_t(o.brickCount) * sizeof(OctreeBrick)));
  o.fullLevelCounts = static_cast<int32_t*>(dev.Alloc(sizeof full));
  o.partialLevelCounts = static_cast<int32_t*>(dev.Alloc(sizeof partial));
  o.levelNodes = static_cast<OctreeNode**>(dev.Alloc(size_t(o.brickCount) * o.levels * sizeof(OctreeNode*)));
  const bool ok = o.nodes && o.bricks && o.fullLevelCounts && o.partialLevelCounts && o.levelNodes &&
                  dev.CopyToDevice(o.fullLevelCounts, full, sizeof full) &&
                  dev.CopyToDevice(o.partialLevelCounts, partial, sizeof partial);
  if (!ok) {
    dev.Free(o.nodes), dev.Free(o.bricks), dev.Free(o.fullLevelCounts), dev.Free(o.partialLevelCounts);
    dev.Free(o.levelNodes);
    return false;
  }
  octree = o;
  return true;
}

bool FreeDeviceOctree(DeviceApi& dev, Octree& octree) {
  if (!octree.nodes) return true;
  dev.Free(octree.nodes), dev.Free(octree.bricks), dev.Free(octree.fullLevelCounts);
  dev.Free(octree.partialLevelCounts), dev.Free(octree.levelNodes);
  octree = Octree{};
  return true;
}

bool BuildDeviceOctree(DeviceApi& dev, const V3VolumeData& volume, Octree& octree) {
  return dev.BuildOctree(octree) && dev.InitOctree(volume, octree);
}

bool UpdateDeviceOctree(DeviceApi& dev, const V3VolumeMark& mark, const VolumePalette& palette,
                        const V3VolumeData& volume, VolumeParam& param, Octree& octree) {
  if (!octree.nodes) return false;
  const auto start = std::chrono::steady_clock::now();
  if (!dev.UpdateOctree(mark, palette, octree)) return false;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  SOLog::Debug("UpdateOctree take time %llu\n", (unsigned long long)ms.count());
  float* corners = static_cast<float*>(dev.Alloc(24 * sizeof(float)));
  const bool ok = corners && dev.UpdateVisibleBox(volume, octree, corners) &&
                  dev.CopyToHost(&param.opacityCorners[0][0], corners, 24 * sizeof(float));
  dev.Free(corners);
  return ok;
}
