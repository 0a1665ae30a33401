#pragma once
// A cloud station on loopback for the tests: a DCMTK service provider that answers a C-GET whose
// identifier holds (0721,2001) "TRANSFER" by sending the objects of its files as C-STORE
// sub-operations on the same association, with a pending response after each, and refuses any
// other identifier. Runs on a thread of its own until destroyed.

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace studytest {

class TransferStation {
 public:
  explicit TransferStation(std::vector<std::filesystem::path> files);
  ~TransferStation();
  TransferStation(const TransferStation&) = delete;
  TransferStation& operator=(const TransferStation&) = delete;

  int Port() const { return port_; }
  // Whether the station listens (it started within the constructor's wait).
  bool Listening() const;
  // Identifiers the station was asked for, as the value of (0721,2001) ("" when absent).
  std::vector<std::string> Keys() const;
  // C-STORE statuses the receiver answered, in order.
  std::vector<unsigned> StoreStatuses() const;

  // Called by the service provider.
  void Record(const std::string& key);
  void RecordStatus(unsigned status);
  const std::vector<std::filesystem::path>& Files() const { return files_; }
  const std::atomic<bool>& Stopping() const { return stop_; }

 private:
  std::vector<std::filesystem::path> files_;
  int port_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> keys_;
  std::vector<unsigned> statuses_;
  std::thread thread_;
};

}  // namespace studytest
