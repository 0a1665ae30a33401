#include "SOPluginBasic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DcmImageInputData.h"
#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "ISOOverlayMgr.h"
#include "LumexaModule.h"
#include "SODcmImageProject.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"

// ---- VALUE ------------------------------------------------------------------------------

bool SOPluginValue::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
  if (!host_ || !host_->GetDataObject()) return false;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_LBUTTONDOWN:
      x_ = x, y_ = y;
      pressed_ = true;
      host_->UpdateScreen();
      return true;
    case WM_MOUSEMOVE:
      x_ = x, y_ = y;
      if (!pressed_) return false;
      host_->UpdateScreen();
      return true;
    case WM_LBUTTONUP:
      x_ = x, y_ = y;
      if (!pressed_) return false;
      pressed_ = false;
      host_->UpdateScreen();
      return true;
    default:
      return false;
  }
}

HCURSOR SOPluginValue::GetCursor() {
  return LumexaCursor(111);
}

// Read from the frame's pixel record in its own format, inside its buffer only.
std::wstring SOPluginValue::ValueText(ISOImageObject* image, int ix, int iy) {
  DcmImageInputData* record = image ? image->GetOriginalImagePixelData() : nullptr;
  if (!record || ix < 0 || iy < 0 || ix >= record->columns || iy >= record->rows) return {};
  const size_t index = static_cast<size_t>(iy) * record->columns + ix;
  const unsigned char* bytes = record->data.data;
  const size_t size = record->data.count;
  wchar_t text[48] = {};
  switch (record->type) {
    case DCM_PIXEL_GRAY16: {
      if ((index + 1) * 2 > size) return {};
      short v = 0;
      std::memcpy(&v, bytes + index * 2, 2);
      std::swprintf(text, 48, L"Value: %d", static_cast<int>(v));
      break;
    }
    case DCM_PIXEL_RGB24:
      if ((index + 1) * 3 > size) return {};
      std::swprintf(text, 48, L"Value: %d,%d,%d", bytes[index * 3], bytes[index * 3 + 1], bytes[index * 3 + 2]);
      break;
    case DCM_PIXEL_ARGB32:
      if ((index + 1) * 4 > size) return {};
      std::swprintf(text, 48, L"Value: %d,%d,%d", bytes[index * 4 + 1], bytes[index * 4 + 2], bytes[index * 4 + 3]);
      break;
    default:
      return {};
  }
  return text;
}

void SOPluginValue::Draw(HDC hdc, RECT) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!pressed_ || !image) return;
  const double screen[2] = {static_cast<double>(x_), static_cast<double>(y_)};
  double pixel[2] = {0, 0};
  if (!host_->ScreenToImageCoords(screen, pixel)) return;
  if (pixel[0] < 0 || pixel[1] < 0) return;
  const std::wstring text = ValueText(image, static_cast<int>(pixel[0]), static_cast<int>(pixel[1]));
  if (text.empty()) return;
  Gdiplus::Graphics g(hdc);
  Gdiplus::Font font(L"Microsoft YaHei", 14, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::RectF bounds;
  g.MeasureString(text.c_str(), -1, &font, Gdiplus::RectF(0, 0, 100, 50), nullptr, &bounds);
  bounds.X += x_ + 10;
  bounds.Y += y_ + 10;
  Gdiplus::SolidBrush box(Gdiplus::Color(0xFF00FFCC));
  g.FillRectangle(&box, bounds);
  Gdiplus::SolidBrush ink(Gdiplus::Color(0xFFFF0000));
  g.DrawString(text.c_str(), -1, &font, bounds, nullptr, &ink);
}

// ---- RULER ------------------------------------------------------------------------------

bool SOPluginRuler::Scale(int height, double mm, double& pixelsPerCm, int& ticks) {
  if (height <= 0 || !(mm > 0)) return false;
  pixelsPerCm = height / mm * 10;
  ticks = static_cast<int>(pixelsPerCm * 10) <= (2 * height) / 3 ? 10 : 5;
  return true;
}

