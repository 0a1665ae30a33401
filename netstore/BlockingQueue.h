#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

// A queue of transfer items that any thread may fill and one worker empties. Derived queues
// say when two items are the same (by key) for Contains and Remove.
template <typename T>
class BlockingQueue {
 public:
  BlockingQueue() = default;
  virtual ~BlockingQueue() = default;
  BlockingQueue(const BlockingQueue&) = delete;
  BlockingQueue& operator=(const BlockingQueue&) = delete;

  virtual bool IsSameItem(const T& a, const T& b) const { return false; }

  void Push(const T& item) {
    std::lock_guard<std::mutex> hold(mutex_);
    items_.push_back(item);
    ready_.notify_one();
  }

  // Waits for an item and moves the front one into out; false once Stop was called.
  bool Pop(T& out) {
    std::unique_lock<std::mutex> hold(mutex_);
    ready_.wait(hold, [this] { return stopped_ || !items_.empty(); });
    if (stopped_) return false;
    out = std::move(items_.front());
    items_.pop_front();
    return true;
  }

  bool Contains(const T& probe) const {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const T& item : items_)
      if (IsSameItem(item, probe)) return true;
    return false;
  }

  // Takes the first item that is the same as probe out into removed.
  bool Remove(const T& probe, T& removed) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (IsSameItem(*it, probe)) {
        removed = std::move(*it);
        items_.erase(it);
        return true;
      }
    }
    return false;
  }

  std::deque<T> TakeAll() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(items_, {});
  }

  // Wakes the worker out of Pop for good; items still queued are dropped with the queue.
  void Stop() {
    std::lock_guard<std::mutex> hold(mutex_);
    stopped_ = true;
    ready_.notify_all();
  }

 private:
  // mutex_ guards items_ and stopped_; ready_ wakes the worker.
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> items_;
  bool stopped_ = false;
};
