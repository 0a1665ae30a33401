#include <sys/stat.h>

#include "IKelvast.h"
#include "ReportSettings.h"
#include "ReportWindowTestUtil.h"
#include "SOWinQt.h"
#include "StoreUtil.h"

#include <QImage>

#include <fstream>

using namespace DuiLib;
using namespace reportwnd;

namespace {

constexpr DWORD kName = 0x00100010;
constexpr DWORD kFinding = 0x07211001;
constexpr DWORD kConclusion = 0x07211002;

HBITMAP Solid(QRgb colour) {
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(colour);
  return SOWin::BitmapFromImage(image);
}

std::vector<InstanceRecord> StoredInstances() {
  std::vector<InstanceRecord> rows;
  if (IKelvast* store = Gossamy::LocalDB()) store->GetAllInstanceRecords(rows);
  return rows;
}

}  // namespace

TEST_F(ReportWindowTest, OpenedReportsGetTabsAndTheSidePanelFollowsWithoutEcho) {
  Open();
  EXPECT_FALSE(Find(L"reportTabHeader")->IsVisible());
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  EXPECT_TRUE(Find(L"reportTabHeader")->IsVisible());
  std::wstring name;
  report->GetValue(kName, name);
  EXPECT_EQ(TabTitle(0), name + L"*");

  // Typing in the side panel writes the report; the typed control keeps what was typed.
  ASSERT_TRUE(UITest::Click(PM(), L"editModeOpt"));
  EXPECT_TRUE(Find(L"sidePanel")->IsVisible());
  CControlUI* sideName = SideControl(PM(), L"0010,0010", L"sideNameEdit");
  ASSERT_NE(sideName, nullptr);
  EXPECT_TRUE(sideName->IsEnabled());
  ASSERT_TRUE(UITest::SetText(PM(), L"sideNameEdit", L"Li Lei 李雷"));
  report->GetValue(kName, name);
  EXPECT_EQ(name, L"Li Lei 李雷");
  EXPECT_EQ(std::wstring(sideName->GetText().GetData()), L"Li Lei 李雷");
  EXPECT_EQ(window_->GetAttributeWindow().m_writingTag, 0u);
  EXPECT_EQ(TabTitle(0), L"Li Lei 李雷*");

  // A change made on the page shows in the side panel.
  report->SetValue(kFinding, L"No nodules. 未见结节。");
  EXPECT_EQ(std::wstring(SideControl(PM(), L"0721,1001")->GetText().GetData()), L"No nodules. 未见结节。");

  // Not a report, or nothing: refused, no tab.
  SODcmSR image;
  image.GetDataset()->SetString(0x00080060, "CT");
  image.GetDataset()->SetString(0x00080018, "1.2.3.4.5");
  SROpenRequest refused;
  refused.sr = &image;
  EXPECT_FALSE(window_->OnCommand(SOCMD_OPEN_SR_FILEG, &refused));
  refused.sr = nullptr;
  EXPECT_FALSE(window_->OnCommand(SOCMD_OPEN_SR_FILEG, &refused));
  EXPECT_FALSE(window_->OnCommand(SOCMD_OPEN_SR_FILEG, nullptr));
  EXPECT_FALSE(window_->OnCommand("open_sr_fileg", &refused));
  EXPECT_EQ(window_->GetWendrel()->GetReportCount(), 1);

  // Closing the last tab (discarding its changes) hides the header and empties the side panel.
  AnswerBox(nullptr, IDCANCEL);
  auto* header = dynamic_cast<CContainerUI*>(Find(L"reportTabHeader"));
  ASSERT_TRUE(UITest::Click(PM(), L"reportTabCloseBtn"));
  EXPECT_EQ(window_->GetWendrel()->GetReportCount(), 0);
  EXPECT_EQ(header->GetCount(), 0);
  EXPECT_FALSE(header->IsVisible());
  EXPECT_FALSE(sideName->IsEnabled());
  EXPECT_TRUE(std::wstring(sideName->GetText().GetData()).empty());
  EXPECT_TRUE(StoredInstances().empty());
}

