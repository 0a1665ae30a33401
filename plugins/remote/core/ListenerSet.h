#pragma once

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Listeners called outside the set's lock, so a listener may call back into the object that
// raises the events. Remove waits for the calls of the removed listener under way on other
// threads, so a listener may be destroyed once Remove returned; listeners therefore must not
// wait for the thread that removes them (they post their work instead of waiting for it).
template <class Listener>
class ListenerSet {
 public:
  void Add(Listener* listener) {
    if (!listener) return;
    std::lock_guard<std::mutex> guard(mutex_);
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
  }

  void Remove(Listener* listener) {
    std::unique_lock<std::mutex> guard(mutex_);
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it != listeners_.end()) listeners_.erase(it);
    // A listener removing itself from inside its own call cannot wait for that call.
    const std::thread::id self = std::this_thread::get_id();
    ended_.wait(guard, [&] {
      return std::none_of(calling_.begin(), calling_.end(),
                          [&](const auto& c) { return c.second == listener && c.first != self; });
    });
  }

  // Calls each listener registered now and still registered at its turn.
  void ForEach(const std::function<void(Listener*)>& call) {
    std::vector<Listener*> listeners;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      listeners = listeners_;
    }
    const std::thread::id self = std::this_thread::get_id();
    for (Listener* listener : listeners) {
      {
        std::lock_guard<std::mutex> guard(mutex_);
        if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
        calling_.emplace_back(self, listener);
      }
      call(listener);
      {
        std::lock_guard<std::mutex> guard(mutex_);
        calling_.erase(std::find(calling_.begin(), calling_.end(), std::make_pair(self, listener)));
      }
      ended_.notify_all();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<Listener*> listeners_;                             // guarded by mutex_
  std::vector<std::pair<std::thread::id, Listener*>> calling_;  // guarded by mutex_
};
