// The cloud station as the web service reports it, and a receive that cannot reach it.

#include "CloudManager.h"
#include "ConsultFixture.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "StudyJobs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Counter : ICloudManagerCallback {
  CloudManager* manager = nullptr;
  std::atomic<int> changes{0};
  void OnCloudStationChanged() override {
    ++changes;
    if (manager) manager->Refresh();  // must start nothing while this refresh runs
  }
};

void WaitIdle(CloudManager& manager) {
  for (int i = 0; i < 500 && manager.Busy(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_FALSE(manager.Busy());
}

struct ReceiveRecorder : ICloudReceiveEvents {
  std::vector<TransferProgress> progress;
  std::vector<bool> done;
  void OnDownloadProgress(const TransferProgress& p) override { progress.push_back(p); }
  void OnCloudReceiveDone(bool ok) override { done.push_back(ok); }
};

}  // namespace

TEST(CloudManager, RefreshAndEnableFollowTheService) {
  ConsultFixture service;
  service.Start();
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.AddUser("doctor", "pw", "13800000001", "Dr. Li");
  service.Admin("SetNode", {{"aeTitle", "CLOUD"}, {"host", "127.0.0.1"}, {"port", 4242}});
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("doctor", "pw", &error));

  CloudManager manager;
  Counter counter;
  counter.manager = &manager;
  manager.AddListener(&counter);
  manager.AddListener(&counter);
  manager.Refresh();
  manager.Refresh();
  WaitIdle(manager);
  EXPECT_EQ(counter.changes.load(), 1);
  CloudStation station = manager.Station();
  EXPECT_TRUE(IsUsableStation(station));
  EXPECT_EQ(station.host, "127.0.0.1");
  EXPECT_EQ(station.port, 4242);
  EXPECT_FALSE(station.enabled);

  counter.manager = nullptr;
  EXPECT_TRUE(manager.Enable(true));
  EXPECT_TRUE(manager.Station().enabled);
  EXPECT_EQ(counter.changes.load(), 2);
  manager.RemoveListener(&counter);
  EXPECT_TRUE(manager.Enable(false));
  EXPECT_EQ(counter.changes.load(), 2);

  // A failing service leaves the station as it was.
  GetJorvel()->Logout();
  manager.AddListener(&counter);
  EXPECT_FALSE(manager.Enable(true));
  manager.Refresh();
  WaitIdle(manager);
  EXPECT_EQ(counter.changes.load(), 2);
  EXPECT_TRUE(IsUsableStation(manager.Station()));
  EXPECT_FALSE(manager.Station().enabled);
}

TEST(CloudManager, UsableStationsTable) {
  CloudStation full{"key", "", "123456789", "CLOUD", "host", 104, true};
  EXPECT_TRUE(IsUsableStation(full));
  for (std::string CloudStation::*field : {&CloudStation::stationKey, &CloudStation::aeTitle, &CloudStation::host}) {
    CloudStation s = full;
    s.*field = "";
    EXPECT_FALSE(IsUsableStation(s));
  }
}

TEST(CloudReceiver, UnreachableOrUnusableStationFailsOnceAfterTheCommit) {
  IKelvast* store = BuildDB(orvanta::test::MakeTempDir("store").c_str());
  ReceiveRecorder events;
  CloudReceiver receiver(store, &events);
  EXPECT_FALSE(receiver.Run(CloudStation{}));
  CloudStation closed{"key", "", "1", "CLOUD", "127.0.0.1", static_cast<uint16_t>(orvanta::test::FreeLoopbackPort()),
                      true};
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(receiver.Run(closed));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(events.done, (std::vector<bool>{false, false}));
  EXPECT_TRUE(events.progress.empty());
  ReleaseDB(store);
}
