#pragma once

// The brick octree: bricks of 16 voxels with four levels of cells (16, 8, 4, 2). Each node
// holds the value range under it and, after an update, which children are visible. The same
// per-brick code runs on CPU worker threads and in the GPU kernels.

#include "VolumeRecords.h"

struct OctreeNode {
  int16_t maxValue;
  int16_t minValue;
  uint16_t flag;  // leaf: 255 visible / 0 empty; inner: bit j for each non-empty child j
};
static_assert(sizeof(OctreeNode) == 6, "OctreeNode is 6 bytes, max first");

struct OctreeBrick {
  OctreeNode** levelNodes;
  int32_t* levelCounts;
  int32_t visibleMin[3];
  int32_t visibleMax[3];
};

struct Octree {
  int32_t levels;
  OctreeBrick* bricks;
  OctreeNode* nodes;
  OctreeNode** levelNodes;
  int32_t* fullLevelCounts;
  int32_t* partialLevelCounts;
  int32_t brickCount;
  int32_t fullBrickCount;
  int32_t partialBrickCount;
  int32_t nodesPerFullBrick;
  int32_t nodesPerPartialBrick;
  int32_t dims[3];
  int32_t bricksPerLayer;
  int32_t bricksX;
  int32_t bricksY;
  int32_t bricksZ;
};
static_assert(sizeof(Octree) == (sizeof(void*) == 8 ? 96 : 72),
              "Octree: levels, five pointers, twelve int32");

constexpr int kOctreeLevels = 4;
constexpr int kBrickSide = 16;
constexpr int16_t kEmptyMax = -32768;
constexpr int16_t kEmptyMin = 32767;
constexpr uint16_t kFlagVisible = 255;
constexpr float kOpaqueAlpha = 0.01f;

// Level node counts of a brick `depth` slices deep (a depth of 0 or above 16 is a full brick).
// Only the nodes up to the highest index that can hold a voxel are stored.
HD inline bool ComputeLevelCounts(int depth, int32_t* out) {
  if (depth < 0 || !out) return false;
  if (depth == 0 || depth >= kBrickSide) {
    out[0] = 1, out[1] = 8, out[2] = 64, out[3] = 512;
    return true;
  }
  const int a = depth - 1;
  const int c1 = (a % 16) >= 8 ? 7 : 3;
  const int c2 = (a % 8) >= 4 ? 7 : 3;
  const int c3 = (a % 4) >= 2 ? 7 : 3;
  out[0] = 1;
  out[1] = c1 + 1;
  out[2] = c1 * 8 + c2 + 1;
  out[3] = c1 * 64 + c2 * 8 + c3 + 1;
  return true;
}

// Fills the descriptor for a volume of the given dims (no tables). False for a dim below 1.
HD inline bool SizeOctree(const int32_t* dims, Octree& o) {
  for (int i = 0; i < 3; ++i)
    if (dims[i] < 1) return false;
  o.levels = kOctreeLevels;
  for (int i = 0; i < 3; ++i) o.dims[i] = dims[i];
  o.bricksX = dims[0] / kBrickSide + (dims[0] % kBrickSide ? 1 : 0);
  o.bricksY = dims[1] / kBrickSide + (dims[1] % kBrickSide ? 1 : 0);
  o.bricksZ = dims[2] / kBrickSide + (dims[2] % kBrickSide ? 1 : 0);
  o.bricksPerLayer = o.bricksX * o.bricksY;
  o.fullBrickCount = o.bricksPerLayer * (dims[2] / kBrickSide);
  o.brickCount = o.bricksPerLayer * o.bricksZ;
  o.partialBrickCount = o.brickCount - o.fullBrickCount;
  int32_t full[4], partial[4];
  ComputeLevelCounts(kBrickSide, full);
  ComputeLevelCounts(dims[2] % kBrickSide, partial);
  o.nodesPerFullBrick = full[0] + full[1] + full[2] + full[3];
  o.nodesPerPartialBrick = partial[0] + partial[1] + partial[2] + partial[3];
  return true;
}

