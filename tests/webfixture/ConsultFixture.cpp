#include "ConsultFixture.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "JorvelJson.h"

using nlohmann::json;

namespace {

// The service's refusal codes.
constexpr const char* kUserExists = "10011";
constexpr const char* kCodeExpired = "10013";
constexpr const char* kCodeInvalid = "10014";
constexpr const char* kBadLogin = "10015";
constexpr const char* kNoTeam = "10017";
constexpr const char* kNoObject = "10018";
constexpr const char* kRefused = "10020";
constexpr const char* kTeamBlocked = "10021";
constexpr const char* kNoBalance = "10022";

constexpr int64_t kCodeLifetime = 300;  // seconds an SMS code stays valid
constexpr size_t kMaxLoggedRequests = 20000;

struct Refusal {
  std::string code;
  std::string message;
};

[[noreturn]] void Refuse(const char* code, const std::string& message) { throw Refusal{code, message}; }

struct Account {
  JorvelUserInfo info;
  std::string password;
  CloudStation station;
  std::vector<JorvelCase> cases;
  NotifyIndicator counters;
};

struct Member {
  std::string id;
  std::string userId;
  std::string signedName;
  bool edit = false;
  bool verify = false;
};

struct ListEntry {
  std::string id;
  std::string userId;
};

struct Team {
  TeamRecord record;  // owner and members are filled on the way out
  std::string ownerId;
  std::vector<Member> members;
  std::vector<ListEntry> white;
  std::vector<ListEntry> black;
};

struct Order {
  DiagnosticRecord record;  // team is filled on the way out
  std::string creatorId;
  std::string teamId;
  int changed = 0;  // the stamp of its last change
};

struct Payment {
  std::string teamId;
  long long amount = 0;
  bool paid = false;
  bool credited = false;
};

struct SentCode {
  std::string code;
  int64_t expires = 0;
};

// Amounts are kept in cents and shown as decimal text without trailing zeros.
long long ParseAmount(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') return -1;
  return static_cast<long long>(value * 100.0 + (value >= 0 ? 0.5 : -0.5));
}

std::string AmountText(long long cents) {
  char text[64];
  if (cents % 100 == 0) {
    std::snprintf(text, sizeof text, "%lld", cents / 100);
  } else {
    std::snprintf(text, sizeof text, "%lld.%02lld", cents / 100, std::llabs(cents % 100));
    if (text[std::strlen(text) - 1] == '0') text[std::strlen(text) - 1] = '\0';
  }
  return text;
}

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Str(const json& args, const char* key) {
  auto found = args.find(key);
  if (found == args.end() || found->is_null()) return std::string();
  if (!found->is_string()) Refuse(kRefused, std::string("argument ") + key + " is not a text");
  return found->get<std::string>();
}

bool Contains(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

}  // namespace

struct ConsultFixture::Impl {
  using Handler = json (Impl::*)(const std::string& userId, const json& args);
  struct Operation {
    Handler handler;
    bool needsLogin;
  };

  Impl();

  // Everything below up to the server is guarded by lock.
  std::mutex lock;
  std::map<std::string, Account> users;              // by user id
  std::map<std::string, std::string> sessions;       // token -> user id
  std::map<std::string, std::string> resetTokens;    // password reset token -> user id
  std::map<std::string, SentCode> codes;             // mobile -> last code
  std::map<std::string, Team> teams;                 // by team id
  std::map<long long, Order> orders;                 // by numeric id, oldest first
  std::map<std::string, Payment> payments;           // by trade number
  std::vector<JorvelCase> publicCases;
  std::vector<std::string> feedback;
  std::deque<json> requests;
  std::map<std::string, std::deque<std::string>> scripted;  // operation -> raw answers to give next
  AppTraceAnswer notice;
  UpdateInfo update;
  std::string nodeAeTitle = "CONSULT";
  std::string nodeHost = "127.0.0.1";
  uint16_t nodePort = 11112;
  int64_t clock = 0;  // 0: the real clock
  int stamp = 0;      // rises with every order change
  long long nextId = 0;
  std::mt19937_64 random{std::random_device{}()};
  std::map<std::string, Operation> operations;

  std::atomic<int> delayMs{0};
  httplib::Server server;
  std::thread thread;
  std::atomic<int> port{-1};

  std::string Answer(const std::string& operation, const std::string& token, const std::string& body);
  json Serve(const std::string& operation, const json& args, const std::string& userId, const std::string& token);
  json AdminCall(const std::string& name, const json& args);

  // Helpers; all run with lock held.
  int64_t Now() const { return clock ? clock : static_cast<int64_t>(std::time(nullptr)); }
  std::string NewId() { return std::to_string(++nextId); }
  std::string RandomHex(int digits) {
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < digits; ++i) text += hex[random() % 16];
    return text;
  }
  std::string RandomDigits(int digits) {
    std::string text;
    for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
  }

