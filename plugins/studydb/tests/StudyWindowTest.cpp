// The study database window on a real store: rows, selection, search, store notifications,
// the hand-offs through the host, deleting, the service's error line and the send flow's dialogs.

#include "CloudManager.h"
#include "ConsultFixture.h"
#include "ISOLumexa.h"
#include "Jorvel.h"
#include "SOEchoSCU.h"
#include "StudyDialogs.h"
#include "StudyWindowHarness.h"
#include "TestStore.h"
#include "UITestDriver.h"
#include "Zarnet.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

using namespace DuiLib;
using namespace studytest;
using orvanta::test::MakeTempDir;

namespace {

class StudyWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseProgramSkins();
    // The window starts the receiving service; keep it off the well-known port.
    ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage");
  }
  void TearDown() override {
    CloseStudyWindow(window);
    SOWin::SetPopupMenuHook({});
    SOWin::SetMessageBoxHook({});
    SOWin::SetShellOpenHook({});
  }
  void Open() {
    window = OpenStudyWindow(holder.store, &host);
    ASSERT_NE(window->GetHWND(), nullptr);
    SOWin::PumpEvents(20);
  }
  CPaintManagerUI& PM() { return *window->GetPaintManager(); }
  CListUI* List(const wchar_t* name) { return dynamic_cast<CListUI*>(PM().FindControl(name)); }
  std::wstring Cell(const wchar_t* list, int row, int column) {
    auto* item = dynamic_cast<CListTextElementUI*>(List(list)->GetItemAt(row));
    return item ? std::wstring(item->GetText(column)) : L"<none>";
  }
  // The study list's row of a patient, -1 when not listed.
  int RowOf(const std::string& patientId) {
    for (int i = 0; i < List(L"studyList")->GetCount(); ++i)
      if (Cell(L"studyList", i, 2) == SOUtil::UTF82WStr(patientId.c_str())) return i;
    return -1;
  }
  std::string Add(const StudyContents& study) { return AddStudy(holder.store, MakeTempDir("study"), study); }

  TestStore holder{MakeTempDir("store")};
  RecordingHost host;
  tabrisk::SOTabriskWnd* window = nullptr;
};

TEST_F(StudyWindow, ListsFollowTheSelectionAndTheSearchKeepsTheSelectedStudy) {
  Add({"A-1", "Alpha^One", 2, 3, 2});
  Add({"B-2", "Beta^Two", 1, 4});
  Add({"C-3", "Gamma^Three", 1, 2});
  Open();
  ASSERT_EQ(List(L"studyList")->GetCount(), 3);
  EXPECT_EQ(Cell(L"studyList", RowOf("B-2"), 3), L"Beta^Two");

  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", RowOf("A-1")));
  EXPECT_EQ(List(L"seriesList")->GetCount(), 2);  // the reports' SR series get no row
  EXPECT_EQ(PM().FindControl(L"imageSeriesOpt")->GetText(), L"2");
  EXPECT_EQ(PM().FindControl(L"reportSeriesOpt")->GetText(), L"2");
  EXPECT_EQ(Cell(L"studyList", RowOf("A-1"), 1), L"<i db\\image\\report_completed.png>");
  EXPECT_EQ(Cell(L"seriesList", 0, 1), L"3");
  // One report is verified, the other only partial; the text box shows the selected one.
  std::vector<std::wstring> statuses{Cell(L"reportSeriesList", 0, 1), Cell(L"reportSeriesList", 1, 1)};
  std::sort(statuses.begin(), statuses.end());
  EXPECT_EQ(statuses, (std::vector<std::wstring>{L"Partial", L"Verified"}));
  const std::wstring text = PM().FindControl(L"reportRichEdit")->GetText().GetData();
  EXPECT_TRUE(text == L"Finding 1\nConclusion" || text == L"Finding 2\nConclusion") << text;

  // Rebuilding keeps the study selected by id, wherever its row moved.
  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", RowOf("B-2")));
  ASSERT_TRUE(UITest::SetText(PM(), L"likeSearchEdit", L"Beta"));
  ASSERT_TRUE(UITest::Click(PM(), L"searchBtn"));
  EXPECT_EQ(window->SearchText(), "Beta");
  ASSERT_EQ(List(L"studyList")->GetCount(), 1);
  EXPECT_EQ(window->SelectedStudy()->patientID, "B-2");
  EXPECT_EQ(List(L"seriesList")->GetCount(), 1);
  EXPECT_EQ(PM().FindControl(L"reportSeriesOpt")->GetText(), L"0");
  EXPECT_TRUE(PM().FindControl(L"reportRichEdit")->GetText().IsEmpty());

  ASSERT_TRUE(UITest::Click(PM(), L"deleteLikeBtn"));
  EXPECT_EQ(List(L"studyList")->GetCount(), 3);
  EXPECT_EQ(window->SelectedStudy()->patientID, "B-2");
  EXPECT_TRUE(PM().FindControl(L"likeSearchEdit")->GetText().IsEmpty());
  EXPECT_FALSE(PM().FindControl(L"deleteLikeBtn")->IsVisible());

  // A search that matches nothing: empty lists and counts, nothing selected.
  ASSERT_TRUE(UITest::SetText(PM(), L"likeSearchEdit", L"nobody"));
  ASSERT_TRUE(UITest::Click(PM(), L"searchBtn"));
  EXPECT_EQ(List(L"studyList")->GetCount(), 0);
  EXPECT_EQ(window->SelectedStudy(), nullptr);
  EXPECT_EQ(PM().FindControl(L"imageSeriesOpt")->GetText(), L"0");
  EXPECT_TRUE(window->Preview()->GetSeriesWnd(0)->IsEmpty());
}