// Points every brick at its level pointers, its count table and its nodes (full bricks first).
HD inline void LinkOctree(Octree& o) {
  for (int b = 0; b < o.brickCount; ++b) {
    OctreeBrick& brick = o.bricks[b];
    const bool full = b < o.fullBrickCount;
    brick.levelNodes = o.levelNodes + b * o.levels;
    brick.levelCounts = full ? o.fullLevelCounts : o.partialLevelCounts;
    OctreeNode* first = full ? o.nodes + int64_t(b) * o.nodesPerFullBrick
                             : o.nodes + int64_t(o.fullBrickCount) * o.nodesPerFullBrick +
                                   int64_t(b - o.fullBrickCount) * o.nodesPerPartialBrick;
    brick.levelNodes[0] = first;
    for (int l = 1; l < o.levels; ++l)
      brick.levelNodes[l] = brick.levelNodes[l - 1] + brick.levelCounts[l - 1];
  }
}

HD inline int64_t OctreeNodeCount(const Octree& o) {
  return int64_t(o.fullBrickCount) * o.nodesPerFullBrick +
         int64_t(o.partialBrickCount) * o.nodesPerPartialBrick;
}

HD inline void ResetNode(OctreeNode& n) {
  n.maxValue = kEmptyMax;
  n.minValue = kEmptyMin;
  n.flag = 0;
}

HD inline void WidenNode(OctreeNode& parent, const OctreeNode& child) {
  if (child.maxValue > parent.maxValue) parent.maxValue = child.maxValue;
  if (child.minValue < parent.minValue) parent.minValue = child.minValue;
}

HD inline int ChildOffset(int j, int axis, int half) {
  return ((j >> axis) & 1) * half;
}

// Visits the level-1, level-2 and leaf cells of a brick in child order, skipping the cells
// that start beyond the last slice. The visitor gets (level, node, start[3]) when a cell is
// entered and (level + 8, node, start) once its children are done; leaves are level 3.
template <typename Visitor>
HD inline void WalkBrick(const Octree& o, const int32_t* brick, Visitor& visit) {
  const OctreeBrick& b = o.bricks[brick[0] + brick[1] * o.bricksX + brick[2] * o.bricksPerLayer];
  const int s0[3] = {brick[0] * kBrickSide, brick[1] * kBrickSide, brick[2] * kBrickSide};
  const int lastZ = o.dims[2] - 1;
  OctreeNode* root = b.levelNodes[0];
  visit(0, *root, s0);
  for (int g = 0; g < 8; ++g) {
    const int s1[3] = {s0[0] + ChildOffset(g, 0, 8), s0[1] + ChildOffset(g, 1, 8),
                       s0[2] + ChildOffset(g, 2, 8)};
    if (s1[2] > lastZ) break;
    OctreeNode& n1 = b.levelNodes[1][g];
    visit(1, n1, s1);
    for (int h = 0; h < 8; ++h) {
      const int s2[3] = {s1[0] + ChildOffset(h, 0, 4), s1[1] + ChildOffset(h, 1, 4),
                         s1[2] + ChildOffset(h, 2, 4)};
      if (s2[2] > lastZ) break;
      const int i2 = g * 8 + h;
      OctreeNode& n2 = b.levelNodes[2][i2];
      visit(2, n2, s2);
      for (int k = 0; k < 8; ++k) {
        const int s3[3] = {s2[0] + ChildOffset(k, 0, 2), s2[1] + ChildOffset(k, 1, 2),
                           s2[2] + ChildOffset(k, 2, 2)};
        if (s3[2] > lastZ) break;
        OctreeNode& leaf = b.levelNodes[3][i2 * 8 + k];
        visit(3, leaf, s3);
        visit(3 + 8, leaf, s3);
        visit.Child(2, n2, k, leaf);
      }
      visit(2 + 8, n2, s2);
      visit.Child(1, n1, h, n2);
    }
    visit(1 + 8, n1, s1);
    visit.Child(0, *root, g, n1);
  }
  visit(0 + 8, *root, s0);
}

// A leaf's support: voxels [s, min(s + 3, dims)) on each axis, covering its trilinear cells.
HD inline void LeafSupport(const Octree& o, const int* s, int* hi) {
  for (int i = 0; i < 3; ++i) hi[i] = s[i] + 3 < o.dims[i] ? s[i] + 3 : o.dims[i];
}

