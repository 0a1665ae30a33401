#include "LumexaModule.h"

#include "Lumexa.h"
#include "SOString.h"

namespace {

// The library's own address serves as its instance token.
char g_moduleToken;

std::wstring& ForegroundText() {
  static std::wstring text;
  return text;
}

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
