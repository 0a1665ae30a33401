// Small calls to the consultation service stand-in on loopback: the web client against the plain
// curl command line making the same request (one process per request, as a script would), first
// one after another, then from eight threads at once. Prints calls per second, the 99th
// percentile of a call's time and their ratios, then the process's open descriptors once the
// client's connections are up and again after 10,000 more calls from eight threads (the same
// count: nothing leaks). The peer starts a process per call, so it makes fewer calls by default.
// A second line gives one curl process making all its calls over one kept-alive connection (a
// config file with one block per request), which shows the per-request cost without process start.
// Usage: bench_web_calls [calls=1000] [peerCalls=200]

#include <dirent.h>

#include <fstream>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "ConsultFixture.h"
#include "Jorvel.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
  double seconds = 0;
  std::vector<double> latencies;  // milliseconds
  int failures = 0;
  double PerSecond() const { return latencies.size() / seconds; }
  double P99() const { return bench::Percentile(latencies, 0.99); }
};

// Runs call `calls` times on each of `threads` threads.
Result Run(int threads, int calls, const std::function<bool()>& call) {
  Result result;
  std::mutex lock;
  auto start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      std::vector<double> mine;
      int failed = 0;
      for (int i = 0; i < calls; ++i) {
        auto begin = Clock::now();
        if (!call()) ++failed;
        mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
      }
      std::lock_guard<std::mutex> hold(lock);
      result.latencies.insert(result.latencies.end(), mine.begin(), mine.end());
      result.failures += failed;
    });
  }
  for (auto& w : workers) w.join();
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count - 1;  // the listing's own
}

void Print(const char* what, const Result& ours, const Result& peer) {
  std::printf("%-12s ours %8.0f calls/s  p99 %6.2f ms  (%d failed)\n", what, ours.PerSecond(), ours.P99(),
              ours.failures);
  std::printf("%-12s curl %8.0f calls/s  p99 %6.2f ms  (%d failed)\n", what, peer.PerSecond(), peer.P99(),
              peer.failures);
  std::printf("%-12s ratio ours/curl: calls/s %.1fx; p99 curl/ours %.1fx\n", what,
              ours.PerSecond() / peer.PerSecond(), peer.P99() / ours.P99());
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  int calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  int peerCalls = argc > 2 ? std::atoi(argv[2]) : 200;

  // The service runs in a child process, so that the descriptors counted here are the client's.
  int port = orvanta::test::FreeLoopbackPort();
  pid_t server = fork();
  if (server == 0) {
    ConsultFixture service;
    if (service.Start(port) < 0) _exit(1);
    pause();
    _exit(0);
  }
  std::string base = "http://127.0.0.1:" + std::to_string(port);
  Web_SetSettings({base, 2000, 10000});
  std::string url = base + "/api/GetPublicCase";

  auto ours = [] {
    std::vector<JorvelCase> cases;
    return Web_GetPublicCase(&cases, nullptr);
  };
  auto peer = [&] {
    pid_t pid = bench::Spawn({"curl", "-s", "-f", "-o", "/dev/null", "-X", "POST", "-H",
                              "Content-Type: application/json", "-d", "{}", url});
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };

  // The first call sets up the library and the connection, once the service listens.
  for (int tries = 0; tries < 500 && !ours(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Result oursOne = Run(1, calls, ours);
  Result peerOne = Run(1, peerCalls, peer);
  Print("sequential", oursOne, peerOne);
  {
    auto config = orvanta::test::MakeTempDir("curl") / "calls.conf";
    std::ofstream out(config);
    for (int i = 0; i < calls; ++i)
      out << "url = \"" << url << "\"\nrequest = \"POST\"\nheader = \"Content-Type: application/json\"\n"
          << "data = \"{}\"\noutput = \"/dev/null\"\n";
    out.close();
    bool ok = false;
    double seconds = bench::Seconds([&] {
      pid_t pid = bench::Spawn({"curl", "-s", "-f", "-K", config.string()});
      int status = 0;
      ok = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    });
    std::printf("%-12s curl, one process, %d calls: %8.0f calls/s%s; ratio ours/curl %.1fx\n", "sequential",
                calls, calls / seconds, ok ? "" : " (failed)", oursOne.PerSecond() / (calls / seconds));
  }
  Result oursEight = Run(8, calls, ours);
  Result peerEight = Run(8, peerCalls, peer);
  Print("8 threads", oursEight, peerEight);

  int before = OpenDescriptors();
  Result more = Run(8, 1250, ours);
  std::printf("open descriptors: %d with the connections up, %d after %zu more calls (%d failed)\n", before,
              OpenDescriptors(), more.latencies.size(), more.failures);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  orvanta::test::ShutdownScratch();
  return 0;
}
