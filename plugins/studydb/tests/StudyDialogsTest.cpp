// The dialogs of the study database: film ranges, the remote node and settings dialogs, and the
// cloud send dialog against the consultation fixture.

#include "TestSupport.h"
#include "CFilmDlg.h"
#include "CloudManager.h"
#include "ConsultFixture.h"
#include "FilmRange.h"
#include "ISOLumexa.h"
#include "Jorvel.h"
#include "RemoteNodeRules.h"
#include "SOCommitSCU.h"
#include "SettingsDialogs.h"
#include "StudyWindowHarness.h"
#include "TestStore.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <climits>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace DuiLib;
using namespace studytest;
using orvanta::test::MakeTempDir;

namespace {

CPaintManagerUI& PM(CWindowWnd* window) { return *static_cast<WindowImplBase*>(window)->GetPaintManager(); }

std::wstring TextOf(CWindowWnd* window, const wchar_t* name) {
  CControlUI* control = PM(window).FindControl(name);
  return control ? std::wstring(control->GetText()) : L"<none>";
}

// Answers every message box with its confirm button and keeps what it said.
struct BoxAnswers {
  std::vector<std::wstring> texts;
  void Expect(int count = 1) {
    for (int i = 0; i < count; ++i)
      UITest::OnModal(L"CMessageBoxUI", [this](CWindowWnd* box) {
        texts.push_back(TextOf(box, L"textText"));
        UITest::Click(PM(box), L"confirmBtn");
      });
  }
};

SeriesRecord SeriesOf(int images, const char* modality = "CT") {
  SeriesRecord series;
  series.modality = modality;
  series.seriesNumber = "1";
  for (int i = 0; i < images; ++i) {
    InstanceRecord instance;
    instance.storePath = "/images/" + std::to_string(i + 1) + ".dcm";
    series.instances.push_back(instance);
  }
  return series;
}

std::vector<int> Numbers(const ImageRange& range) {
  std::vector<int> numbers;
  for (const InstanceRecord* instance : range.selected)
    numbers.push_back(std::stoi(instance->storePath.substr(8)));
  return numbers;
}

class StudyDialogs : public testing::Test {
 protected:
  static void SetUpTestSuite() { UseProgramSkins(); }
  void TearDown() override {
    ArchiveConfig& config = ArchiveConfig::Instance();
    while (config.RemoveRemote(0)) {
    }
    while (config.RemoveCloudDevice(0)) {
    }
  }
};

}  // namespace

TEST(FilmRange, ClampsAndChoosesTheImages) {
  SeriesRecord forty = SeriesOf(40), none = SeriesOf(0);
  struct Case {
    SeriesRecord* series;
    int start, end, interval;
    int wantStart, wantEnd, wantInterval;
    std::vector<int> chosen;
  } cases[] = {
      {&forty, 5, 20, 5, 5, 20, 5, {5, 10, 15, 20}},
      {&forty, 30, 10, 1, 30, 30, 1, {30}},
      {&forty, 38, 100, 2, 38, 40, 2, {38, 40}},
      {&forty, 1, 40, INT_MAX, 1, 40, INT_MAX, {1}},
      {&none, 3, 9, 1, 0, 0, 1, {}},
  };
  for (const Case& c : cases) {
    ImageRange range;
    range.series = c.series;
    range.start = c.start;
    range.end = c.end;
    range.interval = c.interval;
    ApplyRange(range);
    SCOPED_TRACE(std::to_string(c.start) + "," + std::to_string(c.end) + "," + std::to_string(c.interval));
    EXPECT_EQ(range.start, c.wantStart);
    EXPECT_EQ(range.end, c.wantEnd);
    EXPECT_EQ(range.interval, c.wantInterval);
    EXPECT_EQ(Numbers(range), c.chosen);
  }
  // 0, 100, 0 over the whole series: the values come back as 1, 40, 1 and every image is chosen.
  ImageRange whole = MakeImageRange(&forty);
  whole.start = 0;
  whole.end = 100;
  whole.interval = 0;
  ApplyRange(whole);
  EXPECT_EQ(whole.selected.size(), 40u);
  EXPECT_EQ(whole.start + whole.end + whole.interval, 42);
}