TEST_F(StudyWindow, StoreChangesFromAnotherThreadReachTheListOnTheUiThread) {
  Add({"A-1", "Alpha", 1, 2});
  Open();
  ASSERT_TRUE(UITest::SetText(PM(), L"likeSearchEdit", L"A-1"));
  ASSERT_TRUE(UITest::Click(PM(), L"searchBtn"));
  ASSERT_EQ(List(L"studyList")->GetCount(), 1);

  // The commit raises the change on the importing thread; the row waits for the UI thread and
  // then comes at the top, although it does not match the search.
  std::string id;
  std::thread importer([&] { id = Add({"N-9", "New", 1, 2}); });
  importer.join();
  EXPECT_EQ(List(L"studyList")->GetCount(), 1);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return List(L"studyList")->GetCount() == 2; }, 5000));
  EXPECT_EQ(RowOf("N-9"), 0);
  EXPECT_TRUE(dynamic_cast<CListTextElementUI*>(List(L"studyList")->GetItemAt(0))->IsMarked());

  // A change told again updates that row; one of a study gone meanwhile adds nothing.
  window->OnStudyChanged(id);
  std::thread([&] { window->OnStudyChanged("gone_1.2.3"); }).join();
  SOWin::PumpEvents(50);
  EXPECT_EQ(List(L"studyList")->GetCount(), 2);
}

TEST_F(StudyWindow, SelectingAnUnreadStudyClearsItsMarkInTheStore) {
  const std::string id = Add({"U-1", "Unread", 1, 2});
  Add({"R-2", "Read", 1, 2});
  holder.store->SetPatientFlag(id.c_str(), "unread", true);
  Open();
  const int row = RowOf("U-1");
  ASSERT_TRUE(dynamic_cast<CListTextElementUI*>(List(L"studyList")->GetItemAt(row))->IsMarked());
  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", row == 0 ? 1 : 0));
  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", row));
  SOWin::PumpEvents(30);
  PatientRecord record;
  ASSERT_TRUE(holder.store->GetPatientRecord(id.c_str(), record, false));
  EXPECT_FALSE(record.unread);
  EXPECT_FALSE(dynamic_cast<CListTextElementUI*>(List(L"studyList")->GetItemAt(RowOf("U-1")))->IsMarked());
}

