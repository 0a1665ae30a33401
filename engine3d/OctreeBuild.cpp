#include "OctreeBuild.h"

#include <new>
#include <vector>

#include "Workers.h"

namespace {

void BrickCoords(const Octree& o, int i, int32_t* brick) {
  brick[0] = i % o.bricksX;
  brick[1] = (i % o.bricksPerLayer) / o.bricksX;
  brick[2] = i / o.bricksPerLayer;
}

}  // namespace

bool BuildOctree(const V3VolumeData& volume, Octree& octree) {
  FreeOctree(octree);
  Octree o{};
  if (!SizeOctree(volume.dims, o)) return false;
  const int64_t nodes = OctreeNodeCount(o);
  o.bricks = new (std::nothrow) OctreeBrick[o.brickCount]();
  o.nodes = new (std::nothrow) OctreeNode[nodes];
  o.levelNodes = new (std::nothrow) OctreeNode*[int64_t(o.brickCount) * o.levels];
  o.fullLevelCounts = new (std::nothrow) int32_t[o.levels];
  o.partialLevelCounts = new (std::nothrow) int32_t[o.levels];
  if (!o.bricks || !o.nodes || !o.levelNodes || !o.fullLevelCounts || !o.partialLevelCounts) {
    delete[] o.bricks;
    delete[] o.nodes;
    delete[] o.levelNodes;
    delete[] o.fullLevelCounts;
    delete[] o.partialLevelCounts;
    return false;
  }
  ComputeLevelCounts(kBrickSide, o.fullLevelCounts);
  ComputeLevelCounts(volume.dims[2] % kBrickSide, o.partialLevelCounts);
  LinkOctree(o);
  octree = o;
  return true;
}

void FreeOctree(Octree& octree) {
  if (!octree.bricks) return;
  delete[] octree.bricks;
  delete[] octree.nodes;
  delete[] octree.levelNodes;
  delete[] octree.fullLevelCounts;
  delete[] octree.partialLevelCounts;
  octree = Octree{};
}

bool InitOctreeBricks(const V3VolumeData& volume, Octree& octree) {
  if (!octree.bricks) return false;
  RunWorkers(octree.brickCount, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      int32_t brick[3];
      BrickCoords(octree, i, brick);
      InitOctree(volume, octree, brick);
    }
  });
  return true;
}

bool UpdateOctreeBricks(const V3VolumeMark& mark, const VolumePalette& palette, Octree& octree) {
  if (!octree.bricks) return false;
  // Opaque entries counted once per pass, so a leaf's range test is O(1).
  std::vector<int32_t> prefix;
  if (palette.opacity && palette.count > 0) {
    try {
      prefix.resize(size_t(palette.count) + 1);
    } catch (const std::bad_alloc&) {
      prefix.clear();
    }
    for (int i = 0; i < palette.count && !prefix.empty(); ++i)
      prefix[i + 1] = prefix[i] + (palette.opacity[i] > kOpaqueAlpha ? 1 : 0);
  }
  const int32_t* opaque = prefix.empty() ? nullptr : prefix.data();
  RunWorkers(octree.brickCount, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      int32_t brick[3];
      BrickCoords(octree, i, brick);
      UpdateOctree(mark, palette, octree, brick, opaque);
    }
  });
  return true;
}
