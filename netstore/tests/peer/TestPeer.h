#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DcmDataset;

namespace netpeer {

namespace fs = std::filesystem;

// Faults the peer can show.
struct Switches {
  bool dropOne = false;       // the next instance stored or fetched is answered with success but lost
  bool refuseCommit = false;  // storage commitment requests are refused
  int reportDelayMs = 0;      // wait before sending a commitment report
};

// What the peer was asked, for the tests to check.
struct Counters {
  int stores = 0;
  int commitRequests = 0;
  int getRequests = 0;
  int lastGetKeys = 0;  // UIDs named by the last C-GET
  std::string lastGetLevel;
};

// A DICOM node in the test process: takes C-STORE, answers storage commitment on the same
// association (a request naming studies with an empty reference list is answered with every
// instance held of them), C-FIND and C-GET at STUDY, SERIES and IMAGE level.
class TestPeer {
 public:
  explicit TestPeer(const fs::path& folder);
  ~TestPeer();
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  // Listens on 127.0.0.1:port on a thread of its own; true once it takes connections.
  bool Start(int port);
  void Stop();

  // The peer holds a copy of the file from now on.
  void Hold(const fs::path& file);
  void SetSwitches(const Switches& switches);

  std::vector<std::string> HeldUIDs();
  // The peer's file of an instance; empty when not held.
  fs::path FileOf(const std::string& sopInstanceUID);
  Counters GetCounters();

 private:
  class Server;

  struct Instance {
    std::string sopClassUID;
    std::string studyUID;
    std::string seriesUID;
    fs::path file;
  };

  // Keeps a received or given dataset as a file of the peer.
  void Keep(DcmDataset& dataset);
  // Takes the drop switch when set (one drop per switch).
  bool TakeDrop();

  fs::path folder_;
  // mutex_ guards held_, switches_ and counters_ (the server thread and the test thread).
  std::mutex mutex_;
  std::map<std::string, Instance> held_;
  Switches switches_;
  Counters counters_;
  std::unique_ptr<Server> server_;
  std::thread thread_;
};

}  // namespace netpeer
