#pragma once

// The work split of every image call and octree pass: at most 48 threads, created and joined
// within the call.

#include <sched.h>

#include <algorithm>
#include <atomic>
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

// Runs body(begin, end) over [0, count) on the calling thread and up to 47 more: the split into
// count / 48 + 1 items gives the most threads, the usable cores the most that can run at once
// (more would only cost their creation). Threads take the items in small runs from a shared
// counter, so a thread that meets cheap items (empty rays, empty bricks) takes more of them;
// every item is still done exactly once. A thread that cannot be created leaves its share to
// the others.
template <typename Body>
void RunWorkers(int count, const Body& body) {
  if (count <= 0) return;
  const int chunk = count / kMaxWorkers + 1;
  const int wanted = std::min((count + chunk - 1) / chunk, UsableCores());
  const int grain = std::max(1, chunk / 8);
  std::atomic<int> next{0};
  auto work = [&] {
    for (int begin = next.fetch_add(grain); begin < count; begin = next.fetch_add(grain))
      body(begin, std::min(begin + grain, count));
  };
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
