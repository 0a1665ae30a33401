// Queued upload with storage commitment before and after, against DCMTK's storescu sending
// the same files plus the same two commitments, both to an Orthanc server on loopback started
// here (each side gets a fresh one, so neither finds the other's instances). storescu does no
// commitment, so the peer's side is storescu's time plus the time Orthanc takes to answer the
// commitment of the same list before and after it, asked in the same round (by our commitment
// call: what is measured there is Orthanc's answer, which both sides wait for alike). Orthanc
// runs with its default settings apart from where it keeps its files, its ports and the station
// it reports commitments to. storescu is started directly, not through a shell, and its
// process start-up, measured in the same run, is printed. DCMTK's logging is at errors on our
// side, as storescu's is discarded. One warm-up round is run and discarded; then the two sides
// alternate which goes first, and the medians are compared, since other work on the machine
// moves single runs by a second or more. The DCMTK tools run with TCP_NODELAY=1, their fastest
// setting.
// Usage: bench_upload [files=2000] [rounds=3]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include "DicomFixtures.h"
#include "IHalvex.h"
#include "SOCommitSCU.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

// A fresh Orthanc in its own folder, stopped with the object.
class Orthanc {
 public:
  Orthanc(const fs::path& dir, int reportPort) : port(orvanta::test::FreeLoopbackPort()) {
    fs::create_directories(dir);
    std::ofstream config(dir / "orthanc.json");
    config
        << "{ \"Name\": \"Bench\", \"StorageDirectory\": \"" << (dir / "storage").string()
        << "\", \"IndexDirectory\": \"" << (dir / "index").string() << "\", \"DicomAet\": \"ORTHANC\", "
        << "\"DicomPort\": " << port << ", \"HttpPort\": " << orvanta::test::FreeLoopbackPort()
        << ", \"RemoteAccessAllowed\": false, \"DicomCheckCalledAet\": false, "
        << "\"DicomAlwaysAllowStore\": true, \"DicomAlwaysAllowFind\": true, \"Plugins\": [], "
        << "\"DicomModalities\": { \"orvanta\": [ \"ORVANTA\", \"127.0.0.1\", " << reportPort << " ] } }\n";
    config.close();
    pid_ = Spawn({"Orthanc", (dir / "orthanc.json").string()});
    WaitPort(port);
  }
  ~Orthanc() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  int port;

 private:
  pid_t pid_;
};

using Clock = std::chrono::steady_clock;

// Waits for the end of one upload and notes when its phases ended: the first commitment with
// the first file sent, the C-STORE with the last.
class Finish : public IHalvexCallback {
 public:
  void OnDownloadQueued(const DCMDownload*) override {}
  void OnDownloadStarted(const DCMDownload*) override {}
  void OnDownloadFile(const DCMDownload*, SODcmFile*) override {}
  void OnDownloadProgress(const DCMDownload*, const DCMProgress*) override {}
  void OnDownloadFinished(const DCMDownload*, const DCMFinish*) override {}
  void OnDownloadCancelled(const DCMDownload*) override {}
  void OnUploadStarted(const DCMUpload*) override {}
  void OnUploadProgress(const DCMUpload*, const DCMProgress*) override {
    std::lock_guard<std::mutex> hold(mutex_);
    if (firstFile_ == Clock::time_point{}) firstFile_ = Clock::now();
    lastFile_ = Clock::now();
  }
  void OnUploadFinished(const DCMUpload*, const DCMFinish* finish) override {
    std::lock_guard<std::mutex> hold(mutex_);
    result_ = *finish;
    end_ = Clock::now();
    done_ = true;
    changed_.notify_all();
  }
  void OnUploadCancelled(const DCMUpload*) override {}

