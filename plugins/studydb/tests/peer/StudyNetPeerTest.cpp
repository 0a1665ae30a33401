// The receiving service into a real store, fed by storescu and echoscu, and the send job to
// storescp, all on loopback.

#include "ArchiveConfig.h"
#include "DicomFixtures.h"
#include "IKelvast.h"
#include "PeerProcess.h"
#include "SOCommitSCU.h"
#include "SODcmDataset.h"
#include "SOFindSCU.h"
#include "SOGetSCU.h"
#include "SODcmFile.h"
#include "SOSCPManager.h"
#include "StudyJobs.h"
#include "TestStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

// Watches what the store shows while objects arrive, and the service's ends and states.
struct Probe : ISCPManagerCallback {
  TestStore* holder = nullptr;
  std::atomic<int> received{0};
  std::atomic<int> studiesSeenDuringReceive{0};
  std::atomic<int> ends{0};
  std::mutex mutex;
  std::vector<bool> states;
  bool OnFileReceived(SODcmAssociationParams&, SODcmFile*) override {
    if (holder) studiesSeenDuringReceive = std::max(studiesSeenDuringReceive.load(), holder->Studies());
    ++received;
    return true;
  }
  void OnStoreEnd(SODcmAssociationParams&) override { ++ends; }
  void OnStateChanged(bool running) override {
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(running);
  }
};

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 20s) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Two studies of 25 small CT slices each.
std::vector<std::string> TwoStudies(const fs::path& dir, int slicesEach = 25) {
  std::vector<std::string> files;
  for (int s = 0; s < 2; ++s) {
    orvanta::fixtures::CtSeriesOptions options;
    options.slices = slicesEach;
    options.rows = options.columns = 16;
    options.patientId = "P" + std::to_string(s);
    for (auto& f : orvanta::fixtures::WriteCtSeries(dir / std::to_string(s), options).files) files.push_back(f.string());
  }
  return files;
}

std::vector<std::string> StoreSCU(int port, const std::vector<std::string>& files) {
  std::vector<std::string> argv{"env", "TCP_NODELAY=1", "storescu", "-aet", "MODALITY", "-aec", "Storage", "127.0.0.1",
                                std::to_string(port)};
  argv.insert(argv.end(), files.begin(), files.end());
  return argv;
}

struct ReceivingService {
  fs::path dir = MakeTempDir("recv");
  TestStore holder{dir / "store"};
  ArchiveConfig config{(dir / "archive.xml").string()};
  SOSCPManager manager{config};
  SOReceiveToStore sink{holder.store};
  Probe probe;
  int port = FreeLoopbackPort();
  ReceivingService() {
    EXPECT_TRUE(config.SetSCP(port, "Storage"));
    probe.holder = &holder;
    // The probe comes after the store, so it sees each end after the commit.
    manager.AddListener(&sink);
    manager.AddListener(&probe);
    manager.Start();
    EXPECT_TRUE(WaitFor([&] { return manager.IsRunning(); }));
  }
  // The listeners must outlive the service.
  ~ReceivingService() { manager.Stop(); }
};

}  // namespace

TEST(StudyReceivePeer, OneAssociationOfTwoStudiesIsListedAtItsEnd) {
  ReceivingService service;
  std::vector<std::string> files = TwoStudies(service.dir / "src");
  ASSERT_EQ(files.size(), 50u);

  peer::PeerProcess echo({"echoscu", "-aec", "Storage", "127.0.0.1", std::to_string(service.port)},
                         service.dir / "echoscu.log");
  EXPECT_EQ(echo.WaitExit(30s), 0) << echo.Log();

  peer::PeerProcess storescu(StoreSCU(service.port, files), service.dir / "storescu.log");
  EXPECT_EQ(storescu.WaitExit(60s), 0) << storescu.Log();
  ASSERT_TRUE(WaitFor([&] { return service.probe.ends.load() == 1; }));
  EXPECT_EQ(service.probe.received.load(), 50);
  EXPECT_EQ(service.probe.studiesSeenDuringReceive.load(), 0) << "rows appeared before the association ended";
  EXPECT_EQ(service.holder.Studies(), 2);
  EXPECT_EQ(service.holder.Instances(), 50u);

  // A port changed meanwhile does not move the running service.
  EXPECT_TRUE(service.config.SetSCP(service.port + 1, "Storage"));
  EXPECT_EQ(service.manager.Port(), service.port);
  EXPECT_TRUE(service.manager.IsRunning());
}

