// Every operation against the service stand-in: the arguments arrive as sent, the outs are filled,
// and a refusal or an unreadable answer leaves the outs untouched with the right code.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "WebTestService.h"

using nlohmann::json;
using namespace webtest;

namespace {

// State shared by the rows: what earlier rows made.
struct Scene {
  JorvelUserInfo owner, client, other, fresh;
  std::string freshPassword = "first", token, nick, otherMemberId;
  TeamRecord team;
  CloudStation station;
  JorvelCase item;
  DiagnosticRecord order;
  PayOrderRecord payment;
};

struct Row {
  std::string operation;
  const JorvelUserInfo* as;                // logged in for the call; null: nobody
  std::function<bool(WebError*)> call;     // makes the call, writing its outs
  std::function<json()> args;              // what the service must have received
  std::function<bool()> filled;            // the outs hold an answer (null: the call has none)
  std::function<void()> reset;             // empties the outs
};

template <class T>
bool Set(const T& value) {
  return json(value) != json(T());
}

class WebRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    Service();
    s.owner = NewUser("owner");
    s.client = NewUser("client");
    s.other = NewUser("other");
    Service().Admin("AddPublicCase", {{"case", JorvelCase{0, "MR", "Head", "Glioma", "mass", "tumour"}}});
    Service().Admin("SetUpdate", {{"info", UpdateInfo{"2.0", "setup.exe", "abc", "http://x/setup.exe", "New!"}}});
    BuildRows();
  }
  void TearDown() override { GetJorvel()->Logout(); }

  void Become(const JorvelUserInfo* user) {
    const JorvelUserInfo* now = GetJorvel()->GetUserInfo();
    if (!user) {
      GetJorvel()->Logout();
    } else if (now->id != user->id) {
      ASSERT_TRUE(LoginAs(*user)) << user->userName;
    }
  }

  void BuildRows();

  Scene s;
  std::vector<Row> rows;
  // Outs of the rows, kept here so reset and filled can see them.
  JorvelUserInfo userOut;
  std::string tokenOut;
  AppTraceAnswer traceOut;
  UpdateInfo updateOut;
  CloudStation stationOut;
  std::vector<JorvelCase> casesOut;
  JorvelCase caseOut;
  TeamRecord teamOut;
  std::vector<TeamRecord> teamsOut;
  std::vector<TeamListEntry> whiteOut, blackOut;
  std::vector<JorvelUserInfo> usersOut;
  PayOrderRecord payOut;
  DiagnosticRecord orderOut;
  std::vector<DiagnosticRecord> ordersOut;
  int stampOut = 0;
  NotifyIndicator indicatorOut;
};

