#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "JorvelRecords.h"

struct WebError;

// The notification poller: once a minute it asks the service for the change counters of the
// user's lists and refreshes exactly the lists whose counter moved since their last successful
// refresh; after a poll the service did not answer, and at the user's refresh, every list loads
// from its first page instead. Runs from login to logout on a thread of its own. One per process.
class MServer {
 public:
  using IndicatorCall = std::function<bool(NotifyIndicator*, WebError*)>;
  // After each poll, on its thread: whether the service answered every call, else its error.
  using StatusCall = std::function<void(bool answered, const WebError& error)>;

  static MServer& Instance();
  ~MServer();

  // Login: a reset (as Stop), then the poller works for the user and polls at once.
  void Start(const JorvelUserInfo& user);
  // Logout: stops the timer, waits for a poll under way, then resets.
  void Stop();
  // Transfers cancelled, counters 0, every team link and order dropped. Waits for a poll under
  // way, so no list it is filling is dropped under it.
  void Reset();
  // Polls as soon as possible; nothing when stopped.
  void PollNow();
  // The user's refresh: polls as soon as possible and loads every list from its first page
  // again, so a service that started its change stamps over leaves no stale order; nothing when
  // stopped.
  void ReloadNow();
  bool IsRunning() const;

  // One poll on the calling thread.
  void Poll();
  // The refreshes one indicator calls for; false when one of them failed.
  bool Apply(const NotifyIndicator& indicator);
  // Every list from its first page, the team list included; the counters take the indicator's
  // values of the lists that loaded. False when one of them failed.
  bool Reload(const NotifyIndicator& indicator);
  // One listener (the plug-in window); empty for none.
  void SetStatusCall(StatusCall call);

  // Timer control: fires OnTimer after ms; KillTimer stops it.
  void SetTimer(int ms);
  void KillTimer();
  bool TimerActive() const;

  // Tests: the user polled for without starting the timer, the indicator source and the
  // interval between polls.
  void SetUser(const JorvelUserInfo& user);
  void SetIndicatorCall(IndicatorCall call);
  void SetInterval(int ms);
  void Counters(int& myOrders, int& teamOrders, int& teams) const;

 private:
  MServer();
  void TimerThread();
  void OnTimer();
  // Notes a list's counter as seen, after its refresh succeeded.
  void StoreSeen(int MServer::*counter, int value);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;                                     // guarded by mutex_
  bool timerActive_ = false;                              // guarded by mutex_
  std::chrono::steady_clock::time_point due_;             // guarded by mutex_
  bool running_ = false;                                  // guarded by mutex_
  JorvelUserInfo user_;                                   // guarded by mutex_
  int myOrdersSeen_ = 0, teamOrdersSeen_ = 0, teamsSeen_ = 0;  // guarded by mutex_
  int interval_ = 60000;                                  // guarded by mutex_
  IndicatorCall indicatorCall_;                           // guarded by mutex_
  StatusCall statusCall_;                                 // guarded by mutex_
  bool reload_ = false;  // guarded by mutex_; the next answered poll reloads every list
  std::mutex pollMutex_;  // held for a whole poll and a whole reset
  std::thread thread_;
};
