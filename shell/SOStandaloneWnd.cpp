#include "SOStandaloneWnd.h"

#include "ShellMessages.h"

using namespace DuiLib;

void SOStandaloneWnd::InitWindow() {
  m_shadow.Create(m_hWnd);
  m_shadow.SetSize(3);
  m_shadow.SetPosition(0, 0);
  if (CControlUI* panel = m_PaintManager.FindControl(L"mainPanel"))
    panel->OnSize += MakeDelegate(this, &SOStandaloneWnd::OnPanelSize);
}

void SOStandaloneWnd::Attach(SOPluginItem* item, COptionUI* option) {
  m_item = item;
  m_option = option;
  if (CControlUI* title = m_PaintManager.FindControl(L"titleLabel")) title->SetText(item->title.c_str());
  SetWindowTextW(m_hWnd, item->title.c_str());
  SetParent(item->window, m_hWnd);
  m_PaintManager.UpdateLayout();
  FitPluginWindow();
  ::ShowWindow(item->window, SW_SHOW);
}

bool SOStandaloneWnd::OnPanelSize(void*) {
  FitPluginWindow();
  return true;
}

void SOStandaloneWnd::FitPluginWindow() {
  auto* panel = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"mainPanel"));
  if (!m_item || !panel) return;
  RECT rc = panel->GetPos();
  const RECT inset = panel->GetInset();
  SetWindowPos(m_item->window, HWND_TOP, rc.left + inset.left, rc.top + inset.top,
               rc.right - rc.left - inset.left - inset.right, rc.bottom - rc.top - inset.top - inset.bottom,
               SWP_NOACTIVATE);
}

LRESULT SOStandaloneWnd::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_item) {
    SOPluginItem* item = m_item;
    m_item = nullptr;
    item->standaloneWindow = nullptr;
    if (m_option) m_option->Selected(true, true);
    SetParent(item->window, item->frameWindow);
    SendMessageW(item->frameWindow, WM_SO_REDOCK, reinterpret_cast<WPARAM>(item), 0);
  }
  return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

void SOStandaloneWnd::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}
