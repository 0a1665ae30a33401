#include "UIInvoke.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace DuiLib {

// Shared with every queued call, so that a call outliving its invoker finds it released.
struct CInvoke::State {
  std::mutex mutex;  // guards hwnd and generation
  HWND hwnd = nullptr;
  // Bumped by every bind and release: work queued under an older binding is dropped.
  unsigned long generation = 0;
};

namespace {

#if defined(__SANITIZE_THREAD__)
#define DUI_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DUI_TSAN 1
#endif
#endif

#ifdef DUI_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

// Qt is not built with ThreadSanitizer, so the synchronisation inside its event queue and its
// reference count on a queued call is invisible to it. The last member of a queued call announces
// that order: released once the call is fully built (each move builds it anew) and once the UI
// thread is done with it, acquired before the other thread reads or destroys it.
struct HandOver {
  HandOver() { Release(); }
  HandOver(const HandOver&) { Release(); }
  HandOver(HandOver&&) noexcept { Release(); }
  HandOver& operator=(const HandOver&) = delete;
  ~HandOver() { Acquire(); }
#ifdef DUI_TSAN
  void Release() { __tsan_release(this); }
  void Acquire() { __tsan_acquire(this); }
#else
  void Release() {}
  void Acquire() {}
#endif
};

template <class State>  // CInvoke::State, which is private to the invoker
struct QueuedCall {
  std::shared_ptr<State> state;
  unsigned long generation;
  std::function<void()> fn;
  HandOver handOver;  // last: built after the members above, destroyed before them

  void operator()() {
    handOver.Acquire();
    // Qt destroys the queued call on whichever thread drops its last reference, which may be
    // the calling one; what the call owns is taken here and destroyed on the UI thread.
    RunIfBound(std::move(state), generation, std::move(fn));
    handOver.Release();
  }

  static void RunIfBound(std::shared_ptr<State> state, unsigned long generation, std::function<void()> fn) {
    HWND hwnd;
    {
      std::lock_guard lock(state->mutex);
      if (state->generation != generation) return;
      hwnd = state->hwnd;
    }
    if (hwnd && IsWindow(hwnd)) fn();
  }
};

bool OnUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace

CInvoke::CInvoke() : m_state(std::make_shared<State>()) {}

CInvoke::~CInvoke() {
  Release();
}

void CInvoke::Create(HWND hwnd) {
  std::lock_guard lock(m_state->mutex);
  m_state->hwnd = hwnd;
  ++m_state->generation;
}

void CInvoke::Release() {
  std::lock_guard lock(m_state->mutex);
  m_state->hwnd = nullptr;
  ++m_state->generation;
}

HWND CInvoke::GetHWND() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->hwnd;
}

bool CInvoke::BeginInvoke(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  unsigned long generation;
  {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->hwnd || !app) return false;
    generation = m_state->generation;
  }
  std::shared_ptr<State> state = m_state;
  // The functor (and any record it owns) is destroyed on the UI thread, run or not.
  QMetaObject::invokeMethod(app, QueuedCall<State>{std::move(state), generation, std::move(fn), {}}, Qt::QueuedConnection);
  return true;
}

bool CInvoke::Invoke(const std::function<void()>& fn) {
  if (OnUiThread()) {
    HWND hwnd = GetHWND();
    if (!hwnd || !IsWindow(hwnd)) return false;
    fn();
    return true;
  }
  // Wakes the caller when the queued call is gone, whether it ran or was dropped.
  struct Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool ran = false;
  };
  struct Signal {
    std::shared_ptr<Waiter> waiter;
    ~Signal() {
      std::lock_guard lock(waiter->mutex);
      waiter->done = true;
      waiter->cv.notify_all();
    }
  };
  auto waiter = std::make_shared<Waiter>();
  auto signal = std::make_shared<Signal>();
  signal->waiter = waiter;
  bool queued = BeginInvoke([&fn, waiter, signal]() mutable {
    fn();
    std::lock_guard lock(waiter->mutex);
    waiter->ran = true;
  });
  signal.reset();
  if (!queued) return false;
  std::unique_lock lock(waiter->mutex);
  waiter->cv.wait(lock, [&] { return waiter->done; });
  return waiter->ran;
}

CBackgroundCall::~CBackgroundCall() {
  Stop();
  m_invoke.Release();
}

bool CBackgroundCall::Start(HWND hwnd, std::function<bool()> work, std::function<void()> cancel,
                            std::function<void(bool)> done) {
  if (Running()) return false;
  if (m_thread.joinable()) m_thread.join();
  m_invoke.Create(hwnd);
  m_cancel = std::move(cancel);
  m_finished = false;
  m_thread = std::thread([this, work = std::move(work), done = std::move(done)] {
    const bool answer = work();
    m_finished = true;
    m_invoke.BeginInvoke([done, answer] { done(answer); });
  });
  return true;
}

void CBackgroundCall::Stop() {
  // A cancel that comes before the work has begun its call may be missed: say it again.
  while (Running()) {
    if (m_cancel) m_cancel();
    for (int i = 0; i < 10 && Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace DuiLib
