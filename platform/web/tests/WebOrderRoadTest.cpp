// The order's road on the service stand-in, with the refusals along it, the change counters and
// the paging of the lists.

#include <gtest/gtest.h>

#include "WebTestService.h"

using namespace webtest;

namespace {

class WebOrderRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    Service();
    owner = NewUser("owner");
    reporter = NewUser("reporter");
    verifier = NewUser("verifier");
    client = NewUser("client");
    stranger = NewUser("stranger");
    As(owner);
    Web_VerifyCode(&owner.mobile, nullptr);
    ASSERT_TRUE(Web_TeamCreate("Team", "", owner.mobile, Service().SmsCode(owner.mobile), &team, &error));
    std::vector<JorvelUserInfo> members{reporter, verifier};
    ASSERT_TRUE(Web_TeamMemberAdd(team.id, &members, &team, &error));
    ASSERT_TRUE(Web_MemberSetPermission(team.members[1].id, true, false, &team, &error));
    ASSERT_TRUE(Web_MemberSetPermission(team.members[2].id, false, true, &team, &error));
    ASSERT_TRUE(Web_MemberSetSignedName(team.members[2].id, "Dr Verifier", &team, &error));
    request.teamId = team.id;
    request.patientName = "Li^Si";
    request.studyUID = "1.2.840.1";
    request.seriesUIDs = {"1.2.840.1.1"};
    request.imageCount = 12;
  }
  void TearDown() override {
    Service().Admin("SetClock", {{"now", 0}});
    GetJorvel()->Logout();
  }

  void As(const JorvelUserInfo& user) { ASSERT_TRUE(LoginAs(user)) << user.userName; }

  // The refusal code of a call, or "" when it succeeded.
  template <class Call>
  std::string Refusal(Call call) {
    WebError e;
    return call(&e) ? std::string() : e.code;
  }

  NotifyIndicator Counters(const JorvelUserInfo& user) {
    As(user);
    NotifyIndicator indicator;
    EXPECT_TRUE(Web_GetNotifyIndicator(&indicator, &error));
    return indicator;
  }

  JorvelUserInfo owner, reporter, verifier, client, stranger;
  TeamRecord team;
  DiagnosticCreateRequest request;
  DiagnosticRecord order;
  WebError error;
};

