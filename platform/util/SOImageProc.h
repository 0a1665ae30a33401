#pragma once

#include <cstdint>

#include "SOPointF.h"

// Operations on 32-bit images stored row after row without padding.
class SOImageProc {
 public:
  // Warps the quadrilateral srcQuad of src onto dstQuad of dst; corners are given top left,
  // top right, bottom right, bottom left, in pixel coordinates (pixel (x, y) has its centre
  // at (x, y)). Each destination pixel inside dstQuad takes the nearest source pixel; pixels
  // outside are left as they are. False, changing nothing, for null images, empty sizes or a
  // quadrilateral that has collapsed to a line or point.
  static bool Perspective(const uint32_t* src, int srcWidth, int srcHeight, const SOPointF srcQuad[4],
                          uint32_t* dst, int dstWidth, int dstHeight, const SOPointF dstQuad[4]);
};
