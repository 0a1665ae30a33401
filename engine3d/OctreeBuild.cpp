#include "OctreeBuild.h"

#include <new>
#include <vector>

#include "Workers.h"

namespace {

constexpr int kPrefetchBricks = 8;

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

uint64_t ShownLabels(const VolumePalette& palette) {
  uint64_t shown = 0;
  for (int l = 0; l <= kMaskLabel; ++l)
    if (palette.labels[l] && palette.labels[l]->visible) shown |= uint64_t(1) << l;
  return shown;
}

bool SummarizeBrickLabels(const V3VolumeMark& mark, const Octree& octree, std::vector<BrickLabels>& out) {
  out.clear();
  if (!octree.bricks) return false;
  try {
    out.resize(size_t(octree.brickCount));
  } catch (const std::bad_alloc&) {
    return false;
  }
  RunWorkers(octree.brickCount, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      int32_t brick[3];
      BrickCoords(octree, i, brick);
      // The union of the leaf supports: [16 b, 16 b + 17) on each axis, within the volume.
      int lo[3], hi[3];
      for (int a = 0; a < 3; ++a) {
        lo[a] = brick[a] * kBrickSide;
        hi[a] = lo[a] + kBrickSide + 1 < octree.dims[a] ? lo[a] + kBrickSide + 1 : octree.dims[a];
      }
      BrickLabels s{0, false};
      for (int z = lo[2]; z < hi[2]; ++z)
        for (int y = lo[1]; y < hi[1]; ++y) {
          if (!mark.slices) {
            s.labels |= 1;
            continue;
          }
          const uint8_t* row = mark.slices[z] + size_t(y) * mark.dims[0];
          // Rows of one byte value are the rule; they are told apart without a branch per byte.
          uint8_t first = row[lo[0]], same = 0;
          for (int x = lo[0]; x < hi[0]; ++x) same |= uint8_t(row[x] ^ first);
          for (int x = lo[0]; x < (same ? hi[0] : lo[0] + 1); ++x) {
            const uint8_t m = row[x];
            if (m & (kMaskCut | kMaskCutHigh))
              s.cut = true;
            else
              s.labels |= uint64_t(1) << (m & kMaskLabel);
          }
        }
      out[size_t(i)] = s;
    }
  });
  return true;
}

bool UpdateOctreeBricks(const V3VolumeMark& mark, const VolumePalette& palette, Octree& octree,
                        const std::vector<BrickLabels>* labels) {
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
  if (labels && labels->size() != size_t(octree.brickCount)) labels = nullptr;
  const uint64_t shown = ShownLabels(palette);
  RunWorkers(octree.brickCount, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      // Most bricks end at their root node, a miss each: ask for the next ones early.
      if (i + kPrefetchBricks < end) __builtin_prefetch(octree.bricks[i + kPrefetchBricks].levelNodes[0]);
      int32_t brick[3];
      BrickCoords(octree, i, brick);
      int hint = kLabelsUnknown;
      if (labels) {
        const BrickLabels& b = (*labels)[size_t(i)];
        if (!(b.labels & shown))
          hint = kLabelsNoneShown;
        else if (AllLabelsShown(b, shown))
          hint = kLabelsAllShown;
      }
      UpdateOctree(mark, palette, octree, brick, opaque, hint);
    }
  });
  return true;
}
