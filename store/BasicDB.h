#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CppSQLite3.h"
#include "InstanceInfo.h"
#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "SeriesRecord.h"
#include "StudyRecord.h"

// Base of the store's table classes: one connection kept open on one file until another path is
// asked for, the schema stamp in PRAGMA user_version, and the row readers. Not locked: each table
// class serialises its own use.
class BasicDB {
 public:
  explicit BasicDB(int version = 1) : version_(version) {}
  BasicDB(const BasicDB&) = delete;
  BasicDB& operator=(const BasicDB&) = delete;

  // Makes path the open database, creating its folders and schema when new. False (and closed)
  // when the file cannot be opened or is not a database; such a file is left as it is.
  bool Open(const std::string& path);
  void Close();
  const std::string& OpenPath() const { return path_; }

  void SetStoreFolder(const std::string& folder) { storeFolder_ = folder; }
  const std::string& StoreFolder() const { return storeFolder_; }

  static int GetUserVersion(CppSQLite3DB& db);
  static void SetUserVersion(CppSQLite3DB& db, int version);

  void ReadStudyRow(StudyRecord& record, const CppSQLite3Query& q) const;
  void ReadSeriesRow(SeriesRecord& record, const CppSQLite3Query& q) const;
  void ReadPatientRow(PatientRecord& record, const CppSQLite3Query& q) const;
  void ReadInstanceRow(InstanceRecord& record, const CppSQLite3Query& q) const;

  // Instances grouped by study id + "_" + series key, keys in byte order, each group in list order.
  static void GroupBySeries(const std::vector<InstanceInfo>& instances,
                            std::map<std::string, std::vector<const InstanceInfo*>>& groups);

 protected:
  ~BasicDB() { Close(); }
  virtual void OnCreate(CppSQLite3DB& db) = 0;
  virtual void OnUpgrade(CppSQLite3DB& db, int oldVersion, int newVersion) = 0;

  // sql (a constant text) compiled on db_ once while the file stays open.
  CppSQLite3Statement& Prepared(const char* sql);

  CppSQLite3DB db_;

 private:
  std::map<const char*, std::unique_ptr<CppSQLite3Statement>> statements_;  // on db_; Close finalizes them
  std::string path_;
  std::string storeFolder_;
  int version_;
};
