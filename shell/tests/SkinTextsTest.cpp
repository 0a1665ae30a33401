// Every text of the shell's windows fits its control, in each language.

#include <gtest/gtest.h>

#include "CMainFrameWnd.h"
#include "Gossamy.h"
#include "SOSettingDlg.h"
#include "SOSystemConfig.h"
#include "ShellTestUtil.h"
#include "SkinTextCheck.h"

using namespace DuiLib;

namespace {

class SkinTexts : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    shelltest::FreshRegistry();
    dir = shelltest::MakeProgramDir({"libTestA.so", "libTestB.so", "libTestC.so"});
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
    ui_bindtextdomain("orvanta", (orvanta::test::ProgramFolder() / "locale").c_str());
    ui_textdomain("orvanta");
    ui_setlocal(0, GetParam());
  }
  void TearDown() override { ui_setlocal(0, "en_US"); }

  // Checks a window of the shell laid out at its size.
  static void Check(WindowImplBase& window, const char* what) {
    window.GetPaintManager()->UpdateLayout();
    EXPECT_EQ(shelltest::OverflowingTexts(*window.GetPaintManager()), std::vector<std::string>{}) << what;
  }

  std::filesystem::path dir;
};

TEST_P(SkinTexts, FitTheirControls) {
  CMainFrameWnd::Options options;
  options.programDir = dir.string() + "/";
  options.plugins = {"libTestA.so", "libTestB.so", "libTestC.so"};
  options.startupDelayMs = 10;
  options.trayAvailable = 1;
  {
    CMainFrameWnd frame(options);
    ASSERT_NE(frame.CreateFrame(), nullptr);
    ASSERT_TRUE(SOWin::PumpUntil([&] { return frame.IsCreated(); }, 5000));
    MoveWindow(frame.GetHWND(), 0, 0, 600, 320, TRUE);  // the smallest the frame gets
    Check(frame, "main frame");
    // The check itself sees a text too long for its button.
    frame.GetPaintManager()->FindControl(L"settingbtn")->SetText(L"A much longer text than the button holds");
    EXPECT_EQ(shelltest::OverflowingTexts(*frame.GetPaintManager()).size(), 1u);
    DestroyWindow(frame.GetHWND());
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  SOSystemConfig config(dir.string() + "/");
  config.InitLanguage();
  for (int page = 0; page < 2; ++page) {
    SOSettingDlg settings(&config);
    ASSERT_NE(settings.Create(nullptr, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0), nullptr);
    if (auto* tabs = dynamic_cast<CTabLayoutUI*>(settings.GetPaintManager()->FindControl(L"switch")))
      tabs->SelectItem(page);
    settings.GetPaintManager()->FindControl(L"localeNoticeLabel")->SetVisible(true);
    Check(settings, "settings");
    DestroyWindow(settings.GetHWND());
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, SkinTexts, testing::Values("zh_CN", "zh_TW", "en_US"));

}  // namespace
