#include "SOPluginDrag.h"

#include <algorithm>
#include <cmath>

#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "LumexaModule.h"
#include "SOImageObject.h"

bool SOPluginDrag::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!image) return false;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_LBUTTONDOWN:
      pressX_ = lastX_ = x;
      pressY_ = lastY_ = y;
      dragging_ = true;
      return true;
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      dragging_ = false;
      lastX_ = x;
      lastY_ = y;
      LumexaEndViewDrag();
      return true;
    case WM_MOUSEMOVE:
      if (!dragging_) return false;
      LumexaBeginViewDrag();
      Drag(image, x, y);
      lastX_ = x;
      lastY_ = y;
      return true;
    default:
      return false;
  }
}

HCURSOR SOPluginDrag::GetCursor() {
  return LumexaCursor(cursorId_);
}

// Pan and zoom scale by the window's width and height, so a cell away from the grid's top
// left follows the pointer as well as the first one.
void SOPluginPan::Drag(ISOImageObject* image, int x, int y) {
  const RECT r = host_->GetScreenRect();
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  const SOImagePresentationState& state = image->GetImagePresentationState();
  const float px = (static_cast<int>(w * state.panX) + x - lastX_) / static_cast<float>(w);
  const float py = (static_cast<int>(h * state.panY) + y - lastY_) / static_cast<float>(h);
  image->Pan(px, py);
}

void SOPluginWW::Drag(ISOImageObject* image, int x, int y) {
  if (std::abs(x - pressX_) <= 2 && std::abs(y - pressY_) <= 2) return;
  // The drag starts from the window on screen, which is the automatic one when the image has none.
  const SOImagePresentationState& state = image->GetImagePresentationState();
  double w = state.windowWidth;
  double c = state.windowCenter;
  if (auto* own = dynamic_cast<SOImageObject*>(image)) own->GetShownWindow(c, w);
  const double step = std::max(1.0, std::trunc(w / 800));
  const double dx = step * (x - lastX_);
  const double dy = step * (lastY_ - y);
  ISODcmObject* object = image->GetDcmObject();
  const double slope = object ? object->GetRescaleSlope() : 1.0;
  image->WW(c + dy * slope, std::max(1.0, w + dx * slope));
}

void SOPluginZoom::Drag(ISOImageObject* image, int, int y) {
  const RECT r = host_->GetScreenRect();
  const double h = r.bottom - r.top;
  const double z = image->GetImagePresentationState().zoom;
  if (h * z <= 0) return;
  double v = (y - lastY_) + h * z;
  if (v < 0) v = 1;
  image->Zoom(static_cast<float>(v / h));
}
