#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "CMainFrameWnd.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "SOStandaloneWnd.h"
#include "ShellMessages.h"
#include "ShellTestUtil.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

std::vector<std::string> Calls(ISOPlugin* plugin) {
  std::vector<std::string> calls;
  plugin->OnCommand("CALLS", &calls);
  return calls;
}

// The calls of one name, without their thread.
std::vector<std::string> CallNames(ISOPlugin* plugin) {
  std::vector<std::string> names;
  for (const auto& call : Calls(plugin)) names.push_back(call.substr(0, call.find('@')));
  return names;
}

std::string ThreadOf(ISOPlugin* plugin, const std::string& call) {
  for (const auto& c : Calls(plugin))
    if (c.compare(0, call.size() + 1, call + "@") == 0) return c.substr(call.size() + 1);
  return {};
}

RECT ScreenRect(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class MainFrame : public testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    shelltest::FreshRegistry();
  }
  void TearDown() override {
    if (frame && IsWindow(frame->GetHWND())) DestroyWindow(frame->GetHWND());
    DrainQuit();
    frame.reset();
  }
  // A destroyed frame posts the quit message; take it so the next test's loops run.
  static void DrainQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  // Opens a frame over a program folder listing `libraries`, waits until its plug-in windows
  // exist.
  void Open(const std::vector<std::string>& libraries, UINT delayMs = 50, bool tray = true) {
    const auto dir = shelltest::MakeProgramDir(libraries);
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
    CMainFrameWnd::Options options;
    options.programDir = dir.string() + "/";
    options.plugins = libraries;
    options.startupDelayMs = delayMs;
    options.trayAvailable = tray ? 1 : 0;
    frame = std::make_unique<CMainFrameWnd>(options);
    ASSERT_NE(frame->CreateFrame(), nullptr);
    ASSERT_TRUE(SOWin::PumpUntil([&] { return frame->IsCreated(); }, 5000));
  }

  CPaintManagerUI& PM() { return *frame->GetPaintManager(); }
  ISOPlugin* Plugin(size_t i) { return frame->GetPlugins().at(i).plugin; }
  HWND Window(size_t i) { return frame->GetPlugins().at(i).window; }

  std::unique_ptr<CMainFrameWnd> frame;
};

TEST_F(MainFrame, LoadsTheGoodPluginsAndCreatesTheirWindowsInOrderOnTheRightThreads) {
  Open({"libMissing.so", "libTestNoExport.so", "libTestNull.so", "libTestA.so", "libTestB.so"});
  const std::string ui = shelltest::ThreadTag();
  ASSERT_EQ(frame->GetPlugins().size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ISOPlugin* plugin = Plugin(i);
    EXPECT_EQ(CallNames(plugin),
              (std::vector<std::string>{"SetExecuter", "GetName", "GetIcon", "CreateWnd", "GetTitle"}));
    const std::string loader = ThreadOf(plugin, "SetExecuter");
    EXPECT_NE(loader, ui);
    EXPECT_EQ(ThreadOf(plugin, "GetIcon"), loader);
    EXPECT_EQ(ThreadOf(plugin, "CreateWnd"), ui);
    EXPECT_EQ(ThreadOf(plugin, "GetTitle"), ui);
  }
  EXPECT_EQ(frame->GetPlugins()[0].name, L"TestA");
  EXPECT_EQ(frame->GetPlugins()[1].title, L"Studies");

  // The bar: one item per plug-in, option named by key and showing the title; the first on view.
  auto* bar = dynamic_cast<CContainerUI*>(PM().FindControl(L"pluginBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetCount(), 2);
  auto* optionB = dynamic_cast<COptionUI*>(PM().FindControl(L"TestB"));
  ASSERT_NE(optionB, nullptr);
  EXPECT_EQ(optionB->GetText(), L"Studies");
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM().FindControl(L"TestA"))->IsSelected());
  EXPECT_TRUE(IsWindowVisible(Window(0)));
  EXPECT_FALSE(IsWindowVisible(Window(1)));
  EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(PM().FindControl(L"tabLayout"))->GetCurSel(), 0);

  // A stray third WM_SO_CREATEPLUGINS changes nothing.
  PostMessageW(frame->GetHWND(), WM_SO_CREATEPLUGINS, 0, 0);
  SOWin::PumpEvents(30);
  EXPECT_EQ(bar->GetCount(), 2);
  EXPECT_EQ(CallNames(Plugin(0)).size(), 5u);
}

