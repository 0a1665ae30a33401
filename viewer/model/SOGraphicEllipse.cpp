#include "SOGraphicEllipse.h"

#include <algorithm>
#include <cmath>

#include "DcmImageInputData.h"
#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "SOGdiPlus.h"

bool SOGraphicRegion::RowSpan(int y, int x0, int y0, int w, int h, int& first, int& last) const {
  first = x0;
  last = x0 + w - 1;
  if (!ellipse_) return true;
  // Pixels whose centres lie inside the inscribed ellipse.
  const double rx = w / 2.0, ry = h / 2.0;
  if (rx <= 0 || ry <= 0) return false;
  const double dy = (y + 0.5 - (y0 + ry)) / ry;
  if (dy * dy > 1.0) return false;
  const double half = rx * std::sqrt(1.0 - dy * dy), cx = x0 + rx;
  first = std::max(first, static_cast<int>(std::ceil(cx - half - 0.5)));
  last = std::min(last, static_cast<int>(std::floor(cx + half - 0.5)));
  return first <= last;
}

void SOGraphicRegion::Calculate() {
  ResetValues();
  const double* ps = nullptr;
  if (!CanMeasure(ps)) return;
  const SOPointF& a = data_.points[0];
  const SOPointF& b = data_.points[1];
  const int x0 = static_cast<int>(std::min(a.x, b.x)), y0 = static_cast<int>(std::min(a.y, b.y));
  const int w = static_cast<int>(std::fabs(a.x - b.x)), h = static_cast<int>(std::fabs(a.y - b.y));
  SOGraphicValues& v = data_.values;
  v.area = static_cast<float>(ellipse_ ? 3.1415927410125732 * (w * ps[1] * 0.5) * (h * ps[0] * 0.5)
                                       : w * ps[1] * h * ps[0]);

  const short* pixels = imageObject_->GetPixelData();
  if (!pixels) return;
  const int columns = imageObject_->GetColumns(), rows = imageObject_->GetRows();
  // Exact integer sums of the stored values; the rescale is linear, so it is applied after.
  int64_t count = 0, sum = 0;
  __int128 squares = 0;
  int max = 0, min = 0;
  for (int y = std::max(y0, 0); y < std::min(y0 + h, rows); ++y) {
    int first, last;
    if (!RowSpan(y, x0, y0, w, h, first, last)) continue;
    first = std::max(first, 0);
    last = std::min(last, columns - 1);
    const short* row = pixels + static_cast<int64_t>(y) * columns;
    for (int x = first; x <= last; ++x) {
      const int value = row[x];
      if (count == 0) max = min = value;
      max = std::max(max, value);
      min = std::min(min, value);
      sum += value;
      squares += static_cast<int64_t>(value) * value;
      ++count;
    }
  }
  if (count == 0) return;
  // Statistics are modality values, so a CT region reads in Hounsfield units.
  const DcmImageInputData* record = imageObject_->GetOriginalImagePixelData();
  const double slope = record ? record->slope : 1.0, intercept = record ? record->intercept : 0.0;
  const double variance = static_cast<double>(squares * count - static_cast<__int128>(sum) * sum) /
                          (static_cast<double>(count) * static_cast<double>(count));
  v.count = count;
  v.mean = static_cast<float>(slope * (static_cast<double>(sum) / count) + intercept);
  v.sd = static_cast<float>(std::fabs(slope) * std::sqrt(std::max(variance, 0.0)));
  v.max = static_cast<float>((slope >= 0 ? max : min) * slope + intercept);
  v.min = static_cast<float>((slope >= 0 ? min : max) * slope + intercept);
}

bool SOGraphicRegion::UpdateLabel() {
  label_ = "";
  const SOGraphicValues& v = data_.values;
  if (std::fabs(v.area) < 0.005f) return false;
  const double cm2 = v.area / 100.0;
  if (v.count != 0)
    label_.format("Mean=%.2f SD=%.2f\n\rMax=%.f Min=%.f\n\rArea=%.1fcm^2", v.mean, v.sd, v.max, v.min, cm2);
  else
    label_.format("Area=%.1fcm^2", cm2);
  return false;
}

bool SOGraphicRegion::UpdateHitRegions() {
  if (!CheckPoints(data_.points)) return false;
  const SOPointF& a = data_.points[0];
  const SOPointF& b = data_.points[1];
  SOPointF c[4];
  const SOPointF corners[4] = {{a.x, a.y}, {b.x, a.y}, {a.x, b.y}, {b.x, b.y}};
  for (int i = 0; i < 4; ++i) {
    ToScreen(corners[i], c[i]);
    SetHandle(i, c[i]);
  }
  box_ = {static_cast<int>(std::min(c[0].x, c[3].x)), static_cast<int>(std::min(c[0].y, c[3].y)),
          static_cast<int>(std::fabs(c[0].x - c[3].x)), static_cast<int>(std::fabs(c[0].y - c[3].y))};
  body_.Clear();
  turn_.Clear();
  // A large region is grabbed by its border only, so clicks inside reach what lies below.
  if (box_.width < 11 || box_.height < 11)
    body_.AddRect(box_);
  else
    body_.AddFrame({box_.x - 5, box_.y - 5, box_.width + 10, box_.height + 10},
                   {box_.x + 5, box_.y + 5, box_.width - 10, box_.height - 10});
  titleAnchor_ = {box_.x - 5, box_.y};
  PlaceLabel(box_.x, box_.y + box_.height + 10, 0, 1);
  return true;
}

bool SOGraphicRegion::MovePoints(int part, int handle, float, float, float lastX, float lastY, float x,
                                 float y, SOGraphicData* out) {
  const float dx = x - lastX, dy = y - lastY;
  if (part == SOGraphicPartBody)
    return MovedData(dx, dy, out, [&](SOArray<SOPointF>& p) {
      for (int i = 0; i < 2; ++i) p[i].x += dx, p[i].y += dy;
    });
  if (part != SOGraphicPartHandle || handle < 0 || handle > 3) return false;
  // Each corner handle moves one x and one y of the two points.
  const int xPoint = handle % 2, yPoint = handle / 2;
  return MovedData(dx, dy, out, [&](SOArray<SOPointF>& p) {
    p[xPoint].x += dx;
    p[yPoint].y += dy;
  });
}

namespace {

template <typename Shape>
void DrawTwice(HDC hdc, bool antiAlias, Shape shape) {
  Gdiplus::Graphics graphics(hdc);
  if (antiAlias) graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Pen shadow(Gdiplus::Color(SOGraphic::kShadowColor), 3.0f);
  Gdiplus::Pen line(Gdiplus::Color(SOGraphic::kLineColor), 1.0f);
  shape(graphics, shadow);
  shape(graphics, line);
}

}  // namespace

void SOGraphicEllipse::DrawShape(HDC hdc) {
  DrawTwice(hdc, true, [&](Gdiplus::Graphics& g, Gdiplus::Pen& pen) {
    g.DrawEllipse(&pen, box_.x, box_.y, box_.width, box_.height);
  });
}

void SOGraphicRectangle::DrawShape(HDC hdc) {
  DrawTwice(hdc, false, [&](Gdiplus::Graphics& g, Gdiplus::Pen& pen) {
    g.DrawRectangle(&pen, box_.x, box_.y, box_.width, box_.height);
  });
}
