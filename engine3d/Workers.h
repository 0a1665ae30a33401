#pragma once

// The work split of every image call and octree pass: at most 48 threads, created and joined
// within the call.

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

constexpr int kMaxWorkers = 48;

// Runs body(begin, end) over [0, count) on as many threads as the split into count / 48 + 1
// items gives. Threads take the items in small runs from a shared counter, so a thread that
// meets cheap items (empty rays, empty bricks) takes more of them; every item is still done
// exactly once. When a thread cannot be created, the calling thread works along.
template <typename Body>
void RunWorkers(int count, const Body& body) {
  if (count <= 0) return;
  const int chunk = count / kMaxWorkers + 1;
  const int wanted = (count + chunk - 1) / chunk;
  const int grain = std::max(1, chunk / 8);
  std::atomic<int> next{0};
  auto work = [&] {
    for (int begin = next.fetch_add(grain); begin < count; begin = next.fetch_add(grain))
      body(begin, std::min(begin + grain, count));
  };
  std::vector<std::thread> threads;
  try {
    threads.reserve(wanted);
    while (int(threads.size()) < wanted) threads.emplace_back(work);
  } catch (const std::exception&) {
    // Out of threads or memory: the caller takes a share below.
  }
  if (int(threads.size()) < wanted) work();
  for (std::thread& t : threads) t.join();
}
