#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "BlockingQueue.h"

// One worker thread that runs the items of a queue one after another, in queueing order.
// A derived class must call Shutdown in its destructor, before its own members go, since
// Run may be using them until then.
template <typename T>
class QueueThread {
 public:
  explicit QueueThread(BlockingQueue<T>* queue) : queue_(queue), thread_([this] { Loop(); }) {}
  virtual ~QueueThread() { Shutdown(); }
  QueueThread(const QueueThread&) = delete;
  QueueThread& operator=(const QueueThread&) = delete;

  virtual void Run(T& item) {}

 protected:
  // Cuts the running transfer short; called repeatedly by Shutdown until the worker ends.
  virtual void Interrupt() {}

  // Stops the queue and joins the worker, interrupting a running item until it returns.
  // Safe to call more than once.
  void Shutdown() {
    if (!thread_.joinable()) return;
    queue_->Stop();
    std::unique_lock<std::mutex> hold(exitMutex_);
    while (!exited_) {
      hold.unlock();
      Interrupt();
      hold.lock();
      exitedSignal_.wait_for(hold, std::chrono::milliseconds(50), [this] { return exited_; });
    }
    hold.unlock();
    thread_.join();
  }

 private:
  void Loop() {
    for (;;) {
      T item;
      if (!queue_->Pop(item)) break;
      Run(item);
    }
    std::lock_guard<std::mutex> hold(exitMutex_);
    exited_ = true;
    exitedSignal_.notify_all();
  }

  BlockingQueue<T>* queue_;  // not owned; outlives the worker
  // exitMutex_ guards exited_, set by the worker as its last act.
  std::mutex exitMutex_;
  std::condition_variable exitedSignal_;
  bool exited_ = false;
  std::thread thread_;  // last, so everything above exists when it starts
};