TEST(FilmRange, TypedNumbersSaturate) {
  const std::pair<const char*, int> cases[] = {{"12", 12},          {" 7x", 7},          {"-3", -3}, {"abc", 0},
                                               {"", 0},             {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseRangeNumber(text), value) << text;
}

TEST_F(StudyDialogs, FilmDialogKeepsCheckedSeriesAndUnchangedRanges) {
  TestStore holder(MakeTempDir("store"));
  const std::string id = AddStudy(holder.store, MakeTempDir("study"), {"F-1", "Film^Me", 2, 5, 1});
  PatientRecord record;
  ASSERT_TRUE(holder.store->GetPatientRecord(id.c_str(), record, true));

  tabrisk::CFilmDlg dialog(record);
  UITest::OnModal(L"CFilmDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = PM(window);
    auto* list = dynamic_cast<CListUI*>(pm.FindControl(L"seriesList"));
    ASSERT_EQ(list->GetCount(), 2);  // the report's series is not filmed
    EXPECT_EQ(std::wstring(dynamic_cast<CListTextElementUI*>(list->GetItemAt(0))->GetText(4)), L"5/5");

    // Typed values that clamp to the stored range change nothing, not even the edits' texts.
    UITest::SetText(pm, L"indexStartEdit", L"0");
    UITest::SetText(pm, L"indexEndEdit", L"100");
    UITest::SetText(pm, L"intervalEdit", L"0");
    UITest::KillFocus(pm);
    EXPECT_EQ(TextOf(window, L"indexEndEdit"), L"100");
    // A real change: images 2 and 4 of the first series.
    UITest::SetText(pm, L"indexStartEdit", L"2");
    UITest::SetText(pm, L"indexEndEdit", L"4");
    UITest::SetText(pm, L"intervalEdit", L"2");
    UITest::KillFocus(pm);
    EXPECT_EQ(TextOf(window, L"selectedImageCountLabel"), L"2");
    EXPECT_EQ(std::wstring(dynamic_cast<CListTextElementUI*>(list->GetItemAt(0))->GetText(4)), L"2/5");

    // A click in the second row's check column leaves that series out.
    const RECT second = list->GetItemAt(1)->GetPos();
    ASSERT_TRUE(UITest::ClickAt(pm, POINT{second.left + 4, (second.top + second.bottom) / 2}));
    EXPECT_EQ(std::wstring(dynamic_cast<CListTextElementUI*>(list->GetItemAt(1))->GetText(0)),
              L"<i common\\image\\check_bk1.png>");

    UITest::Click(pm, L"2X3Btn");
    EXPECT_EQ(dialog.Preview()->GetSeriesWnd(0)->GetImageWndCount(), 6);
    UITest::Click(pm, L"confirmBtn");
  });
  dialog.Create(nullptr, L"CFilmDlg", 0x00CF0000, 0, 0, 0, 0, 0);
  dialog.ShowModal();
  const ImageRange& first = dialog.Ranges()[0];
  ASSERT_EQ(dialog.GetResult().size(), 2u);
  EXPECT_EQ(dialog.GetResult()[0], first.series->instances[1].storePath);
  EXPECT_EQ(dialog.GetResult()[1], first.series->instances[3].storePath);
}

