#include "LikedTeams.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <algorithm>
#include <cstdio>

#include "Gossamy.h"

LikedTeams& LikedTeams::Instance() {
  static LikedTeams* teams = new LikedTeams(std::string(Gossamy::GetConfigPath()) + "ConfigRD.xml");
  return *teams;
}

LikedTeams::LikedTeams(std::string path) : path_(std::move(path)) { Load(); }

void LikedTeams::Load() {
  teams_.clear();
  TiXmlDocument document;
  if (!SOXml::LoadFile(document, path_)) return;
  TiXmlElement* root = document.RootElement();
  if (!root) return;
  TiXmlElement* list = root->FirstChildElement();
  if (!list || std::string(list->Value()) != "TeamList") return;
  for (TiXmlElement* item = list->FirstChildElement(); item; item = item->NextSiblingElement()) {
    TeamRecord team;
    const char* sid = item->Attribute("sid");
    const char* name = item->Attribute("team_name");
    team.sid = sid ? sid : "";
    team.name = name ? name : "";
    teams_.push_back(team);
  }
}

bool LikedTeams::Save() const {
  TiXmlDocument document;
  document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
  auto* root = new TiXmlElement("Config");
  document.LinkEndChild(root);
  auto* list = new TiXmlElement("TeamList");
  root->LinkEndChild(list);
  for (const TeamRecord& team : teams_) {
    auto* item = new TiXmlElement("Team");
    item->SetAttribute("sid", team.sid.c_str());
    item->SetAttribute("team_name", team.name.c_str());
    list->LinkEndChild(item);
  }
  std::string temporary = path_ + ".tmp";
  if (!document.SaveFile(temporary.c_str())) return false;
  if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool LikedTeams::Like(const TeamRecord& team) {
  if (team.sid.empty()) return false;
  auto it = std::find_if(teams_.begin(), teams_.end(), [&](const TeamRecord& t) { return t.sid == team.sid; });
  if (it != teams_.end()) {
    if (it->name == team.name) return true;
    it->name = team.name;
  } else {
    TeamRecord stored;
    stored.sid = team.sid;
    stored.name = team.name;
    teams_.push_back(stored);
  }
  Save();
  return true;
}

bool LikedTeams::Unlike(const TeamRecord& team) {
  if (team.sid.empty()) return false;
  auto it = std::find_if(teams_.begin(), teams_.end(), [&](const TeamRecord& t) { return t.sid == team.sid; });
  if (it != teams_.end()) {
    teams_.erase(it);
    Save();
  }
  return true;
}
