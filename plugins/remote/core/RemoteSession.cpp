#include "RemoteSession.h"

#include <mutex>

#include "IHalvex.h"

namespace RemoteSession {

namespace {
std::mutex g_userMutex;
JorvelUserInfo g_user;  // guarded by g_userMutex
}  // namespace

JorvelUserInfo CurrentUser() {
  std::lock_guard<std::mutex> guard(g_userMutex);
  return g_user;
}

void SetCurrentUser(const JorvelUserInfo& user) {
  std::lock_guard<std::mutex> guard(g_userMutex);
  g_user = user;
}

IHalvex* NetworkStore() {
  static IHalvex* store = NewHalvex();
  return store;
}

}  // namespace RemoteSession
