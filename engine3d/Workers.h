#pragma once

// The work split of every image call and octree pass: count items over at most 48 threads,
// count / 48 + 1 items each, created and joined within the call.

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

constexpr int kMaxWorkers = 48;

// Runs body(begin, end) over [0, count). A thread that cannot be created leaves its items to
// the calling thread, so the work is always done.
template <typename Body>
void RunWorkers(int count, const Body& body) {
  if (count <= 0) return;
  const int chunk = count / kMaxWorkers + 1;
  std::vector<std::thread> threads;
  threads.reserve(kMaxWorkers);
  std::vector<int> inlineStarts;
  for (int begin = 0; begin < count; begin += chunk) {
    const int end = std::min(begin + chunk, count);
    try {
      threads.emplace_back([&body, begin, end] { body(begin, end); });
    } catch (const std::system_error&) {
      inlineStarts.push_back(begin);
    }
  }
  for (int begin : inlineStarts) body(begin, std::min(begin + chunk, count));
  for (std::thread& t : threads) t.join();
}
