#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SOBufferedPaint.h"
#include "ISOLumexa.h"
#include "SOSeriesWindow.h"
#include "SOWindowBase.h"

// Posted by the control to its own window with wParam 0 when the loader queued events for the
// UI thread. Sent with wParam a data centre event (owned by the sender), it is handled as that
// one event, after everything queued before it.
constexpr UINT SO_MSG_DCM_FILE_LOADED = 8045;
constexpr UINT SO_MSG_DCM_LOAD_FINISHED = 8046;
constexpr UINT SO_MSG_DCM_CLEARED = 8047;

// The film layout control has a class of the same name in its own library; this one lives in a
// namespace of its own so the two never resolve to each other's symbols in one process.
namespace lumexa {

// The 2D view control: a grid of series windows fed by a data centre of its own (or one the
// host gives it). Loader events cross to the UI thread through a queue the control owns and one
// posted wake-up per batch, so every placing of images and every host notification runs on the
// UI thread and the loader never waits for it.
class SOMainWindow : public SOWindowBase,
                     public ISOLumexa,
                     public ISODcmDataCenterCallback,
                     public ISOSeriesWindowCallback {
 public:
  SOMainWindow();
  ~SOMainWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOMainWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOMainWindow"; }
  DWORD GetWndStyle() override {
    return visible_ ? (WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN) : (WS_CHILD | WS_CLIPCHILDREN);
  }

  HWND Create(HWND parent, int x, int y, int cx, int cy, bool visible) override;
  HWND GetHWND() override { return hwnd_; }
  void Show(bool show) override { ShowWindow(show); }
  bool Move(int x, int y, int cx, int cy) override;
  bool SetSeriesLayout(int rows, int cols) override;
  bool LoadFolder(const char* folder, int seriesWnd) override;
  bool LoadFiles(SOArray<SOString>* paths) override;
  SOImageObject* LoadFile(const char* path, int seriesWnd) override;
  bool ShowSeries(const char* seriesInstanceUID) override;
  void CloseAll() override;
  int GetSeriesWndCount() override { return static_cast<int>(series_.size()); }
  ISOSeriesWnd* GetSeriesWnd(int index) override;
  ISOSeriesWnd* GetActiveSeriesWnd() override;
  bool ActivateSeriesWnd(int index) override;
  void ShowSelectedSeriesBorder(bool show) override;
  void ShowSelectedImageBorder(bool show) override;
  void SetDataCenter(ISODcmDataCenter* dataCenter) override;
  ISODcmDataCenter* GetDataCenter() override { return current_; }
  void RegisterCallback(ISOViewerCtrlCallback* callback) override;
  void UnRegisterCallback(ISOViewerCtrlCallback* callback) override;
  void Reset() override;
  void Zoom(float zoom) override;
  void Rotate(bool anticlockwise) override;
  void FlipX() override;
  void FlipY() override;
  void Pan(float x, float y) override;
  void Inverse() override;
  void SetColorPalette(SOColorPalette palette) override;
  void WW(double center, double width) override;
  void ResetWW() override;
  void ResetTransfer() override;
  void SetMouseMode2D(SOMouseMode2D mode) override;
  SOMouseMode2D GetMouseMode2D() override { return mouseMode_; }
  bool ReservedBool(bool) override { return false; }
  void ShowOverInfo(bool show) override;
  int ReservedInt(int) override { return 0; }
  void ReservedVoid(int, int) override {}
  void SetFlag(bool) override {}
  void ClearGraphics() override;
  bool CopyToClipboard() override;
  HBITMAP Capture(int kind, ISOImageObject** source) override;
  void HidePatientData(bool hide) override;
  bool IsHidePatientData() override { return hidePatientData_; }
  void SetSelectedBorderColor(unsigned long argb) override { borderColor_ = argb; }

  SOSeriesWindow* GetSeriesWindow(int index);
  struct Segment {
    int x1, y1, x2, y2;
  };
  const std::vector<Segment>& GetSeparators() const { return separators_; }

  // Loader thread.
  void OnFileLoadedEvent(const SODcmLoadEvent* event) override;
  void OnLoadFinishedEvent(const SODcmLoadEvent* event) override;
  void OnClearedEvent() override;

  void OnSeriesWindowActivated(ISOSeriesWnd* sender, bool active) override;
  void OnFirstImageChanged(ISOSeriesWnd* sender, ISOImageObject* image) override;

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  void Layout();
  void UpdateLocationLines();
  // A data centre event as the control keeps it until the UI thread has reported it.
  struct QueuedEvent {
    UINT msg = 0;  // SO_MSG_DCM_FILE_LOADED, _LOAD_FINISHED or _CLEARED
    uint64_t stamp = 0;
    int total = 0, done = 0;
    std::string path;
    SOArray<ISODcmObject*> objects;
    uint64_t ticket = 0;  // a clear on another thread, waiting until this is reported
  };
  // Places one object by the routing rule; the image made last, or null. Windows that took an
  // image are added to touched (when given) and refresh later instead of at once.
  SOImageObject* Route(ISODcmObject* object, std::vector<SOSeriesWindow*>* touched = nullptr);
  static QueuedEvent Copy(UINT msg, const SODcmLoadEvent* event);
  // Loader side: queues a copy of the event and wakes the UI thread when the queue was empty.
  void Queue(UINT msg, const SODcmLoadEvent* event);
  // UI thread: places the objects of every queued file event, refreshes each series window that
  // took images once, then reports the queued events to the host in order.
  void DrainQueue();
  void Report(const QueuedEvent& event);
  // The wake-up: drains at once when a finish or clear waits or the last batch is a frame old,
  // otherwise arms a timer for the rest of the frame.
  void OnWake();
  // Drops what is queued and releases a clearing thread that waits (the control closes or
  // leaves its data centre); detach also drops events until Attach.
  void Detach();
  template <typename Op>
  void ForEachActive(Op op);

  ULONG_PTR gdiplusToken_ = 0;
  int rows_ = 0, cols_ = 0;
  bool showSeriesBorder_ = true;
  bool showImageBorder_ = true;
  bool showOverInfo_ = true;
  uint64_t closeStamp_ = 0;
  std::unique_ptr<ISODcmDataCenter> own_;
  ISODcmDataCenter* current_ = nullptr;
  std::vector<std::unique_ptr<SOSeriesWindow>> series_;
  std::vector<Segment> separators_;
  std::vector<ISOViewerCtrlCallback*> callbacks_;
  SOMouseMode2D mouseMode_ = SOMouseModeNone;
  bool hidePatientData_ = false;
  // Read by the loader thread: the window the events go to, and whether the control closes.
  std::atomic<HWND> hwnd_{nullptr};
  bool visible_ = true;
  unsigned long borderColor_ = 0xFF16D9D6;
  std::atomic<bool> closing_{false};
  std::atomic<int> delivering_{0};  // loader calls inside Queue
  DWORD uiThread_ = 0;
  std::mutex queueMutex_;  // guards queue_ and the four below
  std::vector<QueuedEvent> queue_;  // filled by the loader, emptied by the UI thread
  bool detaching_ = false;
  bool urgent_ = false;  // a finish or clear is queued
  uint64_t epoch_ = 0;  // moves when queued events are dropped
  uint64_t clearsQueued_ = 0, clearsReported_ = 0;
  std::condition_variable clearReported_;
  std::deque<QueuedEvent> unreported_;  // placed, not yet reported (UI thread)
  std::chrono::steady_clock::time_point lastDrain_{};
  bool drainTimer_ = false;
  SOPaintBitmap paintBitmap_;
};

}  // namespace lumexa

using lumexa::SOMainWindow;
