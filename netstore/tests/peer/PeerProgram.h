#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string>
#include <vector>

namespace netpeer {

// A peer program (storescp, Orthanc) started for one test and stopped with it: SIGTERM,
// a bounded wait, then SIGKILL. Its output goes to a log file.
class PeerProgram {
 public:
  PeerProgram(const std::vector<std::string>& argv, const std::filesystem::path& log);
  ~PeerProgram();
  PeerProgram(const PeerProgram&) = delete;
  PeerProgram& operator=(const PeerProgram&) = delete;

  // Waits until 127.0.0.1:port takes connections (false when the program died or 30 s passed).
  bool WaitForPort(int port);

 private:
  pid_t pid_ = -1;
};

// Standard output of a shell command.
std::string CommandOutput(const std::string& command);

}  // namespace netpeer