// A node asks the receiving service to commit what it sent and one instance it never sent: the
// service answers with what its store holds, on the request's association unless the requester
// is one of the remote nodes.
TEST(StudyReceivePeer, CommitmentIsAnsweredForWhatTheStoreHolds) {
  ReceivingService service;
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 20;
  options.rows = options.columns = 16;
  const auto series = orvanta::fixtures::WriteCtSeries(service.dir / "src", options);
  std::vector<std::string> files;
  for (const auto& file : series.files) files.push_back(file.string());
  peer::PeerProcess storescu(StoreSCU(service.port, files), service.dir / "storescu.log");
  ASSERT_EQ(storescu.WaitExit(60s), 0) << storescu.Log();
  ASSERT_TRUE(WaitFor([&] { return service.probe.ends.load() == 1; }));

  std::vector<SODcmReferencedSOP> refs;
  for (const std::string& uid : series.sopUids) refs.push_back({"1.2.840.10008.5.1.4.1.1.2", uid});
  refs.push_back({"1.2.840.10008.5.1.4.1.1.2", "1.2.826.0.1.3680043.2.1125.77.999"});
  SOCommitSCU commit;
  ASSERT_TRUE(commit.Init("127.0.0.1", service.port, "Storage", "MODALITY", ""));
  SODcmCommitResult result;
  ASSERT_TRUE(commit.RequestCommit(nullptr, refs, result, nullptr, true, 20));
  std::set<std::string> committed;
  for (const auto& sop : result.success) committed.insert(sop.sopInstanceUID);
  EXPECT_EQ(committed, std::set<std::string>(series.sopUids.begin(), series.sopUids.end()));
  ASSERT_EQ(result.failed.size(), 1u);
  EXPECT_EQ(result.failed[0].sopInstanceUID, refs.back().sopInstanceUID);

  // A requester that is one of the remote nodes gets the answer on an association of its own,
  // at the node's port: it takes it there, and gets none on its request's association.
  const int reportPort = FreeLoopbackPort();
  ASSERT_TRUE(service.config.AddRemote({"REQ", "REQUESTER", "127.0.0.1", uint16_t(reportPort)}));
  SOCommitSCU listening;
  ASSERT_TRUE(listening.Init("127.0.0.1", service.port, "Storage", "REQUESTER", std::to_string(reportPort).c_str()));
  SODcmCommitResult apart;
  ASSERT_TRUE(listening.RequestCommit(nullptr, refs, apart, nullptr, true, 20));
  EXPECT_EQ(apart.success.size(), series.sopUids.size());
  EXPECT_EQ(apart.failed.size(), 1u);
  SOCommitSCU deaf;
  ASSERT_TRUE(deaf.Init("127.0.0.1", service.port, "Storage", "REQUESTER", ""));
  SODcmCommitResult none;
  EXPECT_FALSE(deaf.RequestCommit(nullptr, refs, none, nullptr, true, 3));
}

