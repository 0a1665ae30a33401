#pragma once

#include <string>

#include "JorvelRecords.h"
#include "SOCountdown.h"
#include "UIlib.h"

// Sets a new password in four pages: the account by user name (its mobile number shown masked),
// an SMS code to that number (which yields a one-time token), the new password twice, and a
// page leading to the login dialog. The web calls block the UI thread until the client answers.
class CFindPasswordDlg : public DuiLib::WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"CFindPasswordDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/FindPassword.xml"; }
  LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void FindAccount();
  void SendCode();
  void CheckCode();
  void ChangePassword();
  void ShowPage(int page);
  void SetLabel(const wchar_t* label, const std::wstring& text);
  std::string Text(const wchar_t* edit);

  JorvelUserInfo m_account;
  std::string m_token;
  SOCountdown m_countdown;
};
