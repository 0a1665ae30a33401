#pragma once

#include "SOCountdown.h"
#include "UIlib.h"

// Creates an account on the consultation service: user name, password, mobile number and an SMS
// code. Each field shows its state (0 hint, 1 invalid, 2 empty, 3 valid) in its state layout.
// The web calls block the UI thread until the client answers (the client has time-outs).
class CRegisterDlg : public DuiLib::WndDialog {
 public:
  enum FieldState { kHint = 0, kInvalid = 1, kEmpty = 2, kValid = 3 };

  const wchar_t* GetWindowClassName() const override { return L"CRegisterDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/RegisterDialog.xml"; }
  LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  // Writes the text without leading and trailing blanks back into the edit.
  void TrimField(const wchar_t* edit);
  // Valid or not; shows the state (a missing edit is not valid and shows nothing).
  bool CheckField(const wchar_t* edit);
  void ShowState(const wchar_t* edit, FieldState state);
  void SendCode();
  void Register();
  void ShowWebError(const std::wstring& text);

  SOCountdown m_countdown;
};
