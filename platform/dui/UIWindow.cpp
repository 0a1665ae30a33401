#include "UIWindow.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace DuiLib {

namespace {

// Results of Close for windows in a modal loop, by handle (the window object may be gone
// when the loop returns). UI thread only.
std::map<HWND, UINT>& ModalResults() {
  static std::map<HWND, UINT> results;
  return results;
}

// UI thread only.
std::vector<std::function<void(CWindowWnd*)>>& ModalObservers() {
  static std::vector<std::function<void(CWindowWnd*)>> observers;
  return observers;
}

}  // namespace

void CWindowWnd::AddModalObserver(std::function<void(CWindowWnd* window)> observer) {
  if (observer) ModalObservers().push_back(std::move(observer));
}

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
  // A window must not outlive its object: detach first so no message reaches the
  // half-destroyed object, then destroy it.
  if (m_hWnd && IsWindow(m_hWnd)) {
    HWND hwnd = m_hWnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    DestroyWindow(hwnd);
  }
}

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSEXW wc;
  if (GetClassInfoExW(CPaintManagerUI::GetInstance(), GetWindowClassName(), &wc)) return true;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &CWindowWnd::__WndProc;
  wc.hInstance = CPaintManagerUI::GetInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = GetWindowClassName();
  return RegisterClassExW(&wc) != 0;
}

HWND CWindowWnd::Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle,
                        const RECT rc, HMENU hMenu) {
  return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.right - rc.left,
                rc.bottom - rc.top, hMenu);
}

HWND CWindowWnd::Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle, int x,
                        int y, int cx, int cy, HMENU hMenu) {
  if (!RegisterWindowClass()) return nullptr;
  m_hWnd = CreateWindowExW(dwExStyle, GetWindowClassName(), pstrName, dwStyle, x, y, cx, cy, hwndParent,
                           hMenu, CPaintManagerUI::GetInstance(), this);
  return m_hWnd;
}

HWND CWindowWnd::CreateDuiWindow(HWND hwndParent, const wchar_t* pstrWindowName, DWORD dwStyle,
                                 DWORD dwExStyle) {
  return Create(hwndParent, pstrWindowName, dwStyle, dwExStyle, 0, 0, 0, 0, nullptr);
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus) {
  if (!IsWindow(m_hWnd)) return;
  ::ShowWindow(m_hWnd, bShow ? (bTakeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal() {
  if (!IsWindow(m_hWnd)) return UINT(-1);
  HWND hwnd = m_hWnd;
  m_bModal = true;
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  // Only the owner chain is blocked; other windows (tray, popups) keep their input.
  std::vector<HWND> disabled;
  for (HWND owner = hwnd;;) {
    HWND next = GetWindow(owner, GW_OWNER);
    if (!next) next = GetParent(owner);
    if (!next) break;
    owner = next;
    if (IsWindowEnabled(owner)) {
      EnableWindow(owner, FALSE);
      disabled.push_back(owner);
    }
  }
  // A copy: an observer may register another.
  for (const auto& observer : std::vector(ModalObservers())) observer(this);
  UINT loopResult = SOWin::RunModalLoop(hwnd);
  for (HWND owner : disabled)
    if (IsWindow(owner)) EnableWindow(owner, TRUE);
  if (!disabled.empty() && IsWindow(disabled.front())) ::SetFocus(disabled.front());
  auto it = ModalResults().find(hwnd);
  UINT result = it != ModalResults().end() ? it->second : loopResult;
  if (it != ModalResults().end()) ModalResults().erase(it);
  // The object may have deleted itself with its window: touch it only while the window lives.
  if (IsWindow(hwnd)) m_bModal = false;
  return result;
}

void CWindowWnd::Close(UINT nRet) {
  if (!IsWindow(m_hWnd)) return;
  if (m_bModal) ModalResults()[m_hWnd] = nRet;
  PostMessage(WM_CLOSE, WPARAM(nRet), 0);
}

void CWindowWnd::CenterWindow() {
  if (!IsWindow(m_hWnd)) return;
  RECT rcWindow;
  GetWindowRect(m_hWnd, &rcWindow);
  int w = rcWindow.right - rcWindow.left, h = rcWindow.bottom - rcWindow.top;
  RECT area;
  HWND owner = GetWindow(m_hWnd, GW_OWNER);
  if (!owner) owner = GetParent(m_hWnd);
  MONITORINFO mi;
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner))
    GetWindowRect(owner, &area);
  else
    area = mi.rcWork;
  int x = (area.left + area.right - w) / 2, y = (area.top + area.bottom - h) / 2;
  // Keep the window on the work area.
  x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - w));
  y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - h));
  SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT nRes) {}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  RECT rc;
  if (!GetClientRect(m_hWnd, &rc)) return;
  if (cx != -1) rc.right = cx;
  if (cy != -1) rc.bottom = cy;
  RECT win, client;
  GetWindowRect(m_hWnd, &win);
  GetClientRect(m_hWnd, &client);
  // The frame, if any, keeps its size.
  int frameW = (win.right - win.left) - (client.right - client.left);
  int frameH = (win.bottom - win.top) - (client.bottom - client.top);
  SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right + frameW, rc.bottom + frameH,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::__WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* self = nullptr;
  if (uMsg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    self = static_cast<CWindowWnd*>(cs->lpCreateParams);
    self->m_hWnd = hWnd;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (uMsg == WM_NCDESTROY && self) {
      LRESULT lRes = self->HandleMessage(uMsg, wParam, lParam);
      SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hWnd);
      return lRes;
    }
  }
  if (self) return self->HandleMessage(uMsg, wParam, lParam);
  return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// ---- WindowImplBase ----

