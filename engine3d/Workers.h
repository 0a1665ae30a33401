#pragma once

// The work split of every image call and octree pass: the calling thread and up to 47 more
// from a pool kept for the process, all done before the call returns.

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

constexpr int kMaxWorkers = 48;

// Cores this process may run on (its affinity, so taskset counts); at least 1.
inline int UsableCores() {
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return int(std::max(1u, std::thread::hardware_concurrency()));
  return std::max(1, CPU_COUNT(&cpus));
}

// Threads that wait for work between calls: starting threads per call costs more than a
// small plane takes to sample. One call uses the pool at a time; others start their own.
class WorkerPool {
 public:
  static WorkerPool& Shared() {
    static WorkerPool* pool = new WorkerPool;  // never destroyed: its threads may outlive main
    return *pool;
  }

  // Runs work on the caller and up to `helpers` pool threads; false (nothing run) when the
  // pool is busy with another call.
  bool Run(int helpers, const std::function<void()>& work) {
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true)) return false;
    while (int(m_threads.size()) < helpers) {
      try {
        m_threads.emplace_back([this, index = int(m_threads.size())] { Serve(index); });
      } catch (const std::exception&) {
        break;  // out of threads: fewer helpers
      }
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_work = &work;
      m_helpers = std::min(helpers, int(m_threads.size()));
      m_running = m_helpers;
      ++m_generation;
    }
    m_wake.notify_all();
    work();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_running == 0; });
    m_work = nullptr;
    m_busy = false;
    return true;
  }

 private:
  void Serve(int index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
      m_wake.wait(lock, [&] { return m_generation != seen; });
      seen = m_generation;
      if (index >= m_helpers) continue;
      const std::function<void()>* work = m_work;
      lock.unlock();
      (*work)();
      lock.lock();
      if (--m_running == 0) m_done.notify_one();
    }
  }

  std::atomic<bool> m_busy{false};
  std::mutex m_mutex;
  std::condition_variable m_wake, m_done;
  std::vector<std::thread> m_threads;
  const std::function<void()>* m_work = nullptr;
  int m_helpers = 0, m_running = 0;
  uint64_t m_generation = 0;
};

// Runs body(begin, end) over [0, count) on the calling thread and up to 47 more: the split into
// count / 48 + 1 items gives the most threads, the usable cores the most that can run at once
// (more would only wait). Threads take the items in small runs from a shared counter, so a
// thread that meets cheap items (empty rays, empty bricks) takes more of them; every item is
// still done exactly once. A thread that cannot be had leaves its share to the others.
// minRun: the fewest neighbouring items a thread takes at once, where neighbours share the data
// they read (the rows of a plane that crosses the slices).
template <typename Body>
void RunWorkers(int count, const Body& body, int minRun = 1) {
  if (count <= 0) return;
  const int chunk = count / kMaxWorkers + 1;
  const int wanted = std::min((count + chunk - 1) / chunk, UsableCores());
  const int grain = std::max({1, chunk / 8, std::min(minRun, count / wanted)});
  std::atomic<int> next{0};
  const std::function<void()> work = [&] {
    for (int begin = next.fetch_add(grain); begin < count; begin = next.fetch_add(grain))
      body(begin, std::min(begin + grain, count));
  };
  if (wanted == 1) return work();
  if (WorkerPool::Shared().Run(wanted - 1, work)) return;
  // Another call holds the pool: threads of this call's own.
  std::vector<std::thread> threads;
  try {
    threads.reserve(wanted - 1);
    while (int(threads.size()) < wanted - 1) threads.emplace_back(work);
  } catch (const std::exception&) {
    // Out of threads or memory: the caller and the threads started take every item.
  }
  work();
  for (std::thread& t : threads) t.join();
}
