#pragma once

#include "Link.h"

// One team the logged-in user belongs to: its record, the user's own membership, its orders,
// its white and black lists, and every team-management call. A call that answers with a new
// team record hands it to SetTeam, which tells the listeners.
class TeamLink : public Link {
 public:
  static std::shared_ptr<TeamLink> Create(const TeamRecord& team);
  ~TeamLink() override;

  std::string GetName() const override;
  bool IsBlocked() const override;
  bool NeedsRecharge() const override;
  bool IsMyLink() const override { return false; }

  // False, with nothing changed, for a record of another team.
  bool SetTeam(const TeamRecord& record);
  // Copies; the poller replaces them while windows read them.
  TeamRecord Team() const;
  MemberRecord Me() const;
  std::vector<TeamListEntry> WhiteList() const;
  std::vector<TeamListEntry> BlackList() const;
  bool ListsLoaded() const { return listsLoaded_.load(); }

  // Each returns the web call's result; a failure changes nothing. When error is given it
  // receives the service's answer.
  bool UpdateName(std::string name, WebError* error = nullptr);
  bool UpdateDesc(std::string text, WebError* error = nullptr);
  bool UpdateInstName(std::string name, WebError* error = nullptr);
  bool UpdateType(std::string type, WebError* error = nullptr);
  bool AddMember(const JorvelUserInfo* user, WebError* error = nullptr);
  bool DeleteMember(const MemberRecord* member, WebError* error = nullptr);
  bool SetSignedName(const std::string* memberId, std::string name, WebError* error = nullptr);
  bool SetPermission(const std::string* memberId, bool edit, bool verify, WebError* error = nullptr);
  bool WhiteListAdd(const JorvelUserInfo* user, WebError* error = nullptr);
  bool WhiteListDelete(const JorvelUserInfo* user, WebError* error = nullptr);
  bool BlackListAdd(const JorvelUserInfo* user, WebError* error = nullptr);
  bool BlackListDelete(const JorvelUserInfo* user, WebError* error = nullptr);
  bool LoadLists(WebError* error = nullptr);

 protected:
  bool FetchPage(std::vector<DiagnosticRecord>* records, const std::string& startId, int* stamp,
                 WebError* error) override;
  bool FetchChanges(std::vector<DiagnosticRecord>* records, const std::string& lastId, int stamp, int* newStamp,
                    WebError* error) override;
  std::shared_ptr<OrderObject> MakeOrder(const DiagnosticRecord& record) override;

 private:
  explicit TeamLink(const TeamRecord& team);
  std::string TeamId() const;
  // Runs a call that answers with a team record and applies the answer.
  template <typename Call>
  bool TeamCall(WebError* error, Call call);
  template <typename Call>
  bool ListCall(std::vector<TeamListEntry> TeamLink::*list, WebError* error, Call call);

  mutable std::mutex dataMutex_;
  TeamRecord team_;                      // guarded by dataMutex_
  MemberRecord me_;                      // guarded by dataMutex_
  std::vector<TeamListEntry> whiteList_;  // guarded by dataMutex_
  std::vector<TeamListEntry> blackList_;  // guarded by dataMutex_
  std::atomic<bool> listsLoaded_{false};
};
