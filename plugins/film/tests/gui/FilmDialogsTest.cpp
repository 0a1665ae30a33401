#include "BlockLayout.h"
#include "DicomFixtures.h"
#include "SOFilmBox.h"
#include "SOFilmSession.h"
#include "FilmGuiSupport.h"
#include "FilmTestFiles.h"
#include "FilmWindows.h"
#include "SOFilmSettingDlg.h"
#include "SOPrintQueueDlg.h"
#include "SOPluginFilmWnd.h"
#include "SOPrinterAddDlg.h"

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;
using namespace DuiLib;
using namespace filmgui;
using orvanta::test::MakeTempDir;

namespace {

PrinterRecord Named(const std::string& name, int port = 104) {
  PrinterRecord p = filmtest::Printer(port, name);
  return p;
}

class FilmDialogs : public testing::Test {
 protected:
  void SetUp() override { UseProgramFolder(); }
  fs::path configPath = MakeTempDir("printers") / "printer.xml";
  PrinterConfig config{configPath.string()};
};

TEST_F(FilmDialogs, TheAddDialogShowsTheFirstFaultAndWritesAGoodPrinterAsTheOnlyDefault) {
  ASSERT_TRUE(config.Add(Named("first")));
  Boxes boxes;
  bool saved = false;
  UITest::OnModal(L"SOPrinterAddDlg", [&](CWindowWnd* w) {
    CPaintManagerUI& pm = PM(w);
    EXPECT_EQ(Text(pm, L"headerRatioEdit"), L"1.30");
    UITest::Click(pm, L"confirmBtn");
    EXPECT_EQ(boxes.Last(), L"打印机名称不能为空！");
    UITest::SetText(pm, L"printerNameEdit", L"胶片机二");
    UITest::SetText(pm, L"addrEdit", L"127.0.0.1");
    UITest::SetText(pm, L"portEdit", L"abc");
    UITest::SetText(pm, L"calledAEEdit", L"PRINTSCP");
    UITest::SetText(pm, L"callingAEEdit", L"ORVANTA");
    UITest::Click(pm, L"confirmBtn");
    EXPECT_EQ(boxes.Last(), L"端口必须在1到65535之间！");
    UITest::SetText(pm, L"portEdit", L"10400");
    UITest::SetText(pm, L"headerRatioEdit", L"50");
    UITest::SelectItem(pm, L"mediumCombo", 2);
    UITest::Click(pm, L"defaultOption");
    UITest::Click(pm, L"confirmBtn");
    saved = static_cast<brenvik::SOPrinterAddDlg*>(w)->IsSaved();
  });
  brenvik::SOPrinterAddDlg dialog(&config);
  brenvik::RunModal(dialog, nullptr, L"SOPrinterAddDlg");
  EXPECT_TRUE(saved);
  EXPECT_EQ(boxes.texts.size(), 2u);
  std::vector<PrinterRecord> printers = PrinterConfig(configPath.string()).Printers();
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_FALSE(printers[0].isDefault);
  EXPECT_TRUE(printers[1].isDefault);
  EXPECT_EQ(printers[1].name, "胶片机二");
  EXPECT_EQ(printers[1].port, 10400);
  EXPECT_DOUBLE_EQ(printers[1].headerSizeRatio, 0.3);
  EXPECT_EQ(printers[1].medium, 2);  // CLEAR FILM
}

TEST_F(FilmDialogs, TheSettingsDialogEditsInPlaceAndDeletesOnlyWhenConfirmed) {
  const int closed = orvanta::test::FreeLoopbackPort();
  for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(config.Add(Named(name, closed)));
  Boxes boxes;
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* w) {
    CPaintManagerUI& pm = PM(w);
    ASSERT_TRUE(UITest::SelectItem(pm, L"filmPrinterList", 1));
    EXPECT_EQ(Text(pm, L"printerNameEdit"), L"b");
    UITest::Click(pm, L"connectTestBtn");
    EXPECT_TRUE(PumpUntil([&] { return !boxes.texts.empty(); }));
    EXPECT_EQ(boxes.Last(), L"连接失败！");
    // Edit the second printer: it stays second.
    UITest::OnModal(L"SOPrinterAddDlg", [](CWindowWnd* add) {
      CPaintManagerUI& form = PM(add);
      EXPECT_EQ(Text(form, L"printerNameEdit"), L"b");
      UITest::SetText(form, L"printerNameEdit", L"b2");
      UITest::Click(form, L"confirmBtn");
    });
    UITest::Click(pm, L"editPrinterBtn");
    EXPECT_EQ(Text(pm, L"printerNameEdit"), L"b2");

    auto* list = dynamic_cast<CListUI*>(pm.FindControl(L"filmPrinterList"));
    ASSERT_TRUE(UITest::SelectItem(pm, L"filmPrinterList", 2));
    auto deleteRow = [&](int row) {
      CControlUI* button = dynamic_cast<CContainerUI*>(dynamic_cast<CContainerUI*>(list->GetItemAt(row))->GetItemAt(0))->GetItemAt(3);
      ASSERT_TRUE(UITest::Click(button));
    };
    boxes.answer = IDCANCEL;
    deleteRow(2);
    EXPECT_EQ(boxes.Last(), L"确认删除打印机？");
    EXPECT_EQ(list->GetCount(), 3);
    boxes.answer = IDOK;
    deleteRow(2);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetCurSel(), 1);  // the new last row
    EXPECT_EQ(Text(pm, L"printerNameEdit"), L"b2");
    w->Close(IDOK);
  });
  brenvik::SOSettingDlg dialog(&config);
  brenvik::RunModal(dialog, nullptr, L"SOSettingDlg");
  std::vector<PrinterRecord> printers = config.Printers();
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[1].name, "b2");
}

