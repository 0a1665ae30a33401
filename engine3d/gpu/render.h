#pragma once

// The per-thread bodies of the six kernels: what one GPU thread does, given its block and
// thread indices. The CUDA kernels and the host emulation both call these.

#include "RayCast.h"

// Brick of an octree thread; false for threads beyond the bricks.
HD inline bool ThreadBrick(const Octree& o, int bx, int by, int bz, int tx, int ty, int tz, int32_t* brick) {
  brick[0] = 4 * bx + tx;
  brick[1] = 4 * by + ty;
  brick[2] = 4 * bz + tz;
  return brick[0] < o.bricksX && brick[1] < o.bricksY && brick[2] < o.bricksZ;
}

HD inline void InitOctreeThread(const V3VolumeData& volume, Octree octree, int bx, int by, int bz, int tx,
                                int ty, int tz) {
  int32_t brick[3];
  if (ThreadBrick(octree, bx, by, bz, tx, ty, tz, brick)) InitOctree(volume, octree, brick);
}

HD inline void UpdateOctreeThread(const V3VolumeMark& mark, const VolumePalette& palette, Octree octree,
                                  int bx, int by, int bz, int tx, int ty, int tz) {
  int32_t brick[3];
  if (ThreadBrick(octree, bx, by, bz, tx, ty, tz, brick)) UpdateOctree(mark, palette, octree, brick);
}

// One pixel of the VR image: (x, y) within the screen rectangle.
HD inline void ImagingVRThread(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                               const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                               const V3ImageRGB& image, int x, int y) {
  if (x >= rp.rectWidth || y >= rp.rectHeight) return;
  VRPixel(x + y * rp.rectWidth, volume, mark, vp, rp, palette, octree, image.pixels);
}

HD inline void ImagingVEThread(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                               const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                               const V3ImageRGB& image, int x, int y) {
  if (x >= rp.width || y >= rp.height) return;
  VEPixel(x, y, volume, mark, vp, rp, palette, octree, image.pixels);
}
