#include "UIMenu.h"

#include <cwchar>

namespace DuiLib {

MenuWnd::MenuWnd() = default;

MenuWnd::~MenuWnd() {
  if (m_pOwner) m_pOwner->OnDestroy -= MakeDelegate(this, &MenuWnd::OnOwnerDestroyed);
}

bool MenuWnd::OnOwnerDestroyed(void*) {
  m_pOwner = nullptr;
  return true;
}

void MenuWnd::Init(CControlUI* owner, CDuiString skin, POINT point) {
  if (!owner) return;
  m_pOwner = owner;
  m_sSkin = skin;
  m_ptBase = point;
  owner->OnDestroy += MakeDelegate(this, &MenuWnd::OnOwnerDestroyed);
  HWND parent = owner->GetManager() ? owner->GetManager()->GetPaintWindow() : nullptr;
  if (!Create(parent, nullptr, WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CW_USEDEFAULT, CW_USEDEFAULT,
              CW_USEDEFAULT, CW_USEDEFAULT))
    return;
  HWND top = parent;
  while (top && GetParent(top)) top = GetParent(top);
  ::ShowWindow(m_hWnd, SW_SHOW);
  if (top) SendMessageW(top, WM_NCACTIVATE, TRUE, 0);
}

void MenuWnd::AdjustPostion() {
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  int width = rc.right - rc.left, height = rc.bottom - rc.top;
  RECT want{m_ptBase.x, m_ptBase.y, m_ptBase.x + width, m_ptBase.y + height};
  MONITORINFO mi;
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
  const RECT& work = mi.rcWork;
  if (want.bottom > work.bottom) {
    if (height < work.bottom - work.top) {
      want.top = work.bottom - height;
    } else {
      want.top = 0;
    }
    want.bottom = want.top + height;
  }
  if (want.right > work.right) {
    if (width < work.right - work.left) {
      want.left = work.right - width;
    } else {
      want.left = 0;
    }
    want.right = want.left + width;
  }
  SetWindowPos(m_hWnd, nullptr, want.left, want.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MenuWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"itemclick") {
    if (!m_pOwner || !m_pOwner->GetManager() || !msg.pSender) return;
    const wchar_t* data = msg.pSender->GetUserData();
    WPARAM value = data && *data ? WPARAM(wcstol(data, nullptr, 16)) : 0;
    m_pOwner->GetManager()->SendNotify(m_pOwner, msg.pSender->GetName(), value, 0, true, true);
  } else if (msg.sType == L"itemselect") {
    Close();
  }
}

LRESULT MenuWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_CREATE: {
      m_pm.Init(m_hWnd);
      CDialogBuilder builder;
      CControlUI* root = builder.Create(m_sSkin.GetData(), (unsigned int)0, nullptr, &m_pm);
      if (!root) return -1;
      m_pm.AttachDialog(root);
      m_pm.AddNotifier(this);
      m_pm.SetRoundCorner(3, 3);
      AdjustPostion();
      return 0;
    }
    case WM_SIZE: {
      SIZE round = m_pm.GetRoundCorner();
      if (wParam != SIZE_MINIMIZED && (round.cx != 0 || round.cy != 0)) {
        RECT rc;
        GetWindowRect(m_hWnd, &rc);
        SetWindowRgn(
            m_hWnd,
            CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, round.cx, round.cy),
            TRUE);
      }
      break;
    }
    case WM_KILLFOCUS:
      if (HWND(wParam) != m_hWnd) PostMessage(WM_CLOSE);
      return 0;
    case WM_MOUSEWHEEL:
      return 0;
    case WM_KEYDOWN:
      if (wParam == WPARAM(VK_ESCAPE)) Close();
      return 0;
    default:
      break;
  }
  LRESULT lRes = 0;
  if (m_pm.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void MenuWnd::OnFinalMessage(HWND) {
  delete this;
}

bool CWndShadow::Initialize(HINSTANCE) {
  return true;
}

void CWndShadow::Create(HWND) {}

bool CWndShadow::SetSize(int) {
  return true;
}

bool CWndShadow::SetSharpness(unsigned int) {
  return true;
}

bool CWndShadow::SetDarkness(unsigned int) {
  return true;
}

bool CWndShadow::SetPosition(int, int) {
  return true;
}

bool CWndShadow::SetColor(COLORREF) {
  return true;
}

}  // namespace DuiLib
