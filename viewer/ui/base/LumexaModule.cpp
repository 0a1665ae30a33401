#include "LumexaModule.h"

#include <algorithm>
#include <vector>

#include "Lumexa.h"
#include "SOString.h"

namespace {

// The library's own address serves as its instance token.
char g_moduleToken;

std::wstring& ForegroundText() {
  static std::wstring text;
  return text;
}

struct ViewDrag {
  bool on = false;
  std::vector<HWND> painted;  // windows painted quickly since the drag began
};
thread_local ViewDrag t_viewDrag;

}  // namespace

HINSTANCE LumexaModule() {
  return reinterpret_cast<HINSTANCE>(&g_moduleToken);
}

const std::wstring& LumexaForegroundText() {
  return ForegroundText();
}

HCURSOR LumexaCursor(int id) {
  return ::LoadCursorW(LumexaModule(), MAKEINTRESOURCEW(id));
}

void SetForegroundText(const char* text) {
  ForegroundText() = SOString(text ? text : "").c_wstr();
}

void LumexaBeginViewDrag() {
  t_viewDrag.on = true;
}

void LumexaPauseViewDrag() {
  t_viewDrag.on = false;
}

void LumexaEndViewDrag(HWND repaints) {
  t_viewDrag.on = false;
  const std::vector<HWND> painted = std::move(t_viewDrag.painted);
  t_viewDrag.painted.clear();
  for (HWND window : painted) {
    if (window == repaints || !::IsWindow(window)) continue;
    ::InvalidateRect(window, nullptr, TRUE);
    ::UpdateWindow(window);
  }
}

bool LumexaInViewDrag() {
  return t_viewDrag.on;
}

void LumexaNoteQuickPaint(HWND window) {
  auto& painted = t_viewDrag.painted;
  if (std::find(painted.begin(), painted.end(), window) == painted.end()) painted.push_back(window);
}