  DCMFinish Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return done_; });
    return result_;
  }

  // Seconds from start to the first file sent, to the last, and from there to the end.
  std::vector<double> Phases(Clock::time_point start) {
    std::lock_guard<std::mutex> hold(mutex_);
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    return {seconds(firstFile_ - start), seconds(lastFile_ - firstFile_), seconds(end_ - lastFile_)};
  }

 private:
  std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  bool done_ = false;
  DCMFinish result_;
  Clock::time_point firstFile_, lastFile_, end_;
};

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  orvanta::test::InitScratch();
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  setenv("TCP_NODELAY", "1", 1);
  fs::path root = orvanta::test::MakeTempDir("bench-upload");
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = 256;
  options.columns = 256;
  fx::WrittenSeries series = fx::WriteCtSeries(root / "files", options);
  int reportPort = orvanta::test::FreeLoopbackPort();

  std::vector<SODcmReferencedSOP> refs;
  for (int i = 0; i < count; ++i) refs.push_back({"1.2.840.10008.5.1.4.1.1.2", series.sopUids[i]});
  bool allSucceeded = true;
  // The peer's round: storescu's time, and the time of the two commitments.
  std::vector<double> peerCommitTimes;
  auto runPeer = [&](int round) {
    Orthanc orthanc(root / ("orthanc-peer-" + std::to_string(round)), reportPort);
    auto commit = [&](bool all) {
      SOCommitSCU scu;
      scu.Init("127.0.0.1", orthanc.port, "ORTHANC", "ORVANTA", std::to_string(reportPort).c_str());
      SODcmCommitResult result;
      double t = Seconds([&] { scu.RequestCommit(nullptr, refs, result, nullptr, true, 600); });
      if (all && result.success.size() != refs.size()) {
        allSucceeded = false;
        std::printf("warning: Orthanc committed %zu of %d after storescu\n", result.success.size(), count);
      }
      return t;
    };
    const double before = commit(false);
    int status = 0;
    const double send = Seconds([&] {
      status = Run({"storescu", "-aet", "ORVANTA", "-aec", "ORTHANC", "+sd", "127.0.0.1", std::to_string(orthanc.port),
                    (root / "files").string()});
    });
    if (status != 0) {
      allSucceeded = false;
      std::printf("warning: storescu ended with status %d\n", status);
    }
    peerCommitTimes.push_back(before + commit(true));
    return send;
  };
  std::vector<std::vector<double>> phases;
  auto runOurs = [&](int round) {
    Orthanc orthanc(root / ("orthanc-ours-" + std::to_string(round)), reportPort);
    DCMUpload upload;
    upload.key = "bench";
    upload.host = "127.0.0.1";
    upload.port = orthanc.port;
    upload.callingAE = "ORVANTA";
    upload.calledAE = "ORTHANC";
    upload.extra = std::to_string(reportPort);
    for (int i = 0; i < count; ++i)
      upload.files.push_back({"1.2.840.10008.5.1.4.1.1.2", series.sopUids[i], series.files[i].string()});
    IHalvex* halvex = NewHalvex();
    Finish waiter;
    halvex->SetCallback(&waiter);
    DCMFinish finish;
    Clock::time_point start = Clock::now();
    double seconds = Seconds([&] {
      halvex->QueueUpload(upload);
      finish = waiter.Wait();
    });
    DeleteHalvex(halvex);
    if (!finish.success) {
      allSucceeded = false;
      std::printf("warning: the upload did not succeed (%d of %d done)\n", finish.done, finish.total);
    }
    phases.push_back(waiter.Phases(start));
    return seconds;
  };

  const double startup = StartupSeconds({"storescu", "--version"});
  std::vector<double> peerTimes, ourTimes;
  // round -1 is the warm-up, discarded.
  for (int round = -1; round < rounds; ++round) {
    double peerSend = 0, ours = 0;
    if (round % 2 == 0) {
      peerSend = runPeer(round + 1);
      ours = runOurs(round + 1);
    } else {
      ours = runOurs(round + 1);
      peerSend = runPeer(round + 1);
    }
    const double peerCommit = peerCommitTimes.back();
    std::printf("round %d%s: storescu %.3f s + Orthanc's two commitments %.3f s; ours %.3f s (first commitment and "
                "first file %.3f s, C-STORE %.3f s, second commitment %.3f s)\n",
                round, round < 0 ? " (warm-up, discarded)" : "", peerSend, peerCommit, ours, phases.back()[0],
                phases.back()[1], phases.back()[2]);
    if (round < 0) continue;
    peerTimes.push_back(peerSend + peerCommit);
    ourTimes.push_back(ours);
  }
  const double peer = Median(peerTimes);
  const double ours = Median(ourTimes);
  std::printf("peer: Orthanc with its default job settings (ConcurrentJobs 2, SaveJobs true), reporting "
              "commitments on its own association to port %d; storescu's process start-up %.3f s a run\n",
              reportPort, startup);
  std::printf("%-40s %9.3f s   %-36s %9.3f s   ratio (ours / peer) %.2f%s\n", "upload with two commitments", ours,
              "storescu + the same two commitments", peer, ours / peer, allSucceeded ? "" : "   (some runs failed)");
  orvanta::test::ShutdownScratch();
  return 0;
}
