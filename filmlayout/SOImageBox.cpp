#include "SOImageBox.h"

#include <algorithm>
#include <cmath>

#include "ISODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"

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
  if (image_) image_->DrawImage(hdc, rect, false);
}

bool SOImageBox::GetDeviceSize(int& cx, int& cy) const {
  cx = deviceWidth_;
  cy = deviceHeight_;
  return true;
}

bool SOImageBox::GetFontSize(float& points) const {
  if (deviceHeight_ <= 0) return false;
  const float h = static_cast<float>(std::abs(rect_.bottom - rect_.top));
  const float d = std::clamp(h / (0.618f * deviceHeight_) * 34.0f, 16.0f, 34.0f);
  points = h / d / film::kCanvasDpi * 72.0f;
  return true;
}

void* SOImageBox::GetUserData(int key) const {
  auto found = userData_.find(key);
  return found == userData_.end() ? nullptr : found->second;
}

void SOImageBox::SetUserData(int key, void* data) {
  userData_[key] = data;
}

int SOImageBox::GetImageObjectIndex() const {
  ISODcmObject* object = image_ ? image_->GetDcmObject() : nullptr;
  int number = 0;
  if (!object || !object->GetAttributeValue(0x00200013, number, 0)) return 0;
  return number - 1;
}
