#include <fstream>

#include "CaseDlg.h"
#include "CaseLibDlg.h"
#include "IKelvast.h"
#include "ReportDialogs.h"
#include "ReportSettings.h"
#include "ReportWindowTestUtil.h"
#include "SettingWindow.h"
#include "StoreUtil.h"
#include "TemplateCipher.h"

using namespace DuiLib;
using namespace reportwnd;

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

CaseRecord Case(const char* modality, const char* bodyPart, const char* name) {
  return CaseRecord{0, modality, bodyPart, name, std::string(name) + " finding", std::string(name) + " conclusion"};
}

// The case names a dialog's case list shows.
std::vector<std::wstring> ListedCases(CPaintManagerUI& pm, const wchar_t* list) {
  std::vector<std::wstring> names;
  auto* l = dynamic_cast<CListUI*>(pm.FindControl(list));
  for (int i = 0; l && i < l->GetCount(); ++i)
    names.emplace_back(pm.FindSubControlByName(l->GetItemAt(i), L"caseNameLabel")->GetText().GetData());
  return names;
}

// Index of the tree row whose text (or user data) is `text`.
int Row(CTreeViewUI* tree, const std::wstring& text) {
  for (int i = 0; tree && i < tree->GetCount(); ++i)
    if (tree->GetItemAt(i)->GetText().GetData() == text) return i;
  return -1;
}

}  // namespace

TEST(CaseTree, BodyPartKeysKeepModalityAndBodyPartApart) {
  EXPECT_NE(CaseTreeKey("MR", "SPINE"), CaseTreeKey("M", "RSPINE"));
  EXPECT_EQ(CaseTreeKey("CT", "胸部"), CaseTreeKey("CT", "胸部"));
}

TEST_F(ReportWindowTest, TheCaseLibraryDialogListsByNodeAndRemembersTabAndNode) {
  for (CaseRecord c : {Case("MR", "SPINE", "a"), Case("M", "RSPINE", "b"), Case("CT", "HEAD", "c"), Case("CT", "CHEST", "d")})
    ASSERT_TRUE(cases_->AddLocalCase(c));
  Open();
  SOCaseLibDlg::ForgetRememberedChoices();
  auto run = [&](const std::function<void(CPaintManagerUI&)>& act) {
    SOCaseLibDlg dialog(cases_.get());
    InModal(L"SOCaseLibDlg", [&](WindowImplBase& w) { act(*w.GetPaintManager()); });
    RunReportDialog(dialog, host_->GetHWND(), L"SOCaseLibDlg", kDialogStyle);
    return dialog.GetResult();
  };
  // Newest first: the first modality is CT, opened and selected, listing all its body parts.
  const int closed = run([&](CPaintManagerUI& pm) {
    auto* tree = dynamic_cast<CTreeViewUI*>(pm.FindControl(L"localTree"));
    EXPECT_EQ(tree->GetCurSel(), 0);
    EXPECT_EQ(ListedCases(pm, L"localList"), (std::vector<std::wstring>{L"d", L"c"}));
    EXPECT_FALSE(pm.FindControl(L"appendBtn")->IsEnabled());
    // A body-part node lists only its cases; MR/SPINE and M/RSPINE stay apart.
    dynamic_cast<CTreeNodeUI*>(tree->GetItemAt(Row(tree, L"M")))->SetExpanded(true);  // the user unfolds M
    ASSERT_TRUE(UITest::SelectItem(pm, L"localTree", Row(tree, L"RSPINE")));
    EXPECT_EQ(ListedCases(pm, L"localList"), (std::vector<std::wstring>{L"b"}));
    UITest::Click(pm, L"publicOpt");
  });
  EXPECT_EQ(closed, 0);

  // The next run opens on the remembered tab, with the remembered node of each source.
  run([&](CPaintManagerUI& pm) {
    EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"switch"))->GetCurSel(), 1);
    auto* tree = dynamic_cast<CTreeViewUI*>(pm.FindControl(L"localTree"));
    EXPECT_EQ(tree->GetCurSel(), Row(tree, L"RSPINE"));
    EXPECT_EQ(ListedCases(pm, L"localList"), (std::vector<std::wstring>{L"b"}));
    UITest::Click(pm, L"localOpt");
  });

  // A remembered node that is gone: the first modality is selected again.
  std::vector<CaseRecord> local;
  cases_->GetLocalCases(local);
  for (const CaseRecord& c : local)
    if (c.modality == "M") ASSERT_TRUE(cases_->DeleteLocalCase(c));
  EXPECT_EQ(run([&](CPaintManagerUI& pm) {
              EXPECT_EQ(dynamic_cast<CTreeViewUI*>(pm.FindControl(L"localTree"))->GetCurSel(), 0);
              UITest::SelectItem(pm, L"localList", 0);
              EXPECT_TRUE(pm.FindControl(L"applyBtn")->IsEnabled());
              UITest::Click(pm, L"cancelBtn");
            }),
            3);
}