TEST_F(MainFrame, PluginWindowsWaitForTheStartUpTimer) {
  const auto start = std::chrono::steady_clock::now();
  Open({"libTestA.so"}, 400);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST_F(MainFrame, HostRoutesCommandsBroadcastsAndBadges) {
  Open({"libTestA.so", "libTestB.so", "libTestC.so"});
  CMainFrameWnd& host = *frame;

  EXPECT_TRUE(host.HasPlugin(L"TestB"));
  EXPECT_FALSE(host.HasPlugin(L"testb"));
  EXPECT_FALSE(host.HasPlugin(nullptr));

  EXPECT_TRUE(host.SendCommand(L"TestB", "ECHO", nullptr));
  EXPECT_FALSE(host.SendCommand(L"TestB", "OTHER", nullptr));
  EXPECT_FALSE(host.SendCommand(L"testb", "ECHO", nullptr));
  EXPECT_FALSE(host.SendCommand(L"Nobody", "ECHO", nullptr));
  const auto b = CallNames(Plugin(1));
  EXPECT_EQ(std::count(b.begin(), b.end(), "OnCommand:ECHO"), 1);
  EXPECT_EQ(std::count(b.begin(), b.end(), "OnCommand:OTHER"), 1);

  // Every plug-in hears a broadcast, in load order, the sender too.
  EXPECT_TRUE(host.Broadcast(SOMSG_VIEW_FILES, nullptr, nullptr));
  std::vector<std::string> heard;
  for (size_t i = 0; i < 3; ++i) {
    for (const auto& call : Calls(Plugin(i)))
      if (call.rfind("OnMessage:", 0) == 0) heard.push_back(std::to_string(i) + call.substr(0, call.find('@')));
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"0OnMessage:327681", "1OnMessage:327681", "2OnMessage:327681"}));

  auto* item = dynamic_cast<CContainerUI*>(frame->GetPlugins()[1].barItem);
  ASSERT_NE(item, nullptr);
  CControlUI* badge = item->GetItemAt(2);
  struct {
    ISOPlugin* plugin;
    int count;
    bool visible;
    const wchar_t* text;
  } badges[] = {{Plugin(1), 12, true, L"12"}, {Plugin(1), 0, false, L"12"}, {Plugin(1), 3, true, L"3"},
                {Plugin(1), -3, false, L"3"}, {Plugin(1), 5, true, L"5"},  {nullptr, 0, true, L"5"}};
  for (const auto& c : badges) {
    host.SetBadge(c.plugin, c.count);
    EXPECT_EQ(badge->IsVisible(), c.visible) << c.count;
    EXPECT_EQ(badge->GetText(), c.text) << c.count;
  }
  int other = 0;
  host.SetBadge(reinterpret_cast<ISOPlugin*>(&other), 9);
  EXPECT_EQ(badge->GetText(), L"5");
}

TEST_F(MainFrame, SelectingAnItemShowsItsPluginAndActivateDoesTheSame) {
  Open({"libTestA.so", "libTestB.so", "libTestC.so"});
  ASSERT_TRUE(UITest::Click(PM(), L"TestB"));
  UITest::ProcessEvents(10);
  EXPECT_FALSE(IsWindowVisible(Window(0)));
  EXPECT_TRUE(IsWindowVisible(Window(1)));
  EXPECT_FALSE(IsWindowVisible(Window(2)));

  EXPECT_TRUE(frame->ActivatePlugin(L"TestC"));
  EXPECT_TRUE(frame->ActivatePlugin(L"Unknown"));
  EXPECT_TRUE(IsWindowVisible(Window(2)));
  EXPECT_FALSE(IsWindowVisible(Window(1)));
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM().FindControl(L"TestC"))->IsSelected());
}

