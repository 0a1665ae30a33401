#include "BasicDB.h"

#include <filesystem>

#include "StoreLayout.h"

bool BasicDB::Open(const std::string& path) {
  if (path.empty()) return false;
  if (path == path_) return true;
  Close();
  try {
    StoreLayout::PrepareDatabaseFile(path);
    db_.Open(path.c_str());
    int stamp = GetUserVersion(db_);
    // WAL lets the lists read while an import writes; NORMAL syncs at checkpoints, which keeps
    // the file consistent after a crash (a lost last commit only leaves files without rows).
    db_.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    if (stamp != version_) {
      if (stamp == 0) {
        OnCreate(db_);
      } else {
        OnUpgrade(db_, stamp, version_);
      }
      SetUserVersion(db_, version_);
    }
  } catch (const CppSQLite3Exception&) {
    db_.Close();
    return false;
  }
  path_ = path;
  return true;
}

void BasicDB::Close() {
  statements_.clear();
  db_.Close();
  path_.clear();
}

CppSQLite3Statement& BasicDB::Prepared(const char* sql) {
  std::unique_ptr<CppSQLite3Statement>& statement = statements_[sql];
  if (!statement) statement.reset(new CppSQLite3Statement(db_.Prepare(sql)));
  return *statement;
}

void BasicDB::RemoveFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code ec;
    std::filesystem::remove(path + suffix, ec);
  }
}

int BasicDB::GetUserVersion(CppSQLite3DB& db) {
  CppSQLite3Query q = db.Query("PRAGMA user_version");
  return q.Eof() ? 0 : q.FieldInt(0, 0);
}

void BasicDB::SetUserVersion(CppSQLite3DB& db, int version) {
  SqlText sql;
  db.Execute(sql.Format("PRAGMA user_version = %d", version));
}

void BasicDB::CompletePath(StudyRecord& r) const {
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetStudyPath(r));
}

void BasicDB::CompletePath(PatientRecord& r) const {
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetStudyPath(r));
}

void BasicDB::CompletePath(SeriesRecord& r) const {
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetSeriesPath(r));
}

void BasicDB::CompletePath(InstanceRecord& r) const {
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetInstancePath(r));
}

std::string BasicDB::StudyInsert(const char* table) {
  return std::string("INSERT OR IGNORE INTO ") + table +
         " (id, studyUID, studyID, accessionNumber, studyDate, studyTime, studyDescription, patientName, patientID, "
         "patientBirthDate, patientSex, patientAge, storePath) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";
}

std::string BasicDB::SeriesInsert(const char* table) {
  return std::string("INSERT OR IGNORE INTO ") + table +
         " (id, patientID, studyUID, seriesUID, seriesNumber, seriesDate, modality, imageType, bodyPartExamined, "
         "institutionName, sliceThickness, seriesDescription, storePath) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
         "?);";
}

void BasicDB::InsertStudy(CppSQLite3Statement& insert, const InstanceInfo& i, const std::string& id,
                          const std::string& storePath) {
  insert.Execute({&id, &i.studyUID, &i.studyID, &i.accessionNumber, &i.studyDate, &i.studyTime, &i.studyDescription,
                  &i.patientName, &i.patientID, &i.patientBirthDate, &i.patientSex, &i.patientAge, &storePath});
}

void BasicDB::InsertSeries(CppSQLite3Statement& insert, const InstanceInfo& i) {
  insert.Execute({&i.seriesKey, &i.patientID, &i.studyUID, &i.seriesUID, &i.seriesNumber, &i.seriesDate, &i.modality,
                  &i.imageType, &i.bodyPartExamined, &i.institutionName, &i.sliceThickness, &i.seriesDescription,
                  &i.seriesPath});
}

std::string BasicDB::StudyTextsUpdate(const char* table) {
  return std::string("UPDATE ") + table +
         " SET patientName = ?, studyDescription = ? WHERE studyUID = ? AND patientID = ?;";
}

std::string BasicDB::SeriesTextsUpdate(const char* table) {
  return std::string("UPDATE ") + table +
         " SET seriesDescription = ?, bodyPartExamined = ?, institutionName = ? WHERE studyUID = ? AND seriesUID = ?;";
}

int BasicDB::UpdateStudyTexts(CppSQLite3Statement& update, const InstanceInfo& i) {
  return update.Execute({&i.patientName, &i.studyDescription, &i.studyUID, &i.patientID});
}

int BasicDB::UpdateSeriesTexts(CppSQLite3Statement& update, const InstanceInfo& i) {
  return update.Execute({&i.seriesDescription, &i.bodyPartExamined, &i.institutionName, &i.studyUID, &i.seriesUID});
}

void BasicDB::GroupBySeries(const std::vector<InstanceInfo>& instances,
                            std::map<std::string, std::vector<const InstanceInfo*>>& groups) {
  groups.clear();
  for (const InstanceInfo& info : instances) groups[info.sidSeriesKey].push_back(&info);
}