struct OctreeInitVisitor {
  const V3VolumeData& volume;
  const Octree& octree;
  HD void operator()(int level, OctreeNode& node, const int* s) {
    if (level >= 8) return;
    ResetNode(node);
    if (level != 3) return;
    int hi[3];
    LeafSupport(octree, s, hi);
    // Kept in locals: the node may alias the voxels as far as the compiler knows.
    int lo = kEmptyMin, high = kEmptyMax;
    for (int z = s[2]; z < hi[2]; ++z) {
      const int16_t* slice = volume.slices[z];
      for (int y = s[1]; y < hi[1]; ++y) {
        const int16_t* row = slice + y * volume.dims[0];
        for (int x = s[0]; x < hi[0]; ++x) {
          const int v = row[x];
          high = v > high ? v : high;
          lo = v < lo ? v : lo;
        }
      }
    }
    node.maxValue = int16_t(high);
    node.minValue = int16_t(lo);
  }
  HD void Child(int, OctreeNode& parent, int, const OctreeNode& child) { WidenNode(parent, child); }
};

// Value ranges of one brick (brick coordinates in brick[0..2]).
HD inline void InitOctree(const V3VolumeData& volume, Octree& octree, const int32_t* brick) {
  OctreeInitVisitor visit{volume, octree};
  WalkBrick(octree, brick, visit);
}

HD inline uint8_t MaskByte(const V3VolumeMark& mark, int x, int y, int z) {
  return mark.slices ? mark.slices[z][x + y * mark.dims[0]] : 0;
}

// A mask byte whose label has a visible table and that is not cut.
HD inline bool IsLabelShown(const VolumePalette& palette, uint8_t m) {
  if (m & (kMaskCut | kMaskCutHigh)) return false;
  const VolumeLabelPalette* label = palette.labels[m & kMaskLabel];
  return label && label->visible;
}

// Whether some value in [lo, hi] is opaque in the combined table. With a prefix count of the
// opaque entries (count + 1 ints) the answer is O(1); without one the range is scanned.
HD inline bool RangeIsOpaque(const VolumePalette& palette, const int32_t* opaquePrefix, int lo, int hi) {
  if (!palette.opacity) return false;
  int a = lo - palette.base, b = hi - palette.base;
  if (a < 0) a = 0;
  if (b > palette.count - 1) b = palette.count - 1;
  if (a > b) return false;
  if (opaquePrefix) return opaquePrefix[b + 1] - opaquePrefix[a] > 0;
  for (int i = a; i <= b; ++i)
    if (palette.opacity[i] > kOpaqueAlpha) return true;
  return false;
}

// Whether every value in [lo, hi] lies in the combined table and is opaque; needs the prefix count.
HD inline bool RangeIsAllOpaque(const VolumePalette& palette, const int32_t* opaquePrefix, int lo, int hi) {
  if (!palette.opacity || !opaquePrefix) return false;
  const int a = lo - palette.base, b = hi - palette.base;
  if (a < 0 || b > palette.count - 1 || a > b) return false;
  return opaquePrefix[b + 1] - opaquePrefix[a] == b - a + 1;
}

// Widens a visible box by the cells starting at s whose samples reach `reach` voxels further.
HD inline void WidenVisibleBox(const Octree& octree, const int* s, int reach, int32_t* boxMin,
                               int32_t* boxMax) {
  for (int i = 0; i < 3; ++i) {
    const int high = s[i] + reach < octree.dims[i] - 1 ? s[i] + reach : octree.dims[i] - 1;
    if (s[i] < boxMin[i]) boxMin[i] = s[i];
    if (high > boxMax[i]) boxMax[i] = high;
  }
}

// Whether a leaf's support holds a voxel whose label is shown.
HD inline bool LeafHasShownVoxel(const V3VolumeMark& mark, const VolumePalette& palette, const Octree& octree,
                                 const int* s) {
  int hi[3];
  LeafSupport(octree, s, hi);
  for (int z = s[2]; z < hi[2]; ++z)
    for (int y = s[1]; y < hi[1]; ++y)
      for (int x = s[0]; x < hi[0]; ++x)
        if (IsLabelShown(palette, MaskByte(mark, x, y, z))) return true;
  return false;
}

// What the mask says of every leaf of a brick, when the caller knows it from a summary of the
// brick's labels: then no leaf reads the mask.
enum BrickLabelHint { kLabelsUnknown = 0, kLabelsNoneShown = 1, kLabelsAllShown = 2 };

