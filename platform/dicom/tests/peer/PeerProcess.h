#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace peer {

// A peer program started for one test and always stopped with it: SIGTERM, a bounded
// wait, then SIGKILL. Its output goes to a log file kept beside the test's files.
class PeerProcess {
 public:
  PeerProcess(const std::vector<std::string>& argv, const std::filesystem::path& log);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Waits until 127.0.0.1:port takes connections or the process died.
  bool WaitForPort(int port, std::chrono::seconds limit = std::chrono::seconds(20)) const;
  // Waits for the process to end by itself; its exit status, or -1 on time-out.
  int WaitExit(std::chrono::seconds limit);
  std::string Log() const;

 private:
  void Stop();

  pid_t pid_ = -1;
  std::filesystem::path log_;
};

// True when a TCP connection to 127.0.0.1:port succeeds now.
bool PortOpen(int port);
// True when something listens on the port, found without connecting (a probe connection would
// itself take a serial node's one association).
bool Listening(int port);

}  // namespace peer
