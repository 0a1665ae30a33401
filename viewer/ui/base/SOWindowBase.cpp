#include "SOWindowBase.h"

#include "LumexaModule.h"

namespace {

bool IsRoutedKey(WPARAM key) {
  return key == 0x10 || key == 0x11 || key == 0x2E || (key >= 0x70 && key <= 0x7B);
}

}  // namespace

SOWindowBase::SOWindowBase() = default;

SOWindowBase::~SOWindowBase() {
  DestroyOwnWindow();
}

void SOWindowBase::DestroyOwnWindow() {
  if (!hwnd_) return;
  const HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  if (!::IsWindow(hwnd)) return;
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  ::DestroyWindow(hwnd);
}

int SOWindowBase::RegisterWindowClass() {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(LumexaModule(), GetWindowClassName(), &wc)) return 1;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(WNDCLASSEXW);
  wc.style = GetWindowClassStyle();
  wc.lpfnWndProc = &SOWindowBase::_WindowProc;
  wc.hInstance = LumexaModule();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = GetWindowClassName();
  return ::RegisterClassExW(&wc) != 0 ? 1 : 0;
}

HWND SOWindowBase::Create(HWND parent, int x, int y, int cx, int cy) {
  if (!RegisterWindowClass()) return nullptr;
  hwnd_ = ::CreateWindowExW(GetWndStyleEx(), GetWindowClassName(), GetWindowName(), GetWndStyle(), x, y, cx,
                            cy, parent, nullptr, LumexaModule(), this);
  return hwnd_;
}

BOOL SOWindowBase::MoveWindow(int x, int y, int cx, int cy) {
  rect_ = RECT{x, y, x + cx, y + cy};
  return ::MoveWindow(hwnd_, x, y, cx, cy, TRUE);
}

void SOWindowBase::UpdateWindow() {
  ::InvalidateRect(hwnd_, nullptr, TRUE);
  ::UpdateWindow(hwnd_);
}

void SOWindowBase::ShowWindow(bool show) {
  ::ShowWindow(hwnd_, show ? SW_SHOW : SW_HIDE);
}

void SOWindowBase::SetFocus() {
  ::SetFocus(hwnd_);
}

RECT SOWindowBase::GetWindowRect() {
  return rect_;
}

HWND SOWindowBase::GetWindow() {
  return hwnd_;
}

LRESULT SOWindowBase::_WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  SOWindowBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    self = cs ? static_cast<SOWindowBase*>(cs->lpCreateParams) : nullptr;
    if (self) {
      self->hwnd_ = hwnd;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<SOWindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      const LRESULT result = self->HandleMessage(msg, wParam, lParam);
      if (self->hwnd_ == hwnd) self->hwnd_ = nullptr;
      return result;
    }
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->HandleMessage(msg, wParam, lParam);
}

LRESULT SOWindowBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  using Handler = LRESULT (SOWindowBase::*)(WPARAM, LPARAM, BOOL&);
  Handler handler = nullptr;
  switch (msg) {
    case WM_CREATE: handler = &SOWindowBase::OnCreate; break;
    case WM_PAINT: handler = &SOWindowBase::OnPaint; break;
    case WM_SIZE: handler = &SOWindowBase::OnSize; break;
    case WM_MOUSEMOVE: handler = &SOWindowBase::OnMouseMove; break;
    case WM_MOUSEHOVER: handler = &SOWindowBase::OnMouseHover; break;
    case WM_MOUSELEAVE: handler = &SOWindowBase::OnMouseLeave; break;
    case WM_LBUTTONDBLCLK: handler = &SOWindowBase::OnLButtonDBClick; break;
    case WM_LBUTTONDOWN: handler = &SOWindowBase::OnLButtonDown; break;
    case WM_LBUTTONUP: handler = &SOWindowBase::OnLButtonUp; break;
    case WM_RBUTTONDOWN: handler = &SOWindowBase::OnRButtonDown; break;
    case WM_RBUTTONUP: handler = &SOWindowBase::OnRButtonUp; break;
    case WM_MBUTTONDOWN: handler = &SOWindowBase::OnMButtonDown; break;
    case WM_MBUTTONUP: handler = &SOWindowBase::OnMButtonUp; break;
    case WM_MOUSEWHEEL: handler = &SOWindowBase::OnMouseWheel; break;
    case WM_COMMAND: handler = &SOWindowBase::OnCommand; break;
    case WM_CTLCOLOREDIT: handler = &SOWindowBase::OnCtlColorEdit; break;
    case WM_KEYDOWN:
      if (IsRoutedKey(wParam)) handler = &SOWindowBase::OnKeyDown;
      break;
    case WM_KEYUP:
      if (IsRoutedKey(wParam)) handler = &SOWindowBase::OnKeyUp;
      break;
    case WM_SYSKEYDOWN:
      if (wParam == 0x79) handler = &SOWindowBase::OnKeyDown;
      break;
    case WM_SYSKEYUP:
      if (wParam == 0x79) handler = &SOWindowBase::OnKeyUp;
      break;
    case WM_SETCURSOR: handler = &SOWindowBase::OnSetCursor; break;
    default: break;
  }
  BOOL handled = FALSE;
  LRESULT result = 0;
  if (handler) result = (this->*handler)(wParam, lParam, handled);
  if (!handled) result = HandleCustomerMessage(msg, wParam, lParam, handled);
  if (!handled) {
    // The handlers may have destroyed the window; answer for it only while it exists.
    const HWND hwnd = hwnd_;
    return hwnd ? ::DefWindowProcW(hwnd, msg, wParam, lParam) : 0;
  }
  return result;
}

#define SO_DEFAULT_HANDLER(name)                                  \
  LRESULT SOWindowBase::name(WPARAM, LPARAM, BOOL& handled) {     \
    handled = FALSE;                                              \
    return 0;                                                     \
  }
SO_DEFAULT_HANDLER(OnCreate)
SO_DEFAULT_HANDLER(OnPaint)
SO_DEFAULT_HANDLER(OnSize)
SO_DEFAULT_HANDLER(OnMouseMove)
SO_DEFAULT_HANDLER(OnMouseHover)
SO_DEFAULT_HANDLER(OnMouseLeave)
SO_DEFAULT_HANDLER(OnLButtonDBClick)
SO_DEFAULT_HANDLER(OnLButtonDown)
SO_DEFAULT_HANDLER(OnLButtonUp)
SO_DEFAULT_HANDLER(OnRButtonDown)
SO_DEFAULT_HANDLER(OnRButtonUp)
SO_DEFAULT_HANDLER(OnMButtonDown)
SO_DEFAULT_HANDLER(OnMButtonUp)
SO_DEFAULT_HANDLER(OnMouseWheel)
SO_DEFAULT_HANDLER(OnCommand)
SO_DEFAULT_HANDLER(OnCtlColorEdit)
SO_DEFAULT_HANDLER(OnCtlColorStatic)
SO_DEFAULT_HANDLER(OnKeyDown)
SO_DEFAULT_HANDLER(OnKeyUp)
SO_DEFAULT_HANDLER(OnSetCursor)
#undef SO_DEFAULT_HANDLER

LRESULT SOWindowBase::HandleCustomerMessage(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}