TEST_F(StudyWindow, HandOffsGoThroughTheHost) {
  Add({"H-1", "Hand^Off", 3, 4});
  Open();
  ASSERT_TRUE(UITest::ActivateItem(PM(), L"studyList", 0));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Activate Tessaly", "Broadcast 50001"}));
  EXPECT_EQ(host.viewedFiles.size(), 12u);

  host.calls.clear();
  ASSERT_TRUE(UITest::ActivateItem(PM(), L"seriesList", 1));
  const std::string folder = window->Series()[1].storePath;
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Command Tessaly LOADDIR " + folder, "Activate Tessaly"}));

  // A viewer that refuses the folder (or is not loaded) is not brought to view.
  host.calls.clear();
  host.commandResult = false;
  ASSERT_TRUE(UITest::SelectItem(PM(), L"seriesList", 1));
  ASSERT_TRUE(UITest::Click(PM(), L"3DBtn"));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Command Corvide LOADDIR " + folder}));

  // The remote-diagnosis broadcast carries the whole study.
  host.calls.clear();
  ASSERT_TRUE(UITest::Click(PM(), L"remoteBarBtn"));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Broadcast 10004"}));

  // "Open Containing Folder" hands the study's folder to the desktop as one argument.
  std::vector<std::string> opened;
  SOWin::SetShellOpenHook([&](const std::string&, const std::string& file, const std::string& params, const std::string&) {
    opened = {file, params};
    return true;
  });
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 9; });
  ASSERT_TRUE(UITest::RightClickItem(PM(), L"studyList", List(L"studyList")->GetCurSel()));
  EXPECT_EQ(opened, (std::vector<std::string>{"explorer.exe", window->SelectedStudy()->storePath}));

  EXPECT_FALSE(window->OnCommand(SOCMD_LOADDIR, const_cast<char*>(folder.c_str())));
  EXPECT_FALSE(window->OnMessage(SOMSG_STUDY_REPORT, nullptr, nullptr));
  EXPECT_FALSE(window->OnMessage(SOMSG_STUDY_FILM, nullptr, nullptr));
}

TEST_F(StudyWindow, AReportRequestOpensTheOnlyReportOrLetsTheUserChoose) {
  struct Case {
    const char* patientId;
    int reports;
    std::vector<std::string> calls;  // what the host is asked
    int dialogRows;                  // rows of the report dialog; -1: no dialog
    bool openVerified;               // double-clicks the verified report's row; false: "newBtn" instead
  } cases[] = {
      {"R-0", 0, {"Command Sevrane OPEN_SR_FILEG new", "Activate Sevrane"}, -1, false},
      {"R-1", 1, {"Command Sevrane OPEN_SR_FILEG read-only", "Activate Sevrane"}, -1, false},
      // Several: the dialog lists them; "newBtn" starts a new report from the study's first image,
      // a double-clicked row opens that report (the verified one opens read-only). The two reports'
      // series are listed in no set order, so the row is found by its report.
      {"R-2", 2, {"Command Sevrane OPEN_SR_FILEG new", "Activate Sevrane"}, 2, false},
      {"R-3", 2, {"Command Sevrane OPEN_SR_FILEG read-only", "Activate Sevrane"}, 2, true},
  };
  std::vector<std::string> images;
  for (const Case& c : cases) {
    const std::string id = Add({c.patientId, "Report^Request", 1, 2, c.reports});
    std::vector<SeriesRecord> series;
    ASSERT_TRUE(holder.store->GetSeriesRecords(id.c_str(), series, true));
    for (const SeriesRecord& s : series)
      if (s.modality == "CT") images.push_back(s.instances.at(0).storePath);
  }
  ASSERT_EQ(images.size(), std::size(cases));
  Open();
  EXPECT_FALSE(window->OnMessage(SOMSG_STUDY_REPORT, nullptr, nullptr));
  EXPECT_TRUE(host.calls.empty());
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].patientId);
    host.calls.clear();
    int rows = -1;
    if (cases[i].dialogRows >= 0)
      UITest::OnModal(L"CReportDialog", [&](CWindowWnd* dialog) {
        CPaintManagerUI& pm = *static_cast<WindowImplBase*>(dialog)->GetPaintManager();
        rows = dynamic_cast<CListUI*>(pm.FindControl(L"seriesList"))->GetCount();
        const auto& reports = static_cast<tabrisk::CReportDialog*>(dialog)->Reports();
        const auto verified = std::find_if(reports.begin(), reports.end(), [](const auto& r) { return r.verified; });
        const bool answered =
            !cases[i].openVerified
                ? UITest::Click(pm, L"newBtn")
                : verified != reports.end() &&
                      UITest::ActivateItem(pm, L"seriesList", static_cast<int>(verified - reports.begin()));
        EXPECT_TRUE(answered);
        if (!answered) static_cast<WindowImplBase*>(dialog)->Close(IDCANCEL);
      });
    EXPECT_FALSE(window->OnMessage(SOMSG_STUDY_REPORT, const_cast<char*>(images[i].c_str()), nullptr));
    SOWin::PumpEvents(20);
    EXPECT_EQ(host.calls, cases[i].calls);
    EXPECT_EQ(rows, cases[i].dialogRows);
  }
}

