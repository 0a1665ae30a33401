#include "SOGraphic.h"

#include <cmath>

#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "SOGdiPlus.h"

namespace {

constexpr wchar_t kFontName[] = L"Microsoft YaHei";
constexpr float kFontSize = 14.0f;
constexpr Gdiplus::ARGB kHandleFill = 0xFFFF7F00;
constexpr Gdiplus::ARGB kHandleOutline = 0x7FFF7F00;
constexpr Gdiplus::ARGB kLabelFill = 0xDD800040;
constexpr Gdiplus::ARGB kTextShadow = 0xFF000000;
constexpr Gdiplus::ARGB kTextColor = 0xFF00FF00;
constexpr float kMoveEpsilon = 0.005f;

// Measures text in the label layout box (300 x 100).
Gdiplus::RectF MeasureText(Gdiplus::Graphics& graphics, const Gdiplus::Font& font, const wchar_t* text) {
  Gdiplus::RectF box;
  graphics.MeasureString(text, -1, &font, Gdiplus::RectF(0, 0, 300, 100), nullptr, &box);
  return box;
}

void DrawShadowedText(Gdiplus::Graphics& graphics, const Gdiplus::Font& font, const wchar_t* text,
                      const Gdiplus::RectF& box, const Gdiplus::ARGB* fill) {
  Gdiplus::SolidBrush shadow{Gdiplus::Color(kTextShadow)};
  Gdiplus::SolidBrush green{Gdiplus::Color(kTextColor)};
  graphics.DrawString(text, -1, &font, Gdiplus::RectF(box.X + 1, box.Y + 1, box.Width, box.Height), nullptr,
                      &shadow);
  if (fill) {
    Gdiplus::SolidBrush brush{Gdiplus::Color(*fill)};
    graphics.FillRectangle(&brush, box);
  }
  graphics.DrawString(text, -1, &font, box, nullptr, &green);
}

}  // namespace

SOGraphic::SOGraphic(const char* type, int handleCount) : handles_(handleCount) {
  data_.type = type;
}

void SOGraphic::ResetValues() {
  SOGraphicValues& v = data_.values;
  v.count = 0;
  v.length = v.angle = v.area = 0;
  v.max = v.min = v.sd = -10000.0f;
}

void SOGraphic::RepaintWindow() {
  if (window_) window_->UpdateWindow();
}

bool SOGraphic::ToScreen(const SOPointF& image, SOPointF& screen) {
  screen = {};
  return window_ && window_->ImageToScreenCoords(image, screen);
}

SOPointF SOGraphic::ToImage(const SOPointF& screen) {
  SOPointF image;
  if (window_) window_->ScreenToImageCoords(screen, image);
  return image;
}

void SOGraphic::NotifyChanged() {
  std::vector<ISOGraphicObjectCallback*> callbacks = objectCallbacks_;
  for (ISOGraphicObjectCallback* callback : callbacks) callback->OnGraphicObjectChangedEvent(this);
}

bool SOGraphic::CanMeasure(const double*& spacing) {
  if (!imageObject_ || !CheckPoints(data_.points)) return false;
  ISODcmObject* object = imageObject_->GetDcmObject();
  if (!object || object->GetColumns() == 0 || object->GetRows() == 0) return false;
  spacing = object->GetPixelSpacing();
  return spacing && spacing[0] > 0 && imageObject_->HasPixelData();
}

void SOGraphic::SetHandle(int index, SOPointF screen) {
  handles_[index] = {static_cast<int>(screen.x) - 4, static_cast<int>(screen.y) - 4, 8, 8};
}

void SOGraphic::BeginDrag(int part, int handle) {
  dragging_ = true;
  part_ = part;
  handle_ = handle;
}

bool SOGraphic::SetPoints(const SOArray<SOPointF>& points) {
  if (!CheckPoints(points)) return false;
  data_.points = points;
  Calculate();
  UpdateLabel();
  return true;
}

void SOGraphic::SetTitle(const char* title) {
  data_.title = title ? title : "";
  RepaintWindow();
}

void SOGraphic::SetImageObject(ISOImageObject* imageObject) {
  if (imageObject == imageObject_) return;
  imageObject_ = imageObject;
  Calculate();
  UpdateLabel();
  RepaintWindow();
}

bool SOGraphic::SetData(const SOGraphicData& data) {
  if (!CheckType(data.type.c_str()) || !CheckPoints(data.points)) return false;
  data_.type = data.type;
  data_.title = data.title;
  data_.points = data.points;
  data_.values = data.values;
  Calculate();
  UpdateLabel();
  RepaintWindow();
  return true;
}

void SOGraphic::SetGraphicWindow(ISOGraphicWindow* window) {
  if (window == window_) return;
  window_ = window;
  RepaintWindow();
}

void SOGraphic::PlaceLabel(int x, int y, int horizontal, int vertical) {
  if (autoLabel_) {
    labelAnchor_ = {x, y};
    labelHorizontal_ = horizontal;
    labelVertical_ = vertical;
    labelPos_ = ToImage(SOPointF{static_cast<float>(x), static_cast<float>(y)});
  } else {
    SOPointF screen;
    ToScreen(labelPos_, screen);
    labelAnchor_ = {static_cast<int>(screen.x), static_cast<int>(screen.y)};
  }
}