TEST_F(FilmDialogs, TheQueueDialogFollowsTheJobsAndRemovesOnlyFinishedOnes) {
  fs::path folder = MakeTempDir("films");
  const int closed = orvanta::test::FreeLoopbackPort();
  auto leave = [&](const char* time, const char* status) {
    auto film = filmtest::MakeFilm(Named("p", closed));
    std::string uid = SOUtil::GenerateUID();
    film->GetDataset()->SetString(0x00080018, uid);
    film->GetDataset()->SetString(0x00080023, "20250301");
    film->GetDataset()->SetString(0x00080033, time);
    if (status) film->GetDataset()->SetString(filmfile::kExecutionStatus, status);
    EXPECT_TRUE(film->SaveFile((folder / uid).c_str(), false));
    return uid;
  };
  const std::string paused = leave("100000", nullptr);
  const std::string done = leave("110000", "DONE");
  const std::string failed = leave("120000", "FAILURE");
  SOPrintQueue queue(folder.string());
  queue.WaitIdle();

  UITest::OnModal(L"SOPrintQueueDlg", [&](CWindowWnd* w) {
    CPaintManagerUI& pm = PM(w);
    auto* pending = dynamic_cast<CListUI*>(pm.FindControl(L"filmTaskList"));
    auto* finished = dynamic_cast<CListUI*>(pm.FindControl(L"filmTaskListDone"));
    ASSERT_EQ(pending->GetCount(), 1);
    EXPECT_STREQ(dynamic_cast<CListTextElementUI*>(pending->GetItemAt(0))->GetText(1), L"暂停");
    EXPECT_EQ(Text(pm, L"filmTaskCountLabel"), L"1");
    EXPECT_EQ(Text(pm, L"filmTaskCountLabelDone"), L"2");
    EXPECT_STREQ(dynamic_cast<CListTextElementUI*>(finished->GetItemAt(0))->GetText(1), L"失败");  // newest first

    UITest::Click(pm, L"removeAllBtnDone");
    EXPECT_EQ(finished->GetCount(), 0);
    EXPECT_EQ(Text(pm, L"filmTaskCountLabelDone"), L"0");
    EXPECT_FALSE(fs::exists(folder / done));
    EXPECT_FALSE(fs::exists(folder / failed));

    // Start the paused film: the printer does not answer, so it ends failed, in the other list.
    UITest::Click(pm, L"startBtn");
    EXPECT_TRUE(PumpUntil([&] { return finished->GetCount() == 1; }));
    EXPECT_EQ(pending->GetCount(), 0);
    EXPECT_STREQ(dynamic_cast<CListTextElementUI*>(finished->GetItemAt(0))->GetText(1), L"失败");
    EXPECT_TRUE(fs::exists(folder / paused));
    w->Close(IDOK);
  });
  brenvik::SOPrintQueueDlg dialog(&queue);
  brenvik::RunModal(dialog, nullptr, L"SOPrintQueueDlg");
}