  Account& User(const std::string& userId) {
    auto found = users.find(userId);
    if (found == users.end()) Refuse(kNoObject, "no such user");
    return found->second;
  }
  Account* UserByName(const std::string& userName) {
    for (auto& [id, account] : users)
      if (account.info.userName == userName) return &account;
    return nullptr;
  }
  Team& RequireTeam(const std::string& teamId) {
    auto found = teams.find(teamId);
    if (found == teams.end()) Refuse(kNoTeam, "no such team");
    return found->second;
  }
  static Member* MemberOf(Team& team, const std::string& userId) {
    for (Member& m : team.members)
      if (m.userId == userId) return &m;
    return nullptr;
  }
  void RequireOwner(const Team& team, const std::string& userId) {
    if (team.ownerId != userId) Refuse(kRefused, "only the team's owner may do this");
  }
  Order& RequireOrder(const json& args) {
    std::string id = Str(args, "id");
    long long key = 0;
    try {
      key = std::stoll(id);
    } catch (const std::exception&) {
      Refuse(kNoObject, "no such order");
    }
    auto found = orders.find(key);
    if (found == orders.end()) Refuse(kNoObject, "no such order");
    return found->second;
  }
  void TakeCode(const std::string& mobile, const std::string& code) {
    auto found = codes.find(mobile);
    if (found == codes.end() || code.empty() || found->second.code != code) Refuse(kCodeInvalid, "wrong code");
    if (Now() > found->second.expires) Refuse(kCodeExpired, "the code has expired");
    codes.erase(found);
  }
  void SendCode(const std::string& mobile) {
    if (mobile.empty()) Refuse(kRefused, "no mobile number");
    codes[mobile] = SentCode{RandomDigits(6), Now() + kCodeLifetime};
  }

  TeamRecord TeamOut(const Team& team) {
    TeamRecord record = team.record;
    record.owner = users[team.ownerId].info;
    record.members.clear();
    for (const Member& m : team.members)
      record.members.push_back(MemberRecord{m.id, users[m.userId].info, m.signedName, m.edit, m.verify});
    return record;
  }
  std::vector<TeamListEntry> ListOut(Team& team, const std::vector<ListEntry>& list) {
    std::vector<TeamListEntry> out;
    for (const ListEntry& e : list) {
      Member* m = MemberOf(team, e.userId);
      out.push_back(TeamListEntry{e.id, users[e.userId].info, m ? m->signedName : std::string()});
    }
    return out;
  }
  DiagnosticRecord OrderOut(const Order& order) {
    DiagnosticRecord record = order.record;
    if (auto team = teams.find(order.teamId); team != teams.end()) record.team = TeamOut(team->second);
    return record;
  }
  json OrderAnswer(const Order& order) { return {{"record", OrderOut(order)}}; }

  // Counters: the creator's own list, the lists of the team's members.
  void TouchOrder(Order& order) {
    order.changed = ++stamp;
    if (auto u = users.find(order.creatorId); u != users.end()) ++u->second.counters.myOrders;
    if (auto t = teams.find(order.teamId); t != teams.end())
      for (const Member& m : t->second.members) ++users[m.userId].counters.teamOrders;
  }
  void TouchTeam(Team& team) {
    team.record.updatedTime = std::to_string(Now());
    for (const Member& m : team.members) ++users[m.userId].counters.teams;
  }

  json OrderList(const std::string& userId, const std::string& teamId, const json& args, bool updated);

  // Operations.
  json Login(const std::string&, const json& args) {
    Account* account = UserByName(Str(args, "user"));
    if (!account || account->password != Str(args, "password")) Refuse(kBadLogin, "wrong user or password");
    std::string token = RandomHex(32);
    sessions[token] = account->info.id;
    return {{"token", token}, {"user", account->info}};
  }
  json Logout(const std::string&, const json&) { return json::object(); }
  json UpdateNickName(const std::string& userId, const json& args) {
    std::string nick = Str(args, "nickName");
    if (nick.empty()) Refuse(kRefused, "empty nickname");
    Account& account = User(userId);
    account.info.nickName = nick;
    return {{"user", account.info}};
  }
  json VerifyCodeForRegister(const std::string&, const json& args) {
    SendCode(Str(args, "phone"));
    return json::object();
  }
  json UserRegister(const std::string&, const json& args) {
    std::string name = Str(args, "userName"), password = Str(args, "password"), phone = Str(args, "phone");
    if (name.empty() || password.empty() || phone.empty()) Refuse(kRefused, "missing user name, password or phone");
    if (UserByName(name)) Refuse(kUserExists, "the user name is taken");
    TakeCode(phone, Str(args, "verifyCode"));
    AddAccount(name, password, phone, std::string());
    return json::object();
  }
  json UserSearchByUserName(const std::string&, const json& args) {
    Account* account = UserByName(Str(args, "userName"));
    if (!account) Refuse(kNoObject, "no such user");
    return {{"user", account->info}};
  }
  json VerifyCode(const std::string&, const json& args) {
    SendCode(Str(args, "mobile"));
    return json::object();
  }
  json TokenByMobile(const std::string&, const json& args) {
    std::string mobile = Str(args, "mobile");
    TakeCode(mobile, Str(args, "code"));
    for (auto& [id, account] : users) {
      if (account.info.mobile != mobile) continue;
      std::string token = RandomHex(32);
      resetTokens[token] = id;
      return {{"user", account.info}, {"token", token}};
    }
    Refuse(kNoObject, "no user has this mobile number");
  }
  json PasswordUpdate(const std::string&, const json& args) {
    auto found = resetTokens.find(Str(args, "token"));
    if (found == resetTokens.end()) Refuse(kRefused, "unknown token");
    std::string password = Str(args, "password");
    if (password.empty()) Refuse(kRefused, "empty password");
    User(found->second).password = password;
    resetTokens.erase(found);
    return json::object();
  }
  json Feedback(const std::string&, const json& args) {
    std::string text = Str(args, "text");
    if (text.empty()) Refuse(kRefused, "empty feedback");
    feedback.push_back(text);
    return json::object();
  }
  json AppTrace(const std::string&, const json& args) {
    args.at("request").get<AppTraceRequest>();  // refused when malformed
    return {{"answer", notice}};
  }
  json UpdateCheck(const std::string&, const json& args) {
    if (update.fileName.empty() || Str(args, "version") == update.version) return {{"info", UpdateInfo()}};
    return {{"info", update}};
  }

