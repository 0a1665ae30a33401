// The study database plug-in as the program loads it: the real frame, the plug-in library from
// the program folder beside the 2D viewer it hands studies to, driven through its window and the
// host, on the user's store, against storescu on loopback.

#include "CMainFrameWnd.h"
#include "FrameTestSupport.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "PeerProcess.h"
#include "TestSupport.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <chrono>
#include <fstream>

namespace fs = std::filesystem;
using namespace DuiLib;
using namespace std::chrono_literals;
using orvanta::test::MakeTempDir;

namespace {

WindowImplBase* PluginWindow(const CMainFrameWnd& frame, const wchar_t* name) {
  for (const SOPluginItem& item : frame.GetPlugins())
    if (item.name == name)
      return dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(item.window, GWLP_USERDATA)));
  return nullptr;
}

CContainerUI* Row(CContainerUI* list, int i) { return dynamic_cast<CContainerUI*>(list->GetItemAt(i)); }

std::wstring TextOf(CControlUI* c) { return c ? std::wstring(c->GetText().GetData()) : L"<none>"; }

CListUI* List(CPaintManagerUI& pm, const wchar_t* name) { return dynamic_cast<CListUI*>(pm.FindControl(name)); }

std::wstring Cell(CListUI* list, int row, int column) {
  auto* item = dynamic_cast<CListTextElementUI*>(list->GetItemAt(row));
  return item ? std::wstring(item->GetText(column)) : L"<none>";
}

int Studies() {
  int count = -1;
  Gossamy::LocalDB()->GetStudyCount(&count);
  return count;
}

}  // namespace