TEST_F(StudyDialogs, RemoteNodeDialogChecksInOrderThenAddsOrReplaces) {
  ArchiveConfig& config = ArchiveConfig::Instance();
  ASSERT_TRUE(config.AddRemote({"ONE", "AE1", "10.0.0.1", 104}));
  ASSERT_TRUE(config.AddRemote({"TWO", "AE2", "10.0.0.2", 105}));
  struct Case {
    const wchar_t *name, *ip, *port, *ae;
    const wchar_t* message;  // null: accepted
  } cases[] = {
      {L"", L"", L"", L"", L"The name cannot be empty!"},
      {L"PACS", L"", L"104", L"PACS", L"The IP address cannot be empty!"},
      {L"PACS", L"10.0.0.5", L"", L"PACS", L"The port cannot be empty!"},
      {L"PACS", L"10.0.0.5", L"70000", L"PACS", L"The port must be between 1 and 65535!"},
      {L"PACS", L"10.0.0.5", L"104", L"PACS\\X", L"The AE title is not valid!"},
      {L"PACS", L"10.0.0.5", L"104", L"PACS", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SOWin::ToUtf8(c.message ? c.message : L"accepted"));
    BoxAnswers boxes;
    if (c.message) boxes.Expect();
    tabrisk::SORemoteDlg dialog;
    UITest::OnModal(L"SORemoteDlg", [&](CWindowWnd* window) {
      CPaintManagerUI& pm = PM(window);
      UITest::SetText(pm, L"nameEdit", c.name);
      UITest::SetText(pm, L"addrEdit", c.ip);
      UITest::SetText(pm, L"portEdit", c.port);
      UITest::SetText(pm, L"calledAEEdit", c.ae);
      UITest::Click(pm, L"confirmBtn");
      if (c.message) window->Close(IDCANCEL);
    });
    dialog.Create(nullptr, L"SORemoteDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.ShowModal();
    EXPECT_EQ(dialog.IsConfirmed(), c.message == nullptr);
    EXPECT_EQ(boxes.texts, c.message ? std::vector<std::wstring>{c.message} : std::vector<std::wstring>{});
  }
  ASSERT_EQ(config.Remotes().size(), 3u);
  EXPECT_EQ(config.Remotes()[2], (RemoteNode{"PACS", "PACS", "10.0.0.5", 104}));

  // Editing the second node replaces exactly that one.
  tabrisk::SORemoteDlg edit;
  UITest::OnModal(L"SORemoteDlg", [&](CWindowWnd* window) {
    EXPECT_EQ(TextOf(window, L"portEdit"), L"105");
    UITest::SetText(PM(window), L"addrEdit", L"10.9.9.9");
    UITest::Click(PM(window), L"confirmBtn");
  });
  edit.Create(nullptr, L"SORemoteDlg", 0x86C80000, 0, 0, 0, 0, 0);
  EXPECT_FALSE(edit.LoadNode(7));
  EXPECT_TRUE(edit.LoadNode(1));
  edit.ShowModal();
  EXPECT_EQ(config.Remotes()[1], (RemoteNode{"TWO", "AE2", "10.9.9.9", 105}));
  EXPECT_EQ(config.Remotes()[0].ip, "10.0.0.1");
  EXPECT_EQ(config.Remotes().size(), 3u);
}

TEST_F(StudyDialogs, SettingsSaveOnlyWhatChangedAndClampTheMinutes) {
  ArchiveConfig& config = ArchiveConfig::Instance();
  ASSERT_TRUE(config.AddRemote({"ONLY", "AE1", "127.0.0.1", uint16_t(orvanta::test::FreeLoopbackPort())}));
  const std::string before = orvanta::test::FileBytes(config.Path());
  BoxAnswers boxes;
  // The process's cloud station is whatever an earlier test left: the page shows it, or "--".
  const CloudStation station = CloudManager::Instance().Station();
  const bool usable = IsUsableStation(station);
  const std::wstring code = usable ? SOUtil::UTF82WStr(GroupDeviceCode(station.stationID).c_str()) : L"--";
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = PM(window);
    EXPECT_EQ(TextOf(window, L"portEdit"), std::to_wstring(config.Port()));
    EXPECT_EQ(TextOf(window, L"cloudIDLabel"), code);
    EXPECT_EQ(pm.FindControl(L"cloudPanel")->IsEnabled(), usable && station.enabled);

    // Saving what is shown writes nothing.
    UITest::SetText(pm, L"calledTitleEdit", SOUtil::UTF82WStr(config.AETitle().c_str()).c_str());
    UITest::Click(pm, L"saveSettingBtn");
    EXPECT_EQ(orvanta::test::FileBytes(config.Path()), before);

    // 0 minutes is stored, and shown, as 1.
    UITest::SetText(pm, L"receiveMinutesEdit", L"0");
    UITest::Click(pm, L"saveSettingBtn");
    EXPECT_EQ(config.CloudReceiveMinutes(), 1);
    EXPECT_EQ(TextOf(window, L"receiveMinutesEdit"), L"1");

    // A node nobody answers for; then the last node goes and its panel with it.
    UITest::Click(pm, L"remoteOpt");
    EXPECT_TRUE(pm.FindControl(L"remoteInfoPanel")->IsVisible());
    boxes.Expect();
    UITest::Click(pm, L"remoteTestBtn");
    ASSERT_TRUE(SOWin::PumpUntil([&] { return !boxes.texts.empty(); }, 20000));
    UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* box) { UITest::Click(PM(box), L"confirmBtn"); });
    UITest::Click(pm, L"remoteDeleteBtn");
    EXPECT_TRUE(config.Remotes().empty());
    EXPECT_FALSE(pm.FindControl(L"remoteInfoPanel")->IsVisible());
    window->Close(IDCANCEL);
  });
  tabrisk::SOSettingDlg dialog;
  dialog.Create(nullptr, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.ShowModal();
  EXPECT_EQ(boxes.texts, std::vector<std::wstring>{L"Connect failed!"});
  config.SetCloudReceiveMinutes(ArchiveConfig::kDefaultMinutes);
}

