#pragma once

// A worker thread fed with task ids. The 4D builders use it with "newest only": a burst of
// posts while a task runs leaves one task, the last, and a running task notices that it went
// stale through the id it compares with its owner's current one.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

template <typename Id>
class task_thread {
 public:
  explicit task_thread(bool newestOnly) : newestOnly_(newestOnly), thread_([this] { Loop(); }) {}
  virtual ~task_thread() { Stop(); }
  task_thread(const task_thread&) = delete;
  task_thread& operator=(const task_thread&) = delete;

  void Post(Id id) {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(id);
    wake_.notify_one();
  }

  // Drops the queued ids and waits for the running task to return. The queue stays locked
  // while waiting, so nothing new starts meanwhile.
  void Cancel() {
    cancel_ = true;
    {
      std::lock_guard lock(queueMutex_);
      queue_.clear();
      std::lock_guard running(runningMutex_);
    }
    cancel_ = false;
  }

  bool IsCancelled() const { return cancel_; }

 protected:
  virtual void Run(Id id) = 0;

  // Derived destructors call this first, so Run never sees a half-destroyed object.
  void Stop() {
    if (!thread_.joinable()) return;
    Cancel();
    {
      std::lock_guard lock(queueMutex_);
      exit_ = true;
      wake_.notify_all();
    }
    thread_.join();
  }

 private:
  std::optional<Id> Take() {
    std::unique_lock lock(queueMutex_);
    wake_.wait(lock, [&] { return exit_ || !queue_.empty(); });
    if (queue_.empty()) return std::nullopt;
    Id id;
    if (newestOnly_) {
      id = queue_.back();
      queue_.clear();
    } else {
      id = queue_.front();
      queue_.pop_front();
    }
    // Taken under the queue lock, so Cancel (which holds it) either sees this task running or
    // finds it still queued and drops it.
    runningLock_ = std::unique_lock(runningMutex_);
    return id;
  }

  void Loop() {
    for (;;) {
      std::optional<Id> id = Take();
      if (!id) return;
      Run(*id);
      runningLock_.unlock();
    }
  }

  const bool newestOnly_;
  std::atomic<bool> cancel_{false};
  bool exit_ = false;            // guarded by queueMutex_
  std::mutex queueMutex_;        // guards queue_ and exit_
  std::mutex runningMutex_;      // held by the worker while a task runs
  std::unique_lock<std::mutex> runningLock_;  // the worker's hold on runningMutex_ (worker only)
  std::deque<Id> queue_;
  std::condition_variable wake_;
  std::thread thread_;  // last: started once everything above exists
};
