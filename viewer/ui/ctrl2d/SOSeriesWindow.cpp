#include "SOSeriesWindow.h"

#include <algorithm>

#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "ISOGraphic.h"
#include "LumexaModule.h"
#include "SOBufferedPaint.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObjectSR.h"

namespace {

// A wheel burst pages with quick scaling; this long after its last step the cells repaint in full.
constexpr UINT_PTR kWheelRestTimer = 0x5EE1;
constexpr UINT kWheelRestMs = 120;

int InstanceNumber(SOImageObject* image) {
  ISODcmObject* object = image->GetDcmObject();
  return object ? object->GetInstanceNumber() : 0;
}

std::string SopUid(ISODcmObject* object) {
  const char* uid = object ? object->GetSopInstanceUID() : nullptr;
  return uid ? uid : "";
}

}  // namespace

SOSeriesWindow::SOSeriesWindow() = default;

SOSeriesWindow::~SOSeriesWindow() {
  DestroyOwnWindow();
  // The windows go before the images they show: each unregisters from its image.
  windows_.clear();
  for (auto& image : images_) image->UnRegisterCallback(this);
  images_.clear();
}

HWND SOSeriesWindow::Create(HWND parent) {
  if (!SOWindowBase::Create(parent, 0, 0, 0, 0)) return nullptr;
  LayoutScrollbar();
  scrollbar_.Create(GetWindow(), scrollRect_.left, scrollRect_.top, scrollRect_.right - scrollRect_.left,
                    scrollRect_.bottom - scrollRect_.top);
  scrollbar_.RegisterCallback(this);
  SetImageLayout(1, 1);
  return GetWindow();
}

template <typename Op>
void SOSeriesWindow::ForEachImage(Op op) {
  for (auto& image : images_) op(*image);
}

ISOImageWnd* SOSeriesWindow::GetImageWnd(int index) {
  return GetImageWindow(index);
}

SOImageWindow* SOSeriesWindow::GetImageWindow(int index) {
  return index >= 0 && index < GetImageWndCount() ? windows_[index].get() : nullptr;
}

SOImageObject* SOSeriesWindow::GetImageObject(int index) {
  return index >= 0 && index < GetImageObjectCount() ? images_[index].get() : nullptr;
}

void SOSeriesWindow::Clear() {
  for (auto& w : windows_) w->SetImageObject(nullptr, 0);
  for (auto& image : images_) image->UnRegisterCallback(this);
  images_.clear();
  shownLately_.clear();
  sopUids_.clear();
  ordered_ = true;
  requestedFirst_ = first_ = 0;
  scrollbar_.SetPosition(0);
}

void SOSeriesWindow::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (!active) ForEachImage([](SOImageObject& i) { i.SetSelected(false); });
  const auto callbacks = callbacks_;
  for (ISOSeriesWindowCallback* c : callbacks) c->OnSeriesWindowActivated(this, active);
}

void SOSeriesWindow::ScrollToFirst() {
  scrollbar_.SetPosition(0);
}

void SOSeriesWindow::ScrollToLast() {
  scrollbar_.SetPosition(std::max(0, scrollbar_.GetCount() - 1));
}

void SOSeriesWindow::ScrollNext() {
  scrollbar_.StepDown();
}

void SOSeriesWindow::ScrollPrev() {
  scrollbar_.StepUp();
}

void SOSeriesWindow::ShowScrollbar(bool show) {
  if (show == showScrollbar_) return;
  showScrollbar_ = show;
  scrollbar_.ShowWindow(show);
  LayoutScrollbar();
  LayoutImageWindows();
}

void SOSeriesWindow::ShowSelectedBorder(bool show) {
  if (show == showSelectedBorder_) return;
  showSelectedBorder_ = show;
  for (auto& w : windows_) w->ShowSelectedBorder(show);
}

