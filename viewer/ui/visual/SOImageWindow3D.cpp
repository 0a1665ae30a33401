#include "SOImageWindow3D.h"

#include "SOCorvideDrag.h"
#include "SOImageObjectEx.h"
#include "SOPluginDrag.h"

// The 3D window's tools in drawing order; they come from the 3D tools library.
void AddImageWindow3DPlugins(SOPluginMgr& mgr);

SOImageWindow3D::SOImageWindow3D() {
  SOPluginMgr& mgr = GetPluginMgr();
  mgr.Clear();
  AddImageWindow3DPlugins(mgr);
  mgr.AddPlugin("OVERINFO");
  mgr.SetLButtonPlugin("ROTATE");
  mgr.SetRButtonPlugin("WW");
  mgr.SetMButtonPlugin("ZOOM");
}

SOImageWindow3D::~SOImageWindow3D() {
  // The window goes first so no late message reaches a tool or the builder.
  DestroyOwnWindow();
  SetVRBuilder(nullptr);
}

void SOImageWindow3D::DetachImage() {
  SOImageObjectEx* image = builder_ ? builder_->GetResultImage() : nullptr;
  if (image && image->ownerWindow == this) image->ownerWindow = nullptr;
}

void SOImageWindow3D::SetVRBuilder(IVRBuilder* builder) {
  if (builder == builder_) return;
  if (builder_) {
    DetachImage();
    builder_->UnRegisterCallback(this);
  }
  builder_ = builder;
  if (builder_) builder_->RegisterCallback(this);
  SetUserData(builder_, 0);
}

void SOImageWindow3D::SetPlaneImages(SOImageObject* axial, SOImageObject* coronal, SOImageObject* sagittal) {
  axial_ = axial;
  coronal_ = coronal;
  sagittal_ = sagittal;
}

void SOImageWindow3D::OnVolumeBuilt() {
  SOImageObjectEx* image = builder_ ? builder_->GetResultImage() : nullptr;
  if (image) {
    image->ownerWindow = this;
    builder_->Render();
  }
  SetImageObject(image, 0);
}

void SOImageWindow3D::OnVolumeCleared() {
  SetImageObject(nullptr, 0);
}

// The window already repaints on its image's own data event, which raised this call: painting
// again here would only double the cost of every rendering.
void SOImageWindow3D::OnImageUpdated(ISOImageObject*) {}

void SOImageWindow3D::OnImagingTypeChanged(int type) {
  SOPluginMgr& mgr = GetPluginMgr();
  mgr.RemovePlugin("WW");
  if (type == 0)
    mgr.AddPlugin(new SOCorvideWW);
  else
    mgr.AddPlugin(new SOPluginWW);
}

LRESULT SOImageWindow3D::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  if (builder_) builder_->Render();
  return 0;
}

// The tools hear the release before the capture goes, so a capture lost without a release
// is the only one that ends a drag by WM_CAPTURECHANGED.
LRESULT SOImageWindow3D::ButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(msg, wParam, lParam);
  ::ReleaseCapture();
  return 0;
}

LRESULT SOImageWindow3D::OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  return ButtonUp(WM_LBUTTONUP, wParam, lParam, handled);
}

LRESULT SOImageWindow3D::OnRButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  return ButtonUp(WM_RBUTTONUP, wParam, lParam, handled);
}

LRESULT SOImageWindow3D::OnMButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  return ButtonUp(WM_MBUTTONUP, wParam, lParam, handled);
}

LRESULT SOImageWindow3D::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  if (msg == WM_CAPTURECHANGED) {
    SOPluginMgr& mgr = GetPluginMgr();
    for (const char* name : {"ROTATE", "WW", "ZOOM"}) {
      if (ISOCtrlPlugin* tool = mgr.GetPlugin(name)) tool->OnMessage(msg, wParam, lParam);
    }
  }
  return SOImageWindow::HandleCustomerMessage(msg, wParam, lParam, handled);
}
