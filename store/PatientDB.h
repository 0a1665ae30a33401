#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "BasicDB.h"

// DB/patients: the store's study list with workflow columns (archive_patient), the studies
// (archive_study) and every series (archive_series). Failing statements raise
// CppSQLite3Exception; the lock is free again when they do.
class PatientDB : public BasicDB {
 public:
  // The three tables in one transaction: a crash never leaves part of a commit.
  bool AddInstances(const std::string& path, const std::vector<InstanceInfo>& list);
  // Rewrites the free texts of the study and series rows of info (all three tables, one
  // transaction); false when the file cannot be opened.
  bool UpdateTexts(const std::string& path, const InstanceInfo& info);
  bool GetPatients(const std::string& path, std::vector<PatientRecord>& out, const char* like);
  // Single-row lookups answer false for a missing file as for a missing row.
  bool GetPatient(const std::string& path, const char* id, PatientRecord& record);
  bool GetPatientByStudy(const std::string& path, const char* patientID, const char* studyUID, PatientRecord& record);
  bool GetSeries(const std::string& path, const char* id, SeriesRecord& record);
  bool GetSeriesByUID(const std::string& path, const char* seriesUID, SeriesRecord& record);
  bool DeletePatient(const std::string& path, const char* id);
  bool DeleteSeries(const std::string& path, const char* id);
  bool GetStudies(const std::string& path, std::vector<StudyRecord>& out, const char* like, bool withSeries);
  bool GetAllSeries(const std::string& path, std::vector<SeriesRecord>& out);
  bool GetStudyCount(const std::string& path, int* count);
  // column must be a workflow column of its kind; anything else answers false untouched.
  bool SetFlag(const std::string& path, const char* id, const char* column, bool value);
  bool SetState(const std::string& path, const char* id, const char* column, int value);
  bool SetText(const std::string& path, const char* id, const char* column, const char* text);

  // Closes the connection and forgets its file; the caller holds Lock() across what follows.
  void CloseLocked() { Close(); }
  std::recursive_mutex& Lock() { return lock_; }

  static const char* const kCreateStatements[];

 protected:
  void OnCreate(CppSQLite3DB& db) override;
  void OnUpgrade(CppSQLite3DB&, int, int) override {}

 private:
  void ReadSeriesOf(PatientRecord& record);
  bool GetPatientWhere(const char* sql, PatientRecord& record);
  bool SetColumn(const std::string& path, const char* sql);

  std::recursive_mutex lock_;  // guards db_ and the open path
};