  json GetCloudStation(const std::string& userId, const json&) { return {{"station", User(userId).station}}; }
  json EnableCloudStation(const std::string& userId, const json& args) {
    CloudStation& station = User(userId).station;
    station.enabled = args.value("on", false);
    return {{"station", station}};
  }
  json SearchCloudStation(const std::string&, const json& args) {
    std::string code = Str(args, "code");
    for (auto& [id, account] : users)
      if (!code.empty() && account.station.stationID == code) return {{"station", account.station}};
    Refuse(kNoObject, "no station has this code");
  }

  json GetPublicCase(const std::string&, const json&) { return {{"cases", publicCases}}; }
  json GetPrivateCase(const std::string& userId, const json&) { return {{"cases", User(userId).cases}}; }
  json PrivateCaseAdd(const std::string& userId, const json& args) {
    JorvelCase item = args.at("case").get<JorvelCase>();
    item.id = static_cast<int>(++nextId);
    User(userId).cases.push_back(item);
    return {{"case", item}};
  }
  JorvelCase& OwnCase(const std::string& userId, const json& args) {
    int id = args.at("case").get<JorvelCase>().id;
    for (JorvelCase& c : User(userId).cases)
      if (c.id == id) return c;
    Refuse(kNoObject, "no such case");
  }
  json PrivateCaseDelete(const std::string& userId, const json& args) {
    JorvelCase& item = OwnCase(userId, args);
    auto& cases = User(userId).cases;
    cases.erase(cases.begin() + (&item - cases.data()));
    return json::object();
  }
  json PrivateCaseUpdate(const std::string& userId, const json& args) {
    JorvelCase& item = OwnCase(userId, args);
    int id = item.id;
    item = args.at("case").get<JorvelCase>();
    item.id = id;
    return {{"case", item}};
  }

