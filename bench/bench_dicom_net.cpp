// DICOM network transfer on loopback, against DCMTK's own tools measured in the same run on
// the same generated files (512 x 512, 16-bit CT):
//   - send: SOStoreSCU to storescp, versus storescu to storescp;
//   - receive: storescu to SODcmSCP writing each object to disk, versus storescu to
//     storescp -od.
// Like is compared with like: the DCMTK tools run with TCP_NODELAY=1 (as built for Debian they
// otherwise leave Nagle's algorithm on and wait for a delayed ACK on every object; our side
// turns it off itself); every receiver takes PDUs of the same maximum size; both receivers
// write each object from the parsed dataset in its own transfer syntax (storescp's normal
// mode, not --bit-preserving: recalculated group lengths, explicit lengths, no padding), as a
// file of its own, without fsync, into the same folder, emptied and synced before each run;
// DCMTK's logging is at warnings on both sides. The files are in the page cache before the first run; one
// warm-up round of each side is run and discarded, then rounds alternate which side goes first,
// and medians are compared (the machine is shared). The DCMTK tools are started directly (no
// shell); their process start-up, measured in the same run, is printed beside the results and
// taken off in the second ratio.
// Usage: bench_dicom_net [files=2000] [rounds=5]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/oflog/oflog.h>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmNetUtil.h"
#include "SODcmSCP.h"
#include "SOStoreSCU.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

void Report(const char* what, const std::vector<double>& ours, const std::vector<double>& peer, const char* peerName,
            double peerStartup) {
  auto range = [](const std::vector<double>& v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s (%.2f-%.2f)", Median(v), *std::min_element(v.begin(), v.end()),
                  *std::max_element(v.begin(), v.end()));
    return std::string(text);
  };
  std::printf("%-26s %-24s %-14s %-24s ratio of medians (ours / peer) %.2f\n", what, range(ours).c_str(), peerName,
              range(peer).c_str(), Median(ours) / Median(peer));
  // The two runs of a round follow each other, so they share the machine's load best.
  std::vector<double> ratios;
  std::string text;
  for (size_t i = 0; i < ours.size(); ++i) {
    ratios.push_back(ours[i] / peer[i]);
    char one[16];
    std::snprintf(one, sizeof one, " %.2f", ratios.back());
    text += one;
  }
  std::printf("  ratio in each round:%s; median %.2f\n", text.c_str(), Median(ratios));
  if (peerStartup > 0)
    std::printf("  with the peer's process start-up (%.3f s a run) taken off its times: ratio %.2f\n", peerStartup,
                Median(ours) / (Median(peer) - peerStartup));
}

// Writes each object the way storescp does in its normal mode.
struct Writer : ISODcmSCPCallback {
  fs::path dir;
  int count = 0;
  bool OnStore(SODcmAssociationParams&, SODcmFile* file) override {
    DcmFileFormat* format = file->GetFileFormat();
    return format
        ->saveFile((dir / (std::to_string(++count) + ".dcm")).c_str(), format->getDataset()->getOriginalXfer(),
                   EET_ExplicitLength, EGL_recalcGL, EPD_withoutPadding)
        .good();
  }
};

// An emptied folder, with what earlier runs wrote flushed to disk.
void Empty(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  ::sync();
}

