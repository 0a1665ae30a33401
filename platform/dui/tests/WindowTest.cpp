#include "DuiTestUtil.h"
#include "TestSupport.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QCursor>
#include <QDateEdit>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <filesystem>
#include <fstream>

using namespace DuiLib;

namespace {

class CFixtureDlg : public WndDialog {
 public:
  std::vector<std::wstring> seen;
  WPARAM lastWParam = 0;
  bool initialised = false;
  bool* destroyed = nullptr;

  void InitWindow() override { initialised = true; }
  void Notify(TNotifyUI& msg) override {
    seen.push_back(msg.sType.str());
    lastWParam = msg.wParam;
    if (msg.sType == L"click" && msg.pSender->GetName() == L"okBtn") Close(IDOK);
    WndDialog::Notify(msg);
  }
  void OnFinalMessage(HWND hWnd) override {
    WndDialog::OnFinalMessage(hWnd);
    if (destroyed) *destroyed = true;
  }

 protected:
  CDuiString GetSkinFolder() override { return L""; }
  CDuiString GetSkinFile() override { return L"dui_test/fixture.xml"; }
  const wchar_t* GetWindowClassName() const override { return L"CFixtureDlg"; }
};

void FillFixture(CPaintManagerUI& pm) {
  auto* list = static_cast<CListUI*>(pm.FindControl(L"studyList"));
  const wchar_t* rows[][4] = {{L"Zhang Wei 张伟", L"CT", L"2024-03-18", L"312"},
                              {L"Li Na 李娜", L"MR", L"2024-03-17", L"1,024"},
                              {L"Smith^John", L"CR", L"2024-03-15", L"2"}};
  for (auto& r : rows) {
    auto* row = new CListTextElementUI;
    list->Add(row);
    for (int c = 0; c < 4; ++c) row->SetText(c, r[c]);
  }
  static_cast<CListTextElementUI*>(list->GetItemAt(1))->SetMarked(true);
  list->SelectItem(0, false, false);
  static_cast<CComboUI*>(pm.FindControl(L"sexCombo"))->SelectItem(1, false, false);
  static_cast<CDateTimeUI*>(pm.FindControl(L"studyDate"))->SetTime(2024, 3, 18);
  pm.FindControl(L"nameEdit")->SetText(L"Zhang Wei 张伟");
}

}  // namespace

TEST(DuiWindow, SkinnedDialogInitialisesPaintsAndAnswersModally) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  auto* dlg = new CFixtureDlg;
  bool destroyed = false;
  dlg->destroyed = &destroyed;
  ASSERT_NE(dlg->Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  EXPECT_TRUE(dlg->initialised);
  RECT rc;
  ASSERT_TRUE(GetClientRect(*dlg, &rc));
  EXPECT_EQ(rc.right - rc.left, 600);
  EXPECT_EQ(rc.bottom - rc.top, 560);
  EXPECT_STREQ(dlg->m_PaintManager.GetTitle(), L"Skin fixture");
  // "windowinit" arrives once the creating code is done.
  EXPECT_TRUE(dlg->seen.empty());
  UITest::ProcessEvents(10);
  ASSERT_FALSE(dlg->seen.empty());
  EXPECT_EQ(dlg->seen.front(), L"windowinit");
  dlg->SetTitle(L"Fixture dialog");
  EXPECT_STREQ(dlg->m_PaintManager.FindControl(L"titleLabel")->GetText(), L"Fixture dialog");

  FillFixture(dlg->m_PaintManager);
  std::filesystem::path out = orvanta::test::MakeTempDir("dui") / "fixture.png";
  ASSERT_TRUE(SOWin::SaveWindowImage(*dlg, out.string()));
  QImage shot(QString::fromStdString(out.string()));
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), QSize(600, 560));
  // The OK button is painted in its skin colour.
  RECT ok = dlg->m_PaintManager.FindControl(L"okBtn")->GetPos();
  EXPECT_EQ(shot.pixelColor((ok.left + ok.right) / 2, ok.top + 3).rgb(), QColor(0x2F, 0x80, 0xED).rgb());
  if (const char* keep = std::getenv("DUI_KEEP_PNG"))
    std::filesystem::copy_file(out, keep, std::filesystem::copy_options::overwrite_existing);

  UITest::OnModal(L"CFixtureDlg", [](CWindowWnd* w) {
    UITest::Click(static_cast<CFixtureDlg*>(w)->m_PaintManager, L"okBtn");
  });
  EXPECT_EQ(dlg->ShowModal(), UINT(IDOK));
  EXPECT_TRUE(destroyed);
  delete dlg;
}

