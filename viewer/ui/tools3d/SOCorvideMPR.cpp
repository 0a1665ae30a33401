#include "SOCorvideMPR.h"

#include <mutex>

#include "Engine3D.h"
#include "ISOImageObject.h"
#include "IVRBuilder.h"
#include "SOCorvideDrag.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"
#include "SOImageWindow3D.h"
#include "SOMPRGeometry.h"

namespace {

// Clipped modes 2 to 7: the axis of the cut plane (x 0, y 1, z 2) and whether the kept side is
// the lower one (modes 2 to 4).
int CutAxis(int mode) {
  static const int kAxes[] = {2, 0, 1};
  return kAxes[(mode - 2) % 3];
}

}  // namespace

int SOCorvideMPR::Mode(double n[3]) {
  ISOImageObject* image = enabled_ && host_ ? host_->GetDataObject() : nullptr;
  IVRBuilder* builder = image ? HostVRBuilder(host_) : nullptr;
  if (!builder) return -1;
  ViewDirectionOf(image->GetImageOrientationPatient(), n);
  return builder->GetRenderMode();
}

// The cut face's image goes behind the rendering when it looks away from the viewer, so each
// is drawn exactly once, in one of the two passes.
void SOCorvideMPR::DrawBefore(HDC hdc, RECT) {
  double n[3];
  const int mode = Mode(n);
  if (mode == 0) DrawPlanes(hdc, 0, n);
  if (mode < 2 || mode > 7) return;
  const double c = n[CutAxis(mode)];
  if (mode <= 4 ? c > 0 : c < 0) DrawPlanes(hdc, mode, n);
}

void SOCorvideMPR::Draw(HDC hdc, RECT) {
  double n[3];
  const int mode = Mode(n);
  if (mode < 2 || mode > 7) return;
  const double c = n[CutAxis(mode)];
  if (mode <= 4 ? c <= 0 : c >= 0) DrawPlanes(hdc, mode, n);
}

void SOCorvideMPR::DrawPlanes(HDC hdc, int mode, const double n[3]) {
  IVRBuilder* builder = HostVRBuilder(host_);
  auto* window = dynamic_cast<SOImageWindow3D*>(host_);
  SODcmImageProject project;
  if (!window || !ImageProjectOf(host_->GetDataObject(), project)) return;
  float bmin[3], bmax[3];
  {
    std::lock_guard<std::mutex> lock(builder->GetEngineLock());
    if (!builder->GetEngine()->GetBoundingBox(bmin, bmax)) return;
  }
  struct Plane {
    SOImageObject* image;
    int axis;
    Gdiplus::ARGB colour;
  };
  const Plane all[3] = {{window->GetAxialImage(), 2, 0xFFFFEB0A},
                        {window->GetSagittalImage(), 0, 0xFF00AAFF},
                        {window->GetCoronalImage(), 1, 0xFFFF3859}};
  Gdiplus::Graphics g(hdc);
  Gdiplus::ColorMatrix fade;
  for (int i = 0; i < 5; ++i) fade.m[i][i] = 1.0f;
  fade.m[3][3] = 0.8f;
  Gdiplus::ImageAttributes attributes;
  attributes.SetColorMatrix(&fade);
  for (const Plane& plane : all) {
    if (mode != 0 && plane.axis != CutAxis(mode)) continue;
    if (!plane.image) continue;
    Gdiplus::Bitmap* bitmap = plane.image->GetOriginBitmapData();
    double corner[4][3];  // top left, top right, bottom left, bottom right
    if (!bitmap || !plane.image->GetImageCornerPosition(corner[0], corner[1], corner[2], corner[3])) continue;
    const int a = plane.axis;
    double at = corner[0][a];
    if (mode == 0) {
      // The far face along the plane's axis.
      at = n[a] > 0 ? bmax[a] : bmin[a];
      for (auto& c : corner) c[a] = at;
    }
    double screen[4][2];
    bool projected = true;
    for (int k = 0; k < 4; ++k) projected = projected && PatientToScreen(host_, project, corner[k], screen[k]);
    // The bounding box's section at the plane, going round.
    const int u = (a + 1) % 3, v = (a + 2) % 3;
    double section[4][2];
    const double uv[4][2] = {{bmin[u], bmin[v]}, {bmax[u], bmin[v]}, {bmax[u], bmax[v]}, {bmin[u], bmax[v]}};
    for (int k = 0; k < 4; ++k) {
      double p[3];
      p[a] = at;
      p[u] = uv[k][0];
      p[v] = uv[k][1];
      projected = projected && PatientToScreen(host_, project, p, section[k]);
    }
    if (!projected) continue;
    const Gdiplus::PointF destination[3] = {
        {static_cast<float>(screen[0][0]), static_cast<float>(screen[0][1])},
        {static_cast<float>(screen[1][0]), static_cast<float>(screen[1][1])},
        {static_cast<float>(screen[2][0]), static_cast<float>(screen[2][1])}};
    g.DrawImage(bitmap, destination, 3, 0, 0, static_cast<float>(bitmap->GetWidth()),
                static_cast<float>(bitmap->GetHeight()), Gdiplus::UnitPixel, &attributes);
    Gdiplus::Pen pen(Gdiplus::Color(mode == 0 ? 0xFF7F7F7F : plane.colour), 1.0f);
    Gdiplus::PointF outline[4];
    for (int k = 0; k < 4; ++k) outline[k] = {static_cast<float>(section[k][0]), static_cast<float>(section[k][1])};
    g.DrawPolygon(&pen, outline, 4);
  }
}
