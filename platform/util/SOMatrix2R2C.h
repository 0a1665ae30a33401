#pragma once

// 2 x 2 float matrix for row vectors: (x, y) maps to (x*m00 + y*m10, x*m01 + y*m11).
struct SOMatrix2R2C {
  float m00 = 1, m01 = 0;
  float m10 = 0, m11 = 1;
  bool operator==(const SOMatrix2R2C&) const = default;
};