TEST_F(FilmDialogs, TheLayoutPickerMarksABlockAndChoosesOrClosesWithoutAChoice) {
  int rows = 0, columns = 0, choices = 0;
  auto handler = [&](int r, int c) {
    rows = r, columns = c;
    ++choices;
  };
  brenvik::BlockLayout* picker = brenvik::BlockLayout::Open(nullptr, POINT{50, 50}, handler);
  ASSERT_NE(picker, nullptr);
  HWND window = picker->GetHWND();
  UITest::ProcessEvents(20);
  auto* tiles = dynamic_cast<CTileLayoutUI*>(picker->GetPaintManager()->FindControl(L"tileLayout"));
  ASSERT_EQ(tiles->GetColumns(), 6);
  const RECT fourthOfSecondRow = tiles->GetItemAt(6 + 3)->GetPos();
  ASSERT_TRUE(UITest::MoveWindowPointer(window, POINT{fourthOfSecondRow.left + 2, fourthOfSecondRow.top + 2}));
  EXPECT_EQ(Text(*picker->GetPaintManager(), L"tileLabel"), L"4x2");
  int marked = 0;
  for (int i = 0; i < tiles->GetCount(); ++i) marked += dynamic_cast<COptionUI*>(tiles->GetItemAt(i))->IsSelected();
  EXPECT_EQ(marked, 8);
  const RECT first = tiles->GetItemAt(0)->GetPos();
  ASSERT_TRUE(UITest::ClickAt(*picker->GetPaintManager(), POINT{first.left + 1, first.top + 1}));
  UITest::ProcessEvents(20);
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(columns, 1);
  EXPECT_FALSE(::IsWindow(window));

  picker = brenvik::BlockLayout::Open(nullptr, POINT{50, 50}, handler);
  window = picker->GetHWND();
  ::SendMessageW(window, WM_KILLFOCUS, 0, 0);
  UITest::ProcessEvents(20);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(choices, 1);
}

}  // namespace

