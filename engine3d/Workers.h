#pragma once

// The work split of every image call and octree pass: count items over at most 48 threads,
// count / 48 + 1 items each, created and joined within the call.

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

constexpr int kMaxWorkers = 48;

// Runs body(begin, end) over [0, count). When a thread cannot be created, the calling thread
// does the remaining items itself, so the work is always done.
template <typename Body>
void RunWorkers(int count, const Body& body) {
  if (count <= 0) return;
  const int chunk = count / kMaxWorkers + 1;
  std::vector<std::thread> threads;
  int rest = 0;
  try {
    threads.reserve(kMaxWorkers);
    for (; rest < count; rest += chunk) {
      const int end = std::min(rest + chunk, count);
      threads.emplace_back([&body, begin = rest, end] { body(begin, end); });
    }
  } catch (const std::exception&) {
    // Out of threads or memory: what was not handed out runs here.
  }
  if (rest < count) body(rest, count);
  for (std::thread& t : threads) t.join();
}
