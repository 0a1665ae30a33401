#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The frame's worker threads (loader, login, update check, folder import, download). Each runs
// detached; WaitAll waits, with a bound, until every one has ended, so that what they use
// (the frame's state, the archive of stores) is released only after them.
class SOWorkers {
 public:
  SOWorkers() = default;
  SOWorkers(const SOWorkers&) = delete;
  SOWorkers& operator=(const SOWorkers&) = delete;

  // Starts fn on a new thread.
  void Start(std::function<void()> fn);
  // True when every worker ended within timeoutMs.
  bool WaitAll(int timeoutMs);
  int Running() const;

 private:
  struct State {
    mutable std::mutex lock;  // guards running
    std::condition_variable ended;
    int running = 0;
  };
  // Shared with the threads, so a worker that outlives a timed-out wait still finds it.
  std::shared_ptr<State> m_state = std::make_shared<State>();
};
