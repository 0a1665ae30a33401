#include "PatientDB.h"

#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>
#include <unordered_map>

namespace {

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// Statement texts stay put while their statements are cached by address.
const std::string kInsertPatient = BasicDB::StudyInsert("archive_patient");
const std::string kInsertStudy = BasicDB::StudyInsert("archive_study");
const std::string kInsertSeries = BasicDB::SeriesInsert("archive_series");

// From this many studies on, one scan of the series table beats a query per study.
constexpr size_t kBulkSeriesThreshold = 64;

bool IsOneOf(const char* column, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (std::strcmp(column, name) == 0) return true;
  return false;
}

// The search filter of the study lists, with the columns named through `table` so the clause
// also serves a join; empty without a search text.
std::string LikeClause(const char* table, const char* like) {
  if (!like) return std::string();
  std::string pattern = std::string("%") + like + "%";
  const char* p = pattern.c_str();
  SqlText sql;
  return sql.Format(" WHERE %s.patientID LIKE %Q or %s.patientName LIKE %Q or %s.studyID LIKE %Q or "
                    "%s.studyDescription LIKE %Q",
                    table, p, table, p, table, p, table, p);
}

// A listed study by Study UID and Patient ID, viewing the record's own strings.
using StudyKey = std::pair<std::string_view, std::string_view>;
struct StudyKeyHash {
  size_t operator()(const StudyKey& key) const {
    const size_t uid = std::hash<std::string_view>()(key.first);
    return uid ^ (std::hash<std::string_view>()(key.second) + 0x9e3779b97f4a7c15ULL + (uid << 6) + (uid >> 2));
  }
};

}  // namespace

const char* const PatientDB::kCreateStatements[] = {
    "CREATE TABLE IF NOT EXISTS archive_patient (id TEXT PRIMARY KEY NOT NULL,studyUID TEXT,studyID TEXT ,"
    "accessionNumber TEXT,studyDate TEXT,studyTime TEXT,studyDescription TEXT,patientName TEXT,patientID TEXT,"
    "patientBirthDate TEXT,patientSex TEXT,patientAge TEXT,storePath TEXT,unread BOOLEAN DEFAULT 1,locked BOOLEAN "
    "DEFAULT 0,marked BOOLEAN DEFAULT 0,positive BOOLEAN DEFAULT 0,sendState INTEGER DEFAULT 0,printState INTEGER "
    "DEFAULT 0,remoteState INTEGER DEFAULT 0,reportState INTEGER DEFAULT 0,sendID TEXT DEFAULT '',printID TEXT "
    "DEFAULT '',remoteID TEXT DEFAULT '',sourceFrom TEXT DEFAULT '',createdTime TEXT DEFAULT "
    "(datetime('now','localtime')));",
    "CREATE TABLE IF NOT EXISTS archive_study (id TEXT PRIMARY KEY NOT NULL,studyUID TEXT,studyID TEXT ,"
    "accessionNumber TEXT,studyDate TEXT,studyTime TEXT,studyDescription TEXT,patientName TEXT,patientID TEXT,"
    "patientBirthDate TEXT,patientSex TEXT,patientAge TEXT,storePath TEXT,createdTime TEXT DEFAULT "
    "(datetime('now','localtime')));",
    "CREATE TABLE IF NOT EXISTS archive_series(id TEXT PRIMARY KEY NOT NULL,patientID TEXT,studyUID TEXT NOT "
    "NULL,seriesUID TEXT,seriesNumber TEXT,seriesDate TEXT,modality TEXT,imageType TEXT,bodyPartExamined "
    "TEXT,institutionName TEXT,sliceThickness TEXT,seriesDescription TEXT,storePath TEXT,createdTime TEXT "
    "DEFAULT (datetime('now','localtime')));",
    nullptr};

void PatientDB::OnCreate(CppSQLite3DB& db) {
  for (const char* const* sql = kCreateStatements; *sql; ++sql) db.Execute(*sql);
  // The lists filter series by study and sort studies by time; without these every list is a
  // scan of all series per study.
  db.Execute("CREATE INDEX IF NOT EXISTS archive_series_study ON archive_series(studyUID,patientID);");
  db.Execute("CREATE INDEX IF NOT EXISTS archive_series_uid ON archive_series(seriesUID);");
  db.Execute("CREATE INDEX IF NOT EXISTS archive_patient_time ON archive_patient(createdTime);");
  db.Execute("CREATE INDEX IF NOT EXISTS archive_study_time ON archive_study(createdTime);");
}