void SOSeriesWindow::Reset() {
  ForEachImage([](SOImageObject& i) { i.Reset(); });
}
void SOSeriesWindow::Zoom(float zoom) {
  ForEachImage([zoom](SOImageObject& i) { i.Zoom(zoom); });
}
void SOSeriesWindow::Rotate(bool anticlockwise) {
  ForEachImage([anticlockwise](SOImageObject& i) { i.Rotate(anticlockwise); });
}
void SOSeriesWindow::FlipX() {
  ForEachImage([](SOImageObject& i) { i.FlipX(); });
}
void SOSeriesWindow::FlipY() {
  ForEachImage([](SOImageObject& i) { i.FlipY(); });
}
void SOSeriesWindow::Pan(float x, float y) {
  ForEachImage([x, y](SOImageObject& i) { i.Pan(x, y); });
}
void SOSeriesWindow::Inverse() {
  ForEachImage([](SOImageObject& i) { i.Inverse(); });
}
void SOSeriesWindow::SetColorPalette(SOColorPalette palette) {
  ForEachImage([palette](SOImageObject& i) { i.SetColorPalette(palette); });
}
void SOSeriesWindow::WW(double center, double width) {
  ForEachImage([center, width](SOImageObject& i) { i.WW(center, width); });
}
void SOSeriesWindow::ResetWW() {
  ForEachImage([](SOImageObject& i) { i.ResetWW(); });
}
void SOSeriesWindow::ResetTransfer() {
  ForEachImage([](SOImageObject& i) { i.ResetTransfer(); });
}

void SOSeriesWindow::SetMouseMode2D(SOMouseMode2D mode) {
  mouseMode_ = mode;
  for (auto& w : windows_) w->SetMouseMode2D(mode);
}

void SOSeriesWindow::ClearGraphics() {
  ForEachImage([](SOImageObject& i) {
    if (ISOGraphicMgr* g = i.GetGraphicMgr()) g->ClearAll();
  });
}

// The window tree is rendered into the bitmap, so the copy holds this window even when it is
// covered, hidden or offscreen.
bool SOSeriesWindow::CopyToClipboard() {
  return CopyBitmapToClipboard(CaptureWindowBitmap(GetWindow(), 0));
}

void SOSeriesWindow::ShowOverInfo(bool show) {
  if (show == showOverInfo_) return;
  showOverInfo_ = show;
  for (auto& w : windows_) w->EnablePlugin("OVERINFO", show, true);
}

void SOSeriesWindow::HidePatientData(bool hide) {
  if (hide == hidePatientData_) return;
  hidePatientData_ = hide;
  for (auto& w : windows_) w->HidePatientData(hide);
}

void SOSeriesWindow::Take(const std::vector<SOImageObject*>& made, size_t at) {
  std::vector<std::unique_ptr<SOImageObject>> owned;
  for (SOImageObject* image : made) {
    owned.emplace_back(image);
    image->RegisterCallback(this);
  }
  images_.insert(images_.begin() + static_cast<long>(at), std::make_move_iterator(owned.begin()),
                 std::make_move_iterator(owned.end()));
}

SOImageObject* SOSeriesWindow::AddObject(ISODcmObject* object, bool refresh) {
  if (!object) return nullptr;
  const std::string uid = SopUid(object);
  if (sopUids_.count(uid)) return nullptr;
  const std::vector<SOImageObject*> made = CreateImageObjects(object);
  if (made.empty()) return nullptr;
  sopUids_.insert(uid);
  const int number = object->GetInstanceNumber();
  // After every image of the same or a smaller number, so ties keep their arrival order.
  size_t at = images_.size();
  if (!images_.empty() && InstanceNumber(images_.back().get()) > number) {
    auto greater = [number](const std::unique_ptr<SOImageObject>& i) { return InstanceNumber(i.get()) > number; };
    if (ordered_) {
      at = static_cast<size_t>(std::upper_bound(images_.begin(), images_.end(), number,
                                                [](int n, const std::unique_ptr<SOImageObject>& i) {
                                                  return n < InstanceNumber(i.get());
                                                }) -
                               images_.begin());
    } else {
      at = static_cast<size_t>(std::find_if(images_.begin(), images_.end(), greater) - images_.begin());
    }
  }
  const bool hadFirst = first_ < GetImageObjectCount();
  Take(made, at);
  // The page stays with the image it showed; an empty window opens on the object's first frame.
  if (hadFirst) {
    requestedFirst_ = first_ < static_cast<int>(at) ? first_ : first_ + static_cast<int>(made.size());
  } else {
    requestedFirst_ = static_cast<int>(at);
  }
  if (refresh)
    Refresh();
  else
    SettlePage();
  return made.back();
}

void SOSeriesWindow::AddObjects(const std::vector<ISODcmObject*>& objects) {
  for (ISODcmObject* o : objects) AddObject(o, false);
  Refresh();
}