  json DiagnosticListOfMy(const std::string& userId, const json& args) {
    return OrderList(userId, std::string(), args, false);
  }
  json DiagnosticUpdatedListOfMy(const std::string& userId, const json& args) {
    return OrderList(userId, std::string(), args, true);
  }
  json DiagnosticListOfTeam(const std::string& userId, const json& args) {
    return OrderList(userId, Str(args, "teamId"), args, false);
  }
  json DiagnosticUpdatedListOfTeam(const std::string& userId, const json& args) {
    return OrderList(userId, Str(args, "teamId"), args, true);
  }
  json DiagnosticCreate(const std::string& userId, const json& args);
  json DiagnosticActivate(const std::string& userId, const json& args) {
    Order& order = CreatorOrder(userId, args, {"NEW"});
    order.record.state = "WAITING";
    order.record.study.transferStatus = "COMPLETED";
    TouchOrder(order);
    return OrderAnswer(order);
  }
  json DiagnosticCancel(const std::string& userId, const json& args) {
    Order& order = CreatorOrder(userId, args, {"NEW", "WAITING"});
    order.record.state = "CANCELLED";
    TouchOrder(order);
    return OrderAnswer(order);
  }
  json DiagnosticHaReceive(const std::string& userId, const json& args) {
    Order& order = CreatorOrder(userId, args, {"VERIFIED", "REVISED"});
    order.record.reportReceived = true;
    TouchOrder(order);
    return OrderAnswer(order);
  }
  Order& CreatorOrder(const std::string& userId, const json& args, std::initializer_list<const char*> states) {
    Order& order = RequireOrder(args);
    if (order.creatorId != userId) Refuse(kRefused, "not your order");
    RequireState(order, states);
    return order;
  }
  static void RequireState(const Order& order, std::initializer_list<const char*> states) {
    for (const char* s : states)
      if (order.record.state == s) return;
    Refuse(kRefused, "the order is " + order.record.state);
  }
  // The calling member of the order's team; refused when another member holds the lock.
  Member& TeamMember(const std::string& userId, Order& order) {
    auto team = teams.find(order.teamId);
    Member* member = team == teams.end() ? nullptr : MemberOf(team->second, userId);
    if (!member) Refuse(kRefused, "not a member of the order's team");
    if (order.record.locked && order.record.lockOwner.id != userId) Refuse(kRefused, "locked by another member");
    return *member;
  }
  json DiagnosticLock(const std::string& userId, const json& args) {
    Order& order = RequireOrder(args);
    TeamMember(userId, order);
    order.record.locked = true;
    order.record.lockOwner = User(userId).info;
    if (order.record.state == "WAITING") order.record.state = "PROCESSING";
    TouchOrder(order);
    return OrderAnswer(order);
  }
  json DiagnosticUnLock(const std::string& userId, const json& args) {
    Order& order = RequireOrder(args);
    TeamMember(userId, order);
    order.record.locked = false;
    order.record.lockOwner = JorvelUserInfo();
    TouchOrder(order);
    return OrderAnswer(order);
  }
  // Report, verification and revision: one text pair each, one time stamp that is also the
  // report's update time.
  json Write(const std::string& userId, const json& args, const char* kind) {
    Order& order = RequireOrder(args);
    Member& member = TeamMember(userId, order);
    DiagnosticReportRequest request = args.at("request").get<DiagnosticReportRequest>();
    DiagnosticRecord& r = order.record;
    int64_t now = Now();
    std::string time = std::to_string(now);
    std::string which = kind;
    if (which == "report") {
      if (!member.edit) Refuse(kRefused, "no permission to report");
      RequireState(order, {"WAITING", "PROCESSING"});
      r.state = "REPORTED";
      r.reportFinding = request.finding;
      r.reportConclusion = request.conclusion;
      r.reporter = User(userId).info;
      r.reporterSignedName = member.signedName;
      r.reportTime = time;
    } else if (which == "verify") {
      if (!member.verify) Refuse(kRefused, "no permission to verify");
      RequireState(order, {"REPORTED"});
      r.state = "VERIFIED";
      r.verifyFinding = request.finding;
      r.verifyConclusion = request.conclusion;
      r.verifier = User(userId).info;
      r.verifierSignedName = member.signedName;
      r.verifyTime = time;
    } else {
      if (!member.verify) Refuse(kRefused, "no permission to revise");
      RequireState(order, {"VERIFIED", "REVISED"});
      r.state = "REVISED";
      r.reviseFinding = request.finding;
      r.reviseConclusion = request.conclusion;
      r.reviseTime = time;
      r.reportReceived = false;  // the client fetches the revised report again
    }
    r.reportAuthorName = request.author;
    r.reportVerifierName = request.verifier;
    r.study.reportSeriesUID = request.seriesUID;
    r.reportUpdatedTime = now;
    TouchOrder(order);
    return OrderAnswer(order);
  }
  json DiagnosticReport(const std::string& userId, const json& args) { return Write(userId, args, "report"); }
  json DiagnosticVerify(const std::string& userId, const json& args) { return Write(userId, args, "verify"); }
  json DiagnosticRevise(const std::string& userId, const json& args) { return Write(userId, args, "revise"); }
  json GetNotifyIndicator(const std::string& userId, const json&) {
    NotifyIndicator indicator = User(userId).counters;
    indicator.userId = userId;
    return {{"indicator", indicator}};
  }

