#include "LinkManager.h"

#include <algorithm>

#include "Jorvel.h"
#include "TeamLink.h"
#include "WebError.h"

LinkManager& LinkManager::Instance() {
  static LinkManager* manager = new LinkManager();
  return *manager;
}

void LinkManager::AddCallback(ILinkManagerCallback* callback) { listeners_.Add(callback); }

void LinkManager::RemoveCallback(ILinkManagerCallback* callback) { listeners_.Remove(callback); }

std::vector<std::shared_ptr<TeamLink>> LinkManager::Teams() const {
  std::lock_guard<std::mutex> guard(teamsMutex_);
  return teams_;
}

std::shared_ptr<TeamLink> LinkManager::Find(const std::string& teamId) const {
  std::lock_guard<std::mutex> guard(teamsMutex_);
  for (const auto& link : teams_) {
    if (link->Team().id == teamId) return link;
  }
  return nullptr;
}

void LinkManager::AddOrUpdateTeam(const TeamRecord& record) {
  std::shared_ptr<TeamLink> link;
  bool created = false;
  {
    std::lock_guard<std::mutex> guard(teamsMutex_);
    for (const auto& team : teams_) {
      if (team->Team().id == record.id) link = team;
    }
    if (!link) {
      link = TeamLink::Create(record);
      teams_.push_back(link);
      created = true;
    }
  }
  if (created) {
    // Listeners run after the list's lock is released: the window they reach may be the one
    // that clears the list at logout.
    listeners_.ForEach([&link](ILinkManagerCallback* listener) { listener->OnLinkAdded(link); });
  }
  link->SetTeam(record);
}

bool LinkManager::RefreshTeams() {
  std::vector<TeamRecord> teams;
  WebError error;
  if (!Web_TeamListOfMine(&teams, &error)) return false;
  for (const TeamRecord& team : teams) AddOrUpdateTeam(team);
  return true;
}

bool LinkManager::UpdateAllTeams() {
  for (const auto& link : Teams()) {
    if (!link->Update()) return false;
  }
  return true;
}

void LinkManager::LoadMissingLists() {
  for (const auto& link : Teams()) {
    if (!link->ListsLoaded()) link->LoadLists();
  }
}

void LinkManager::Clear() {
  std::vector<std::shared_ptr<TeamLink>> dropped;
  {
    std::lock_guard<std::mutex> guard(teamsMutex_);
    dropped.swap(teams_);
  }
  for (const auto& link : dropped) link->Clear();
}
