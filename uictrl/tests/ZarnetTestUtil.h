#pragma once

// Shared pieces of the Zarnet tests: the skins, a recording parent window, screenshots.

#include "TestSupport.h"
#include "UITestDriver.h"
#include "Zarnet.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace zarnettest {

// The boxes read the project's own runtime skins.
inline void UseRuntimeSkins() {
  orvanta::test::EnsureQtApp();
  auto skins = orvanta::test::SourceRoot() / "runtime" / "skin";
  DuiLib::CPaintManagerUI::SetResourcePath((skins.wstring() + L"/").c_str());
}

inline std::filesystem::path TestSkin(const char* name) {
  return orvanta::test::SourceRoot() / "uictrl" / "tests" / "skins" / name;
}

struct Received {
  UINT msg;
  WPARAM wParam;
};

// A hidden top-level window that records the messages in [WM_USER, 0xBFFF] it receives.
// onMessage, when set, runs for each of them.
class RecordingParent {
 public:
  RecordingParent() {
    WNDCLASSEXW wc{};
    if (!GetClassInfoExW(nullptr, L"ZarnetTestParent", &wc)) {
      wc = WNDCLASSEXW{};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &RecordingParent::Proc;
      wc.lpszClassName = L"ZarnetTestParent";
      RegisterClassExW(&wc);
    }
    hwnd = CreateWindowExW(0, L"ZarnetTestParent", L"parent", WS_POPUP, 100, 100, 800, 600, nullptr, nullptr,
                           nullptr, this);
  }
  ~RecordingParent() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  int Count(UINT msg) const {
    int n = 0;
    for (const Received& r : received) n += r.msg == msg;
    return n;
  }

  HWND hwnd = nullptr;
  std::vector<Received> received;
  std::function<void(UINT)> onMessage;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE)
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<RecordingParent*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_USER && msg < 0xC000) {
      self->received.push_back({msg, wParam});
      if (self->onMessage) self->onMessage(msg);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
};

// The skinned window behind a handle.
inline DuiLib::WindowImplBase* SkinnedWindow(HWND hwnd) {
  return dynamic_cast<DuiLib::WindowImplBase*>(
      reinterpret_cast<DuiLib::CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
}

// Saves a screenshot of the window for a person to look at: into $ZARNET_PNG_DIR when set,
// else into the test's scratch folder. False when it could not be written.
inline bool Screenshot(HWND hwnd, const std::string& name) {
  const char* keep = std::getenv("ZARNET_PNG_DIR");
  std::filesystem::path dir = keep ? std::filesystem::path(keep) : orvanta::test::MakeTempDir("png");
  std::filesystem::create_directories(dir);
  return SOWin::SaveWindowImage(hwnd, (dir / (name + ".png")).string());
}

}  // namespace zarnettest
