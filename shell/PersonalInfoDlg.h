#pragma once

#include "JorvelRecords.h"
#include "UIlib.h"

// The logged-in user's account; the nickname can be changed (Enter or leaving the edit).
class PersonalInfoDlg : public DuiLib::WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"PersonalInfoDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/PersonalInfoDialog.xml"; }

 private:
  void Fill();
  void ChangeNickName();

  JorvelUserInfo m_user;
};

// Sends a free text to the consultation service.
class FeedbackDlg : public DuiLib::WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"FeedbackDlg"; }
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/FeedbackDlg.xml"; }

 private:
  void Send();
  void ShowPage(int page);
};
