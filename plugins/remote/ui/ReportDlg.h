#pragma once

#include <memory>
#include <string>

#include "SODcmSR.h"
#include "SRContentWnd.h"
#include "Waiting.h"

class OrderObject;
struct WebError;

// The consultation report of an order in a window of its own: read (mode 0), written (2),
// verified (3) or revised (4). A member who may edit takes the order's lock; the document is
// stored into the order's store and submitted to the order's node and the service on a worker
// while the waiting overlay covers the window. Deletes itself when destroyed.
class CReportDlg : public CSRContentWnd, public ISRContentCallback {
 public:
  enum Mode { kRead = 0, kWrite = 2, kVerify = 3, kRevise = 4 };

  CReportDlg(int mode, const std::shared_ptr<OrderObject>& order);
  ~CReportDlg() override;
  const wchar_t* GetWindowClassName() const override { return L"CReportDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;
  void OnContentValueChanged(DWORD tag, const wchar_t* text) override;

  // Opens the editor over the list window, centred and shown. An order that already has an
  // editor that writes brings that one forward instead of opening a second writer (two writers
  // of one report would overwrite each other's saves). Null when no window was made.
  static CReportDlg* Open(int mode, const std::shared_ptr<OrderObject>& order, HWND parent, const wchar_t* title);
  // How long after initialisation the user's edits start being taken (ms); tests shorten it.
  static void SetBindDelay(int ms);

  int Mode() const { return mode_; }
  bool Modified() const { return modified_; }
  bool ReadOnly() const { return readOnly_; }
  bool Busy() const { return busy_; }
  SODcmSR& Document() { return sr_; }

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/report_dlg.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  bool Writes() const { return mode_ != kRead; }
  void SetUpMode();
  void SetWindowTitle();
  void ShowLock(int state);
  void LoadDocument();
  bool StoreDocument();
  void Save();
  void Submit(int mode);
  void Submitted(bool ok, const WebError& error);
  void ViewImages();
  void OpenInReportViewer();
  void CaseLibrary();
  void EnableControl(const wchar_t* name, bool enable);

  const int mode_;
  std::shared_ptr<OrderObject> order_;
  SODcmSR sr_;
  bool modified_ = false;
  bool readOnly_ = false;
  bool busy_ = false;        // a submit runs; the window stays until its result is in
  bool registered_ = false;  // the order's writing editor
  UIX_Waiting waiting_;
  // Bound to this window: work queued for it after it is gone is dropped.
  std::shared_ptr<DuiLib::CInvoke> invoker_;
};