// A consultation team downloads from the receiving service as from any node: the study's
// commitment query is answered (listing nothing), C-FIND lists the study's instances, and C-GET
// brings those asked for by image and the whole series.
TEST(StudyReceivePeer, ATeamDownloadsFromTheReceivingService) {
  ReceivingService service;
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 20;
  options.rows = options.columns = 16;
  const auto series = orvanta::fixtures::WriteCtSeries(service.dir / "src", options);
  std::vector<std::string> files;
  for (const auto& file : series.files) files.push_back(file.string());
  peer::PeerProcess storescu(StoreSCU(service.port, files), service.dir / "storescu.log");
  ASSERT_EQ(storescu.WaitExit(60s), 0) << storescu.Log();
  ASSERT_TRUE(WaitFor([&] { return service.probe.ends.load() == 1; }));

  SOCommitSCU commit;
  ASSERT_TRUE(commit.Init("127.0.0.1", service.port, "Storage", "TEAM", ""));
  SODcmDataset query;
  query.SetString(0x0020000D, series.studyUid);
  SODcmCommitResult held;
  EXPECT_TRUE(commit.RequestCommit(&query, {}, held, nullptr, true, 10));
  EXPECT_TRUE(held.success.empty());

  SOFindSCU find;
  ASSERT_TRUE(find.Init("127.0.0.1", service.port, "Storage", "TEAM"));
  std::vector<SODcmReferencedSOP> found;
  ASSERT_TRUE(find.FindInstances({series.studyUid}, found));
  std::set<std::string> listed;
  for (const auto& sop : found) listed.insert(sop.sopInstanceUID);
  EXPECT_EQ(listed, std::set<std::string>(series.sopUids.begin(), series.sopUids.end()));

  struct Kept : ISODcmGetSCUCallback {
    void OnProgress(void*, const SODcmGetProgress*) override {}
    bool OnFileReceived(SODcmFile*) override { return true; }
  } kept;
  const struct {
    const char* level;
    unsigned long tag;
    std::string uids;
    size_t expected;
  } gets[] = {{"IMAGE", 0x00080018, series.sopUids[3] + "\\" + series.sopUids[7], 2},
              {"SERIES", 0x0020000E, series.seriesUid, 20}};
  for (const auto& g : gets) {
    SCOPED_TRACE(g.level);
    SOGetSCU get;
    ASSERT_TRUE(get.Init("127.0.0.1", service.port, "Storage", "TEAM", nullptr));
    get.SetCallback(&kept);
    SODcmDataset keys;
    keys.SetString(0x00080052, g.level);
    keys.SetString(g.tag, g.uids);
    std::vector<SODcmReferencedSOP> received;
    ASSERT_TRUE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received));
    EXPECT_EQ(received.size(), g.expected);
  }
}

TEST(StudyReceivePeer, ObjectsOfAnAbortedAssociationAreIndexed) {
  ReceivingService service;
  std::vector<std::string> files = TwoStudies(service.dir / "src", 300);
  {
    peer::PeerProcess storescu(StoreSCU(service.port, files), service.dir / "storescu.log");
    ASSERT_TRUE(WaitFor([&] { return service.probe.received.load() >= 20; }));
  }  // stopped mid-send
  ASSERT_TRUE(WaitFor([&] { return service.probe.ends.load() == 1; }));
  int received = service.probe.received.load();
  EXPECT_LT(received, 600);
  EXPECT_EQ(service.holder.Instances(), static_cast<size_t>(received));
}

namespace {

// The receiving service into the store at folder, as the plug-in runs it, in a child process;
// serves until killed.
pid_t ServeInChild(const fs::path& folder, const fs::path& config, int port) {
  pid_t child = fork();
  if (child != 0) return child;
  IKelvast* store = BuildDB(folder.c_str());
  ArchiveConfig archive(config.string());
  if (!store || !archive.SetSCP(port, "Storage")) _exit(2);
  SOSCPManager manager(archive);
  SOReceiveToStore sink(store);
  manager.AddListener(&sink);
  manager.Start();
  for (;;) pause();
}

// The files storescu -v saw answered with success, in its log's order.
std::vector<std::string> AcknowledgedFiles(const std::string& log) {
  std::vector<std::string> files;
  std::istringstream in(log);
  std::string sending;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("I: Sending file: ", 0) == 0) sending = line.substr(17);
    if (line.find("Received Store Response (Success)") != std::string::npos && !sending.empty())
      files.push_back(sending);
  }
  return files;
}

}  // namespace