// A warm-up run of each side, discarded; then rounds of two runs each, alternating which
// goes first.
void Alternate(int rounds, const std::function<double()>& ours, const std::function<double()>& peer,
               std::vector<double>& oursTimes, std::vector<double>& peerTimes) {
  ours();
  peer();
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) peerTimes.push_back(peer());
    oursTimes.push_back(ours());
    if (round % 2) peerTimes.push_back(peer());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  orvanta::test::InitScratch();
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);
  setenv("TCP_NODELAY", "1", 1);
  const std::string pdu = std::to_string(sodcm::kMaxReceivePdu);
  std::printf("%d files of 512 x 512 x 16 bit, %d rounds; max PDU %s bytes on every receiver; storescp -od in its "
              "normal mode, no fsync on either side\n",
              count, rounds, pdu.c_str());
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
  auto storescu = [&](const char* aeTitle, int port) {
    return std::vector<std::string>{"storescu",    "-aec", aeTitle, "-pdu", pdu, "+sd", "127.0.0.1",
                                    std::to_string(port), (root / "files").string()};
  };
  const double startup = StartupSeconds({"storescu", "--version"});
  auto spawnStorescp = [&](const fs::path& dir, int port) {
    fs::create_directories(dir);
    pid_t pid = Spawn({"storescp", "-pdu", pdu, "-od", dir.string(), std::to_string(port)});
    WaitPort(port);
    return pid;
  };

  // Send: both senders to one storescp.
  {
    const int port = orvanta::test::FreeLoopbackPort();
    const fs::path in = root / "in-send";
    pid_t scp = spawnStorescp(in, port);
    SOStoreSCU store;
    store.InitSCU("127.0.0.1", port, "STORESCP", "ORVANTA", nullptr);
    const std::vector<std::string> sendPeer = storescu("STORESCP", port);
    std::vector<double> oursTimes, peerTimes;
    size_t fewest = files.size();
    Alternate(
        rounds,
        [&] {
          Empty(in);
          std::vector<std::string> sent;
          double t = Seconds([&] { store.SendFiles(files, sent, false); });
          fewest = std::min(fewest, sent.size());
          return t;
        },
        [&] {
          Empty(in);
          return Seconds([&] { Run(sendPeer); });
        },
        oursTimes, peerTimes);
    Stop(scp);
    if (fewest != files.size()) std::printf("warning: only %zu of %d files sent in a round\n", fewest, count);
    Report("send (SOStoreSCU)", oursTimes, peerTimes, "storescu", startup);
  }

  // Receive: storescu to each receiver, both writing into one folder.
  {
    const fs::path in = root / "in-receive";
    const int port = orvanta::test::FreeLoopbackPort();
    Writer writer;
    writer.dir = in;
    fs::create_directories(in);
    SODcmSCP scp;
    scp.InitSCP("ORVANTA", port);
    scp.SetTransferFormat(SODcmTransferFormat_All);
    scp.SetCallback(&writer);
    std::thread service([&] { scp.StartSCP(); });
    WaitPort(port);
    const int peerPort = orvanta::test::FreeLoopbackPort();
    pid_t peerScp = spawnStorescp(in, peerPort);
    const std::vector<std::string> send = storescu("ORVANTA", port), sendPeer = storescu("STORESCP", peerPort);
    std::vector<double> oursTimes, peerTimes;
    double oursCpu = 0;
    int fewest = count;
    Alternate(
        rounds,
        [&] {
          Empty(in);
          writer.count = 0;
          // While storescu sends, the service's threads are the only ones of this process at work.
          const double cpuBefore = ProcessCpuSeconds();
          double t = Seconds([&] { Run(send); });
          oursCpu += ProcessCpuSeconds() - cpuBefore;
          fewest = std::min(fewest, writer.count);
          return t;
        },
        [&] {
          Empty(in);
          return Seconds([&] { Run(sendPeer); });
        },
        oursTimes, peerTimes);
    scp.Stop();
    service.join();
    const double peerCpu = Stop(peerScp);
    if (fewest != count) std::printf("warning: only %d of %d files received in a round\n", fewest, count);
    // Both receivers get the same sender, so its start-up falls on both sides alike.
    Report("receive (SODcmSCP)", oursTimes, peerTimes, "storescp -od", 0);
    // Less at the mercy of other load: the processor time the receiving side used in all rounds.
    std::printf("%-26s %-24.3f %-14s %-24.3f ratio (ours / peer) %.2f\n", "receiver CPU, all runs", oursCpu,
                "storescp -od", peerCpu, oursCpu / peerCpu);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