void WebRoundTrip::BuildRows() {
  auto none = [] {};
  std::string phone = "137" + std::to_string(10000000 + std::hash<std::string>()(s.owner.id) % 10000000);
  std::string freshName = Unique("fresh");
  DiagnosticCreateRequest create;
  create.modalities = "CT";
  create.patientName = "Zhang^San";
  create.patientID = "P1";
  create.patientSex = "M";
  create.patientAge = "045Y";
  create.studyDate = "20240102";
  create.studyUID = "1.2.3";
  create.seriesUIDs = {"1.2.3.1", "1.2.3.2"};
  create.imageCount = 42;
  create.comments = "urgent";
  DiagnosticReportRequest report{"Dr A", "Dr B", "finding", "conclusion", "1.2.3.99"};
  auto resetTeam = [this] { teamOut = TeamRecord(); };
  auto teamFilled = [this] { return !teamOut.id.empty(); };
  auto resetOrder = [this] { orderOut = DiagnosticRecord(); };
  auto orderFilled = [this] { return !orderOut.id.empty(); };
  auto resetOrders = [this] {
    ordersOut.clear();
    stampOut = -1;
  };
  auto ordersFilled = [this] { return !ordersOut.empty() && stampOut > 0; };
  auto user = [](const JorvelUserInfo& u) { return json(u); };

  rows = {
      {"VerifyCodeForRegister", nullptr, [=](WebError* e) { return Web_VerifyCodeForRegister(&phone, e); },
       [=] { return json{{"phone", phone}}; }, nullptr, none},
      {"UserRegister", nullptr,
       [=, this](WebError* e) {
         Web_VerifyCodeForRegister(&phone, nullptr);
         std::string code = Service().SmsCode(phone), pw = s.freshPassword;
         return Web_UserRegister(&freshName, &pw, &phone, &code, e);
       },
       [=, this] {
         return json{{"userName", freshName}, {"password", s.freshPassword}, {"phone", phone},
                     {"verifyCode", LastArgs("UserRegister")["verifyCode"]}};
       },
       nullptr, none},
      {"UserSearchByUserName", nullptr,
       [=, this](WebError* e) {
         bool ok = Web_UserSearchByUserName(freshName, &userOut, e);
         if (ok) s.fresh = userOut;
         return ok;
       },
       [=] { return json{{"userName", freshName}}; }, [=, this] { return userOut.userName == freshName; },
       [this] { userOut = JorvelUserInfo(); }},
      {"TokenByMobile", nullptr,
       [=, this](WebError* e) {
         Web_VerifyCode(&phone, nullptr);
         std::string code = Service().SmsCode(phone);
         bool ok = Web_TokenByMobile(&phone, &code, &userOut, &tokenOut, e);
         if (ok) s.token = tokenOut;
         return ok;
       },
       [=] { return json{{"mobile", phone}, {"code", LastArgs("TokenByMobile")["code"]}}; },
       [=, this] { return userOut.userName == freshName && !tokenOut.empty(); },
       [this] {
         userOut = JorvelUserInfo();
         tokenOut.clear();
       }},
      {"PasswordUpdate", nullptr,
       [this](WebError* e) {
         std::string pw = "second";
         return Web_PasswordUpdate(&s.token, &pw, e);
       },
       [this] { return json{{"token", s.token}, {"password", "second"}}; }, nullptr, none},
      {"Feedback", nullptr,
       [](WebError* e) {
         std::string text = "很好用";
         return Web_Feedback(&text, e);
       },
       [] { return json{{"text", "很好用"}}; }, nullptr, none},
      {"AppTrace", nullptr,
       [this](WebError* e) {
         AppTraceRequest request{"Orvanta", "1.4.0.0316", "3"};
         return Web_AppTrace(&request, &traceOut, e);
       },
       [] { return json{{"request", AppTraceRequest{"Orvanta", "1.4.0.0316", "3"}}}; },
       [this] { return traceOut.noticeType == "msg"; }, [this] { traceOut = AppTraceAnswer(); }},
      {"UpdateCheck", nullptr,
       [this](WebError* e) {
         std::string product = "Orvanta", version = "1.4.0.0316";
         return Web_UpdateCheck(&product, &version, &updateOut, e);
       },
       [] { return json{{"product", "Orvanta"}, {"version", "1.4.0.0316"}}; },
       [this] { return updateOut.fileName == "setup.exe" && updateOut.url == "http://x/setup.exe"; },
       [this] { updateOut = UpdateInfo(); }},
      {"GetPublicCase", nullptr, [this](WebError* e) { return Web_GetPublicCase(&casesOut, e); },
       [] { return json::object(); }, [this] { return !casesOut.empty() && casesOut[0].caseName == "Glioma"; },
       [this] { casesOut.clear(); }},

      {"UpdateNickName", &s.owner,
       [this](WebError* e) {
         s.nick = Unique("王医生");
         return GetJorvel()->UpdateNickName(&s.nick, e);
       },
       [this] { return json{{"nickName", s.nick}}; },
       [this] { return GetJorvel()->GetUserInfo()->nickName == s.nick; }, none},
      {"GetCloudStation", &s.owner,
       [this](WebError* e) {
         bool ok = Web_GetCloudStation(&stationOut, e);
         if (ok) s.station = stationOut;
         return ok;
       },
       [] { return json::object(); }, [this] { return !stationOut.stationKey.empty(); },
       [this] { stationOut = CloudStation(); }},
      {"EnableCloudStation", &s.owner, [this](WebError* e) { return Web_EnableCloudStation(true, &stationOut, e); },
       [] { return json{{"on", true}}; }, [this] { return stationOut.enabled; },
       [this] { stationOut = CloudStation(); }},
      {"SearchCloudStation", &s.client,
       [this](WebError* e) { return Web_SearchCloudStation(s.station.stationID, &stationOut, e); },
       [this] { return json{{"code", s.station.stationID}}; },
       [this] { return stationOut.stationKey == s.station.stationKey && stationOut.enabled; },
       [this] { stationOut = CloudStation(); }},
      {"PrivateCaseAdd", &s.owner,
       [this](WebError* e) {
         caseOut = JorvelCase{0, "CT", "Chest", "Nodule", "6 mm", "benign"};
         bool ok = Web_PrivateCaseAdd(&caseOut, e);
         if (ok) s.item = caseOut;
         return ok;
       },
       [] { return json{{"case", JorvelCase{0, "CT", "Chest", "Nodule", "6 mm", "benign"}}}; },
       [this] { return caseOut.id != 0; }, [this] { caseOut.id = 0; }},
      {"PrivateCaseUpdate", &s.owner,
       [this](WebError* e) {
         caseOut = s.item;
         caseOut.finding = "7 mm";
         return Web_PrivateCaseUpdate(&caseOut, e);
       },
       [this] {
         JorvelCase sent = s.item;
         sent.finding = "7 mm";
         return json{{"case", sent}};
       },
       nullptr, none},  // in and out: GetPrivateCase shows the change
      {"GetPrivateCase", &s.owner, [this](WebError* e) { return Web_GetPrivateCase(&casesOut, e); },
       [] { return json::object(); },
       [this] { return casesOut.size() == 1 && casesOut[0].finding == "7 mm"; }, [this] { casesOut.clear(); }},
      {"PrivateCaseDelete", &s.owner, [this](WebError* e) { return Web_PrivateCaseDelete(&s.item, e); },
       [this] {
         JorvelCase sent = s.item;
         return json{{"case", sent}};
       },
       nullptr, none},

      {"TeamCreate", &s.owner,
       [this](WebError* e) {
         Web_VerifyCode(&s.owner.mobile, nullptr);
         bool ok = Web_TeamCreate("Chest team", "we read chests", s.owner.mobile, Service().SmsCode(s.owner.mobile),
                                  &teamOut, e);
         if (ok) s.team = teamOut;
         return ok;
       },
       [this] {
         return json{{"name", "Chest team"}, {"description", "we read chests"}, {"mobile", s.owner.mobile},
                     {"code", LastArgs("TeamCreate")["code"]}};
       },
       [=, this] { return teamFilled() && teamOut.owner.id == s.owner.id && teamOut.members.size() == 1; },
       resetTeam},
      {"TeamSearch", &s.client, [this](WebError* e) { return Web_TeamSearch(s.team.sid, &teamOut, e); },
       [this] { return json{{"text", s.team.sid}}; }, [this] { return teamOut.id == s.team.id; }, resetTeam},
      {"TeamUpdateName", &s.owner, [this](WebError* e) { return Web_TeamUpdateName(s.team.id, "Lungs", &teamOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"value", "Lungs"}}; },
       [this] { return teamOut.name == "Lungs"; }, resetTeam},
      {"TeamUpdateDesc", &s.owner, [this](WebError* e) { return Web_TeamUpdateDesc(s.team.id, "d", &teamOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"value", "d"}}; },
       [this] { return teamOut.description == "d"; }, resetTeam},
      {"TeamUpdateInstName", &s.owner,
       [this](WebError* e) { return Web_TeamUpdateInstName(s.team.id, "City Hospital", &teamOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"value", "City Hospital"}}; },
       [this] { return teamOut.institutionName == "City Hospital"; }, resetTeam},
      {"TeamUpdateType", &s.owner,
       [this](WebError* e) { return Web_TeamUpdateType(s.team.id, "PUBLIC", &teamOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"value", "PUBLIC"}}; },
       [this] { return teamOut.serviceType == "PUBLIC"; }, resetTeam},
      {"UserSearch", &s.owner, [this](WebError* e) { return Web_UserSearch(s.other.userName, &usersOut, e); },
       [this] { return json{{"text", s.other.userName}}; },
       [this] { return usersOut.size() == 1 && usersOut[0].id == s.other.id; }, [this] { usersOut.clear(); }},
      {"TeamMemberAdd", &s.owner,
       [this](WebError* e) {
         std::vector<JorvelUserInfo> users{s.other};
         bool ok = Web_TeamMemberAdd(s.team.id, &users, &teamOut, e);
         if (ok) s.otherMemberId = teamOut.members.back().id;
         return ok;
       },
       [=, this] { return json{{"teamId", s.team.id}, {"users", {user(s.other)}}}; },
       [this] { return teamOut.members.size() == 2 && teamOut.members[1].user.id == s.other.id; }, resetTeam},
      {"MemberSetSignedName", &s.owner,
       [this](WebError* e) { return Web_MemberSetSignedName(s.team.members[0].id, "Dr Owner", &teamOut, e); },
       [this] { return json{{"memberId", s.team.members[0].id}, {"signedName", "Dr Owner"}}; },
       [this] { return !teamOut.members.empty() && teamOut.members[0].signedName == "Dr Owner"; }, resetTeam},
      {"MemberSetPermission", &s.owner,
       [this](WebError* e) { return Web_MemberSetPermission(s.otherMemberId, true, false, &teamOut, e); },
       [this] { return json{{"memberId", s.otherMemberId}, {"editPermit", true}, {"verifyPermit", false}}; },
       [this] { return teamOut.members.size() == 2 && teamOut.members[1].editPermit && !teamOut.members[1].verifyPermit; },
       resetTeam},
      {"TeamMemberDeleteByIds", &s.owner,
       [this](WebError* e) { return Web_TeamMemberDeleteByIds(s.team.id, {s.other.id}, &teamOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"userIds", {s.other.id}}}; },
       [=, this] { return teamFilled() && teamOut.members.size() == 1; }, resetTeam},
      {"TeamWhiteListAdd", &s.owner,
       [this](WebError* e) { return Web_TeamWhiteListAdd(s.team.id, &s.client, &whiteOut, e); },
       [=, this] { return json{{"teamId", s.team.id}, {"user", user(s.client)}}; },
       [this] { return whiteOut.size() == 1 && whiteOut[0].user.id == s.client.id; }, [this] { whiteOut.clear(); }},
      {"TeamBlackListAdd", &s.owner,
       [this](WebError* e) { return Web_TeamBlackListAdd(s.team.id, &s.other, &blackOut, e); },
       [=, this] { return json{{"teamId", s.team.id}, {"user", user(s.other)}}; },
       [this] { return blackOut.size() == 1 && blackOut[0].user.id == s.other.id; }, [this] { blackOut.clear(); }},
      {"TeamWhiteBlackList", &s.owner,
       [this](WebError* e) { return Web_TeamWhiteBlackList(s.team.id, &whiteOut, &blackOut, e); },
       [this] { return json{{"teamId", s.team.id}}; },
       [this] { return whiteOut.size() == 1 && blackOut.size() == 1; },
       [this] {
         whiteOut.clear();
         blackOut.clear();
       }},
      {"TeamBlackListDelete", &s.owner,
       [this](WebError* e) {
         blackOut = {TeamListEntry()};
         return Web_TeamBlackListDelete(s.team.id, &s.other, &blackOut, e);
       },
       [=, this] { return json{{"teamId", s.team.id}, {"user", user(s.other)}}; },
       [this] { return blackOut.empty(); }, none},
      {"TeamWhiteListDelete", &s.owner,
       [this](WebError* e) {
         whiteOut = {TeamListEntry()};
         return Web_TeamWhiteListDelete(s.team.id, &s.client, &whiteOut, e);
       },
       [=, this] { return json{{"teamId", s.team.id}, {"user", user(s.client)}}; },
       [this] { return whiteOut.empty(); }, none},
      {"TeamListOfMine", &s.owner, [this](WebError* e) { return Web_TeamListOfMine(&teamsOut, e); },
       [] { return json::object(); }, [this] { return teamsOut.size() == 1 && teamsOut[0].id == s.team.id; },
       [this] { teamsOut.clear(); }},
      {"PayOrvantaTeam", &s.owner,
       [this](WebError* e) {
         bool ok = Web_PayOrvantaTeam(s.team.id, "50", &payOut, e);
         if (ok) s.payment = payOut;
         return ok;
       },
       [this] { return json{{"teamId", s.team.id}, {"amount", "50"}}; },
       [this] { return !payOut.tradeNo.empty() && payOut.fee == "50" && !payOut.qrText.empty(); },
       [this] { payOut = PayOrderRecord(); }},
      {"PayStatusOrvantaTeam", &s.owner,
       [this](WebError* e) {
         Service().Admin("MarkPaid", {{"tradeNo", s.payment.tradeNo}});
         return Web_PayStatusOrvantaTeam(s.payment.tradeNo, s.team.id, &teamOut, e);
       },
       [this] { return json{{"tradeNo", s.payment.tradeNo}, {"teamId", s.team.id}}; },
       [this] { return teamOut.totalAmount == "50"; }, resetTeam},

      {"DiagnosticCreate", &s.client,
       [=, this](WebError* e) {
         DiagnosticCreateRequest request = create;
         request.teamId = s.team.id;
         bool ok = Web_DiagnosticCreate(&request, &orderOut, e);
         if (ok) s.order = orderOut;
         return ok;
       },
       [=, this] {
         DiagnosticCreateRequest request = create;
         request.teamId = s.team.id;
         return json{{"request", request}};
       },
       [=, this] {
         return orderFilled() && orderOut.state == "NEW" && !orderOut.orderNumber.empty() &&
                orderOut.study.seriesUIDs.size() == 2 && orderOut.patientAge == "045Y" && orderOut.team.id == s.team.id;
       },
       resetOrder},
      {"DiagnosticActivate", &s.client, [this](WebError* e) { return Web_DiagnosticActivate(s.order.id, &orderOut, e); },
       [this] { return json{{"id", s.order.id}}; },
       [this] { return orderOut.state == "WAITING" && orderOut.study.transferStatus == "COMPLETED"; }, resetOrder},
      {"DiagnosticListOfMy", &s.client,
       [this](WebError* e) { return Web_DiagnosticListOfMy(&ordersOut, "", 20, &stampOut, e); },
       [] { return json{{"startId", ""}, {"count", 20}}; }, ordersFilled, resetOrders},
      {"DiagnosticUpdatedListOfMy", &s.client,
       [this](WebError* e) { return Web_DiagnosticUpdatedListOfMy(&ordersOut, s.order.id, 0, &stampOut, e); },
       [this] { return json{{"lastId", s.order.id}, {"stamp", 0}}; }, ordersFilled, resetOrders},
      {"GetNotifyIndicator", &s.client, [this](WebError* e) { return Web_GetNotifyIndicator(&indicatorOut, e); },
       [] { return json::object(); },
       [this] { return indicatorOut.userId == s.client.id && indicatorOut.myOrders >= 2; },
       [this] { indicatorOut = NotifyIndicator(); }},
      {"DiagnosticListOfTeam", &s.owner,
       [this](WebError* e) { return Web_DiagnosticListOfTeam(s.team.id, &ordersOut, s.order.id, 5, &stampOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"startId", s.order.id}, {"count", 5}}; }, ordersFilled,
       resetOrders},
      {"DiagnosticUpdatedListOfTeam", &s.owner,
       [this](WebError* e) { return Web_DiagnosticUpdatedListOfTeam(s.team.id, &ordersOut, "", 1, &stampOut, e); },
       [this] { return json{{"teamId", s.team.id}, {"lastId", ""}, {"stamp", 1}}; }, ordersFilled, resetOrders},
      {"DiagnosticLock", &s.owner, [this](WebError* e) { return Web_DiagnosticLock(s.order.id, &orderOut, e); },
       [this] { return json{{"id", s.order.id}}; },
       [this] { return orderOut.locked && orderOut.lockOwner.id == s.owner.id && orderOut.state == "PROCESSING"; },
       resetOrder},
      {"DiagnosticUnLock", &s.owner, [this](WebError* e) { return Web_DiagnosticUnLock(s.order.id, &orderOut, e); },
       [this] { return json{{"id", s.order.id}}; }, [=, this] { return orderFilled() && !orderOut.locked; },
       resetOrder},
      {"DiagnosticReport", &s.owner,
       [=, this](WebError* e) { return Web_DiagnosticReport(s.order.id, &report, &orderOut, e); },
       [=, this] { return json{{"id", s.order.id}, {"request", report}}; },
       [this] {
         return orderOut.state == "REPORTED" && orderOut.reportFinding == "finding" &&
                orderOut.reportAuthorName == "Dr A" && orderOut.study.reportSeriesUID == "1.2.3.99" &&
                orderOut.reportTime == std::to_string(orderOut.reportUpdatedTime);
       },
       resetOrder},
      {"DiagnosticVerify", &s.owner,
       [=, this](WebError* e) { return Web_DiagnosticVerify(s.order.id, &report, &orderOut, e); },
       [=, this] { return json{{"id", s.order.id}, {"request", report}}; },
       [this] { return orderOut.state == "VERIFIED" && orderOut.verifyConclusion == "conclusion"; }, resetOrder},
      {"DiagnosticRevise", &s.owner,
       [=, this](WebError* e) { return Web_DiagnosticRevise(s.order.id, &report, &orderOut, e); },
       [=, this] { return json{{"id", s.order.id}, {"request", report}}; },
       [this] { return orderOut.state == "REVISED" && orderOut.reviseFinding == "finding"; }, resetOrder},
      {"DiagnosticHaReceive", &s.client,
       [this](WebError* e) { return Web_DiagnosticHaReceive(s.order.id, &orderOut, e); },
       [this] { return json{{"id", s.order.id}}; }, [this] { return orderOut.reportReceived; }, resetOrder},
      {"DiagnosticCancel", &s.client,
       [=, this](WebError* e) {
         DiagnosticCreateRequest request = create;
         request.teamId = s.team.id;
         DiagnosticRecord second;
         Web_DiagnosticCreate(&request, &second, nullptr);
         s.order = second;
         return Web_DiagnosticCancel(second.id, &orderOut, e);
       },
       [this] { return json{{"id", s.order.id}}; }, [this] { return orderOut.state == "CANCELLED"; }, resetOrder},
  };
}

