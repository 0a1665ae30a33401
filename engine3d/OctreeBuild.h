#pragma once

// Host side of the brick octree: allocation and the threaded per-brick passes.

#include "Octree.h"

// Sizes, allocates and links the tables; nodes are not initialised. False for a dim below 1
// or when memory runs out (the octree is then empty).
bool BuildOctree(const V3VolumeData& volume, Octree& octree);

// Frees the tables when they exist.
void FreeOctree(Octree& octree);

// Value ranges of every brick; false without tables.
bool InitOctreeBricks(const V3VolumeData& volume, Octree& octree);

// Flags and visible boxes of every brick; false without tables.
bool UpdateOctreeBricks(const V3VolumeMark& mark, const VolumePalette& palette, Octree& octree);
