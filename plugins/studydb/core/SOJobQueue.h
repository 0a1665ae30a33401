#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The window's worker task: jobs run one at a time on one thread, in the order they were queued.
class SOJobQueue {
 public:
  SOJobQueue();
  // Drops the jobs not yet started and waits for the running one.
  ~SOJobQueue();
  SOJobQueue(const SOJobQueue&) = delete;
  SOJobQueue& operator=(const SOJobQueue&) = delete;

  void Queue(std::function<void()> job);

 private:
  void Run();

  std::mutex mutex_;  // guards jobs_ and stopping_
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};
