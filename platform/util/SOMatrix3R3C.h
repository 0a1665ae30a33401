#pragma once

// 3 x 3 float matrix, row-major, for row vectors: (u, v, 1) maps to
// (u*a11 + v*a21 + a31, u*a12 + v*a22 + a32); the translation is the third row.
struct SOMatrix3R3C {
  float a11 = 1, a12 = 0, a13 = 0;
  float a21 = 0, a22 = 1, a23 = 0;
  float a31 = 0, a32 = 0, a33 = 1;
  bool operator==(const SOMatrix3R3C&) const = default;
};