TEST(DuiWindow, EscapeClosesADialogWithCancel) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  UITest::OnModal(L"CFixtureDlg",
                  [](CWindowWnd* w) { SendMessageW(w->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0); });
  EXPECT_EQ(dlg.ShowModal(), UINT(IDCANCEL));
  EXPECT_FALSE(IsWindow(dlg.GetHWND()));
}

TEST(DuiWindow, MenuChoiceReachesTheOwnerQueued) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  UITest::ProcessEvents(5);
  dlg.seen.clear();
  auto* menu = new MenuWnd;
  menu->Init(dlg.m_PaintManager.FindControl(L"okBtn"), L"dui_test/menu.xml", POINT{100, 100});
  HWND menuWnd = menu->GetHWND();
  ASSERT_NE(menuWnd, nullptr);
  ASSERT_TRUE(UITest::Click(menu->GetPaintManager(), L"menu_logout"));
  UITest::ProcessEvents(20);
  EXPECT_FALSE(IsWindow(menuWnd));
  ASSERT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"menu_logout"), 1);
  EXPECT_EQ(dlg.lastWParam, WPARAM(0x1A));
}

TEST(DuiWindow, ReportTemplatePaintsAtAnyZoomAndPrints) {
  orvanta::test::EnsureQtApp();
  std::filesystem::path dir = orvanta::test::MakeTempDir("report");
  std::filesystem::path templ = dir / "report.xml";
  std::ofstream(templ) << R"(<?xml version="1.0" encoding="utf-8"?>
<Window>
  <Font id="0" name="Noto Serif CJK SC" size="14" default="true"/>
  <Font id="1" name="Noto Serif CJK SC" size="24" bold="true"/>
  <VerticalLayout name="page" width="794" height="1123" bkcolor="#FFFFFFFF" inset="60,50,60,50" childpadding="12"
                  template_name="Chest CT" template_pagesize="A4">
    <Label text="影像诊断报告 Imaging Report" font="1" height="40" align="center" textcolor="#FF1F2328"/>
    <Control height="2" bkcolor="#FF1F2328"/>
    <HorizontalLayout height="28" childpadding="8">
      <Label text="Name 姓名" width="80" textcolor="#FF5F6368"/>
      <Edit name="patientName" userdata="0010,0010" width="200" textcolor="#FF1F2328"/>
      <Label text="Sex" width="40" textcolor="#FF5F6368"/>
      <Combo name="sexCombo" userdata="0010,0040" width="80">
        <ListLabelElement text="M" userdata="M"/>
        <ListLabelElement text="F" userdata="F"/>
      </Combo>
      <Label text="Date" width="50" textcolor="#FF5F6368"/>
      <DateTime name="studyDate" userdata="0008,0020"/>
    </HorizontalLayout>
    <HorizontalLayout height="260" childpadding="12">
      <Picture name="image0" bkcolor="#FF101418"/>
      <Picture name="image1" bkcolor="#FF101418"/>
    </HorizontalLayout>
    <Label text="Finding 所见" height="24" font="0" textcolor="#FF5F6368"/>
    <RichEdit name="finding" userdata="0721,1001" height="220" bordercolor="#FFCDD1D6" bordersize="1"/>
    <Label text="Conclusion 结论" height="24" textcolor="#FF5F6368"/>
    <RichEdit name="conclusion" userdata="0721,1002" height="120" bordercolor="#FFCDD1D6" bordersize="1"/>
    <Control/>
    <HorizontalLayout height="28">
      <Control/>
      <Label text="Reporter" width="80" textcolor="#FF5F6368"/>
      <Label name="author" userdata="0721,1004" width="160" textcolor="#FF1F2328"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.CreateFromAbsolutePath(templ.wstring().c_str(), nullptr, &pm);
  ASSERT_NE(root, nullptr) << QString::fromWCharArray(builder.GetLastErrorMessage()).toStdString();
  pm.AttachDialog(root);
  EXPECT_STREQ(root->GetCustomAttribute(L"template_name"), L"Chest CT");
  EXPECT_STREQ(root->GetCustomAttribute(L"template_pagesize"), L"A4");
  pm.FindControl(L"patientName")->SetText(L"Zhang Wei 张伟");
  static_cast<CComboUI*>(pm.FindControl(L"sexCombo"))->SelectItem(0, false, false);
  static_cast<CDateTimeUI*>(pm.FindControl(L"studyDate"))->SetTime(2024, 3, 18);
  pm.FindControl(L"finding")
      ->SetText(
          L"Both lungs are clear. No pleural effusion. The heart is of normal "
          L"size.\n双肺清晰，未见胸腔积液，心影大小正常。");
  pm.FindControl(L"conclusion")->SetText(L"No acute cardiopulmonary abnormality. 心肺未见急性异常。");
  pm.FindControl(L"author")->SetText(L"Dr. Wang 王医生");
  QImage scan(256, 256, QImage::Format_RGB32);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      int d = (x - 128) * (x - 128) + (y - 128) * (y - 128);
      int v = d < 100 * 100 ? 60 + (d % 97) : 10;
      scan.setPixel(x, y, qRgb(v, v, v));
    }
  QByteArray jpeg;
  QBuffer buf(&jpeg);
  buf.open(QIODevice::WriteOnly);
  scan.save(&buf, "JPEG", 80);
  ASSERT_TRUE(static_cast<CPictureUI*>(pm.FindControl(L"image0"))
                  ->SetPicture(reinterpret_cast<const unsigned char*>(jpeg.data()), long(jpeg.size())));

  QImage full = duitest::Render(pm);
  ASSERT_EQ(full.size(), QSize(794, 1123));
  pm.SetZoomRatio(0.5);
  EXPECT_EQ(pm.GetZoomRatio(), 0.5);
  QImage half = duitest::Render(pm);
  ASSERT_EQ(half.size(), QSize(397, 561));
  // The rule under the title lies at the same place of the page at both zooms.
  RECT picture = pm.FindControl(L"image0")->GetPos();
  QPoint inPicture((picture.left + 5), (picture.top + 5));
  EXPECT_EQ(full.pixelColor(inPicture).rgb(), QColor(0x10, 0x14, 0x18).rgb());
  EXPECT_EQ(half.pixelColor(inPicture / 2).rgb(), QColor(0x10, 0x14, 0x18).rgb());
  ASSERT_TRUE(full.save(QString::fromStdString((dir / "report_full.png").string())));
  ASSERT_TRUE(half.save(QString::fromStdString((dir / "report_half.png").string())));
  if (const char* keep = std::getenv("DUI_KEEP_PNG")) {
    full.save(QString::fromUtf8(keep) + ".report.png");
    half.save(QString::fromUtf8(keep) + ".report_half.png");
  }

  // The same tree on a printer's page, scaled to the page width.
  SOWin::AddPdfPrinterForTest("dui-report-pdf", dir.string());
  HDC printer = CreateDCA(nullptr, "dui-report-pdf", nullptr, nullptr);
  ASSERT_NE(printer, nullptr);
  DOCINFOW doc;
  doc.lpszDocName = L"report";
  ASSERT_GT(StartDocW(printer, &doc), 0);
  ASSERT_GT(StartPage(printer), 0);
  const int pageWidth = GetDeviceCaps(printer, HORZRES);
  pm.SetZoomRatio(double(pageWidth) / 794);
  pm.UpdateLayout(SIZE{pageWidth, int(1123 * pm.GetZoomRatio())});
  pm.Paint(printer);
  EXPECT_GT(EndPage(printer), 0);
  EXPECT_GT(EndDoc(printer), 0);
  DeleteDC(printer);
  std::filesystem::path pdf = dir / "report.pdf";
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 5000u);
  if (const char* keep = std::getenv("DUI_KEEP_PNG"))
    std::filesystem::copy_file(pdf, std::string(keep) + ".report.pdf",
                               std::filesystem::copy_options::overwrite_existing);
}

