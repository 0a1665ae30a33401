#include "SOMainWindow.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "SOBufferedPaint.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOOverInfoConfig.h"

namespace {

// A loading series shows at most one batch of new images per frame.
constexpr auto kDrainInterval = std::chrono::milliseconds(16);
constexpr UINT_PTR kDrainTimer = 1;

bool SameSeries(ISODcmObject* object, SOSeriesWindow& window) {
  SOImageObject* first = window.GetImageObject(0);
  ISODcmObject* shown = first ? first->GetDcmObject() : nullptr;
  const char* a = object->GetSeriesInstanceUID();
  const char* b = shown ? shown->GetSeriesInstanceUID() : nullptr;
  return a && b && std::strcmp(a, b) == 0;
}

}  // namespace

namespace lumexa {

SOMainWindow::SOMainWindow() : own_(CreateDcmDataCenter()) {
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
  current_ = own_.get();
  current_->RegisterCallback(this);
  SOOverInfoConfig::Instance();
}

SOMainWindow::~SOMainWindow() {
  // Deliveries stop before anything they reach is freed: no new ones, a clearing thread that
  // waits released, the calls already inside finished, the window gone, then the own data
  // centre stopped with its loader.
  closing_ = true;
  Detach();
  if (current_) current_->UnRegisterCallback(this);
  DestroyOwnWindow();
  hwnd_ = nullptr;
  while (delivering_.load() > 0) std::this_thread::yield();
  own_.reset();
  series_.clear();
  Gdiplus::GdiplusShutdown(gdiplusToken_);
}

HWND SOMainWindow::Create(HWND parent, int x, int y, int cx, int cy, bool visible) {
  visible_ = visible;
  uiThread_ = ::GetCurrentThreadId();
  HWND hwnd = SOWindowBase::Create(parent, x, y, cx, cy);
  hwnd_ = hwnd;
  if (hwnd) SetSeriesLayout(1, 1);
  return hwnd;
}

bool SOMainWindow::Move(int x, int y, int cx, int cy) {
  if (!GetWindow()) return false;
  ::MoveWindow(GetWindow(), x, y, cx, cy, TRUE);
  return true;
}

bool SOMainWindow::SetSeriesLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  if (rows == rows_ && cols == cols_) return true;
  rows_ = rows;
  cols_ = cols;
  const size_t wanted = static_cast<size_t>(rows) * cols;
  while (series_.size() < wanted) {
    auto s = std::make_unique<SOSeriesWindow>();
    s->Create(GetWindow());
    s->RegisterCallback(this);
    s->SetMouseMode2D(mouseMode_);
    s->ShowSelectedBorder(showImageBorder_);
    s->ShowOverInfo(showOverInfo_);
    s->HidePatientData(hidePatientData_);
    series_.push_back(std::move(s));
  }
  while (series_.size() > wanted) series_.pop_back();
  Layout();
  return true;
}

void SOMainWindow::Layout() {
  RECT client{};
  if (rows_ >= 1 && cols_ >= 1 && ::GetClientRect(GetWindow(), &client)) {
    separators_.clear();
    const int w = client.right, h = client.bottom;
    const int aw = w - cols_ - 1, ah = h - rows_ - 1;
    const int cw = aw / cols_, ch = ah / rows_;
    const int rw = aw % cols_, rh = ah % rows_;
    for (int i = 1; i < cols_; ++i) separators_.push_back({i * (cw + 1), 1, i * (cw + 1), h - 2});
    for (int j = 1; j < rows_; ++j) separators_.push_back({1, j * (ch + 1), w - 2, j * (ch + 1)});
    for (size_t k = 0; k < series_.size(); ++k) {
      const int column = static_cast<int>(k) % cols_, row = static_cast<int>(k) / cols_;
      series_[k]->MoveWindow(1 + column * (cw + 1), 1 + row * (ch + 1),
                             std::max(0, cw + (column == cols_ - 1 ? rw : 0)),
                             std::max(0, ch + (row == rows_ - 1 ? rh : 0)));
    }
  }
  UpdateWindow();
}

bool SOMainWindow::LoadFolder(const char* folder, int) {
  return current_ && current_->LoadFolderAsync(folder) != 0;
}

bool SOMainWindow::LoadFiles(SOArray<SOString>* paths) {
  if (!current_ || !paths) return false;
  return current_->LoadFilesAsync(*paths) != 0;
}

