#include "SOCorvideDrag.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "Engine3D.h"
#include "IVRBuilder.h"
#include "LumexaModule.h"

IVRBuilder* HostVRBuilder(IPluginHost* host) {
  return host ? static_cast<IVRBuilder*>(host->GetUserData(0)) : nullptr;
}

bool SOCorvideDrag::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
  if (!host_) return false;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_LBUTTONDOWN: {
      lastX_ = startX_ = x;
      lastY_ = startY_ = y;
      dragging_ = true;
      // A second tool pressed while another drags finds the builder interacting already.
      IVRBuilder* builder = HostVRBuilder(host_);
      if (builder && !builder->IsInteracting()) {
        builder->SetInteracting(true);
        builder->CancelPhases();
      }
      return true;
    }
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      lastX_ = x;
      lastY_ = y;
      EndDrag();
      return true;
    case WM_CAPTURECHANGED:
      // The release was lost (another window took the mouse): end the drag as a release would.
      if (dragging_) EndDrag();
      return false;
    case WM_MOUSEMOVE:
      if (!dragging_) return false;
      // The renderings of the moves scale quickly; the release repaints in full.
      LumexaBeginViewDrag();
      if (IVRBuilder* builder = HostVRBuilder(host_)) Step(builder, x, y);
      lastX_ = x;
      lastY_ = y;
      return true;
    default:
      return false;
  }
}

void SOCorvideDrag::EndDrag() {
  dragging_ = false;
  IVRBuilder* builder = HostVRBuilder(host_);
  const bool rendering = builder && builder->IsInteracting();
  // The full-size rendering repaints the window in full: the drag ends first, so that is its
  // only repaint.
  LumexaEndViewDrag(rendering ? host_->GetHostWnd() : nullptr);
  if (rendering) {
    builder->SetInteracting(false);
    builder->Render();
  }
}

void SOCorvideRotate::Step(IVRBuilder* builder, int x, int y) {
  const RECT r = host_->GetScreenRect();
  const int s = std::min(std::abs(r.right - r.left), std::abs(r.bottom - r.top));
  const int dx = x - lastX_;
  const int dy = y - lastY_;
  // An empty view has no turn per pixel.
  if (s <= 0 || (dx == 0 && dy == 0)) return;
  {
    std::lock_guard<std::mutex> lock(builder->GetEngineLock());
    if (std::abs(dx) < std::abs(dy))
      builder->GetEngine()->RotateV(static_cast<float>(dy * 3.14 / s * 2));
    else
      builder->GetEngine()->RotateH(static_cast<float>(dx * -3.14 / s * 2));
  }
  builder->Render();
}

void SOCorvideWW::Step(IVRBuilder* builder, int x, int y) {
  if (x == lastX_ && y == lastY_) return;
  {
    std::lock_guard<std::mutex> lock(builder->GetEngineLock());
    builder->GetEngine()->AdjustColor(y - lastY_);
  }
  builder->Render();
}

void SOCorvideZoom::Step(IVRBuilder* builder, int, int y) {
  builder->Zoom(static_cast<float>(lastY_ - y));
}

bool SOCorvideZoom::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_MOUSEWHEEL) return SOCorvideDrag::OnMessage(msg, wParam, lParam);
  if (!host_) return false;
  if (IVRBuilder* builder = HostVRBuilder(host_)) builder->Zoom(GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? -50.0f : 50.0f);
  return true;
}

