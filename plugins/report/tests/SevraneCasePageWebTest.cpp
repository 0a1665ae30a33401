// The case library page against the consultation service stand-in: public and private cases.

#include "ConsultFixture.h"
#include "ReportWindowTestUtil.h"
#include "CaseLibDlg.h"
#include "ReportDialogs.h"
#include "SettingWindow.h"

using namespace DuiLib;
using namespace reportwnd;

namespace {

class CasePageWeb : public ReportWindowTest {
 protected:
  void SetUp() override {
    ReportWindowTest::SetUp();
    ASSERT_GT(service_.Start(), 0);
    Web_SetSettings({service_.BaseUrl(), 2000, 2000});
  }
  void TearDown() override {
    GetJorvel()->Logout();
    ReportWindowTest::TearDown();
  }
  // The case node of a tree (the first one), selected.
  static bool SelectFirstCase(CTreeViewUI* tree) {
    for (int i = 0; tree && i < tree->GetCount(); ++i)
      if (tree->GetItemAt(i)->GetName() == L"Case") return tree->SelectItem(i, false, true);
    return false;
  }
  static int CaseNodes(CTreeViewUI* tree) {
    int n = 0;
    for (int i = 0; tree && i < tree->GetCount(); ++i) n += tree->GetItemAt(i)->GetName() == L"Case";
    return n;
  }
  ConsultFixture service_;
};

}  // namespace

TEST_F(CasePageWeb, PublicCasesArriveAndCopyAndAFailedPrivateDeleteKeepsItsNode) {
  service_.Admin("AddPublicCase", {{"case", {{"modality", "CT"}, {"bodyPart", "HEAD"}, {"caseName", "bleed 出血"},
                                            {"finding", "f"}, {"conclusion", "c"}}}});
  service_.AddUser("doctor", "pw", "13800000001", "Dr. Li");
  Open();
  CPaintManagerUI& pm = *window_->GetSettingWindow()->GetPaintManager();
  auto* publicTree = dynamic_cast<CTreeViewUI*>(pm.FindControl(L"publicTree"));
  auto* privateTree = dynamic_cast<CTreeViewUI*>(pm.FindControl(L"privateTree"));

  // The page's first refresh started the public fetch; its end fills the tree on the UI thread.
  ASSERT_TRUE(SOWin::PumpUntil([&] { return CaseNodes(publicTree) == 1; }, 10000));
  EXPECT_EQ(publicTree->GetItemAt(publicTree->GetCurSel())->GetName(), L"Case");
  ASSERT_TRUE(UITest::Click(PM(), L"settingBtn"));
  ASSERT_TRUE(UITest::Click(pm, L"caseLibraryOpt"));
  ASSERT_TRUE(UITest::Click(pm, L"publicOpt"));
  EXPECT_TRUE(pm.FindControl(L"publicCopyToLocalBtn")->IsEnabled());
  EXPECT_FALSE(pm.FindControl(L"publicCopyToPrivateBtn")->IsEnabled());
  std::wstring box;
  AnswerBox(&box);
  ASSERT_TRUE(UITest::Click(pm, L"publicCopyToLocalBtn"));
  EXPECT_EQ(box, L"Copy Success!");
  std::vector<CaseRecord> local;
  cases_->LoadLocalCases(local);
  ASSERT_EQ(local.size(), 1u);
  EXPECT_EQ(local[0].case_name, "bleed 出血");

  // A login reaches the buttons through the UI thread.
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("doctor", "pw", &error));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return pm.FindControl(L"privateNewBtn")->IsEnabled(); }, 5000));
  EXPECT_TRUE(pm.FindControl(L"publicCopyToPrivateBtn")->IsEnabled());
  box.clear();
  AnswerBox(&box);
  ASSERT_TRUE(UITest::Click(pm, L"publicCopyToPrivateBtn"));
  EXPECT_EQ(box, L"Copy Success!");
  cases_->WaitForFetches();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return CaseNodes(privateTree) == 1; }, 10000));

  // The service refuses the delete: the node stays.
  ASSERT_TRUE(UITest::Click(pm, L"privateOpt"));
  ASSERT_TRUE(SelectFirstCase(privateTree));
  service_.Admin("ScriptNext", {{"operation", "PrivateCaseDelete"},
                                {"body", R"({"ok":false,"error":{"code":"10018","message":"none"}})"}});
  AnswerBox(nullptr, IDOK);
  ASSERT_TRUE(UITest::Click(pm, L"privateDeleteBtn"));
  UITest::ProcessEvents(20);
  EXPECT_EQ(CaseNodes(privateTree), 1);
  // Accepted, it goes at once.
  ASSERT_TRUE(SelectFirstCase(privateTree));
  AnswerBox(nullptr, IDOK);
  ASSERT_TRUE(UITest::Click(pm, L"privateDeleteBtn"));
  EXPECT_EQ(CaseNodes(privateTree), 0);

  // Logging out empties the private tree and disables its "new" button.
  GetJorvel()->Logout();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return !pm.FindControl(L"privateNewBtn")->IsEnabled(); }, 5000));
  EXPECT_EQ(privateTree->GetCount(), 0);
}

TEST_F(CasePageWeb, TheDialogsPublicTreeFillsWhenTheFetchEnds) {
  service_.Admin("AddPublicCase", {{"case", {{"modality", "DX"}, {"bodyPart", "CHEST"}, {"caseName", "clear"},
                                            {"finding", "f"}, {"conclusion", "c"}}}});
  host_ = std::make_unique<HostWindow>();
  SOCaseLibDlg::ForgetRememberedChoices();
  SOCaseLibDlg dialog(cases_.get());
  bool filled = false;
  InModal(L"SOCaseLibDlg", [&](WindowImplBase& w) {
    auto* tree = dynamic_cast<CTreeViewUI*>(w.GetPaintManager()->FindControl(L"publicTree"));
    filled = SOWin::PumpUntil([&] { return tree->GetCount() == 2; }, 10000);
  });
  RunReportDialog(dialog, host_->GetHWND(), L"SOCaseLibDlg", WS_POPUP | WS_CAPTION);
  EXPECT_TRUE(filled);
}
