// The service's operations: each sends its arguments as one JSON object and reads its outs from
// the answer (PROTOCOL.md names every member).

#include <utility>

#include "Jorvel.h"
#include "JorvelJson.h"
#include "JorvelSession.h"
#include "JorvelTransport.h"

using nlohmann::json;

namespace {

std::string Text(const std::string* text) { return text ? *text : std::string(); }

bool Send(const char* operation, const json& args, WebError* error) {
  return jorvel::Call(operation, args, jorvel::SessionToken(), error);
}

// One out, read from the answer's member key.
template <class T>
bool Ask(const char* operation, const json& args, const char* key, T* out, WebError* error) {
  return jorvel::Call(operation, args, jorvel::SessionToken(), error, [&](const json& answer) {
    T value = answer.at(key).get<T>();
    if (out) *out = std::move(value);
  });
}

// An order page: the records and the list's change stamp.
bool AskOrders(const char* operation, const json& args, std::vector<DiagnosticRecord>* records, int* stamp,
               WebError* error) {
  return jorvel::Call(operation, args, jorvel::SessionToken(), error, [&](const json& answer) {
    auto list = answer.at("records").get<std::vector<DiagnosticRecord>>();
    int newStamp = answer.at("stamp").get<int>();
    if (records) *records = std::move(list);
    if (stamp) *stamp = newStamp;
  });
}

bool AskList(const char* operation, const std::string& teamId, const JorvelUserInfo* user,
             std::vector<TeamListEntry>* list, WebError* error) {
  json args = {{"teamId", teamId}, {"user", user ? *user : JorvelUserInfo()}};
  return Ask(operation, args, "list", list, error);
}

}  // namespace

bool Web_VerifyCodeForRegister(const std::string* phone, WebError* error) {
  return Send("VerifyCodeForRegister", {{"phone", Text(phone)}}, error);
}

bool Web_UserRegister(const std::string* userName, const std::string* password, const std::string* phone,
                      const std::string* verifyCode, WebError* error) {
  json args = {{"userName", Text(userName)},
               {"password", Text(password)},
               {"phone", Text(phone)},
               {"verifyCode", Text(verifyCode)}};
  return Send("UserRegister", args, error);
}

bool Web_UserSearchByUserName(std::string userName, JorvelUserInfo* info, WebError* error) {
  return Ask("UserSearchByUserName", {{"userName", userName}}, "user", info, error);
}

bool Web_VerifyCode(const std::string* mobile, WebError* error) {
  return Send("VerifyCode", {{"mobile", Text(mobile)}}, error);
}

bool Web_TokenByMobile(const std::string* mobile, const std::string* code, JorvelUserInfo* info,
                       std::string* token, WebError* error) {
  json args = {{"mobile", Text(mobile)}, {"code", Text(code)}};
  return jorvel::Call("TokenByMobile", args, jorvel::SessionToken(), error, [&](const json& answer) {
    auto user = answer.at("user").get<JorvelUserInfo>();
    auto value = answer.at("token").get<std::string>();
    if (info) *info = std::move(user);
    if (token) *token = std::move(value);
  });
}

bool Web_PasswordUpdate(const std::string* token, const std::string* password, WebError* error) {
  return Send("PasswordUpdate", {{"token", Text(token)}, {"password", Text(password)}}, error);
}

bool Web_Feedback(const std::string* text, WebError* error) {
  return Send("Feedback", {{"text", Text(text)}}, error);
}

bool Web_AppTrace(const AppTraceRequest* request, AppTraceAnswer* answer, WebError* error) {
  return Ask("AppTrace", {{"request", request ? *request : AppTraceRequest()}}, "answer", answer, error);
}

bool Web_UpdateCheck(const std::string* product, const std::string* version, UpdateInfo* info,
                     WebError* error) {
  return Ask("UpdateCheck", {{"product", Text(product)}, {"version", Text(version)}}, "info", info, error);
}

bool Web_GetCloudStation(CloudStation* station, WebError* error) {
  return Ask("GetCloudStation", json::object(), "station", station, error);
}

bool Web_EnableCloudStation(bool on, CloudStation* station, WebError* error) {
  return Ask("EnableCloudStation", {{"on", on}}, "station", station, error);
}

bool Web_SearchCloudStation(std::string code, CloudStation* station, WebError* error) {
  return Ask("SearchCloudStation", {{"code", code}}, "station", station, error);
}

