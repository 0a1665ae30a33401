#pragma once

#include "PeerProcess.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace peer {

// dcmprscp serving one printer "PRINTSCP" like the one its own sample configuration calls
// IHEFULL: grey only, no A4, paper and film media. Print objects land in the database folder.
struct PrintSCP {
  // maxPdu: the largest PDU the server takes, so the largest a client sends it.
  explicit PrintSCP(int maxPdu = 32768);
  std::filesystem::path dir;
  int port = 0;
  std::unique_ptr<PeerProcess> process;

  bool Ready() { return process->WaitForPort(port); }
  // Stored files whose name starts with prefix (HG_ hardcopy image, SP_ stored print).
  std::vector<std::filesystem::path> Stored(const std::string& prefix) const;
};

}  // namespace peer