TEST_F(StudyWindow, TheCloudReceiveTimerRunsOnlyWhileTheStationReceives) {
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.AddUser("doctor", "pw", "13800000005");
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", "127.0.0.1"}, {"port", 4242}});
  WebError error;
  CloudStation station;
  ASSERT_TRUE(GetJorvel()->Login("doctor", "pw", &error));
  ASSERT_TRUE(Web_EnableCloudStation(true, &station, &error));
  CloudManager& cloud = CloudManager::Instance();
  // KillTimer answers whether the window had the timer (and stops it).
  auto hadTimer = [&] { return KillTimer(window->GetHWND(), tabrisk::kCloudReceiveTimer) == TRUE; };
  auto settle = [&] {
    SOWin::PumpUntil([&] { return !cloud.Busy(); }, 5000);
    SOWin::PumpEvents(30);  // the window follows the station on its UI thread
  };

  // Opening refreshes the station: it receives, so the timer runs.
  Open();
  settle();
  ASSERT_TRUE(cloud.Station().enabled);
  EXPECT_TRUE(hadTimer());
  ASSERT_TRUE(cloud.Enable(true));
  settle();
  ASSERT_TRUE(cloud.Enable(false));
  settle();
  EXPECT_FALSE(hadTimer());
  GetJorvel()->Logout();
}

TEST_F(StudyWindow, DeletingAStudyAsksFirstAndThenListsEveryStudy) {
  Add({"D-1", "Delete^Me", 1, 2});
  Add({"K-2", "Keep^Me", 1, 2});
  Open();
  ASSERT_TRUE(UITest::SetText(PM(), L"likeSearchEdit", L"D-1"));
  ASSERT_TRUE(UITest::Click(PM(), L"searchBtn"));
  ASSERT_EQ(List(L"studyList")->GetCount(), 1);
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 8; });

  for (const wchar_t* answer : {L"cancelBtn", L"confirmBtn"}) {
    int asked = 0;
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* box) {
      ++asked;
      UITest::Click(*static_cast<WindowImplBase*>(box)->GetPaintManager(), answer);
    });
    ASSERT_TRUE(UITest::RightClickItem(PM(), L"studyList", 0));
    EXPECT_EQ(asked, 1);
  }
  int studies = -1;
  holder.store->GetStudyCount(&studies);
  EXPECT_EQ(studies, 1);
  // Unfiltered afterwards, while the edit keeps what was typed.
  EXPECT_EQ(window->SearchText(), "");
  ASSERT_EQ(List(L"studyList")->GetCount(), 1);
  EXPECT_EQ(Cell(L"studyList", 0, 2), L"K-2");
  EXPECT_EQ(PM().FindControl(L"likeSearchEdit")->GetText(), L"D-1");
}

TEST_F(StudyWindow, DeletingAReportRemovesOnlyItsSeriesAfterConfirmation) {
  const std::string id = Add({"RD-1", "Report^Delete", 1, 2, 2});
  Open();
  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", 0));
  ASSERT_EQ(List(L"reportSeriesList")->GetCount(), 2);
  ASSERT_TRUE(UITest::Click(PM(), L"reportSeriesOpt"));
  // A double-clicked report opens in the report plug-in.
  ASSERT_TRUE(UITest::ActivateItem(PM(), L"reportSeriesList", 0));
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[0].rfind("Command Sevrane OPEN_SR_FILEG", 0), 0u) << host.calls[0];
  EXPECT_EQ(host.calls[1], "Activate Sevrane");
  ASSERT_TRUE(UITest::SelectItem(PM(), L"reportSeriesList", 1));
  const std::string gone = window->Reports()[1].seriesId, kept = window->Reports()[0].seriesId;
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 4; });  // "Delete"
  for (const wchar_t* answer : {L"cancelBtn", L"confirmBtn"}) {
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* box) {
      UITest::Click(*static_cast<WindowImplBase*>(box)->GetPaintManager(), answer);
    });
    ASSERT_TRUE(UITest::RightClickItem(PM(), L"reportSeriesList", 1));
  }
  SeriesRecord series;
  EXPECT_FALSE(holder.store->GetSeriesRecord(gone.c_str(), series));
  EXPECT_TRUE(holder.store->GetSeriesRecord(kept.c_str(), series));
  ASSERT_EQ(window->Reports().size(), 1u);
  EXPECT_EQ(window->Reports()[0].seriesId, kept);
  EXPECT_EQ(PM().FindControl(L"reportSeriesOpt")->GetText(), L"1");
  EXPECT_EQ(List(L"seriesList")->GetCount(), 1);  // the image series stays
  EXPECT_EQ(window->SelectedStudy()->id, id);
}

