// The session: login state, its notifications, the user record's lifetime, time-outs and calls
// from many threads while the session changes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "WebTestService.h"

using namespace webtest;

namespace {

// Counts the notifications and checks that the client can be asked from inside them.
class Recorder : public IJorvelCallback {
 public:
  void OnLogin(int) override {
    ++logins;
    loggedInWhenTold = GetJorvel()->IsLoggedIn();
    nameWhenTold = GetJorvel()->GetUserInfo()->userName;
  }
  void OnLogout() override {
    ++logouts;
    loggedInWhenTold = GetJorvel()->IsLoggedIn();
  }
  std::atomic<int> logins{0}, logouts{0};
  bool loggedInWhenTold = false;
  std::string nameWhenTold;
};

TEST(WebSession, LoginStateIsToldOncePerChange) {
  Service();
  JorvelUserInfo first = NewUser("first"), second = NewUser("second");
  Recorder recorder;
  IJorvel* client = GetJorvel();
  client->AddCallback(&recorder);
  client->AddCallback(&recorder);  // no duplicates

  EXPECT_FALSE(client->IsLoggedIn());
  ASSERT_NE(client->GetUserInfo(), nullptr);
  EXPECT_TRUE(client->GetUserInfo()->id.empty());

  WebError error;
  EXPECT_FALSE(client->Login(first.userName.c_str(), "wrong", &error));
  EXPECT_EQ(error.code, "10015");
  EXPECT_EQ(recorder.logins, 0);

  ASSERT_TRUE(LoginAs(first));
  EXPECT_EQ(recorder.logins, 1);
  EXPECT_TRUE(recorder.loggedInWhenTold);
  EXPECT_EQ(recorder.nameWhenTold, first.userName);
  const JorvelUserInfo* firstRecord = client->GetUserInfo();
  EXPECT_EQ(firstRecord->id, first.id);
  EXPECT_EQ(firstRecord->nickName, first.nickName);

  // A second login replaces the session; the first record stays readable.
  ASSERT_TRUE(LoginAs(second));
  EXPECT_EQ(recorder.logouts, 1);
  EXPECT_EQ(recorder.logins, 2);
  EXPECT_EQ(client->GetUserInfo()->id, second.id);
  EXPECT_EQ(firstRecord->userName, first.userName);

  std::string nick = "新名字";
  ASSERT_TRUE(client->UpdateNickName(&nick, &error));
  EXPECT_EQ(client->GetUserInfo()->nickName, nick);

  client->Logout();
  EXPECT_EQ(recorder.logouts, 2);
  EXPECT_FALSE(recorder.loggedInWhenTold);
  EXPECT_FALSE(client->IsLoggedIn());
  EXPECT_TRUE(client->GetUserInfo()->id.empty());
  client->Logout();
  EXPECT_EQ(recorder.logouts, 2);

  // Logged out, the service refuses what needs a session.
  EXPECT_FALSE(Web_GetNotifyIndicator(nullptr, &error));
  EXPECT_EQ(error.code, "10020");
  EXPECT_FALSE(client->UpdateNickName(&nick, &error));

  client->RemoveCallback(&recorder);
  ASSERT_TRUE(LoginAs(first));
  client->Logout();
  EXPECT_EQ(recorder.logins, 2);
  EXPECT_EQ(recorder.logouts, 2);
}

// Text in a legacy code page that slipped through unconverted must not bring the program down.
TEST(WebSession, TextThatIsNotUtf8IsSentWithReplacementCharacters) {
  Service();
  std::string text = "\xd6\xd0\xce\xc4 ok";  // GB18030 bytes
  WebError error;
  ASSERT_TRUE(Web_Feedback(&text, &error)) << error.code << " " << error.message;
  EXPECT_EQ(LastArgs("Feedback")["text"], "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD ok");
}

TEST(WebSession, SilentServiceGivesNetworkCodeWithinTheTimeout) {
  ConsultFixture& service = Service();
  Web_SetSettings({service.BaseUrl(), 1000, 1000});
  service.Admin("SetDelay", {{"ms", 2000}});
  auto start = std::chrono::steady_clock::now();
  WebError error;
  std::vector<JorvelCase> cases;
  EXPECT_FALSE(Web_GetPublicCase(&cases, &error));
  auto took = std::chrono::steady_clock::now() - start;
  service.Admin("SetDelay", {{"ms", 0}});
  EXPECT_EQ(error.code, "20000");
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  Service();  // back to the usual settings
}

// Eight threads call while another logs in and out: every call either succeeds or is refused for
// want of a session, and every user record read is whole.
TEST(WebSession, CallsFromManyThreadsWhileTheSessionChanges) {
  Service();
  JorvelUserInfo a = NewUser("alpha"), b = NewUser("beta");
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0}, unexpected{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 8; ++t) {
    callers.emplace_back([&, t] {
      while (!stop) {
        WebError error;
        NotifyIndicator indicator;
        bool ok = (t % 2) ? Web_GetNotifyIndicator(&indicator, &error) : Web_GetCloudStation(nullptr, &error);
        if (!ok && error.code != "10020") ++unexpected;
        JorvelUserInfo copy = *GetJorvel()->GetUserInfo();
        if (!copy.id.empty() && copy.id != a.id && copy.id != b.id) ++unexpected;
        ++calls;
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    EXPECT_TRUE(LoginAs(round % 2 ? a : b));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    GetJorvel()->Logout();
  }
  stop = true;
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_GT(calls, 8);
}

}  // namespace