bool Web_GetPublicCase(std::vector<JorvelCase>* cases, WebError* error) {
  return Ask("GetPublicCase", json::object(), "cases", cases, error);
}

bool Web_GetPrivateCase(std::vector<JorvelCase>* cases, WebError* error) {
  return Ask("GetPrivateCase", json::object(), "cases", cases, error);
}

bool Web_PrivateCaseAdd(JorvelCase* item, WebError* error) {
  return Ask("PrivateCaseAdd", {{"case", item ? *item : JorvelCase()}}, "case", item, error);
}

bool Web_PrivateCaseDelete(const JorvelCase* item, WebError* error) {
  return Send("PrivateCaseDelete", {{"case", item ? *item : JorvelCase()}}, error);
}

bool Web_PrivateCaseUpdate(JorvelCase* item, WebError* error) {
  return Ask("PrivateCaseUpdate", {{"case", item ? *item : JorvelCase()}}, "case", item, error);
}

bool Web_DiagnosticListOfMy(std::vector<DiagnosticRecord>* records, std::string startId, int count,
                            int* stamp, WebError* error) {
  return AskOrders("DiagnosticListOfMy", {{"startId", startId}, {"count", count}}, records, stamp, error);
}

bool Web_DiagnosticUpdatedListOfMy(std::vector<DiagnosticRecord>* records, std::string lastId, int stamp,
                                   int* newStamp, WebError* error) {
  return AskOrders("DiagnosticUpdatedListOfMy", {{"lastId", lastId}, {"stamp", stamp}}, records, newStamp,
                   error);
}

bool Web_DiagnosticListOfTeam(std::string teamId, std::vector<DiagnosticRecord>* records, std::string startId,
                              int count, int* stamp, WebError* error) {
  json args = {{"teamId", teamId}, {"startId", startId}, {"count", count}};
  return AskOrders("DiagnosticListOfTeam", args, records, stamp, error);
}

bool Web_DiagnosticUpdatedListOfTeam(std::string teamId, std::vector<DiagnosticRecord>* records,
                                     std::string lastId, int stamp, int* newStamp, WebError* error) {
  json args = {{"teamId", teamId}, {"lastId", lastId}, {"stamp", stamp}};
  return AskOrders("DiagnosticUpdatedListOfTeam", args, records, newStamp, error);
}

bool Web_DiagnosticCreate(const DiagnosticCreateRequest* request, DiagnosticRecord* answer, WebError* error) {
  json args = {{"request", request ? *request : DiagnosticCreateRequest()}};
  return Ask("DiagnosticCreate", args, "record", answer, error);
}

bool Web_DiagnosticActivate(std::string id, DiagnosticRecord* answer, WebError* error) {
  return Ask("DiagnosticActivate", {{"id", id}}, "record", answer, error);
}

bool Web_DiagnosticCancel(std::string id, DiagnosticRecord* answer, WebError* error) {
  return Ask("DiagnosticCancel", {{"id", id}}, "record", answer, error);
}

bool Web_DiagnosticHaReceive(std::string id, DiagnosticRecord* answer, WebError* error) {
  return Ask("DiagnosticHaReceive", {{"id", id}}, "record", answer, error);
}

bool Web_DiagnosticLock(std::string id, DiagnosticRecord* answer, WebError* error) {
  return Ask("DiagnosticLock", {{"id", id}}, "record", answer, error);
}

bool Web_DiagnosticUnLock(std::string id, DiagnosticRecord* answer, WebError* error) {
  return Ask("DiagnosticUnLock", {{"id", id}}, "record", answer, error);
}

bool Web_DiagnosticReport(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error) {
  json args = {{"id", id}, {"request", request ? *request : DiagnosticReportRequest()}};
  return Ask("DiagnosticReport", args, "record", answer, error);
}

bool Web_DiagnosticVerify(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error) {
  json args = {{"id", id}, {"request", request ? *request : DiagnosticReportRequest()}};
  return Ask("DiagnosticVerify", args, "record", answer, error);
}

bool Web_DiagnosticRevise(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error) {
  json args = {{"id", id}, {"request", request ? *request : DiagnosticReportRequest()}};
  return Ask("DiagnosticRevise", args, "record", answer, error);
}

bool Web_GetNotifyIndicator(NotifyIndicator* indicator, WebError* error) {
  return Ask("GetNotifyIndicator", json::object(), "indicator", indicator, error);
}

bool Web_TeamListOfMine(std::vector<TeamRecord>* teams, WebError* error) {
  return Ask("TeamListOfMine", json::object(), "teams", teams, error);
}

