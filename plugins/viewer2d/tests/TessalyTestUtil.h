#pragma once

// A 2D viewer window in a plain host frame with a recording host, and ways to click it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DicomFixtures.h"
#include "SOTessalyWnd.h"
#include "StudySeriesList.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "tools/HostFrame.h"
#include "tools/LoadWaiter.h"

namespace tessalytest {

namespace fs = std::filesystem;

// Records what the plug-in asks of its host.
class RecordingHost : public ISOExecuter {
 public:
  struct Command {
    std::wstring plugin;
    std::string command;
    std::string text;
  };
  bool HasPlugin(const wchar_t*) override { return true; }
  bool ActivatePlugin(const wchar_t* name) override {
    activated.push_back(name ? name : L"");
    return true;
  }
  bool SetStatusText(const char*) override { return true; }
  bool SendCommand(const wchar_t* name, const char* command, void* data) override {
    Command c{name ? name : L"", command ? command : "", ""};
    if (c.command == "LOADFILES" && data) c.text = static_cast<const char*>(data);
    commands.push_back(c);
    return answer;
  }
  bool Broadcast(int id, void* data, HWND) override {
    broadcasts.push_back(id);
    if (onBroadcast) onBroadcast(id, data);
    return true;
  }
  void SetBadge(ISOPlugin*, int) override {}

  bool answer = true;
  std::vector<Command> commands;
  std::vector<std::wstring> activated;
  std::vector<int> broadcasts;
  std::function<void(int, void*)> onBroadcast;
};

class Viewer : public testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
    DuiLib::CPaintManagerUI::SetResourcePath(
        SOWin::FromUtf8((orvanta::test::ProgramFolder() / "skin").string() + "/").c_str());
    frame = std::make_unique<HostFrame>(1100, 700);
    window = new SOTessalyWnd;  // never deleted by the host either; freed in TearDown
    window->SetExecuter(&host);
    ASSERT_NE(window->CreateWnd(frame->GetWindow(), 0, 0, 1100, 700), nullptr);
    window->GetLumexa()->RegisterCallback(&waiter);
  }
  void TearDown() override {
    SOWin::SetPopupMenuHook({});
    CloseWindow();
    frame.reset();
  }
  void CloseWindow() {
    if (!window) return;
    window->GetLumexa()->UnRegisterCallback(&waiter);
    DestroyWindow(window->GetHWND());
    delete window;
    window = nullptr;
  }

  DuiLib::CPaintManagerUI& PM() { return *window->GetPaintManager(); }
  ISOLumexa* Lumexa() { return window->GetLumexa(); }
  CStudySeriesListUI* List() { return window->GetList(); }

  // Loads through the command and waits for the request to finish.
  void LoadDir(const fs::path& dir) {
    const int before = waiter.finished;
    ASSERT_TRUE(window->OnCommand("LOADDIR", const_cast<char*>(dir.c_str())));
    ASSERT_TRUE(SOWin::PumpUntil([&] { return waiter.finished > before; }, 20000));
  }

  // A user's click at the point of the plug-in window's skin.
  void ClickAt(POINT pt) { ASSERT_TRUE(DuiLib::UITest::ClickAt(PM(), pt)); }
  RECT Rect(const wchar_t* name) {
    DuiLib::CControlUI* c = PM().FindControl(name);
    EXPECT_NE(c, nullptr) << SOWin::ToUtf8(name);
    return c ? c->GetPos() : RECT{};
  }
  static POINT Centre(const RECT& rc) { return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }
  // A click on the named control's centre, or on its right edge (outside a split button's icon).
  void Click(const wchar_t* name) { ClickAt(Centre(Rect(name))); }
  void ClickArrow(const wchar_t* name) {
    const RECT rc = Rect(name);
    ClickAt({rc.right - 4, (rc.top + rc.bottom) / 2});
  }
  // A split-button menu click that chooses `id` (0 dismisses); how many menus opened.
  int ChooseFromMenu(const wchar_t* button, UINT id) {
    int menus = 0;
    SOWin::SetPopupMenuHook([&](HMENU, int, int, HWND) {
      ++menus;
      return id;
    });
    ClickArrow(button);
    SOWin::SetPopupMenuHook({});
    return menus;
  }

  RecordingHost host;
  LoadWaiter waiter;
  std::unique_ptr<HostFrame> frame;
  SOTessalyWnd* window = nullptr;
};

}  // namespace tessalytest