bool SOSeriesWindow::ShowSeries(ISODcmSeries* series) {
  Clear();
  if (!series) return false;
  for (int i = 0; i < series->GetObjectCount(); ++i) {
    ISODcmObject* object = series->GetObjectAt(i);
    const std::vector<SOImageObject*> made = CreateImageObjects(object);
    if (made.empty()) continue;
    sopUids_.insert(SopUid(object));
    if (!images_.empty() && InstanceNumber(images_.back().get()) > object->GetInstanceNumber()) ordered_ = false;
    Take(made, images_.size());
  }
  requestedFirst_ = 0;
  Refresh();
  return true;
}

void SOSeriesWindow::RegisterCallback(ISOSeriesWindowCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOSeriesWindow::UnRegisterCallback(ISOSeriesWindowCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

void SOSeriesWindow::SettlePage() {
  const int n = rows_ * cols_;
  if (n < 1) return;
  first_ = std::max(0, requestedFirst_ / n * n);
  if (first_ >= GetImageObjectCount()) first_ = 0;
}

size_t SOSeriesWindow::KeptImages() const {
  return std::max<size_t>(16, 4 * static_cast<size_t>(rows_) * cols_);
}

void SOSeriesWindow::KeepShown(SOImageObject* image) {
  auto at = std::find(shownLately_.begin(), shownLately_.end(), image);
  if (at == shownLately_.begin() && at != shownLately_.end()) return;
  if (at != shownLately_.end()) shownLately_.erase(at);
  shownLately_.push_front(image);
  while (shownLately_.size() > KeptImages()) {
    shownLately_.back()->ReleasePixelCaches();
    shownLately_.pop_back();
  }
}

void SOSeriesWindow::Refresh(bool paintNow) {
  const int n = rows_ * cols_;
  if (n < 1) return;
  const int count = GetImageObjectCount();
  const bool deferred = scrollbar_.PaintsDeferred();
  if (!paintNow) scrollbar_.DeferPaints(true);
  SettlePage();
  for (int k = 0; k < n && k < GetImageWndCount(); ++k) {
    const int i = first_ + k;
    SOImageWindow& cell = *windows_[k];
    SOImageObject* image = i < count ? images_[i].get() : nullptr;
    // An image that stays in its cell while images are added before it changes only its index,
    // which the cell does not repaint for; its number in the corner must follow.
    const bool moved = image && image == cell.GetSOImageObject() && cell.GetImageObjectIndex() != i;
    cell.SetImageObject(image, i < count ? i : 0);
    if (moved) {
      ::InvalidateRect(cell.GetWindow(), nullptr, TRUE);
      ::UpdateWindow(cell.GetWindow());
    }
    if (image) KeepShown(image);
  }
  const int pages = count / n + (count % n ? 1 : 0);
  if (pages != scrollbar_.GetCount()) {
    scrollbar_.SetCount(pages);
    scrollbar_.SetPosition(std::max(0, std::min(first_ / n, pages - 1)));
  }
  scrollbar_.UpdateThumb();
  scrollbar_.DeferPaints(deferred);
}

bool SOSeriesWindow::SetImageLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  if (rows == rows_ && cols == cols_) return true;
  rows_ = rows;
  cols_ = cols;
  const size_t wanted = static_cast<size_t>(rows) * cols;
  while (windows_.size() < wanted) {
    auto w = std::make_unique<SOImageWindow>();
    w->Create(GetWindow(), 0, 0, 0, 0);
    w->RegisterCallback(this);
    w->SetMouseMode2D(mouseMode_);
    w->ShowSelectedBorder(showSelectedBorder_);
    w->EnablePlugin("OVERINFO", showOverInfo_, true);
    w->HidePatientData(hidePatientData_);
    windows_.push_back(std::move(w));
  }
  while (windows_.size() > wanted) {
    windows_.back()->SetImageObject(nullptr, 0);
    windows_.pop_back();
  }
  LayoutImageWindows();
  Refresh();
  return true;
}

void SOSeriesWindow::LayoutScrollbar() {
  RECT client{};
  ::GetClientRect(GetWindow(), &client);
  imageArea_ = client;
  scrollRect_ = RECT{};
  if (showScrollbar_) {
    const int w = ::GetSystemMetrics(SM_CXVSCROLL);
    scrollRect_ = RECT{client.right - w, client.top, client.right, client.bottom};
    imageArea_.right -= w;
  }
  if (scrollbar_.GetWindow()) {
    scrollbar_.MoveWindow(scrollRect_.left, scrollRect_.top, scrollRect_.right - scrollRect_.left,
                          scrollRect_.bottom - scrollRect_.top);
  }
}

void SOSeriesWindow::LayoutImageWindows() {
  if (rows_ < 1 || cols_ < 1) return;
  separators_.clear();
  const RECT a = imageArea_;
  const int aw = a.right - cols_ + 1;
  const int ah = a.bottom - rows_ + 1;
  const int cw = aw / cols_, ch = ah / rows_;
  const int rw = aw % cols_, rh = ah % rows_;
  for (int i = 1; i < cols_; ++i) {
    const int x = a.left + i * (cw + 1) - 1;
    separators_.push_back({x, a.top, x, a.bottom});
  }
  for (int j = 1; j < rows_; ++j) {
    const int y = a.top + j * (ch + 1) - 1;
    separators_.push_back({a.left, y, a.right, y});
  }
  for (int k = 0; k < GetImageWndCount(); ++k) {
    const int column = k % cols_, row = k / cols_;
    const int width = std::max(0, cw + (column == cols_ - 1 ? rw : 0));
    const int height = std::max(0, ch + (row == rows_ - 1 ? rh : 0));
    windows_[k]->MoveWindow(a.left + column * (cw + 1), a.top + row * (ch + 1), width, height);
  }
  UpdateWindow();
}

void SOSeriesWindow::OnScroll(int position) {
  requestedFirst_ = position * GetImageWndCount();
  Refresh();
}

// One change reaches every other image once: the images' own echoes stop at the guard.
void SOSeriesWindow::OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long) {
  if (linking_ || !sender) return;
  if (event != SOImageWWUpdated && event != SOImageZoomUpdated && event != SOImagePanUpdated) return;
  const SOImagePresentationState state = sender->GetImagePresentationState();
  linking_ = true;
  for (auto& image : images_) {
    SOImageObject* other = image.get();
    if (other == sender) continue;
    if (event == SOImageWWUpdated) other->FollowWW(state.windowCenter, state.windowWidth);
    else if (event == SOImageZoomUpdated) other->Zoom(state.zoom);
    else other->Pan(state.panX, state.panY);
  }
  linking_ = false;
}

