#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "Jorvel.h"
#include "JorvelTransport.h"
#include "TestSupport.h"

namespace {

class SettingsScope {
 public:
  explicit SettingsScope(const JorvelSettings& settings) : saved_(Web_GetSettings()) { Web_SetSettings(settings); }
  ~SettingsScope() { Web_SetSettings(saved_); }

 private:
  JorvelSettings saved_;
};

TEST(JorvelTransport, LoopbackUrlsAreRecognised) {
  struct Case {
    const char* url;
    bool loopback;
  } cases[] = {
      {"http://127.0.0.1:8080", true},       {"http://127.10.0.3/x", true},  {"http://localhost", true},
      {"http://LOCALHOST:1/api", true},      {"http://[::1]:9000/", true},   {"http://user@127.0.0.1/", true},
      {"http://127.0.0.1.example.org", false}, {"http://128.0.0.1", false},  {"http://127.0.0.256", false},
      {"http://example.org/127.0.0.1", false}, {"http://[::2]", false},      {"127.0.0.1", false},
      {"http://evil.org@", false},
  };
  for (const Case& c : cases) EXPECT_EQ(jorvel::IsLoopbackUrl(c.url), c.loopback) << c.url;
}

// Every failure to reach the service is "20000" and comes at once, never a hang.
TEST(JorvelTransport, UnreachableServiceFailsFastWithNetworkCode) {
  int port = orvanta::test::FreeLoopbackPort();
  struct Case {
    std::string url;
  } cases[] = {
      {""},                                              // nothing configured
      {"http://127.0.0.1:" + std::to_string(port)},      // refused port
      {"http://consult.example.org"},                    // plain HTTP beyond loopback
      {"ftp://127.0.0.1:" + std::to_string(port)},       // not HTTP at all
  };
  for (const Case& c : cases) {
    SettingsScope scope({c.url, 2000, 5000});
    auto start = std::chrono::steady_clock::now();
    WebError error;
    std::string mobile = "13800000000";
    EXPECT_FALSE(Web_VerifyCode(&mobile, &error)) << c.url;
    EXPECT_EQ(error.code, "20000") << c.url;
    EXPECT_FALSE(error.message.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << c.url;
    EXPECT_FALSE(GetJorvel()->Login("someone", "secret", &error));
    EXPECT_EQ(error.code, "20000");
    EXPECT_FALSE(GetJorvel()->IsLoggedIn());
  }
  // A missing error record is allowed.
  SettingsScope scope({"", 2000, 5000});
  EXPECT_FALSE(Web_GetCloudStation(nullptr, nullptr));
}

// A cancel ends the calls that run, however long their time-out, and leaves later calls alone.
TEST(JorvelTransport, CancelEndsTheRunningCallsOnly) {
  // A service that takes the connection and never answers.
  int port = 0;
  const int silent = orvanta::test::ListenOnLoopback(&port, 8);
  ASSERT_GE(silent, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port);
  using Clock = std::chrono::steady_clock;
  auto call = [] {
    WebError error;
    std::string mobile = "13800000000";
    const bool ok = Web_VerifyCode(&mobile, &error);
    return std::make_pair(ok, error.code);
  };
  {
    SettingsScope scope({url, 2000, 30000});
    std::vector<std::future<std::pair<bool, std::string>>> running;
    for (int i = 0; i < 3; ++i) running.push_back(std::async(std::launch::async, call));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point cancelled = Clock::now();
    Web_CancelCalls();
    for (auto& one : running) {
      ASSERT_EQ(one.wait_for(std::chrono::seconds(5)), std::future_status::ready);
      EXPECT_EQ(one.get(), std::make_pair(false, std::string("20000")));
    }
    EXPECT_LT(Clock::now() - cancelled, std::chrono::milliseconds(1500));
  }
  SettingsScope scope({url, 2000, 1000});
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(call().first);
  EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(900));  // its own time-out, not the cancel
  close(silent);
}

}  // namespace
