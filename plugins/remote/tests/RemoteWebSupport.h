#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ConsultFixture.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "Link.h"
#include "LinkManager.h"
#include "MServer.h"
#include "OrderObject.h"
#include "RemoteSession.h"
#include "TeamLink.h"
#include "TestSupport.h"
#include "WebError.h"

// The consultation service in process, three accounts, and login helpers that do what the
// plug-in window does at login: copy the user, reset the lists, point the poller at the user.
class RemoteWebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(service.Start(), 0);
    Web_SetSettings({service.BaseUrl(), 2000, 5000});
    // Orders point to a closed port, so transfers and report fetches fail at once.
    service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", orvanta::test::FreeLoopbackPort()}});
    service.AddUser("client", "pw", "13800000001", "Client A");
    service.AddUser("reporter", "pw", "13800000002", "Reporter B");
    service.AddUser("verifier", "pw", "13800000003", "Verifier C");
  }

  void TearDown() override {
    MServer::Instance().SetIndicatorCall(nullptr);
    MServer::Instance().Stop();
    GetJorvel()->Logout();
    RemoteSession::SetCurrentUser(JorvelUserInfo());
  }

  JorvelUserInfo Login(const std::string& name) {
    MServer::Instance().Stop();
    WebError error;
    EXPECT_TRUE(GetJorvel()->Login(name.c_str(), "pw", &error)) << error.code;
    JorvelUserInfo user = *GetJorvel()->GetUserInfo();
    RemoteSession::SetCurrentUser(user);
    MServer::Instance().SetUser(user);
    return user;
  }

  JorvelUserInfo FindUser(const std::string& text) {
    std::vector<JorvelUserInfo> users;
    WebError error;
    EXPECT_TRUE(Web_UserSearch(text, &users, &error));
    return users.empty() ? JorvelUserInfo() : users.front();
  }

  // A team created by the logged-in user with the given mobile.
  TeamRecord CreateTeam(const std::string& name, const std::string& mobile) {
    WebError error;
    EXPECT_TRUE(Web_VerifyCode(&mobile, &error));
    TeamRecord team;
    EXPECT_TRUE(Web_TeamCreate(name, "desc", mobile, service.SmsCode(mobile), &team, &error)) << error.code;
    return team;
  }

  DiagnosticRecord CreateOrder(const std::string& teamId, const std::string& studyUID) {
    DiagnosticCreateRequest request;
    request.teamId = teamId;
    request.patientID = "P1";
    request.studyUID = studyUID;
    request.seriesUIDs = {studyUID + ".1"};
    DiagnosticRecord answer;
    WebError error;
    EXPECT_TRUE(Web_DiagnosticCreate(&request, &answer, &error)) << error.code;
    return answer;
  }

  std::vector<std::string> Operations() {
    std::vector<std::string> names;
    nlohmann::json answer = service.Admin("Requests");
    for (const auto& r : answer.at("requests")) names.push_back(r.at("operation").get<std::string>());
    return names;
  }
  int Count(const std::string& operation) {
    int n = 0;
    for (const std::string& name : Operations()) n += name == operation;
    return n;
  }

  ConsultFixture service;
};

// A small CT series of patient P1 written and stored into a store (the default one unless
// another is given); returns its series.
inline orvanta::fixtures::WrittenSeries StoreLocalStudy(const std::string& studyUID,
                                                        IKelvast* store = Gossamy::LocalDB()) {
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 3;
  options.rows = options.columns = 16;
  options.patientId = "P1";
  options.studyUid = studyUID;
  options.seriesUid = studyUID + ".1";
  orvanta::fixtures::WrittenSeries series = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("study"), options);
  for (const auto& file : series.files) store->QueueFilePath(file.string().c_str());
  store->CommitQueue();
  return series;
}

// Waits (bounded) until the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Counts link events.
struct LinkEvents : ILinkCallback {
  std::mutex mutex;
  int added = 0, changed = 0, started = 0, finished = 0;
  void OnLinkChanged(Link*) override { std::lock_guard<std::mutex> g(mutex); ++changed; }
  void OnMoreStarted(Link*) override { std::lock_guard<std::mutex> g(mutex); ++started; }
  void OnMoreFinished(Link*) override { std::lock_guard<std::mutex> g(mutex); ++finished; }
  void OnOrderAdded(Link*, const std::shared_ptr<OrderObject>&) override { std::lock_guard<std::mutex> g(mutex); ++added; }
  int Finished() { std::lock_guard<std::mutex> g(mutex); return finished; }
};

// Records order events by name.
struct OrderEvents : IOrderObjectCallback {
  std::mutex mutex;
  std::vector<std::string> names;
  void Add(const char* name) { std::lock_guard<std::mutex> g(mutex); names.push_back(name); }
  void OnOrderUpdated(OrderObject*) override { Add("updated"); }
  void OnUploadFinished(OrderObject*) override { Add("upload-finished"); }
  void OnReportFetchStarted(OrderObject*) override { Add("fetch-started"); }
  void OnReportFetchFinished(OrderObject*) override { Add("fetch-finished"); }
  int Count(const std::string& name) {
    std::lock_guard<std::mutex> g(mutex);
    return static_cast<int>(std::count(names.begin(), names.end(), name));
  }
};
