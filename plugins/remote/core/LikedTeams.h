#pragma once

#include <string>
#include <vector>

#include "JorvelRecords.h"

// The teams the user sent consultations to before, kept in ConfigRD.xml of the configuration
// folder (only sid and name). UI thread only.
class LikedTeams {
 public:
  static LikedTeams& Instance();
  explicit LikedTeams(std::string path);

  void Load();
  // Writes the whole file through a temporary file, so a crash leaves the old list or the new.
  bool Save() const;
  // False for an empty sid; otherwise the team is stored or its name brought up to date.
  bool Like(const TeamRecord& team);
  // False for an empty sid; otherwise the team with that sid is removed.
  bool Unlike(const TeamRecord& team);

  const std::vector<TeamRecord>& Teams() const { return teams_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::vector<TeamRecord> teams_;
};
