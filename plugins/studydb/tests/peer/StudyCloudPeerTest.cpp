// Cloud stations with real objects: a station on loopback answering the transfer key by C-GET
// sub-operations, reached directly and through the window's download button with the station
// the web service reports; and a study sent to another user's station (storescp) found by its
// device code.

#include "CloudManager.h"
#include "ConsultFixture.h"
#include "DicomFixtures.h"
#include "Jorvel.h"
#include "PeerProcess.h"
#include "RemoteNodeRules.h"
#include "StudyJobs.h"
#include "StudyWindowHarness.h"
#include "TestStore.h"
#include "TransferStation.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace DuiLib;
using namespace studytest;
using orvanta::test::MakeTempDir;

namespace {

struct ReceiveRecorder : ICloudReceiveEvents {
  std::vector<TransferProgress> progress;
  std::vector<bool> done;
  void OnDownloadProgress(const TransferProgress& p) override { progress.push_back(p); }
  void OnCloudReceiveDone(bool ok) override { done.push_back(ok); }
};

std::vector<fs::path> CtStudy(const fs::path& folder, const std::string& patientId, int slices) {
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = slices;
  ct.rows = ct.columns = 16;
  ct.patientId = patientId;
  return orvanta::fixtures::WriteCtSeries(folder, ct).files;
}

CloudStation StationAt(int port) {
  CloudStation station;
  station.stationKey = "key";
  station.stationID = "123456789";
  station.aeTitle = "CLOUD";
  station.host = "127.0.0.1";
  station.port = uint16_t(port);
  return station;
}

}  // namespace

TEST(CloudReceivePeer, TheStationsObjectsAreStoredWithProgressAndOneDone) {
  const fs::path dir = MakeTempDir("cloud");
  TransferStation station(CtStudy(dir / "station", "CLOUD01", 10));
  ASSERT_TRUE(station.Listening());
  TestStore holder{dir / "store"};
  ReceiveRecorder events;
  CloudReceiver receiver(holder.store, &events);

  EXPECT_TRUE(receiver.Run(StationAt(station.Port())));
  EXPECT_EQ(station.Keys(), std::vector<std::string>{"TRANSFER"});
  EXPECT_EQ(station.StoreStatuses(), std::vector<unsigned>(10, 0));
  EXPECT_EQ(holder.Studies(), 1);
  EXPECT_EQ(holder.Instances(), 10u);
  ASSERT_FALSE(events.progress.empty());
  EXPECT_EQ(events.progress.back().text, "10/10");
  EXPECT_EQ(events.progress.back().percent, 100);
  EXPECT_EQ(events.done, std::vector<bool>{true});
}

TEST(CloudReceivePeer, AReceiveThatFailsMidwayStillKeepsWhatArrived) {
  const fs::path dir = MakeTempDir("cloud-cut");
  TransferStation station(CtStudy(dir / "station", "CLOUD03", 60));
  ASSERT_TRUE(station.Listening());
  TestStore holder{dir / "store"};
  struct CancelAfterFive : ReceiveRecorder {
    CloudReceiver* receiver = nullptr;
    void OnDownloadProgress(const TransferProgress& p) override {
      ReceiveRecorder::OnDownloadProgress(p);
      if (progress.size() == 5) receiver->Cancel();
    }
  } events;
  CloudReceiver receiver(holder.store, &events);
  events.receiver = &receiver;

  EXPECT_FALSE(receiver.Run(StationAt(station.Port())));
  EXPECT_EQ(events.done, std::vector<bool>{false});
  const std::vector<unsigned> statuses = station.StoreStatuses();
  const size_t kept = size_t(std::count(statuses.begin(), statuses.end(), 0u));
  EXPECT_GE(kept, 5u);
  // Committed although the receive failed: the study is listed with what arrived.
  EXPECT_EQ(holder.Studies(), 1);
  EXPECT_GE(holder.Instances(), kept);
}

