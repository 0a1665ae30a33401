#pragma once

#include "SOWin32.h"

// A plain top-level window standing in for the shell's panel that plug-in windows live in.
inline HWND MakeHostWindow(int width, int height) {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    wc.lpszClassName = L"QuillonTestHost";
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
  return CreateWindowExW(0, L"QuillonTestHost", L"host", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                         nullptr);
}