// The service killed at moments spread over a 200-object association (and once after it): every
// object the sender saw acknowledged is listed with its file, exactly once, when the store opens
// again.
TEST(StudyReceivePeer, AcknowledgedObjectsSurviveAKill) {
  fs::path dir = MakeTempDir("recv-kill");
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 200;
  options.rows = options.columns = 32;
  const auto series = orvanta::fixtures::WriteCtSeries(dir / "src", options);
  std::map<std::string, std::string> uidOf;
  for (size_t i = 0; i < series.files.size(); ++i) uidOf[series.files[i].string()] = series.sopUids[i];
  std::vector<std::string> files;
  for (const fs::path& file : series.files) files.push_back(file.string());
  auto sender = [&](int port) {
    std::vector<std::string> argv = StoreSCU(port, files);
    argv.insert(argv.begin() + 3, "-v");
    return argv;
  };

  // One whole association first: how long the kills have to spread over.
  std::chrono::milliseconds whole{};
  {
    const int port = FreeLoopbackPort();
    pid_t child = ServeInChild(dir / "store-whole", dir / "whole.xml", port);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(WaitFor([&] { return peer::Listening(port); }));
    const auto start = std::chrono::steady_clock::now();
    peer::PeerProcess storescu(sender(port), dir / "whole.log");
    EXPECT_EQ(storescu.WaitExit(120s), 0) << storescu.Log();
    whole = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(AcknowledgedFiles(storescu.Log()).size(), files.size());
  }

  constexpr int kKills = 22;
  size_t acknowledgedTotal = 0, listedTotal = 0;
  for (int round = 0; round <= kKills; ++round) {
    const fs::path folder = dir / ("store-" + std::to_string(round));
    const int port = FreeLoopbackPort();
    pid_t child = ServeInChild(folder, dir / ("archive-" + std::to_string(round) + ".xml"), port);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(WaitFor([&] { return peer::Listening(port); }));
    peer::PeerProcess storescu(sender(port), dir / ("storescu-" + std::to_string(round) + ".log"));
    // The last round is killed once the sender is done: after the association's commit.
    if (round < kKills)
      std::this_thread::sleep_for(whole * (round + 1) / (kKills + 1));
    else
      storescu.WaitExit(120s);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    storescu.WaitExit(120s);
    const std::vector<std::string> acknowledged = AcknowledgedFiles(storescu.Log());

    std::multiset<std::string> listed;
    {
      std::unique_ptr<IKelvast, void (*)(IKelvast*)> store(BuildDB(folder.c_str()), ReleaseDB);
      ASSERT_TRUE(store);
      std::vector<InstanceRecord> instances;
      store->GetAllInstanceRecords(instances);
      for (const InstanceRecord& instance : instances) {
        listed.insert(instance.sopInstanceUID);
        SODcmFile file;
        EXPECT_TRUE(file.LoadFile(instance.storePath.c_str(), true)) << instance.storePath;
      }
    }
    for (const std::string& file : acknowledged)
      EXPECT_EQ(listed.count(uidOf[file]), 1u) << "round " << round << ": " << file;
    for (const std::string& uid : listed) EXPECT_EQ(listed.count(uid), 1u) << uid;
    acknowledgedTotal += acknowledged.size();
    listedTotal += listed.size();
  }
  std::cout << "kills: " << kKills + 1 << ", whole association " << whole.count() << " ms, acknowledged "
            << acknowledgedTotal << ", listed " << listedTotal << "\n";
  // The kills must have found acknowledged objects, or the test proved nothing.
  EXPECT_GT(acknowledgedTotal, files.size());
}

TEST(StudyReceivePeer, BusyPortIsToldAsNotRunning) {
  ReceivingService first;
  ArchiveConfig config((first.dir / "second.xml").string());
  ASSERT_TRUE(config.SetSCP(first.port, "Storage"));
  Probe probe;
  SOSCPManager second(config);
  second.AddListener(&probe);
  EXPECT_TRUE(second.Start());
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(probe.mutex);
    return !probe.states.empty();
  }));
  EXPECT_EQ(probe.states, std::vector<bool>{false});
  EXPECT_FALSE(second.IsRunning());
  EXPECT_TRUE(first.manager.IsRunning());
}

TEST(StudyReceivePeer, ObjectTheStoreCannotKeepIsAnsweredWithFailure) {
  fs::path dir = MakeTempDir("recv-fail");
  ArchiveConfig config((dir / "archive.xml").string());
  int port = FreeLoopbackPort();
  ASSERT_TRUE(config.SetSCP(port, "Storage"));
  SOSCPManager manager(config);
  SOReceiveToStore sink(nullptr);
  manager.AddListener(&sink);
  struct StopFirst {
    SOSCPManager& manager;
    ~StopFirst() { manager.Stop(); }
  } stopFirst{manager};
  manager.Start();
  ASSERT_TRUE(WaitFor([&] { return manager.IsRunning(); }));
  std::vector<std::string> files = TwoStudies(dir / "src", 1);
  // Verbose, storescu prints the status each object was answered with.
  std::vector<std::string> argv = StoreSCU(port, {files[0]});
  argv.insert(std::find(argv.begin(), argv.end(), "storescu") + 1, "-v");
  peer::PeerProcess storescu(argv, dir / "storescu.log");
  storescu.WaitExit(30s);
  const std::string log = storescu.Log();
  EXPECT_NE(log.find("Received Store Response (Refused: OutOfResources)"), std::string::npos) << log;
  EXPECT_EQ(log.find("(Success)"), std::string::npos) << log;
}