SOImageObject* SOMainWindow::Route(ISODcmObject* object, std::vector<SOSeriesWindow*>* touched) {
  if (series_.empty()) return nullptr;
  SOSeriesWindow* target = nullptr;
  if (series_[0]->IsEmpty()) {
    target = series_[0].get();
  } else {
    for (auto& s : series_) {
      if (!s->IsEmpty() && SameSeries(object, *s)) {
        target = s.get();
        break;
      }
    }
  }
  if (!target) return nullptr;
  const bool opening = target->IsEmpty();
  SOImageObject* made = touched ? target->AddObject(object, false) : target->AddObject(object);
  if (made && touched && std::find(touched->begin(), touched->end(), target) == touched->end())
    touched->push_back(target);
  // A study that opens into an idle control makes its first series window the active one, so
  // the operations on active windows (window presets, rotation) act on it before any click.
  if (made && opening && !GetActiveSeriesWnd()) target->SetActive(true);
  return made;
}

SOImageObject* SOMainWindow::LoadFile(const char* path, int seriesWnd) {
  if (!current_) return nullptr;
  const uint64_t stamp = current_->NextStamp();
  if (!path) return nullptr;
  SOArray<ISODcmObject*> objects;
  if (!current_->LoadFile(path, objects)) return nullptr;
  SOImageObject* last = nullptr;
  for (int i = 0; i < objects.GetLength(); ++i) {
    ISODcmObject* object = objects[i];
    if (!object) continue;
    if (stamp <= closeStamp_) {
      last = nullptr;
      continue;
    }
    if (seriesWnd >= 0 && seriesWnd < GetSeriesWndCount()) {
      last = series_[seriesWnd]->AddObject(object);
      continue;
    }
    auto empty = std::find_if(series_.begin(), series_.end(), [](auto& s) { return s->IsEmpty(); });
    last = empty != series_.end() ? (*empty)->AddObject(object) : Route(object);
  }
  return last;
}

bool SOMainWindow::ShowSeries(const char* seriesInstanceUID) {
  if (!seriesInstanceUID || !current_ || series_.empty()) return false;
  ISODcmSeries* series = current_->FindSeries(seriesInstanceUID);
  if (!series) return false;
  auto* target = static_cast<SOSeriesWindow*>(nullptr);
  for (auto& s : series_) {
    if (s->IsActive()) {
      target = s.get();
      break;
    }
  }
  if (!target) target = series_[0].get();
  return target->ShowSeries(series);
}

void SOMainWindow::CloseAll() {
  if (!current_) return;
  closeStamp_ = current_->NextStamp();
  for (auto& s : series_) s->Clear();
  current_->Clear();
}

ISOSeriesWnd* SOMainWindow::GetSeriesWnd(int index) {
  return GetSeriesWindow(index);
}

SOSeriesWindow* SOMainWindow::GetSeriesWindow(int index) {
  return index >= 0 && index < GetSeriesWndCount() ? series_[index].get() : nullptr;
}

ISOSeriesWnd* SOMainWindow::GetActiveSeriesWnd() {
  for (auto& s : series_) {
    if (s->IsActive()) return s.get();
  }
  return nullptr;
}

bool SOMainWindow::ActivateSeriesWnd(int index) {
  SOSeriesWindow* s = GetSeriesWindow(index);
  if (!s) return false;
  s->SetActive(true);
  return true;
}

void SOMainWindow::ShowSelectedSeriesBorder(bool show) {
  if (show == showSeriesBorder_) return;
  showSeriesBorder_ = show;
  UpdateWindow();
}

void SOMainWindow::ShowSelectedImageBorder(bool show) {
  if (show == showImageBorder_) return;
  showImageBorder_ = show;
  for (auto& s : series_) s->ShowSelectedBorder(show);
}

void SOMainWindow::SetDataCenter(ISODcmDataCenter* dataCenter) {
  if (dataCenter == current_) return;
  // What the old centre queued is placed and reported while its objects live (a clear of it on
  // another thread waits for that); what it queues from here on is dropped.
  DrainQueue();
  Detach();
  if (current_) current_->UnRegisterCallback(this);
  {
    std::lock_guard lock(queueMutex_);
    detaching_ = false;
  }
  current_ = dataCenter;
  closeStamp_ = 0;  // stamps are the new centre's
  if (current_) current_->RegisterCallback(this);
}