TEST_F(ReportWindowTest, TheCaseEditorChecksFieldsInOrderAndKeepsAnEditedCasesPlace) {
  Open();
  struct Row {
    const wchar_t* modality;
    const wchar_t* bodyPart;
    const wchar_t* name;
    std::wstring message;  // empty: accepted
  } rows[] = {
      {L"CT", L"", L"x", L"'Body part' can not be empty!"},
      {L"", L"", L"", L"'Modality' can not be empty!"},
      {L"CT", L"HEAD", L"", L"'Case name' can not be empty!"},
      {L"CT", L"HEAD", L" ", L""},
  };
  for (const Row& row : rows) {
    SOCaseDlg dialog;
    std::wstring box;
    InModal(L"SOCaseDlg", [&](WindowImplBase& w) {
      CPaintManagerUI& pm = *w.GetPaintManager();
      UITest::SetText(pm, L"modalityEditCombo", row.modality);
      UITest::SetText(pm, L"bodypartEditCombo", row.bodyPart);
      UITest::SetText(pm, L"nameEdit", row.name);
      pm.FindControl(L"findingRichEdit")->SetText(L"f");
      pm.FindControl(L"conclusionEdit")->SetText(L"c");
      AnswerBox(&box);
      UITest::Click(pm, L"confirmBtn");
    });
    RunReportDialog(dialog, host_->GetHWND(), L"SOCaseDlg", kDialogStyle);
    EXPECT_EQ(box, row.message) << row.name;
    EXPECT_EQ(dialog.GetConfirmed(), row.message.empty() ? 1 : 0);
  }

  // Editing: the id stays, modality and body part cannot change.
  CaseRecord existing{42, "MR", "KNEE", "Tear", "old", "old"};
  SOCaseDlg edit(existing);
  InModal(L"SOCaseDlg", [&](WindowImplBase& w) {
    CPaintManagerUI& pm = *w.GetPaintManager();
    EXPECT_FALSE(pm.FindControl(L"modalityEditCombo")->IsEnabled());
    EXPECT_FALSE(pm.FindControl(L"bodypartEditCombo")->IsEnabled());
    EXPECT_EQ(std::wstring(pm.FindControl(L"modalityEditCombo")->GetText().GetData()), L"MR");
    pm.FindControl(L"findingRichEdit")->SetText(L"新的 new");
    UITest::Click(pm, L"confirmBtn");
  });
  RunReportDialog(edit, host_->GetHWND(), L"SOCaseDlg", kDialogStyle);
  ASSERT_EQ(edit.GetConfirmed(), 1);
  EXPECT_EQ(edit.GetCase().id, 42);
  EXPECT_EQ(edit.GetCase().body_part, "KNEE");
  EXPECT_EQ(edit.GetCase().finding, "新的 new");
}

TEST_F(ReportWindowTest, PrintingToAPdfFileWritesTheFileTheUserChose) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  const fs::path pdf = root_ / "chosen" / "report 报告.pdf";
  fs::create_directories(pdf.parent_path());
  std::string chosen;
  SOWin::SetFileChooserHook([&](const std::string& kind, const std::string&) { return kind == "save" ? chosen : ""; });
  const bool noPrinters = SOPrintDlg::PrinterNames().empty();
  auto print = [&](bool expectOpen) {
    InModal(L"SOPrintDlg", [&](WindowImplBase& w) {
      CPaintManagerUI& pm = *w.GetPaintManager();
      auto* combo = dynamic_cast<CComboUI*>(pm.FindControl(L"printerCombo"));
      const int last = combo->GetCount() - 1;
      // The file choice comes last and is the one chosen where the system has no printer.
      if (noPrinters)
        EXPECT_EQ(combo->GetCurSel(), last);
      else
        UITest::SelectItem(pm, L"printerCombo", last);
      EXPECT_EQ(std::wstring(combo->GetText().GetData()), L"PDF 文件…");
      UITest::Click(pm, L"printBtn");
      UITest::ProcessEvents(20);
      EXPECT_EQ(bool(IsWindow(w.GetHWND())), expectOpen);
    });
    ASSERT_TRUE(UITest::Click(PM(), L"printBtn"));
  };
  // No file chosen: nothing is printed and the dialog stays for another choice.
  print(true);
  EXPECT_FALSE(fs::exists(pdf));
  chosen = pdf.string();
  print(false);
  SOWin::SetFileChooserHook(nullptr);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(orvanta::test::FileBytes(pdf).substr(0, 5), "%PDF-");
  EXPECT_GT(fs::file_size(pdf), 10000u);  // the page with its texts, not an empty sheet
}

