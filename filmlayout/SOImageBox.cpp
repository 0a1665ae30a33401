#include "SOImageBox.h"

#include <algorithm>
#include <cmath>

#include "ISODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"
#include "SOPluginMgr.h"
#include "SORectF.h"

void SOImageBox::SetPlace(float x, float y, float width, float height) {
  x_ = x;
  y_ = y;
  width_ = width;
  height_ = height;
}

void SOImageBox::Draw(HDC hdc, const RECT& rect, int deviceWidth, int deviceHeight) {
  rect_ = rect;
  deviceWidth_ = deviceWidth;
  deviceHeight_ = deviceHeight;
  // Black behind the image too: what the image leaves free of its cell prints as film base.
  {
    Gdiplus::Graphics graphics(hdc);
    Gdiplus::SolidBrush black(Gdiplus::Color(0xFF000000));
    graphics.FillRectangle(&black, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                           static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
  }
  if (!image_) return;
  // The image and its texts stay inside the cell: a zoomed or panned image, or a long text,
  // must not spill over the neighbouring cells of the film.
  const int saved = SaveDC(hdc);
  IntersectClipRect(hdc, rect.left, rect.top, rect.right, rect.bottom);
  image_->DrawImage(hdc, rect, false);
  SOPluginMgr plugins;
  plugins.SetPluginHost(this);
  for (const char* name : {"OVERINFO", "ORIENT", "RULER"}) plugins.AddPlugin(name);
  plugins.SetTextColor(0xFFFFFFFF, nullptr);
  plugins.SetLineColor(0xFFFFFFFF, nullptr);
  plugins.Draw(hdc, rect);
  RestoreDC(hdc, saved);
}

ISOImageObject* SOImageBox::GetDataObject() {
  return image_;
}

SORectF SOImageBox::RenderRect() const {
  return SORectF{static_cast<float>(rect_.left), static_cast<float>(rect_.top),
                 static_cast<float>(rect_.right - rect_.left), static_cast<float>(rect_.bottom - rect_.top)};
}

bool SOImageBox::ScreenToImageCoords(const double* in, double* out) {
  return image_ && image_->RenderRectToImageCoords(RenderRect(), in, out);
}

bool SOImageBox::ScreenToImageCoords(const SOPointF& in, SOPointF& out) {
  return image_ && image_->RenderRectToImageCoords(RenderRect(), in, out);
}

bool SOImageBox::ImageToScreenCoords(const double* in, double* out) {
  return image_ && image_->ImageToRenderRectCoords(RenderRect(), in, out);
}

bool SOImageBox::ImageToScreenCoords(const SOPointF& in, SOPointF& out) {
  return image_ && image_->ImageToRenderRectCoords(RenderRect(), in, out);
}

bool SOImageBox::GetDeviceSize(int& cx, int& cy) {
  cx = deviceWidth_;
  cy = deviceHeight_;
  return true;
}

bool SOImageBox::GetFontSize(float& points) {
  if (deviceHeight_ <= 0) return false;
  const float h = static_cast<float>(std::abs(rect_.bottom - rect_.top));
  const float d = std::clamp(h / (0.618f * deviceHeight_) * 34.0f, 16.0f, 34.0f);
  points = h / d / film::kCanvasDpi * 72.0f;
  return true;
}

void* SOImageBox::GetUserData(int key) {
  auto found = userData_.find(key);
  return found == userData_.end() ? nullptr : found->second;
}

void SOImageBox::SetUserData(void* data, int key) {
  userData_[key] = data;
}

int SOImageBox::GetImageObjectIndex() {
  ISODcmObject* object = image_ ? image_->GetDcmObject() : nullptr;
  int number = 0;
  if (!object || !object->GetAttributeValue(0x00200013, number, 0)) return 0;
  return number - 1;
}
