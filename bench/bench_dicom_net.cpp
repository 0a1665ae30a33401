// DICOM network transfer on loopback, against DCMTK's own tools measured in the same run on
// the same generated files (512 x 512, 16-bit CT):
//   - send: SOStoreSCU to storescp, versus storescu to storescp;
//   - receive: storescu to SODcmSCP writing each object to disk, versus storescu to
//     storescp -od.
// The DCMTK tools run with TCP_NODELAY=1, their fastest setting (as built for Debian they
// otherwise leave Nagle's algorithm on and wait for a delayed ACK on every object).
// Usage: bench_dicom_net [files=2000]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmSCP.h"
#include "SOStoreSCU.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

void Report(const char* what, double ours, double peer, const char* peerName) {
  std::printf("%-34s %9.3f s   %-30s %9.3f s   ratio (ours / peer) %.2f\n", what, ours, peerName, peer, ours / peer);
}

// Writes each object the way storescp does (no fsync; SODcmFile::SaveFile adds one for the
// store's durability, which storescp does not pay).
struct Writer : ISODcmSCPCallback {
  fs::path dir;
  int count = 0;
  bool OnStore(SODcmAssociationParams&, SODcmFile* file) override {
    DcmFileFormat* format = file->GetFileFormat();
    return format->saveFile((dir / (std::to_string(++count) + ".dcm")).c_str(), format->getDataset()->getOriginalXfer())
        .good();
  }
};

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  orvanta::test::InitScratch();
  setenv("TCP_NODELAY", "1", 1);
  fs::path root = orvanta::test::MakeTempDir("bench-net");
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = 512;
  options.columns = 512;
  fx::WrittenSeries series = fx::WriteCtSeries(root / "files", options);
  std::vector<std::string> files;
  for (const fs::path& f : series.files) files.push_back(f.string());
  // Every run finds the files in the page cache: read them all once beforehand.
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), buffer.size())) {
    }
  }

  // Send.
  {
    int port = orvanta::test::FreeLoopbackPort();
    fs::create_directories(root / "in1");
    pid_t scp = Spawn({"storescp", "-od", (root / "in1").string(), std::to_string(port)});
    WaitPort(port);
    SOStoreSCU store;
    store.InitSCU("127.0.0.1", port, "STORESCP", "ORVANTA", nullptr);
    std::vector<std::string> sent;
    double peer = Seconds([&] {
      std::system(("storescu -aec STORESCP +sd 127.0.0.1 " + std::to_string(port) + " " + (root / "files").string() +
                   " >/dev/null 2>&1")
                      .c_str());
    });
    double ours = Seconds([&] { store.SendFiles(files, sent, false); });
    Stop(scp);
    if (static_cast<int>(sent.size()) != count) std::printf("warning: %zu of %d files sent\n", sent.size(), count);
    Report("send (SOStoreSCU)", ours, peer, "storescu");
  }

  // Receive.
  {
    int port = orvanta::test::FreeLoopbackPort();
    Writer writer;
    writer.dir = root / "in2";
    fs::create_directories(writer.dir);
    SODcmSCP scp;
    scp.InitSCP("ORVANTA", port);
    scp.SetTransferFormat(SODcmTransferFormat_All);
    scp.SetCallback(&writer);
    double oursCpu = 0;
    std::thread service([&] {
      scp.StartSCP();
      oursCpu = CpuSeconds();
    });
    WaitPort(port);
    int peerPort = orvanta::test::FreeLoopbackPort();
    fs::create_directories(root / "in3");
    pid_t peerScp = Spawn({"storescp", "-od", (root / "in3").string(), std::to_string(peerPort)});
    WaitPort(peerPort);
    auto sender = [&](const char* aeTitle, int to) {
      return "storescu -aec " + std::string(aeTitle) + " +sd 127.0.0.1 " + std::to_string(to) + " " +
             (root / "files").string() + " >/dev/null 2>&1";
    };
    const std::string send = sender("ORVANTA", port), sendPeer = sender("STORESCP", peerPort);
    // The machine is shared and the previous run's writes are still being flushed: each run
    // starts from empty folders after a sync, the order alternates, and medians are compared.
    auto timed = [&](const std::string& command) {
      for (const char* dir : {"in2", "in3"}) {
        fs::remove_all(root / dir);
        fs::create_directories(root / dir);
      }
      ::sync();
      return Seconds([&] { std::system(command.c_str()); });
    };
    constexpr int kRounds = 3;
    std::vector<double> oursTimes, peerTimes;
    for (int round = 0; round < kRounds; ++round) {
      writer.count = 0;
      if (round % 2) peerTimes.push_back(timed(sendPeer));
      oursTimes.push_back(timed(send));
      if (round % 2 == 0) peerTimes.push_back(timed(sendPeer));
    }
    scp.Stop();
    service.join();
    const double peerCpu = Stop(peerScp);
    double ours = Median(oursTimes), peer = Median(peerTimes);
    if (writer.count != count) std::printf("warning: %d of %d files received\n", writer.count, count);
    Report("receive (SODcmSCP, to disk), median of 3", ours, peer, "storescp -od");
    // Less at the mercy of other load: the processor time the receiving side used in all rounds.
    Report("receiver CPU time, all rounds", oursCpu, peerCpu, "storescp -od");
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
