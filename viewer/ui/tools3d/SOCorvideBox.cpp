#include "SOCorvideBox.h"

#include <cmath>
#include <mutex>

#include "Engine3D.h"
#include "ISOImageObject.h"
#include "IVRBuilder.h"
#include "SOCorvideDrag.h"
#include "SOGdiPlus.h"
#include "SOMPRGeometry.h"

namespace {

// Per face id 2..7: the axis it bounds, whether it is that axis' minimum, and the opposite face.
struct FaceAxis {
  int axis;
  bool min;
  int opposite;
};
constexpr FaceAxis kFaceAxes[6] = {{0, true, 3}, {0, false, 2}, {1, true, 5}, {1, false, 4}, {2, false, 7}, {2, true, 6}};

// Closest distance between faces while cropping (mm).
constexpr float kMinThickness = 20;

bool InPolygon(const double (*points)[2], int count, double x, double y) {
  bool inside = false;
  for (int i = 0, j = count - 1; i < count; j = i++) {
    const double xi = points[i][0], yi = points[i][1], xj = points[j][0], yj = points[j][1];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

// Within the band 10 px wide around the segment a-b, between its ends.
bool OnSegment(const double a[2], const double b[2], double x, double y) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double length = std::hypot(dx, dy);
  if (length <= 0) return false;
  const double along = ((x - a[0]) * dx + (y - a[1]) * dy) / length;
  const double across = ((x - a[0]) * dy - (y - a[1]) * dx) / length;
  return along >= 0 && along <= length && std::fabs(across) <= 5;
}

}  // namespace

SOCorvideBox::SOCorvideBox()
    : faces_{{{-1, 0, 0}, {0, 1, 5, 4}}, {{1, 0, 0}, {3, 2, 6, 7}}, {{0, -1, 0}, {0, 3, 7, 4}},
             {{0, 1, 0}, {1, 2, 6, 5}},  {{0, 0, 1}, {0, 1, 2, 3}},  {{0, 0, -1}, {4, 5, 6, 7}}},
      edges_{{0, 4}, {1, 5}, {2, 6}, {3, 7}, {1, 0}, {2, 3}, {6, 7}, {5, 4}, {0, 3}, {1, 2}, {5, 6}, {4, 7}} {}

IVRBuilder* SOCorvideBox::Active() {
  if (!enabled_ || !host_ || !host_->GetDataObject()) return nullptr;
  IVRBuilder* builder = HostVRBuilder(host_);
  return builder && builder->GetRenderMode() != 1 ? builder : nullptr;
}

bool SOCorvideBox::Layout() {
  laidOut_ = false;
  IVRBuilder* builder = Active();
  SODcmImageProject project;
  if (!builder || !ImageProjectOf(host_->GetDataObject(), project)) return false;
  float min[3], max[3], bmin[3], bmax[3];
  {
    std::lock_guard<std::mutex> lock(builder->GetEngineLock());
    if (!builder->GetEngine()->GetVisibleBox(min, max) || !builder->GetEngine()->GetBoundingBox(bmin, bmax)) return false;
  }
  for (int a = 0; a < 3; ++a) {
    box_[2 * a] = min[a];
    box_[2 * a + 1] = max[a];
    bounds_[2 * a] = bmin[a];
    bounds_[2 * a + 1] = bmax[a];
  }
  // c0..c7: (x, y) going round min-min, min-max, max-max, max-min, at z max then z min.
  static const int kX[4] = {0, 0, 1, 1}, kY[4] = {0, 1, 1, 0};
  for (int i = 0; i < 8; ++i) {
    Corner& c = corners_[i];
    c.patient[0] = kX[i % 4] ? max[0] : min[0];
    c.patient[1] = kY[i % 4] ? max[1] : min[1];
    c.patient[2] = i < 4 ? max[2] : min[2];
    c.visible = false;
    if (!PatientToScreen(host_, project, c.patient, c.screen)) return false;
  }
  double n[3];
  ViewDirectionOf(project.orientation, n);
  for (Face& f : faces_) {
    f.centre[0] = f.centre[1] = 0;
    for (int k : f.corners) {
      f.centre[0] += corners_[k].screen[0] / 4;
      f.centre[1] += corners_[k].screen[1] / 4;
    }
    f.front = f.normal[0] * n[0] + f.normal[1] * n[1] + f.normal[2] * n[2] < 0;
    if (f.front) {
      for (int k : f.corners) corners_[k].visible = true;
    }
  }
  for (Edge& e : edges_) e.visible = corners_[e.a].visible && corners_[e.b].visible;
  laidOut_ = true;
  return true;
}

bool SOCorvideBox::HitTest(int x, int y) {
  hover_ = 0;
  if (!laidOut_) return false;
  for (const Edge& e : edges_) {
    if (e.visible && OnSegment(corners_[e.a].screen, corners_[e.b].screen, x, y)) {
      hover_ = 1;
      return true;
    }
  }
  for (int i = 0; i < 6; ++i) {
    if (!faces_[i].front) continue;
    // The face's outline in whole pixels.
    double outline[4][2];
    for (int k = 0; k < 4; ++k) {
      outline[k][0] = std::trunc(corners_[faces_[i].corners[k]].screen[0]);
      outline[k][1] = std::trunc(corners_[faces_[i].corners[k]].screen[1]);
    }
    if (InPolygon(outline, 4, x, y)) {
      hover_ = i + 2;
      return true;
    }
  }
  return false;
}

bool SOCorvideBox::SetCursorForHover() {
  if (hover_ == 0) return false;
  ::SetCursor(::LoadCursorW(nullptr, hover_ == 1 ? IDC_HAND : IDC_SIZEALL));
  return true;
}

void SOCorvideBox::DragFace(IVRBuilder* builder, int x, int y) {
  const FaceAxis& f = kFaceAxes[hover_ - 2];
  const Face& face = faces_[hover_ - 2];
  const Face& opposite = faces_[f.opposite - 2];
  const double dx = opposite.centre[0] - face.centre[0], dy = opposite.centre[1] - face.centre[1];
  const double length = std::hypot(dx, dy);
  // Seen edge-on the face has no drag direction.
  if (!(length > 1e-6)) return;
  const double moved = ((x - lastX_) * dx + (y - lastY_) * dy) / length;
  float lo = box_[2 * f.axis], hi = box_[2 * f.axis + 1];
  const double shift = moved / length * (hi - lo);
  bool accepted = false;
  if (f.min) {
    const float v = static_cast<float>(lo + shift);
    accepted = (lo < v && hi - v > kMinThickness) || (lo > v && v > bounds_[2 * f.axis]);
    lo = v;
  } else {
    const float v = static_cast<float>(hi - shift);
    accepted = (hi > v && v - lo > kMinThickness) || (hi < v && v < bounds_[2 * f.axis + 1]);
    hi = v;
  }
  float min[3] = {box_[0], box_[2], box_[4]}, max[3] = {box_[1], box_[3], box_[5]};
  min[f.axis] = lo;
  max[f.axis] = hi;
  if (!accepted || !(min[0] < max[0] && min[1] < max[1] && min[2] < max[2])) return;
  {
    std::lock_guard<std::mutex> lock(builder->GetEngineLock());
    builder->GetEngine()->SetVisibleBox(min, max);
  }
  box_[2 * f.axis] = lo;
  box_[2 * f.axis + 1] = hi;
  builder->Render();
}

bool SOCorvideBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  IVRBuilder* builder = Active();
  if (!builder) return false;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (!HitTest(x, y)) return false;
      dragging_ = true;
      startX_ = lastX_ = x;
      startY_ = lastY_ = y;
      return true;
    case WM_MOUSEMOVE:
      if (dragging_) {
        // An edge only follows the pointer.
        if (hover_ >= 2) DragFace(builder, x, y);
        lastX_ = x;
        lastY_ = y;
        SetCursorForHover();
        return hover_ != 0;
      }
      if (!(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
        const int before = hover_;
        HitTest(x, y);
        if (hover_ != before) host_->UpdateHostWnd();
      }
      return SetCursorForHover();
    case WM_SETCURSOR:
      return SetCursorForHover();
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      dragging_ = false;
      return true;
    default:
      return false;
  }
}

