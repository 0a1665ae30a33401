#include "SOHitRegion.h"

#include <cmath>

namespace {

// Even-odd crossing test.
bool InPolygon(const std::vector<SOPointF>& polygon, float x, float y) {
  bool inside = false;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const SOPointF& a = polygon[i];
    const SOPointF& b = polygon[j];
    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

}  // namespace

void SOHitRegion::AddPolygon(std::vector<SOPointF> corners) {
  if (corners.size() >= 3) shapes_.push_back({std::move(corners), {}, {}});
}

void SOHitRegion::AddRect(const SORectI& rect) {
  shapes_.push_back({{}, rect, {}});
}

void SOHitRegion::AddFrame(const SORectI& outer, const SORectI& inner) {
  shapes_.push_back({{}, outer, inner});
}

bool SOHitRegion::Contains(int x, int y) const {
  for (const Shape& shape : shapes_) {
    if (!shape.polygon.empty()) {
      if (InPolygon(shape.polygon, x + 0.5f, y + 0.5f)) return true;
    } else if (shape.outer.Contains(x, y) && !shape.inner.Contains(x, y)) {
      return true;
    }
  }
  return false;
}

std::vector<SOPointF> SegmentBand(SOPointF a, SOPointF b) {
  const float length = std::hypot(b.x - a.x, b.y - a.y);
  if (length == 0) return {};
  const float n = 5 * (b.y - a.y) / length, m = 5 * (b.x - a.x) / length;
  auto corner = [](float x, float y) { return SOPointF{std::trunc(x), std::trunc(y)}; };
  return {corner(a.x - n, a.y + m), corner(b.x - n, b.y + m), corner(b.x + n, b.y - m),
          corner(a.x + n, a.y - m)};
}