TEST_F(WebOrderRoad, OrderGoesFromCreationToReceiptAndRefusesWrongSteps) {
  const DiagnosticReportRequest text{"Author", "Checker", "finding", "conclusion", "1.2.840.1.99"};
  auto report = [&](const char* kind) {
    return [&, kind](WebError* e) {
      std::string k = kind;
      if (k == "report") return Web_DiagnosticReport(order.id, &text, &order, e);
      if (k == "verify") return Web_DiagnosticVerify(order.id, &text, &order, e);
      return Web_DiagnosticRevise(order.id, &text, &order, e);
    };
  };
  auto simple = [&](bool (*call)(std::string, DiagnosticRecord*, WebError*)) {
    return [&, call](WebError* e) { return call(order.id, &order, e); };
  };

  // A private team takes orders from its white list only.
  As(owner);
  ASSERT_TRUE(Web_TeamUpdateType(team.id, "PRIVATE", &team, &error));
  As(client);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&request, &order, e); }), "10020");
  As(owner);
  ASSERT_TRUE(Web_TeamWhiteListAdd(team.id, &client, nullptr, &error));
  NotifyIndicator clientBefore = Counters(client), reporterBefore = Counters(reporter);

  As(client);
  ASSERT_TRUE(Web_DiagnosticCreate(&request, &order, &error)) << error.code;
  EXPECT_EQ(order.state, "NEW");
  EXPECT_EQ(order.creator.id, client.id);
  EXPECT_FALSE(order.study.transferKey.empty());
  EXPECT_FALSE(order.study.aeTitle.empty());
  EXPECT_NE(order.study.port, 0);
  EXPECT_GT(Counters(client).myOrders, clientBefore.myOrders);
  EXPECT_GT(Counters(reporter).teamOrders, reporterBefore.teamOrders);

  As(reporter);
  EXPECT_EQ(Refusal(report("report")), "10020");  // not activated yet
  As(client);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticActivate)), "");
  EXPECT_EQ(order.state, "WAITING");
  EXPECT_EQ(order.study.transferStatus, "COMPLETED");
  EXPECT_EQ(Refusal(simple(Web_DiagnosticActivate)), "10020");  // only once

  As(stranger);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticLock)), "10020");  // not in the team
  As(reporter);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticLock)), "");
  EXPECT_EQ(order.state, "PROCESSING");
  EXPECT_EQ(order.lockOwner.id, reporter.id);
  EXPECT_EQ(Refusal(report("verify")), "10020");  // no verify permission
  As(verifier);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticLock)), "10020");    // another's lock
  EXPECT_EQ(Refusal(simple(Web_DiagnosticUnLock)), "10020");  // only its holder frees it

  Service().Admin("SetClock", {{"now", 1700000000}});
  As(reporter);
  EXPECT_EQ(Refusal(report("report")), "");
  EXPECT_EQ(order.state, "REPORTED");
  EXPECT_EQ(order.reportTime, "1700000000");
  EXPECT_EQ(order.reportUpdatedTime, 1700000000);
  EXPECT_EQ(order.reporter.id, reporter.id);
  EXPECT_EQ(order.reportAuthorName, "Author");
  EXPECT_EQ(order.reportVerifierName, "Checker");
  EXPECT_EQ(order.study.reportSeriesUID, "1.2.840.1.99");
  EXPECT_EQ(Refusal(simple(Web_DiagnosticUnLock)), "");
  EXPECT_FALSE(order.locked);

  As(verifier);
  EXPECT_EQ(Refusal(report("revise")), "10020");  // not verified yet
  Service().Admin("SetClock", {{"now", 1700000100}});
  EXPECT_EQ(Refusal(report("verify")), "");
  EXPECT_EQ(order.state, "VERIFIED");
  EXPECT_EQ(order.verifyTime, "1700000100");
  EXPECT_EQ(order.verifierSignedName, "Dr Verifier");
  As(client);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticHaReceive)), "");
  EXPECT_TRUE(order.reportReceived);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticCancel)), "10020");  // too late

  As(verifier);
  Service().Admin("SetClock", {{"now", 1700000200}});
  EXPECT_EQ(Refusal(report("revise")), "");
  EXPECT_EQ(order.state, "REVISED");
  EXPECT_EQ(order.reviseTime, std::to_string(order.reportUpdatedTime));
  EXPECT_FALSE(order.reportReceived);  // the revised report is fetched again
  EXPECT_EQ(Refusal(report("revise")), "");  // revised again

  As(client);
  EXPECT_EQ(Refusal(simple(Web_DiagnosticHaReceive)), "");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticLock("999999", &order, e); }), "10018");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticLock("x", &order, e); }), "10018");
}

TEST_F(WebOrderRoad, TeamStateAndBalanceDecideWhetherAnOrderIsTaken) {
  As(client);
  DiagnosticCreateRequest bySid = request;
  bySid.teamId.clear();
  bySid.teamSid = team.sid;  // liked teams carry only their code
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&bySid, &order, e); }), "");
  EXPECT_EQ(order.team.id, team.id);

  DiagnosticCreateRequest nowhere = request;
  nowhere.teamId = "424242";
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&nowhere, &order, e); }), "10017");

  As(owner);
  ASSERT_TRUE(Web_TeamBlackListAdd(team.id, &client, nullptr, &error));
  As(client);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&request, &order, e); }), "10020");
  As(owner);
  ASSERT_TRUE(Web_TeamBlackListDelete(team.id, &client, nullptr, &error));

  Service().Admin("SetTeam", {{"teamId", team.id}, {"state", "BLOCKED"}});
  As(client);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&request, &order, e); }), "10021");

  Service().Admin("SetTeam",
                  {{"teamId", team.id}, {"state", "NORMAL"}, {"chargeMode", "PAID"}, {"platformFee", "30"}});
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&request, &order, e); }), "10022");

  // The owner recharges: the status is refused until the payment is made, then credited once.
  As(owner);
  PayOrderRecord payment;
  ASSERT_TRUE(Web_PayOrvantaTeam(team.id, "45.5", &payment, &error));
  EXPECT_EQ(payment.fee, "45.5");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_PayStatusOrvantaTeam(payment.tradeNo, team.id, &team, e); }),
            "10020");
  Service().Admin("MarkPaid", {{"tradeNo", payment.tradeNo}});
  ASSERT_TRUE(Web_PayStatusOrvantaTeam(payment.tradeNo, team.id, &team, &error));
  ASSERT_TRUE(Web_PayStatusOrvantaTeam(payment.tradeNo, team.id, &team, &error));
  EXPECT_EQ(team.totalAmount, "45.5");
  for (const char* amount : {"", "0", "-5", "abc"})
    EXPECT_EQ(Refusal([&](WebError* e) { return Web_PayOrvantaTeam(team.id, amount, &payment, e); }), "10020")
        << amount;

  As(client);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticCreate(&request, &order, e); }), "");
  As(owner);
  ASSERT_TRUE(Web_TeamSearch(team.sid, &team, &error));
  EXPECT_EQ(team.totalAmount, "15.5");
}

