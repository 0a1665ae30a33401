#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "JorvelRecords.h"
#include "ListenerSet.h"

class TeamLink;

class ILinkManagerCallback {
 public:
  virtual ~ILinkManagerCallback() = default;
  // A team link was created; called on the refreshing thread with no lock held.
  virtual void OnLinkAdded(const std::shared_ptr<TeamLink>& link) = 0;
};

// The team links of the logged-in user, in the order the service first reported the teams.
// One per process.
class LinkManager {
 public:
  static LinkManager& Instance();

  void AddCallback(ILinkManagerCallback* callback);
  void RemoveCallback(ILinkManagerCallback* callback);

  // The team's link takes the record, or a new link is created and announced.
  void AddOrUpdateTeam(const TeamRecord& record);
  // Every team the service lists goes through AddOrUpdateTeam; false when the call failed.
  bool RefreshTeams();
  // Updates the links in order while each succeeds; false at the first failure.
  bool UpdateAllTeams();
  // Teams whose white and black lists never loaded try again.
  void LoadMissingLists();
  // Drops every team link and its orders.
  void Clear();

  std::vector<std::shared_ptr<TeamLink>> Teams() const;
  std::shared_ptr<TeamLink> Find(const std::string& teamId) const;

 private:
  LinkManager() = default;

  mutable std::mutex teamsMutex_;
  std::vector<std::shared_ptr<TeamLink>> teams_;  // guarded by teamsMutex_
  ListenerSet<ILinkManagerCallback> listeners_;
};
