// The study database's receiving service taking objects from storescu into the indexed store
// (each object saved and journaled before it is acknowledged; the files flushed and their study
// rows written every 200 objects while the association goes on, the rest and the list's rows
// when it ends), beside DCMTK storescp -od writing the same objects as plain files without an
// index, in the same run. Both sides get the same storescu command on loopback; the sides
// alternate round by round after a warm-up round that is not counted, and each starts with no
// writes of the other pending. Our time runs until the rows are committed, not only until
// storescu ends. The floor is what the store's guarantee needs at least: storescp's files made
// durable by one flush of their filesystem (syncfs), as the store flushes files before rows
// point at them, added to storescp's own time. When Orthanc is installed it receives the same
// objects too, with an index and its storage area synced (a receiver that keeps what it
// acknowledged, like ours).
// Usage: bench_study_receive [files=2000] [size=256] [rounds=3]

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "ArchiveConfig.h"
#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "IKelvast.h"
#include "SOSCPManager.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using bench::Median;
using bench::Seconds;

namespace {

// The store's receiver, telling when an association's rows are written.
class CommitWatch : public SOReceiveToStore {
 public:
  explicit CommitWatch(IKelvast* store) : SOReceiveToStore(store) {}
  void OnStoreEnd(SODcmAssociationParams& params) override {
    const double seconds = Seconds([&] { SOReceiveToStore::OnStoreEnd(params); });
    std::lock_guard<std::mutex> hold(mutex_);
    commit = seconds;
    ++ended_;
    changed_.notify_all();
  }
  bool WaitEnded(int count) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::minutes(5), [&] { return ended_ >= count; });
  }
  double commit = 0;  // seconds the last association's commit took

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int ended_ = 0;
};

std::vector<std::string> Storescu(const fs::path& in, int port, const char* calledAe) {
  return {"storescu", "-aec", calledAe, "+sd", "+r", "127.0.0.1", std::to_string(port), in.string()};
}

size_t FilesUnder(const fs::path& dir) {
  size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) count += entry.is_regular_file();
  return count;
}

// Seconds from storescu's start to the rows of its association committed, negative on failure;
// `commit` is the share of it spent in the commit at the association's end.
double Ours(const fs::path& in, size_t files, int round, double& commit) {
  const fs::path root = orvanta::test::MakeTempDir("receive-store") / "LOCAL";
  IKelvast* store = BuildDB(root.c_str());
  const int port = orvanta::test::FreeLoopbackPort();
  ArchiveConfig::Instance().SetSCP(port, "Storage");
  SOSCPManager service(ArchiveConfig::Instance());
  CommitWatch receiver(store);
  service.AddListener(&receiver);
  service.Start();
  if (!bench::WaitPort(port)) return -1;
  ::sync();
  int rc = -1;
  bool committed = false;
  const double seconds = Seconds([&] {
    rc = bench::Run(Storescu(in, port, "Storage"));
    committed = receiver.WaitEnded(1);
  });
  service.Stop();
  service.RemoveListener(&receiver);
  commit = receiver.commit;
  int studies = 0;
  std::vector<InstanceRecord> instances;
  store->GetStudyCount(&studies);
  store->GetAllInstanceRecords(instances);
  ReleaseDB(store);
  fs::remove_all(root.parent_path());
  if (rc != 0 || !committed || instances.size() != files) {
    std::fprintf(stderr, "round %d: storescu %d, committed %d, %zu of %zu objects indexed\n", round, rc, committed,
                 instances.size(), files);
    return -1;
  }
  return seconds;
}

struct PeerTimes {
  double receive = -1;  // storescu's run against storescp -od
  double durable = -1;  // one syncfs on the filesystem of storescp's files
};

PeerTimes Peer(const fs::path& in, size_t files, int round) {
  PeerTimes times;
  const fs::path out = orvanta::test::MakeTempDir("receive-storescp");
  const int port = orvanta::test::FreeLoopbackPort();
  const pid_t pid = bench::Spawn({"storescp", "-od", out.string(), "-aet", "STORESCP", std::to_string(port)});
  if (pid < 0 || !bench::WaitPort(port)) return times;
  ::sync();
  int rc = -1;
  times.receive = Seconds([&] { rc = bench::Run(Storescu(in, port, "STORESCP")); });
  bench::Stop(pid);
  const size_t written = FilesUnder(out);
  if (rc != 0 || written != files) {
    std::fprintf(stderr, "round %d: storescu to storescp %d, %zu of %zu files written\n", round, rc, written, files);
    times.receive = -1;
  }
  times.durable = Seconds([&] {
    const int dir = ::open(out.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) ::syncfs(dir), ::close(dir);
  });
  fs::remove_all(out);
  return times;
}

