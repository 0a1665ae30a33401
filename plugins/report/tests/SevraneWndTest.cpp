#include <sys/stat.h>

#include "IKelvast.h"
#include "ReportSettings.h"
#include "ReportWindowTestUtil.h"
#include "SOReportWindow.h"
#include "SOWinQt.h"
#include "StoreUtil.h"

#include <QImage>

#include <fstream>
#include <sstream>

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

// dciodvfy's errors about a file, one a line; empty for a valid file.
std::string DicomErrors(const std::string& path, const fs::path& scratch) {
  const fs::path log = scratch / "dciodvfy.txt";
  orvanta::test::RunCommand("dciodvfy '" + path + "' > '" + log.string() + "' 2>&1");
  std::string errors, line;
  std::istringstream lines(orvanta::test::FileBytes(log));
  while (std::getline(lines, line))
    if (line.find("Error") != std::string::npos) errors += line + "\n";
  return errors;
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
  // The page shows when it was verified, as a date and a time.
  std::function<CControlUI*(CControlUI*)> verifiedOn = [&](CControlUI* c) -> CControlUI* {
    if (std::wstring(c->GetUserData()) == L"0040,A030") return c;
    auto* container = dynamic_cast<CContainerUI*>(c);
    for (int i = 0; container && i < container->GetCount(); ++i)
      if (CControlUI* found = verifiedOn(container->GetItemAt(i))) return found;
    return nullptr;
  };
  auto* page = dynamic_cast<wendrel::SOReportWindow*>(report);
  ASSERT_NE(page, nullptr);
  CControlUI* stamp = verifiedOn(page->GetPaintManager()->FindControl(L"pagePanel"));
  ASSERT_NE(stamp, nullptr);
  std::wstring when;
  report->GetValue(0x0040A030, when);
  ASSERT_GE(when.size(), 14u);
  EXPECT_EQ(std::wstring(stamp->GetText().GetData()), when.substr(0, 4) + L"-" + when.substr(4, 2) + L"-" +
                                                          when.substr(6, 2) + L" " + when.substr(8, 2) + L":" +
                                                          when.substr(10, 2) + L":" + when.substr(12, 2));
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
  ASSERT_TRUE(UITest::SelectItem(PM(), L"pictureList", 1));
  ASSERT_TRUE(UITest::Click(boxes->GetItemAt(0)));
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

TEST_F(ReportWindowTest, AClickOnAPageFieldTypesIntoThatFieldAtEveryZoomAndTheWheelReachesTheRest) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  auto* page = dynamic_cast<wendrel::SOReportWindow*>(report);
  ASSERT_NE(page, nullptr);
  CPaintManagerUI& pagePm = *page->GetPaintManager();
  const HWND hwnd = page->GetHWND();
  std::vector<CControlUI*> fields;
  PageFields(pagePm.FindControl(L"pagePanel"), fields);
  ASSERT_GE(fields.size(), 8u);
  auto* zoomCombo = dynamic_cast<CComboUI*>(Find(L"zoomCombo"));
  int typed = 10;
  for (const wchar_t* zoom : {L"Auto", L"0.5", L"0.75", L"1", L"2"}) {
    SCOPED_TRACE(testing::Message() << SOWin::ToUtf8(zoom));
    for (int i = 0; i < zoomCombo->GetCount(); ++i)
      if (std::wstring(zoomCombo->GetItemAt(i)->GetUserData()) == zoom) ASSERT_TRUE(UITest::SelectItem(PM(), L"zoomCombo", i));
    UITest::ProcessEvents(20);
    RECT client{};
    GetClientRect(hwnd, &client);
    int wheeled = 0, sideways = 0;
    if (std::wstring(zoom) == L"1") {
      // The bar's thumb dragged to its end shows the end of the page, and dragged back its top.
      auto* view = static_cast<CContainerUI*>(pagePm.FindControl(L"pageView"));
      CScrollBarUI* bar = view->GetVerticalScrollBar();
      ASSERT_TRUE(bar && bar->IsVisible());
      for (int i = 0; i < 60 && bar->GetScrollPos() > 0; ++i) UITest::WheelWindow(hwnd, POINT{4, client.bottom / 2}, 1);
      const RECT track = bar->GetPos();
      const LONG x = (track.left + track.right) / 2;
      ASSERT_TRUE(UITest::Drag(pagePm, POINT{x, track.top + 5}, POINT{x, track.bottom - 1}));
      EXPECT_EQ(bar->GetScrollPos(), bar->GetScrollRange());
      EXPECT_LT(Centre(fields.back()).y, client.bottom - 20);
      ASSERT_TRUE(UITest::Drag(pagePm, POINT{x, track.bottom - 5}, POINT{x, track.top + 1}));
      EXPECT_EQ(bar->GetScrollPos(), 0);
    }
    for (CControlUI* field : fields) {
      const DWORD tag = TagOf(field);
      // A field out of view (clear of the view's margins and bars) is scrolled to with the wheel
      // over the view's top margin, sideways with Shift.
      const int edge = int(24 * pagePm.GetZoomRatio()) + 16;
      const POINT margin{4, client.bottom / 2};
      for (int i = 0; i < 40 && Centre(field).y > client.bottom - edge; ++i, ++wheeled) UITest::WheelWindow(hwnd, margin, -1);
      for (int i = 0; i < 40 && Centre(field).y < edge; ++i) UITest::WheelWindow(hwnd, margin, 1);
      for (int i = 0; i < 40 && Centre(field).x > client.right - edge; ++i, ++sideways)
        UITest::WheelWindow(hwnd, margin, -1, MK_SHIFT);
      for (int i = 0; i < 40 && Centre(field).x < edge; ++i) UITest::WheelWindow(hwnd, margin, 1, MK_SHIFT);
      ASSERT_LE(Centre(field).y, client.bottom - edge) << std::hex << tag;
      ASSERT_LE(Centre(field).x, client.right - edge) << std::hex << tag;
      ASSERT_GE(Centre(field).x, edge) << std::hex << tag;
      std::vector<std::wstring> before;
      for (CControlUI* f : fields) before.push_back(f->GetText().GetData());
      std::wstring valueBefore;
      report->GetValue(tag, valueBefore);

      // Patient ID files the report with its study: it is shown, not edited.
      auto* edit = static_cast<CEditUI*>(field->GetInterface(L"Edit"));
      const bool editable = !(edit && edit->IsReadOnly());
      EXPECT_EQ(editable, tag != 0x00100020);
      const std::string digits = std::to_string(++typed);
      ASSERT_TRUE(UITest::ClickWindow(hwnd, Centre(field)));
      UITest::TypeWindow(hwnd, SOWin::FromUtf8(digits).c_str());
      for (size_t i = 0; i < fields.size(); ++i) {
        const std::wstring now = fields[i]->GetText().GetData();
        if (fields[i] == field && editable)
          EXPECT_NE(now.find(SOWin::FromUtf8(digits)), std::wstring::npos) << std::hex << tag;
        else if (TagOf(fields[i]) != tag || !editable)
          EXPECT_EQ(now, before[i]) << std::hex << tag << " typed into " << TagOf(fields[i]);
      }
      std::wstring value;
      report->GetValue(tag, value);
      EXPECT_EQ(value != valueBefore, editable) << std::hex << tag;
    }
    // Fitted, the whole page is in view; at 100% it is not, at 200% not even its width.
    if (std::wstring(zoom) == L"Auto") EXPECT_EQ(wheeled + sideways, 0);
    if (std::wstring(zoom) == L"1") EXPECT_GT(wheeled, 0);
    if (std::wstring(zoom) == L"2") EXPECT_GT(sideways, 0);
  }

  // Ctrl+A in a text box selects its whole text: what is typed next replaces it.
  CControlUI* conclusion = nullptr;
  for (CControlUI* field : fields)
    if (TagOf(field) == kConclusion) conclusion = field;
  ASSERT_NE(conclusion, nullptr);
  ASSERT_TRUE(UITest::ClickWindow(hwnd, Centre(conclusion)));
  UITest::KeyWindow(hwnd, 'A', MK_CONTROL);
  UITest::TypeWindow(hwnd, L"77");
  std::wstring text;
  report->GetValue(kConclusion, text);
  EXPECT_EQ(text, L"77");
}

