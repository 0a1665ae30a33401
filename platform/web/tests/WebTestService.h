#pragma once

#include <atomic>
#include <string>

#include "ConsultFixture.h"
#include "Jorvel.h"
#include "JorvelJson.h"

namespace webtest {

// One service for the whole test program, started on first use; every call points the client at
// it again (a test may have changed the settings).
inline ConsultFixture& Service() {
  static ConsultFixture* service = [] {
    auto* s = new ConsultFixture;  // runs until the process ends
    s->Start();
    return s;
  }();
  Web_SetSettings({service->BaseUrl(), 2000, 10000});
  return *service;
}

// A name no other test uses.
inline std::string Unique(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + std::to_string(++counter);
}

// A new account on the service; its password is its name.
inline JorvelUserInfo NewUser(const std::string& stem) {
  std::string name = Unique(stem);
  static std::atomic<int> mobile{0};
  return Service().AddUser(name, name, "139" + std::to_string(10000000 + ++mobile), "Nick " + name)
      .get<JorvelUserInfo>();
}

inline bool LoginAs(const JorvelUserInfo& user) {
  WebError error;
  return GetJorvel()->Login(user.userName.c_str(), user.userName.c_str(), &error);
}

// The arguments of the last request of an operation, as the service received them.
inline nlohmann::json LastArgs(const std::string& operation) {
  nlohmann::json requests = Service().Admin("Requests").at("requests");
  for (auto it = requests.rbegin(); it != requests.rend(); ++it)
    if ((*it)["operation"] == operation) return (*it)["args"];
  return nullptr;
}

}  // namespace webtest