// A node that takes the connection and never says a word.
class SilentNode {
 public:
  SilentNode() {
    int listening = 0;
    fd_ = orvanta::test::ListenOnLoopback(&listening, 4);
    port = uint16_t(listening);
  }
  ~SilentNode() { close(fd_); }
  uint16_t port = 0;

 private:
  int fd_ = -1;
};

TEST_F(StudyDialogs, TestingASilentNodeLeavesTheWindowLiveAndClosingItEndsTheTest) {
  SilentNode node;
  ASSERT_TRUE(ArchiveConfig::Instance().AddRemote({"MUTE", "MUTE", "127.0.0.1", node.port}));
  using Clock = std::chrono::steady_clock;
  Clock::duration click{}, events{};
  Clock::time_point closing;
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = PM(window);
    UITest::Click(pm, L"remoteOpt");
    Clock::time_point start = Clock::now();
    UITest::Click(pm, L"remoteTestBtn");
    click = Clock::now() - start;
    // While the echo waits, the button cannot start another, and the window handles its events.
    EXPECT_FALSE(pm.FindControl(L"remoteTestBtn")->IsEnabled());
    start = Clock::now();
    UITest::ProcessEvents(300);
    UITest::Click(pm, L"generalOpt");
    events = Clock::now() - start;
    closing = Clock::now();
    window->Close(IDCANCEL);
  });
  {
    tabrisk::SOSettingDlg dialog;
    dialog.Create(nullptr, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.ShowModal();
  }
  // Closing cancels the echo, which ends at once, and no answer is shown.
  EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(500));
  EXPECT_LT(click, std::chrono::milliseconds(500));
  EXPECT_LT(events, std::chrono::seconds(1));
}

