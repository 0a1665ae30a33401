#pragma once

#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace peer {

// Where each call goes: a node of its own per call, or the same one. Every call but print
// asks for the AE title NODE.
struct CallPorts {
  int echo, store, get, commit, print;
  std::string printAE = "NODE";
};

// Echo, store (of file), get, storage commitment (waiting up to commitWaitSeconds) and print,
// all at once, each on a thread of its own; each answer says whether the call claimed success.
std::vector<std::future<bool>> CallEveryService(const CallPorts& ports, const std::filesystem::path& file,
                                                int commitWaitSeconds);

}  // namespace peer