TEST(DuiWindow, FocusedEditGetsARealEditorForInputMethods) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  UITest::ProcessEvents(5);
  dlg.seen.clear();
  QWidget* host = SOWin::WidgetOf(dlg);
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(UITest::Focus(dlg.m_PaintManager, L"nameEdit"));
  auto* line = host->findChild<QLineEdit*>();
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->isVisible());
  RECT pos = dlg.m_PaintManager.FindControl(L"nameEdit")->GetPos();
  EXPECT_TRUE(
      QRect(pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top).contains(line->geometry()));

  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("张三"));
  QCoreApplication::sendEvent(line, &commit);
  EXPECT_STREQ(dlg.m_PaintManager.FindControl(L"nameEdit")->GetText(), L"张三");
  EXPECT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"textchanged"), 1);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(line, &enter);
  EXPECT_EQ(dlg.seen.back(), L"return");

  // Painting elsewhere (printing, page images) still shows the text under the editor.
  QImage page = duitest::Render(dlg.m_PaintManager);
  int dark = 0;
  for (int y = pos.top + 2; y < pos.bottom - 2; ++y)
    for (int x = pos.left + 2; x < pos.right - 2; ++x) dark += qGray(page.pixel(x, y)) < 128;
  EXPECT_GT(dark, 20);

  // A programmatic text reaches the editor without a notification.
  dlg.m_PaintManager.FindControl(L"nameEdit")->SetText(L"Li Si");
  EXPECT_EQ(line->text(), QStringLiteral("Li Si"));
  EXPECT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"textchanged"), 1);

  ASSERT_TRUE(UITest::Focus(dlg.m_PaintManager, L"okBtn"));
  EXPECT_EQ(dlg.seen.back(), L"setfocus");
  UITest::ProcessEvents(5);
  EXPECT_EQ(host->findChild<QLineEdit*>(), nullptr);

  // The typed part of an edit combo gets one too.
  ASSERT_TRUE(UITest::Focus(dlg.m_PaintManager, L"unitCombo"));
  line = host->findChild<QLineEdit*>();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->text(), QStringLiteral("Years"));
  QInputMethodEvent days;
  days.setCommitString(QStringLiteral("天"));
  line->selectAll();
  QCoreApplication::sendEvent(line, &days);
  EXPECT_STREQ(dlg.m_PaintManager.FindControl(L"unitCombo")->GetText(), L"天");
  ASSERT_TRUE(UITest::SelectItem(dlg.m_PaintManager, L"unitCombo", 1));
  EXPECT_EQ(line->text(), QStringLiteral("Months"));
}