// Flags and visible box of one brick from the mask labels and the combined opacity table.
// A node whose value range holds nothing opaque has no visible leaf below it, and a node whose
// flag is already clear has a clear subtree, so such subtrees are left alone: a new transfer
// function only walks the cells that may be, or were, visible.
HD inline void UpdateOctree(const V3VolumeMark& mark, const VolumePalette& palette, Octree& octree,
                            const int32_t* brick, const int32_t* opaquePrefix = nullptr,
                            int labelHint = kLabelsUnknown) {
  OctreeBrick& b = octree.bricks[brick[0] + brick[1] * octree.bricksX + brick[2] * octree.bricksPerLayer];
  int32_t boxMin[3] = {octree.dims[0], octree.dims[1], octree.dims[2]}, boxMax[3] = {0, 0, 0};
  const int s0[3] = {brick[0] * kBrickSide, brick[1] * kBrickSide, brick[2] * kBrickSide};
  const int lastZ = octree.dims[2] - 1;
  OctreeNode& root = b.levelNodes[0][0];
  const bool live0 =
      labelHint != kLabelsNoneShown && RangeIsOpaque(palette, opaquePrefix, root.minValue, root.maxValue);
  if (live0 || root.flag) {
    root.flag = 0;
    for (int g = 0; g < 8; ++g) {
      const int s1[3] = {s0[0] + ChildOffset(g, 0, 8), s0[1] + ChildOffset(g, 1, 8),
                         s0[2] + ChildOffset(g, 2, 8)};
      if (s1[2] > lastZ) break;
      OctreeNode& n1 = b.levelNodes[1][g];
      const bool live1 = live0 && RangeIsOpaque(palette, opaquePrefix, n1.minValue, n1.maxValue);
      if (!live1 && !n1.flag) continue;
      n1.flag = 0;
      for (int h = 0; h < 8; ++h) {
        const int s2[3] = {s1[0] + ChildOffset(h, 0, 4), s1[1] + ChildOffset(h, 1, 4),
                           s1[2] + ChildOffset(h, 2, 4)};
        if (s2[2] > lastZ) break;
        const int i2 = g * 8 + h;
        OctreeNode& n2 = b.levelNodes[2][i2];
        const bool live2 = live1 && RangeIsOpaque(palette, opaquePrefix, n2.minValue, n2.maxValue);
        if (!live2 && !n2.flag) continue;
        // All eight leaves were visible, and a subrange of an all-opaque range with every label
        // shown keeps each of them visible: the leaves stay; their samples reach s + 4.
        if (live2 && n2.flag == kFlagVisible && labelHint == kLabelsAllShown &&
            RangeIsAllOpaque(palette, opaquePrefix, n2.minValue, n2.maxValue)) {
          WidenVisibleBox(octree, s2, 4, boxMin, boxMax);
          n1.flag |= uint16_t(1u << h);
          continue;
        }
        n2.flag = 0;
        for (int k = 0; k < 8; ++k) {
          const int s3[3] = {s2[0] + ChildOffset(k, 0, 2), s2[1] + ChildOffset(k, 1, 2),
                             s2[2] + ChildOffset(k, 2, 2)};
          if (s3[2] > lastZ) break;
          OctreeNode& leaf = b.levelNodes[3][i2 * 8 + k];
          const bool visible = live2 && RangeIsOpaque(palette, opaquePrefix, leaf.minValue, leaf.maxValue) &&
                               (labelHint == kLabelsAllShown || LeafHasShownVoxel(mark, palette, octree, s3));
          leaf.flag = visible ? kFlagVisible : 0;
          if (!visible) continue;
          n2.flag |= uint16_t(1u << k);
          // The leaf's samples reach s + 2; the box must hold them.
          WidenVisibleBox(octree, s3, 2, boxMin, boxMax);
        }
        if (n2.flag) n1.flag |= uint16_t(1u << h);
      }
      if (n1.flag) root.flag |= uint16_t(1u << g);
    }
  }
  for (int i = 0; i < 3; ++i) {
    b.visibleMin[i] = boxMin[i];
    b.visibleMax[i] = boxMax[i];
  }
}

