#pragma once

#include "SOWin32.h"

class ISOImageObject;

// The left-button tool of 2D image windows; an int underneath, so any number a caller passes is
// a value the window checks.
enum SOMouseMode2D : int {
  SOMouseModeNone = 0,
  SOMouseModeWW = 1,
  SOMouseModeZoom = 2,
  SOMouseModePan = 3,
  SOMouseModeValue = 4,
  SOMouseModeRectangle = 5,
  SOMouseModeEllipse = 6,
  SOMouseModeLength = 7,
  SOMouseModeAngle = 8,
};

// What owners of an image window use.
class ISOImageWnd {
 public:
  virtual HWND GetHWND() = 0;
  virtual void SetMouseLeft(const char* name) = 0;
  virtual void SetMouseMode2D(SOMouseMode2D mode) = 0;
  // Only the drag tools read back (1 to 3); every other left tool reads as 0.
  virtual SOMouseMode2D GetMouseMode2D() = 0;
  virtual ISOImageObject* GetImageObject() = 0;
  virtual bool SetLocationLine(ISOImageObject* reference) = 0;
  virtual void HidePatientData(bool hide) = 0;
  virtual bool IsHidePatientData() = 0;

 protected:
  ~ISOImageWnd() = default;
};