TEST_F(MainFrame, PluginWindowsFollowThePanel) {
  Open({"libTestA.so", "libTestB.so"});
  MoveWindow(frame->GetHWND(), 50, 40, 900, 640, TRUE);
  UITest::ProcessEvents(20);
  RECT panel = PM().FindControl(L"mainPanel")->GetPos();
  POINT topLeft{panel.left, panel.top}, bottomRight{panel.right, panel.bottom};
  ClientToScreen(frame->GetHWND(), &topLeft);
  ClientToScreen(frame->GetHWND(), &bottomRight);
  const RECT expected{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  EXPECT_LT(panel.right - panel.left, 900);
  for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(SameRect(ScreenRect(Window(i)), expected)) << i;
}

TEST_F(MainFrame, StatusTextFromAWorkerReachesTheLabelOnTheUiThread) {
  Open({"libTestA.so"});
  std::thread worker([&] { frame->SetStatusText("Importing 3/7"); });
  worker.join();
  CControlUI* label = PM().FindControl(L"statusTextLabel");
  ASSERT_TRUE(SOWin::PumpUntil([&] { return label->GetText() == L"Importing 3/7"; }, 2000));
  EXPECT_TRUE(frame->SetStatusText(nullptr));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return label->GetText().IsEmpty(); }, 2000));
}

TEST_F(MainFrame, CloseHidesWithATrayAndEndsWithout) {
  Open({"libTestA.so"});
  const HWND hwnd = frame->GetHWND();
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));

  // The tray's left click brings it back; a minimised frame is restored.
  SendMessageW(hwnd, WM_SO_TRAYNOTIFY, 1, WM_LBUTTONUP);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  ShowWindow(hwnd, SW_MINIMIZE);
  SendMessageW(hwnd, WM_SO_TRAYNOTIFY, 1, WM_LBUTTONUP);
  EXPECT_FALSE(IsIconic(hwnd));

  // Other forms of the session messages are left alone; the application-close ones end it.
  EXPECT_EQ(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 1), 1);
  SendMessageW(hwnd, WM_ENDSESSION, 0, 1);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(SendMessageW(hwnd, WM_ENDSESSION, 1, 1), 1);
  EXPECT_FALSE(IsWindow(hwnd));
  // The destroyed frame ended the message loop with 0.
  MSG msg;
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 0u);
  frame.reset();

  Open({"libTestA.so"}, 50, false);
  const HWND second = frame->GetHWND();
  SendMessageW(second, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(second));
}

TEST_F(MainFrame, TrayMenuCloseEndsTheProgramEvenWhenHidden) {
  Open({"libTestA.so"});
  const HWND hwnd = frame->GetHWND();
  EXPECT_EQ(SOWin::TrayIconCount(), 1);
  ShowWindow(hwnd, SW_HIDE);
  SendMessageW(hwnd, WM_SO_TRAYNOTIFY, 1, WM_RBUTTONUP);
  HWND menu = FindWindowW(L"MenuWnd", nullptr);
  ASSERT_NE(menu, nullptr);
  // The menu's item comes back to "settingbtn" as a notification named after it.
  PM().SendNotify(PM().FindControl(L"settingbtn"), L"menu_close");
  CPaintManagerUI::MessageLoop();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(SOWin::TrayIconCount(), 0);
}