namespace {

struct SendRecorder : ISendEvents {
  StudySender* sender = nullptr;
  int cancelAt = -1;
  int starts = 0;
  std::vector<TransferProgress> progress;
  std::vector<bool> done;
  void OnSendStart() override { ++starts; }
  void OnSendProgress(const TransferProgress& p) override {
    progress.push_back(p);
    if (sender && cancelAt > 0 && static_cast<int>(progress.size()) == cancelAt) sender->Cancel();
  }
  void OnSendDone(bool ok) override { done.push_back(ok); }
};

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (auto& entry : fs::directory_iterator(dir)) n += entry.is_regular_file();
  return n;
}

}  // namespace

TEST(StudySendPeer, SendsAStudyWithProgressAndCancels) {
  fs::path dir = MakeTempDir("send");
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 120;
  options.rows = options.columns = 16;
  SendJob job;
  for (auto& f : orvanta::fixtures::WriteCtSeries(dir / "src", options).files) job.files.push_back(f.string());
  int port = FreeLoopbackPort();
  fs::create_directories(dir / "out");
  peer::PeerProcess storescp({"env", "TCP_NODELAY=1", "storescp", "-aet", "PACS", "-od", (dir / "out").string(),
                              std::to_string(port)},
                             dir / "storescp.log");
  ASSERT_TRUE(storescp.WaitForPort(port));
  job.host = "127.0.0.1";
  job.port = static_cast<uint16_t>(port);
  job.calledAE = "PACS";

  SendRecorder events;
  StudySender sender(&events);
  events.sender = &sender;
  std::vector<std::string> statuses;
  sender.RunSend(job, "Storage", [&](const std::string& text) { statuses.push_back(text); });
  EXPECT_EQ(events.starts, 1);
  ASSERT_EQ(events.progress.size(), 120u);
  EXPECT_EQ(events.progress[9].text, "10/120");
  EXPECT_EQ(events.progress.back().text, "120/120");
  EXPECT_EQ(events.progress.back().percent, 100);
  EXPECT_EQ(events.done, std::vector<bool>{true});
  EXPECT_EQ(statuses, std::vector<std::string>{""});
  EXPECT_TRUE(WaitFor([&] { return FilesIn(dir / "out") == 120; }));

  // Cancelled after about ten files: fewer arrive, and the send failed.
  fs::remove_all(dir / "out");
  fs::create_directories(dir / "out");
  events = SendRecorder{};
  events.sender = &sender;
  events.cancelAt = 10;
  sender.RunSend(job, "Storage", nullptr);
  EXPECT_EQ(events.done, std::vector<bool>{false});
  EXPECT_LT(events.progress.size(), 120u);
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(FilesIn(dir / "out"), 120u);
}

TEST(StudySendPeer, UnreachableNodeFailsOnce) {
  SendJob job;
  job.files = {"/nonexistent.dcm"};
  job.host = "127.0.0.1";
  job.port = static_cast<uint16_t>(FreeLoopbackPort());
  job.calledAE = "PACS";
  SendRecorder events;
  StudySender sender(&events);
  auto start = std::chrono::steady_clock::now();
  sender.RunSend(job, "Storage", nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(events.done, std::vector<bool>{false});
  EXPECT_STREQ(SendDoneText(false), "Send fail!");

  // A node that cannot even be named is a failed send too, told once.
  job.port = 0;
  events = SendRecorder{};
  sender.RunSend(job, "Storage", nullptr);
  EXPECT_EQ(events.done, std::vector<bool>{false});
  EXPECT_EQ(events.starts, 1);
}
