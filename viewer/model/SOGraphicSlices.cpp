#include "SOGraphicSlices.h"

#include <algorithm>
#include <cmath>

#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "SODcmUtil.h"
#include "SOGdiPlus.h"
#include "SOGraphicMgr.h"

void NormalizeVector3D(double* v) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length == 0) return;
  for (int i = 0; i < 3; ++i) v[i] /= length;
}

void CrossVector3D(const double* a, const double* b, double* out) {
  const double x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}

namespace {

constexpr int kMaxLines = 65535;

// Normalises v and puts it exactly on an axis when it lies within tolerance of one.
void SnapToAxis(double* v, double tolerance) {
  NormalizeVector3D(v);
  for (int axis = 0; axis < 3; ++axis) {
    for (double sign : {1.0, -1.0}) {
      if (std::fabs(v[axis] - sign) < tolerance) {
        v[0] = v[1] = v[2] = 0;
        v[axis] = sign;
        return;
      }
    }
  }
}

double Distance(const SOPoint3F& a, const SOPoint3F& b) {
  return std::sqrt(std::pow(b.x - a.x, 2) + std::pow(b.y - a.y, 2) + std::pow(b.z - a.z, 2));
}

uint16_t LineCount(double distance, double spacing) {
  if (spacing <= 0) return 1;
  return static_cast<uint16_t>(
      std::clamp(std::trunc(distance / spacing + 1), 1.0, static_cast<double>(kMaxLines)));
}

SOPoint3F At(const double* v) {
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

}  // namespace

SOGraphicSlices::SOGraphicSlices(double thickness, double spacing) : SOGraphic("SLICES", 3) {
  data_.values.thickness = thickness;
  data_.values.spacing = spacing;
  data_.values.lineCount = 1;
  data_.values.fov = 100;
}

bool SOGraphicSlices::CheckPoints(const SOArray<SOPointF>& points) {
  return points.GetLength() == 1 || points.GetLength() == 2;
}

bool SOGraphicSlices::UpdateLabel() {
  label_ = "";
  return false;
}

bool SOGraphicSlices::SetPoints(const SOArray<SOPointF>& points) {
  if (!CheckPoints(points)) return false;
  data_.points = points;
  UpdateGeometry();
  Calculate();
  UpdateLabel();
  RepaintWindow();
  NotifyChanged();
  return true;
}

void SOGraphicSlices::SetImageObject(ISOImageObject* imageObject) {
  if (imageObject == imageObject_) return;
  imageObject_ = imageObject;
  if (imageObject_) TakeFov();
  UpdateGeometry();
  Calculate();
  UpdateLabel();
  RepaintWindow();
}

bool SOGraphicSlices::SetData(const SOGraphicData& data) {
  if (!(data.type == "SLICES") || !CheckPoints(data.points)) return false;
  data_.type = data.type;
  data_.title = data.title;
  data_.points = data.points;
  data_.values = data.values;
  Calculate();
  UpdateLabel();
  RepaintWindow();
  NotifyChanged();
  return true;
}

void SOGraphicSlices::TakeFov() {
  ISOGraphicMgr* manager = imageObject_->GetGraphicMgr();
  for (int i = 0; manager && i < manager->GetCount(); ++i) {
    ISOGraphic* other = manager->GetGraphicAt(i);
    if (other != this && *other->GetType() == "SLICES") {
      data_.values.fov = other->GetValues()->fov;
      return;
    }
  }
  ISODcmObject* object = imageObject_->GetDcmObject();
  if (object)
    data_.values.fov = static_cast<int32_t>(0.75 * object->GetColumns() * object->GetPixelSpacing()[0]);
}

bool SOGraphicSlices::GetProjection(SODcmImageProject& project) {
  ISODcmObject* object = imageObject_ ? imageObject_->GetDcmObject() : nullptr;
  if (!object) return false;
  project.rows = object->GetRows();
  project.columns = object->GetColumns();
  std::copy_n(object->GetImageOrientationPatient(), 6, project.orientation);
  std::copy_n(object->GetImagePositionPatient(), 3, project.position);
  std::copy_n(object->GetPixelSpacing(), 2, project.spacing);
  return true;
}

bool SOGraphicSlices::ImageToPatient(const SOPointF& image, SOPoint3F& patient) {
  SODcmImageProject project;
  return GetProjection(project) && SODcmUtil::ImageToPatientCoords(project, image, patient);
}

bool SOGraphicSlices::PatientToImage(const SOPoint3F& patient, SOPointF& image) {
  SODcmImageProject project;
  return GetProjection(project) && SODcmUtil::PatientToImageCoords(project, patient, image);
}

SOPoint3F SOGraphicSlices::ToPatient(const SOPointF& image) {
  SOPoint3F patient;
  ImageToPatient(image, patient);
  return patient;
}

void SOGraphicSlices::UpdateGeometry() {
  const double* ps = nullptr;
  if (!CanMeasure(ps)) return;
  SOGraphicValues& v = data_.values;
  const double* orientation = imageObject_->GetDcmObject()->GetImageOrientationPatient();
  const SOPoint3F p1 = ToPatient(data_.points[0]);
  const SOPoint3F p2 = ToPatient(data_.points[data_.points.GetLength() - 1]);
  const double d = static_cast<float>(Distance(p1, p2));

  // The floors come first, so the spacing below is never 0.
  if (ps[0] > v.thickness) v.thickness = ps[0];
  if (ps[0] > v.spacing) v.spacing = ps[0];
  if (2 * ps[0] > v.fov) v.fov = static_cast<int32_t>(2 * ps[0]);

  double step[3];
  if (v.spacing > d) {
    std::copy_n(orientation + 3, 3, step);
  } else {
    step[0] = p2.x - p1.x;
    step[1] = p2.y - p1.y;
    step[2] = p2.z - p1.z;
  }
  SnapToAxis(step, 0.002);
  v.lineCount = LineCount(d, v.spacing);
  v.slabCenter[0] = p1.x;
  v.slabCenter[1] = p1.y;
  v.slabCenter[2] = p1.z;
  double normal[3];
  CrossVector3D(orientation, orientation + 3, normal);
  NormalizeVector3D(normal);
  double line[3];
  CrossVector3D(step, normal, line);
  NormalizeVector3D(line);
  std::copy_n(step, 3, v.stepDirection);
  std::copy_n(line, 3, v.lineDirection);
  std::copy_n(normal, 3, v.planeNormal);
}

bool SOGraphicSlices::UpdateHitRegions() {
  segments_.clear();
  body_.Clear();
  turn_.Clear();
  if (data_.points.GetLength() == 0 && imageObject_) return false;
  const SOGraphicValues& v = data_.values;
  const int half = v.fov / 2;
  for (int i = 0; i < v.lineCount; ++i) {
    double center[3], ends[2][3];
    for (int k = 0; k < 3; ++k) {
      center[k] = v.slabCenter[k] + i * v.spacing * v.stepDirection[k];
      ends[0][k] = center[k] - v.lineDirection[k] * half;
      ends[1][k] = center[k] + v.lineDirection[k] * half;
    }
    SOPointF screen[2];
    for (int e = 0; e < 2; ++e) {
      SOPointF image;
      PatientToImage(At(ends[e]), image);
      ToScreen(image, screen[e]);
    }
    segments_.push_back({static_cast<int>(screen[0].x), static_cast<int>(screen[0].y),
                         static_cast<int>(screen[1].x), static_cast<int>(screen[1].y)});
  }
  for (int h = 0; h < 3; ++h) SetHandle(h, SOPointF{-1000, -1000});
  if (segments_.empty()) return true;

  const Segment& first = segments_.front();
  const Segment& last = segments_.back();
  const SOPoint candidates[4] = {{(first.x1 + first.x2) / 2, (first.y1 + first.y2) / 2},
                                 {(last.x1 + last.x2) / 2, (last.y1 + last.y2) / 2},
                                 {(first.x1 + last.x1) / 2, (first.y1 + last.y1) / 2},
                                 {(first.x2 + last.x2) / 2, (first.y2 + last.y2) / 2}};
  const SOPoint* rightmost = &candidates[0];
  for (const SOPoint& c : candidates)
    if (c.x > rightmost->x) rightmost = &c;
  titleAnchor_ = {rightmost->x + 30, rightmost->y};
  for (int h = 0; h < 3; ++h)
    SetHandle(h, SOPointF{static_cast<float>(candidates[h + 1].x), static_cast<float>(candidates[h + 1].y)});

  for (const Segment& s : segments_) {
    const SOPointF a{static_cast<float>(s.x1), static_cast<float>(s.y1)};
    const SOPointF b{static_cast<float>(s.x2), static_cast<float>(s.y2)};
    const SOPointF m{static_cast<float>((s.x1 + s.x2) / 2), static_cast<float>((s.y1 + s.y2) / 2)};
    const SOPointF s1{2 * a.x / 3 + m.x / 3, 2 * a.y / 3 + m.y / 3};
    const SOPointF s2{2 * b.x / 3 + m.x / 3, 2 * b.y / 3 + m.y / 3};
    body_.AddPolygon(SegmentBand(s1, s2));
    turn_.AddPolygon(SegmentBand(a, s1));
    turn_.AddPolygon(SegmentBand(s2, b));
  }
  return true;
}

void SOGraphicSlices::OnDragStart(int, int, float, float) {
  dragStartValues_ = data_.values;
}

bool SOGraphicSlices::MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY,
                                 float x, float y, SOGraphicData* out) {
  if (std::fabs(x - lastX) < 0.005f && std::fabs(y - lastY) < 0.005f) return false;
  const SOPointF now{x, y};
  SOGraphicValues v = data_.values;
  SOArray<SOPointF> points = data_.points;

  if (part == SOGraphicPartBody) {
    const SOPoint3F a = ToPatient(now), b = ToPatient(SOPointF{lastX, lastY});
    v.slabCenter[0] += a.x - b.x;
    v.slabCenter[1] += a.y - b.y;
    v.slabCenter[2] += a.z - b.z;
  } else if (part == SOGraphicPartHandle && handle == 0) {
    SOPointF centerImage;
    PatientToImage(At(v.slabCenter), centerImage);
    const SOPoint3F q = ToPatient(centerImage), m = ToPatient(now);
    v.lineCount = LineCount(Distance(q, m), v.spacing);
    if (v.lineCount > 1) {
      double step[3] = {m.x - q.x, m.y - q.y, m.z - q.z};
      SnapToAxis(step, 0.002);
      std::copy_n(step, 3, v.stepDirection);
      CrossVector3D(step, v.planeNormal, v.lineDirection);
    }
    if (points.GetLength() == 1)
      points.Add(now);
    else
      points[1] = now;
  } else if (part == SOGraphicPartHandle && (handle == 1 || handle == 2)) {
    const SOPoint3F m = ToPatient(now);
    const float dot = static_cast<float>((v.slabCenter[0] - m.x) * v.lineDirection[0] +
                                         (v.slabCenter[1] - m.y) * v.lineDirection[1] +
                                         (v.slabCenter[2] - m.z) * v.lineDirection[2]);
    v.fov = static_cast<int32_t>(2 * std::fabs(dot));
  } else if (part == SOGraphicPartTurn) {
    // Turns the line about the slab centre by the angle from (start - c) to (now - c).
    const SOGraphicValues& s = dragStartValues_;
    double end[3];
    for (int k = 0; k < 3; ++k) end[k] = s.slabCenter[k] + s.lineDirection[k] * (s.fov / 2);
    SOPointF c, e;
    PatientToImage(At(s.slabCenter), c);
    PatientToImage(At(end), e);
    const double ux = startX - c.x, uy = startY - c.y, vx = x - c.x, vy = y - c.y;
    if ((ux == 0 && uy == 0) || (vx == 0 && vy == 0)) return false;
    const double theta = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    const double ex = e.x - c.x, ey = e.y - c.y;
    const SOPointF turned{static_cast<float>(c.x + ex * std::cos(theta) - ey * std::sin(theta)),
                          static_cast<float>(c.y + ey * std::cos(theta) + ex * std::sin(theta))};
    const SOPoint3F tp = ToPatient(turned), cp = ToPatient(c);
    double line[3] = {tp.x - cp.x, tp.y - cp.y, tp.z - cp.z};
    SnapToAxis(line, 0.001);
    std::copy_n(line, 3, v.lineDirection);
    CrossVector3D(s.planeNormal, line, v.stepDirection);
  } else {
    return false;
  }
  out->type = data_.type;
  out->title = data_.title;
  out->points = points;
  out->values = v;
  return true;
}

void SOGraphicSlices::DrawShape(HDC hdc) {
  Gdiplus::Graphics graphics(hdc);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  if (segments_.size() >= 2) {
    const Segment& first = segments_.front();
    const Segment& last = segments_.back();
    Gdiplus::Pen axis(Gdiplus::Color(kLineColor), 1.0f);
    axis.SetDashStyle(Gdiplus::DashStyleDashDot);
    graphics.DrawLine(&axis, (first.x1 + first.x2) / 2, (first.y1 + first.y2) / 2, (last.x1 + last.x2) / 2,
                      (last.y1 + last.y2) / 2);
  }
  Gdiplus::Pen shadow(Gdiplus::Color(kShadowColor), 3.0f);
  Gdiplus::Pen line(Gdiplus::Color(kLineColor), 1.0f);
  for (const Segment& s : segments_) {
    graphics.DrawLine(&shadow, s.x1, s.y1, s.x2, s.y2);
    graphics.DrawLine(&line, s.x1, s.y1, s.x2, s.y2);
  }
}