bool PatientDB::AddInstances(const std::string& path, const std::vector<InstanceInfo>& list) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  std::map<std::string, std::vector<const InstanceInfo*>> groups;
  GroupBySeries(list, groups);
  SqlTransaction transaction(db_);
  CppSQLite3Statement& patient = Prepared(kInsertPatient.c_str());
  CppSQLite3Statement& study = Prepared(kInsertStudy.c_str());
  CppSQLite3Statement& series = Prepared(kInsertSeries.c_str());
  for (const auto& [key, group] : groups) {
    const InstanceInfo& i = *group.front();
    InsertStudy(patient, i, i.sid, i.archivePath);
    InsertStudy(study, i, i.studyUID, i.studyPath);
    InsertSeries(series, i);
  }
  transaction.Commit();
  return true;
}

bool PatientDB::UpdateTexts(const std::string& path, const InstanceInfo& info) {
  static const std::string patient = StudyTextsUpdate("archive_patient");
  static const std::string study = StudyTextsUpdate("archive_study");
  static const std::string series = SeriesTextsUpdate("archive_series");
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  SqlTransaction transaction(db_);
  UpdateStudyTexts(Prepared(patient.c_str()), info);
  UpdateStudyTexts(Prepared(study.c_str()), info);
  UpdateSeriesTexts(Prepared(series.c_str()), info);
  transaction.Commit();
  return true;
}

void PatientDB::ReadSeriesOf(PatientRecord& record) {
  SqlText sql;
  CppSQLite3Query q = db_.Query(sql.Format(
      "SELECT * FROM archive_series WHERE studyUID = %Q and patientID = %Q ORDER BY id ASC", record.studyUID.c_str(),
      record.patientID.c_str()));
  ReadRows(q, record.series);
}

bool PatientDB::GetPatients(const std::string& path, std::vector<PatientRecord>& out, const char* like) {
  out.clear();
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  const std::string where = LikeClause("archive_patient", like);
  CppSQLite3Query q = db_.Query(("SELECT * FROM archive_patient" + where + " ORDER BY createdTime DESC").c_str());
  ReadRows(q, out);
  q.Finalize();
  if (!like && out.size() < kBulkSeriesThreshold) {
    for (PatientRecord& record : out) ReadSeriesOf(record);
    return true;
  }
  // A long list reads every series in one pass instead of one query per study; a search reads
  // only the series of the studies found, through the series index (CROSS JOIN keeps the studies
  // the outer loop: otherwise the planner walks all series in id order).
  std::unordered_map<StudyKey, PatientRecord*, StudyKeyHash> byStudy;
  for (PatientRecord& record : out) byStudy.emplace(StudyKey{record.studyUID, record.patientID}, &record);
  CppSQLite3Query s = db_.Query(
      like ? ("SELECT archive_series.* FROM archive_patient CROSS JOIN archive_series ON archive_series.studyUID = "
              "archive_patient.studyUID and archive_series.patientID = archive_patient.patientID" +
              where + " ORDER BY archive_series.id ASC")
                 .c_str()
           : "SELECT * FROM archive_series ORDER BY id ASC");
  ReadRows<SeriesRecord>(s, [&](SeriesRecord&& series) {
    auto found = byStudy.find(StudyKey{series.studyUID, series.patientID});
    if (found != byStudy.end()) found->second->series.push_back(std::move(series));
  });
  return true;
}

bool PatientDB::GetPatientWhere(const char* sql, PatientRecord& record) {
  CppSQLite3Query q = db_.Query(sql);
  if (!ReadRow(q, record)) return false;
  q.Finalize();
  ReadSeriesOf(record);
  return true;
}

bool PatientDB::GetPatient(const std::string& path, const char* id, PatientRecord& record) {
  if (!FileExists(path)) return false;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  record.series.clear();
  if (!id) return false;
  SqlText sql;
  return GetPatientWhere(sql.Format("SELECT * FROM archive_patient WHERE id = %Q", id), record);
}

bool PatientDB::GetPatientByStudy(const std::string& path, const char* patientID, const char* studyUID,
                                  PatientRecord& record) {
  if (!FileExists(path)) return false;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  record.series.clear();
  if (!patientID || !studyUID) return false;
  SqlText sql;
  return GetPatientWhere(
      sql.Format("SELECT * FROM archive_patient WHERE studyUID = %Q and patientID = %Q ", studyUID, patientID), record);
}

bool PatientDB::GetSeries(const std::string& path, const char* id, SeriesRecord& record) {
  if (!FileExists(path)) return false;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path) || !id) return false;
  SqlText sql;
  CppSQLite3Query q = db_.Query(sql.Format("SELECT * FROM archive_series WHERE id = %Q", id));
  return ReadRow(q, record);
}

bool PatientDB::GetSeriesByUID(const std::string& path, const char* seriesUID, SeriesRecord& record) {
  if (!FileExists(path)) return false;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path) || !seriesUID) return false;
  SqlText sql;
  CppSQLite3Query q = db_.Query(sql.Format("SELECT * FROM archive_series WHERE seriesUID = %Q", seriesUID));
  return ReadRow(q, record);
}

