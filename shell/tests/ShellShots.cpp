// The shell's windows as users see them, for the shots tool.

#include "CMainFrameWnd.h"
#include "Gossamy.h"
#include "SOSettingDlg.h"
#include "SOSystemConfig.h"
#include "SOStandaloneWnd.h"
#include "Shots.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

// The shell's test plug-ins stand in for the real ones: blank pages with a bar item each.
std::string TestPluginDir(const shots::Context& ctx) {
  return (ctx.programDir.parent_path() / "tests" / "shell_plugins").string() + "/";
}

CMainFrameWnd* OpenFrame(const shots::Context& ctx, const std::vector<std::string>& plugins) {
  CMainFrameWnd::Options options;
  options.programDir = TestPluginDir(ctx);
  options.plugins = plugins;
  options.startupDelayMs = 10;
  options.trayAvailable = 1;
  auto* frame = new CMainFrameWnd(options);
  frame->CreateFrame();
  SOWin::PumpUntil([&] { return frame->IsCreated(); }, 3000);
  MoveWindow(frame->GetHWND(), 0, 0, 1100, 700, TRUE);
  return frame;
}

void CloseFrame(CMainFrameWnd* frame) {
  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  delete frame;
}

}  // namespace

ORVANTA_SHOT("main/main_frame") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so", "libTestB.so", "libTestC.so"});
  frame->SetBadge(frame->GetPlugins().at(1).plugin, 3);
  frame->SetStatusText("Importing 3/7 ...");
  SOWin::PumpEvents(20);
  return {frame->GetHWND(), [frame] { CloseFrame(frame); }};
}

ORVANTA_SHOT("main/main_frame_small") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so", "libTestB.so"});
  MoveWindow(frame->GetHWND(), 0, 0, 600, 320, TRUE);
  return {frame->GetHWND(), [frame] { CloseFrame(frame); }};
}

ORVANTA_SHOT("main/standalone_window") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so", "libTestB.so"});
  UITest::Click(*frame->GetPaintManager(), L"splitWndBtn");
  SOWin::PumpEvents(20);
  const HWND standalone = frame->GetPlugins().at(0).standaloneWindow->GetHWND();
  MoveWindow(standalone, 0, 0, 800, 500, TRUE);
  return {standalone, [frame] { CloseFrame(frame); }};
}

ORVANTA_SHOT("main/tray_menu") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so"});
  auto* menu = new MenuWnd;
  menu->Init(frame->GetPaintManager()->FindControl(L"settingbtn"), L"main/NotifyIcon_Menu.xml", POINT{100, 100});
  SOWin::PumpEvents(10);
  return {menu->GetHWND(), [frame] { CloseFrame(frame); }};
}

namespace {

// The settings dialog with the language in effect; `chosen` another one waiting for a restart.
void OpenSettings(const shots::Context& ctx, const wchar_t* chosen, bool aboutPage) {
  Gossamy::WriteHKCU("Local", ctx.language.c_str());
  SOSystemConfig config(ctx.programDir.string() + "/");
  config.InitLanguage();
  if (chosen) config.SetLanguage(chosen);
  UITest::OnModal(L"SOSettingDlg", [&ctx, aboutPage](CWindowWnd* w) {
    auto* dialog = static_cast<SOSettingDlg*>(w);
    if (aboutPage) UITest::Click(*dialog->GetPaintManager(), L"remoteOpt");
    SOWin::PumpEvents(10);
    ctx.save(w->GetHWND());
    dialog->Close(IDCANCEL);
  });
  SOSettingDlg::Run(nullptr, &config);
}

}  // namespace

ORVANTA_SHOT("main/settings") {
  OpenSettings(ctx, nullptr, false);
  return {};
}

ORVANTA_SHOT("main/settings_restart_notice") {
  OpenSettings(ctx, ctx.language == "en_US" ? L"zh_CN" : L"en_US", false);
  return {};
}

ORVANTA_SHOT("main/settings_about") {
  OpenSettings(ctx, nullptr, true);
  return {};
}