// World corners of the box of visible voxels (24 floats). Nothing visible leaves it inverted.
HD inline void UpdateOpacityBox(const V3VolumeData& volume, const Octree& octree, float* out) {
  float lo[3] = {float(octree.dims[0]), float(octree.dims[1]), float(octree.dims[2])};
  float hi[3] = {0, 0, 0};
  for (int b = 0; b < octree.brickCount; ++b)
    for (int i = 0; i < 3; ++i) {
      if (octree.bricks[b].visibleMin[i] < lo[i]) lo[i] = float(octree.bricks[b].visibleMin[i]);
      if (octree.bricks[b].visibleMax[i] > hi[i]) hi[i] = float(octree.bricks[b].visibleMax[i]);
    }
  for (int i = 0; i < 3; ++i)
    if (!(volume.spacing[i] > 0.0f)) return;
  const float voxels[8][3] = {{lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]},
                              {lo[0], hi[1], lo[2]}, {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]},
                              {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]}};
  for (int k = 0; k < 8; ++k)
    VoxelToWorldRaw(volume.origin, volume.spacing, volume.orientation, voxels[k], out + 3 * k);
}

enum OctreeLookupMode { kLookupFlags = 0, kLookupMax = 1, kLookupMin = 2 };

// The cell at a voxel position: for flags whether it is visible, for max/min whether it may
// change the running value. Writes the point and parameter where the ray leaves the cell.
HD inline bool OctreeLookupCell(const Octree& o, int mode, int16_t current, const float* origin,
                                const float* dir, const float* pos, float* exitPoint, float* exitParam) {
  int c[3];
  for (int i = 0; i < 3; ++i) {
    c[i] = int(pos[i]);
    if (c[i] < 0) c[i] = 0;
    if (c[i] > o.dims[i] - 1) c[i] = o.dims[i] - 1;
  }
  const OctreeBrick& b = o.bricks[(c[0] >> 4) + (c[1] >> 4) * o.bricksX + (c[2] >> 4) * o.bricksPerLayer];
  int side = kBrickSide;
  int index = 0;
  bool visible = false;
  for (int level = 0; level < 4; ++level) {
    if (level > 0) {
      const int bit = 4 - level;
      const int j = ((c[0] >> bit) & 1) | (((c[1] >> bit) & 1) << 1) | (((c[2] >> bit) & 1) << 2);
      index = index * 8 + j;
      side >>= 1;
    }
    const OctreeNode& n = b.levelNodes[level][index];
    bool stop;
    if (mode == kLookupFlags) {
      visible = level == 3 ? n.flag != 0 : n.flag == kFlagVisible;
      stop = level == 3 || n.flag == 0 || n.flag == kFlagVisible;
    } else {
      const bool mayChange = mode == kLookupMax ? n.maxValue >= current : n.minValue <= current;
      visible = mayChange;
      stop = !mayChange || level == 3;
    }
    if (stop) break;
  }
  float t = 10000.0f;
  for (int i = 0; i < 3; ++i) {
    if (fabsf(dir[i]) <= 1e-4f) continue;
    const int low = c[i] & ~(side - 1);
    const float plane = dir[i] > 0 ? float(low + side) : float(low);
    const float ti = (plane - origin[i]) / dir[i];
    if (ti < t) t = ti;
  }
  *exitParam = t;
  for (int i = 0; i < 3; ++i) exitPoint[i] = origin[i] + t * dir[i];
  return visible;
}

HD inline bool OctreeLookup(const Octree& o, const float* origin, const float* dir, const float* pos,
                            float* exitPoint, float* exitParam) {
  return OctreeLookupCell(o, kLookupFlags, 0, origin, dir, pos, exitPoint, exitParam);
}

HD inline bool OctreeLookupMax(const Octree& o, int16_t current, const float* origin, const float* dir,
                               const float* pos, float* exitPoint, float* exitParam) {
  return OctreeLookupCell(o, kLookupMax, current, origin, dir, pos, exitPoint, exitParam);
}

HD inline bool OctreeLookupMin(const Octree& o, int16_t current, const float* origin, const float* dir,
                               const float* pos, float* exitPoint, float* exitParam) {
  return OctreeLookupCell(o, kLookupMin, current, origin, dir, pos, exitPoint, exitParam);
}