TEST_F(MainFrame, UndockingAndClosingTheStandaloneWindowDocksBack) {
  Open({"libTestA.so", "libTestB.so"});
  // Undock A: B comes on view in the frame, A lives in its own window.
  ASSERT_TRUE(UITest::Click(PM(), L"splitWndBtn"));
  UITest::ProcessEvents(20);
  const SOPluginItem& a = frame->GetPlugins()[0];
  ASSERT_NE(a.standaloneWindow, nullptr);
  const HWND standalone = a.standaloneWindow->GetHWND();
  EXPECT_EQ(GetParent(a.window), standalone);
  EXPECT_TRUE(IsWindowVisible(a.window));
  EXPECT_TRUE(IsWindowVisible(Window(1)));
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM().FindControl(L"TestB"))->IsSelected());

  // Choosing the undocked item raises its window; the bar stays on the docked one on view.
  ASSERT_TRUE(UITest::Click(PM(), L"TestA"));
  UITest::ProcessEvents(10);
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM().FindControl(L"TestB"))->IsSelected());
  EXPECT_TRUE(IsWindowVisible(Window(1)));

  // Undock B too: the frame's panel is empty.
  ASSERT_TRUE(UITest::Click(PM(), L"splitWndBtn"));
  UITest::ProcessEvents(20);
  ASSERT_NE(frame->GetPlugins()[1].standaloneWindow, nullptr);
  EXPECT_EQ(GetParent(Window(1)), frame->GetPlugins()[1].standaloneWindow->GetHWND());

  // Closing A's window docks it back at the panel's size, selected and on view.
  SendMessageW(standalone, WM_CLOSE, 0, 0);
  UITest::ProcessEvents(20);
  EXPECT_FALSE(IsWindow(standalone));
  EXPECT_EQ(a.standaloneWindow, nullptr);
  EXPECT_EQ(GetParent(a.window), frame->GetHWND());
  EXPECT_TRUE(IsWindowVisible(a.window));
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM().FindControl(L"TestA"))->IsSelected());
  RECT panel = PM().FindControl(L"mainPanel")->GetPos();
  RECT client{};
  GetWindowRect(a.window, &client);
  EXPECT_EQ(client.right - client.left, panel.right - panel.left);
  EXPECT_EQ(client.bottom - client.top, panel.bottom - panel.top);

  // A re-dock message about an item the frame does not hold is ignored.
  SOPluginItem stranger;
  EXPECT_EQ(SendMessageW(frame->GetHWND(), WM_SO_REDOCK, reinterpret_cast<WPARAM>(&stranger), 0), 0);
  SendMessageW(frame->GetPlugins()[1].standaloneWindow->GetHWND(), WM_CLOSE, 0, 0);
}

TEST_F(MainFrame, FolderImportRegistersEveryDicomFileInPlace) {
  Open({"libTestA.so"});
  const auto folder = orvanta::test::MakeTempDir("import");
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 3;
  ct.rows = ct.columns = 16;
  const auto series = orvanta::fixtures::WriteCtSeries(folder / "sub", ct);
  std::ofstream(folder / "notes.txt") << "not DICOM";
  // The path travels within its length; the bytes after it are not part of it.
  std::string bytes = folder.string() + std::string("\0garbage", 8);
  COPYDATASTRUCT data;
  data.cbData = static_cast<DWORD>(folder.string().size());
  data.lpData = bytes.data();
  SendMessageW(frame->GetHWND(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  // A file instead of a folder and a message without data import nothing.
  std::string file = (folder / "notes.txt").string();
  data.cbData = static_cast<DWORD>(file.size());
  data.lpData = file.data();
  SendMessageW(frame->GetHWND(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  SendMessageW(frame->GetHWND(), WM_COPYDATA, 0, 0);
  ASSERT_TRUE(ShellWorkers().WaitAll(10000));

  std::vector<PatientRecord> studies;
  ASSERT_TRUE(Gossamy::LocalDB()->GetPatientRecords(studies, nullptr, true));
  std::erase_if(studies, [&](const PatientRecord& s) { return s.studyUID != series.studyUid; });
  ASSERT_EQ(studies.size(), 1u);
  ASSERT_EQ(studies[0].series.size(), 1u);
  ASSERT_EQ(studies[0].series[0].instances.size(), 3u);
  for (const auto& instance : studies[0].series[0].instances)
    EXPECT_EQ(std::filesystem::path(instance.storePath).parent_path(), folder / "sub");
}

}  // namespace

namespace {

TEST_F(MainFrame, EndingTheSessionDuringAModalDialogUnwindsEveryLoop) {
  Open({"libTestA.so"});
  const HWND hwnd = frame->GetHWND();
  // The settings dialog opens from the frame's button; the end comes while it runs (as SIGTERM
  // does, through a posted message).
  bool ended = false;
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* w) {
    PostMessageW(hwnd, WM_ENDSESSION, 1, 1);
    SOWin::PumpUntil([&] { return !IsWindow(w->GetHWND()); }, 2000);
    ended = !IsWindow(hwnd);
  });
  ASSERT_TRUE(UITest::Click(PM(), L"settingbtn"));
  EXPECT_TRUE(ended);
  EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
