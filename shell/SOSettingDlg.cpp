#include "SOSettingDlg.h"

#include "SOSystemConfig.h"
#include "ShellVersion.h"
#include "Zarnet.h"
#include "ShellDialogs.h"

using namespace DuiLib;

SOSettingDlg::SOSettingDlg(SOSystemConfig* config) : m_config(config) {}

void SOSettingDlg::Run(HWND owner, SOSystemConfig* config) {
  SOSettingDlg dialog(config);
  RunModal(dialog, owner, L"SOSettingDlg", 0x86C80000);
}

void SOSettingDlg::InitWindow() {
  m_shadow.Create(m_hWnd);
  m_shadow.SetSize(3);
  m_shadow.SetPosition(0, 0);
  if (CControlUI* version = m_PaintManager.FindControl(L"appVersionLabel")) version->SetText(kAppVersionW);
  Refresh();
}

void SOSettingDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  auto* tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch"));
  if (msg.sType == L"click" && tabs && (name == L"generalOpt" || name == L"remoteOpt")) {
    tabs->SelectItem(name == L"generalOpt" ? 0 : 1);
  } else if (msg.sType == L"itemselect" && name == L"localeCombo") {
    auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
    CControlUI* item = combo && combo->GetCurSel() >= 0 ? combo->GetItemAt(combo->GetCurSel()) : nullptr;
    if (item) {
      m_config->SetLanguage(item->GetUserData());
      Refresh();
      PostMessage(kCheckRestartMessage);
    }
    return;
  }
  WndDialog::Notify(msg);
}

void SOSettingDlg::Refresh() {
  const std::wstring language = SOWin::FromUtf8(m_config->GetLanguage());
  if (auto* combo = dynamic_cast<CComboUI*>(m_PaintManager.FindControl(L"localeCombo"))) {
    for (int i = 0; i < combo->GetCount(); ++i) {
      if (language == combo->GetItemAt(i)->GetUserData()) {
        // Quietly: a selection made here must not come back as the user's choice.
        combo->SelectItem(i, false, false);
        break;
      }
    }
  }
  if (CControlUI* notice = m_PaintManager.FindControl(L"localeNoticeLabel"))
    notice->SetVisible(m_config->GetLanguage() != m_config->GetCurrentLanguage());
}

LRESULT SOSettingDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg != kCheckRestartMessage) return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  if (m_config->GetLanguage() != m_config->GetCurrentLanguage())
    MessageBoxUI(m_hWnd, ui_gettext(L"Language reset takes effect after restarting program. Reset now?"), nullptr, 0);
  return 0;
}