  json TeamListOfMine(const std::string& userId, const json&) {
    std::vector<TeamRecord> mine;
    for (auto& [id, team] : teams)
      if (MemberOf(team, userId)) mine.push_back(TeamOut(team));
    return {{"teams", mine}};
  }
  json TeamCreate(const std::string& userId, const json& args) {
    std::string name = Str(args, "name");
    if (name.empty()) Refuse(kRefused, "empty team name");
    TakeCode(Str(args, "mobile"), Str(args, "code"));
    Team team;
    team.record.id = NewId();
    team.record.sid = std::to_string(100000 + std::stoll(team.record.id));
    team.record.serviceType = "PUBLIC";
    team.record.state = "NORMAL";
    team.record.name = name;
    team.record.description = Str(args, "description");
    team.record.totalAmount = "0";
    team.record.chargeMode = "FREE";
    team.record.platformFee = "0";
    team.record.createdTime = std::to_string(Now());
    team.ownerId = userId;
    team.members.push_back(Member{NewId(), userId, std::string(), true, true});
    Team& stored = teams[team.record.id] = std::move(team);
    TouchTeam(stored);
    return {{"team", TeamOut(stored)}};
  }
  json TeamSearch(const std::string&, const json& args) {
    std::string text = Str(args, "text");
    for (auto& [id, team] : teams)
      if (!text.empty() && team.record.sid == text) return {{"team", TeamOut(team)}};
    Refuse(kNoTeam, "no team has this code");
  }
  json UpdateTeamField(const std::string& userId, const json& args, std::string TeamRecord::*field) {
    Team& team = RequireTeam(Str(args, "teamId"));
    RequireOwner(team, userId);
    std::string value = Str(args, "value");
    if (value.empty()) Refuse(kRefused, "empty value");
    if (field == &TeamRecord::serviceType && value != "PRIVATE" && value != "PUBLIC")
      Refuse(kRefused, "unknown service type");
    team.record.*field = value;
    TouchTeam(team);
    return {{"team", TeamOut(team)}};
  }
  json TeamUpdateName(const std::string& u, const json& a) { return UpdateTeamField(u, a, &TeamRecord::name); }
  json TeamUpdateDesc(const std::string& u, const json& a) {
    return UpdateTeamField(u, a, &TeamRecord::description);
  }
  json TeamUpdateInstName(const std::string& u, const json& a) {
    return UpdateTeamField(u, a, &TeamRecord::institutionName);
  }
  json TeamUpdateType(const std::string& u, const json& a) {
    return UpdateTeamField(u, a, &TeamRecord::serviceType);
  }
  json TeamMemberAdd(const std::string& userId, const json& args) {
    Team& team = RequireTeam(Str(args, "teamId"));
    RequireOwner(team, userId);
    auto added = args.at("users").get<std::vector<JorvelUserInfo>>();
    for (const JorvelUserInfo& user : added) User(user.id);  // all known before any is added
    for (const JorvelUserInfo& user : added) {
      if (MemberOf(team, user.id)) continue;
      team.members.push_back(Member{NewId(), user.id, std::string(), false, false});
      ++users[user.id].counters.teamOrders;  // the new member sees the team's orders
    }
    TouchTeam(team);
    return {{"team", TeamOut(team)}};
  }
  json TeamMemberDeleteByIds(const std::string& userId, const json& args) {
    Team& team = RequireTeam(Str(args, "teamId"));
    RequireOwner(team, userId);
    auto ids = args.at("userIds").get<std::vector<std::string>>();
    if (std::find(ids.begin(), ids.end(), team.ownerId) != ids.end()) Refuse(kRefused, "the owner stays");
    TouchTeam(team);  // the removed members learn it too
    std::erase_if(team.members,
                  [&](const Member& m) { return std::find(ids.begin(), ids.end(), m.userId) != ids.end(); });
    return {{"team", TeamOut(team)}};
  }
  std::pair<Team*, Member*> Membership(const std::string& memberId) {
    for (auto& [id, team] : teams)
      for (Member& m : team.members)
        if (m.id == memberId) return {&team, &m};
    Refuse(kNoObject, "no such member");
  }
  json MemberSetSignedName(const std::string& userId, const json& args) {
    auto [team, member] = Membership(Str(args, "memberId"));
    if (team->ownerId != userId && member->userId != userId) Refuse(kRefused, "not the owner or the member");
    member->signedName = Str(args, "signedName");
    TouchTeam(*team);
    return {{"team", TeamOut(*team)}};
  }
  json MemberSetPermission(const std::string& userId, const json& args) {
    auto [team, member] = Membership(Str(args, "memberId"));
    RequireOwner(*team, userId);
    member->edit = args.value("editPermit", false);
    member->verify = args.value("verifyPermit", false);
    TouchTeam(*team);
    return {{"team", TeamOut(*team)}};
  }
  json TeamWhiteBlackList(const std::string& userId, const json& args) {
    Team& team = RequireTeam(Str(args, "teamId"));
    if (!MemberOf(team, userId)) Refuse(kRefused, "not a member of the team");
    return {{"white", ListOut(team, team.white)}, {"black", ListOut(team, team.black)}};
  }
  json ChangeList(const std::string& userId, const json& args, std::vector<ListEntry> Team::*list, bool add) {
    Team& team = RequireTeam(Str(args, "teamId"));
    RequireOwner(team, userId);
    std::string user = args.at("user").get<JorvelUserInfo>().id;
    User(user);
    auto& entries = team.*list;
    auto found = std::find_if(entries.begin(), entries.end(), [&](const ListEntry& e) { return e.userId == user; });
    if (add && found == entries.end()) entries.push_back(ListEntry{NewId(), user});
    if (!add && found != entries.end()) entries.erase(found);
    TouchTeam(team);
    return {{"list", ListOut(team, entries)}};
  }
  json TeamWhiteListAdd(const std::string& u, const json& a) { return ChangeList(u, a, &Team::white, true); }
  json TeamWhiteListDelete(const std::string& u, const json& a) { return ChangeList(u, a, &Team::white, false); }
  json TeamBlackListAdd(const std::string& u, const json& a) { return ChangeList(u, a, &Team::black, true); }
  json TeamBlackListDelete(const std::string& u, const json& a) { return ChangeList(u, a, &Team::black, false); }
  json UserSearch(const std::string&, const json& args) {
    std::string text = Str(args, "text");
    std::vector<JorvelUserInfo> found;
    for (auto& [id, account] : users) {
      const JorvelUserInfo& u = account.info;
      if (!text.empty() && (Contains(u.userName, text) || Contains(u.nickName, text) || u.userID == text))
        found.push_back(u);
    }
    return {{"users", found}};
  }

  json PayOrvantaTeam(const std::string& userId, const json& args) {
    Team& team = RequireTeam(Str(args, "teamId"));
    if (!MemberOf(team, userId)) Refuse(kRefused, "not a member of the team");
    std::string amount = Str(args, "amount");
    long long cents = ParseAmount(amount);
    if (amount.empty() || cents <= 0) Refuse(kRefused, "the amount must be positive");
    PayOrderRecord order;
    order.teamId = team.record.id;
    order.amount = AmountText(cents);
    order.tradeNo = "P" + NewId() + RandomDigits(6);
    order.fee = order.amount;
    order.state = "WAITING";
    order.qrText = "orvanta-pay://" + order.tradeNo + "?fee=" + order.fee;
    payments[order.tradeNo] = Payment{team.record.id, cents, false, false};
    return {{"order", order}};
  }
  json PayStatusOrvantaTeam(const std::string&, const json& args) {
    auto found = payments.find(Str(args, "tradeNo"));
    if (found == payments.end() || found->second.teamId != Str(args, "teamId")) Refuse(kNoObject, "no such payment");
    Payment& payment = found->second;
    if (!payment.paid) Refuse(kRefused, "not paid yet");
    Team& team = RequireTeam(payment.teamId);
    if (!payment.credited) {
      payment.credited = true;
      team.record.totalAmount = AmountText(ParseAmount(team.record.totalAmount) + payment.amount);
      TouchTeam(team);
    }
    return {{"team", TeamOut(team)}};
  }

