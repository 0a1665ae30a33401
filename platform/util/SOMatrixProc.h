#pragma once

#include "SOMatrix2R2C.h"
#include "SOMatrix3R3C.h"
#include "SOPointF.h"

// Matrix operations for row vectors (p' = p * M). The turns and flips act on what the matrix
// shows: M becomes M * T, so the result is turned or mirrored about the origin in screen
// axes (x right, y down). RotateCW turns a quarter clockwise on screen: (x, y) -> (-y, x).
class SOMatrixProc {
 public:
  static void Reset(SOMatrix2R2C& m);
  static void RotateCW(SOMatrix2R2C& m);
  static void RotateAntiCW(SOMatrix2R2C& m);
  static void FlipX(SOMatrix2R2C& m);  // mirrors left to right: x -> -x
  static void FlipY(SOMatrix2R2C& m);  // mirrors top to bottom: y -> -y
  // False, leaving m unchanged, when m is singular.
  static bool Invert(SOMatrix2R2C& m);
  // a * b: apply a, then b.
  static SOMatrix2R2C Mul(const SOMatrix2R2C& a, const SOMatrix2R2C& b);
  static SOPointF Mul(const SOMatrix2R2C& m, const SOPointF& p);

  static void Reset(SOMatrix3R3C& m);
  static void RotateCW(SOMatrix3R3C& m);
  static void RotateAntiCW(SOMatrix3R3C& m);
  static void FlipX(SOMatrix3R3C& m);
  static void FlipY(SOMatrix3R3C& m);
  static bool Invert(SOMatrix3R3C& m);
  static SOMatrix3R3C Mul(const SOMatrix3R3C& a, const SOMatrix3R3C& b);
  // (p.x, p.y, 1) * m, divided by its third component when that is not 0.
  static SOPointF Mul(const SOMatrix3R3C& m, const SOPointF& p);
};
