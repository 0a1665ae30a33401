#include "SOGraphicLength.h"

#include <cmath>
#include <initializer_list>

namespace {

// Moves the listed points by (dx, dy).
auto Shift(std::initializer_list<int> indexes, float dx, float dy) {
  return [=](SOArray<SOPointF>& points) {
    for (int i : indexes) {
      points[i].x += dx;
      points[i].y += dy;
    }
  };
}

// Direction of v in degrees, 0 to 360 with y downwards; 0 for a zero vector.
double Direction(double dx, double dy) {
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return 0;
  const double turn = std::acos(dx / length);
  return (dy / length >= 0 ? turn : 6.2831855 - turn) * 180 / 3.1415927;
}

SOPointF Truncated(SOPointF p) {
  return {std::trunc(p.x), std::trunc(p.y)};
}

}  // namespace

void SOGraphicLength::Calculate() {
  ResetValues();
  const double* ps = nullptr;
  if (!CanMeasure(ps)) return;
  const SOPointF& a = data_.points[0];
  const SOPointF& b = data_.points[1];
  const double dx = std::fabs(a.x - b.x), dy = std::fabs(a.y - b.y);
  data_.values.length = static_cast<float>(std::sqrt(std::pow(dx * ps[1], 2) + std::pow(dy * ps[0], 2)));
}

bool SOGraphicLength::UpdateLabel() {
  label_ = "";
  if (std::fabs(data_.values.length) >= 0.005f) label_.format("Length=%.1fmm", data_.values.length);
  return false;
}

bool SOGraphicLength::UpdateHitRegions() {
  if (!CheckPoints(data_.points)) return false;
  for (int i = 0; i < 2; ++i) {
    ToScreen(data_.points[i], screen_[i]);
    screen_[i] = Truncated(screen_[i]);
  }
  body_.Clear();
  body_.AddPolygon(SegmentBand(screen_[0], screen_[1]));
  turn_.Clear();
  SetHandle(0, screen_[0]);
  SetHandle(1, screen_[1]);
  titleAnchor_ = {static_cast<int>(screen_[0].x) - 5, static_cast<int>(screen_[0].y)};
  const SOPointF& end = screen_[0].x <= screen_[1].x ? screen_[1] : screen_[0];
  PlaceLabel(static_cast<int>(end.x) + 10, static_cast<int>(end.y), 0, 2);
  return true;
}

bool SOGraphicLength::MovePoints(int part, int handle, float, float, float lastX, float lastY, float x,
                                 float y, SOGraphicData* out) {
  const float dx = x - lastX, dy = y - lastY;
  if (part == SOGraphicPartBody) return MovedData(dx, dy, out, Shift({0, 1}, dx, dy));
  if (part == SOGraphicPartHandle && (handle == 0 || handle == 1))
    return MovedData(dx, dy, out, Shift({handle}, dx, dy));
  return false;
}

void SOGraphicLength::DrawShape(HDC hdc) {
  DrawSegments(hdc, {screen_[0], screen_[1]}, true);
}

void SOGraphicAngle::Calculate() {
  ResetValues();
  const double* ps = nullptr;
  if (!CanMeasure(ps)) return;
  const SOPointF& v = data_.points[1];
  const double d1 = Direction(data_.points[0].x - v.x, data_.points[0].y - v.y);
  const double d2 = Direction(data_.points[2].x - v.x, data_.points[2].y - v.y);
  const double h = std::fabs(d1 - d2);
  data_.values.angle = static_cast<float>(h > 180 ? 360 - h : h);
}

bool SOGraphicAngle::UpdateLabel() {
  label_ = "";
  if (std::fabs(data_.values.angle) >= 0.005f) label_.format("%.1f\u00B0", data_.values.angle);
  return false;
}

bool SOGraphicAngle::UpdateHitRegions() {
  if (!CheckPoints(data_.points)) return false;
  for (int i = 0; i < 3; ++i) {
    ToScreen(data_.points[i], screen_[i]);
    screen_[i] = Truncated(screen_[i]);
  }
  body_.Clear();
  body_.AddPolygon(SegmentBand(screen_[0], screen_[1]));
  body_.AddPolygon(SegmentBand(screen_[1], screen_[2]));
  turn_.Clear();
  SetHandle(0, screen_[0]);
  SetHandle(1, screen_[2]);
  SetHandle(2, screen_[1]);
  titleAnchor_ = {static_cast<int>(screen_[0].x) - 5, static_cast<int>(screen_[0].y)};
  // The label sits on the far side of the vertex from the arm ends.
  const SOPointF& v = screen_[1];
  const bool right = screen_[0].x <= v.x, below = screen_[2].y <= v.y;
  PlaceLabel(static_cast<int>(v.x) + (right ? 10 : -10), static_cast<int>(v.y) + (below ? 10 : -10),
             right ? 0 : 1, below ? 1 : 0);
  return true;
}

bool SOGraphicAngle::MovePoints(int part, int handle, float, float, float lastX, float lastY, float x,
                                float y, SOGraphicData* out) {
  const float dx = x - lastX, dy = y - lastY;
  if (part == SOGraphicPartBody) return MovedData(dx, dy, out, Shift({0, 1, 2}, dx, dy));
  if (part != SOGraphicPartHandle) return false;
  if (handle == 0) return MovedData(dx, dy, out, Shift({0}, dx, dy));
  if (handle == 1) return MovedData(dx, dy, out, Shift({2}, dx, dy));
  if (handle == 2) return MovedData(dx, dy, out, Shift({1}, dx, dy));
  return false;
}

void SOGraphicAngle::DrawShape(HDC hdc) {
  DrawSegments(hdc, {screen_[0], screen_[1], screen_[1], screen_[2]}, true);
}

void SOGraphicAngle::PlacePoint(int point, int handle, int x, int y) {
  if (!CheckPoints(data_.points)) return;
  BeginDrag(SOGraphicPartHandle, handle);
  data_.points[point] = ToImage(SOPointF{static_cast<float>(x), static_cast<float>(y)});
}

void SOGraphicAngle::PlaceThirdPoint(int x, int y) {
  PlacePoint(2, 1, x, y);
}

void SOGraphicAngle::PlaceFirstPoint(int x, int y) {
  PlacePoint(0, 0, x, y);
}
