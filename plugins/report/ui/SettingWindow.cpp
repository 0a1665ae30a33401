#include "SettingWindow.h"

#include "ReportSettings.h"

using namespace DuiLib;

SOSettingWindow::~SOSettingWindow() {
  m_caselibPage.Release();
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

void SOSettingWindow::InitWindow() {
  const std::wstring institution = ReportSettings::InstitutionName();
  if (!institution.empty())
    if (CControlUI* edit = m_PaintManager.FindControl(L"editInstitutionName")) edit->SetText(institution.c_str());
  m_caselibPage.Init(m_hWnd, &m_PaintManager);
  m_templatePage.Init(m_hWnd, &m_PaintManager);
}

LRESULT SOSettingWindow::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  m_caselibPage.Release();
  m_templatePage.SetWendrel(nullptr);
  return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

LRESULT SOSettingWindow::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_SHOWWINDOW && wParam)
    if (auto* home = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"homeOpt"))) home->Selected(true, true);
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void SOSettingWindow::SelectPage(int page) {
  if (auto* tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch"))) tabs->SelectItem(page, true);
}

void SOSettingWindow::Notify(TNotifyUI& msg) {
  if (!msg.pSender) return WindowImplBase::Notify(msg);
  const CDuiString name = msg.pSender->GetName();
  if (name == L"exitOpt") {
    if (msg.sType == L"click") {
      SelectPage(0);
      ShowWindow(false, true);
    }
    return;
  }
  if (name == L"homeOpt" || name == L"templateOpt" || name == L"caseLibraryOpt") {
    // Options of one group: the newly selected one tells.
    if (msg.sType == L"selectchanged" && static_cast<COptionUI*>(msg.pSender)->IsSelected()) {
      SelectPage(name == L"homeOpt" ? 0 : name == L"templateOpt" ? 1 : 2);
      if (name == L"templateOpt") m_templatePage.ReloadTiles();
    }
    return;
  }
  if (msg.sType == L"textchanged" && name == L"editInstitutionName") {
    ReportSettings::SetInstitutionName(msg.pSender->GetText().GetData());
    return;
  }
  if (m_templatePage.Notify(msg) || m_caselibPage.Notify(msg)) return;
  WindowImplBase::Notify(msg);
}
