#pragma once

#include <mutex>

// Mutual exclusion with the lock/unlock names, so std::lock_guard and std::unique_lock work on
// it. The owning thread may lock again while it holds it (each lock needs its unlock).
class SOMutex {
 public:
  SOMutex() = default;
  SOMutex(const SOMutex&) = delete;
  SOMutex& operator=(const SOMutex&) = delete;

  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};