TEST(DuiWindow, ComboDropDownChoosesAndGivesItsItemsBack) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  UITest::ProcessEvents(5);
  dlg.seen.clear();
  auto* combo = static_cast<CComboUI*>(dlg.m_PaintManager.FindControl(L"sexCombo"));
  ASSERT_TRUE(UITest::Click(dlg.m_PaintManager, L"sexCombo"));
  ASSERT_TRUE(combo->IsDropped());
  CControlUI* female = combo->GetItemAt(1);
  EXPECT_NE(female->GetManager(), &dlg.m_PaintManager);  // lent to the drop-down
  ASSERT_TRUE(UITest::Click(female));
  UITest::ProcessEvents(20);
  EXPECT_FALSE(combo->IsDropped());
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"itemselect"), 1);
  EXPECT_EQ(female->GetManager(), &dlg.m_PaintManager);
  EXPECT_EQ(female->GetParent(), combo);
  // Closing the dialog with the list open tears both down cleanly.
  ASSERT_TRUE(UITest::Click(dlg.m_PaintManager, L"sexCombo"));
  ASSERT_TRUE(combo->IsDropped());
  DestroyWindow(dlg);
  UITest::ProcessEvents(5);
}

TEST(DuiWindow, ModalBlocksTheOwnerChainOnlyAndControlTimersTick) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg top, middle, other;
  ASSERT_NE(top.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  ASSERT_NE(middle.Create(top, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  ASSERT_NE(other.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  auto* modal = new CFixtureDlg;
  ASSERT_NE(modal->Create(middle, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);

  struct Ticks {
    int count = 0;
    bool OnEvent(void* p) {
      if (static_cast<TEventUI*>(p)->Type == UIEVENT_TIMER) ++count;
      return true;
    }
  } ticks;
  CControlUI* label = modal->m_PaintManager.FindControl(L"statusLabel");
  label->OnEvent += MakeDelegate(&ticks, &Ticks::OnEvent);
  ASSERT_TRUE(modal->m_PaintManager.SetTimer(label, 1, 10));

  bool topEnabled = true, middleEnabled = true, otherEnabled = false;
  UITest::OnModal(L"CFixtureDlg", [&](CWindowWnd* w) {
    topEnabled = IsWindowEnabled(top);
    middleEnabled = IsWindowEnabled(middle);
    otherEnabled = IsWindowEnabled(other);
    SOWin::PumpUntil([&] { return ticks.count >= 2; }, 5000);
    static_cast<CFixtureDlg*>(w)->Close(7);
  });
  EXPECT_EQ(modal->ShowModal(), 7u);
  EXPECT_FALSE(topEnabled);
  EXPECT_FALSE(middleEnabled);
  EXPECT_TRUE(otherEnabled);
  EXPECT_GE(ticks.count, 2);
  EXPECT_TRUE(IsWindowEnabled(top));
  EXPECT_TRUE(IsWindowEnabled(middle));
  delete modal;
}

TEST(DuiWindow, MissingSkinFailsTheCreationAndTabWalksTheFields) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  struct CBrokenDlg : CFixtureDlg {
    CDuiString GetSkinFile() override { return L"dui_test/none.xml"; }
  } broken;
  EXPECT_EQ(broken.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
  EXPECT_FALSE(broken.initialised);

  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  CPaintManagerUI& pm = dlg.m_PaintManager;
  ASSERT_TRUE(UITest::Focus(pm, L"nameEdit"));
  SendMessageW(dlg, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(pm.GetFocus(), pm.FindControl(L"passwordEdit"));
  SendMessageW(dlg, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(pm.GetFocus(), pm.FindControl(L"sexCombo"));
}

TEST(DuiWindow, DateFieldEditsWithACalendar) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  UITest::ProcessEvents(5);
  auto* date = static_cast<CDateTimeUI*>(dlg.m_PaintManager.FindControl(L"studyDate"));
  ASSERT_TRUE(date->SetTime(2024, 3, 18));
  ASSERT_TRUE(UITest::Focus(dlg.m_PaintManager, L"studyDate"));
  auto* edit = SOWin::WidgetOf(dlg)->findChild<QDateEdit*>();
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(edit->calendarPopup());
  dlg.seen.clear();
  edit->setDate(QDate(2024, 4, 1));
  EXPECT_STREQ(date->GetText(), L"2024-04-01");
  EXPECT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"textchanged"), 1);
  if (const char* keep = std::getenv("DUI_KEEP_PNG"))
    SOWin::SaveWindowImage(dlg, std::string(keep) + ".date.png");
  UITest::KillFocus(dlg.m_PaintManager);
  EXPECT_EQ(std::count(dlg.seen.begin(), dlg.seen.end(), L"killfocus"), 1);
  UITest::ProcessEvents(5);
  // A text that is no date is edited as text.
  date->SetText(L"unknown");
  ASSERT_TRUE(UITest::Focus(dlg.m_PaintManager, L"studyDate"));
  EXPECT_EQ(SOWin::WidgetOf(dlg)->findChild<QDateEdit*>(), nullptr);
  ASSERT_NE(SOWin::WidgetOf(dlg)->findChild<QLineEdit*>(), nullptr);
  EXPECT_EQ(SOWin::WidgetOf(dlg)->findChild<QLineEdit*>()->text(), QStringLiteral("unknown"));
}

TEST(DuiWindow, CaptionMovesAndSizeBoxResizesTheFramelessWindow) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  CFixtureDlg dlg;
  ASSERT_NE(dlg.Create(nullptr, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 0, 0, 0), nullptr);
  EXPECT_EQ(GetWindowLongPtrW(dlg, GWL_STYLE) & WS_CAPTION, 0);
  UITest::ProcessEvents(5);
  auto drag = [&](POINT from, POINT by) {
    POINT screen = from;
    ClientToScreen(dlg, &screen);
    QCursor::setPos(screen.x, screen.y);
    SendMessageW(dlg, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    QCursor::setPos(screen.x + by.x, screen.y + by.y);
    SendMessageW(dlg, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x + by.x, from.y + by.y));
    SendMessageW(dlg, WM_LBUTTONUP, 0, MAKELPARAM(from.x + by.x, from.y + by.y));
  };
  RECT before, after;
  GetWindowRect(dlg, &before);
  QCursor::setPos(before.left + 3, before.top + 3);
  if (QCursor::pos() != QPoint(before.left + 3, before.top + 3)) GTEST_SKIP() << "no settable cursor here";

  drag(POINT{200, 20}, POINT{30, 40});  // on the title label
  GetWindowRect(dlg, &after);
  EXPECT_EQ(after.left - before.left, 30);
  EXPECT_EQ(after.top - before.top, 40);
  EXPECT_EQ(after.right - after.left, 600);

  drag(POINT{598, 558}, POINT{50, -500});  // bottom-right corner; the height stops at the minimum
  GetWindowRect(dlg, &after);
  EXPECT_EQ(after.right - after.left, 650);
  EXPECT_EQ(after.bottom - after.top, 300);

  GetWindowRect(dlg, &before);
  drag(POINT{590, 22}, POINT{40, 40});  // the close button is no caption
  GetWindowRect(dlg, &after);
  EXPECT_EQ(after.left, before.left);
}

TEST(DuiWindow, RealDoubleClickOnARowReachesTheListOnlyWithTheDoubleClickClassStyle) {
  orvanta::test::EnsureQtApp();
  duitest::UseTestSkins();
  struct CPlainClassDlg : CFixtureDlg {
    const wchar_t* GetWindowClassName() const override { return L"CPlainClassDlg"; }
    UINT GetClassStyle() const override { return 0; }
  };
  // Counts the presses the window itself receives.
  struct Presses : IMessageFilterUI {
    int downs = 0, doubles = 0;
    LRESULT MessageHandler(UINT msg, WPARAM, LPARAM, bool&) override {
      downs += msg == WM_LBUTTONDOWN;
      doubles += msg == WM_LBUTTONDBLCLK;
      return 0;
    }
  };
  for (bool doubleClickStyle : {true, false}) {
    SCOPED_TRACE(doubleClickStyle ? "skinned window class" : "class without double-clicks");
    std::unique_ptr<CFixtureDlg> dlg(doubleClickStyle ? new CFixtureDlg : new CPlainClassDlg);
    ASSERT_NE(dlg->Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
    CPaintManagerUI& pm = dlg->m_PaintManager;
    UITest::ProcessEvents(5);
    ASSERT_TRUE(UITest::SelectItem(pm, L"switch", 1));
    auto* list = static_cast<CListUI*>(pm.FindControl(L"studyList"));
    for (int i = 0; i < 40; ++i) {
      auto* row = new CListTextElementUI;
      list->Add(row);
      row->SetText(0, (L"Patient " + std::to_wstring(i)).c_str());
    }
    UITest::ProcessEvents(5);
    Presses presses;
    pm.AddPreMessageFilter(&presses);
    dlg->seen.clear();
    // The row is far below the list's view: the wheel brings it up first.
    ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", 33));
    pm.RemovePreMessageFilter(&presses);
    EXPECT_EQ(list->GetCurSel(), 33);
    EXPECT_EQ(presses.downs + presses.doubles, 2) << "one message per press";
    EXPECT_EQ(presses.doubles, doubleClickStyle ? 1 : 0);
    EXPECT_EQ(std::count(dlg->seen.begin(), dlg->seen.end(), L"itemdbclick"), doubleClickStyle ? 1 : 0);
    if (doubleClickStyle) EXPECT_EQ(dlg->lastWParam, WPARAM(33));
  }
}
