#include "SOMatrixProc.h"

#include <cmath>

namespace {

SOMatrix3R3C Embed(const SOMatrix2R2C& t) {
  SOMatrix3R3C r;
  r.a11 = t.m00;
  r.a12 = t.m01;
  r.a21 = t.m10;
  r.a22 = t.m11;
  return r;
}

const SOMatrix2R2C kTurnCW{0, 1, -1, 0};
const SOMatrix2R2C kTurnAntiCW{0, -1, 1, 0};
const SOMatrix2R2C kMirrorX{-1, 0, 0, 1};
const SOMatrix2R2C kMirrorY{1, 0, 0, -1};

}  // namespace

void SOMatrixProc::Reset(SOMatrix2R2C& m) {
  m = SOMatrix2R2C{};
}
void SOMatrixProc::RotateCW(SOMatrix2R2C& m) {
  m = Mul(m, kTurnCW);
}
void SOMatrixProc::RotateAntiCW(SOMatrix2R2C& m) {
  m = Mul(m, kTurnAntiCW);
}
void SOMatrixProc::FlipX(SOMatrix2R2C& m) {
  m = Mul(m, kMirrorX);
}
void SOMatrixProc::FlipY(SOMatrix2R2C& m) {
  m = Mul(m, kMirrorY);
}

bool SOMatrixProc::Invert(SOMatrix2R2C& m) {
  const double det = double(m.m00) * m.m11 - double(m.m01) * m.m10;
  if (det == 0 || !std::isfinite(det)) return false;
  const SOMatrix2R2C r{float(m.m11 / det), float(-m.m01 / det), float(-m.m10 / det), float(m.m00 / det)};
  m = r;
  return true;
}

SOMatrix2R2C SOMatrixProc::Mul(const SOMatrix2R2C& a, const SOMatrix2R2C& b) {
  return {a.m00 * b.m00 + a.m01 * b.m10, a.m00 * b.m01 + a.m01 * b.m11, a.m10 * b.m00 + a.m11 * b.m10,
          a.m10 * b.m01 + a.m11 * b.m11};
}

SOPointF SOMatrixProc::Mul(const SOMatrix2R2C& m, const SOPointF& p) {
  return {p.x * m.m00 + p.y * m.m10, p.x * m.m01 + p.y * m.m11};
}

void SOMatrixProc::Reset(SOMatrix3R3C& m) {
  m = SOMatrix3R3C{};
}
void SOMatrixProc::RotateCW(SOMatrix3R3C& m) {
  m = Mul(m, Embed(kTurnCW));
}
void SOMatrixProc::RotateAntiCW(SOMatrix3R3C& m) {
  m = Mul(m, Embed(kTurnAntiCW));
}
void SOMatrixProc::FlipX(SOMatrix3R3C& m) {
  m = Mul(m, Embed(kMirrorX));
}
void SOMatrixProc::FlipY(SOMatrix3R3C& m) {
  m = Mul(m, Embed(kMirrorY));
}

bool SOMatrixProc::Invert(SOMatrix3R3C& m) {
  // Adjugate over the determinant, in double so near-singular render maps keep their digits.
  const double a = m.a11, b = m.a12, c = m.a13;
  const double d = m.a21, e = m.a22, f = m.a23;
  const double g = m.a31, h = m.a32, i = m.a33;
  const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  const double det = a * A + b * B + c * C;
  if (det == 0 || !std::isfinite(det)) return false;
  const SOMatrix3R3C r{float(A / det), float(-(b * i - c * h) / det), float((b * f - c * e) / det),
                       float(B / det), float((a * i - c * g) / det),  float(-(a * f - c * d) / det),
                       float(C / det), float(-(a * h - b * g) / det), float((a * e - b * d) / det)};
  m = r;
  return true;
}

SOMatrix3R3C SOMatrixProc::Mul(const SOMatrix3R3C& x, const SOMatrix3R3C& y) {
  return {x.a11 * y.a11 + x.a12 * y.a21 + x.a13 * y.a31, x.a11 * y.a12 + x.a12 * y.a22 + x.a13 * y.a32,
          x.a11 * y.a13 + x.a12 * y.a23 + x.a13 * y.a33, x.a21 * y.a11 + x.a22 * y.a21 + x.a23 * y.a31,
          x.a21 * y.a12 + x.a22 * y.a22 + x.a23 * y.a32, x.a21 * y.a13 + x.a22 * y.a23 + x.a23 * y.a33,
          x.a31 * y.a11 + x.a32 * y.a21 + x.a33 * y.a31, x.a31 * y.a12 + x.a32 * y.a22 + x.a33 * y.a32,
          x.a31 * y.a13 + x.a32 * y.a23 + x.a33 * y.a33};
}

SOPointF SOMatrixProc::Mul(const SOMatrix3R3C& m, const SOPointF& p) {
  const float x = p.x * m.a11 + p.y * m.a21 + m.a31;
  const float y = p.x * m.a12 + p.y * m.a22 + m.a32;
  const float w = p.x * m.a13 + p.y * m.a23 + m.a33;
  if (w == 0 || w == 1) return {x, y};
  return {x / w, y / w};
}