TEST_F(ReportWindowTest, TypingInTheSidePanelLeavesTheEditAsTheUserLeftIt) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  ASSERT_TRUE(UITest::Click(PM(), L"editModeOpt"));
  UITest::ProcessEvents(10);
  CControlUI* sideName = SideControl(PM(), L"0010,0010");
  ASSERT_NE(sideName, nullptr);
  std::wstring name;
  report->GetValue(kName, name);
  ASSERT_FALSE(name.empty());
  // The caret goes to the start and stays there while typing: a value written back into the
  // edit would move it to the end after the first key.
  ASSERT_TRUE(UITest::ClickWindow(window_->GetHWND(), Centre(sideName)));
  UITest::KeyWindow(window_->GetHWND(), VK_HOME);
  UITest::TypeWindow(window_->GetHWND(), L"12");
  EXPECT_EQ(std::wstring(sideName->GetText().GetData()), L"12" + name);
  std::wstring value;
  report->GetValue(kName, value);
  EXPECT_EQ(value, L"12" + name);
}

TEST_F(ReportWindowTest, ReopeningAnOpenModifiedReportKeepsItsUnsavedTextAndTheQuestionOnClose) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  AnswerBox(nullptr);
  ASSERT_TRUE(UITest::Click(PM(), L"saveFileBtn"));
  ASSERT_FALSE(report->IsModified());
  report->SetValue(kConclusion, L"Unsaved 未保存");

  // The study database opens the stored report again, as unmodified.
  const std::vector<InstanceRecord> rows = StoredInstances();
  ASSERT_EQ(rows.size(), 1u);
  SODcmSR stored;
  ASSERT_TRUE(stored.LoadFile(rows[0].storePath.c_str()));
  SROpenRequest request;
  request.sr = &stored;
  request.modified = false;
  ASSERT_TRUE(window_->OnCommand(SOCMD_OPEN_SR_FILEG, &request));
  EXPECT_EQ(window_->GetWendrel()->GetReportCount(), 1);
  EXPECT_TRUE(report->IsModified());
  EXPECT_EQ(TabTitle(0).back(), L'*');
  std::wstring conclusion;
  report->GetValue(kConclusion, conclusion);
  EXPECT_EQ(conclusion, L"Unsaved 未保存");

  std::wstring question;
  AnswerBox(&question, IDCANCEL);
  ASSERT_TRUE(UITest::Click(PM(), L"reportTabCloseBtn"));
  EXPECT_EQ(question, L"是否保存对文件的修改？");
}