void SOPluginRuler::Draw(HDC hdc, RECT r) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!enabled_ || !image || r.bottom == r.top) return;
  const int w = std::abs(r.right - r.left);
  const int h = std::abs(r.bottom - r.top);
  const double top[2] = {static_cast<double>(r.right), static_cast<double>(r.top)};
  const double bottom[2] = {static_cast<double>(r.right), static_cast<double>(r.bottom)};
  double a[2], b[2];
  // Without both ends in image pixels there is no length to show.
  if (!host_->ScreenToImageCoords(top, a) || !host_->ScreenToImageCoords(bottom, b)) return;
  const double* spacing = image->GetPixelSpacing();
  if (!spacing) return;
  const double dy = std::fabs(a[1] - b[1]) * spacing[0];
  const double dx = std::fabs(a[0] - b[0]) * spacing[1];
  double p = 0;
  int n = 0;
  if (!Scale(h, std::sqrt(dy * dy + dx * dx), p, n)) return;
  const int mid = (r.top + r.bottom) / 2;
  const int x0 = r.right - w / 50;
  const int x1 = r.right - w / 80;
  Gdiplus::Graphics g(hdc);
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  const float penWidth = static_cast<float>(std::max(1, w / 1024));
  Gdiplus::Pen tick(Gdiplus::Color(static_cast<Gdiplus::ARGB>(tickColor_)), penWidth);
  std::vector<int> ys;
  for (int i = 0; i <= n; ++i) {
    ys.push_back(static_cast<int>((i - n * 0.5) * p + mid));
    g.DrawLine(&tick, x0, ys.back(), x1, ys.back());
  }
  if (ys.size() > 1) {
    Gdiplus::Pen spine(Gdiplus::Color(static_cast<Gdiplus::ARGB>(spineColor_)), penWidth);
    g.DrawLine(&spine, x1, ys.front(), x1, ys.back());
  }
}

// ---- OVERLAY ----------------------------------------------------------------------------

void SOPluginOverlay::Draw(HDC hdc, RECT r) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!enabled_ || !image || !image->GetDcmObject()) return;
  ISOOverlayMgr* overlays = image->GetOverlayMgr();
  if (!overlays) return;
  std::vector<SOOverlay*> planes;
  for (int i = 0; i < overlays->GetCount(); ++i) {
    SOOverlay* o = overlays->GetOverlayAt(i);
    if (o && o->rows > 0 && o->columns > 0) planes.push_back(o);
  }
  const int columns = image->GetColumns();
  const int rows = image->GetRows();
  if (planes.empty() || columns <= 0 || rows <= 0) return;
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const SOImagePresentationState& state = image->GetImagePresentationState();
  Gdiplus::Graphics g(hdc);
  Gdiplus::Matrix world(state.matrix.m00, state.matrix.m01, state.matrix.m10, state.matrix.m11,
                        w * state.panX + w * 0.5f, h * state.panY + h * 0.5f);
  world.Translate(-w * 0.5f, -h * 0.5f, Gdiplus::MatrixOrderPrepend);
  g.SetTransform(&world);
  const int zw = static_cast<int>(w * state.zoom);
  const int zh = static_cast<int>(state.zoom * h);
  const double aspect = static_cast<double>(columns) / rows;
  int dw = 0, dh = 0;
  if (zw > 0 && zh > 0) {
    if (static_cast<double>(zw) / zh < aspect) {
      dw = zw;
      dh = static_cast<int>(zw / aspect);
    } else {
      dw = static_cast<int>(aspect * zh);
      dh = zh;
    }
  }
  Gdiplus::ImageAttributes attributes;
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY, Gdiplus::Color(0xFF000000));
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  const float x = r.left + (w - zw) / 2 + (zw - dw) * 0.5f;
  const float y = r.top + (h - zh) / 2 + (zh - dh) * 0.5f;
  for (SOOverlay* o : planes) {
    Gdiplus::Bitmap bitmap(columns, rows, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::BitmapData data{};
    const Gdiplus::Rect all(0, 0, columns, rows);
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeWrite, Gdiplus::PixelFormat32bppARGB, &data) != Gdiplus::Ok) continue;
    auto* base = static_cast<unsigned char*>(data.Scan0);
    for (int y0 = 0; y0 < rows; ++y0) std::memset(base + y0 * data.Stride, 0, static_cast<size_t>(columns) * 4);
    const size_t bytes = o->plane.count;
    for (int pr = 0; pr < o->rows; ++pr) {
      // Rows and columns are tested apart: a bit past the right edge must not wrap into the
      // next row.
      const int ir = o->originRow - 1 + pr;
      if (ir < 0 || ir >= rows) continue;
      for (int pc = 0; pc < o->columns; ++pc) {
        const size_t at = static_cast<size_t>(pr) * o->columns + pc;
        if (at >= bytes || !o->plane.data[at]) continue;
        const int ic = o->originColumn - 1 + pc;
        if (ic < 0 || ic >= columns) continue;
        const uint32_t color = o->color;
        std::memcpy(base + ir * data.Stride + ic * 4, &color, 4);
      }
    }
    bitmap.UnlockBits(&data);
    g.DrawImage(&bitmap, Gdiplus::RectF(x, y, static_cast<float>(dw), static_cast<float>(dh)), 0, 0,
                static_cast<float>(columns), static_cast<float>(rows), Gdiplus::UnitPixel, &attributes);
  }
}

// ---- LOC --------------------------------------------------------------------------------