TEST(StudyProgram, ImportViewSearchReceiveAndDeleteInTheRunningProgram) {
  const fs::path dicomdir = orvanta::test::PydicomTestFiles() / "dicomdirtests";
  if (!fs::is_directory(dicomdir)) GTEST_SKIP() << "pydicom's test files are not installed";
  orvanta::test::EnsureQtApp();
  const fs::path bin = orvanta::test::ProgramFolder();
  CPaintManagerUI::SetResourcePath(((bin / "skin").wstring() + L"/").c_str());
  // The plug-in's receiving service listens where archive.xml says.
  const int port = orvanta::test::FreeLoopbackPort();
  std::ofstream(fs::path(Gossamy::GetConfigPath()) / "archive.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <CloudReceive minutes=\"5\"/>\n  <SCP port=\"" << port
      << "\" AETitle=\"Storage\"/>\n  <Remote/>\n  <CloudDevice/>\n</Config>\n";

  auto frame = orvanta::test::StartFrame(bin, {"libTabrisk.so", "libTessaly.so"}, 50);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 2u);
  WindowImplBase* window = PluginWindow(*frame, L"Tabrisk");
  WindowImplBase* viewer = PluginWindow(*frame, L"Tessaly");
  ASSERT_NE(window, nullptr);
  ASSERT_NE(viewer, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();
  CListUI* studies = List(pm, L"studyList");
  ASSERT_NE(studies, nullptr);
  EXPECT_EQ(studies->GetCount(), 0);

  // Import: a generated CT study of three series, then pydicom's DICOMDIR tree.
  const fs::path ctFolder = MakeTempDir("ct");
  std::string studyUid;
  for (int s = 0; s < 3; ++s) {
    orvanta::fixtures::CtSeriesOptions ct;
    ct.slices = 4;
    ct.rows = ct.columns = 32;
    ct.patientId = "ROAD01";
    ct.patientName = "Road^Study";
    ct.studyUid = studyUid;
    studyUid = orvanta::fixtures::WriteCtSeries(ctFolder / std::to_string(s), ct).studyUid;
  }
  for (const fs::path& folder : {ctFolder, dicomdir}) {
    SOWin::SetFileChooserHook([folder](const std::string&, const std::string&) { return folder.string(); });
    ASSERT_TRUE(UITest::Click(pm, L"importBtn"));
    const int before = studies->GetCount();
    ASSERT_TRUE(SOWin::PumpUntil([&] { return studies->GetCount() > before && studies->GetCount() == Studies(); }, 30000));
  }
  SOWin::SetFileChooserHook({});
  std::string imported;
  Gossamy::ReadHKCU("DBImportPath", imported);
  EXPECT_EQ(imported, dicomdir.string());
  const int all = studies->GetCount();
  EXPECT_GE(all, 3);

  // The CT study's row, with its thirteen columns.
  int road = -1;
  for (int i = 0; i < all; ++i)
    if (Cell(studies, i, 2) == L"ROAD01") road = i;
  ASSERT_GE(road, 0);
  EXPECT_EQ(Cell(studies, road, 3), L"Road^Study");
  EXPECT_EQ(Cell(studies, road, 9), L"CT");
  EXPECT_FALSE(Cell(studies, road, 6).empty());
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", road));
  EXPECT_EQ(List(pm, L"seriesList")->GetCount(), 3);

  // A double-click hands the study's twelve images to the 2D viewer, which comes to view with the
  // study and its three series in its list.
  auto* viewerList = dynamic_cast<CContainerUI*>(viewer->GetPaintManager()->FindControl(L"studySeriesList"));
  ASSERT_NE(viewerList, nullptr);
  EXPECT_EQ(viewerList->GetCount(), 0);
  ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", road));
  EXPECT_TRUE(SOWin::PumpUntil(
      [&] {
        if (viewerList->GetCount() != 4) return false;
        for (int i = 1; i < 4; ++i)
          if (TextOf(Row(Row(viewerList, i), 3)->GetItemAt(1)) != L"4") return false;
        return true;
      },
      20000));
  EXPECT_EQ(TextOf(Row(Row(viewerList, 0), 2)->GetItemAt(1)), L"Road^Study");
  EXPECT_TRUE(IsWindowVisible(viewer->GetHWND()));
  EXPECT_FALSE(IsWindowVisible(window->GetHWND()));
  ASSERT_TRUE(frame->ActivatePlugin(L"Tabrisk"));
  SOWin::PumpEvents(20);

  // The search narrows the list, clearing it shows every study again.
  ASSERT_TRUE(UITest::SetText(pm, L"likeSearchEdit", L"ROAD01"));
  ASSERT_TRUE(UITest::Click(pm, L"searchBtn"));
  EXPECT_EQ(studies->GetCount(), 1);
  ASSERT_TRUE(UITest::Click(pm, L"deleteLikeBtn"));
  EXPECT_EQ(studies->GetCount(), all);

  // Two studies from storescu over the plug-in's receiving service.
  std::vector<std::string> argv{"storescu", "-aec", "Storage", "127.0.0.1", std::to_string(port)};
  for (int s = 0; s < 2; ++s) {
    orvanta::fixtures::CtSeriesOptions ct;
    ct.slices = 5;
    ct.rows = ct.columns = 16;
    ct.patientId = "RECV" + std::to_string(s);
    for (const auto& f : orvanta::fixtures::WriteCtSeries(MakeTempDir("recv"), ct).files) argv.push_back(f.string());
  }
  peer::PeerProcess storescu(argv, MakeTempDir("log") / "storescu.log");
  EXPECT_TRUE(SOWin::PumpUntil([&] { return studies->GetCount() == all + 2; }, 30000)) << storescu.Log();
  EXPECT_EQ(storescu.WaitExit(30s), 0) << storescu.Log();

  // Deleting the CT study, confirmed, removes it from the store and the list.
  for (int i = 0; i < studies->GetCount(); ++i)
    if (Cell(studies, i, 2) == L"ROAD01") road = i;
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", road));
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 8; });
  UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* box) {
    UITest::Click(*static_cast<WindowImplBase*>(box)->GetPaintManager(), L"confirmBtn");
  });
  ASSERT_TRUE(UITest::RightClickItem(pm, L"studyList", road));
  SOWin::SetPopupMenuHook({});
  EXPECT_EQ(studies->GetCount(), all + 1);
  EXPECT_EQ(Studies(), all + 1);

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}