void SOMainWindow::RegisterCallback(ISOViewerCtrlCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOMainWindow::UnRegisterCallback(ISOViewerCtrlCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

template <typename Op>
void SOMainWindow::ForEachActive(Op op) {
  for (auto& s : series_) {
    if (s->IsActive()) op(*s);
  }
}

void SOMainWindow::Reset() {
  ForEachActive([](SOSeriesWindow& s) { s.Reset(); });
}
void SOMainWindow::Zoom(float zoom) {
  ForEachActive([zoom](SOSeriesWindow& s) { s.Zoom(zoom); });
}
void SOMainWindow::Rotate(bool anticlockwise) {
  ForEachActive([anticlockwise](SOSeriesWindow& s) { s.Rotate(anticlockwise); });
}
void SOMainWindow::FlipX() {
  ForEachActive([](SOSeriesWindow& s) { s.FlipX(); });
}
void SOMainWindow::FlipY() {
  ForEachActive([](SOSeriesWindow& s) { s.FlipY(); });
}
void SOMainWindow::Pan(float x, float y) {
  ForEachActive([x, y](SOSeriesWindow& s) { s.Pan(x, y); });
}
void SOMainWindow::Inverse() {
  ForEachActive([](SOSeriesWindow& s) { s.Inverse(); });
}
void SOMainWindow::SetColorPalette(SOColorPalette palette) {
  ForEachActive([palette](SOSeriesWindow& s) { s.SetColorPalette(palette); });
}
void SOMainWindow::WW(double center, double width) {
  ForEachActive([center, width](SOSeriesWindow& s) { s.WW(center, width); });
}
void SOMainWindow::ResetWW() {
  ForEachActive([](SOSeriesWindow& s) { s.ResetWW(); });
}
void SOMainWindow::ResetTransfer() {
  ForEachActive([](SOSeriesWindow& s) { s.ResetTransfer(); });
}

void SOMainWindow::SetMouseMode2D(SOMouseMode2D mode) {
  mouseMode_ = mode;
  for (auto& s : series_) s->SetMouseMode2D(mode);
}

void SOMainWindow::ShowOverInfo(bool show) {
  if (show == showOverInfo_) return;
  showOverInfo_ = show;
  for (auto& s : series_) s->ShowOverInfo(show);
}

void SOMainWindow::ClearGraphics() {
  for (auto& s : series_) s->ClearGraphics();
}

bool SOMainWindow::CopyToClipboard() {
  return CopyBitmapToClipboard(CaptureWindowBitmap(GetWindow(), 0));
}

HBITMAP SOMainWindow::Capture(int kind, ISOImageObject** source) {
  SOSeriesWindow* series = nullptr;
  for (auto& s : series_) {
    if (s->IsActive() && !s->IsEmpty()) {
      series = s.get();
      break;
    }
  }
  if (!series) {
    for (auto& s : series_) {
      if (!s->IsEmpty()) {
        series = s.get();
        break;
      }
    }
  }
  if (!series) return nullptr;
  SOImageWindow* window = nullptr;
  for (int i = 0; i < series->GetImageWndCount(); ++i) {
    SOImageWindow* w = series->GetImageWindow(i);
    if (w->GetSOImageObject() && w->GetSOImageObject()->IsSelected()) {
      window = w;
      break;
    }
  }
  if (!window && series->GetImageWindow(0) && series->GetImageWindow(0)->GetSOImageObject())
    window = series->GetImageWindow(0);
  if (!window) return nullptr;
  if (source) *source = window->GetSOImageObject();
  switch (kind) {
    case 0: return CaptureWindowBitmap(window->GetWindow(), 1);
    case 1: return CaptureWindowBitmap(series->GetWindow(), 0);
    case 2: return CaptureWindowBitmap(GetWindow(), 0);
    default: return nullptr;
  }
}

void SOMainWindow::HidePatientData(bool hide) {
  if (hide == hidePatientData_) return;
  hidePatientData_ = hide;
  for (auto& s : series_) s->HidePatientData(hide);
}

SOMainWindow::QueuedEvent SOMainWindow::Copy(UINT msg, const SODcmLoadEvent* event) {
  QueuedEvent copy;
  copy.msg = msg;
  if (!event) return copy;
  copy.stamp = event->stamp;
  copy.total = event->total;
  copy.done = event->done;
  if (event->path) copy.path = event->path;
  copy.objects = event->objects;
  return copy;
}

void SOMainWindow::Queue(UINT msg, const SODcmLoadEvent* event) {
  ++delivering_;
  const HWND hwnd = hwnd_.load();
  if (!closing_ && hwnd && event) {
    QueuedEvent queued = Copy(msg, event);
    bool wake = false;
    {
      std::lock_guard lock(queueMutex_);
      if (!detaching_) {
        // One wake-up per batch, since the UI thread takes everything queued when it handles
        // it; a finish wakes it again, so it is not held back to the next frame.
        wake = queue_.empty() || (msg != SO_MSG_DCM_FILE_LOADED && !urgent_);
        if (msg != SO_MSG_DCM_FILE_LOADED) urgent_ = true;
        queue_.push_back(std::move(queued));
      }
    }
    if (wake) ::PostMessageW(hwnd, SO_MSG_DCM_FILE_LOADED, 0, 0);
  }
  --delivering_;
}

void SOMainWindow::OnFileLoadedEvent(const SODcmLoadEvent* event) {
  Queue(SO_MSG_DCM_FILE_LOADED, event);
}

void SOMainWindow::OnLoadFinishedEvent(const SODcmLoadEvent* event) {
  Queue(SO_MSG_DCM_LOAD_FINISHED, event);
}

void SOMainWindow::OnClearedEvent() {
  if (::GetCurrentThreadId() == uiThread_) {
    if (closing_ || !hwnd_.load()) return;
    DrainQueue();
    Report(Copy(SO_MSG_DCM_CLEARED, nullptr));
    return;
  }
  // Cleared on another thread: the objects of the events still queued are freed once this
  // returns, so it waits until the UI thread has reported them and the clear, or until the
  // control drops them (closing, another data centre, its window gone).
  ++delivering_;
  {
    std::unique_lock lock(queueMutex_);
    const HWND hwnd = hwnd_.load();
    if (!closing_ && !detaching_ && hwnd) {
      QueuedEvent cleared = Copy(SO_MSG_DCM_CLEARED, nullptr);
      cleared.ticket = ++clearsQueued_;
      const uint64_t ticket = cleared.ticket, epoch = epoch_;
      const bool wake = queue_.empty() || !urgent_;
      urgent_ = true;
      queue_.push_back(std::move(cleared));
      if (wake) ::PostMessageW(hwnd, SO_MSG_DCM_FILE_LOADED, 0, 0);
      clearReported_.wait(lock, [&] { return clearsReported_ >= ticket || epoch_ != epoch; });
    }
  }
  --delivering_;
}

void SOMainWindow::Detach() {
  {
    std::lock_guard lock(queueMutex_);
    detaching_ = true;
    ++epoch_;
    urgent_ = false;
    queue_.clear();
  }
  clearReported_.notify_all();
}

void SOMainWindow::DrainQueue() {
  std::vector<QueuedEvent> taken;
  {
    std::lock_guard lock(queueMutex_);
    taken.swap(queue_);
    urgent_ = false;
  }
  if (!taken.empty()) {
    lastDrain_ = std::chrono::steady_clock::now();
    std::vector<SOSeriesWindow*> touched;
    for (QueuedEvent& event : taken) {
      if (event.msg == SO_MSG_DCM_FILE_LOADED && event.stamp > closeStamp_) {
        for (int i = 0; i < event.objects.GetLength(); ++i) {
          if (event.objects[i]) Route(event.objects[i], &touched);
        }
      }
      unreported_.push_back(std::move(event));
    }
    for (SOSeriesWindow* s : touched) s->Refresh(false);
  }
  // A host callback may drain again (a clear, another data centre): the nested drain reports
  // the rest, in order.
  while (!unreported_.empty()) {
    const QueuedEvent event = std::move(unreported_.front());
    unreported_.pop_front();
    Report(event);
  }
}

void SOMainWindow::OnWake() {
  bool urgent = false;
  {
    std::lock_guard lock(queueMutex_);
    urgent = urgent_;
  }
  const auto since = std::chrono::steady_clock::now() - lastDrain_;
  if (urgent || since >= kDrainInterval) {
    DrainQueue();
    return;
  }
  if (drainTimer_) return;
  const auto rest = std::chrono::ceil<std::chrono::milliseconds>(kDrainInterval - since);
  drainTimer_ = ::SetTimer(GetWindow(), kDrainTimer, static_cast<UINT>(rest.count()), nullptr) != 0;
  if (!drainTimer_) DrainQueue();
}

void SOMainWindow::Report(const QueuedEvent& event) {
  const auto callbacks = callbacks_;
  switch (event.msg) {
    case SO_MSG_DCM_FILE_LOADED: {
      SOViewerFileEvent out;
      out.total = event.total;
      out.done = event.done;
      out.path = event.path.c_str();
      out.objects = event.objects;
      for (ISOViewerCtrlCallback* c : callbacks) c->OnFileLoaded(&out);
      break;
    }
    case SO_MSG_DCM_LOAD_FINISHED: {
      SOViewerFinishEvent out;
      out.total = event.total;
      out.done = event.done;
      out.objects = event.objects;
      for (ISOViewerCtrlCallback* c : callbacks) c->OnLoadFinished(&out);
      break;
    }
    case SO_MSG_DCM_CLEARED:
      for (ISOViewerCtrlCallback* c : callbacks) c->OnCleared();
      break;
    default:
      break;
  }
  if (event.ticket) {
    {
      std::lock_guard lock(queueMutex_);
      clearsReported_ = std::max(clearsReported_, event.ticket);
    }
    clearReported_.notify_all();
  }
}

LRESULT SOMainWindow::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) {
  const auto* event = reinterpret_cast<const SODcmLoadEvent*>(wParam);
  switch (msg) {
    case WM_TIMER:
      if (wParam != kDrainTimer) {
        handled = FALSE;
        return 0;
      }
      ::KillTimer(GetWindow(), kDrainTimer);
      drainTimer_ = false;
      DrainQueue();
      break;
    case SO_MSG_DCM_FILE_LOADED:
      if (!event) {
        OnWake();
        break;
      }
      [[fallthrough]];
    case SO_MSG_DCM_LOAD_FINISHED:
    case SO_MSG_DCM_CLEARED: {
      DrainQueue();
      // A sent event (wParam) is handled after everything queued before it.
      if (!event && msg != SO_MSG_DCM_CLEARED) break;
      const QueuedEvent one = Copy(msg, event);
      if (msg == SO_MSG_DCM_FILE_LOADED && one.stamp > closeStamp_) {
        for (int i = 0; i < one.objects.GetLength(); ++i) {
          if (one.objects[i]) Route(one.objects[i]);
        }
      }
      Report(one);
      break;
    }
    case WM_NCDESTROY:
      // Nothing queued is handled any more: drop it and release a clearing thread that waits.
      hwnd_ = nullptr;
      Detach();
      handled = FALSE;
      return 0;
    default:
      handled = FALSE;
      return 0;
  }
  handled = TRUE;
  return 0;
}

void SOMainWindow::UpdateLocationLines() {
  SOSeriesWindow* active = nullptr;
  for (auto& s : series_) {
    if (s->IsActive()) {
      active = s.get();
      break;
    }
  }
  ISOImageObject* reference = nullptr;
  if (active && active->GetImageWindow(0)) reference = active->GetImageWindow(0)->GetImageObject();
  for (auto& s : series_) {
    if (SOImageWindow* w = s->GetImageWindow(0)) w->SetLocationLine(s->IsActive() ? nullptr : reference);
  }
}

void SOMainWindow::OnSeriesWindowActivated(ISOSeriesWnd* sender, bool active) {
  if (active) {
    for (auto& s : series_) {
      if (s.get() != sender) s->SetActive(false);
    }
  }
  UpdateLocationLines();
  UpdateWindow();
  if (!sender) return;
  const auto callbacks = callbacks_;
  for (ISOViewerCtrlCallback* c : callbacks) c->OnSeriesActivated(sender);
}

void SOMainWindow::OnFirstImageChanged(ISOSeriesWnd* sender, ISOImageObject*) {
  if (sender && sender->IsActive()) UpdateLocationLines();
}

LRESULT SOMainWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  Layout();
  handled = TRUE;
  return 0;
}

