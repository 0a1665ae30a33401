#include "Zarnet.h"

#include <utility>

namespace {

// Identifies this library as the module that registers its window classes.
const char g_moduleTag = 0;
HINSTANCE ModuleInstance() {
  return reinterpret_cast<HINSTANCE>(const_cast<char*>(&g_moduleTag));
}

}  // namespace

CWindowBase::~CWindowBase() {
  if (m_hWnd && IsWindow(m_hWnd)) {
    // Detach first: the window's last messages must not reach a half-destroyed object.
    HWND hwnd = m_hWnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    DestroyWindow(hwnd);
  }
}

HWND CWindowBase::Create(HWND parent, int x, int y, int cx, int cy) {
  WNDCLASSEXW wc{};
  if (!GetClassInfoExW(ModuleInstance(), GetClassNameW(), &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = GetClassStyle();
    wc.lpfnWndProc = &CWindowBase::WindowProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetClassNameW();
    if (!RegisterClassExW(&wc)) return nullptr;
  }
  m_hWnd = CreateWindowExW(GetWndStyleEx(), GetClassNameW(), GetWindowName(), GetWndStyle(), x, y, cx, cy,
                           parent, nullptr, ModuleInstance(), this);
  return m_hWnd;
}

void CWindowBase::UpdateWindow() {
  InvalidateRect(m_hWnd, nullptr, TRUE);
  ::UpdateWindow(m_hWnd);
}

void CWindowBase::ShowWindow(bool show) {
  ::ShowWindow(m_hWnd, show ? SW_SHOW : SW_HIDE);
}

void CWindowBase::SetFocus() {
  ::SetFocus(m_hWnd);
}

BOOL CWindowBase::MoveWindow(int x, int y, int cx, int cy) {
  m_rcInParent = RECT{x, y, x + cx, y + cy};
  return ::MoveWindow(m_hWnd, x, y, cx, cy, TRUE);
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<CWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY && self) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->m_hWnd = nullptr;
      self = nullptr;
    }
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->Dispatch(msg, wParam, lParam);
}

LRESULT CWindowBase::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  using Handler = LRESULT (CWindowBase::*)(WPARAM, LPARAM, BOOL&);
  static const std::pair<UINT, Handler> handlers[] = {
      {WM_CREATE, &CWindowBase::OnCreate},
      {WM_SIZE, &CWindowBase::OnSize},
      {WM_PAINT, &CWindowBase::OnPaint},
      {WM_SETCURSOR, &CWindowBase::OnSetCursor},
      {WM_CONTEXTMENU, &CWindowBase::OnContextMenu},
      {WM_CHAR, &CWindowBase::OnChar},
      {WM_KEYDOWN, &CWindowBase::OnKeyDown},
      {WM_KEYUP, &CWindowBase::OnKeyUp},
      {WM_COMMAND, &CWindowBase::OnCommand},
      {WM_CTLCOLOREDIT, &CWindowBase::OnCtlColorEdit},
      {WM_MOUSEMOVE, &CWindowBase::OnMouseMove},
      {WM_LBUTTONDOWN, &CWindowBase::OnLButtonDown},
      {WM_LBUTTONUP, &CWindowBase::OnLButtonUp},
      {WM_LBUTTONDBLCLK, &CWindowBase::OnLButtonDBClick},
      {WM_RBUTTONDOWN, &CWindowBase::OnRButtonDown},
      {WM_RBUTTONUP, &CWindowBase::OnRButtonUp},
      {WM_MBUTTONDOWN, &CWindowBase::OnMButtonDown},
      {WM_MBUTTONUP, &CWindowBase::OnMButtonUp},
      {WM_MOUSEWHEEL, &CWindowBase::OnMouseWheel},
      {WM_IME_CHAR, &CWindowBase::OnIMEChar},
      {WM_MOUSEHOVER, &CWindowBase::OnMouseHover},
      {WM_MOUSELEAVE, &CWindowBase::OnMouseLeave},
  };
  // F10 arrives as a system key; other system keys keep their default meaning.
  UINT routed = msg;
  if ((msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) && wParam == WPARAM(VK_F10))
    routed = msg == WM_SYSKEYDOWN ? WM_KEYDOWN : WM_KEYUP;
  for (const auto& [message, handler] : handlers) {
    if (message != routed) continue;
    BOOL handled = TRUE;
    LRESULT result = (this->*handler)(wParam, lParam, handled);
    if (handled) return result;
    break;
  }
  return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

#define ZARNET_DEFAULT_HANDLER(name)                         \
  LRESULT CWindowBase::name(WPARAM, LPARAM, BOOL& handled) { \
    handled = FALSE;                                         \
    return 0;                                                \
  }
ZARNET_DEFAULT_HANDLER(OnCreate)
ZARNET_DEFAULT_HANDLER(OnPaint)
ZARNET_DEFAULT_HANDLER(OnSize)
ZARNET_DEFAULT_HANDLER(OnMouseMove)
ZARNET_DEFAULT_HANDLER(OnMouseHover)
ZARNET_DEFAULT_HANDLER(OnMouseLeave)
ZARNET_DEFAULT_HANDLER(OnLButtonDBClick)
ZARNET_DEFAULT_HANDLER(OnLButtonDown)
ZARNET_DEFAULT_HANDLER(OnLButtonUp)
ZARNET_DEFAULT_HANDLER(OnRButtonDown)
ZARNET_DEFAULT_HANDLER(OnRButtonUp)
ZARNET_DEFAULT_HANDLER(OnMButtonDown)
ZARNET_DEFAULT_HANDLER(OnMButtonUp)
ZARNET_DEFAULT_HANDLER(OnMouseWheel)
ZARNET_DEFAULT_HANDLER(OnCommand)
ZARNET_DEFAULT_HANDLER(OnCtlColorEdit)
ZARNET_DEFAULT_HANDLER(OnCtlColorStatic)
ZARNET_DEFAULT_HANDLER(OnKeyDown)
ZARNET_DEFAULT_HANDLER(OnKeyUp)
ZARNET_DEFAULT_HANDLER(OnSetCursor)
ZARNET_DEFAULT_HANDLER(OnChar)
ZARNET_DEFAULT_HANDLER(OnIMEChar)
ZARNET_DEFAULT_HANDLER(OnContextMenu)
#undef ZARNET_DEFAULT_HANDLER