TEST_F(ReportWindowTest, PrintingMarksTheStudyPrintedOnlyWhenItPrinted) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  ASSERT_TRUE(window_->SaveReport(report));  // the study is in the store
  std::string sid;
  ASSERT_TRUE(StoreUtil::GetPatientSID(report->GetSR(), sid));
  struct Listener : IKelvastListener {
    std::vector<std::string> changed;
    void OnStoreChanged() override {}
    void OnStoreNotify(int) override {}
    void OnStudyChanged(std::string id) override { changed.push_back(id); }
    void OnStudyRemoved(std::string) override {}
  } listener;
  IKelvast* store = Gossamy::LocalDB();
  store->AddListener(&listener);
  auto printState = [&] {
    PatientRecord study;
    EXPECT_TRUE(store->GetPatientRecord(sid.c_str(), study, false));
    return study.printState;
  };

  const fs::path pdf = root_ / "pdf";
  fs::create_directories(pdf);
  SOWin::AddPdfPrinterForTest("Report PDF", pdf.string());
  // The default printer is preselected only on an exact name match; nothing chosen prints
  // nothing, and says so.
  for (const char* preferred : {"Report PD", "Report PDF"}) {
    SOWin::SetDefaultPrinterForTest(preferred);
    const bool matches = std::string(preferred) == "Report PDF";
    std::wstring failure;
    InModal(L"SOPrintDlg", [&](WindowImplBase& w) {
      const CDuiString chosen = w.GetPaintManager()->FindControl(L"printerCombo")->GetText();
      EXPECT_EQ(chosen == L"Report PDF", matches) << preferred;
      if (!matches) AnswerBox(&failure);
      UITest::Click(*w.GetPaintManager(), L"printBtn");
    });
    ASSERT_TRUE(UITest::Click(PM(), L"printBtn"));
    EXPECT_EQ(printState(), matches ? 1 : 0) << preferred;
    EXPECT_EQ(failure, matches ? L"" : L"报告未能打印！") << preferred;
  }
  SOWin::SetDefaultPrinterForTest("");
  EXPECT_NE(std::find(listener.changed.begin(), listener.changed.end(), sid), listener.changed.end());
  EXPECT_FALSE(fs::is_empty(pdf));
  store->RemoveListener(&listener);
}

TEST_F(ReportWindowTest, SettingsKeepTheInstitutionAndReopenOnTheHomePage) {
  Open();
  SOSettingWindow* setting = window_->GetSettingWindow();
  EXPECT_FALSE(IsWindowVisible(setting->GetHWND()));
  ASSERT_TRUE(UITest::Click(PM(), L"settingBtn"));
  EXPECT_TRUE(IsWindowVisible(setting->GetHWND()));
  CPaintManagerUI& pm = *setting->GetPaintManager();
  ASSERT_TRUE(UITest::SetText(pm, L"editInstitutionName", L"第一医院 Radiology"));
  EXPECT_EQ(ReportSettings::InstitutionName(), L"第一医院 Radiology");
  std::string raw;
  ASSERT_TRUE(Gossamy::ReadHKCU("InstitutionName", raw));
  EXPECT_EQ(raw, "第一医院 Radiology");  // UTF-8
  ASSERT_TRUE(UITest::Click(pm, L"caseLibraryOpt"));
  EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"switch"))->GetCurSel(), 2);
  ASSERT_TRUE(UITest::Click(pm, L"exitOpt"));
  EXPECT_FALSE(IsWindowVisible(setting->GetHWND()));
  ASSERT_TRUE(UITest::Click(PM(), L"settingBtn"));
  EXPECT_TRUE(dynamic_cast<COptionUI*>(pm.FindControl(L"homeOpt"))->IsSelected());
  EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"switch"))->GetCurSel(), 0);

  // Cleared, it stays empty on the next start.
  ASSERT_TRUE(UITest::SetText(pm, L"editInstitutionName", L""));
  window_.reset();
  Open();
  EXPECT_TRUE(window_->GetSettingWindow()->GetPaintManager()->FindControl(L"editInstitutionName")->GetText().IsEmpty());
}

