#pragma once
// Helpers shared by the benchmark programs: timing, medians, memory, and peer processes.

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

// Wall time of body, in seconds.
inline double Seconds(const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// Processor time used by the calling thread.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The value below which a share p (0..1) of the samples lie; 0 without samples.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5))];
}

inline long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// Resident memory now, in MB.
inline long RssMb() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

// The machine's one-minute load average, printed beside ratios: a ratio taken on a loaded
// machine says less than one taken on an idle one.
inline double LoadAverage() {
  double load = 0;
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = 0;
    std::fclose(f);
  }
  return load;
}

// Starts a peer program found on PATH with its output discarded; -1 when it cannot start.
inline pid_t Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs a peer program found on PATH to its end, output discarded, without a shell between;
// its exit status, or -1 when it cannot start or dies.
inline int Run(const std::vector<std::string>& argv) {
  pid_t pid = Spawn(argv);
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The median wall time of starting a peer program and its ending at once (argv: the program
// with an option that makes it exit, e.g. --version): the share of each peer run that is
// process start-up, not transfer.
inline double StartupSeconds(const std::vector<std::string>& argv, int runs = 5) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(Seconds([&] { Run(argv); }));
  return Median(times);
}

// Processor time used by the whole process (all its threads, not its children).
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Stops a spawned peer and answers the processor time it used.
inline double Stop(pid_t pid) {
  if (pid <= 0) return 0;
  kill(pid, SIGTERM);
  rusage usage{};
  wait4(pid, nullptr, 0, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// A connected socket to 127.0.0.1:port, or -1.
inline int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(uint16_t(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  close(fd);
  return -1;
}

// Waits up to 30 s for a peer to listen on the port.
inline bool WaitPort(int port) {
  for (int i = 0; i < 600; ++i) {
    int fd = Connect(port);
    if (fd >= 0) return close(fd), true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace bench
