#pragma once

// Host side of the brick octree: allocation and the threaded per-brick passes.

#include <vector>

#include "Octree.h"

// Sizes, allocates and links the tables; nodes are not initialised. False for a dim below 1
// or when memory runs out (the octree is then empty).
bool BuildOctree(const V3VolumeData& volume, Octree& octree);

// Frees the tables when they exist.
void FreeOctree(Octree& octree);

// Value ranges of every brick; false without tables.
bool InitOctreeBricks(const V3VolumeData& volume, Octree& octree);

// The mask bytes a brick's leaves can read: the labels of the uncut ones (bit per label) and
// whether any is cut. Computed when the mask changes, so that a new palette settles the mask
// test of a whole brick at once.
struct BrickLabels {
  uint64_t labels;
  bool cut;
};

// Bit per label whose table is shown.
uint64_t ShownLabels(const VolumePalette& palette);

// Whether every voxel of a brick with this summary has a shown label (none is cut).
inline bool AllLabelsShown(const BrickLabels& brick, uint64_t shown) {
  return !brick.cut && !(brick.labels & ~shown);
}

// One record per brick; false without tables or memory (the vector is then empty).
bool SummarizeBrickLabels(const V3VolumeMark& mark, const Octree& octree, std::vector<BrickLabels>& out);

// Flags and visible boxes of every brick; false without tables. With the summary of the mask
// (one record per brick) the leaves skip their mask test where it is settled.
bool UpdateOctreeBricks(const V3VolumeMark& mark, const VolumePalette& palette, Octree& octree,
                        const std::vector<BrickLabels>* labels = nullptr);