bool SOGraphic::HitTest(int x, int y) {
  int part = SOGraphicPartNone, handle = 0;
  bool hit = false;
  if (turn_.Contains(x, y)) part = SOGraphicPartTurn, hit = true;
  if (body_.Contains(x, y)) part = SOGraphicPartBody, hit = true;
  if (labelRect_.Contains(x, y)) part = SOGraphicPartLabel, hit = true;
  for (int i = static_cast<int>(handles_.size()) - 1; i >= 0; --i) {
    if (handles_[i].Contains(x, y)) {
      part = SOGraphicPartHandle, handle = i, hit = true;
      break;
    }
  }
  if (part != part_ || handle != handle_) {
    part_ = part;
    handle_ = handle;
    RepaintWindow();
  }
  return hit;
}

bool SOGraphic::SetHoverCursor() {
  LPCWSTR cursor = nullptr;
  switch (part_) {
    case SOGraphicPartLabel:
    case SOGraphicPartBody:
      cursor = IDC_SIZEALL;
      break;
    case SOGraphicPartHandle:
      cursor = IDC_HAND;
      break;
    case SOGraphicPartTurn:
      cursor = MAKEINTRESOURCEW(113);
      break;  // the library's turn cursor
    default:
      return false;
  }
  SetCursor(LoadCursorW(nullptr, cursor));
  return true;
}

bool SOGraphic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
  const SOPointF point = ToImage(SOPointF{static_cast<float>(x), static_cast<float>(y)});
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (!HitTest(x, y)) return false;
      dragging_ = true;
      dragStart_ = dragLast_ = point;
      OnDragStart(part_, handle_, point.x, point.y);
      return true;
    case WM_MOUSEMOVE:
      if (!dragging_) return wParam == 0 ? HitTest(x, y) : false;
      if (part_ == SOGraphicPartLabel) {
        autoLabel_ = false;
        labelPos_.x += point.x - dragLast_.x;
        labelPos_.y += point.y - dragLast_.y;
        RepaintWindow();
      } else {
        SOGraphicData moved;
        if (MovePoints(part_, handle_, dragStart_.x, dragStart_.y, dragLast_.x, dragLast_.y, point.x, point.y,
                       &moved)) {
          if (part_ == SOGraphicPartBody) {
            labelPos_.x += point.x - dragLast_.x;
            labelPos_.y += point.y - dragLast_.y;
          }
          SetData(moved);
        }
      }
      dragLast_ = point;
      return true;
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      if (std::fabs(point.x - dragLast_.x) >= kMoveEpsilon ||
          std::fabs(point.y - dragLast_.y) >= kMoveEpsilon)
        RepaintWindow();
      OnDragEnd(part_, handle_, dragStart_.x, dragStart_.y);
      dragging_ = false;
      return true;
    case WM_SETCURSOR:
      return SetHoverCursor();
    default:
      return false;
  }
}

void SOGraphic::Draw(HDC hdc) {
  if (!window_ || !visible_) return;
  UpdateHitRegions();
  DrawShape(hdc);
  if (selected_ || part_ == SOGraphicPartBody || part_ == SOGraphicPartHandle || part_ == SOGraphicPartTurn) {
    Gdiplus::Graphics graphics(hdc);
    Gdiplus::SolidBrush fill{Gdiplus::Color(kHandleFill)};
    Gdiplus::Pen outline(Gdiplus::Color(kHandleOutline), 1.0f);
    for (const SORectI& r : handles_) {
      if (r.width <= 0 || r.height <= 0) continue;
      graphics.FillRectangle(&fill, r.x, r.y, r.width, r.height);
      graphics.DrawRectangle(&outline, r.x, r.y, r.width, r.height);
    }
  }
  DrawLabel(hdc);
  DrawTitle(hdc);
}

void SOGraphic::DrawLabel(HDC hdc) {
  if (label_.empty()) {
    labelRect_.width = labelRect_.height = 0;
    return;
  }
  Gdiplus::Graphics graphics(hdc);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Font font(kFontName, kFontSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  const wchar_t* text = label_.c_wstr();
  Gdiplus::RectF box = MeasureText(graphics, font, text);
  float dx = labelHorizontal_ == 1 ? box.Width : labelHorizontal_ == 2 ? box.Width / 2 : 0;
  float dy = labelVertical_ == 0 ? box.Height : labelVertical_ == 2 ? box.Height / 2 : 0;
  box.X += labelAnchor_.x - std::trunc(dx);
  box.Y += labelAnchor_.y - std::trunc(dy);
  DrawShadowedText(graphics, font, text, box, &kLabelFill);
  labelRect_ = {static_cast<int>(box.X), static_cast<int>(box.Y), static_cast<int>(box.Width),
                static_cast<int>(box.Height)};
}

void SOGraphic::DrawTitle(HDC hdc) {
  if (data_.title.empty()) return;
  Gdiplus::Graphics graphics(hdc);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Font font(kFontName, kFontSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  const wchar_t* text = data_.title.c_wstr();
  Gdiplus::RectF box = MeasureText(graphics, font, text);
  box.X = titleAnchor_.x - box.Width;
  box.Y = titleAnchor_.y - box.Height / 2;
  DrawShadowedText(graphics, font, text, box, nullptr);
}

void SOGraphic::DrawSegments(HDC hdc, const std::vector<SOPointF>& ends, bool antiAlias) {
  Gdiplus::Graphics graphics(hdc);
  if (antiAlias) graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Pen shadow(Gdiplus::Color(SOGraphic::kShadowColor), 3.0f);
  Gdiplus::Pen line(Gdiplus::Color(SOGraphic::kLineColor), 1.0f);
  for (Gdiplus::Pen* pen : {&shadow, &line})
    for (size_t i = 0; i + 1 < ends.size(); i += 2)
      graphics.DrawLine(pen, ends[i].x, ends[i].y, ends[i + 1].x, ends[i + 1].y);
}