bool PatientDB::DeletePatient(const std::string& path, const char* id) {
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  if (!id) return true;
  SqlText sql;
  std::string studyUID, patientID;
  {
    CppSQLite3Query q = db_.Query(sql.Format("SELECT * FROM archive_patient WHERE id = %Q", id));
    PatientRecord row;
    if (!ReadRow(q, row)) return true;
    studyUID = row.studyUID;
    patientID = row.patientID;
  }
  SqlTransaction transaction(db_);
  db_.Execute(sql.Format("DELETE FROM archive_patient WHERE id = %Q;", id));
  // A Study UID shared with another patient keeps its study row: that patient is still listed.
  if (db_.QueryInt(sql.Format("SELECT count(*) FROM archive_patient WHERE studyUID = %Q", studyUID.c_str())) == 0)
    db_.Execute(sql.Format("DELETE FROM archive_study WHERE studyUID = %Q;", studyUID.c_str()));
  db_.Execute(sql.Format("DELETE FROM archive_series WHERE studyUID = %Q and patientID = %Q;", studyUID.c_str(),
                         patientID.c_str()));
  transaction.Commit();
  return true;
}

bool PatientDB::DeleteSeries(const std::string& path, const char* id) {
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  if (!id) return false;
  SqlText sql;
  db_.Execute(sql.Format("DELETE FROM archive_series WHERE id = %Q;", id));
  return true;
}

bool PatientDB::GetStudies(const std::string& path, std::vector<StudyRecord>& out, const char* like,
                           bool withSeries) {
  out.clear();
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  const std::string where = LikeClause("archive_study", like);
  CppSQLite3Query q = db_.Query(("SELECT * FROM archive_study" + where + " ORDER BY createdTime DESC").c_str());
  ReadRows(q, out);
  q.Finalize();
  if (!withSeries) return true;
  if (!like && out.size() < kBulkSeriesThreshold) {
    SqlText sql;
    for (StudyRecord& record : out) {
      CppSQLite3Query s = db_.Query(
          sql.Format("SELECT * FROM archive_series WHERE studyUID = %Q ORDER BY id ASC", record.studyUID.c_str()));
      ReadRows(s, record.series);
    }
    return true;
  }
  std::unordered_map<std::string, StudyRecord*> byStudy;
  for (StudyRecord& record : out) byStudy.emplace(record.studyUID, &record);
  CppSQLite3Query s = db_.Query(
      like ? ("SELECT archive_series.* FROM archive_study CROSS JOIN archive_series ON archive_series.studyUID = "
              "archive_study.studyUID" +
              where + " ORDER BY archive_series.id ASC")
                 .c_str()
           : "SELECT * FROM archive_series ORDER BY id ASC");
  ReadRows<SeriesRecord>(s, [&](SeriesRecord&& series) {
    auto found = byStudy.find(series.studyUID);
    if (found != byStudy.end()) found->second->series.push_back(std::move(series));
  });
  return true;
}

bool PatientDB::GetAllSeries(const std::string& path, std::vector<SeriesRecord>& out) {
  out.clear();
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  CppSQLite3Query q = db_.Query("SELECT * FROM archive_series");
  ReadRows(q, out);
  return true;
}

bool PatientDB::GetStudyCount(const std::string& path, int* count) {
  *count = 0;
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  *count = db_.QueryInt("SELECT count(*) FROM archive_study");
  return true;
}

bool PatientDB::SetColumn(const std::string& path, const char* sql) {
  if (!FileExists(path)) return true;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  db_.Execute(sql);
  return true;
}

bool PatientDB::SetFlag(const std::string& path, const char* id, const char* column, bool value) {
  if (!id || !column || !IsOneOf(column, {"unread", "locked", "marked", "positive"})) return false;
  SqlText sql;
  return SetColumn(path, sql.Format("UPDATE archive_patient SET %Q = %d WHERE id = %Q;", column, value ? 1 : 0, id));
}

bool PatientDB::SetState(const std::string& path, const char* id, const char* column, int value) {
  if (!id || !column || !IsOneOf(column, {"sendState", "printState", "remoteState", "reportState"})) return false;
  SqlText sql;
  return SetColumn(path, sql.Format("UPDATE archive_patient SET %Q = %d WHERE id = %Q;", column, value, id));
}

bool PatientDB::SetText(const std::string& path, const char* id, const char* column, const char* text) {
  if (!id || !column || !text || !IsOneOf(column, {"sendID", "printID", "remoteID", "sourceFrom"})) return false;
  SqlText sql;
  return SetColumn(path, sql.Format("UPDATE archive_patient SET %Q = %Q WHERE id = %Q;", column, text, id));
}
