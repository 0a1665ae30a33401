#include "SOPluginGraphic.h"

#include <cmath>

#include "LumexaModule.h"
#include "SOGraphicEllipse.h"
#include "SOGraphicLength.h"
#include "SOGraphicMgr.h"
#include "SOGraphicSlices.h"
#include "SOImageObject.h"

SOPluginGraphic::SOPluginGraphic() = default;

SOPluginGraphic::~SOPluginGraphic() {
  if (host_) host_->UnRegisterHostCallback(this);
  Detach();
}

SOGraphicMgr* SOPluginGraphic::Manager() const {
  return image_ ? dynamic_cast<SOGraphicMgr*>(image_->GetGraphicMgr()) : nullptr;
}

void SOPluginGraphic::Detach() {
  drawn_.reset();
  if (SOGraphicMgr* mgr = Manager()) mgr->SetGraphicWindow(nullptr);
  image_ = nullptr;
}

void SOPluginGraphic::Attach(ISOImageObject* image) {
  if (image == image_) return;
  Detach();
  image_ = image;
  if (SOGraphicMgr* mgr = Manager()) mgr->SetGraphicWindow(this);
}

void SOPluginGraphic::SetHost(IPluginHost* host) {
  if (host_) {
    host_->UnRegisterHostCallback(this);
    Detach();
  }
  host_ = host;
  if (host_) {
    host_->RegisterHostCallback(this);
    Attach(host_->GetDataObject());
  }
}

void SOPluginGraphic::OnImageObjectChangedEvent(ISOImageObject* image) {
  Attach(image);
}

void SOPluginGraphic::UpdateWindow() {
  if (host_) host_->UpdateScreen();
}

bool SOPluginGraphic::ImageToScreenCoords(const SOPointF& image, SOPointF& screen) {
  return host_ && host_->ImageToScreenCoords(image, screen);
}

bool SOPluginGraphic::ScreenToImageCoords(const SOPointF& screen, SOPointF& image) {
  return host_ && host_->ScreenToImageCoords(screen, image);
}

HCURSOR SOPluginGraphic::GetCursor() {
  if (type_ == "RECTANGLE") return LumexaCursor(109);
  if (type_ == "ELLIPSE") return LumexaCursor(107);
  if (type_ == "LENGTH") return LumexaCursor(108);
  if (type_ == "ANGLE") return LumexaCursor(110);
  if (type_ == "SLICES") return LumexaCursor(112);
  return ::LoadCursorW(nullptr, IDC_ARROW);
}

void SOPluginGraphic::Draw(HDC hdc, RECT) {
  SOGraphicMgr* mgr = Manager();
  if (!mgr) return;
  mgr->Draw(hdc);
  if (drawn_) drawn_->Draw(hdc);
}

namespace {

bool Coincide(const SOPointF& a, const SOPointF& b) {
  return std::fabs(a.x - b.x) <= 0.005f && std::fabs(a.y - b.y) <= 0.005f;
}

}  // namespace

// One button-up of a drawing: an angle takes its next point, anything else is finished and,
// when it measures something, added to the image as a new graphic.
void SOPluginGraphic::FinishStep(int x, int y) {
  if (auto* angle = dynamic_cast<SOGraphicAngle*>(drawn_.get())) {
    SOArray<SOPointF>& p = *angle->GetPoints();
    if (Coincide(p[2], p[0])) {
      angle->PlaceThirdPoint(x, y);
      return;
    }
    if (Coincide(p[1], p[0])) {
      angle->PlaceFirstPoint(x, y);
      return;
    }
  }
  const SOGraphicValues& v = *drawn_->GetValues();
  const bool slices = drawn_->CheckType("SLICES");
  if (slices || std::fabs(v.area) >= 0.005f || std::fabs(v.length) >= 0.005f || std::fabs(v.angle) >= 0.005f) {
    if (SOGraphicMgr* mgr = Manager()) mgr->AddGraphic(drawn_->GetType()->c_str(), *drawn_->GetPoints(), true);
  }
  drawn_.reset();
  UpdateWindow();
}

bool SOPluginGraphic::StartDrawing(UINT msg, WPARAM wParam, LPARAM lParam) {
  SOGraphicMgr* mgr = Manager();
  if (!mgr) return false;
  std::unique_ptr<SOGraphic> graphic;
  int count = 2;
  if (type_ == "RECTANGLE") graphic = std::make_unique<SOGraphicRectangle>();
  else if (type_ == "ELLIPSE") graphic = std::make_unique<SOGraphicEllipse>();
  else if (type_ == "LENGTH") graphic = std::make_unique<SOGraphicLength>();
  else if (type_ == "ANGLE") graphic = std::make_unique<SOGraphicAngle>(), count = 3;
  else if (type_ == "SLICES") graphic = std::make_unique<SOGraphicSlices>(1.0, mgr->GetSliceSpacing()), count = 1;
  if (!graphic) return false;
  const SOPointF screen{static_cast<float>(GET_X_LPARAM(lParam)), static_cast<float>(GET_Y_LPARAM(lParam))};
  SOPointF p{};
  if (!ScreenToImageCoords(screen, p)) return false;
  SOArray<SOPointF> points;
  for (int i = 0; i < count; ++i) points.Add(p);
  if (!graphic->SetPoints(points)) return false;
  graphic->SetImageObject(image_);
  // Held before the window is attached: attaching repaints, and that paint places the new
  // graphic's handles at p for the press below.
  drawn_ = std::move(graphic);
  drawn_->SetGraphicWindow(this);
  return drawn_->OnMessage(msg, wParam, lParam);
}

bool SOPluginGraphic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!image_) {
    drawn_.reset();
    return false;
  }
  if (drawn_) {
    const bool taken = drawn_->IsVisible() && drawn_->OnMessage(msg, wParam, lParam);
    if (msg == WM_LBUTTONUP) FinishStep(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    if (taken) return true;
  }
  SOGraphicMgr* mgr = Manager();
  if (!mgr) return false;
  const bool managerTook = mgr->OnMessage(msg, wParam, lParam);
  if (managerTook || msg != WM_LBUTTONDOWN) return managerTook;
  if (!drawn_ && !type_.empty() && StartDrawing(msg, wParam, lParam)) return true;
  mgr->CancelSelected();
  return false;
}