TEST_F(ReportWindowTest, CompleteThenVerifySavesIntoTheStoreAsOneValidDocument) {
  ReportSettings::SetInstitutionName(L"Radiology 放射科");
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  EXPECT_TRUE(Find(L"completeBtn")->IsEnabled());
  EXPECT_FALSE(Find(L"verifyBtn")->IsEnabled());

  // An empty author is refused with a message, the dialog staying open; then a name completes.
  std::wstring box;
  InModal(L"SOCompleteDlg", [&](WindowImplBase& dialog) {
    CPaintManagerUI& pm = *dialog.GetPaintManager();
    UITest::SetText(pm, L"authorEdit", L"");
    AnswerBox(&box);
    UITest::Click(pm, L"confirmBtn");
    EXPECT_TRUE(IsWindow(dialog.GetHWND()));
    UITest::SetText(pm, L"authorEdit", L"Wang Wei 王伟");
    UITest::Click(pm, L"confirmBtn");
  });
  ASSERT_TRUE(UITest::Click(PM(), L"completeBtn"));
  EXPECT_EQ(box, L"报告作者不能为空！");
  EXPECT_TRUE(report->IsCompleted());
  EXPECT_FALSE(report->IsModified());  // saved at once
  EXPECT_FALSE(Find(L"completeBtn")->IsEnabled());
  EXPECT_TRUE(Find(L"verifyBtn")->IsEnabled());

  InModal(L"SOVerifyDlg", [&](WindowImplBase& dialog) {
    UITest::SetText(*dialog.GetPaintManager(), L"verifyingObserverNameEdit", L"Zhao Min 赵敏");
    UITest::Click(*dialog.GetPaintManager(), L"confirmBtn");
  });
  ASSERT_TRUE(UITest::Click(PM(), L"verifyBtn"));
  EXPECT_TRUE(report->IsVerified());
  EXPECT_FALSE(Find(L"verifyBtn")->IsEnabled());
  EXPECT_FALSE(SideControl(PM(), L"0010,0010")->IsEnabled());

  // Two saves, one row; the stored file reads back completed and verified, and is valid.
  const std::vector<InstanceRecord> rows = StoredInstances();
  ASSERT_EQ(rows.size(), 1u);
  SODcmSR back;
  ASSERT_TRUE(back.LoadFile(rows[0].storePath.c_str()));
  EXPECT_TRUE(back.IsCompleted());
  EXPECT_TRUE(back.IsVerified());
  std::wstring author, verifier;
  back.GetAuthorObserverName(author);
  back.GetVerifyingObserverName(verifier);
  EXPECT_EQ(author, L"Wang Wei 王伟");
  EXPECT_EQ(verifier, L"Zhao Min 赵敏");
  const fs::path log = root_ / "dciodvfy.txt";
  orvanta::test::RunCommand("dciodvfy '" + rows[0].storePath + "' > '" + log.string() + "' 2>&1");
  EXPECT_EQ(orvanta::test::FileBytes(log).find("Error"), std::string::npos) << orvanta::test::FileBytes(log);
}

TEST_F(ReportWindowTest, AFailedSaveKeepsTheChangesMarkedAndSaysSo) {
  Open();
  // Saving writes back to the report's own file, here one that cannot be written.
  ISOReport* report = OpenNew(false, (root_ / "missing" / "report.dcm").string());
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  std::wstring box;
  AnswerBox(&box);
  ASSERT_TRUE(UITest::Click(PM(), L"saveFileBtn"));
  EXPECT_EQ(box, L"报告保存失败！");
  EXPECT_TRUE(report->IsModified());
  EXPECT_EQ(TabTitle(0).back(), L'*');

  // Confirming "save" on close when the save fails keeps the tab open.
  std::wstring failure;
  AnswerBox(nullptr, IDOK, [&] { AnswerBox(&failure); });
  ASSERT_TRUE(UITest::Click(PM(), L"reportTabCloseBtn"));
  EXPECT_EQ(failure, L"报告保存失败！");
  EXPECT_EQ(window_->GetWendrel()->GetReportCount(), 1);

  // Once the folder exists the same button saves to that file.
  fs::create_directories(root_ / "missing");
  AnswerBox(&box);
  ASSERT_TRUE(UITest::Click(PM(), L"saveFileBtn"));
  EXPECT_EQ(box, L"报告保存成功！");
  EXPECT_FALSE(report->IsModified());
  EXPECT_TRUE(fs::exists(root_ / "missing" / "report.dcm"));
  EXPECT_TRUE(StoredInstances().empty());
}

