#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IKelvast.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"

namespace storetest {

namespace fs = std::filesystem;

struct Dataset {
  std::string patientID = "P1";
  std::string patientName = "Test^Patient";
  std::string studyUID = "1.2.3";
  std::string seriesUID = "1.2.3.4";
  std::string sopUID = "1.2.3.4.5";
  std::string sopClass = "1.2.840.10008.5.1.4.1.1.7";
  std::string seriesNumber = "2";
  std::string instanceNumber = "5";
  std::string studyID = "S1";
  std::string studyDescription = "CHEST CT";
  std::string modality = "CT";
};

// An in-memory file with just the attributes the store indexes.
inline std::unique_ptr<SODcmFile> MakeFile(const Dataset& d) {
  auto file = std::make_unique<SODcmFile>();
  SODcmDataset* ds = file->GetDataset();
  auto put = [&](unsigned long tag, const std::string& v) {
    if (!v.empty()) ds->SetString(tag, v);
  };
  put(0x00080016, d.sopClass);
  put(0x00080018, d.sopUID);
  put(0x00080060, d.modality);
  put(0x00081030, d.studyDescription);
  put(0x00100010, d.patientName);
  put(0x00100020, d.patientID);
  put(0x0020000D, d.studyUID);
  put(0x0020000E, d.seriesUID);
  put(0x00200010, d.studyID);
  put(0x00200011, d.seriesNumber);
  put(0x00200013, d.instanceNumber);
  return file;
}

// Records notifications in order; safe to be called from several threads.
class RecordingListener : public IKelvastListener {
 public:
  void OnStoreChanged() override { Add("store"); }
  void OnStoreNotify(int) override { Add("notify"); }
  void OnStudyChanged(std::string id) override { Add("changed:" + id); }
  void OnStudyRemoved(std::string id) override { Add("removed:" + id); }

  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::move(events_);
  }

 private:
  void Add(std::string event) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(event));
  }
  std::mutex lock_;
  std::vector<std::string> events_;
};

// Waits (bounded) for a background deletion to finish.
inline bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

inline std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
  std::sort(files.begin(), files.end());
  return files;
}

struct StoreDeleter {
  void operator()(IKelvast* store) const { ReleaseDB(store); }
};
using StorePtr = std::unique_ptr<IKelvast, StoreDeleter>;

inline StorePtr OpenStore(const fs::path& folder) { return StorePtr(BuildDB(folder.c_str())); }

}  // namespace storetest
