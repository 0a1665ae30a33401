// Queued upload with storage commitment before and after, against DCMTK's storescu sending
// the same files, both to an Orthanc server on loopback started here (each side gets a
// fresh one, so neither finds the other's instances). Orthanc runs with its default settings
// apart from where it keeps its files, its ports and the station it reports commitments to.
// The two sides alternate over several rounds and the medians are compared, since other work
// on the machine moves single runs by a second or more. The DCMTK tools run with
// TCP_NODELAY=1, their fastest setting.
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

#include "DicomFixtures.h"
#include "IHalvex.h"
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
  setenv("TCP_NODELAY", "1", 1);
  fs::path root = orvanta::test::MakeTempDir("bench-upload");
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = 256;
  options.columns = 256;
  fx::WrittenSeries series = fx::WriteCtSeries(root / "files", options);
  int reportPort = orvanta::test::FreeLoopbackPort();

  auto runPeer = [&](int round) {
    Orthanc orthanc(root / ("orthanc-peer-" + std::to_string(round)), reportPort);
    return Seconds([&] {
      std::system(("storescu -aet ORVANTA -aec ORTHANC +sd 127.0.0.1 " + std::to_string(orthanc.port) + " " +
                   (root / "files").string() + " >/dev/null 2>&1")
                      .c_str());
    });
  };
  bool allSucceeded = true;
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

  std::vector<double> peerTimes, ourTimes;
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      peerTimes.push_back(runPeer(round));
      ourTimes.push_back(runOurs(round));
    } else {
      ourTimes.push_back(runOurs(round));
      peerTimes.push_back(runPeer(round));
    }
    std::printf("round %d: storescu %.3f s, ours %.3f s (first commitment and first file %.3f s, C-STORE %.3f s, "
                "second commitment %.3f s)\n",
                round, peerTimes.back(), ourTimes.back(), phases.back()[0], phases.back()[1], phases.back()[2]);
  }
  const double peer = Median(peerTimes);
  const double ours = Median(ourTimes);
  std::printf("peer: Orthanc with its default job settings (ConcurrentJobs 2, SaveJobs true), reporting "
              "commitments on its own association to port %d\n",
              reportPort);
  std::printf("%-40s %9.3f s   %-28s %9.3f s   ratio (ours / peer) %.2f%s\n", "upload with two commitments", ours,
              "storescu (no commitment)", peer, ours / peer, allSucceeded ? "" : "   (some uploads failed)");
  orvanta::test::ShutdownScratch();
  return 0;
}
