#include "TeamLink.h"

#include "Jorvel.h"
#include "RemoteRecords.h"
#include "RemoteSession.h"
#include "TeamOrder.h"
#include "WebError.h"

std::shared_ptr<TeamLink> TeamLink::Create(const TeamRecord& team) {
  return std::shared_ptr<TeamLink>(new TeamLink(team));
}

TeamLink::TeamLink(const TeamRecord& team) : team_(team) {
  std::string userId = RemoteSession::CurrentUser().id;
  for (const MemberRecord& member : team.members) {
    if (member.user.id == userId) {
      me_ = member;
      break;
    }
  }
}

TeamLink::~TeamLink() = default;

TeamRecord TeamLink::Team() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return team_;
}

MemberRecord TeamLink::Me() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return me_;
}

std::vector<TeamListEntry> TeamLink::WhiteList() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return whiteList_;
}

std::vector<TeamListEntry> TeamLink::BlackList() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return blackList_;
}

std::string TeamLink::TeamId() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return team_.id;
}

std::string TeamLink::GetName() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return team_.name;
}

bool TeamLink::IsBlocked() const {
  std::lock_guard<std::mutex> guard(dataMutex_);
  return team_.state == "BLOCKED";
}

bool TeamLink::NeedsRecharge() const { return RemoteRecords::NeedsRecharge(Team()); }

bool TeamLink::SetTeam(const TeamRecord& record) {
  {
    std::lock_guard<std::mutex> guard(dataMutex_);
    if (record.id != team_.id) return false;
    team_ = record;
    std::string userId = RemoteSession::CurrentUser().id;
    for (const MemberRecord& member : record.members) {
      if (member.user.id == userId) {
        me_ = member;
        break;
      }
    }
  }
  NotifyListeners([this](ILinkCallback* listener) { listener->OnLinkChanged(this); });
  return true;
}

template <typename Call>
bool TeamLink::TeamCall(WebError* error, Call call) {
  TeamRecord out;
  WebError local;
  if (!call(TeamId(), &out, error ? error : &local)) return false;
  SetTeam(out);
  return true;
}

template <typename Call>
bool TeamLink::ListCall(std::vector<TeamListEntry> TeamLink::*list, WebError* error, Call call) {
  std::vector<TeamListEntry> out;
  WebError local;
  if (!call(TeamId(), &out, error ? error : &local)) return false;
  std::lock_guard<std::mutex> guard(dataMutex_);
  this->*list = std::move(out);
  return true;
}

bool TeamLink::UpdateName(std::string name, WebError* error) {
  return TeamCall(error, [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamUpdateName(id, name, out, e); });
}

bool TeamLink::UpdateDesc(std::string text, WebError* error) {
  return TeamCall(error, [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamUpdateDesc(id, text, out, e); });
}

bool TeamLink::UpdateInstName(std::string name, WebError* error) {
  return TeamCall(error,
                  [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamUpdateInstName(id, name, out, e); });
}

bool TeamLink::UpdateType(std::string type, WebError* error) {
  return TeamCall(error, [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamUpdateType(id, type, out, e); });
}

bool TeamLink::AddMember(const JorvelUserInfo* user, WebError* error) {
  if (!user) return false;
  std::vector<JorvelUserInfo> users{*user};
  return TeamCall(error,
                  [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamMemberAdd(id, &users, out, e); });
}

bool TeamLink::DeleteMember(const MemberRecord* member, WebError* error) {
  if (!member) return false;
  std::vector<std::string> ids{member->user.id};
  return TeamCall(
      error, [&](std::string id, TeamRecord* out, WebError* e) { return Web_TeamMemberDeleteByIds(id, ids, out, e); });
}

bool TeamLink::SetSignedName(const std::string* memberId, std::string name, WebError* error) {
  if (!memberId) return false;
  return TeamCall(error, [&](std::string, TeamRecord* out, WebError* e) {
    return Web_MemberSetSignedName(*memberId, name, out, e);
  });
}

bool TeamLink::SetPermission(const std::string* memberId, bool edit, bool verify, WebError* error) {
  if (!memberId) return false;
  return TeamCall(error, [&](std::string, TeamRecord* out, WebError* e) {
    return Web_MemberSetPermission(*memberId, edit, verify, out, e);
  });
}

bool TeamLink::WhiteListAdd(const JorvelUserInfo* user, WebError* error) {
  return ListCall(&TeamLink::whiteList_, error, [&](std::string id, std::vector<TeamListEntry>* out, WebError* e) {
    return Web_TeamWhiteListAdd(id, user, out, e);
  });
}

bool TeamLink::WhiteListDelete(const JorvelUserInfo* user, WebError* error) {
  return ListCall(&TeamLink::whiteList_, error, [&](std::string id, std::vector<TeamListEntry>* out, WebError* e) {
    return Web_TeamWhiteListDelete(id, user, out, e);
  });
}

bool TeamLink::BlackListAdd(const JorvelUserInfo* user, WebError* error) {
  return ListCall(&TeamLink::blackList_, error, [&](std::string id, std::vector<TeamListEntry>* out, WebError* e) {
    return Web_TeamBlackListAdd(id, user, out, e);
  });
}

bool TeamLink::BlackListDelete(const JorvelUserInfo* user, WebError* error) {
  return ListCall(&TeamLink::blackList_, error, [&](std::string id, std::vector<TeamListEntry>* out, WebError* e) {
    return Web_TeamBlackListDelete(id, user, out, e);
  });
}

bool TeamLink::LoadLists(WebError* error) {
  std::vector<TeamListEntry> white, black;
  WebError local;
  if (!Web_TeamWhiteBlackList(TeamId(), &white, &black, error ? error : &local)) return false;
  {
    std::lock_guard<std::mutex> guard(dataMutex_);
    whiteList_ = std::move(white);
    blackList_ = std::move(black);
  }
  listsLoaded_ = true;
  return true;
}

bool TeamLink::FetchPage(std::vector<DiagnosticRecord>* records, const std::string& startId, int* stamp,
                         WebError* error) {
  return Web_DiagnosticListOfTeam(TeamId(), records, startId, kPageSize, stamp, error);
}

bool TeamLink::FetchChanges(std::vector<DiagnosticRecord>* records, const std::string& lastId, int stamp,
                            int* newStamp, WebError* error) {
  return Web_DiagnosticUpdatedListOfTeam(TeamId(), records, lastId, stamp, newStamp, error);
}

std::shared_ptr<OrderObject> TeamLink::MakeOrder(const DiagnosticRecord& record) {
  auto self = std::static_pointer_cast<TeamLink>(shared_from_this());
  return TeamOrder::Create(self, record);
}
