#include "MServer.h"

#include "IHalvex.h"
#include "Jorvel.h"
#include "Link.h"
#include "LinkManager.h"
#include "TeamLink.h"
#include "RemoteSession.h"
#include "WebError.h"

MServer& MServer::Instance() {
  static MServer server;
  return server;
}

MServer::MServer() : indicatorCall_(Web_GetNotifyIndicator) { thread_ = std::thread(&MServer::TimerThread, this); }

MServer::~MServer() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void MServer::TimerThread() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!quit_) {
    if (!timerActive_) {
      wake_.wait(lock);
      continue;
    }
    if (wake_.wait_until(lock, due_) == std::cv_status::timeout || std::chrono::steady_clock::now() >= due_) {
      if (!timerActive_ || quit_) continue;
      lock.unlock();
      OnTimer();
      lock.lock();
    }
  }
}

void MServer::SetTimer(int ms) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    timerActive_ = true;
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  }
  wake_.notify_all();
}

void MServer::KillTimer() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    timerActive_ = false;
  }
  wake_.notify_all();
}

bool MServer::TimerActive() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return timerActive_;
}

void MServer::OnTimer() {
  KillTimer();
  if (!IsRunning()) return;
  Poll();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    // Logout during the poll leaves the timer off; a poll asked for during this one stands.
    if (!running_ || timerActive_) return;
    timerActive_ = true;
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
  }
  wake_.notify_all();
}

bool MServer::IsRunning() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return running_;
}

void MServer::Start(const JorvelUserInfo& user) {
  // Every login begins with no list of an earlier user, also when that user's session never
  // saw its logout.
  Stop();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    user_ = user;
    running_ = true;
  }
  SetTimer(0);
}

void MServer::Stop() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    running_ = false;
  }
  KillTimer();
  Reset();
}

void MServer::PollNow() {
  if (IsRunning()) SetTimer(0);
}

void MServer::ReloadNow() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!running_) return;
    reload_ = true;
  }
  SetTimer(0);
}

void MServer::Reset() {
  RemoteSession::NetworkStore()->CancelAll();
  std::lock_guard<std::mutex> pollGuard(pollMutex_);
  {
    std::lock_guard<std::mutex> guard(mutex_);
    myOrdersSeen_ = teamOrdersSeen_ = teamsSeen_ = 0;
    reload_ = false;
  }
  LinkManager::Instance().Clear();
  MyLink::Instance()->Clear();
}

void MServer::Poll() {
  std::lock_guard<std::mutex> pollGuard(pollMutex_);
  IndicatorCall call;
  StatusCall status;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    call = indicatorCall_;
    status = statusCall_;
  }
  NotifyIndicator indicator;
  WebError error;
  bool answered = call(&indicator, &error);
  bool reload = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    reload = reload_;
    reload_ = false;
  }
  if (answered) answered = reload ? Reload(indicator) : Apply(indicator);
  if (!answered) {
    // A service that did not answer may come back having started its stamps over: the lists
    // are loaded from their first pages then, not asked for changes since a stamp it forgot.
    std::lock_guard<std::mutex> guard(mutex_);
    reload_ = true;
  }
  LinkManager::Instance().LoadMissingLists();
  if (status) status(answered, error);
}

bool MServer::Reload(const NotifyIndicator& indicator) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (indicator.userId != user_.id) return true;
  }
  bool ok = true;
  if (MyLink::Instance()->Reload())
    StoreSeen(&MServer::myOrdersSeen_, indicator.myOrders);
  else
    ok = false;
  LinkManager& links = LinkManager::Instance();
  if (links.RefreshTeams())
    StoreSeen(&MServer::teamsSeen_, indicator.teams);
  else
    ok = false;
  bool teamsOk = true;
  for (const auto& link : links.Teams()) teamsOk = link->Reload() && teamsOk;
  if (teamsOk) StoreSeen(&MServer::teamOrdersSeen_, indicator.teamOrders);
  return ok && teamsOk;
}

void MServer::StoreSeen(int MServer::*counter, int value) {
  std::lock_guard<std::mutex> guard(mutex_);
  this->*counter = value;
}

void MServer::SetStatusCall(StatusCall call) {
  std::lock_guard<std::mutex> guard(mutex_);
  statusCall_ = std::move(call);
}

bool MServer::Apply(const NotifyIndicator& indicator) {
  int myOrdersSeen, teamOrdersSeen, teamsSeen;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (indicator.userId != user_.id) return true;
    myOrdersSeen = myOrdersSeen_;
    teamOrdersSeen = teamOrdersSeen_;
    teamsSeen = teamsSeen_;
  }
  bool ok = true;
  if (indicator.myOrders != myOrdersSeen) {
    if (MyLink::Instance()->Update())
      StoreSeen(&MServer::myOrdersSeen_, indicator.myOrders);
    else
      ok = false;
  }
  bool teamsRefreshed = false;
  if (indicator.teams != teamsSeen) {
    teamsRefreshed = LinkManager::Instance().RefreshTeams();
    if (teamsRefreshed) StoreSeen(&MServer::teamsSeen_, indicator.teams);
    ok = ok && teamsRefreshed;
  }
  LinkManager& links = LinkManager::Instance();
  if (indicator.teamOrders != teamOrdersSeen) {
    if (links.UpdateAllTeams())
      StoreSeen(&MServer::teamOrdersSeen_, indicator.teamOrders);
    else
      ok = false;
  } else if (teamsRefreshed) {
    // A team that joined in this poll gets its first page now, even when no team order moved.
    for (const auto& link : links.Teams()) {
      if (link->Stamp() == 0) ok = link->Update() && ok;
    }
  }
  return ok;
}

void MServer::SetUser(const JorvelUserInfo& user) {
  std::lock_guard<std::mutex> guard(mutex_);
  user_ = user;
}

void MServer::SetIndicatorCall(IndicatorCall call) {
  std::lock_guard<std::mutex> guard(mutex_);
  indicatorCall_ = call ? std::move(call) : IndicatorCall(Web_GetNotifyIndicator);
}

void MServer::SetInterval(int ms) {
  std::lock_guard<std::mutex> guard(mutex_);
  interval_ = ms;
}

void MServer::Counters(int& myOrders, int& teamOrders, int& teams) const {
  std::lock_guard<std::mutex> guard(mutex_);
  myOrders = myOrdersSeen_;
  teamOrders = teamOrdersSeen_;
  teams = teamsSeen_;
}
