#pragma once

#include "SOPointF.h"
#include "SOWin32.h"

class ISOImageObject;
class ISOImageWnd;

// Told by the host window when it shows another image object (possibly null).
class IPluginHostCallback {
 public:
  virtual void OnImageObjectChangedEvent(ISOImageObject* image) = 0;

 protected:
  ~IPluginHostCallback() = default;
};

// The window side a tool plug-in uses: its image, coordinates, repaint and text size.
// "Screen" coordinates are the window's client coordinates, those of its mouse messages.
class IPluginHost {
 public:
  virtual HWND GetHostWnd() = 0;
  virtual void UpdateHostWnd() = 0;
  virtual ISOImageObject* GetDataObject() = 0;
  virtual ISOImageWnd* GetImageWnd() = 0;
  // The window's rectangle in its parent as last laid out.
  virtual RECT GetScreenRect() = 0;
  virtual void UpdateScreen() = 0;
  virtual bool ScreenToImageCoords(const double* in, double* out) = 0;
  virtual bool ScreenToImageCoords(const SOPointF& in, SOPointF& out) = 0;
  virtual bool ImageToScreenCoords(const double* in, double* out) = 0;
  virtual bool ImageToScreenCoords(const SOPointF& in, SOPointF& out) = 0;
  virtual void RegisterHostCallback(IPluginHostCallback* callback) = 0;
  virtual void UnRegisterHostCallback(IPluginHostCallback* callback) = 0;
  virtual bool GetDeviceSize(int& cx, int& cy) = 0;
  // The overlay text size in points; false (size untouched) when it cannot be worked out.
  virtual bool GetFontSize(float& size) = 0;
  virtual void* GetUserData(int key) = 0;
  virtual void SetUserData(void* data, int key) = 0;
  virtual int GetImageObjectIndex() = 0;

 protected:
  ~IPluginHost() = default;
};

// A tool drawn over an image window and fed with its mouse messages. Tools are written for the
// left button; the manager hands them right- and middle-button presses as left-button ones.
class ISOCtrlPlugin {
 public:
  virtual ~ISOCtrlPlugin() = default;
  // True to see every routed message before the button bindings.
  virtual bool IsAlwaysActive() { return false; }
  virtual const char* GetName() = 0;
  virtual void SetEnable(bool) {}
  virtual void SetHost(IPluginHost* host) = 0;
  // True when the tool took the message.
  virtual bool OnMessage(UINT, WPARAM, LPARAM) { return false; }
  virtual void DrawBefore(HDC, RECT) {}
  virtual void Draw(HDC, RECT) {}
  virtual HCURSOR GetCursor() { return ::LoadCursorW(nullptr, IDC_ARROW); }
  // 32-bit ARGB colours.
  virtual void SetTextColor(unsigned long) {}
  virtual void SetLineColor(unsigned long) {}
  virtual void Reserved(void*) {}
};
