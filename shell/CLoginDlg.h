#pragma once

#include <string>

#include "ShellInvoker.h"
#include "UIlib.h"
#include "WebError.h"

// The login dialog. A login runs on a worker thread; while it runs the dialog shows its waiting
// page and cannot be closed, nor switched to registration or password recovery. On success the
// account is stored (the password only when automatic login is ticked) and the dialog closes;
// on failure the error is shown on the form.
class CLoginDlg : public DuiLib::WndDialog {
 public:
  // frame: the main frame, which opens registration and password recovery; autoLogin: log in
  // with the stored account as soon as the dialog opens (when the account allows it).
  CLoginDlg(HWND frame, bool autoLogin);
  const wchar_t* GetWindowClassName() const override { return L"CLoginDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // Runs the dialog modally, owned by owner and centred on it.
  static void Run(HWND owner, HWND frame, bool autoLogin);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/LoginDialog.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

 private:
  void StartLogin();
  void SetWaiting(bool waiting);
  void Finished(bool ok, const WebError& error);

  HWND m_frame;
  bool m_autoLogin;
  bool m_waiting = false;
  AliveToken m_alive = MakeAliveToken();
};
