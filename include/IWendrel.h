#pragma once

// Wendrel, the report control: a child window that shows any number of open reports (DICOM Basic
// Text SR documents), one at a time, each on a page built from a report template. UI thread only.

#include "SOReportUIHandler.h"
#include "SOString.h"
#include "SOWin32.h"

#include <string>

class SODcmSR;

// One open report (a page of the report control). Pages are destroyed by the control.
class ISOReport {
 public:
  // Empty: nothing names a page.
  virtual const char* GetName() = 0;
  // Writes the document, then the page's control of the tag; marks the report modified.
  virtual bool SetValue(DWORD tag, const wchar_t* text) = 0;
  virtual bool GetValue(DWORD tag, std::wstring& text) = 0;
  // Builds the page from a template (absolute path) and fills it from the document; false (the
  // page unchanged) for a template that cannot be built.
  virtual bool LoadTemplate(const char* absolutePath) = 0;
  // The page's document, owned by the page.
  virtual SODcmSR* GetSR() = 0;
  virtual void UpdateLayout() = 0;
  // The file saving writes back to (empty: the local study store). Null is ignored.
  virtual void SetFilePath(const char* path) = 0;
  virtual SOString& GetFilePath() = 0;
  virtual bool EnableUI(bool enable) = 0;
  // The toolkit's answer; true at once when already done.
  virtual bool Complete() = 0;
  virtual bool Verify() = 0;
  virtual bool IsCompleted() = 0;
  virtual bool IsVerified() = 0;
  virtual bool IsModified() = 0;
  virtual void SetModified(bool modified) = 0;
  virtual int GetImageBoxCount() = 0;
  // Stores the bitmap as JPEG in the document's image `index` and shows it in image box `index`.
  virtual bool SetImage(int index, HBITMAP bitmap) = 0;

 protected:
  ~ISOReport() = default;
};

// The host's listener; every call comes on the UI thread.
class IWendrelCallback {
 public:
  virtual void OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) = 0;
  virtual void OnActiveReportChanged(ISOReport* report) = 0;
  virtual void OnReportAdded(ISOReport* report) = 0;
  virtual void OnReportClosed(ISOReport* report) = 0;
  virtual void OnReportCompleted(ISOReport* report) = 0;
  virtual void OnReportVerified(ISOReport* report) = 0;
  virtual void OnModifiedChanged(ISOReport* report) = 0;
  virtual void OnTemplateLoaded(ISOReport* report) = 0;

 protected:
  ~IWendrelCallback() = default;
};

class IWendrel {
 public:
  // Destroys every open page, then the control.
  virtual ~IWendrel() = default;
  virtual HWND Create(HWND parent, int x, int y, int cx, int cy) = 0;
  virtual bool MoveWindow(int x, int y, int cx, int cy) = 0;
  virtual HWND GetHWND() = 0;
  // Prints the active report on the named printer, one page fitted to the printable area.
  virtual bool Print(const char* printerName) = 0;
  virtual ISOReport* NewReportFromImage(const char* dicomFilePath) = 0;
  // Opens a copy of the document; an open report with the same SOP Instance UID is activated instead.
  virtual ISOReport* OpenReport(SODcmSR* document) = 0;
  virtual ISOReport* OpenReportFile(const char* path) = 0;
  // A new, uncompleted copy of the report with new UIDs.
  virtual ISOReport* NewReportFromReport(ISOReport* source) = 0;
  virtual int GetReportCount() = 0;
  virtual ISOReport* GetActiveReport() = 0;
  virtual ISOReport* GetReport(int index) = 0;
  virtual void CloseReport(ISOReport* report) = 0;
  virtual void CloseReportAt(int index) = 0;
  virtual void Reserved() = 0;
  virtual void ActivateReport(ISOReport* report) = 0;
  virtual void ActivateReportAt(int index) = 0;
  virtual int IndexOfReport(ISOReport* report) = 0;
  // The template reports opened from now on get; null goes back to the default (and answers false).
  virtual bool SetTemplatePath(const char* path) = 0;
  // Loads a template (null: the default) into the active report.
  virtual bool ApplyTemplate(const char* path) = 0;
  virtual float GetZoom() = 0;
  virtual void SetZoom(float zoom) = 0;
  virtual int GetAutoFit() = 0;
  virtual void SetAutoFit(int fit) = 0;
  virtual bool SetValue(DWORD tag, const wchar_t* text) = 0;
  virtual bool GetValue(DWORD tag, std::wstring& text) = 0;
  virtual void RegisterCallback(IWendrelCallback* callback) = 0;
  virtual void UnRegisterCallback(IWendrelCallback* callback) = 0;
  // The template as designed, scaled to fit maxWidth x maxHeight (a bound below 1: the page's own
  // size); a new bitmap owned by the caller, null when the template has no size or cannot be built.
  virtual HBITMAP RenderTemplate(const char* templatePath, int* width, int* height, int maxWidth,
                                 int maxHeight) = 0;
};

IWendrel* CreateWendrel();
void ReleaseWendrel(IWendrel* wendrel);
