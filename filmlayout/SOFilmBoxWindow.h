#pragma once

#include <memory>
#include <vector>

#include "ISOFilmBox.h"
#include "ISOImageWnd.h"
#include "SOFilmHeaderWindow.h"
#include "SOImageWindow.h"
#include "SOWindowBase.h"

class SOFilmBox;
class SOFilmBoxWindow;

// Told of the mouse presses on a film box window's image windows.
class ISOFilmBoxWindowCallback {
 public:
  virtual void OnFilmBoxWindowMouseDown(SOFilmBoxWindow* window, SOImageWindow* sender, UINT msg, WPARAM wParam,
                                        LPARAM lParam) {}

 protected:
  ~ISOFilmBoxWindowCallback() = default;
};

// One film on screen: its header strip and one image window per cell, inside a 2-pixel frame
// that shows the film's selection. UI thread only.
class SOFilmBoxWindow : public SOWindowBase, public ISOImageWindowCallback, public ISOFilmBoxCallback {
 public:
  SOFilmBoxWindow() = default;
  ~SOFilmBoxWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOFilmBoxWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOFilmBoxWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  // Creates the window with its header window.
  HWND CreateWithHeader(HWND parent);

  // Shows filmBox (borrowed; null for none); layout lays the image windows out at once.
  void SetFilmBox(SOFilmBox* filmBox, bool layout);
  SOFilmBox* GetFilmBox() const { return filmBox_; }
  // 0..7: none, window, zoom, pan, rectangle, ellipse, length, angle; others keep the mode.
  void SetMouseTool(int tool);
  SOMouseMode2D GetMouseMode() const { return mode_; }
  void RegisterCallback(ISOFilmBoxWindowCallback* callback);
  void LayoutImageWindows();
  int GetImageWindowCount() const { return static_cast<int>(imageWindows_.size()); }
  SOImageWindow* GetImageWindow(int index) const;
  SOFilmHeaderWindow& GetHeaderWindow() { return header_; }

  void OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnImageObjectChangedEvent(SOImageWindow* sender, ISOImageObject* image) override {}
  void OnFilmBoxChanged(ISOFilmBox* filmBox) override;
  void OnFilmBoxSelected(ISOFilmBox* filmBox) override;

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  // Width of the frame around the header and the image windows.
  static constexpr int kFrame = 2;
  // Paints the frame again (its colour shows the film's selection).
  void RepaintFrame();

  SOFilmBox* filmBox_ = nullptr;  // borrowed from the session
  std::vector<std::unique_ptr<SOImageWindow>> imageWindows_;
  SOFilmHeaderWindow header_;
  std::vector<ISOFilmBoxWindowCallback*> callbacks_;
  SOMouseMode2D mode_ = SOMouseModeNone;
};
