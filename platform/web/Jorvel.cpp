#include "Jorvel.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "JorvelJson.h"
#include "JorvelSession.h"
#include "JorvelTransport.h"

namespace {

// The process-wide client. A user record handed out by GetUserInfo is never freed: a caller on
// another thread may still be copying it when a login or a nickname change replaces it, so the
// superseded records are kept (one per login or change, a few hundred bytes each).
class JorvelClient : public IJorvel {
 public:
  bool Login(const char* user, const char* password, WebError* error) override {
    nlohmann::json args = {{"user", user ? user : ""}, {"password", password ? password : ""}};
    std::string token;
    JorvelUserInfo info;
    bool ok = jorvel::Call("Login", args, std::string(), error, [&](const nlohmann::json& answer) {
      std::string t = answer.at("token").get<std::string>();
      info = answer.at("user").get<JorvelUserInfo>();
      token = std::move(t);
    });
    if (!ok) return false;
    if (token.empty()) {
      jorvel::Fail(error, jorvel::kBadAnswer, "Login: the service gave no session token");
      return false;
    }
    bool replaced;
    {
      std::lock_guard<std::mutex> hold(lock_);
      replaced = !token_.empty();
      token_ = token;
      current_ = Keep(std::move(info));
    }
    if (replaced) RaiseLogout();
    RaiseLogin();
    return true;
  }

  void Logout() override {
    std::string token;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (token_.empty()) return;
      token.swap(token_);
      current_ = &empty_;
    }
    // The service forgets the session in the background; the client has already.
    std::thread([token] { jorvel::Call("Logout", nlohmann::json::object(), token, nullptr); }).detach();
    RaiseLogout();
  }

  bool IsLoggedIn() override {
    std::lock_guard<std::mutex> hold(lock_);
    return !token_.empty();
  }

  const JorvelUserInfo* GetUserInfo() override {
    std::lock_guard<std::mutex> hold(lock_);
    return current_;
  }

  bool UpdateNickName(const std::string* nickName, WebError* error) override {
    std::string token = Token();
    JorvelUserInfo info;
    bool ok = jorvel::Call("UpdateNickName", {{"nickName", nickName ? *nickName : std::string()}}, token, error,
                           [&](const nlohmann::json& answer) { info = answer.at("user").get<JorvelUserInfo>(); });
    if (!ok) return false;
    std::lock_guard<std::mutex> hold(lock_);
    // A logout or another login meanwhile has its own user record.
    if (token_ == token && !token.empty()) current_ = Keep(std::move(info));
    return true;
  }

  void AddCallback(IJorvelCallback* callback) override {
    if (!callback) return;
    std::lock_guard<std::mutex> hold(callbackLock_);
    if (std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
      callbacks_.push_back(callback);
  }

  void RemoveCallback(IJorvelCallback* callback) override {
    std::lock_guard<std::mutex> hold(callbackLock_);
    callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
  }

  std::string Token() {
    std::lock_guard<std::mutex> hold(lock_);
    return token_;
  }

 private:
  // Called with lock_ held.
  const JorvelUserInfo* Keep(JorvelUserInfo info) {
    records_.push_back(std::make_unique<JorvelUserInfo>(std::move(info)));
    return records_.back().get();
  }

  std::vector<IJorvelCallback*> Callbacks() {
    std::lock_guard<std::mutex> hold(callbackLock_);
    return callbacks_;
  }
  void RaiseLogin() {
    for (IJorvelCallback* callback : Callbacks()) callback->OnLogin(0);
  }
  void RaiseLogout() {
    for (IJorvelCallback* callback : Callbacks()) callback->OnLogout();
  }

  std::mutex lock_;
  std::string token_;                                     // guarded by lock_; empty: logged out
  const JorvelUserInfo empty_{};                          // what GetUserInfo gives while logged out
  const JorvelUserInfo* current_ = &empty_;               // guarded by lock_
  std::vector<std::unique_ptr<JorvelUserInfo>> records_;  // guarded by lock_; only ever grows

  std::mutex callbackLock_;
  std::vector<IJorvelCallback*> callbacks_;  // guarded by callbackLock_
};

JorvelClient& Client() {
  static JorvelClient* client = new JorvelClient;  // never freed
  return *client;
}

}  // namespace

IJorvel* GetJorvel() { return &Client(); }

namespace jorvel {
std::string SessionToken() { return Client().Token(); }
}  // namespace jorvel
