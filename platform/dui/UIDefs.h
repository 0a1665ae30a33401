#pragma once

// Basic types of the skin engine: strings, notifications, events, delegates.

#include "UIWin.h"

#include <algorithm>
#include <cstdarg>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;

// Wide UI text.
class CDuiString {
 public:
  CDuiString() = default;
  CDuiString(const wchar_t* s) : s_(s ? s : L"") {}
  CDuiString(const wchar_t* s, int len) : s_(s ? std::wstring(s, len < 0 ? wcslen(s) : size_t(len)) : L"") {}
  CDuiString(wchar_t c) : s_(1, c) {}
  CDuiString(std::wstring s) : s_(std::move(s)) {}

  int GetLength() const { return int(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  wchar_t GetAt(int i) const { return s_[size_t(i)]; }
  wchar_t operator[](int i) const { return s_[size_t(i)]; }
  void SetAt(int i, wchar_t c) { s_[size_t(i)] = c; }
  const wchar_t* GetData() const { return s_.c_str(); }
  operator const wchar_t*() const { return s_.c_str(); }
  const std::wstring& str() const { return s_; }
  void Assign(const wchar_t* s, int len = -1) { *this = CDuiString(s, len); }
  void Append(const wchar_t* s) { s_ += s ? s : L""; }

  CDuiString& operator+=(const CDuiString& o) {
    s_ += o.s_;
    return *this;
  }
  CDuiString& operator+=(const wchar_t* o) {
    s_ += o ? o : L"";
    return *this;
  }
  CDuiString& operator+=(wchar_t c) {
    s_ += c;
    return *this;
  }
  friend CDuiString operator+(const CDuiString& a, const CDuiString& b) { return CDuiString(a.s_ + b.s_); }
  friend CDuiString operator+(const CDuiString& a, const wchar_t* b) {
    return CDuiString(a.s_ + (b ? b : L""));
  }
  friend CDuiString operator+(const wchar_t* a, const CDuiString& b) {
    return CDuiString((a ? a : L"") + b.s_);
  }
  bool operator==(const CDuiString& o) const { return s_ == o.s_; }
  bool operator==(const wchar_t* o) const { return s_ == (o ? o : L""); }
  bool operator!=(const wchar_t* o) const { return !(*this == o); }
  bool operator<(const CDuiString& o) const { return s_ < o.s_; }

  int Compare(const wchar_t* o) const { return s_.compare(o ? o : L""); }
  int CompareNoCase(const wchar_t* o) const;
  void MakeUpper();
  void MakeLower();
  CDuiString Left(int n) const { return s_.substr(0, size_t(std::max(0, n))); }
  CDuiString Mid(int pos, int n = -1) const;
  CDuiString Right(int n) const;
  int Find(wchar_t c, int from = 0) const;
  int Find(const wchar_t* s, int from = 0) const;
  int ReverseFind(wchar_t c) const;
  int Replace(const wchar_t* from, const wchar_t* to);
  // The C library's wide printf: %ls for wide strings, %s for narrow ones.
  int Format(const wchar_t* fmt, ...);
  int FormatV(const wchar_t* fmt, va_list args);

 private:
  std::wstring s_;
};

// A resource named by text or by number.
struct STRINGorID {
  STRINGorID(const wchar_t* s) : m_lpstr(s) {}
  STRINGorID(unsigned int id) : m_id(id) {}
  const wchar_t* m_lpstr = nullptr;
  unsigned int m_id = 0;
};

// A notification of a control to the window's notifiers.
struct TNotifyUI {
  CDuiString sType;
  CDuiString sVirtualWnd;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual void Notify(TNotifyUI& msg) = 0;

 protected:
  ~INotifyUI() = default;
};

// Sees window messages before the paint manager handles them.
class IMessageFilterUI {
 public:
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

// Input events inside the window, delivered to controls.
enum EVENTTYPE_UI {
  UIEVENT__FIRST = 1,
  UIEVENT__KEYBEGIN,
  UIEVENT_KEYDOWN,
  UIEVENT_KEYUP,
  UIEVENT_CHAR,
  UIEVENT_SYSKEY,
  UIEVENT__KEYEND,
  UIEVENT__MOUSEBEGIN,
  UIEVENT_MOUSEMOVE,
  UIEVENT_MOUSELEAVE,
  UIEVENT_MOUSEENTER,
  UIEVENT_MOUSEHOVER,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_RBUTTONDOWN,
  UIEVENT_DBLCLICK,
  UIEVENT_CONTEXTMENU,
  UIEVENT_SCROLLWHEEL,
  UIEVENT__MOUSEEND,
  UIEVENT_KILLFOCUS,
  UIEVENT_SETFOCUS,
  UIEVENT_WINDOWSIZE,
  UIEVENT_SETCURSOR,
  UIEVENT_TIMER,
  UIEVENT_NOTIFY,
  UIEVENT_COMMAND,
  UIEVENT__LAST,
};

struct TEventUI {
  int Type = 0;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  wchar_t chKey = 0;
  WORD wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Control state flags used by painting.
enum {
  UISTATE_FOCUSED = 0x01,
  UISTATE_SELECTED = 0x02,
  UISTATE_DISABLED = 0x04,
  UISTATE_HOT = 0x08,
  UISTATE_PUSHED = 0x10,
  UISTATE_READONLY = 0x20,
  UISTATE_CAPTURED = 0x40,
};

// Flags of FindControl walks.
enum {
  UIFIND_ALL = 0x00,
  UIFIND_VISIBLE = 0x01,
  UIFIND_ENABLED = 0x02,
  UIFIND_HITTEST = 0x04,
  UIFIND_TOP_FIRST = 0x08,
  UIFIND_ME_FIRST = 0x80,
};

// Text alignment flags of the label family (DrawText's values).
enum {
  DT_TOP_UI = 0x0,
  DT_LEFT_UI = 0x0,
  DT_CENTER_UI = 0x1,
  DT_RIGHT_UI = 0x2,
  DT_VCENTER_UI = 0x4,
  DT_BOTTOM_UI = 0x8,
  DT_WORDBREAK_UI = 0x10,
  DT_SINGLELINE_UI = 0x20,
  DT_END_ELLIPSIS_UI = 0x8000,
};

// A bound handler of a control event or notification: bool handler(void* param), where
// param is a TNotifyUI* for OnNotify, a TEventUI* for OnEvent and the control for OnSize.
// Returning false stops the remaining handlers (and, for OnEvent, the control's own).
class CDelegateBase {
 public:
  CDelegateBase(std::function<bool(void*)> fn, const void* object, std::string method)
      : fn_(std::move(fn)), object_(object), method_(std::move(method)) {}
  bool operator()(void* param) const { return fn_(param); }
  bool Equals(const CDelegateBase& o) const { return object_ == o.object_ && method_ == o.method_; }

 private:
  std::function<bool(void*)> fn_;
  const void* object_;
  std::string method_;  // bytes of the member pointer, so that -= finds the same binding
};

template <class O, class T>
CDelegateBase MakeDelegate(O* object, bool (T::*method)(void*)) {
  std::string key(reinterpret_cast<const char*>(&method), sizeof(method));
  return CDelegateBase([object, method](void* p) { return (object->*method)(p); }, object, key);
}

inline CDelegateBase MakeDelegate(bool (*fn)(void*)) {
  return CDelegateBase(fn, reinterpret_cast<const void*>(fn), std::string());
}

class CEventSource {
 public:
  void operator+=(const CDelegateBase& d);
  void operator+=(bool (*fn)(void*)) { *this += MakeDelegate(fn); }
  void operator-=(const CDelegateBase& d);
  void operator-=(bool (*fn)(void*)) { *this -= MakeDelegate(fn); }
  // Calls every handler in order until one returns false; true when none did.
  bool operator()(void* param);
  explicit operator bool() const { return !delegates_.empty(); }
  void Clear() { delegates_.clear(); }

 private:
  std::vector<CDelegateBase> delegates_;
};

// User data that a control deletes together with itself.
class CDeleteObject {
 public:
  virtual ~CDeleteObject() = default;
};

// Colours in skins are 0xAARRGGBB.
DWORD ParseColor(const wchar_t* text);
// "l,t,r,b" into a RECT; missing numbers stay 0.
RECT ParseRect(const wchar_t* text);
SIZE ParseSize(const wchar_t* text);
bool ParseBool(const wchar_t* text);

// The name="value" pairs of an attribute list (quotes " or '), in order; parsing stops at the
// first malformed pair.
using AttributePairs = std::vector<std::pair<std::wstring, std::wstring>>;
AttributePairs ParseAttributeList(const wchar_t* list);

}  // namespace DuiLib
