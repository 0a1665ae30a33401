#pragma once

#include "UIDefs.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace DuiLib {

// Runs work on the UI thread on behalf of any thread, for as long as the bound window
// lives. Work for a window that is gone (or for an unbound or released invoker) is
// dropped, and its record freed, without running.
class CInvoke {
 public:
  CInvoke();
  ~CInvoke();
  CInvoke(const CInvoke&) = delete;
  CInvoke& operator=(const CInvoke&) = delete;

  // Binds to a window; work then runs only while that window exists.
  void Create(HWND hwnd);
  // Unbinds; pending work is dropped.
  void Release();
  HWND GetHWND() const;

  // Queues `fn` for the UI thread and returns at once. False when it was dropped at once.
  bool BeginInvoke(std::function<void()> fn);
  // Queues a call with a heap record. The invoker owns `record` from here on and deletes
  // it on the UI thread after the call, or when the call is dropped.
  template <class T>
  bool BeginInvoke(std::function<void(T*)> fn, T* record) {
    std::shared_ptr<T> owned(record);
    return BeginInvoke(std::function<void()>([fn = std::move(fn), owned] { fn(owned.get()); }));
  }
  template <class O, class M, class T>
  bool BeginInvoke(O* object, void (M::*method)(T*), T* record) {
    return BeginInvoke(std::function<void(T*)>([object, method](T* r) { (object->*method)(r); }), record);
  }

  // Runs `fn` on the UI thread and waits for it; inline when called on the UI thread.
  // False (without running) when the window is gone before its turn.
  bool Invoke(const std::function<void()>& fn);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// One piece of blocking work (a network test, say) run off the UI thread for a window, its
// answer handed to the window on the UI thread. The UI thread owns the object.
class CBackgroundCall {
 public:
  CBackgroundCall() = default;
  // Ends the running work as Stop does; an answer not yet handled is dropped.
  ~CBackgroundCall();
  CBackgroundCall(const CBackgroundCall&) = delete;
  CBackgroundCall& operator=(const CBackgroundCall&) = delete;

  // Runs `work` on a thread of its own, then `done` with its answer on the UI thread while
  // `hwnd` lives. `cancel`, from the UI thread, makes the work end soon. False, and nothing
  // started, while an earlier work still runs.
  bool Start(HWND hwnd, std::function<bool()> work, std::function<void()> cancel, std::function<void(bool)> done);
  bool Running() const { return m_thread.joinable() && !m_finished.load(); }
  // Cancels the running work, again until it ends, and waits for its thread.
  void Stop();

 private:
  CInvoke m_invoke;
  std::function<void()> m_cancel;
  std::atomic<bool> m_finished{true};  // set by the work's thread when the work returned
  std::thread m_thread;
};

}  // namespace DuiLib