// storescu's run against Orthanc on loopback (index and synced storage area, its own folder);
// negative when Orthanc is missing or the send failed.
double Orthanc(const fs::path& in, size_t files, int round) {
  if (std::system("command -v Orthanc >/dev/null 2>&1") != 0) return -1;
  const fs::path dir = orvanta::test::MakeTempDir("receive-orthanc");
  const int httpPort = orvanta::test::FreeLoopbackPort(), dicomPort = orvanta::test::FreeLoopbackPort();
  std::ofstream(dir / "orthanc.json") << "{ \"Name\": \"Bench\", \"StorageDirectory\": \"" << (dir / "storage").string()
                                      << "\", \"IndexDirectory\": \"" << (dir / "index").string()
                                      << "\", \"HttpPort\": " << httpPort << ", \"DicomPort\": " << dicomPort
                                      << ", \"DicomAet\": \"ORTHANC\", \"RemoteAccessAllowed\": false, "
                                         "\"AuthenticationEnabled\": false, \"StorageCompression\": false, "
                                         "\"SyncStorageArea\": true, \"SaveJobs\": false, \"Plugins\": [] }\n";
  const pid_t pid = bench::Spawn({"Orthanc", (dir / "orthanc.json").string()});
  if (pid < 0 || !bench::WaitPort(dicomPort)) return -1;
  ::sync();
  int rc = -1;
  const double seconds = Seconds([&] { rc = bench::Run(Storescu(in, dicomPort, "ORTHANC")); });
  bench::Stop(pid);
  fs::remove_all(dir);
  if (rc != 0) {
    std::fprintf(stderr, "round %d: storescu to Orthanc %d (%zu objects)\n", round, rc, files);
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const int size = argc > 2 ? std::max(8, std::atoi(argv[2])) : 256;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  // Debian's DCMTK leaves Nagle on, and each object then waits for a delayed acknowledgement;
  // both sides (our service is DCMTK underneath too) run with it off.
  setenv("TCP_NODELAY", "1", 1);

  // The objects: CT studies of 100 slices.
  const fs::path in = orvanta::test::MakeTempDir("receive-in");
  size_t files = 0;
  for (int study = 0; int(files) < count; ++study) {
    fx::CtSeriesOptions options;
    options.slices = std::min<int>(100, count - int(files));
    options.rows = options.columns = size;
    options.patientId = "RECV" + std::to_string(study);
    files += fx::WriteCtSeries(in / std::to_string(study), options).files.size();
  }
  std::printf("%zu objects of %dx%d, %d rounds after a warm-up round, sides alternating\n", files, size, size,
              rounds);

  std::vector<double> ours, peer, durable, sync, orthanc;
  for (int round = 0; round <= rounds; ++round) {
    double o = -1, commit = 0;
    PeerTimes p;
    if (round % 2) {
      o = Ours(in, files, round, commit);
      p = Peer(in, files, round);
    } else {
      p = Peer(in, files, round);
      o = Ours(in, files, round, commit);
    }
    if (o < 0 || p.receive < 0) return 1;
    const double oc = Orthanc(in, files, round);
    std::printf("round %d%s: service into the store %.3f s (commit at the end %.3f s), storescp -od %.3f s "
                "(+ syncfs %.3f s), Orthanc %.3f s, load %.2f\n",
                round, round ? "" : " (warm-up)", o, commit, p.receive, p.durable, oc, bench::LoadAverage());
    if (round == 0) continue;
    ours.push_back(o);
    peer.push_back(p.receive);
    durable.push_back(p.receive + p.durable);
    sync.push_back(p.durable);
    if (oc > 0) orthanc.push_back(oc);
  }

  const double o = Median(ours), p = Median(peer), both = Median(durable), floor = Median(sync);
  auto line = [&](const char* what, double seconds) {
    std::printf("%-52s %8.3f s  %7.0f objects/s  ratio to storescp -od %.2f\n", what, seconds, files / seconds,
                seconds / p);
  };
  line("receiving service into the indexed store", o);
  line("storescp -od (files only, no index, not durable)", p);
  line("syncfs of storescp's files alone", floor);
  line("floor: storescp -od, then one syncfs", both);
  if (!orthanc.empty()) line("Orthanc (index, synced storage area)", Median(orthanc));
  std::printf("ours / storescp -od %.2f (goal <= 1.2); floor / storescp -od %.2f; ours / floor %.2f", o / p,
              both / p, o / both);
  if (!orthanc.empty()) std::printf("; ours / Orthanc %.2f", o / Median(orthanc));
  std::printf("\n");
  std::printf("load (1 min) at the end: %.2f\n", bench::LoadAverage());
  orvanta::test::ShutdownScratch();
  return 0;
}