TEST_F(ReportWindowTest, AReadOnlyReportStaysReadOnlyInThePageAndTheSidePanel) {
  Open();
  ISOReport* readOnly = OpenNew(true);
  if (!readOnly) GTEST_SKIP() << "pydicom test files missing";
  EXPECT_FALSE(SideControl(PM(), L"0010,0010")->IsEnabled());
  ISOReport* editable = OpenNew(false);
  ASSERT_NE(editable, nullptr);
  EXPECT_TRUE(SideControl(PM(), L"0010,0010")->IsEnabled());
  window_->GetWendrel()->ActivateReport(readOnly);
  EXPECT_FALSE(SideControl(PM(), L"0010,0010")->IsEnabled());
  EXPECT_TRUE(Find(L"completeBtn")->IsEnabled());  // still the workflow's to decide
}

TEST_F(ReportWindowTest, TheStoredTemplateIsMatchedByPathElseTheFirstBecomesTheDefault) {
  const auto& list = templates_->GetTemplates();
  ASSERT_GE(list.size(), 2u);
  struct {
    std::wstring stored;
    int selected;
  } cases[] = {{list[1].path, 1}, {list[1].path + L"x", 0}, {L"", 0}};
  for (const auto& c : cases) {
    ReportSettings::SetDefaultReportTemplate(c.stored);
    Open();
    auto* combo = dynamic_cast<CComboUI*>(Find(L"templateCombo"));
    EXPECT_EQ(combo->GetCurSel(), c.selected);
    EXPECT_EQ(ReportSettings::DefaultReportTemplate(), list[size_t(c.selected)].path);
    EXPECT_EQ(std::wstring(combo->GetItemAt(0)->GetText().GetData()),
              list[0].templateName + L" (" + list[0].pageSize + L")");
    window_.reset();
  }
  // A template without a page size shows its name alone.
  fs::create_directories(root_ / "builtin2");
  std::ofstream(root_ / "builtin2" / "plain.xml")
      << "<Window><VerticalLayout width=\"100\" height=\"100\" template_name=\"Plain\"/></Window>";
  templates_ = std::make_unique<ReportTemplateStore>((root_ / "builtin2").string() + "/", (root_ / "imp2").string() + "/");
  Open();
  EXPECT_EQ(std::wstring(dynamic_cast<CComboUI*>(Find(L"templateCombo"))->GetItemAt(0)->GetText().GetData()), L"Plain");
}

TEST_F(ReportWindowTest, ZoomChoicesFitOrScaleAndIgnoreNonPositiveRatios) {
  Open();
  if (!OpenNew()) GTEST_SKIP() << "pydicom test files missing";
  IWendrel* wendrel = window_->GetWendrel();
  auto* combo = dynamic_cast<CComboUI*>(Find(L"zoomCombo"));
  auto* zero = new CListLabelElementUI;
  zero->SetUserData(L"0");
  combo->Add(zero);
  const int count = combo->GetCount();
  for (int i = 0; i < count; ++i)
    if (std::wstring(combo->GetItemAt(i)->GetUserData()) == L"1.5") UITest::SelectItem(PM(), L"zoomCombo", i);
  EXPECT_FLOAT_EQ(wendrel->GetZoom(), 1.5f);
  UITest::SelectItem(PM(), L"zoomCombo", count - 1);
  EXPECT_FLOAT_EQ(wendrel->GetZoom(), 1.5f);
  UITest::SelectItem(PM(), L"zoomCombo", 0);
  EXPECT_EQ(wendrel->GetAutoFit(), 1);
}

