#include "SOCorvideCut.h"

#include <cmath>

#include "IVRBuilder.h"
#include "SOCorvideDrag.h"
#include "SOGdiPlus.h"

bool SOCorvideCut::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
  if (!host_) return false;
  const SOPoint p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_LBUTTONDOWN:
      ::SetCapture(host_->GetHostWnd());
      drawing_ = true;
      contour_.assign(1, p);
      return true;
    case WM_MOUSEMOVE:
      if (!drawing_) return false;
      if (contour_.size() >= 2) {
        contour_.push_back(p);
        host_->UpdateHostWnd();
      } else if (std::hypot(p.x - contour_[0].x, p.y - contour_[0].y) > 2) {
        // A trembling press is not yet a contour.
        contour_.push_back(p);
      }
      return false;
    case WM_LBUTTONUP: {
      if (!drawing_) return false;
      ::ReleaseCapture();
      drawing_ = false;
      IVRBuilder* builder = HostVRBuilder(host_);
      if (contour_.size() >= 4 && builder) {
        std::vector<SOPoint> pixels;
        pixels.reserve(contour_.size());
        for (const SOPoint& s : contour_) {
          const double in[2] = {static_cast<double>(s.x), static_cast<double>(s.y)};
          double out[2] = {0, 0};
          host_->ScreenToImageCoords(in, out);
          pixels.push_back({static_cast<int>(out[0]), static_cast<int>(out[1])});
        }
        builder->CutContour(pixels);
      }
      host_->UpdateHostWnd();
      return false;
    }
    default:
      return false;
  }
}

void SOCorvideCut::Draw(HDC hdc, RECT) {
  if (!drawing_ || contour_.size() < 4) return;
  std::vector<Gdiplus::Point> points;
  points.reserve(contour_.size());
  for (const SOPoint& p : contour_) points.emplace_back(p.x, p.y);
  Gdiplus::Graphics g(hdc);
  Gdiplus::SolidBrush fill(Gdiplus::Color(0x7F1874CD));
  Gdiplus::Pen outline(Gdiplus::Color(0xCF104E8B), 2.0f);
  g.FillPolygon(&fill, points.data(), static_cast<INT>(points.size()));
  g.DrawPolygon(&outline, points.data(), static_cast<INT>(points.size()));
}
