#include "CFindPasswordDlg.h"

#include "ShellStore.h"
#include "Jorvel.h"
#include "SOAccountRules.h"
#include "SOAccountStore.h"
#include "ShellMessages.h"
#include "ShellDialogs.h"

using namespace DuiLib;

void CFindPasswordDlg::Run(HWND owner) {
  CFindPasswordDlg dialog;
  RunModal(dialog, owner, L"CFindPasswordDlg", 0x86C80000);
}

void CFindPasswordDlg::InitWindow() {
  if (CControlUI* user = m_PaintManager.FindControl(L"userNameEdit"))
    user->SetText(SOWin::FromUtf8(SOAccountStore::UserName()).c_str());
}

void CFindPasswordDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"userConfirmBtn") return FindAccount();
    if (name == L"verifyCodeSendBtn") return SendCode();
    if (name == L"verifyConfirmBtn") return CheckCode();
    if (name == L"passwordConfirmBtn") return ChangePassword();
    if (name == L"loginNowBtn") {
      const HWND parent = GetWindow(m_hWnd, GW_OWNER);
      Close(IDOK);
      PostMessageW(parent, WM_SO_LOGIN, 0, 0);
      return;
    }
  }
  WndDialog::Notify(msg);
}

std::string CFindPasswordDlg::Text(const wchar_t* edit) {
  CControlUI* control = m_PaintManager.FindControl(edit);
  return control ? SOWin::ToUtf8(control->GetText().str()) : std::string();
}

void CFindPasswordDlg::SetLabel(const wchar_t* label, const std::wstring& text) {
  if (CControlUI* control = m_PaintManager.FindControl(label)) control->SetText(text.c_str());
}

void CFindPasswordDlg::ShowPage(int page) {
  SelectTab(m_PaintManager, L"tabLayout", page);
}

void CFindPasswordDlg::FindAccount() {
  const std::string user = SOAccountRules::Trim(Text(L"userNameEdit"));
  if (CControlUI* edit = m_PaintManager.FindControl(L"userNameEdit")) edit->SetText(SOWin::FromUtf8(user).c_str());
  if (user.empty()) {
    SetLabel(L"errorLabel", ui_gettext(L"Please enter the username!"));
    return;
  }
  JorvelUserInfo account;
  WebError error;
  if (!Web_UserSearchByUserName(user, &account, &error)) {
    SetLabel(L"errorLabel", ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  m_account = account;
  SetLabel(L"errorLabel", L"");
  SetLabel(L"phoneEdit", SOWin::FromUtf8(SOAccountRules::MaskMobile(m_account.mobile)));
  ShowPage(1);
}

void CFindPasswordDlg::SendCode() {
  SetLabel(L"errorVerifyCodeLabel", L"");
  WebError error;
  if (!Web_VerifyCode(&m_account.mobile, &error)) {
    SetLabel(L"errorVerifyCodeLabel", ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  m_countdown.Start(m_hWnd, m_PaintManager.FindControl(L"verifyCodeSendBtn"));
}

void CFindPasswordDlg::CheckCode() {
  const std::string code = SOAccountRules::Trim(Text(L"verifyCodeEdit"));
  if (CControlUI* edit = m_PaintManager.FindControl(L"verifyCodeEdit")) edit->SetText(SOWin::FromUtf8(code).c_str());
  SetLabel(L"errorVerifyCodeLabel", L"");
  if (code.empty()) {
    SetLabel(L"errorVerifyCodeLabel", ui_gettext(L"Please enter the verification code!"));
    return;
  }
  JorvelUserInfo info;
  std::string token;
  WebError error;
  if (!Web_TokenByMobile(&m_account.mobile, &code, &info, &token, &error)) {
    SetLabel(L"errorVerifyCodeLabel", ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  m_token = token;
  ShowPage(2);
}

void CFindPasswordDlg::ChangePassword() {
  SetLabel(L"errorPasswordLabel", L"");
  const std::string password = Text(L"passwordEdit");
  const wchar_t* problem = nullptr;
  if (password.empty())
    problem = L"The password cannot be empty!";
  else if (!SOAccountRules::IsValidPassword(password))
    problem = L"The password format is incorrect!";
  else if (Text(L"password2Edit") != password)
    problem = L"The two passwords are not the same!";
  if (problem) {
    SetLabel(L"errorPasswordLabel", ui_gettext(problem));
    return;
  }
  WebError error;
  if (!Web_PasswordUpdate(&m_token, &password, &error)) {
    SetLabel(L"errorPasswordLabel", ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  ShowPage(3);
}

LRESULT CFindPasswordDlg::OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_countdown.OnTimer(wParam)) return 0;
  return WndDialog::OnTimer(uMsg, wParam, lParam, bHandled);
}
