#pragma once

// A recording window class for the platform/win tests.

#include <mutex>
#include <string>
#include <vector>

#include "SOWin32.h"
#include "TestSupport.h"

namespace wintest {

struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
};

// Every message the "Rec" class receives, in order; its answers come from Handler when set.
struct Recorder {
  std::mutex m;
  std::vector<Seen> seen;
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> handler;

  void Clear() {
    std::lock_guard lock(m);
    seen.clear();
  }
  std::vector<UINT> Messages(HWND hwnd, const std::vector<UINT>& only) {
    std::lock_guard lock(m);
    std::vector<UINT> out;
    for (auto& s : seen)
      if (s.hwnd == hwnd && std::find(only.begin(), only.end(), s.msg) != only.end()) out.push_back(s.msg);
    return out;
  }
  int Count(HWND hwnd, UINT msg) {
    std::lock_guard lock(m);
    int n = 0;
    for (auto& s : seen) n += s.hwnd == hwnd && s.msg == msg;
    return n;
  }
};

inline Recorder& Rec() {
  static Recorder r;
  return r;
}

inline LRESULT RecProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  {
    std::lock_guard lock(Rec().m);
    Rec().seen.push_back({hwnd, msg, wp, lp});
  }
  LRESULT r = 0;
  if (Rec().handler && Rec().handler(hwnd, msg, wp, lp, r)) return r;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

inline const wchar_t* RecClass(UINT style = 0) {
  static const wchar_t* names[] = {L"Rec", L"RecDbl"};
  const wchar_t* name = style & CS_DBLCLKS ? names[1] : names[0];
  WNDCLASSEXW wc;
  if (!GetClassInfoExW(nullptr, name, &wc)) {
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = RecProc;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
  }
  return name;
}

inline HWND MakeTop(int w = 200, int h = 150, DWORD style = WS_POPUP, HWND owner = nullptr) {
  orvanta::test::EnsureQtApp();
  return CreateWindowExW(0, RecClass(), L"top", style, 10, 10, w, h, owner, nullptr, nullptr, nullptr);
}

inline HWND MakeChild(HWND parent, int x, int y, int w, int h, UINT classStyle = 0) {
  return CreateWindowExW(0, RecClass(classStyle), L"child", WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                         nullptr, nullptr, nullptr);
}

}  // namespace wintest
