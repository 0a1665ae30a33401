#pragma once

#include <cstdint>
#include <vector>

#include "SOPoint.h"

// Polygon fill into byte masks.
class SOContour {
 public:
  // Sets to value every pixel of a rows x cols mask (row after row) that lies inside the closed
  // polygon or on its outline. Inside follows the non-zero winding rule, so a lasso that
  // crosses itself fills each of its loops. Points are pixel coordinates (x a column, y a
  // row); parts outside the mask are clipped. False, changing nothing, for a null mask, an
  // empty size or fewer than three points.
  static bool FillContour(uint8_t* mask, int rows, int cols, const std::vector<SOPoint>& contour,
                          uint8_t value);
};