// The commitment listener's row: a saved port and AE title take effect at once, and the row
// says whether the listener runs; switched off, it stops.
TEST_F(StudyDialogs, SettingsStartAndStopTheCommitmentListener) {
  ArchiveConfig& config = ArchiveConfig::Instance();
  const int port = orvanta::test::FreeLoopbackPort();
  auto statusPage = [](CPaintManagerUI& pm) {
    return dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"commitStatusTabLayout"))->GetCurSel();
  };
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = PM(window);
    EXPECT_EQ(TextOf(window, L"commitPortEdit"), std::to_wstring(config.CommitPort()));
    EXPECT_EQ(TextOf(window, L"commitTitleEdit"), L"ORVANTA");
    EXPECT_TRUE(dynamic_cast<COptionUI*>(pm.FindControl(L"commitCheck"))->IsSelected());

    UITest::SetText(pm, L"commitPortEdit", std::to_wstring(port).c_str());
    UITest::SetText(pm, L"commitTitleEdit", L"WS7");
    UITest::Click(pm, L"saveSettingBtn");
    EXPECT_EQ(SOCommitSCU::StationListenerPort(), port);
    EXPECT_EQ(SOCommitSCU::StationListenerAETitle(), "WS7");
    EXPECT_EQ(statusPage(pm), 0);

    UITest::Click(pm, L"commitCheck");
    EXPECT_FALSE(pm.FindControl(L"commitPanel")->IsEnabled());
    UITest::Click(pm, L"saveSettingBtn");
    EXPECT_FALSE(config.CommitEnabled());
    EXPECT_EQ(SOCommitSCU::StationListenerPort(), 0);
    EXPECT_EQ(statusPage(pm), 1);
    window->Close(IDCANCEL);
  });
  tabrisk::SOSettingDlg dialog;
  dialog.Create(nullptr, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.ShowModal();
  config.SetCommit(true, ArchiveConfig::kDefaultCommitPort, ArchiveConfig::kDefaultCommitAETitle);
}

