#include "SOWorkers.h"

#include <chrono>
#include <thread>

void SOWorkers::Start(std::function<void()> fn) {
  std::shared_ptr<State> state = m_state;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    ++state->running;
  }
  std::thread([state, fn = std::move(fn)] {
    fn();
    std::lock_guard<std::mutex> hold(state->lock);
    --state->running;
    state->ended.notify_all();
  }).detach();
}

bool SOWorkers::WaitAll(int timeoutMs) {
  std::unique_lock<std::mutex> hold(m_state->lock);
  return m_state->ended.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                 [this] { return m_state->running == 0; });
}

int SOWorkers::Running() const {
  std::lock_guard<std::mutex> hold(m_state->lock);
  return m_state->running;
}
