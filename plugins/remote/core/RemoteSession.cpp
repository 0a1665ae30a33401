#include "RemoteSession.h"

#include <atomic>
#include <mutex>

#include "IHalvex.h"

namespace RemoteSession {

namespace {
std::mutex g_userMutex;
JorvelUserInfo g_user;  // guarded by g_userMutex
std::atomic<int> g_commitAnswerPort{0};
}  // namespace

JorvelUserInfo CurrentUser() {
  std::lock_guard<std::mutex> guard(g_userMutex);
  return g_user;
}

void SetCurrentUser(const JorvelUserInfo& user) {
  std::lock_guard<std::mutex> guard(g_userMutex);
  g_user = user;
}

int CommitAnswerPort() { return g_commitAnswerPort; }
void SetCommitAnswerPort(int port) { g_commitAnswerPort = port; }

IHalvex* NetworkStore() {
  static IHalvex* store = NewHalvex();
  return store;
}

}  // namespace RemoteSession