TEST(TemplatePreview, KeepsTheAspectInsideItsBox) {
  struct {
    int w, h, boxW, boxH, outW, outH;
  } rows[] = {{200, 300, 200, 150, 100, 150}, {200, 300, 200, 400, 200, 300}, {400, 100, 200, 200, 200, 50},
              {0, 300, 200, 150, 0, 0}};
  for (const auto& r : rows) {
    const SIZE s = SettingTemplatePage::FitPreview(r.w, r.h, r.boxW, r.boxH);
    EXPECT_EQ(s.cx, r.outW) << r.w << "x" << r.h << " in " << r.boxW << "x" << r.boxH;
    EXPECT_EQ(s.cy, r.outH) << r.w << "x" << r.h << " in " << r.boxW << "x" << r.boxH;
  }
}

TEST_F(ReportWindowTest, TemplateTilesImportAndDeleteOnlyImportedTemplates) {
  Open();
  ASSERT_TRUE(UITest::Click(PM(), L"settingBtn"));
  CPaintManagerUI& pm = *window_->GetSettingWindow()->GetPaintManager();
  ASSERT_TRUE(UITest::Click(pm, L"templateOpt"));
  auto* tiles = dynamic_cast<CContainerUI*>(pm.FindControl(L"templateTileLayout"));
  const int builtIn = static_cast<int>(templates_->GetTemplates().size());
  ASSERT_EQ(tiles->GetCount(), builtIn);
  auto tileOption = [&](int i) { return dynamic_cast<COptionUI*>(dynamic_cast<CContainerUI*>(tiles->GetItemAt(i))->GetItemAt(0)); };
  tileOption(0)->Selected(true, true);
  EXPECT_FALSE(pm.FindControl(L"deleteTemplateBtn")->IsEnabled());

  // A plain layout is refused with a message; an encrypted one becomes a new tile.
  const std::string layout =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window><VerticalLayout width=\"200\" height=\"300\" "
      "template_name=\"Mine\" template_pagesize=\"B5\"><Label text=\"x\"/></VerticalLayout></Window>";
  std::ofstream(root_ / "plain.xml") << layout;
  std::string sealed;
  ASSERT_TRUE(TemplateCipher::Encrypt(layout, TemplateCipher::kTemplateKey, sealed));
  std::ofstream(root_ / "sealed.tpl", std::ios::binary) << sealed;
  std::string chosen;
  SOWin::SetFileChooserHook([&](const std::string&, const std::string&) { return chosen; });
  std::wstring box;
  chosen = (root_ / "plain.xml").string();
  AnswerBox(&box);
  ASSERT_TRUE(UITest::Click(pm, L"importTemplateBtn"));
  EXPECT_EQ(box, L"Import failed! Please confirm the validity of the template file!");
  chosen = (root_ / "sealed.tpl").string();
  ASSERT_TRUE(UITest::Click(pm, L"importTemplateBtn"));
  SOWin::SetFileChooserHook(nullptr);
  ASSERT_EQ(tiles->GetCount(), builtIn + 1);
  auto* last = dynamic_cast<CContainerUI*>(tiles->GetItemAt(builtIn));
  auto* labels = dynamic_cast<CContainerUI*>(last->GetItemAt(2));
  EXPECT_EQ(std::wstring(labels->GetItemAt(0)->GetText().GetData()), L"Mine");
  EXPECT_EQ(std::wstring(labels->GetItemAt(2)->GetText().GetData()), L"B5");
  EXPECT_NE(std::wstring(last->GetItemAt(1)->GetBkImage()).find(L"dest='0,0,"), std::wstring::npos);
  // The window's template chooser follows the store.
  EXPECT_EQ(dynamic_cast<CComboUI*>(Find(L"templateCombo"))->GetCount(), builtIn + 1);

  tileOption(builtIn)->Selected(true, true);
  ASSERT_TRUE(pm.FindControl(L"deleteTemplateBtn")->IsEnabled());
  ASSERT_TRUE(UITest::Click(pm, L"deleteTemplateBtn"));
  EXPECT_EQ(tiles->GetCount(), builtIn);
  EXPECT_FALSE(pm.FindControl(L"deleteTemplateBtn")->IsEnabled());

  // Without a report control the page stays empty.
  window_->GetSettingWindow()->SetWendrel(nullptr);
  window_->GetSettingWindow()->TemplatePage().ReloadTiles();
  EXPECT_EQ(tiles->GetCount(), 0);
}

