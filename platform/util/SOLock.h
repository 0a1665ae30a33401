#pragma once

#include <mutex>

// Mutual exclusion for one object's state. The owning thread may enter again while it holds
// the lock (each In needs its Out).
class SOLock {
 public:
  SOLock() = default;
  SOLock(const SOLock&) = delete;
  SOLock& operator=(const SOLock&) = delete;

  void In() { mutex_.lock(); }
  void Out() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds an SOLock for the life of a scope.
class SOAutoLock {
 public:
  explicit SOAutoLock(SOLock& lock) : lock_(lock) { lock_.In(); }
  ~SOAutoLock() { lock_.Out(); }
  SOAutoLock(const SOAutoLock&) = delete;
  SOAutoLock& operator=(const SOAutoLock&) = delete;

 private:
  SOLock& lock_;
};
