#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "BasicDB.h"

struct SODcmReferencedSOP;

// DB/<StudyUID>: one study's rows with its series and every instance. Writes go through the
// member connection under the lock (it moves from study file to study file); reads open a
// private connection for the call and never create a file.
class StudyDB : public BasicDB {
 public:
  // All rows of one study in one transaction.
  bool AddInstances(const std::string& path, const std::vector<InstanceInfo>& list);
  bool DeleteSeries(const std::string& path, const char* seriesId);
  // Deletes the study's database file when it holds no series and no instance; false when it
  // still holds rows or is not there.
  bool DeleteIfEmpty(const std::string& path);
  // Rewrites the free texts of the study and series rows of info, in one transaction.
  bool UpdateTexts(const std::string& path, const InstanceInfo& info);

  bool GetAllSeries(const std::string& path, std::vector<SeriesRecord>& out, bool withInstances) const;
  bool GetSeriesInstances(const std::string& path, const char* seriesId, std::vector<InstanceRecord>& out) const;
  bool GetSeries(const std::string& path, const char* seriesId, SeriesRecord& record) const;
  // The instance row with that id; false when there is none.
  bool GetInstance(const std::string& path, const char* instanceId, InstanceRecord& record) const;
  bool GetStudySeries(const std::string& path, const char* patientID, const char* studyUID,
                      std::vector<SeriesRecord>& out, bool withInstances) const;
  bool GetInstances(const std::string& path, std::vector<InstanceRecord>& out, const char* studyUID) const;
  bool GetReferencedSOPs(const std::string& path, std::vector<SODcmReferencedSOP>& out, const char* studyUID) const;

  // Closes the connection and forgets its file; the caller holds Lock() across what follows.
  void CloseLocked() { Close(); }
  std::recursive_mutex& Lock() { return lock_; }

  static const char* const kCreateStatements[];

 protected:
  void OnCreate(CppSQLite3DB& db) override;
  void OnUpgrade(CppSQLite3DB&, int, int) override {}

 private:
  void InsertRows(const std::vector<InstanceInfo>& list);
  void AttachInstances(CppSQLite3DB& db, std::vector<SeriesRecord>& series) const;

  std::recursive_mutex lock_;  // guards db_ and the open path
};