void SOSeriesWindow::OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM) {
  if (msg != WM_LBUTTONDOWN && msg != WM_RBUTTONDOWN && msg != WM_MBUTTONDOWN) return;
  SetActive(true);
  if (!sender) return;
  // An empty cell selects nothing.
  auto* clicked = static_cast<SOImageObject*>(sender->GetSOImageObject());
  if (!clicked) return;
  clicked->SetSelected(true);
  if (wParam & MK_CONTROL) return;
  for (auto& image : images_) {
    if (image.get() != clicked) image->SetSelected(false);
  }
}

void SOSeriesWindow::OnImageObjectChangedEvent(SOImageWindow* sender, ISOImageObject* image) {
  if (windows_.empty() || sender != windows_[0].get()) return;
  const auto callbacks = callbacks_;
  for (ISOSeriesWindowCallback* c : callbacks) c->OnFirstImageChanged(this, image);
}

LRESULT SOSeriesWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  LayoutScrollbar();
  LayoutImageWindows();
  handled = TRUE;
  return 0;
}

LRESULT SOSeriesWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  SOBufferedPaint paint(GetWindow(), imageArea_.right, imageArea_.bottom, paintBitmap_);
  {
    Gdiplus::Graphics g(paint.dc());
    Gdiplus::Pen pen(Gdiplus::Color(0xFF503C28), 1);
    pen.SetDashStyle(Gdiplus::DashStyleDash);
    for (const Segment& s : separators_) g.DrawLine(&pen, s.x1, s.y1, s.x2, s.y2);
  }
  return 0;
}

LRESULT SOSeriesWindow::OnMouseWheel(WPARAM wParam, LPARAM, BOOL& handled) {
  const bool dragging = LumexaInViewDrag();
  LumexaBeginViewDrag();
  if (GET_WHEEL_DELTA_WPARAM(wParam) < 0) scrollbar_.StepDown();
  else scrollbar_.StepUp();
  // Paints between the steps (a capture, an uncovered window) are made in full.
  if (!dragging) LumexaPauseViewDrag();
  if (GetWindow()) ::SetTimer(GetWindow(), kWheelRestTimer, kWheelRestMs, nullptr);
  handled = TRUE;
  return 0;
}

LRESULT SOSeriesWindow::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) {
  if (msg != WM_TIMER || wParam != kWheelRestTimer) {
    handled = FALSE;
    return 0;
  }
  ::KillTimer(GetWindow(), kWheelRestTimer);
  // A drag going on repaints everything painted quickly when it ends.
  if (!LumexaInViewDrag()) LumexaEndViewDrag();
  handled = TRUE;
  return 0;
}