TEST_F(WebOrderRoad, ListsPageNewestFirstAndGiveWhatChangedSinceAStamp) {
  As(client);
  std::vector<std::string> ids;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(Web_DiagnosticCreate(&request, &order, &error));
    ids.push_back(order.id);
  }
  std::vector<DiagnosticRecord> page;
  int stamp = 0;
  ASSERT_TRUE(Web_DiagnosticListOfMy(&page, "", 2, &stamp, &error));
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[0].id, ids[4]);
  EXPECT_EQ(page[1].id, ids[3]);
  // The next page starts below the oldest one held.
  int unused = 0;
  ASSERT_TRUE(Web_DiagnosticListOfMy(&page, std::to_string(std::stoll(ids[3]) - 1), 2, &unused, &error));
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[0].id, ids[2]);
  EXPECT_EQ(page[1].id, ids[1]);
  ASSERT_TRUE(Web_DiagnosticListOfMy(&page, ids[0], 20, &unused, &error));
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticListOfMy(&page, "12x", 2, &unused, e); }), "10020");

  // Held: the newest two. One of them changes, one older changes, one new comes.
  ASSERT_TRUE(Web_DiagnosticCancel(ids[4], &order, &error));
  ASSERT_TRUE(Web_DiagnosticCancel(ids[0], &order, &error));
  Service().Admin("SetOrderState", {{"id", ids[3]}, {"state", "REJECTED"}});
  ASSERT_TRUE(Web_DiagnosticCreate(&request, &order, &error));
  int newStamp = 0;
  ASSERT_TRUE(Web_DiagnosticUpdatedListOfMy(&page, ids[3], stamp, &newStamp, &error));
  ASSERT_EQ(page.size(), 3u);
  EXPECT_EQ(page[0].id, order.id);
  EXPECT_EQ(page[1].id, ids[4]);
  EXPECT_EQ(page[1].state, "CANCELLED");
  EXPECT_EQ(page[2].id, ids[3]);
  EXPECT_EQ(page[2].state, "REJECTED");
  EXPECT_GT(newStamp, stamp);
  ASSERT_TRUE(Web_DiagnosticUpdatedListOfMy(&page, ids[3], newStamp, &newStamp, &error));
  EXPECT_TRUE(page.empty());

  // The team sees the same orders; a stranger may not look.
  As(reporter);
  ASSERT_TRUE(Web_DiagnosticListOfTeam(team.id, &page, "", 20, &unused, &error));
  EXPECT_EQ(page.size(), 6u);
  As(stranger);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_DiagnosticListOfTeam(team.id, &page, "", 20, &unused, e); }),
            "10020");
}

TEST_F(WebOrderRoad, TeamChangesRaiseTheMembersCountersAndNeedTheOwner) {
  NotifyIndicator before = Counters(reporter);
  As(reporter);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamUpdateName(team.id, "Mine", &team, e); }), "10020");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamWhiteListAdd(team.id, &client, nullptr, e); }), "10020");
  // A member may set its own signed name.
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_MemberSetSignedName(team.members[1].id, "Dr R", &team, e); }),
            "");
  As(owner);
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamUpdateName(team.id, "", &team, e); }), "10020");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamUpdateType(team.id, "SECRET", &team, e); }), "10020");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamUpdateName("424242", "x", &team, e); }), "10017");
  EXPECT_EQ(Refusal([&](WebError* e) { return Web_TeamMemberDeleteByIds(team.id, {owner.id}, &team, e); }),
            "10020");
  ASSERT_TRUE(Web_TeamUpdateName(team.id, "Renamed", &team, &error));
  EXPECT_GT(Counters(reporter).teams, before.teams);

  // Joining a team shows its orders.
  NotifyIndicator strangerBefore = Counters(stranger);
  As(owner);
  std::vector<JorvelUserInfo> joining{stranger};
  ASSERT_TRUE(Web_TeamMemberAdd(team.id, &joining, &team, &error));
  NotifyIndicator strangerAfter = Counters(stranger);
  EXPECT_GT(strangerAfter.teams, strangerBefore.teams);
  EXPECT_GT(strangerAfter.teamOrders, strangerBefore.teamOrders);
  std::vector<TeamRecord> mine;
  ASSERT_TRUE(Web_TeamListOfMine(&mine, &error));
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].name, "Renamed");
}

}  // namespace