TEST_F(StudyDialogs, CloudSendFindsAnEnabledStationByItsCodeAndRemembersItOnce) {
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", "127.0.0.1"}, {"port", 4242}});
  service.AddUser("owner", "pw", "13800000001");
  service.AddUser("sender", "pw", "13800000002");
  WebError error;
  CloudStation owner;
  ASSERT_TRUE(GetJorvel()->Login("owner", "pw", &error));
  ASSERT_TRUE(Web_GetCloudStation(&owner, &error));
  const std::wstring typed = SOUtil::UTF82WStr(GroupDeviceCode(owner.stationID).c_str());
  ASSERT_TRUE(GetJorvel()->Login("sender", "pw", &error));

  // Runs the dialog once with `code` typed; the station it returned, if any.
  auto run = [&](const std::wstring& code, BoxAnswers& boxes) {
    tabrisk::CloudSendDlg dialog;
    UITest::OnModal(L"CloudSendDlg", [&](CWindowWnd* window) {
      auto* tiles = dynamic_cast<CContainerUI*>(PM(window).FindControl(L"deviceCodeTileLayout"));
      EXPECT_EQ(size_t(tiles->GetCount()), ArchiveConfig::Instance().CloudDevices().size());
      UITest::SetText(PM(window), L"deviceCodeEdit", code.c_str());
      UITest::Click(PM(window), L"sendBtn");
      if (!boxes.texts.empty()) window->Close(IDCANCEL);
    });
    dialog.Create(nullptr, L"CloudSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.ShowModal();
    CloudStation found;
    return dialog.GetResult(found) ? found.stationID : std::string("none");
  };

  BoxAnswers empty, off, on, again;
  empty.Expect();
  EXPECT_EQ(run(L"  ", empty), "none");
  EXPECT_EQ(empty.texts, std::vector<std::wstring>{L"Input cannot be empty!"});
  off.Expect();
  EXPECT_EQ(run(typed, off), "none");
  EXPECT_EQ(off.texts, std::vector<std::wstring>{L"The other party has not turned on the cloud receiving service!"});
  EXPECT_TRUE(ArchiveConfig::Instance().CloudDevices().empty());

  ASSERT_TRUE(GetJorvel()->Login("owner", "pw", &error));
  ASSERT_TRUE(Web_EnableCloudStation(true, &owner, &error));
  ASSERT_TRUE(GetJorvel()->Login("sender", "pw", &error));
  EXPECT_EQ(run(typed, on), owner.stationID);
  const std::string file = orvanta::test::FileBytes(ArchiveConfig::Instance().Path());
  EXPECT_EQ(run(typed, again), owner.stationID);
  EXPECT_EQ(orvanta::test::FileBytes(ArchiveConfig::Instance().Path()), file);
  ASSERT_EQ(ArchiveConfig::Instance().CloudDevices().size(), 1u);
  EXPECT_EQ(ArchiveConfig::Instance().CloudDevices()[0].code, owner.stationID);

  // A tile's cross forgets its code at once.
  tabrisk::CloudSendDlg dialog;
  UITest::OnModal(L"CloudSendDlg", [&](CWindowWnd* window) {
    EXPECT_EQ(TextOf(window, L"deviceCodeBtn"), typed);
    UITest::Click(PM(window), L"deviceDeleteBtn");
    SOWin::PumpEvents(20);
    EXPECT_EQ(dynamic_cast<CContainerUI*>(PM(window).FindControl(L"deviceCodeTileLayout"))->GetCount(), 0);
    window->Close(IDCANCEL);
  });
  dialog.Create(nullptr, L"CloudSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.ShowModal();
  EXPECT_TRUE(ArchiveConfig::Instance().CloudDevices().empty());
  GetJorvel()->Logout();
}

TEST_F(StudyDialogs, AnUnusableCloudStationIsAskedForOncePerAction) {
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", ""}, {"port", 4242}});
  service.AddUser("nohost", "pw", "13800000003");
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("nohost", "pw", &error));
  ASSERT_TRUE(SOWin::PumpUntil([] { return !CloudManager::Instance().Busy(); }, 10000));
  SOSCPManager::Instance().Stop();
  ASSERT_TRUE(ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage"));
  service.Admin("ClearRequests");
  auto asked = [&] {
    SOWin::PumpEvents(1500);  // long enough for a loop to show itself in thousands of requests
    int count = 0;
    const nlohmann::json log = service.Admin("Requests");
    for (const auto& request : log["requests"]) count += request["operation"] == "GetCloudStation";
    return count;
  };

  TestStore holder{MakeTempDir("unusable")};
  RecordingHost host;
  tabrisk::SOTabriskWnd* window = OpenStudyWindow(holder.store, &host);
  EXPECT_EQ(asked(), 1);
  EXPECT_FALSE(IsUsableStation(CloudManager::Instance().Station()));

  ASSERT_TRUE(UITest::Click(*window->GetPaintManager(), L"downloadBtn"));
  ASSERT_TRUE(SOWin::PumpUntil(
      [&] { return !host.Statuses().empty() && host.Statuses().back() == "Cloud receive finish!"; }, 10000));
  EXPECT_EQ(asked(), 2);

  // Each dialog asks once as it opens, and not again when the answer arrives.
  auto openAndClose = [](DuiLib::WndDialog& dialog, const wchar_t* name) {
    UITest::OnModal(name, [](CWindowWnd* shown) {
      SOWin::PumpEvents(1500);
      shown->Close(IDCANCEL);
    });
    dialog.Create(nullptr, name, 0x86C80000, 0, 0, 0, 0, 0);
    dialog.ShowModal();
  };
  tabrisk::SOSettingDlg settings;
  openAndClose(settings, L"SOSettingDlg");
  tabrisk::CloudSendDlg send;
  openAndClose(send, L"CloudSendDlg");
  EXPECT_EQ(asked(), 4);

  CloseStudyWindow(window);
  SOSCPManager::Instance().Stop();
  GetJorvel()->Logout();
}
