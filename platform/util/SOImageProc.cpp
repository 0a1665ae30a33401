#include "SOImageProc.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Projective map for column vectors: (x, y) = ((m0 u + m1 v + m2) / w, (m3 u + m4 v + m5) / w)
// with w = m6 u + m7 v + m8.
using Homography = std::array<double, 9>;

// The map from the unit square (0,0) (1,0) (1,1) (0,1) onto quad q; false when q is degenerate.
bool SquareToQuad(const SOPointF q[4], Homography& h) {
  const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
  const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
  const double dx1 = x1 - x2, dx2 = x3 - x2, dx3 = x0 - x1 + x2 - x3;
  const double dy1 = y1 - y2, dy2 = y3 - y2, dy3 = y0 - y1 + y2 - y3;
  double g = 0, k = 0;
  if (dx3 != 0 || dy3 != 0) {
    const double det = dx1 * dy2 - dx2 * dy1;
    if (det == 0) return false;
    g = (dx3 * dy2 - dx2 * dy3) / det;
    k = (dx1 * dy3 - dx3 * dy1) / det;
  }
  h = {x1 - x0 + g * x1, x3 - x0 + k * x3, x0, y1 - y0 + g * y1, y3 - y0 + k * y3, y0, g, k, 1};
  const double det = h[0] * (h[4] * h[8] - h[5] * h[7]) - h[1] * (h[3] * h[8] - h[5] * h[6]) +
                     h[2] * (h[3] * h[7] - h[4] * h[6]);
  return det != 0 && std::isfinite(det);
}

bool Invert(const Homography& m, Homography& r) {
  const double A = m[4] * m[8] - m[5] * m[7], B = -(m[3] * m[8] - m[5] * m[6]), C = m[3] * m[7] - m[4] * m[6];
  const double det = m[0] * A + m[1] * B + m[2] * C;
  if (det == 0 || !std::isfinite(det)) return false;
  r = {A / det, -(m[1] * m[8] - m[2] * m[7]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
       B / det, (m[0] * m[8] - m[2] * m[6]) / det,  -(m[0] * m[5] - m[2] * m[3]) / det,
       C / det, -(m[0] * m[7] - m[1] * m[6]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
  return true;
}

// Applies h to (x, y); false when the point maps to infinity.
bool Apply(const Homography& h, double x, double y, double& u, double& v) {
  const double w = h[6] * x + h[7] * y + h[8];
  if (w == 0) return false;
  u = (h[0] * x + h[1] * y + h[2]) / w;
  v = (h[3] * x + h[4] * y + h[5]) / w;
  return true;
}

}  // namespace

bool SOImageProc::Perspective(const uint32_t* src, int srcWidth, int srcHeight, const SOPointF srcQuad[4],
                              uint32_t* dst, int dstWidth, int dstHeight, const SOPointF dstQuad[4]) {
  if (!src || !dst || !srcQuad || !dstQuad || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 ||
      dstHeight <= 0)
    return false;
  Homography toSrc, toDst, fromDst;
  if (!SquareToQuad(srcQuad, toSrc) || !SquareToQuad(dstQuad, toDst) || !Invert(toDst, fromDst)) return false;

  float minX = dstQuad[0].x, maxX = minX, minY = dstQuad[0].y, maxY = minY;
  for (int i = 1; i < 4; ++i) {
    minX = std::min(minX, dstQuad[i].x);
    maxX = std::max(maxX, dstQuad[i].x);
    minY = std::min(minY, dstQuad[i].y);
    maxY = std::max(maxY, dstQuad[i].y);
  }
  const int x0 = std::max(0, int(std::floor(minX))), x1 = std::min(dstWidth - 1, int(std::ceil(maxX)));
  const int y0 = std::max(0, int(std::floor(minY))), y1 = std::min(dstHeight - 1, int(std::ceil(maxY)));
  // A little slack so pixels exactly on the quad's edges are not lost to rounding.
  constexpr double kEdge = 1e-6;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      double s, t, u, v;
      if (!Apply(fromDst, x, y, s, t)) continue;
      if (s < -kEdge || s > 1 + kEdge || t < -kEdge || t > 1 + kEdge) continue;
      if (!Apply(toSrc, s, t, u, v)) continue;
      const int sx = std::clamp(int(std::lround(u)), 0, srcWidth - 1);
      const int sy = std::clamp(int(std::lround(v)), 0, srcHeight - 1);
      dst[size_t(y) * dstWidth + x] = src[size_t(sy) * srcWidth + sx];
    }
  }
  return true;
}
