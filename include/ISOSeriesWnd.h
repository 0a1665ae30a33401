#pragma once

#include "ISOImageObject.h"
#include "ISOImageWnd.h"
#include "SOWin32.h"

class SOImageObject;

// One cell of the 2D view control: the images of one series, page by page.
class ISOSeriesWnd {
 public:
  virtual HWND GetHWND() = 0;
  // False for a dimension below 1.
  virtual bool SetImageLayout(int rows, int cols) = 0;
  virtual int GetImageWndCount() = 0;
  virtual ISOImageWnd* GetImageWnd(int index) = 0;
  virtual int GetImageObjectCount() = 0;
  virtual SOImageObject* GetImageObject(int index) = 0;
  virtual void Clear() = 0;
  virtual void SetActive(bool active) = 0;
  virtual bool IsActive() = 0;
  virtual bool IsEmpty() = 0;
  virtual void ScrollToFirst() = 0;
  virtual void ScrollToLast() = 0;
  virtual void ScrollNext() = 0;
  virtual void ScrollPrev() = 0;
  virtual void ShowScrollbar(bool show) = 0;
  virtual void ShowSelectedBorder(bool show) = 0;
  // To every image of the series.
  virtual void Reset() = 0;
  virtual void Zoom(float zoom) = 0;
  virtual void Rotate(bool anticlockwise) = 0;
  virtual void FlipX() = 0;
  virtual void FlipY() = 0;
  virtual void Pan(float x, float y) = 0;
  virtual void Inverse() = 0;
  virtual void SetColorPalette(SOColorPalette palette) = 0;
  virtual void WW(double center, double width) = 0;
  virtual void ResetWW() = 0;
  virtual void ResetTransfer() = 0;
  virtual void SetMouseMode2D(SOMouseMode2D mode) = 0;
  virtual SOMouseMode2D GetMouseMode2D() = 0;
  virtual void ClearGraphics() = 0;
  // False when the clipboard cannot be opened.
  virtual bool CopyToClipboard() = 0;
  virtual void ShowOverInfo(bool show) = 0;
  virtual void HidePatientData(bool hide) = 0;

 protected:
  ~ISOSeriesWnd() = default;
};