void SOCorvideBox::DrawBefore(HDC hdc, RECT) {
  if (!Layout()) return;
  Gdiplus::Graphics g(hdc);
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Pen hidden(Gdiplus::Color(0x7760C8A9), 1.0f);
  for (const Edge& e : edges_) {
    if (e.visible) continue;
    const double* a = corners_[e.a].screen;
    const double* b = corners_[e.b].screen;
    g.DrawLine(&hidden, static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(b[0]),
               static_cast<float>(b[1]));
  }
}

void SOCorvideBox::Draw(HDC hdc, RECT) {
  if (!Active() || !laidOut_) return;
  Gdiplus::Graphics g(hdc);
  auto line = [&g](Gdiplus::Pen& pen, const double* a, const double* b) {
    g.DrawLine(&pen, static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(b[0]),
               static_cast<float>(b[1]));
  };
  Gdiplus::Pen visible(Gdiplus::Color(0xFF60C8A9), 1.0f);
  for (const Edge& e : edges_) {
    if (e.visible) line(visible, corners_[e.a].screen, corners_[e.b].screen);
  }
  if (hover_ >= 2) {
    Gdiplus::Pen hovered(Gdiplus::Color(0xFFDBB70F), 2.0f);
    const int* k = faces_[hover_ - 2].corners;
    for (int i = 0; i < 4; ++i) line(hovered, corners_[k[i]].screen, corners_[k[(i + 1) % 4]].screen);
  }
}