bool Web_TeamCreate(std::string name, std::string description, std::string mobile, std::string code,
                    TeamRecord* team, WebError* error) {
  json args = {{"name", name}, {"description", description}, {"mobile", mobile}, {"code", code}};
  return Ask("TeamCreate", args, "team", team, error);
}

bool Web_TeamSearch(std::string text, TeamRecord* team, WebError* error) {
  return Ask("TeamSearch", {{"text", text}}, "team", team, error);
}

bool Web_TeamUpdateName(std::string teamId, std::string name, TeamRecord* team, WebError* error) {
  return Ask("TeamUpdateName", {{"teamId", teamId}, {"value", name}}, "team", team, error);
}

bool Web_TeamUpdateDesc(std::string teamId, std::string description, TeamRecord* team, WebError* error) {
  return Ask("TeamUpdateDesc", {{"teamId", teamId}, {"value", description}}, "team", team, error);
}

bool Web_TeamUpdateInstName(std::string teamId, std::string name, TeamRecord* team, WebError* error) {
  return Ask("TeamUpdateInstName", {{"teamId", teamId}, {"value", name}}, "team", team, error);
}

bool Web_TeamUpdateType(std::string teamId, std::string type, TeamRecord* team, WebError* error) {
  return Ask("TeamUpdateType", {{"teamId", teamId}, {"value", type}}, "team", team, error);
}

bool Web_TeamMemberAdd(std::string teamId, const std::vector<JorvelUserInfo>* users, TeamRecord* team,
                       WebError* error) {
  json args = {{"teamId", teamId}, {"users", users ? *users : std::vector<JorvelUserInfo>()}};
  return Ask("TeamMemberAdd", args, "team", team, error);
}

bool Web_TeamMemberDeleteByIds(std::string teamId, std::vector<std::string> userIds, TeamRecord* team,
                               WebError* error) {
  return Ask("TeamMemberDeleteByIds", {{"teamId", teamId}, {"userIds", userIds}}, "team", team, error);
}

bool Web_MemberSetSignedName(std::string memberId, std::string name, TeamRecord* team, WebError* error) {
  return Ask("MemberSetSignedName", {{"memberId", memberId}, {"signedName", name}}, "team", team, error);
}

bool Web_MemberSetPermission(std::string memberId, bool edit, bool verify, TeamRecord* team, WebError* error) {
  json args = {{"memberId", memberId}, {"editPermit", edit}, {"verifyPermit", verify}};
  return Ask("MemberSetPermission", args, "team", team, error);
}

bool Web_TeamWhiteBlackList(std::string teamId, std::vector<TeamListEntry>* white,
                            std::vector<TeamListEntry>* black, WebError* error) {
  return jorvel::Call("TeamWhiteBlackList", {{"teamId", teamId}}, jorvel::SessionToken(), error,
                      [&](const json& answer) {
                        auto whiteList = answer.at("white").get<std::vector<TeamListEntry>>();
                        auto blackList = answer.at("black").get<std::vector<TeamListEntry>>();
                        if (white) *white = std::move(whiteList);
                        if (black) *black = std::move(blackList);
                      });
}

bool Web_TeamWhiteListAdd(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                          WebError* error) {
  return AskList("TeamWhiteListAdd", teamId, user, list, error);
}

bool Web_TeamWhiteListDelete(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                             WebError* error) {
  return AskList("TeamWhiteListDelete", teamId, user, list, error);
}

bool Web_TeamBlackListAdd(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                          WebError* error) {
  return AskList("TeamBlackListAdd", teamId, user, list, error);
}

bool Web_TeamBlackListDelete(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                             WebError* error) {
  return AskList("TeamBlackListDelete", teamId, user, list, error);
}

bool Web_UserSearch(std::string text, std::vector<JorvelUserInfo>* users, WebError* error) {
  return Ask("UserSearch", {{"text", text}}, "users", users, error);
}

bool Web_PayOrvantaTeam(std::string teamId, std::string amount, PayOrderRecord* order, WebError* error) {
  return Ask("PayOrvantaTeam", {{"teamId", teamId}, {"amount", amount}}, "order", order, error);
}

bool Web_PayStatusOrvantaTeam(std::string tradeNo, std::string teamId, TeamRecord* team, WebError* error) {
  return Ask("PayStatusOrvantaTeam", {{"tradeNo", tradeNo}, {"teamId", teamId}}, "team", team, error);
}