namespace {

// The plane of an image object's frame; false without an orientation of its own.
bool ProjectOf(ISOImageObject* image, SODcmImageProject& project) {
  ISODcmObject* object = image ? image->GetDcmObject() : nullptr;
  if (!object) return false;
  auto* own = dynamic_cast<SOImageObject*>(image);
  const int frame = own ? static_cast<int>(own->GetFrameIndex()) : 0;
  if (!object->GetImageOrientationPatient(project.orientation, frame)) return false;
  if (!object->GetImagePositionPatient(project.position, frame)) return false;
  double spacing[2] = {1, 1};
  if (object->GetPixelSpacing(spacing, frame) && spacing[0] > 0 && spacing[1] > 0) {
    project.spacing[0] = spacing[0];
    project.spacing[1] = spacing[1];
  }
  project.rows = image->GetRows();
  project.columns = image->GetColumns();
  return true;
}

std::string Attribute(ISODcmObject* object, unsigned long tag) {
  std::string value;
  return object && object->GetAttributeValue(tag, value) ? value : std::string();
}

// The angle between two plane normals, folded into 0..90 degrees.
double PlaneAngle(const SOPoint3F& a, const SOPoint3F& b) {
  const double la = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  const double lb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z);
  if (la == 0 || lb == 0) return 0;
  const double c = std::clamp((a.x * b.x + a.y * b.y + a.z * b.z) / (la * lb), -1.0, 1.0);
  double degrees = std::acos(c) * 180.0 / M_PI;
  if (degrees > 90) degrees = 180 - degrees;
  return degrees;
}

}  // namespace

bool SOPluginLoc::SetLocationLine(ISOImageObject* reference) {
  if (!reference && study_.empty()) return false;
  study_.clear();
  frameOfReference_.clear();
  ISODcmObject* object = reference ? reference->GetDcmObject() : nullptr;
  SODcmImageProject project;
  if (object && object->AttributeExists(0x7FE00010) && ProjectOf(reference, project)) {
    const float cx = static_cast<float>(project.columns) - 1;
    const float cy = static_cast<float>(project.rows) - 1;
    const SOPointF corners[4] = {{0, 0}, {cx, 0}, {0, cy}, {cx, cy}};
    bool ok = project.ImageNormalVector(normal_);
    for (int i = 0; i < 4 && ok; ++i) ok = project.ImageToPatientCoords(corners[i], corners_[i]);
    if (ok) {
      const char* study = object->GetStudyInstanceUID();
      study_ = study ? study : "";
      frameOfReference_ = Attribute(object, 0x00200052);
    }
  }
  if (host_) host_->UpdateScreen();
  return !study_.empty();
}

bool SOPluginLoc::LineOn(ISOImageObject* image, SOPointF& from, SOPointF& to) const {
  ISODcmObject* object = image ? image->GetDcmObject() : nullptr;
  if (!object || study_.empty()) return false;
  const char* study = object->GetStudyInstanceUID();
  if (!study || study_ != study) return false;
  const std::string frame = Attribute(object, 0x00200052);
  if (!frameOfReference_.empty() && !frame.empty() && frame != frameOfReference_) return false;
  SODcmImageProject project;
  SOPoint3F normal;
  if (!ProjectOf(image, project) || !project.ImageNormalVector(normal)) return false;
  if (!(PlaneAngle(normal_, normal) > 75)) return false;
  SOPointF c[4];
  for (int i = 0; i < 4; ++i) {
    if (!project.PatientToImageCoords(corners_[i], c[i])) return false;
  }
  auto mid = [](const SOPointF& a, const SOPointF& b) { return SOPointF{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
  const SOPointF top = mid(c[0], c[1]), bottom = mid(c[2], c[3]);
  const SOPointF left = mid(c[0], c[2]), right = mid(c[1], c[3]);
  auto length = [](const SOPointF& a, const SOPointF& b) { return std::hypot(a.x - b.x, a.y - b.y); };
  if (length(top, bottom) > length(left, right)) {
    from = top, to = bottom;
  } else {
    from = right, to = left;
  }
  return true;
}

void SOPluginLoc::Draw(HDC hdc, RECT) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  SOPointF from, to, a, b;
  if (!enabled_ || !LineOn(image, from, to)) return;
  if (!host_->ImageToScreenCoords(from, a) || !host_->ImageToScreenCoords(to, b)) return;
  Gdiplus::Graphics g(hdc);
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Pen shadow(Gdiplus::Color(0x80796D15), 3);
  g.DrawLine(&shadow, a.x, a.y, b.x, b.y);
  Gdiplus::Pen line(Gdiplus::Color(0xFFCCB404), 1);
  g.DrawLine(&line, a.x, a.y, b.x, b.y);
}
