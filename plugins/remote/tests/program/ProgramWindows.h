#pragma once

// The plug-in's windows in the running program, reached the way a test without the plug-in's
// code can: by handle and window class.

#include <string>
#include <vector>

#include "UIlib.h"

inline DuiLib::WindowImplBase* WindowOf(HWND hwnd) {
  return hwnd ? dynamic_cast<DuiLib::WindowImplBase*>(
                    reinterpret_cast<DuiLib::CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
              : nullptr;
}

// Child windows of a class, in creation order.
inline std::vector<DuiLib::WindowImplBase*> Children(HWND parent, const std::wstring& windowClass) {
  std::vector<DuiLib::WindowImplBase*> found;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (windowClass == name)
      if (DuiLib::WindowImplBase* window = WindowOf(child)) found.push_back(window);
  }
  return found;
}
