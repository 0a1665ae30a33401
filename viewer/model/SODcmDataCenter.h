#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ISODcmDataCenter.h"
#include "SOMutex.h"

class SODcmStudy;

// Parses DICOM files into studies, series and objects, and loads lists of files on a loader
// thread of its own. The loader thread is started by the constructor and stopped by the
// destructor, which frees the requests still queued.
class SODcmDataCenter : public ISODcmDataCenter {
 public:
  SODcmDataCenter();
  SODcmDataCenter(const SODcmDataCenter&) = delete;
  SODcmDataCenter& operator=(const SODcmDataCenter&) = delete;
  ~SODcmDataCenter() override;

  bool LoadFile(const char* path, SOArray<ISODcmObject*>& objects) override;
  SOArray<ISODcmObject*> LoadFolder(const char* folder) override;
  int LoadFileAsync(const char* path) override;
  int LoadFolderAsync(const char* folder) override;
  int LoadFilesAsync(SOArray<SOString> paths) override;
  void Clear() override;
  int GetStudyCount() override;
  ISODcmStudy* GetStudyAt(int index) override;
  ISODcmStudy* FindStudy(const char* studyInstanceUID) override;
  ISODcmSeries* FindSeries(const char* seriesInstanceUID) override;
  ISODcmObject* FindObject(const char* sopInstanceUID) override;
  uint64_t NextStamp() override { return stamp_++; }
  void RegisterCallback(ISODcmDataCenterCallback* callback) override;
  void UnRegisterCallback(ISODcmDataCenterCallback* callback) override;
  void SetLoadFlag(bool flag) override { loadFlag_ = flag; }
  void SetFilter(ISODcmDataCenterFilter* filter) override { filter_ = filter; }

 private:
  // A thread message as the loader receives it.
  struct LoaderMessage {
    unsigned int message;
    std::unique_ptr<SODcmLoadRequest> request;
  };

  // Takes the next id and stamp, queues the request and returns the id.
  int Post(std::vector<std::string> paths);
  void LoaderLoop();
  void ServeRequest(const SODcmLoadRequest& request);
  // True while requests of this stamp may still report (no later Clear, not shut down).
  bool IsCurrent(uint64_t stamp) const { return stamp > clearStamp_ && !shutdown_; }
  // Calls fn for each callback still registered when its turn comes. UnRegisterCallback waits
  // for the calls of its callback in flight on other threads, so once it returns the callback
  // is neither called nor being called.
  template <typename Fn>
  void Notify(Fn fn);

  std::atomic<uint64_t> stamp_{1};
  std::atomic<uint64_t> clearStamp_{0};
  std::atomic<int> nextId_{1};
  std::atomic<bool> loadFlag_{false};
  std::atomic<bool> shutdown_{false};

  SOMutex mutex_;  // guards studies_ and everything below them
  std::vector<std::unique_ptr<SODcmStudy>> studies_;

  std::mutex callbacksMutex_;  // guards callbacks_ and inFlight_
  std::vector<ISODcmDataCenterCallback*> callbacks_;
  std::vector<std::pair<ISODcmDataCenterCallback*, std::thread::id>> inFlight_;
  std::condition_variable callbackReturned_;
  std::atomic<ISODcmDataCenterFilter*> filter_{nullptr};

  std::mutex queueMutex_;  // guards queue_
  std::condition_variable queueWake_;
  std::deque<LoaderMessage> queue_;
  std::thread loader_;  // last, so it starts after everything above exists
};