TEST_F(ReportWindowTest, SavedReportsAreValidWhateverIsTypedAndAreVerifiedOnlyWithAnOrganization) {
  Open();
  ISOReport* report = OpenNew();
  if (!report) GTEST_SKIP() << "pydicom test files missing";
  auto saveAndCheck = [&](const char* what) {
    AnswerBox(nullptr);
    ASSERT_TRUE(UITest::Click(PM(), L"saveFileBtn"));
    const std::vector<InstanceRecord> rows = StoredInstances();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(DicomErrors(rows[0].storePath, root_), "") << what;
  };
  // Body part is a code: Latin text becomes one; other text is kept as free text.
  const struct {
    const wchar_t* typed;
    const wchar_t* shown;
  } bodyParts[] = {{L"Chest", L"CHEST"}, {L"胸部 left", L"胸部 left"}, {L"Left knee, medial", L"Left knee, medial"},
                   {L"abdomen", L"ABDOMEN"}};
  for (const auto& part : bodyParts) {
    ASSERT_TRUE(report->SetValue(0x00180015, part.typed));
    saveAndCheck(SOWin::ToUtf8(part.typed).c_str());
    SODcmSR back;
    ASSERT_TRUE(back.LoadFile(StoredInstances()[0].storePath.c_str()));
    window_->GetWendrel()->CloseReport(report);
    SROpenRequest request;
    request.sr = &back;
    ASSERT_TRUE(window_->OnCommand(SOCMD_OPEN_SR_FILEG, &request));
    report = window_->GetWendrel()->GetActiveReport();
    std::wstring shown;
    report->GetValue(0x00180015, shown);
    EXPECT_EQ(shown, part.shown);
  }

  InModal(L"SOCompleteDlg", [&](WindowImplBase& dialog) {
    UITest::SetText(*dialog.GetPaintManager(), L"authorEdit", L"Wang Wei 王伟");
    UITest::Click(*dialog.GetPaintManager(), L"confirmBtn");
  });
  ASSERT_TRUE(UITest::Click(PM(), L"completeBtn"));
  ASSERT_TRUE(report->IsCompleted());

  // Neither the settings nor the images name the institution: the user is told, nothing is verified.
  auto verify = [&](std::wstring* box) {
    InModal(L"SOVerifyDlg", [&](WindowImplBase& dialog) {
      UITest::SetText(*dialog.GetPaintManager(), L"verifyingObserverNameEdit", L"Zhao Min 赵敏");
      if (box) AnswerBox(box);
      UITest::Click(*dialog.GetPaintManager(), L"confirmBtn");
    });
    ASSERT_TRUE(UITest::Click(PM(), L"verifyBtn"));
  };
  ASSERT_TRUE(ReportSettings::InstitutionName().empty());
  std::wstring box;
  verify(&box);
  EXPECT_EQ(box, L"审核机构未知：请先在设置中填写机构名称。");
  EXPECT_FALSE(report->IsVerified());
  EXPECT_TRUE(Find(L"verifyBtn")->IsEnabled());

  ReportSettings::SetInstitutionName(L"Radiology 放射科");
  verify(nullptr);
  ASSERT_TRUE(report->IsVerified());
  const std::vector<InstanceRecord> rows = StoredInstances();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(DicomErrors(rows[0].storePath, root_), "");
}
