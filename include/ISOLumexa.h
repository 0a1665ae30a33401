#pragma once

#include "ISODcmDataCenter.h"
#include "ISOImageObject.h"
#include "ISOImageWnd.h"
#include "ISOSeriesWnd.h"
#include "SOArray.h"
#include "SOString.h"
#include "SOWin32.h"

class SOImageObject;

// After each file of an asynchronous load; valid only during the call.
struct SOViewerFileEvent {
  int total = 0;
  int done = 0;  // files processed so far, this one included
  const char* path = nullptr;
  SOArray<ISODcmObject*> objects;  // borrowed from the data centre
};

// Once per asynchronous request; valid only during the call.
struct SOViewerFinishEvent {
  int total = 0;
  int done = 0;
  SOArray<ISODcmObject*> objects;  // every object of the request
};

// What the 2D view control tells its host, always on the UI thread.
class ISOViewerCtrlCallback {
 public:
  virtual void OnFileLoaded(const SOViewerFileEvent* event) = 0;
  virtual void OnLoadFinished(const SOViewerFinishEvent* event) = 0;
  virtual void OnCleared() = 0;
  virtual void OnSeriesActivated(ISOSeriesWnd* seriesWnd) = 0;

 protected:
  ~ISOViewerCtrlCallback() = default;
};

// The 2D view control: a grid of series windows fed by a data centre. UI thread only; made
// with CreateLumexa and freed with ReleaseLumexa.
class ISOLumexa {
 public:
  virtual ~ISOLumexa() = default;
  virtual HWND Create(HWND parent, int x, int y, int cx, int cy, bool visible) = 0;
  virtual HWND GetHWND() = 0;
  virtual void Show(bool show) = 0;
  virtual bool Move(int x, int y, int cx, int cy) = 0;
  virtual bool SetSeriesLayout(int rows, int cols) = 0;
  // Loads asynchronously; false when no request could be made. Objects go where the routing
  // rule puts them, whatever seriesWnd says.
  virtual bool LoadFolder(const char* folder, int seriesWnd) = 0;
  virtual bool LoadFiles(SOArray<SOString>* paths) = 0;
  // Loads at once into seriesWnd (or by the routing rule); the image made last, or null.
  virtual SOImageObject* LoadFile(const char* path, int seriesWnd) = 0;
  virtual bool ShowSeries(const char* seriesInstanceUID) = 0;
  virtual void CloseAll() = 0;
  virtual int GetSeriesWndCount() = 0;
  virtual ISOSeriesWnd* GetSeriesWnd(int index) = 0;
  virtual ISOSeriesWnd* GetActiveSeriesWnd() = 0;
  virtual bool ActivateSeriesWnd(int index) = 0;
  virtual void ShowSelectedSeriesBorder(bool show) = 0;
  virtual void ShowSelectedImageBorder(bool show) = 0;
  virtual void SetDataCenter(ISODcmDataCenter* dataCenter) = 0;
  virtual ISODcmDataCenter* GetDataCenter() = 0;
  virtual void RegisterCallback(ISOViewerCtrlCallback* callback) = 0;
  virtual void UnRegisterCallback(ISOViewerCtrlCallback* callback) = 0;
  // To every image of every active series window.
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
  virtual bool ReservedBool(bool) = 0;
  virtual void ShowOverInfo(bool show) = 0;
  virtual int ReservedInt(int) = 0;
  virtual void ReservedVoid(int, int) = 0;
  virtual void SetFlag(bool flag) = 0;
  virtual void ClearGraphics() = 0;
  // False when the clipboard cannot be opened.
  virtual bool CopyToClipboard() = 0;
  // kind 0 the image window, 1 its series window, 2 the whole control; the caller owns the
  // bitmap. *source receives the image the capture was taken from once one is found.
  virtual HBITMAP Capture(int kind, ISOImageObject** source) = 0;
  virtual void HidePatientData(bool hide) = 0;
  virtual bool IsHidePatientData() = 0;
  virtual void SetSelectedBorderColor(unsigned long argb) = 0;
};
