#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ListenerSet.h"

namespace {
struct Listener {
  std::atomic<bool> inCall{false};
  std::atomic<bool> release{false};
  std::atomic<int> calls{0};
};
}  // namespace

// A listener may be destroyed as soon as Remove returns: a call under way on another thread has
// ended by then, and no later call reaches it.
TEST(ListenerSet, RemoveWaitsForACallUnderWayOnAnotherThread) {
  ListenerSet<Listener> set;
  Listener listener;
  set.Add(&listener);
  std::thread raiser([&] {
    set.ForEach([](Listener* l) {
      l->inCall = true;
      while (!l->release) std::this_thread::yield();
      l->inCall = false;
      ++l->calls;
    });
  });
  while (!listener.inCall) std::this_thread::yield();
  std::atomic<bool> removed{false};
  std::thread remover([&] {
    set.Remove(&listener);
    removed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(removed.load());
  listener.release = true;
  remover.join();
  EXPECT_FALSE(listener.inCall.load());
  raiser.join();
  set.ForEach([](Listener* l) { ++l->calls; });
  EXPECT_EQ(listener.calls.load(), 1);

  // Removing itself from inside its own call does not wait for itself.
  set.Add(&listener);
  set.ForEach([&](Listener* l) { set.Remove(l); });
  set.ForEach([](Listener* l) { ++l->calls; });
  EXPECT_EQ(listener.calls.load(), 1);
}
