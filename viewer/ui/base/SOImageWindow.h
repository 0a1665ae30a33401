#pragma once

#include <map>
#include <memory>
#include <vector>

#include "ISOCtrlPlugin.h"
#include "ISOImageObject.h"
#include "ISOImageWnd.h"
#include "SOPluginMgr.h"
#include "SOWindowBase.h"

class SOImageObject;
class SOImageWindow;

// Told by an image window about the messages it routes and the image it shows.
class ISOImageWindowCallback {
 public:
  // Every mouse or key message the window routes, after its plug-ins.
  virtual void OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  virtual void OnImageObjectChangedEvent(SOImageWindow* sender, ISOImageObject* image) = 0;

 protected:
  ~ISOImageWindowCallback() = default;
};

// One double-buffered cell showing a borrowed image object, with the tool plug-ins drawn over
// it and fed with its mouse. UI thread only.
class SOImageWindow : public SOWindowBase,
                      public ISOImageWnd,
                      public ISOImageObjectCallback,
                      public IPluginHost {
 public:
  SOImageWindow();
  ~SOImageWindow() override;

  const wchar_t* GetWindowClassName() override { return L"ImageWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }
  const wchar_t* GetWindowName() override { return L"ImageWindowWnd"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  // ISOImageWnd
  HWND GetHWND() override { return GetWindow(); }
  void SetMouseLeft(const char* name) override;
  void SetMouseMode2D(SOMouseMode2D mode) override;
  SOMouseMode2D GetMouseMode2D() override;
  ISOImageObject* GetImageObject() override;
  bool SetLocationLine(ISOImageObject* reference) override;
  void HidePatientData(bool hide) override;
  bool IsHidePatientData() override;

  // ISOImageObjectCallback
  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) override;

  // IPluginHost
  HWND GetHostWnd() override { return GetWindow(); }
  void UpdateHostWnd() override { Repaint(); }
  ISOImageObject* GetDataObject() override;
  ISOImageWnd* GetImageWnd() override { return this; }
  RECT GetScreenRect() override { return GetWindowRect(); }
  void UpdateScreen() override { Repaint(); }
  bool ScreenToImageCoords(const double* in, double* out) override;
  bool ScreenToImageCoords(const SOPointF& in, SOPointF& out) override;
  bool ImageToScreenCoords(const double* in, double* out) override;
  bool ImageToScreenCoords(const SOPointF& in, SOPointF& out) override;
  void RegisterHostCallback(IPluginHostCallback* callback) override;
  void UnRegisterHostCallback(IPluginHostCallback* callback) override;
  bool GetDeviceSize(int& cx, int& cy) override;
  bool GetFontSize(float& size) override;
  void* GetUserData(int key) override;
  void SetUserData(void* data, int key) override;
  int GetImageObjectIndex() override;

  // Shows image (borrowed; null for none) as entry index of its owner's list.
  void SetImageObject(SOImageObject* image, int index);
  SOImageObject* GetSOImageObject();
  void RegisterCallback(ISOImageWindowCallback* callback);
  void UnRegisterCallback(ISOImageWindowCallback* callback);
  void SetTextColor(unsigned long color);
  void SetLineColor(unsigned long color);
  void ShowSelectedBorder(bool show);
  void EnablePlugin(const char* name, bool enable, bool redraw);
  SOPluginMgr& GetPluginMgr();
  bool WindowToImageCoords(const SOPointF& in, SOPointF& out) { return ScreenToImageCoords(in, out); }
  bool WindowToImageCoords(const double* in, double* out) { return ScreenToImageCoords(in, out); }
  bool ImageToWindowCoords(const SOPointF& in, SOPointF& out) { return ImageToScreenCoords(in, out); }
  bool ImageToWindowCoords(const double* in, double* out) { return ImageToScreenCoords(in, out); }
  // Client size less the one-pixel frame.
  bool GetImageRenderSize(int& cx, int& cy);

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonDBClick(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnRButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnRButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 protected:
  bool NotifyMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void Repaint();
  void TriggerImageWindowMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam);
  void TriggerImageObjectChangedEvent(ISOImageObject* image);
  // Paints the image into rect of the memory context; the 3D and MPR windows paint their own.
  virtual void DrawImage(HDC hdc, RECT rect);
  void DrawBorder(HDC hdc, RECT rect);
  void DrawForegroundText(HDC hdc, RECT rect);
  void DrawPluginsBefore(HDC hdc, RECT rect);
  void DrawPlugins(HDC hdc, RECT rect);

 private:
  struct Members;
  std::unique_ptr<Members> m_;
};