TEST_F(StudyWindow, AServiceThatCannotListenShowsWhy) {
  // Something else holds the port.
  int busy = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(busy, 1), 0);
  socklen_t length = sizeof(address);
  ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  SOSCPManager::Instance().Stop();
  ASSERT_TRUE(ArchiveConfig::Instance().SetSCP(port, "Storage"));
  Open();
  CControlUI* error = PM().FindControl(L"storeSCPErrorCtl");
  EXPECT_TRUE(SOWin::PumpUntil([&] { return error->IsVisible(); }, 5000));
  EXPECT_NE(std::wstring(error->GetText()).find(std::to_wstring(port)), std::wstring::npos) << error->GetText().GetData();

  // Another port and AE title saved in the settings take effect at once, and the dialog says so.
  const int free = orvanta::test::FreeLoopbackPort();
  bool shownRunning = false;
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* settings) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(settings)->GetPaintManager();
    auto* status = dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"storeStatusTabLayout"));
    EXPECT_EQ(status->GetCurSel(), 1);
    UITest::SetText(pm, L"portEdit", std::to_wstring(free).c_str());
    UITest::SetText(pm, L"calledTitleEdit", L"MOVED");
    UITest::Click(pm, L"saveSettingBtn");
    shownRunning = status->GetCurSel() == 0;
    settings->Close(IDCANCEL);
  });
  UITest::Click(PM(), L"settingBtn");
  ::close(busy);
  EXPECT_TRUE(shownRunning);
  EXPECT_TRUE(SOSCPManager::Instance().IsRunning());
  EXPECT_EQ(SOSCPManager::Instance().Port(), free);
  EXPECT_TRUE(SOWin::PumpUntil([&] { return !error->IsVisible(); }, 5000));
  SOEchoSCU echo;
  ASSERT_TRUE(echo.InitSCP("127.0.0.1", free, "MOVED", "PROBE"));
  EXPECT_TRUE(echo.Echo());
  ArchiveConfig::Instance().SetSCP(free, "Storage");
}

TEST_F(StudyWindow, SendAsksForTheNodeAndQueuesNothingWithoutOne) {
  Add({"S-1", "Send", 1, 2});
  Open();
  std::wstring shown;
  SOWin::SetMessageBoxHook([&](const std::wstring& text, const std::wstring&, UINT) {
    shown = text;
    return IDOK;
  });
  int dialogs = 0;
  UITest::OnModal(L"SOSendDlg", [&](CWindowWnd* dialog) {
    ++dialogs;
    dialog->Close(IDCANCEL);
  });
  window->SendFiles({}, false);
  EXPECT_EQ(shown, L"Can't find the images!");
  EXPECT_EQ(dialogs, 0);

  // The node dialog closed without a choice: no send starts.
  ASSERT_TRUE(UITest::Click(PM(), L"sendBarBtn"));
  EXPECT_EQ(dialogs, 1);
  window->WaitForJobs();
  SOWin::PumpEvents(20);
  EXPECT_EQ(window->SendBox(), nullptr);
  EXPECT_TRUE(host.Statuses().empty());
}

TEST_F(StudyWindow, SendDialogReturnsTheSelectedNode) {
  ArchiveConfig& config = ArchiveConfig::Instance();
  const std::vector<RemoteNode> nodes{{"PACS1", "AE1", "10.0.0.1", 104}, {"PACS2", "AE2", "10.0.0.2", 11113},
                                      {"PACS3", "AE3", "10.0.0.3", 4242}};
  for (const RemoteNode& node : nodes) ASSERT_TRUE(config.AddRemote(node));
  UITest::OnModal(L"SOSendDlg", [&](CWindowWnd* dialog) {
    auto& pm = *static_cast<WindowImplBase*>(dialog)->GetPaintManager();
    EXPECT_EQ(dynamic_cast<CListUI*>(pm.FindControl(L"remoteStationList"))->GetCount(), 3);
    UITest::SelectItem(pm, L"remoteStationList", 1);
    UITest::Click(pm, L"sendBtn");
  });
  tabrisk::SOSendDlg dialog;
  dialog.Create(nullptr, L"SOSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.ShowModal();
  RemoteNode chosen;
  EXPECT_TRUE(dialog.GetResult(chosen));
  EXPECT_EQ(chosen, nodes[1]);
  while (config.RemoveRemote(0)) {
  }
}

}  // namespace

