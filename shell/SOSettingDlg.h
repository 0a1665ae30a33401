#pragma once

#include "UIlib.h"

class SOSystemConfig;

// The shell's settings dialog: the user-interface language (in effect from the next start)
// and the program's version, on two pages.
class SOSettingDlg : public DuiLib::WndDialog {
 public:
  // The dialog's own message: tell the user when a restart is needed.
  static constexpr UINT kCheckRestartMessage = 8068;

  explicit SOSettingDlg(SOSystemConfig* config);
  const wchar_t* GetWindowClassName() const override { return L"SOSettingDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // Runs the dialog modally, owned by owner.
  static void Run(HWND owner, SOSystemConfig* config);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/setting_wnd.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void Refresh();

  SOSystemConfig* m_config;
  DuiLib::CWndShadow m_shadow;
};
