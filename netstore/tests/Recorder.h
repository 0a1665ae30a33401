#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IHalvex.h"

namespace halvextest {

// Every event of a network store as "<event> <key>", with its thread, finish record and
// progress values.
class Recorder : public IHalvexCallback {
 public:
  struct Event {
    std::string text;
    std::thread::id thread;
    DCMFinish finish;
    DCMProgress progress;
  };

  void OnDownloadQueued(const DCMDownload* d) override { Add("queued " + d->key); }
  void OnDownloadStarted(const DCMDownload* d) override { Add("started " + d->key); }
  void OnDownloadFile(const DCMDownload* d, SODcmFile* file) override {
    OnFile(file);
    Add("file " + d->key);
  }
  void OnDownloadProgress(const DCMDownload* d, const DCMProgress* p) override {
    Add("progress " + d->key, {}, *p);
  }
  void OnDownloadFinished(const DCMDownload* d, const DCMFinish* f) override {
    OnFinish();
    Add("finished " + d->key, *f);
  }
  void OnDownloadCancelled(const DCMDownload* d) override { Add("cancelled " + d->key); }
  void OnUploadStarted(const DCMUpload* u) override { Add("up-started " + u->key); }
  void OnUploadProgress(const DCMUpload* u, const DCMProgress* p) override {
    Add("up-progress " + u->key, {}, *p);
  }
  void OnUploadFinished(const DCMUpload* u, const DCMFinish* f) override { Add("up-finished " + u->key, *f); }
  void OnUploadCancelled(const DCMUpload* u) override { Add("up-cancelled " + u->key); }

  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> texts;
    for (const Event& e : events_) texts.push_back(e.text);
    return texts;
  }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> hold(mutex_);
    return events_;
  }
  // The events with this text.
  std::vector<Event> Find(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<Event> found;
    for (const Event& e : events_)
      if (e.text == text) found.push_back(e);
    return found;
  }
  // Waits until count events with this text arrived.
  bool WaitFor(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(60),
               size_t count = 1) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, limit, [&] {
      size_t seen = 0;
      for (const Event& e : events_) seen += e.text == text;
      return seen >= count;
    });
  }

 protected:
  virtual void OnFile(SODcmFile* file) {}
  virtual void OnFinish() {}
  virtual void Add(const std::string& text, DCMFinish finish = {}, DCMProgress progress = {}) {
    std::lock_guard<std::mutex> hold(mutex_);
    events_.push_back({text, std::this_thread::get_id(), finish, progress});
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

struct HalvexDeleter {
  void operator()(IHalvex* h) const { DeleteHalvex(h); }
};
using HalvexPtr = std::unique_ptr<IHalvex, HalvexDeleter>;

}  // namespace halvextest
