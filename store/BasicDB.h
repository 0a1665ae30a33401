#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CppSQLite3.h"
#include "InstanceInfo.h"
#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "RowReader.h"
#include "SeriesRecord.h"
#include "StudyRecord.h"

// Base of the store's table classes: one connection kept open on one file until another path is
// asked for, the schema stamp in PRAGMA user_version, the row readers and the shared inserts. Not locked: each table
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
  // Deletes a closed database's file and the journals beside it.
  static void RemoveFiles(const std::string& path);

  void SetStoreFolder(const std::string& folder) { storeFolder_ = folder; }
  const std::string& StoreFolder() const { return storeFolder_; }

  static int GetUserVersion(CppSQLite3DB& db);
  static void SetUserVersion(CppSQLite3DB& db, int version);

  // Each remaining row of q as a record to take(Record&&), or appended to out; a row without a
  // storePath gets the one the store's layout gives it.
  template <class Record, class Take>
  void ReadRows(CppSQLite3Query& q, Take&& take) const {
    ForEachRow<Record>(q, [&](Record&& record) {
      CompletePath(record);
      take(std::move(record));
    });
  }
  template <class Record>
  void ReadRows(CppSQLite3Query& q, std::vector<Record>& out) const {
    ReadRows<Record>(q, [&](Record&& record) { out.push_back(std::move(record)); });
  }
  // The current row of q; false when there is none.
  template <class Record>
  bool ReadRow(const CppSQLite3Query& q, Record& record) const {
    if (q.Eof()) return false;
    RowReader<Record>(q).Read(q, record);
    CompletePath(record);
    return true;
  }

  // "INSERT OR IGNORE" of the study columns, or the series columns, into table.
  static std::string StudyInsert(const char* table);
  static std::string SeriesInsert(const char* table);

  // Instances grouped by study id + "_" + series key, keys in byte order, each group in list order.
  static void GroupBySeries(const std::vector<InstanceInfo>& instances,
                            std::map<std::string, std::vector<const InstanceInfo*>>& groups);

 protected:
  ~BasicDB() { Close(); }
  virtual void OnCreate(CppSQLite3DB& db) = 0;
  virtual void OnUpgrade(CppSQLite3DB& db, int oldVersion, int newVersion) = 0;

  // sql (a constant text) compiled on db_ once while the file stays open.
  CppSQLite3Statement& Prepared(const char* sql);

  // The row inserts both kinds of database share, each written once: a study row (id, the
  // study's values, storePath) and a series row, from the statements below.
  static void InsertStudy(CppSQLite3Statement& insert, const InstanceInfo& i, const std::string& id,
                          const std::string& storePath);
  static void InsertSeries(CppSQLite3Statement& insert, const InstanceInfo& i);
  // "UPDATE" of the free texts (patient name, study description; series description, body part,
  // institution) of one study's rows, or one series' rows, in table; and their execution.
  static std::string StudyTextsUpdate(const char* table);
  static std::string SeriesTextsUpdate(const char* table);
  static int UpdateStudyTexts(CppSQLite3Statement& update, const InstanceInfo& i);
  static int UpdateSeriesTexts(CppSQLite3Statement& update, const InstanceInfo& i);

  CppSQLite3DB db_;

 private:
  void CompletePath(StudyRecord& r) const;
  void CompletePath(PatientRecord& r) const;
  void CompletePath(SeriesRecord& r) const;
  void CompletePath(InstanceRecord& r) const;

  std::map<const char*, std::unique_ptr<CppSQLite3Statement>> statements_;  // on db_; Close finalizes them
  std::string path_;
  std::string storeFolder_;
  int version_;
};
