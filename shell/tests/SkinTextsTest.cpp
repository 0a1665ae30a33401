// Every text of the shell's windows fits its control, in each language.

#include <gtest/gtest.h>

#include <functional>

#include "AppUpdate.h"
#include "CFindPasswordDlg.h"
#include "CLoginDlg.h"
#include "CMainFrameWnd.h"
#include "CRegisterDlg.h"
#include "PersonalInfoDlg.h"
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

// Each page of a dialog (of its tab layout `tabs`), with `prepare` run on the page shown.
template <class Dialog>
void CheckPages(Dialog& dialog, const char* what, const wchar_t* tabs, int pages,
                const std::function<void(CPaintManagerUI&)>& prepare = {}) {
  ASSERT_NE(dialog.Create(nullptr, L"Check", 0x86C80000, 0, 0, 0, 0, 0), nullptr) << what;
  CPaintManagerUI& pm = *dialog.GetPaintManager();
  for (int page = 0; page < pages; ++page) {
    if (auto* layout = dynamic_cast<CTabLayoutUI*>(pm.FindControl(tabs))) layout->SelectItem(page);
    if (prepare) prepare(pm);
    pm.UpdateLayout();
    EXPECT_EQ(shelltest::OverflowingTexts(pm), std::vector<std::string>{}) << what << " page " << page;
  }
  DestroyWindow(dialog.GetHWND());
}

TEST_P(SkinTexts, AccountDialogsFitTheirControls) {
  {
    CLoginDlg login(nullptr, false);
    CheckPages(login, "login", L"tabLayout", 2, [](CPaintManagerUI& pm) {
      pm.FindControl(L"errorLabel")->SetText(ui_gettext(L"Incorrect username or password!"));
    });
  }
  for (int state = 0; state < 4; ++state) {
    CRegisterDlg registration;
    CheckPages(registration, "registration", L"registerTabLayout", 2, [state](CPaintManagerUI& pm) {
      for (const wchar_t* name : {L"userNameLabelLayout", L"passwordLabelLayout", L"phoneLabelLayout",
                                  L"verifyCodeLabelLayout"})
        if (auto* layout = dynamic_cast<CContainerUI*>(pm.FindControl(name)))
          for (int i = 0; i < layout->GetCount(); ++i) layout->GetItemAt(i)->SetVisible(i == state);
    });
  }
  {
    CFindPasswordDlg findPassword;
    CheckPages(findPassword, "find password", L"tabLayout", 4);
  }
  {
    PersonalInfoDlg personal;
    CheckPages(personal, "personal info", L"none", 1);
  }
  {
    FeedbackDlg feedback;
    CheckPages(feedback, "feedback", L"switch", 3);
  }
  {
    NotifyWindow notify;
    CheckPages(notify, "notify", L"none", 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, SkinTexts, testing::Values("zh_CN", "zh_TW", "en_US"));

}  // namespace