TEST(CloudReceivePeer, TheDownloadButtonBringsTheStationsStudyIntoTheList) {
  UseProgramSkins();
  const fs::path dir = MakeTempDir("cloud-window");
  TransferStation station(CtStudy(dir / "station", "CLOUD02", 12));
  ASSERT_TRUE(station.Listening());
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.AddUser("doctor", "pw", "13800000002", "Dr. Wang");
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", "127.0.0.1"}, {"port", station.Port()}});
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("doctor", "pw", &error));
  // The window also starts the receiving service: on a free port, stopped afterwards.
  SOSCPManager::Instance().Stop();
  ASSERT_TRUE(ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage"));

  TestStore holder{dir / "store"};
  RecordingHost host;
  tabrisk::SOTabriskWnd* window = OpenStudyWindow(holder.store, &host);
  CPaintManagerUI& pm = *window->GetPaintManager();
  auto* studies = dynamic_cast<CListUI*>(pm.FindControl(L"studyList"));
  ASSERT_TRUE(SOWin::PumpUntil(
      [] { return !CloudManager::Instance().Busy() && IsUsableStation(CloudManager::Instance().Station()); }, 10000));
  EXPECT_EQ(studies->GetCount(), 0);

  // A second click while the first receive runs starts no second one.
  ASSERT_TRUE(UITest::Click(pm, L"downloadBtn"));
  ASSERT_TRUE(UITest::Click(pm, L"downloadBtn"));
  EXPECT_TRUE(SOWin::PumpUntil([&] { return window->DownloadBox() != nullptr; }, 5000));
  EXPECT_TRUE(SOWin::PumpUntil([&] { return host.Statuses().back() == "Cloud receive finish!"; }, 30000));
  EXPECT_TRUE(SOWin::PumpUntil([&] { return studies->GetCount() == 1; }, 5000));
  EXPECT_EQ(holder.Instances(), 12u);
  const std::vector<std::string> statuses = host.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Preparing to download..."), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "12/12"), statuses.end());
  EXPECT_EQ(station.Keys(), std::vector<std::string>{"TRANSFER"});
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Cloud receive finish!"), 1);
  // The box closes itself after the outcome.
  EXPECT_TRUE(SOWin::PumpUntil([&] { return window->DownloadBox() == nullptr; }, 15000));

  CloseStudyWindow(window);
  SOSCPManager::Instance().Stop();
  GetJorvel()->Logout();
}

TEST(CloudSendPeer, CloudSendFromTheStudyMenuReachesTheStationByItsCode) {
  UseProgramSkins();
  const fs::path dir = MakeTempDir("cloud-send");
  // The other party's station is storescp.
  const int stationPort = orvanta::test::FreeLoopbackPort();
  fs::create_directories(dir / "out");
  peer::PeerProcess storescp({"storescp", "-aet", "CLOUD", "-od", (dir / "out").string(), std::to_string(stationPort)},
                             dir / "storescp.log");
  ASSERT_TRUE(storescp.WaitForPort(stationPort));
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", "127.0.0.1"}, {"port", stationPort}});
  service.AddUser("owner", "pw", "13800000003");
  service.AddUser("sender", "pw", "13800000004");
  WebError error;
  CloudStation owner;
  ASSERT_TRUE(GetJorvel()->Login("owner", "pw", &error));
  ASSERT_TRUE(Web_EnableCloudStation(true, &owner, &error));
  ASSERT_TRUE(GetJorvel()->Login("sender", "pw", &error));
  SOSCPManager::Instance().Stop();
  ASSERT_TRUE(ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage"));

  TestStore holder{dir / "store"};
  AddStudy(holder.store, dir / "src", {"CSEND1", "Cloud^Send", 1, 15});
  RecordingHost host;
  tabrisk::SOTabriskWnd* window = OpenStudyWindow(holder.store, &host);
  CPaintManagerUI& pm = *window->GetPaintManager();
  auto* studies = dynamic_cast<CListUI*>(pm.FindControl(L"studyList"));
  ASSERT_EQ(studies->GetCount(), 1);
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", 0));

  const std::wstring code = SOUtil::UTF82WStr(GroupDeviceCode(owner.stationID).c_str());
  UITest::OnModal(L"CloudSendDlg", [&](CWindowWnd* dialog) {
    CPaintManagerUI& dpm = *static_cast<WindowImplBase*>(dialog)->GetPaintManager();
    UITest::SetText(dpm, L"deviceCodeEdit", code.c_str());
    UITest::Click(dpm, L"sendBtn");
  });
  SOWin::SetPopupMenuHook([](HMENU, int, int, HWND) -> UINT { return 6; });  // "Cloud Send"
  ASSERT_TRUE(UITest::RightClickItem(pm, L"studyList", 0));
  SOWin::SetPopupMenuHook({});
  EXPECT_TRUE(SOWin::PumpUntil([&] { return window->SendBox() != nullptr; }, 15000));
  EXPECT_TRUE(SOWin::PumpUntil([&] { return host.Statuses().back() == "Send finish!"; }, 30000));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator{}), 15) << storescp.Log();

  CloseStudyWindow(window);
  SOSCPManager::Instance().Stop();
  while (ArchiveConfig::Instance().RemoveCloudDevice(0)) {
  }
  GetJorvel()->Logout();
}