TEST_F(ReportWindowTest, PicturesOfTheActiveStudyComeNewestFirstAndGoIntoImageBoxes) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  std::wstring uid;
  report->GetValue(0x0020000D, uid);
  const std::string study = SOWin::ToUtf8(uid);
  SRPictureData older{study, Solid(qRgb(200, 0, 0))}, newer{study, Solid(qRgb(0, 0, 200))},
      other{"1.2.3.999", Solid(qRgb(0, 200, 0))};
  for (SRPictureData* p : {&older, &other, &newer}) {
    EXPECT_FALSE(window_->OnCommand(SOCMD_SR_PICTURE, p));
    DeleteObject(p->bitmap);  // the sender's own
  }
  auto* list = dynamic_cast<CListUI*>(Find(L"pictureList"));
  ASSERT_EQ(list->GetCount(), 2);
  EXPECT_TRUE(Find(L"imageBoxPanel")->IsVisible());
  auto colourOf = [&](int row) {
    auto* picture = dynamic_cast<CPictureUI*>(dynamic_cast<CContainerUI*>(list->GetItemAt(row))->GetItemAt(0));
    return SOWin::ImageOf(picture->GetImageInfo())->pixel(10, 10);
  };
  EXPECT_EQ(colourOf(0), qRgb(0, 0, 200));
  EXPECT_EQ(colourOf(1), qRgb(200, 0, 0));

  // One button per image box of the template; the chosen picture goes into that box.
  auto* boxes = dynamic_cast<CContainerUI*>(Find(L"imageBoxLayout"));
  ASSERT_EQ(boxes->GetCount(), report->GetImageBoxCount());
  ASSERT_GT(boxes->GetCount(), 0);
  list->SelectItem(1, false, false);
  PM().SendNotify(boxes->GetItemAt(0), L"click");
  UITest::ProcessEvents(5);
  EXPECT_TRUE(report->IsModified());
  SODcmDataset item;
  const unsigned char* bytes = nullptr;
  unsigned long length = 0;
  ASSERT_TRUE(report->GetSR()->GetDataset()->GetSequenceItem(0x00081140, 0, item));
  ASSERT_TRUE(item.GetUint8Array(0x00420011, bytes, length));
  EXPECT_GT(length, 2u);

  // The strip holds a bounded number of pictures.
  for (size_t i = 0; i < SOSevraneWnd::kMaxPictures + 5; ++i) {
    SRPictureData p{study, Solid(qRgb(10, 10, 10))};
    window_->OnCommand(SOCMD_SR_PICTURE, &p);
    DeleteObject(p.bitmap);
  }
  EXPECT_EQ(window_->GetPictures().size(), SOSevraneWnd::kMaxPictures);

  // A verified report's image box buttons are disabled.
  report->Verify();
  window_->UpdateButtons();
  EXPECT_FALSE(boxes->GetItemAt(0)->IsEnabled());
}

TEST_F(ReportWindowTest, ACaseIsAppendedAfterOneLineBreakOrReplacesTheTexts) {
  CaseRecord c{0, "CT", "CHEST", "Normal chest", "Lungs clear.", "Normal."};
  ASSERT_TRUE(cases_->AddLocalCase(c));
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  auto pick = [&](const wchar_t* button) {
    InModal(L"SOCaseLibDlg", [button](WindowImplBase& dialog) {
      CPaintManagerUI& pm = *dialog.GetPaintManager();
      UITest::SelectItem(pm, L"localList", 0);
      UITest::Click(pm, button);
    });
    UITest::Click(PM(), L"caselibBtn");
  };
  struct {
    std::wstring before;
    const wchar_t* button;
    std::wstring after;
  } rows[] = {{L"", L"appendBtn", L"Lungs clear."},
              {L"Old.", L"appendBtn", L"Old.\nLungs clear."},
              {L"Old.", L"applyBtn", L"Lungs clear."},
              {L"Old.", L"cancelBtn", L"Old."}};
  for (const auto& row : rows) {
    report->SetValue(kFinding, row.before.c_str());
    pick(row.button);
    std::wstring finding;
    report->GetValue(kFinding, finding);
    EXPECT_EQ(finding, row.after) << row.button;
  }

  // The command answers through the request; closing leaves it untouched.
  CaseLibRequest request;
  request.append = true;
  request.finding = L"keep";
  InModal(L"SOCaseLibDlg", [](WindowImplBase&) {});
  EXPECT_FALSE(window_->OnCommand(SOCMD_CASELIB_DIALOG, &request));
  EXPECT_FALSE(request.append);
  EXPECT_EQ(request.finding, L"keep");
  pick(L"appendBtn");
  InModal(L"SOCaseLibDlg", [](WindowImplBase& dialog) {
    UITest::SelectItem(*dialog.GetPaintManager(), L"localList", 0);
    UITest::Click(*dialog.GetPaintManager(), L"appendBtn");
  });
  EXPECT_FALSE(window_->OnCommand(SOCMD_CASELIB_DIALOG, &request));
  EXPECT_TRUE(request.append);
  EXPECT_EQ(request.finding, L"Lungs clear.");
  EXPECT_EQ(request.conclusion, L"Normal.");
}