TEST(StudyProgram, ATwentyFourSliceSeriesFromALongPathOpensWholeInTheViewer) {
  orvanta::test::EnsureQtApp();
  const fs::path bin = orvanta::test::ProgramFolder();
  CPaintManagerUI::SetResourcePath(((bin / "skin").wstring() + L"/").c_str());
  std::ofstream(fs::path(Gossamy::GetConfigPath()) / "archive.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <SCP port=\"" << orvanta::test::FreeLoopbackPort()
      << "\" AETitle=\"Storage\"/>\n</Config>\n";
  // A folder whose path is longer than the 259 characters of the old fixed buffers.
  fs::path folder = MakeTempDir("long");
  while (folder.string().size() < 300) folder /= std::string(60, 'd');
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 24;
  ct.rows = ct.columns = 32;
  ct.patientId = "LONG24";
  orvanta::fixtures::WriteCtSeries(folder, ct);

  auto frame = orvanta::test::StartFrame(bin, {"libTabrisk.so", "libTessaly.so"}, 50);
  ASSERT_NE(frame, nullptr);
  WindowImplBase* window = PluginWindow(*frame, L"Tabrisk");
  WindowImplBase* viewer = PluginWindow(*frame, L"Tessaly");
  ASSERT_NE(window, nullptr);
  ASSERT_NE(viewer, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();
  CListUI* studies = List(pm, L"studyList");
  const int before = studies->GetCount();
  // The chooser opens at the folder imported from last time.
  Gossamy::WriteHKCU("DBImportPath", folder.parent_path().c_str());
  SOWin::SetFileChooserHook([&](const std::string&, const std::string&) { return folder.string(); });
  ASSERT_TRUE(UITest::Click(pm, L"importBtn"));
  SOWin::SetFileChooserHook({});
  EXPECT_EQ(SOWin::LastFolderChooserStart(), folder.parent_path().string());
  ASSERT_TRUE(SOWin::PumpUntil([&] { return studies->GetCount() == before + 1; }, 30000));
  std::string remembered;
  Gossamy::ReadHKCU("DBImportPath", remembered);
  EXPECT_EQ(remembered, folder.string());
  int row = -1;
  for (int i = 0; i < studies->GetCount(); ++i)
    if (Cell(studies, i, 2) == L"LONG24") row = i;
  ASSERT_GE(row, 0);
  // The store hands the series out as 1, 2 ... 24 although the files came in another order.
  std::vector<PatientRecord> records;
  ASSERT_TRUE(Gossamy::LocalDB()->GetPatientRecords(records, "LONG24", true));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].series.size(), 1u);
  std::vector<std::string> numbers, expected;
  for (const InstanceRecord& instance : records[0].series[0].instances) numbers.push_back(instance.instanceNumber);
  for (int i = 1; i <= 24; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(numbers, expected);

  auto* viewerList = dynamic_cast<CContainerUI*>(viewer->GetPaintManager()->FindControl(L"studySeriesList"));
  ASSERT_NE(viewerList, nullptr);
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", row));
  ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", row));
  EXPECT_TRUE(SOWin::PumpUntil(
      [&] { return viewerList->GetCount() == 2 && TextOf(Row(Row(viewerList, 1), 3)->GetItemAt(1)) == L"24"; },
      20000))
      << viewerList->GetCount();

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}

// The study database's buttons take the selected study into the film, report and 3D viewers, with
// the user's clicks only; the plug-in bar brings the study list back each time.
TEST(StudyProgram, TheListsButtonsOpenTheStudyInTheFilmReportAnd3DViewers) {
  orvanta::test::EnsureQtApp();
  const fs::path bin = orvanta::test::ProgramFolder();
  CPaintManagerUI::SetResourcePath(((bin / "skin").wstring() + L"/").c_str());
  std::ofstream(fs::path(Gossamy::GetConfigPath()) / "archive.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <CloudReceive minutes=\"5\"/>\n  <SCP port=\""
      << orvanta::test::FreeLoopbackPort() << "\" AETitle=\"Storage\"/>\n  <Remote/>\n  <CloudDevice/>\n</Config>\n";
  auto frame = orvanta::test::StartFrame(
      bin, {"libTabrisk.so", "libTessaly.so", "libCorvide.so", "libBrenvik.so", "libSevrane.so"}, 50);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 5u);
  WindowImplBase* window = PluginWindow(*frame, L"Tabrisk");
  ASSERT_NE(window, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();
  CPaintManagerUI& bar = *frame->GetPaintManager();

  // A CT volume of 24 slices, imported.
  const fs::path folder = MakeTempDir("roads");
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 24;
  ct.rows = ct.columns = 64;
  ct.patientId = "ROADS1";
  orvanta::fixtures::WriteCtSeries(folder, ct);
  SOWin::SetFileChooserHook([folder](const std::string&, const std::string&) { return folder.string(); });
  ASSERT_TRUE(UITest::Click(pm, L"importBtn"));
  CListUI* studies = List(pm, L"studyList");
  const int before = studies->GetCount();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return studies->GetCount() == before + 1; }, 30000));
  SOWin::SetFileChooserHook({});
  int row = -1;
  for (int i = 0; i < studies->GetCount(); ++i)
    if (Cell(studies, i, 2) == L"ROADS1") row = i;
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", row));

  // Film: the dialog's confirmation sends the 24 images to the film plug-in, shown in one tab.
  UITest::OnModal(L"CFilmDlg", [](CWindowWnd* dialog) {
    UITest::Click(*static_cast<WindowImplBase*>(dialog)->GetPaintManager(), L"confirmBtn");
  });
  ASSERT_TRUE(UITest::Click(pm, L"filmBarBtn"));
  WindowImplBase* film = PluginWindow(*frame, L"Brenvik");
  auto* filmTabs = dynamic_cast<CContainerUI*>(film->GetPaintManager()->FindControl(L"filmTabHeadr"));
  ASSERT_NE(filmTabs, nullptr);
  EXPECT_TRUE(SOWin::PumpUntil([&] { return filmTabs->GetCount() == 1; }, 20000));
  EXPECT_TRUE(IsWindowVisible(film->GetHWND()));

  // Report: a study without one gets a new report, open in the report plug-in.
  ASSERT_TRUE(UITest::Click(bar, L"Tabrisk"));
  ASSERT_TRUE(IsWindowVisible(window->GetHWND()));
  ASSERT_TRUE(UITest::Click(pm, L"reportBarBtn"));
  WindowImplBase* report = PluginWindow(*frame, L"Sevrane");
  auto* reportTabs = dynamic_cast<CContainerUI*>(report->GetPaintManager()->FindControl(L"reportTabHeader"));
  ASSERT_NE(reportTabs, nullptr);
  EXPECT_TRUE(SOWin::PumpUntil([&] { return reportTabs->GetCount() == 1; }, 20000));
  EXPECT_TRUE(IsWindowVisible(report->GetHWND()));

  // 3D: the series' volume is rendered in the 3D viewer.
  ASSERT_TRUE(UITest::Click(bar, L"Tabrisk"));
  ASSERT_TRUE(UITest::SelectItem(pm, L"seriesList", 0));
  ASSERT_TRUE(UITest::Click(pm, L"3DBtn"));
  WindowImplBase* viewer3d = PluginWindow(*frame, L"Corvide");
  EXPECT_TRUE(IsWindowVisible(viewer3d->GetHWND()));
  const std::string shot = (MakeTempDir("shot") / "3d.png").string();
  EXPECT_TRUE(SOWin::PumpUntil(
      [&] {
        QImage image;
        if (!SOWin::SaveWindowImage(viewer3d->GetHWND(), shot) || !image.load(QString::fromStdString(shot)))
          return false;
        int lit = 0;
        for (int y = image.height() / 3; y < image.height() * 2 / 3; y += 4)
          for (int x = image.width() / 3; x < image.width() * 2 / 3; x += 4) lit += qGray(image.pixel(x, y)) > 40;
        return lit > 100;
      },
      30000));

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}
