// The shell's windows as users see them, for the shots tool.

#include <functional>

#include "AppUpdate.h"
#include "CFindPasswordDlg.h"
#include "CLoginDlg.h"
#include "CMainFrameWnd.h"
#include "CRegisterDlg.h"
#include "Gossamy.h"
#include "PersonalInfoDlg.h"
#include "SOSettingDlg.h"
#include "SOStandaloneWnd.h"
#include "SOSystemConfig.h"
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

namespace {

// Opens a modal dialog with `run`, lets `fill` set it up inside its loop, saves and closes it.
template <class Fill>
void ShootDialog(const shots::Context& ctx, const wchar_t* windowClass, Fill fill, const std::function<void()>& run) {
  UITest::OnModal(windowClass, [&ctx, fill](CWindowWnd* w) {
    auto* dialog = static_cast<WindowImplBase*>(w);
    fill(*dialog->GetPaintManager());
    dialog->GetPaintManager()->UpdateLayout();
    SOWin::PumpEvents(10);
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  run();
}

void SelectPage(CPaintManagerUI& pm, const wchar_t* tabs, int page) {
  if (auto* layout = dynamic_cast<CTabLayoutUI*>(pm.FindControl(tabs))) layout->SelectItem(page);
}

void SetText(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text) {
  if (CControlUI* c = pm.FindControl(name)) c->SetText(text);
}

void ShowState(CPaintManagerUI& pm, const wchar_t* layout, int state) {
  if (auto* c = dynamic_cast<CContainerUI*>(pm.FindControl(layout)))
    for (int i = 0; i < c->GetCount(); ++i) c->GetItemAt(i)->SetVisible(i == state);
}

}  // namespace

ORVANTA_SHOT("main/login") {
  ShootDialog(ctx, L"CLoginDlg", [](CPaintManagerUI& pm) { SetText(pm, L"userNameEdit", L"doctor"); },
              [] { CLoginDlg::Run(nullptr, nullptr, false); });
  return {};
}

ORVANTA_SHOT("main/login_error") {
  ShootDialog(ctx, L"CLoginDlg",
              [](CPaintManagerUI& pm) {
                SetText(pm, L"userNameEdit", L"doctor");
                SetText(pm, L"passwordEdit", L"secret");
                SetText(pm, L"errorLabel", ui_gettext(L"Incorrect username or password!"));
              },
              [] { CLoginDlg::Run(nullptr, nullptr, false); });
  return {};
}

ORVANTA_SHOT("main/login_waiting") {
  ShootDialog(ctx, L"CLoginDlg", [](CPaintManagerUI& pm) { SelectPage(pm, L"tabLayout", 1); },
              [] { CLoginDlg::Run(nullptr, nullptr, false); });
  return {};
}

ORVANTA_SHOT("main/login_menu") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so"});
  auto* menu = new MenuWnd;
  menu->Init(frame->GetPaintManager()->FindControl(L"settingbtn"), L"main/LoginMenu.xml", POINT{100, 100});
  SOWin::PumpEvents(10);
  return {menu->GetHWND(), [frame] { CloseFrame(frame); }};
}

ORVANTA_SHOT("main/register") {
  ShootDialog(ctx, L"CRegisterDlg",
              [](CPaintManagerUI& pm) {
                SetText(pm, L"userNameEdit", L"1doctor");
                ShowState(pm, L"userNameLabelLayout", 1);
                ShowState(pm, L"passwordLabelLayout", 2);
                SetText(pm, L"phoneEdit", L"13812345678");
                ShowState(pm, L"phoneLabelLayout", 3);
                SetText(pm, L"verifyCodeSendBtn", L"(42S)");
                pm.FindControl(L"verifyCodeSendBtn")->SetEnabled(false);
              },
              [] { CRegisterDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/register_hints") {
  ShootDialog(ctx, L"CRegisterDlg", [](CPaintManagerUI& pm) { SetText(pm, L"webErrorLabel", ui_gettext(L"The username already exists!")); },
              [] { CRegisterDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/register_done") {
  ShootDialog(ctx, L"CRegisterDlg", [](CPaintManagerUI& pm) { SelectPage(pm, L"registerTabLayout", 1); },
              [] { CRegisterDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/find_password_account") {
  ShootDialog(ctx, L"CFindPasswordDlg", [](CPaintManagerUI& pm) { SetText(pm, L"userNameEdit", L"doctor"); },
              [] { CFindPasswordDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/find_password_code") {
  ShootDialog(ctx, L"CFindPasswordDlg",
              [](CPaintManagerUI& pm) {
                SelectPage(pm, L"tabLayout", 1);
                SetText(pm, L"phoneEdit", L"*******5678");
                SetText(pm, L"errorVerifyCodeLabel", ui_gettext(L"Please enter the verification code!"));
              },
              [] { CFindPasswordDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/find_password_new") {
  ShootDialog(ctx, L"CFindPasswordDlg",
              [](CPaintManagerUI& pm) {
                SelectPage(pm, L"tabLayout", 2);
                SetText(pm, L"errorPasswordLabel", ui_gettext(L"The two passwords are not the same!"));
              },
              [] { CFindPasswordDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/find_password_done") {
  ShootDialog(ctx, L"CFindPasswordDlg", [](CPaintManagerUI& pm) { SelectPage(pm, L"tabLayout", 3); },
              [] { CFindPasswordDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/personal_info") {
  ShootDialog(ctx, L"PersonalInfoDlg",
              [](CPaintManagerUI& pm) {
                SetText(pm, L"personal_info_userTitleLabel", L"Dr. Li");
                SetText(pm, L"personal_info_userNameLabel", L"doctor");
                SetText(pm, L"personal_info_nickNameEdit", L"Dr. Li");
                SetText(pm, L"personal_info_mobileLabel", L"13812345678");
              },
              [] { PersonalInfoDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/feedback") {
  ShootDialog(ctx, L"FeedbackDlg", [](CPaintManagerUI& pm) { SetText(pm, L"feedbackEdit", L"The ruler is great."); },
              [] { FeedbackDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/feedback_sent") {
  ShootDialog(ctx, L"FeedbackDlg", [](CPaintManagerUI& pm) { SelectPage(pm, L"switch", 1); },
              [] { FeedbackDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/feedback_failed") {
  ShootDialog(ctx, L"FeedbackDlg", [](CPaintManagerUI& pm) { SelectPage(pm, L"switch", 2); },
              [] { FeedbackDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("main/notify") {
  CMainFrameWnd* frame = OpenFrame(ctx, {"libTestA.so"});
  UpdateInfo info;
  info.fileName = "Orvanta-1.5.run";
  info.url = "http://127.0.0.1/x";
  info.message = "Version 1.5 is ready: faster loading and a new film layout.";
  frame->GetNotifyWindow().Announce(info);
  SOWin::PumpEvents(10);
  return {frame->GetNotifyWindow().GetHWND(), [frame] { CloseFrame(frame); }};
}

ORVANTA_SHOT("main/update_download") {
  // The download fails at once (nothing listens there); the window is saved before its answer.
  UpdateInfo info;
  info.fileName = "Orvanta-1.5.run";
  info.url = "http://127.0.0.1:9/Orvanta-1.5.run";
  UITest::OnModal(L"AppUpdateWindow", [&ctx](CWindowWnd* w) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(w)->GetPaintManager();
    SetText(pm, L"progressValueLabel", (FormatDownloadSize(512000) + L"/" + FormatDownloadSize(3145728)).c_str());
    if (auto* progress = dynamic_cast<CProgressUI*>(pm.FindControl(L"progress"))) progress->SetValue(16);
    ctx.save(w->GetHWND());
  });
  UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* w) { w->Close(IDOK); });
  AppUpdateWindow::Run(nullptr, info);
  return {};
}