LRESULT SOMainWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  RECT client{};
  ::GetClientRect(GetWindow(), &client);
  const int w = std::max<int>(1, client.right), h = std::max<int>(1, client.bottom);
  SOBufferedPaint paint(GetWindow(), w, h, paintBitmap_);
  {
    Gdiplus::Graphics g(paint.dc());
    Gdiplus::Pen frame(Gdiplus::Color(0xFF303030), 1);
    g.DrawRectangle(&frame, 0, 0, w - 1, h - 1);
    Gdiplus::Pen separator(Gdiplus::Color(0xFF828282), 1);
    for (const Segment& s : separators_) g.DrawLine(&separator, s.x1, s.y1, s.x2, s.y2);
    if (showSeriesBorder_) {
      Gdiplus::Pen selected(Gdiplus::Color(static_cast<Gdiplus::ARGB>(borderColor_)), 1);
      for (auto& s : series_) {
        if (!s->IsActive()) continue;
        const RECT r = s->GetWindowRect();
        g.DrawRectangle(&selected, static_cast<INT>(r.left - 1), static_cast<INT>(r.top - 1),
                        static_cast<INT>(r.right - r.left + 1), static_cast<INT>(r.bottom - r.top + 1));
      }
    }
  }
  return 0;
}

}  // namespace lumexa