  Account& AddAccount(const std::string& name, const std::string& password, const std::string& mobile,
                      const std::string& nick) {
    std::string id = NewId();
    Account& account = users[id];
    account.info = JorvelUserInfo{id, std::to_string(10000000 + std::stoll(id)), name, nick, mobile};
    account.password = password;
    account.station.stationKey = "S" + id;
    account.station.stationID = RandomDigits(9);
    account.station.aeTitle = "CLOUD" + id;
    account.station.host = nodeHost;
    account.station.port = nodePort;
    return account;
  }
};

json ConsultFixture::Impl::OrderList(const std::string& userId, const std::string& teamId, const json& args,
                                     bool updated) {
  if (!teamId.empty()) {
    Team& team = RequireTeam(teamId);
    if (!MemberOf(team, userId)) Refuse(kRefused, "not a member of the team");
  }
  auto number = [](const std::string& text) -> long long {
    if (text.empty()) return -1;
    try {
      size_t used = 0;
      long long value = std::stoll(text, &used);
      if (used == text.size()) return value;
    } catch (const std::exception&) {
    }
    Refuse(kRefused, "not an order id: " + text);
  };
  std::vector<DiagnosticRecord> records;
  long long from = number(Str(args, updated ? "lastId" : "startId"));
  int since = updated ? args.value("stamp", 0) : 0;
  int count = updated ? 0 : args.value("count", 20);
  if (!updated && (count <= 0 || count > 200)) count = count <= 0 ? 20 : 200;
  for (auto it = orders.rbegin(); it != orders.rend(); ++it) {
    const Order& order = it->second;
    if (teamId.empty() ? order.creatorId != userId : order.teamId != teamId) continue;
    if (updated) {
      if (from >= 0 && it->first < from) break;
      if (order.changed <= since) continue;
    } else {
      if (from >= 0 && it->first > from) continue;
      if (static_cast<int>(records.size()) == count) break;
    }
    records.push_back(OrderOut(order));
  }
  return {{"records", records}, {"stamp", stamp}};
}

json ConsultFixture::Impl::DiagnosticCreate(const std::string& userId, const json& args) {
  DiagnosticCreateRequest request = args.at("request").get<DiagnosticCreateRequest>();
  Team* team = nullptr;
  if (!request.teamId.empty()) {
    team = &RequireTeam(request.teamId);
  } else {
    for (auto& [id, t] : teams)
      if (!request.teamSid.empty() && t.record.sid == request.teamSid) team = &t;
    if (!team) Refuse(kNoTeam, "no such team");
  }
  if (team->record.state == "BLOCKED") Refuse(kTeamBlocked, "the team is blocked");
  auto listed = [&](const std::vector<ListEntry>& list) {
    return std::any_of(list.begin(), list.end(), [&](const ListEntry& e) { return e.userId == userId; });
  };
  if (team->record.serviceType == "PRIVATE" ? !listed(team->white) : listed(team->black))
    Refuse(kRefused, "the team does not take orders from this user");
  if (request.seriesUIDs.empty()) Refuse(kRefused, "no series");
  if (team->record.chargeMode == "PAID") {
    long long balance = ParseAmount(team->record.totalAmount), fee = ParseAmount(team->record.platformFee);
    if (balance < fee) Refuse(kNoBalance, "the team's balance is too low");
    team->record.totalAmount = AmountText(balance - fee);
    TouchTeam(*team);
  }

  Order order;
  order.creatorId = userId;
  order.teamId = team->record.id;
  DiagnosticRecord& r = order.record;
  r.id = NewId();
  char number[32];
  std::snprintf(number, sizeof number, "DX%08lld", std::stoll(r.id));
  r.orderNumber = number;
  r.creator = User(userId).info;
  r.state = "NEW";
  r.extraText = request.modalities;
  r.comments = request.comments;
  r.study.transferKey = "TK" + r.id + "-" + RandomHex(8);
  r.study.patientID = request.patientID;
  r.study.studyUID = request.studyUID;
  r.study.seriesUIDs = request.seriesUIDs;
  r.study.aeTitle = nodeAeTitle;
  r.study.host = nodeHost;
  r.study.port = nodePort;
  r.patientName = request.patientName;
  r.patientSex = request.patientSex;
  r.patientAge = request.patientAge;
  r.dicomDate = request.studyDate;
  // The sender, which the report editor shows at the end of its title.
  r.titleSuffix = r.creator.nickName.empty() ? r.creator.userName : r.creator.nickName;
  r.infoText = std::to_string(request.imageCount) + " images";
  r.orderTime = Now();
  Order& stored = orders[std::stoll(r.id)] = std::move(order);
  TouchOrder(stored);
  return OrderAnswer(stored);
}