TEST_F(WebRoundTrip, EveryOperationCarriesItsArgumentsAndFillsItsOuts) {
  for (Row& row : rows) {
    SCOPED_TRACE(row.operation);
    Become(row.as);
    row.reset();
    WebError error;
    ASSERT_TRUE(row.call(&error)) << error.code << " " << error.message;
    EXPECT_EQ(LastArgs(row.operation), row.args());
    if (row.filled) {
      EXPECT_TRUE(row.filled());
    }
  }
  // The fresh account's password was changed through the reset token.
  EXPECT_FALSE(GetJorvel()->Login(s.fresh.userName.c_str(), "first", nullptr));
  EXPECT_TRUE(GetJorvel()->Login(s.fresh.userName.c_str(), "second", nullptr));
}

TEST_F(WebRoundTrip, RefusalsAndUnreadableAnswersLeaveTheOutsAlone) {
  // First the real road, so that every row has what it needs.
  for (Row& row : rows) {
    Become(row.as);
    ASSERT_TRUE(row.call(nullptr)) << row.operation;
  }
  struct Case {
    const char* body;
    const char* code;
    bool onlyWithOuts;
  } cases[] = {
      {R"({"ok":false,"error":{"code":"10018","message":"gone"}})", "10018", false},
      {R"({"ok":false,"error":{"code":10021}})", "10021", false},  // numeric codes pass as text
      {R"({"ok":false})", "20003", false},
      {"<html>not json</html>", "20003", false},
      {R"({"ok":"yes"})", "20003", false},
      {R"({"ok":true})", "20003", true},  // an answer without its outs
      {R"({"ok":true,"record":17,"team":[],"station":"x","cases":{},"case":[],"user":1,"users":{},"teams":1,
           "list":0,"white":0,"black":0,"order":0,"records":0,"stamp":"x","indicator":0,"answer":0,"info":0,
           "token":0})",
       "20003", true},
  };
  for (const Case& c : cases) {
    for (Row& row : rows) {
      if (c.onlyWithOuts && !row.filled) continue;
      SCOPED_TRACE(row.operation + " <- " + c.body);
      Become(row.as);
      row.reset();
      Service().Admin("ScriptNext", {{"operation", row.operation}, {"body", c.body}});
      WebError error;
      EXPECT_FALSE(row.call(&error));
      EXPECT_EQ(error.code, c.code);
      if (row.filled) {
        EXPECT_FALSE(row.filled());
      }
    }
  }
}

}  // namespace
