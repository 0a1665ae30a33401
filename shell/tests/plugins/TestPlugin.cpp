// A plug-in for the shell's tests, built several times: with TEST_PLUGIN_KEY a working plug-in
// of that key; with TEST_PLUGIN_NULL one whose CreatePlugin answers null; with
// TEST_PLUGIN_NO_EXPORT a library without CreatePlugin.
//
// Every call is logged as "<call>@<thread id>"; the command "CALLS" with a
// std::vector<std::string>* hands the log out, "ECHO" answers true, every other command false.

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "ISOPlugin.h"

#if defined(TEST_PLUGIN_KEY)

namespace {

LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class TestPlugin : public ISOPlugin {
 public:
  const wchar_t* GetName() override {
    Log("GetName");
    return TEST_PLUGIN_KEY;
  }
  const wchar_t* GetTitle() override {
    Log("GetTitle");
    return TEST_PLUGIN_TITLE;
  }
  const wchar_t* GetIcon() override {
    Log("GetIcon");
    return L"main/tray.png";
  }
  void SetExecuter(ISOExecuter* h) override {
    Log("SetExecuter");
    host = h;
  }
  ISOExecuter* GetExecuter() override { return host; }
  bool OnCommand(const char* command, void* data) override {
    const std::string c = command ? command : "";
    if (c == "CALLS") {
      std::lock_guard<std::mutex> hold(lock);
      if (data) *static_cast<std::vector<std::string>*>(data) = calls;
      return data != nullptr;
    }
    Log("OnCommand:" + c);
    return c == "ECHO";
  }
  bool OnMessage(int id, void* data, HWND owner) override {
    Log("OnMessage:" + std::to_string(id));
    return false;
  }
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override {
    Log("CreateWnd");
    // The start-up benchmark watches for the plug-in windows: each marks its creation there.
    if (const char* mark = std::getenv("SHELL_TEST_PLUGIN_MARK"))
      std::fclose(std::fopen((std::string(mark) + "/" + std::to_string(::syscall(SYS_gettid)) + "-" +
                              std::to_string(reinterpret_cast<std::uintptr_t>(this))).c_str(), "w"));
    // Every test plug-in library shares the class: the first one to come registers it.
    static const bool registered = [] {
      WNDCLASSEXW wc;
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = ChildProc;
      wc.lpszClassName = L"SOTestPluginWnd";
      WNDCLASSEXW known;
      return RegisterClassExW(&wc) != 0 || GetClassInfoExW(nullptr, L"SOTestPluginWnd", &known);
    }();
    if (!registered) return nullptr;
    return CreateWindowExW(WS_EX_ACCEPTFILES, L"SOTestPluginWnd", L"SOTestPluginWnd", 0x56000000, x, y, cx, cy,
                           parent, nullptr, nullptr, nullptr);
  }

 private:
  void Log(const std::string& call) {
    std::lock_guard<std::mutex> hold(lock);
    calls.push_back(call + "@" + std::to_string(::syscall(SYS_gettid)));
  }

  std::mutex lock;  // guards calls: the loader thread and the UI thread both log
  std::vector<std::string> calls;
  ISOExecuter* host = nullptr;
};

}  // namespace

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() {
  return new TestPlugin;
}

#elif defined(TEST_PLUGIN_NULL)

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() {
  return nullptr;
}

#elif defined(TEST_PLUGIN_NO_EXPORT)

ORVANTA_PLUGIN_EXPORT ISOPlugin* MakePlugin() {
  return nullptr;
}

#endif
