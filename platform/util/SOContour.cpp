#include "SOContour.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Clips segment a-b to the mask's pixel rectangle (Liang-Barsky); false when none of it is in.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, int rows, int cols) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0, cols - 1 - x0, y0, rows - 1 - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double sx = x0, sy = y0;
  x0 = sx + t0 * dx;
  y0 = sy + t0 * dy;
  x1 = sx + t1 * dx;
  y1 = sy + t1 * dy;
  return true;
}

// The outline, so edge pixels belong to the fill whatever the interior test says about them.
void DrawLine(uint8_t* mask, int rows, int cols, SOPoint a, SOPoint b, uint8_t value) {
  double fx0 = a.x, fy0 = a.y, fx1 = b.x, fy1 = b.y;
  if (!ClipSegment(fx0, fy0, fx1, fy1, rows, cols)) return;
  int x = int(std::lround(fx0)), y = int(std::lround(fy0));
  const int x1 = int(std::lround(fx1)), y1 = int(std::lround(fy1));
  const int dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
  const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    mask[size_t(y) * cols + x] = value;
    if (x == x1 && y == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace

bool SOContour::FillContour(uint8_t* mask, int rows, int cols, const std::vector<SOPoint>& contour,
                            uint8_t value) {
  if (!mask || rows <= 0 || cols <= 0 || contour.size() < 3) return false;
  const size_t n = contour.size();
  int top = contour[0].y, bottom = contour[0].y;
  for (const SOPoint& p : contour) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  top = std::max(top, 0);
  bottom = std::min(bottom, rows - 1);

  // Scan each row at pixel centres: crossings carry the edge's direction, and pixels between
  // crossings where the running winding number is not zero are inside.
  std::vector<std::pair<double, int>> crossings;
  for (int y = top; y <= bottom; ++y) {
    crossings.clear();
    for (size_t i = 0; i < n; ++i) {
      const SOPoint& a = contour[i];
      const SOPoint& b = contour[(i + 1) % n];
      if (a.y == b.y) continue;
      // Half-open in y, so a vertex shared by two edges is counted once.
      const bool up = a.y <= y && y < b.y;
      const bool down = b.y <= y && y < a.y;
      if (!up && !down) continue;
      const double x = a.x + double(y - a.y) * (b.x - a.x) / double(b.y - a.y);
      crossings.emplace_back(x, up ? 1 : -1);
    }
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (size_t k = 0; k + 1 < crossings.size(); ++k) {
      winding += crossings[k].second;
      if (winding == 0) continue;
      const int from = std::max(0, int(std::ceil(crossings[k].first)));
      const int to = std::min(cols - 1, int(std::floor(crossings[k + 1].first)));
      for (int x = from; x <= to; ++x) mask[size_t(y) * cols + x] = value;
    }
  }
  for (size_t i = 0; i < n; ++i) DrawLine(mask, rows, cols, contour[i], contour[(i + 1) % n], value);
  return true;
}
