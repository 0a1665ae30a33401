#include "SOPluginMPRCross.h"

#include <cmath>
#include <utility>

#include "DcmImageInputData.h"
#include "ISOImageObject.h"
#include "LumexaModule.h"
#include "SODcmImageProject.h"
#include "SODcmUtil.h"
#include "SOGdiPlus.h"
#include "SOImageObjectEx.h"
#include "SOImageWindowMPR.h"
#include "SOMPRGeometry.h"
#include "SOPluginMgr.h"

namespace {

constexpr unsigned long kAxialColour = 0xFFFFEB0A;
constexpr unsigned long kCoronalColour = 0xFFFF3859;
constexpr unsigned long kSagittalColour = 0xFF00AAFF;

void DrawTrace(Gdiplus::Graphics& g, const SOPointF& a, const SOPointF& b, unsigned long colour) {
  Gdiplus::Pen shadow(Gdiplus::Color(0xFF999999), 1.5f);
  Gdiplus::Pen pen(Gdiplus::Color(static_cast<Gdiplus::ARGB>(colour)), 1.0f);
  g.DrawLine(&shadow, a.x, a.y, b.x, b.y);
  g.DrawLine(&pen, a.x, a.y, b.x, b.y);
}

}  // namespace

void SOPluginMPRCross::Draw(HDC hdc, RECT r) {
  auto* image = host_ && enabled_ ? dynamic_cast<SOImageObjectEx*>(host_->GetDataObject()) : nullptr;
  if (!image) return;
  view_ = kNone;
  square_ = horizontal_ = vertical_ = Box{};
  SODcmImageProject project;
  if (!ImageProjectOf(image, project)) return;
  const int view = ViewKindOf(project.orientation);
  if (view == kNone) return;

  const double* k = image->patientPoint;
  const double h = project.columns * project.spacing[1] * 0.5;
  // The cross point, then the ends of its x, y and z lines.
  SOPointF screen[7];
  for (int i = 0; i < 7; ++i) {
    SOPoint3F p{static_cast<float>(k[0]), static_cast<float>(k[1]), static_cast<float>(k[2])};
    if (i > 0) {
      const float d = static_cast<float>(i % 2 ? -h : h);
      (i <= 2 ? p.x : i <= 4 ? p.y : p.z) += d;
    }
    SOPointF pixel;
    if (!SODcmUtil::PatientToImageCoords(project, p, pixel) || !host_->ImageToScreenCoords(pixel, screen[i])) return;
  }
  const int horizontalLine = view == kSagittal ? 1 : 0;  // 0 the x line, 1 y, 2 z
  const int verticalLine = view == kAxial ? 1 : 2;
  const unsigned long horizontalColour = view == kAxial ? kCoronalColour : kAxialColour;
  const unsigned long verticalColour = view == kSagittal ? kCoronalColour : kSagittalColour;

  const float l = static_cast<float>(r.left), t = static_cast<float>(r.top);
  const float rr = static_cast<float>(r.right), bb = static_cast<float>(r.bottom);
  const float topLeft[2] = {l, t}, bottomLeft[2] = {l, bb}, topRight[2] = {rr, t}, bottomRight[2] = {rr, bb};
  // Where a line crosses two edges of the draw rectangle, taken as infinite lines.
  auto crossing = [&](int line, const float* e1, const float* e2, const float* e3, const float* e4, SOPointF& first,
                      SOPointF& second) {
    const float a[2] = {screen[1 + 2 * line].x, screen[1 + 2 * line].y};
    const float b[2] = {screen[2 + 2 * line].x, screen[2 + 2 * line].y};
    float p[2], q[2];
    if (!IntersectLines(a, b, e1, e2, p) || !IntersectLines(a, b, e3, e4, q)) return false;
    first = {p[0], p[1]};
    second = {q[0], q[1]};
    return true;
  };
  SOPointF left, right, top, bottom;
  const bool hasHorizontal = crossing(horizontalLine, topLeft, bottomLeft, topRight, bottomRight, left, right);
  const bool hasVertical = crossing(verticalLine, topLeft, topRight, bottomLeft, bottomRight, top, bottom);

  Gdiplus::Graphics g(hdc);
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  if (hasHorizontal) DrawTrace(g, left, right, horizontalColour);
  if (hasVertical) DrawTrace(g, top, bottom, verticalColour);

  if (hasHorizontal) horizontal_ = {left.x, left.y - 5, std::fabs(right.x - left.x), 10};
  if (hasVertical) {
    const float half = view == kSagittal ? 2.0f : 5.0f;
    vertical_ = {top.x - half, std::min(top.y, bottom.y), 2 * half, std::fabs(bottom.y - top.y)};
  }
  square_ = {screen[0].x - 40, screen[0].y - 40, 80, 80};
  view_ = view;
}

bool SOPluginMPRCross::HitTest(int x, int y) {
  int part = kNoPart;
  if (view_ != kNone) {
    const float px = static_cast<float>(x), py = static_cast<float>(y);
    const bool onHorizontal = horizontal_.Contains(px, py);
    const bool onVertical = vertical_.Contains(px, py);
    if ((onHorizontal || onVertical) && square_.Contains(px, py))
      part = kCentre;
    else if (onHorizontal)
      part = kHorizontal;
    else if (onVertical)
      part = kVertical;
  }
  if (part != hover_) {
    hover_ = part;
    host_->UpdateScreen();
  }
  return part != kNoPart;
}

bool SOPluginMPRCross::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* image = host_ && enabled_ ? dynamic_cast<SOImageObjectEx*>(host_->GetDataObject()) : nullptr;
  if (!image) return false;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_SETCURSOR: {
      LPCWSTR id = hover_ == kCentre ? IDC_SIZEALL : hover_ == kHorizontal ? IDC_SIZENS : IDC_SIZEWE;
      if (hover_ == kNoPart) return false;
      ::SetCursor(::LoadCursorW(nullptr, id));
      return true;
    }
    case WM_LBUTTONDOWN:
      if (!HitTest(x, y)) return false;
      dragging_ = true;
      return true;
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      dragging_ = false;
      // The planes painted quickly while the cross moved repaint in full.
      LumexaEndViewDrag();
      return true;
    case WM_MOUSEMOVE:
      break;
    default:
      return false;
  }
  if (!dragging_) {
    if (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) return false;
    return HitTest(x, y);
  }
  SODcmImageProject project;
  SOPointF pixel;
  SOPoint3F p;
  if (!ImageProjectOf(image, project) || !host_->ScreenToImageCoords(SOPointF{static_cast<float>(x), static_cast<float>(y)}, pixel) ||
      !SODcmUtil::ImageToPatientCoords(project, pixel, p))
    return true;
  float point[3] = {static_cast<float>(image->patientPoint[0]), static_cast<float>(image->patientPoint[1]),
                    static_cast<float>(image->patientPoint[2])};
  const float moved[3] = {p.x, p.y, p.z};
  // The coordinate each trace keeps constant: horizontal, then vertical, per view.
  static const int kAxes[4][2] = {{0, 0}, {1, 0}, {2, 0}, {2, 1}};
  if (hover_ == kHorizontal || hover_ == kCentre) point[kAxes[view_][0]] = moved[kAxes[view_][0]];
  if (hover_ == kVertical || hover_ == kCentre) point[kAxes[view_][1]] = moved[kAxes[view_][1]];
  auto* window = dynamic_cast<SOImageWindowMPR*>(host_);
  // Each move repaints every plane: they scale quickly until the release.
  LumexaBeginViewDrag();
  if (window && window->GetMPRCallback()) window->GetMPRCallback()->OnCrossMoved(window, point);
  return true;
}
