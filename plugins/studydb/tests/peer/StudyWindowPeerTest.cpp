// The study database window against real peers on loopback: objects sent by storescu appear as
// rows once their association ended, a study goes to storescp with its progress box, and the
// settings' node test reaches storescp.

#include "PeerProcess.h"
#include "SettingsDialogs.h"
#include "StudyWindowHarness.h"
#include "TestStore.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace DuiLib;
using namespace std::chrono_literals;
using namespace studytest;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

CPaintManagerUI& PM(CWindowWnd* window) { return *static_cast<WindowImplBase*>(window)->GetPaintManager(); }

size_t FilesIn(const fs::path& dir) {
  return std::distance(fs::directory_iterator(dir), fs::directory_iterator{});
}

class StudyWindowPeer : public testing::Test {
 protected:
  static void SetUpTestSuite() { UseProgramSkins(); }
  void SetUp() override {
    // The window starts the process's receiving service on this port.
    SOSCPManager::Instance().Stop();
    ASSERT_TRUE(ArchiveConfig::Instance().SetSCP(port, "Storage"));
    window = OpenStudyWindow(holder.store, &host);
    ASSERT_TRUE(SOWin::PumpUntil([] { return SOSCPManager::Instance().IsRunning(); }, 5000));
  }
  void TearDown() override {
    CloseStudyWindow(window);
    SOSCPManager::Instance().Stop();
    ArchiveConfig& config = ArchiveConfig::Instance();
    while (config.RemoveRemote(0)) {
    }
  }
  int Rows() { return dynamic_cast<CListUI*>(PM(window).FindControl(L"studyList"))->GetCount(); }

  int port = FreeLoopbackPort();
  fs::path dir = MakeTempDir("peer");
  TestStore holder{dir / "store"};
  RecordingHost host;
  tabrisk::SOTabriskWnd* window = nullptr;
};

TEST_F(StudyWindowPeer, ReceivedStudiesAppearWhenTheirAssociationEnds) {
  std::vector<std::string> files;
  for (int s = 0; s < 2; ++s) {
    orvanta::fixtures::CtSeriesOptions options;
    options.slices = 25;
    options.rows = options.columns = 16;
    options.patientId = "RECV" + std::to_string(s);
    for (auto& f : orvanta::fixtures::WriteCtSeries(dir / std::to_string(s), options).files) files.push_back(f.string());
  }
  std::vector<std::string> argv{"storescu", "-aet", "MODALITY", "-aec", "Storage", "127.0.0.1", std::to_string(port)};
  argv.insert(argv.end(), files.begin(), files.end());
  peer::PeerProcess storescu(argv, dir / "storescu.log");
  EXPECT_TRUE(SOWin::PumpUntil([&] { return Rows() == 2; }, 30000)) << storescu.Log();
  EXPECT_EQ(storescu.WaitExit(30s), 0) << storescu.Log();
  EXPECT_EQ(holder.Instances(), 50u);

  peer::PeerProcess echo({"echoscu", "-aec", "Storage", "127.0.0.1", std::to_string(port)}, dir / "echoscu.log");
  EXPECT_EQ(echo.WaitExit(30s), 0) << echo.Log();
}

TEST_F(StudyWindowPeer, ASendShowsItsProgressAndItsOutcome) {
  AddStudy(holder.store, dir / "src", {"SEND1", "Send^Study", 1, 120});
  SOWin::PumpUntil([&] { return Rows() == 1; }, 5000);
  UITest::SelectItem(PM(window), L"studyList", 0);
  const int pacsPort = FreeLoopbackPort();
  fs::create_directories(dir / "out");
  peer::PeerProcess storescp({"storescp", "-aet", "PACS", "-od", (dir / "out").string(), std::to_string(pacsPort)},
                             dir / "storescp.log");
  ASSERT_TRUE(storescp.WaitForPort(pacsPort));
  ArchiveConfig& config = ArchiveConfig::Instance();
  ASSERT_TRUE(config.AddRemote({"CLOSED", "NOBODY", "127.0.0.1", uint16_t(FreeLoopbackPort())}));
  ASSERT_TRUE(config.AddRemote({"PACS", "PACS", "127.0.0.1", uint16_t(pacsPort)}));

  // Chooses node `index` in the send dialog, sends, and waits until the box has closed itself.
  auto send = [&](int index) {
    UITest::OnModal(L"SOSendDlg", [index](CWindowWnd* dialog) {
      UITest::SelectItem(PM(dialog), L"remoteStationList", index);
      UITest::Click(PM(dialog), L"sendBtn");
    });
    UITest::Click(PM(window), L"sendBarBtn");
    EXPECT_TRUE(SOWin::PumpUntil([&] { return window->SendBox() != nullptr; }, 15000));
    EXPECT_TRUE(SOWin::PumpUntil([&] { return window->SendBox() == nullptr; }, 30000));
  };

  send(1);
  std::vector<std::string> statuses = host.Statuses();
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(statuses[1], "Preparing to send...");
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "10/120"), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "120/120"), statuses.end());
  EXPECT_EQ(statuses.back(), "Send finish!");
  EXPECT_EQ(FilesIn(dir / "out"), 120u);

  const auto start = std::chrono::steady_clock::now();
  send(0);
  EXPECT_EQ(host.Statuses().back(), "Send fail!");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);

  // The settings' node test reaches the node that answers.
  std::wstring answer;
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* settings) {
    UITest::Click(PM(settings), L"remoteOpt");
    UITest::SelectItem(PM(settings), L"remoteStationList", 1);
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* box) {
      answer = PM(box).FindControl(L"textText")->GetText().GetData();
      UITest::Click(PM(box), L"confirmBtn");
    });
    UITest::Click(PM(settings), L"remoteTestBtn");
    EXPECT_TRUE(SOWin::PumpUntil([&] { return !answer.empty(); }, 20000));
    settings->Close(IDCANCEL);
  });
  UITest::Click(PM(window), L"settingBtn");
  EXPECT_EQ(answer, L"Connect Success!");
}

}  // namespace