ConsultFixture::Impl::Impl() {
  notice.noticeType = "msg";
#define OP(name, login) operations[#name] = Operation{&Impl::name, login}
  OP(Login, false);
  OP(Logout, false);
  OP(UpdateNickName, true);
  OP(VerifyCodeForRegister, false);
  OP(UserRegister, false);
  OP(UserSearchByUserName, false);
  OP(VerifyCode, false);
  OP(TokenByMobile, false);
  OP(PasswordUpdate, false);
  OP(Feedback, false);
  OP(AppTrace, false);
  OP(UpdateCheck, false);
  OP(GetCloudStation, true);
  OP(EnableCloudStation, true);
  OP(SearchCloudStation, true);
  OP(GetPublicCase, false);
  OP(GetPrivateCase, true);
  OP(PrivateCaseAdd, true);
  OP(PrivateCaseDelete, true);
  OP(PrivateCaseUpdate, true);
  OP(DiagnosticListOfMy, true);
  OP(DiagnosticUpdatedListOfMy, true);
  OP(DiagnosticListOfTeam, true);
  OP(DiagnosticUpdatedListOfTeam, true);
  OP(DiagnosticCreate, true);
  OP(DiagnosticActivate, true);
  OP(DiagnosticCancel, true);
  OP(DiagnosticHaReceive, true);
  OP(DiagnosticLock, true);
  OP(DiagnosticUnLock, true);
  OP(DiagnosticReport, true);
  OP(DiagnosticVerify, true);
  OP(DiagnosticRevise, true);
  OP(GetNotifyIndicator, true);
  OP(TeamListOfMine, true);
  OP(TeamCreate, true);
  OP(TeamSearch, true);
  OP(TeamUpdateName, true);
  OP(TeamUpdateDesc, true);
  OP(TeamUpdateInstName, true);
  OP(TeamUpdateType, true);
  OP(TeamMemberAdd, true);
  OP(TeamMemberDeleteByIds, true);
  OP(MemberSetSignedName, true);
  OP(MemberSetPermission, true);
  OP(TeamWhiteBlackList, true);
  OP(TeamWhiteListAdd, true);
  OP(TeamWhiteListDelete, true);
  OP(TeamBlackListAdd, true);
  OP(TeamBlackListDelete, true);
  OP(UserSearch, true);
  OP(PayOrvantaTeam, true);
  OP(PayStatusOrvantaTeam, true);
#undef OP

  // Every answer is a JSON object; refusals are answers too (HTTP 200 with ok false).
  server.Post(R"(/api/([A-Za-z]+))", [this](const httplib::Request& request, httplib::Response& response) {
    if (int delay = delayMs.load(); delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::string auth = request.get_header_value("Authorization");
    std::string token = auth.rfind("Bearer ", 0) == 0 ? auth.substr(7) : std::string();
    response.set_content(Answer(request.matches[1], token, request.body), "application/json");
  });
  server.Post(R"(/admin/([A-Za-z]+))", [this](const httplib::Request& request, httplib::Response& response) {
    json args = json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    json answer;
    try {
      if (args.is_discarded() || !args.is_object()) throw std::runtime_error("the body is not a JSON object");
      answer = AdminCall(request.matches[1], args);
      answer["ok"] = true;
    } catch (const std::exception& e) {
      answer = {{"ok", false}, {"error", {{"code", kRefused}, {"message", e.what()}}}};
      response.status = 400;
    }
    response.set_content(Dump(answer), "application/json");
  });
  server.set_tcp_nodelay(true);  // answers go out at once, not after the peer's delayed ack
  server.set_keep_alive_max_count(100000);
  server.set_payload_max_length(16u << 20);
  // Enough threads for every kept-alive connection of a busy client plus the hooks.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
}

std::string ConsultFixture::Impl::Answer(const std::string& operation, const std::string& token,
                                         const std::string& body) {
  json args = json::parse(body, nullptr, false);
  std::lock_guard<std::mutex> hold(lock);
  std::string userId;
  if (auto session = sessions.find(token); session != sessions.end()) userId = session->second;
  if (requests.size() == kMaxLoggedRequests) requests.pop_front();
  requests.push_back({{"operation", operation}, {"args", args.is_discarded() ? json() : args}, {"user", userId}});
  if (auto script = scripted.find(operation); script != scripted.end() && !script->second.empty()) {
    std::string answer = std::move(script->second.front());
    script->second.pop_front();
    return answer;
  }
  return Dump(Serve(operation, args, userId, token));
}

json ConsultFixture::Impl::Serve(const std::string& operation, const json& args, const std::string& userId,
                                 const std::string& token) {
  try {
    if (args.is_discarded() || !args.is_object()) Refuse(kRefused, "the request is not a JSON object");
    auto found = operations.find(operation);
    if (found == operations.end()) Refuse(kRefused, "unknown operation " + operation);
    if (found->second.needsLogin && userId.empty()) Refuse(kRefused, "login required");
    json answer = (this->*found->second.handler)(userId, args);
    if (operation == "Logout") sessions.erase(token);
    answer["ok"] = true;
    return answer;
  } catch (const Refusal& refusal) {
    return {{"ok", false}, {"error", {{"code", refusal.code}, {"message", refusal.message}}}};
  } catch (const json::exception& e) {
    return {{"ok", false}, {"error", {{"code", kRefused}, {"message", std::string("bad arguments: ") + e.what()}}}};
  }
}

json ConsultFixture::Impl::AdminCall(const std::string& name, const json& args) {
  std::lock_guard<std::mutex> hold(lock);
  try {
    if (name == "SmsCode") {
      auto found = codes.find(Str(args, "mobile"));
      if (found == codes.end()) throw std::runtime_error("no code was sent to this number");
      return {{"code", found->second.code}};
    }
    if (name == "AddUser") {
      std::string userName = Str(args, "userName");
      if (userName.empty() || UserByName(userName)) throw std::runtime_error("empty or taken user name");
      Account& account = AddAccount(userName, Str(args, "password"), Str(args, "mobile"), Str(args, "nickName"));
      return {{"user", account.info}};
    }
    if (name == "MarkPaid") {
      auto found = payments.find(Str(args, "tradeNo"));
      if (found == payments.end()) throw std::runtime_error("no such payment");
      found->second.paid = true;
      return json::object();
    }
    if (name == "SetOrderState") {
      Order& order = RequireOrder(args);
      order.record.state = Str(args, "state");
      TouchOrder(order);
      return {{"record", OrderOut(order)}};
    }
    if (name == "SetTeam") {
      Team& team = RequireTeam(Str(args, "teamId"));
      for (auto [key, field] : {std::pair{"serviceType", &TeamRecord::serviceType}, {"state", &TeamRecord::state},
                                {"chargeMode", &TeamRecord::chargeMode}, {"totalAmount", &TeamRecord::totalAmount},
                                {"platformFee", &TeamRecord::platformFee}})
        if (args.contains(key)) team.record.*field = Str(args, key);
      TouchTeam(team);
      return {{"team", TeamOut(team)}};
    }
    if (name == "StartOver") {
      // As a service that restarts on its stored data: sessions and records stay, the change
      // stamps and counters begin again.
      stamp = 0;
      for (auto& [id, order] : orders) order.changed = 0;
      for (auto& [id, account] : users) {
        account.counters.myOrders = account.counters.teamOrders = account.counters.teams = 0;
      }
      return json::object();
    }
    if (name == "SetClock") {
      clock = args.value("now", int64_t{0});
      return json::object();
    }
    if (name == "SetDelay") {
      delayMs = args.value("ms", 0);
      return json::object();
    }
    if (name == "SetNode") {
      nodeAeTitle = Str(args, "aeTitle");
      nodeHost = Str(args, "host");
      nodePort = args.value("port", uint16_t{0});
      for (auto& [id, account] : users) {
        account.station.host = nodeHost;
        account.station.port = nodePort;
      }
      return json::object();
    }
    if (name == "SetNotice") {
      notice.noticeType = Str(args, "noticeType");
      notice.noticeContent = Str(args, "noticeContent");
      return json::object();
    }
    if (name == "SetUpdate") {
      update = args.at("info").get<UpdateInfo>();
      return json::object();
    }
    if (name == "AddPublicCase") {
      JorvelCase item = args.at("case").get<JorvelCase>();
      item.id = static_cast<int>(++nextId);
      publicCases.push_back(item);
      return {{"case", item}};
    }
    if (name == "ScriptNext") {
      scripted[Str(args, "operation")].push_back(Str(args, "body"));
      return json::object();
    }
    if (name == "Requests") return {{"requests", json(requests)}};
    if (name == "ClearRequests") {
      requests.clear();
      return json::object();
    }
    if (name == "Feedback") return {{"texts", feedback}};
  } catch (const Refusal& refusal) {
    throw std::runtime_error(refusal.code + ": " + refusal.message);
  }
  throw std::runtime_error("unknown hook " + name);
}

ConsultFixture::ConsultFixture() : impl_(std::make_unique<Impl>()) {}

ConsultFixture::~ConsultFixture() { Stop(); }

int ConsultFixture::Start(int port, const std::string& host) {
  Stop();
  int bound = port == 0 ? impl_->server.bind_to_any_port(host) : (impl_->server.bind_to_port(host, port) ? port : -1);
  if (bound <= 0) return -1;
  impl_->port = bound;
  auto ended = std::make_shared<std::atomic<bool>>(false);
  impl_->thread = std::thread([this, ended] {
    impl_->server.listen_after_bind();
    *ended = true;
  });
  // Stop only takes effect once the server runs.
  while (!impl_->server.is_running() && !*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return bound;
}

void ConsultFixture::Stop() {
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

std::string ConsultFixture::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port.load()); }

json ConsultFixture::Admin(const std::string& name, const json& args) { return impl_->AdminCall(name, args); }

json ConsultFixture::AddUser(const std::string& userName, const std::string& password, const std::string& mobile,
                             const std::string& nickName) {
  return Admin("AddUser", {{"userName", userName}, {"password", password}, {"mobile", mobile}, {"nickName", nickName}})
      .at("user");
}

std::string ConsultFixture::SmsCode(const std::string& mobile) {
  return Admin("SmsCode", {{"mobile", mobile}}).at("code").get<std::string>();
}