void WindowImplBase::OnFinalMessage(HWND hWnd) {
  m_PaintManager.RemovePreMessageFilter(this);
  m_PaintManager.RemoveNotifier(this);
  m_PaintManager.ReapObjects(m_PaintManager.GetRoot());
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click") OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  CDuiString name = msg.pSender->GetName();
  if (name == L"closebtn")
    Close(IDCANCEL);
  else if (name == L"minbtn")
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (name == L"maxbtn")
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (name == L"restorebtn")
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
  return FALSE;
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && (wParam == WPARAM(VK_RETURN) || wParam == WPARAM(VK_ESCAPE))) {
    LRESULT r = ResponseDefaultKeyEvent(wParam);
    bHandled = r != FALSE;
    return r;
  }
  return FALSE;
}

LRESULT WindowImplBase::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // Skinned windows draw their own caption and frame: top-level ones go frameless.
  LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~LONG_PTR(WS_CAPTION);
  if (!(style & WS_CHILD)) style |= WS_POPUP;
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, style);
  m_PaintManager.Init(m_hWnd);
  m_PaintManager.AddPreMessageFilter(this);
  if (CPaintManagerUI::GetResourcePath().IsEmpty())
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + GetSkinFolder());
  CDialogBuilder builder;
  CControlUI* root = builder.Create(GetSkinFile().GetData(), (unsigned int)0, this, &m_PaintManager);
  if (!root) {
    std::fprintf(stderr, "skin %ls of %ls cannot be loaded: %ls\n", GetSkinFile().GetData(),
                 GetWindowClassName(), builder.GetLastErrorMessage());
    bHandled = TRUE;
    return -1;
  }
  m_PaintManager.AttachDialog(root);
  m_PaintManager.AddNotifier(this);
  if (m_PaintManager.GetTitle() && *m_PaintManager.GetTitle() && GetWindowTextLengthW(m_hWnd) == 0)
    SetWindowTextW(m_hWnd, m_PaintManager.GetTitle());
  InitWindow();
  bHandled = TRUE;
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  SIZE round = m_PaintManager.GetRoundCorner();
  if (wParam != SIZE_MINIMIZED && (round.cx != 0 || round.cy != 0)) {
    RECT rc;
    GetWindowRect(m_hWnd, &rc);
    SetWindowRgn(m_hWnd,
                 CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, round.cx, round.cy),
                 TRUE);
  }
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  SIZE mn = m_PaintManager.GetMinInfo(), mx = m_PaintManager.GetMaxInfo();
  if (mn.cx > 0) info->ptMinTrackSize.x = mn.cx;
  if (mn.cy > 0) info->ptMinTrackSize.y = mn.cy;
  if (mx.cx > 0) info->ptMaxTrackSize.x = mx.cx;
  if (mx.cy > 0) info->ptMaxTrackSize.y = mx.cy;
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnTimer(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

namespace {

enum : UINT { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

}  // namespace

UINT WindowImplBase::SizeEdgesAt(POINT pt) {
  const RECT& box = m_PaintManager.GetSizeBox();
  if (IsZoomed(m_hWnd) || (box.left == 0 && box.top == 0 && box.right == 0 && box.bottom == 0)) return 0;
  RECT client;
  GetClientRect(m_hWnd, &client);
  UINT edges = 0;
  if (pt.x < client.left + box.left) edges |= kLeft;
  if (pt.x >= client.right - box.right) edges |= kRight;
  if (pt.y < client.top + box.top) edges |= kTop;
  if (pt.y >= client.bottom - box.bottom) edges |= kBottom;
  return edges;
}

bool WindowImplBase::MoveOrSize(UINT uMsg, LPARAM lParam) {
  if (uMsg == WM_SETCURSOR) {
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(m_hWnd, &pt);
    UINT edges = SizeEdgesAt(pt);
    if (!edges) return false;
    bool diagonal = (edges & (kLeft | kRight)) && (edges & (kTop | kBottom));
    const wchar_t* cursor = !diagonal ? ((edges & (kLeft | kRight)) ? IDC_SIZEWE : IDC_SIZENS)
                            : (edges == (kLeft | kTop) || edges == (kRight | kBottom)) ? IDC_SIZENWSE
                                                                                       : IDC_SIZENESW;
    ::SetCursor(LoadCursorW(nullptr, cursor));
    return true;
  }
  if (uMsg == WM_LBUTTONDOWN) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    m_uSizeEdges = SizeEdgesAt(pt);
    if (!m_uSizeEdges) {
      RECT client;
      GetClientRect(m_hWnd, &client);
      const RECT& caption = m_PaintManager.GetCaptionRect();
      if (pt.x < client.left + caption.left || pt.x >= client.right - caption.right ||
          pt.y < client.top + caption.top || pt.y >= caption.bottom)
        return false;
      CControlUI* control = m_PaintManager.FindControl(pt);
      if (control && (control->GetInterface(L"Button") || control->GetInterface(L"Edit") ||
                      control->GetInterface(L"Combo") || control->GetInterface(L"Slider")))
        return false;
    }
    m_bDragging = true;
    GetCursorPos(&m_ptDragStart);
    GetWindowRect(m_hWnd, &m_rcDragStart);
    ::SetCapture(m_hWnd);
    return true;
  }
  if (!m_bDragging) return false;
  if (uMsg == WM_MOUSEMOVE) {
    POINT now;
    GetCursorPos(&now);
    int dx = now.x - m_ptDragStart.x, dy = now.y - m_ptDragStart.y;
    RECT rc = m_rcDragStart;
    if (!m_uSizeEdges) {
      SetWindowPos(m_hWnd, nullptr, rc.left + dx, rc.top + dy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return true;
    }
    // The moving edges follow the mouse; the skin's minimum and maximum sizes hold.
    SIZE mn = m_PaintManager.GetMinInfo(), mx = m_PaintManager.GetMaxInfo();
    int minW = std::max<int>(mn.cx, 40), minH = std::max<int>(mn.cy, 30);
    int maxW = mx.cx > 0 ? mx.cx : 1 << 15, maxH = mx.cy > 0 ? mx.cy : 1 << 15;
    if (m_uSizeEdges & kLeft) rc.left = rc.right - std::clamp<int>(rc.right - rc.left - dx, minW, maxW);
    if (m_uSizeEdges & kRight) rc.right = rc.left + std::clamp<int>(rc.right - rc.left + dx, minW, maxW);
    if (m_uSizeEdges & kTop) rc.top = rc.bottom - std::clamp<int>(rc.bottom - rc.top - dy, minH, maxH);
    if (m_uSizeEdges & kBottom) rc.bottom = rc.top + std::clamp<int>(rc.bottom - rc.top + dy, minH, maxH);
    SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
  }
  if (uMsg == WM_LBUTTONUP || uMsg == WM_CAPTURECHANGED) {
    m_bDragging = false;
    m_uSizeEdges = 0;
    if (uMsg == WM_LBUTTONUP) ::ReleaseCapture();
    return true;
  }
  return false;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lRes = 0;
  BOOL bHandled = TRUE;
  switch (uMsg) {
    case WM_CREATE:
      lRes = OnCreate(uMsg, wParam, lParam, bHandled);
      break;
    case WM_CLOSE:
      lRes = OnClose(uMsg, wParam, lParam, bHandled);
      break;
    case WM_DESTROY:
      lRes = OnDestroy(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SIZE:
      lRes = OnSize(uMsg, wParam, lParam, bHandled);
      break;
    case WM_GETMINMAXINFO:
      lRes = OnGetMinMaxInfo(uMsg, wParam, lParam, bHandled);
      break;
    case WM_KEYDOWN:
      lRes = OnKeyDown(uMsg, wParam, lParam, bHandled);
      break;
    case WM_KILLFOCUS:
      lRes = OnKillFocus(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SETFOCUS:
      lRes = OnSetFocus(uMsg, wParam, lParam, bHandled);
      break;
    case WM_TIMER:
      lRes = OnTimer(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SYSCOMMAND:
      lRes = OnSysCommand(uMsg, wParam, lParam, bHandled);
      break;
    default:
      bHandled = FALSE;
      break;
  }
  if (bHandled) return lRes;
  lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  if (bHandled) return lRes;
  if ((uMsg == WM_LBUTTONDOWN || uMsg == WM_MOUSEMOVE || uMsg == WM_LBUTTONUP || uMsg == WM_CAPTURECHANGED ||
       uMsg == WM_SETCURSOR) &&
      MoveOrSize(uMsg, lParam))
    return uMsg == WM_SETCURSOR ? TRUE : 0;
  if (m_PaintManager.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

// ---- WndDialog ----

void WndDialog::SetTitle(const wchar_t* title) {
  m_sTitle = title ? title : L"";
  if (!IsWindow(m_hWnd)) return;
  SetWindowTextW(m_hWnd, m_sTitle);
  CControlUI* label = m_PaintManager.FindControl(L"titleLabel");
  if (!label) label = m_PaintManager.FindControl(L"title");
  if (label) label->SetText(m_sTitle);
}

LRESULT WndDialog::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (wParam == WPARAM(VK_ESCAPE)) {
    Close(IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

}  // namespace DuiLib
