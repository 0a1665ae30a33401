#pragma once

#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "SOBufferedPaint.h"
#include "ISOSeriesWnd.h"
#include "SOImageObject.h"
#include "SOImageWindow.h"
#include "SOScrollbar.h"
#include "SOWindowBase.h"

class ISODcmObject;
class ISODcmSeries;

// Told by a series window when it becomes active or inactive and when its first cell shows
// another image.
class ISOSeriesWindowCallback {
 public:
  virtual void Reserved(void*, void*, void*, void*) {}
  virtual void OnSeriesWindowActivated(ISOSeriesWnd* sender, bool active) = 0;
  virtual void OnFirstImageChanged(ISOSeriesWnd* sender, ISOImageObject* image) = 0;

 protected:
  ~ISOSeriesWindowCallback() = default;
};

// One cell of the 2D view control: the image objects of one series (owned), in Instance
// Number order without repeated SOP instances, shown page by page in a grid of image windows,
// with window, zoom and pan linked across them. UI thread only.
class SOSeriesWindow : public SOWindowBase,
                       public ISOSeriesWnd,
                       public ISOScrollCallback,
                       public ISOImageObjectCallback,
                       public ISOImageWindowCallback {
 public:
  SOSeriesWindow();
  ~SOSeriesWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOSeriesWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SeriesWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  // Creates the window at (0, 0, 0, 0) with its scroll bar and a 1 x 1 grid; the owner places it.
  HWND Create(HWND parent);

  // ISOSeriesWnd
  HWND GetHWND() override { return GetWindow(); }
  bool SetImageLayout(int rows, int cols) override;
  int GetImageWndCount() override { return static_cast<int>(windows_.size()); }
  ISOImageWnd* GetImageWnd(int index) override;
  int GetImageObjectCount() override { return static_cast<int>(images_.size()); }
  SOImageObject* GetImageObject(int index) override;
  void Clear() override;
  void SetActive(bool active) override;
  bool IsActive() override { return active_; }
  bool IsEmpty() override { return images_.empty(); }
  void ScrollToFirst() override;
  void ScrollToLast() override;
  void ScrollNext() override;
  void ScrollPrev() override;
  void ShowScrollbar(bool show) override;
  void ShowSelectedBorder(bool show) override;
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
  void ClearGraphics() override;
  bool CopyToClipboard() override;
  void ShowOverInfo(bool show) override;
  void HidePatientData(bool hide) override;

  // Null for a null object, a SOP instance already held, or an object with no image. With
  // refresh false the cells and the page bar wait for the next Refresh, so a batch of adds
  // shows once.
  SOImageObject* AddObject(ISODcmObject* object, bool refresh = true);
  // Shows the current page again in the cells and the page bar; with paintNow false a moved
  // thumb waits for the next paint pass (many adds in a row).
  void Refresh(bool paintNow = true);
  void AddObjects(const std::vector<ISODcmObject*>& objects);
  bool ShowSeries(ISODcmSeries* series);
  void RegisterCallback(ISOSeriesWindowCallback* callback);
  void UnRegisterCallback(ISOSeriesWindowCallback* callback);
  SOImageWindow* GetImageWindow(int index);
  int GetFirstIndex() const { return first_; }
  SOScrollbar& GetScrollbar() { return scrollbar_; }
  RECT GetImageArea() const { return imageArea_; }
  struct Segment {
    int x1, y1, x2, y2;
  };
  const std::vector<Segment>& GetSeparators() const { return separators_; }

  void OnScroll(int position) override;
  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) override;
  void OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnImageObjectChangedEvent(SOImageWindow* sender, ISOImageObject* image) override;

  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  // Moves first_ to the page of requestedFirst_, as Refresh does, without showing it.
  void SettlePage();
  void LayoutScrollbar();
  void LayoutImageWindows();
  void Take(const std::vector<SOImageObject*>& made, size_t at);
  template <typename Op>
  void ForEachImage(Op op);

  bool showOverInfo_ = true;
  bool active_ = false;
  int rows_ = 0, cols_ = 0;
  int requestedFirst_ = 0;
  int first_ = 0;
  std::vector<std::unique_ptr<SOImageObject>> images_;
  // Images shown lately, the latest first: past the first KeptImages() the decoded frames and
  // bitmaps are freed, so paging reuses memory already touched and a long series holds only
  // a few pages of pixels.
  std::deque<SOImageObject*> shownLately_;
  size_t KeptImages() const;
  void KeepShown(SOImageObject* image);
  std::unordered_set<std::string> sopUids_;  // of the images held
  bool ordered_ = true;  // images_ is in Instance Number order (ShowSeries keeps the series' order)
  std::vector<std::unique_ptr<SOImageWindow>> windows_;
  bool hidePatientData_ = false;
  bool showScrollbar_ = true;
  bool showSelectedBorder_ = true;
  SOScrollbar scrollbar_;
  RECT imageArea_{};
  RECT scrollRect_{};
  SOPaintBitmap paintBitmap_;
  std::vector<Segment> separators_;
  std::vector<ISOSeriesWindowCallback*> callbacks_;
  SOMouseMode2D mouseMode_ = SOMouseModeNone;
  bool linking_ = false;  // a linked change is being handed to the other images
};