TEST_F(StudyWindow, FilmingARangeOfATwentyFourSliceSeriesTakesThoseSlices) {
  Add({"F-24", "Film^Range", 1, 24});
  Open();
  ASSERT_TRUE(UITest::SelectItem(PM(), L"studyList", 0));
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 2; });  // "Film"
  UITest::OnModal(L"CFilmDlg", [](CWindowWnd* dialog) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(dialog)->GetPaintManager();
    UITest::SetText(pm, L"indexStartEdit", L"5");
    UITest::SetText(pm, L"indexEndEdit", L"20");
    UITest::SetText(pm, L"intervalEdit", L"5");
    UITest::KillFocus(pm);
    auto* row = dynamic_cast<CListTextElementUI*>(dynamic_cast<CListUI*>(pm.FindControl(L"seriesList"))->GetItemAt(0));
    EXPECT_EQ(std::wstring(row->GetText(4)), L"4/24");
    UITest::Click(pm, L"confirmBtn");
  });
  ASSERT_TRUE(UITest::RightClickItem(PM(), L"studyList", 0));
  // The film gets the slices numbered 5, 10, 15 and 20, in that order.
  std::vector<int> numbers;
  for (const std::string& path : host.viewedFiles) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(path.c_str(), true));
    int number = 0;
    file.GetDataset()->GetInt32(0x00200013, number);
    numbers.push_back(number);
  }
  EXPECT_EQ(numbers, (std::vector<int>{5, 10, 15, 20}));
}

// A long store: the list makes rows for what a user sees and what the wheel reaches, and a
// changed study is found by its id whether it has a row yet or not.
TEST_F(StudyWindow, RowsComeAsTheListScrollsToThemAndAChangedStudyIsFoundByItsId) {
  constexpr int kStudies = 160;
  for (int s = 0; s < kStudies; ++s) {
    PatientRecord record;
    record.patientID = "L-" + std::to_string(s);
    record.patientName = "Long^" + std::to_string(s);
    record.studyUID = "1.2.826.0.1.77." + std::to_string(s);
    record.studyDate = "20240305";
    SeriesRecord series;
    series.seriesUID = record.studyUID + ".1";
    series.seriesNumber = "1";
    series.modality = "CT";
    InstanceRecord instance;  // rows are written per instance
    instance.sopClassUID = "1.2.840.10008.5.1.4.1.1.2";
    instance.sopInstanceUID = series.seriesUID + ".1";
    instance.instanceNumber = "1";
    series.instances.push_back(instance);
    record.series.push_back(series);
    ASSERT_TRUE(holder.store->AddPatientRecord(record));
  }
  std::vector<PatientRecord> listed;
  ASSERT_TRUE(holder.store->GetPatientRecords(listed, nullptr, false));
  ASSERT_EQ(listed.size(), size_t(kStudies));
  Open();
  const int firstRows = List(L"studyList")->GetCount();
  EXPECT_GT(firstRows, 20);  // more than a screenful
  EXPECT_LT(firstRows, kStudies);

  // Far down the list, without a row yet: the change reaches the record, no row is added.
  const std::string deep = listed[140].id;
  ASSERT_TRUE(holder.store->SetPatientFlag(deep.c_str(), "unread", true));
  window->OnStudyChanged(deep);
  SOWin::PumpEvents(20);
  EXPECT_EQ(List(L"studyList")->GetCount(), firstRows);
  EXPECT_EQ(Cell(L"studyList", 0, 2), SOUtil::UTF82WStr(listed[0].patientID.c_str()));

  // Near the top, with a row: updated in place.
  const std::string near = listed[3].id;
  ASSERT_TRUE(holder.store->SetPatientFlag(near.c_str(), "unread", true));
  window->OnStudyChanged(near);
  SOWin::PumpEvents(20);
  EXPECT_EQ(List(L"studyList")->GetCount(), firstRows);
  EXPECT_TRUE(dynamic_cast<CListTextElementUI*>(List(L"studyList")->GetItemAt(3))->IsMarked());

  // The wheel brings the rest, in the store's order, the deep study marked.
  for (int step = 0; step < 400 && List(L"studyList")->GetCount() < kStudies; ++step)
    UITest::Wheel(PM(), L"studyList", -3);
  ASSERT_EQ(List(L"studyList")->GetCount(), kStudies);
  for (int i : {0, 99, 100, 140, kStudies - 1})
    EXPECT_EQ(Cell(L"studyList", i, 2), SOUtil::UTF82WStr(listed[i].patientID.c_str())) << i;
  EXPECT_TRUE(dynamic_cast<CListTextElementUI*>(List(L"studyList")->GetItemAt(140))->IsMarked());
}
