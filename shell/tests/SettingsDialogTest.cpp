#include <gtest/gtest.h>

#include "Gossamy.h"
#include "SOSettingDlg.h"
#include "SOSystemConfig.h"
#include "ShellTestUtil.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

std::string Local() {
  std::string value;
  Gossamy::ReadHKCU("Local", value);
  return value;
}

// Every message box is counted and confirmed.
int g_boxes = 0;
void AnswerBoxes() {
  UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* box) {
    ++g_boxes;
    AnswerBoxes();
    box->Close(IDOK);
  });
}

// Opens the settings dialog, lets `act` work on it inside its loop, then closes it; returns how
// many message boxes came up meanwhile.
int WithSettings(SOSystemConfig& config, const std::function<void(CPaintManagerUI&)>& act) {
  const int before = g_boxes;
  AnswerBoxes();
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* w) {
    auto* dialog = static_cast<SOSettingDlg*>(w);
    act(*dialog->GetPaintManager());
    // The restart check is posted: let it run (and its box come and go) before closing.
    UITest::ProcessEvents(30);
    dialog->Close(IDOK);
  });
  SOSettingDlg::Run(nullptr, &config);
  return g_boxes - before;
}

class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    shelltest::FreshRegistry();
    const auto dir = shelltest::MakeProgramDir({});
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
    Gossamy::WriteHKCU("Local", "en_US");
    config.InitLanguage();
  }
  SOSystemConfig config{"/nonexistent/"};
};

TEST_F(SettingsDialog, ChoosingTheLanguageInEffectChangesNothingVisible) {
  bool noticeShown = true;
  std::wstring version;
  const int boxes = WithSettings(config, [&](CPaintManagerUI& pm) {
    auto* combo = dynamic_cast<CComboUI*>(pm.FindControl(L"localeCombo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(std::wstring(combo->GetItemAt(combo->GetCurSel())->GetUserData()), L"en_US");
    UITest::SelectItem(pm, L"localeCombo", 2);
    noticeShown = pm.FindControl(L"localeNoticeLabel")->IsVisible();
    version = pm.FindControl(L"appVersionLabel")->GetText().str();
  });
  EXPECT_EQ(boxes, 0);
  EXPECT_FALSE(noticeShown);
  EXPECT_EQ(version, L"1.4.0.0316");
  EXPECT_EQ(Local(), "en_US");
}

TEST_F(SettingsDialog, AnotherLanguageWaitsForTheNextStartAndSaysSoOnce) {
  bool noticeShown = false;
  const int boxes = WithSettings(config, [&](CPaintManagerUI& pm) {
    UITest::SelectItem(pm, L"localeCombo", 1);  // zh_TW
    noticeShown = pm.FindControl(L"localeNoticeLabel")->IsVisible();
  });
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(noticeShown);
  EXPECT_EQ(Local(), "zh_TW");
  EXPECT_EQ(config.GetLanguage(), "zh_TW");
  EXPECT_EQ(config.GetCurrentLanguage(), "en_US");

  // Opened again in the same run: the choice is shown with its notice, and nothing is asked.
  int selected = -1;
  const int again = WithSettings(config, [&](CPaintManagerUI& pm) {
    selected = dynamic_cast<CComboUI*>(pm.FindControl(L"localeCombo"))->GetCurSel();
    noticeShown = pm.FindControl(L"localeNoticeLabel")->IsVisible();
  });
  EXPECT_EQ(again, 0);
  EXPECT_EQ(selected, 1);
  EXPECT_TRUE(noticeShown);
}

TEST_F(SettingsDialog, AnItemWithoutALanguageCodeIsIgnored) {
  WithSettings(config, [&](CPaintManagerUI& pm) {
    auto* combo = dynamic_cast<CComboUI*>(pm.FindControl(L"localeCombo"));
    combo->GetItemAt(0)->SetUserData(L"xx");
    UITest::SelectItem(pm, L"localeCombo", 0);
  });
  EXPECT_EQ(Local(), "en_US");
  EXPECT_EQ(config.GetLanguage(), "en_US");
}

TEST_F(SettingsDialog, PagesFollowTheOptions) {
  int page = -1;
  WithSettings(config, [&](CPaintManagerUI& pm) {
    UITest::Click(pm, L"remoteOpt");
    page = dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"switch"))->GetCurSel();
  });
  EXPECT_EQ(page, 1);
}

}  // namespace