namespace {

TEST_F(FilmDialogs, TheWindowTogglesToolsAndFollowsThePrinterItsHeaderComesFrom) {
  PrinterRecord plain = Named("plain");
  plain.isDefault = true;
  PrinterRecord headless = Named("headless");
  headless.headerVisible = false;
  headless.headerSizeRatio = 0.05;
  ASSERT_TRUE(config.Add(plain));
  ASSERT_TRUE(config.Add(headless));
  SOPrintQueue queue(MakeTempDir("films").string());
  auto window = std::make_unique<brenvik::SOPluginFilmWnd>(&config, &queue);
  HWND hwnd = window->Create(nullptr, L"SOPluginFilmWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  ASSERT_NE(hwnd, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();
  ISOOstrel* ostrel = window->GetOstrel();

  UITest::Click(pm, L"wwBtn");
  EXPECT_EQ(ostrel->GetMouseTool(), 1);
  UITest::Click(pm, L"wwBtn");
  EXPECT_EQ(ostrel->GetMouseTool(), 0);

  EXPECT_EQ(Text(pm, L"printerCombo"), L"plain");  // the default
  EXPECT_TRUE(ostrel->IsHeaderVisible());
  ASSERT_TRUE(UITest::SelectItem(pm, L"printerCombo", 1));
  EXPECT_FALSE(ostrel->IsHeaderVisible());
  // A change of the configuration keeps the chosen printer while it exists.
  ASSERT_TRUE(config.Add(Named("third")));
  EXPECT_EQ(Text(pm, L"printerCombo"), L"headless");
  ASSERT_TRUE(config.RemoveAt(1));
  EXPECT_EQ(Text(pm, L"printerCombo"), L"plain");
  ::DestroyWindow(hwnd);
}

// Several files chosen at once, the layout and print buttons doing what they are named for, and
// a print that cannot reach its printer told to the user.
TEST_F(FilmDialogs, TheWindowOpensSeveralFilesAndItsButtonsLayOutAndPrintWhatTheySay) {
  ASSERT_TRUE(config.Add(Named("unreachable", orvanta::test::FreeLoopbackPort())));
  const fs::path films = MakeTempDir("films");
  SOPrintQueue queue(films.string());
  auto window = std::make_unique<brenvik::SOPluginFilmWnd>(&config, &queue);
  HWND hwnd = window->Create(nullptr, L"SOPluginFilmWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  ASSERT_NE(hwnd, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();
  ISOOstrel* ostrel = window->GetOstrel();

  orvanta::fixtures::CtSeriesOptions o;
  o.slices = 3;
  o.rows = o.columns = 32;
  std::string chosen;
  for (const fs::path& f : orvanta::fixtures::WriteCtSeries(MakeTempDir("open"), o).files)
    chosen += f.string() + "\n";
  SOWin::SetFileChooserHook([&](const std::string& kind, const std::string&) { return kind == "open" ? chosen : ""; });
  UITest::Click(pm, L"openFileBtn");
  SOWin::SetFileChooserHook({});
  ASSERT_TRUE(PumpUntil([&] {
    ISOFilmSession* s = ostrel->GetCurrentSession();
    return s && s->GetImageBoxCount() > 0 && s->GetImageBox(2) && s->GetImageBox(2)->GetImageObject();
  })) << "every chosen file is loaded";

  // One image a film, for all films: three films.
  UITest::Click(pm, L"allOpt");
  UITest::Click(pm, L"I1X1Btn");
  ISOFilmSession* session = ostrel->GetCurrentSession();
  ASSERT_EQ(session->GetFilmBoxCount(), 3);

  // Each print button gives its own film file: one frame for the current film, three for all.
  Boxes boxes;
  auto frames = [&](const char* button) {
    const size_t before = queue.Jobs().size();
    UITest::Click(pm, SOWin::FromUtf8(button).c_str());
    EXPECT_TRUE(PumpUntil([&] { return queue.Jobs().size() == before + 1 && window->Generating() == 0; }));
    return queue.Jobs().empty() ? -1 : queue.Jobs().front().filmCount;
  };
  EXPECT_EQ(frames("printCurrentBtn"), 1);
  EXPECT_EQ(frames("printAllBtn"), 3);
  // Neither reached a printer, and the user is told so for each.
  EXPECT_TRUE(PumpUntil([&] { return boxes.texts.size() >= 2; }));
  EXPECT_EQ(boxes.texts, std::vector<std::wstring>(2, L"胶片打印失败！"));

  // "4x5" is four columns by five rows: the second cell starts a quarter across, the fifth row
  // four fifths down.
  UITest::Click(pm, L"I4X5Btn");
  ASSERT_EQ(session->GetFilmBoxCount(), 1);
  ISOFilmBox* film = session->GetFilmBox(0);
  ASSERT_EQ(film->GetImageBoxCount(), 20);
  auto* cells = dynamic_cast<SOFilmBox*>(film);
  ASSERT_NE(cells, nullptr);
  EXPECT_FLOAT_EQ(cells->GetCell(1)->GetX(), 0.25f);
  EXPECT_FLOAT_EQ(cells->GetCell(19)->GetY(), 0.8f);
  ::DestroyWindow(hwnd);
  EXPECT_TRUE(PumpUntil([&] { return window->Generating() == 0; }));
  queue.WaitIdle();
}

}  // namespace
