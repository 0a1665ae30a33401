#pragma once

// Messages and helpers shared by the film plug-in's windows.

#include "UIlib.h"

namespace brenvik {

// Posted by the layout picker's handler to the plug-in window: wParam rows, lParam columns.
constexpr UINT WM_SO_IMAGELAYOUT = 1026;
// Posted to the print queue dialog when the queue changed.
constexpr UINT WM_SO_PRINTQUEUE_CHANGED = 8065;

// Creates the window owned by owner, centres it and runs it modally.
inline UINT RunModal(DuiLib::CWindowWnd& window, HWND owner, const wchar_t* name) {
  if (!window.Create(owner, name, 0xCF0000, 0, 0, 0, 0, 0)) return 0;
  window.CenterWindow();
  return window.ShowModal();
}

template <class T>
T* Find(DuiLib::CPaintManagerUI& pm, const wchar_t* name) {
  return dynamic_cast<T*>(pm.FindControl(name));
}

}  // namespace brenvik
