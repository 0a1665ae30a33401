#include "CLoginDlg.h"

#include "ShellStore.h"
#include "Jorvel.h"
#include "SOAccountRules.h"
#include "SOAccountStore.h"
#include "ShellMessages.h"
#include "ShellDialogs.h"

using namespace DuiLib;

CLoginDlg::CLoginDlg(HWND frame, bool autoLogin) : m_frame(frame), m_autoLogin(autoLogin) {}

void CLoginDlg::Run(HWND owner, HWND frame, bool autoLogin) {
  CLoginDlg dialog(frame, autoLogin);
  RunModal(dialog, owner, L"CLoginDlg", 0x80C80000);
}

void CLoginDlg::InitWindow() {
  if (CControlUI* forget = m_PaintManager.FindControl(L"forgetPasswordBtn")) forget->SetFocus();
  if (CControlUI* user = m_PaintManager.FindControl(L"userNameEdit"))
    user->SetText(SOWin::FromUtf8(SOAccountStore::UserName()).c_str());
  if (CControlUI* password = m_PaintManager.FindControl(L"passwordEdit"))
    password->SetText(SOWin::FromUtf8(SOAccountStore::Password()).c_str());
  if (auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"autoLoginOpt")))
    option->Selected(SOAccountStore::AutoLogin(), true);
  if (m_autoLogin && SOAccountStore::AutoLoginAllowed()) StartLogin();
}

void CLoginDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"click") {
    if (name == L"loginBtn") {
      StartLogin();
      return;
    }
    if (name == L"registerBtn" || name == L"forgetPasswordBtn") {
      if (m_waiting) return;
      Close(IDCANCEL);
      PostMessageW(m_frame, name == L"registerBtn" ? WM_SO_REGISTER : WM_SO_FINDPASSWORD, 0, 0);
      return;
    }
  } else if (msg.sType == L"selectchanged" && name == L"autoLoginOpt") {
    SOAccountStore::SetAutoLogin(static_cast<COptionUI*>(msg.pSender)->IsSelected());
    return;
  }
  WndDialog::Notify(msg);
}

void CLoginDlg::StartLogin() {
  CControlUI* userEdit = m_PaintManager.FindControl(L"userNameEdit");
  CControlUI* passwordEdit = m_PaintManager.FindControl(L"passwordEdit");
  CControlUI* errorLabel = m_PaintManager.FindControl(L"errorLabel");
  auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"autoLoginOpt"));
  if (m_waiting || !userEdit || !passwordEdit || !errorLabel || !option) return;

  const std::string user = SOAccountRules::Trim(SOWin::ToUtf8(userEdit->GetText().str()));
  userEdit->SetText(SOWin::FromUtf8(user).c_str());
  if (user.empty()) {
    errorLabel->SetText(ui_gettext(L"Please enter the username!"));
    return;
  }
  const std::string password = SOWin::ToUtf8(passwordEdit->GetText().str());
  if (password.empty()) {
    errorLabel->SetText(ui_gettext(L"Please enter the password!"));
    return;
  }
  SetWaiting(true);
  // The option is read here, on the UI thread: the worker only gets its value.
  const bool remember = option->IsSelected();
  AliveRef alive = m_alive;
  ShellWorkers().Start([this, alive, user, password, remember] {
    WebError error;
    const bool ok = GetJorvel()->Login(user.c_str(), password.c_str(), &error);
    if (ok) SOAccountStore::Save(user, password, remember);
    UiInvoker().BeginInvoke([this, alive, ok, error] {
      if (alive.lock()) Finished(ok, error);
    });
  });
}

void CLoginDlg::SetWaiting(bool waiting) {
  m_waiting = waiting;
  SelectTab(m_PaintManager, L"tabLayout", waiting ? 1 : 0);
  EnableMenuItem(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, waiting ? MF_GRAYED : MF_ENABLED);
  for (const wchar_t* name : {L"registerBtn", L"forgetPasswordBtn", L"closebtn"})
    if (CControlUI* button = m_PaintManager.FindControl(name)) button->SetEnabled(!waiting);
}

void CLoginDlg::Finished(bool ok, const WebError& error) {
  SetWaiting(false);
  if (ok) {
    Close(IDOK);
    return;
  }
  if (CControlUI* errorLabel = m_PaintManager.FindControl(L"errorLabel"))
    errorLabel->SetText(ui_gettext(ShellStore::GetString(error).c_str()));
}

LRESULT CLoginDlg::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // The login's answer comes back to this dialog: it stays until then.
  if (m_waiting) {
    bHandled = TRUE;
    return 0;
  }
  return WndDialog::OnClose(uMsg, wParam, lParam, bHandled);
}

LRESULT CLoginDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (m_waiting) return TRUE;
  return WndDialog::ResponseDefaultKeyEvent(wParam);
}