TEST_F(ReportWindowTest, TheCaseLibraryPageEditsDeletesExportsAndKeepsButtonsInStep) {
  CaseRecord first = Case("CT", "HEAD", "first"), second = Case("CT", "HEAD", "second");
  ASSERT_TRUE(cases_->AddLocalCase(first));
  ASSERT_TRUE(cases_->AddLocalCase(second));
  Open();
  ASSERT_TRUE(UITest::Click(PM(), L"settingBtn"));
  CPaintManagerUI& pm = *window_->GetSettingWindow()->GetPaintManager();
  ASSERT_TRUE(UITest::Click(pm, L"caseLibraryOpt"));
  auto* tree = dynamic_cast<CTreeViewUI*>(pm.FindControl(L"localTree"));
  // CT, HEAD, then the cases; the last case put in ends up selected.
  ASSERT_EQ(tree->GetCount(), 4);
  EXPECT_EQ(tree->GetItemAt(tree->GetCurSel())->GetTag(), static_cast<UINT_PTR>(first.id));
  EXPECT_TRUE(pm.FindControl(L"localEditBtn")->IsEnabled());
  EXPECT_FALSE(pm.FindControl(L"localCopyToPrivateBtn")->IsEnabled());  // nobody logged in
  EXPECT_FALSE(pm.FindControl(L"privateNewBtn")->IsEnabled());
  tree->SelectItem(1, false, true);  // a body part
  EXPECT_FALSE(pm.FindControl(L"localEditBtn")->IsEnabled());
  EXPECT_FALSE(pm.FindControl(L"localDeleteBtn")->IsEnabled());

  // An edit updates the node in place.
  const int row = 3;
  tree->SelectItem(row, false, true);
  const UINT_PTR editedId = tree->GetItemAt(row)->GetTag();
  InModal(L"SOCaseDlg", [](WindowImplBase& w) {
    w.GetPaintManager()->FindControl(L"nameEdit")->SetText(L"renamed 改名");
    UITest::Click(*w.GetPaintManager(), L"confirmBtn");
  });
  ASSERT_TRUE(UITest::Click(pm, L"localEditBtn"));
  UITest::ProcessEvents(10);
  EXPECT_EQ(tree->GetItemAt(row)->GetTag(), editedId);
  EXPECT_EQ(std::wstring(pm.FindSubControlByName(tree->GetItemAt(row), L"caseNameLabel")->GetText().GetData()),
            L"renamed 改名");

  // A delete removes the case's node at once; its parents stay.
  tree->SelectItem(row, false, true);
  AnswerBox(nullptr, IDOK);
  ASSERT_TRUE(UITest::Click(pm, L"localDeleteBtn"));
  UITest::ProcessEvents(10);
  EXPECT_EQ(tree->GetCount(), 3);
  std::vector<CaseRecord> local;
  cases_->LoadLocalCases(local);
  EXPECT_EQ(local.size(), 1u);

  // An imported file's cases reach the tree through the library's notification.
  const fs::path csv = root_ / "cases.csv";
  std::ofstream(csv, std::ios::binary) << "\"MR\",\"KNEE\",\"Tear, medial\",\"f\",\"c\"\r\n";
  SOWin::SetFileChooserHook([&](const std::string&, const std::string&) { return csv.string(); });
  ASSERT_TRUE(UITest::Click(pm, L"localImportBtn"));
  SOWin::SetFileChooserHook(nullptr);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return Row(tree, L"KNEE") >= 0; }, 2000));

  // An export goes where the user chose; the folder is remembered.
  const fs::path folder = orvanta::test::MakeTempDir("export");
  SOWin::SetFileChooserHook([&](const std::string& kind, const std::string&) {
    return kind == "folder" ? folder.string() : std::string();
  });
  ASSERT_TRUE(UITest::Click(pm, L"localExportBtn"));
  SOWin::SetFileChooserHook(nullptr);
  EXPECT_TRUE(fs::exists(folder / "LocalCaseList.csv"));
  EXPECT_EQ(ReportSettings::CaselibExportFolder(), folder.wstring());
}
