#include "StudyDB.h"

#include <filesystem>

#include "SOCommitSCU.h"

namespace {

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

const char* const StudyDB::kCreateStatements[] = {
    "CREATE TABLE IF NOT EXISTS dcm_study (id TEXT PRIMARY KEY NOT NULL,studyUID TEXT,studyID TEXT ,accessionNumber "
    "TEXT,studyDate TEXT,studyTime TEXT,studyDescription TEXT,patientName TEXT,patientID TEXT,patientBirthDate "
    "TEXT,patientSex TEXT,patientAge TEXT,storePath TEXT,createdTime TEXT DEFAULT (datetime('now','localtime')));",
    "CREATE TABLE IF NOT EXISTS dcm_series(id TEXT PRIMARY KEY NOT NULL,patientID TEXT,studyUID TEXT NOT "
    "NULL,seriesUID TEXT,seriesNumber TEXT,seriesDate TEXT,modality TEXT,imageType TEXT,bodyPartExamined "
    "TEXT,institutionName TEXT,sliceThickness TEXT,seriesDescription TEXT,storePath TEXT,createdTime TEXT DEFAULT "
    "(datetime('now','localtime')));",
    "CREATE TABLE IF NOT EXISTS dcm_instance(id TEXT PRIMARY KEY NOT NULL,series_id TEXT NOT NULL,patientID TEXT NOT "
    "NULL,studyUID TEXT NOT NULL,seriesUID TEXT NOT NULL,sopClassUID TEXT,sopInstanceUID TEXT,instanceNumber "
    "TEXT,storePath TEXT,createdTime TEXT DEFAULT (datetime('now','localtime')));",
    nullptr};

namespace {

// Statement texts stay put while their statements are cached by address.
const std::string kInsertStudy = BasicDB::StudyInsert("dcm_study");
const std::string kInsertSeries = BasicDB::SeriesInsert("dcm_series");
// Instance Number is kept as the text the file carries; series order is its integer value. Text that is
// not an integer (empty, letters, a fraction) comes after every number; equal keys keep arrival order.
#define INSTANCE_NUMBER "trim(coalesce(instanceNumber, ''))"
#define INSTANCE_VALUE                                                                                    \
  "CASE WHEN " INSTANCE_NUMBER " GLOB '[0-9+-]*' AND substr(" INSTANCE_NUMBER ", 2) NOT GLOB '*[^0-9]*' AND " \
  INSTANCE_NUMBER " NOT IN ('+', '-') THEN CAST(" INSTANCE_NUMBER " AS INTEGER) END"
constexpr const char* kInstanceOrder = " ORDER BY " INSTANCE_VALUE " IS NULL, " INSTANCE_VALUE ", rowid";
#undef INSTANCE_VALUE
#undef INSTANCE_NUMBER
const std::string kAllInstancesInOrder = std::string("SELECT * FROM dcm_instance") + kInstanceOrder;

constexpr const char* kInsertInstance =
    "INSERT OR IGNORE INTO dcm_instance (id, series_id, patientID, studyUID, seriesUID, sopClassUID, "
    "sopInstanceUID, instanceNumber, storePath) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?);";

}  // namespace

void StudyDB::OnCreate(CppSQLite3DB& db) {
  for (const char* const* sql = kCreateStatements; *sql; ++sql) db.Execute(*sql);
  db.Execute("CREATE INDEX IF NOT EXISTS dcm_instance_series ON dcm_instance(series_id);");
}

void StudyDB::InsertRows(const std::vector<InstanceInfo>& list) {
  std::map<std::string, std::vector<const InstanceInfo*>> groups;
  GroupBySeries(list, groups);
  SqlTransaction transaction(db_);
  CppSQLite3Statement& study = Prepared(kInsertStudy.c_str());
  CppSQLite3Statement& series = Prepared(kInsertSeries.c_str());
  CppSQLite3Statement& instance = Prepared(kInsertInstance);
  for (const auto& [key, group] : groups) {
    const InstanceInfo& i = *group.front();
    InsertStudy(study, i, i.studyUID, i.studyPath);
    InsertSeries(series, i);
    for (const InstanceInfo* f : group)
      instance.Execute({&f->instanceKey, &f->seriesKey, &f->patientID, &f->studyUID, &f->seriesUID, &f->sopClassUID,
                        &f->sopInstanceUID, &f->instanceNumber, &f->filePath});
  }
  transaction.Commit();
}

bool StudyDB::AddInstances(const std::string& path, const std::vector<InstanceInfo>& list) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  InsertRows(list);
  return true;
}

bool StudyDB::UpdateTexts(const std::string& path, const InstanceInfo& info) {
  static const std::string study = StudyTextsUpdate("dcm_study");
  static const std::string series = SeriesTextsUpdate("dcm_series");
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  SqlTransaction transaction(db_);
  UpdateStudyTexts(Prepared(study.c_str()), info);
  UpdateSeriesTexts(Prepared(series.c_str()), info);
  transaction.Commit();
  return true;
}

bool StudyDB::DeleteSeries(const std::string& path, const char* seriesId) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Open(path)) return false;
  SqlText sql;
  SqlTransaction transaction(db_);
  db_.Execute(sql.Format("DELETE FROM dcm_series WHERE id = %Q;", seriesId));
  db_.Execute(sql.Format("DELETE FROM dcm_instance WHERE series_id = %Q;", seriesId));
  transaction.Commit();
  return true;
}

bool StudyDB::DeleteIfEmpty(const std::string& path) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!FileExists(path) || !Open(path)) return false;
  if (db_.QueryInt("SELECT (SELECT count(*) FROM dcm_series) + (SELECT count(*) FROM dcm_instance)") != 0)
    return false;
  Close();
  RemoveFiles(path);
  return true;
}

void StudyDB::AttachInstances(CppSQLite3DB& db, std::vector<SeriesRecord>& series) const {
  CppSQLite3Query q = db.Query(kAllInstancesInOrder.c_str());
  ReadRows<InstanceRecord>(q, [&](InstanceRecord&& instance) {
    for (SeriesRecord& s : series) {
      if (s.id == instance.series_id) {
        s.instances.push_back(std::move(instance));
        break;
      }
    }
  });
}

bool StudyDB::GetAllSeries(const std::string& path, std::vector<SeriesRecord>& out, bool withInstances) const {
  out.clear();
  if (!FileExists(path)) return true;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  CppSQLite3Query q = db.Query("SELECT * FROM dcm_series ORDER BY id ASC");
  ReadRows(q, out);
  q.Finalize();
  if (withInstances) AttachInstances(db, out);
  return true;
}

bool StudyDB::GetSeriesInstances(const std::string& path, const char* seriesId,
                                 std::vector<InstanceRecord>& out) const {
  out.clear();
  if (!seriesId || !FileExists(path)) return false;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  CppSQLite3Query q =
      db.Query(sql.Format("SELECT * FROM dcm_instance WHERE series_id = %Q%s", seriesId, kInstanceOrder));
  ReadRows(q, out);
  return true;
}

bool StudyDB::GetSeries(const std::string& path, const char* seriesId, SeriesRecord& record) const {
  if (!seriesId || !FileExists(path)) return false;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  {
    CppSQLite3Query q = db.Query(sql.Format("SELECT * FROM dcm_series WHERE id = %Q", seriesId));
    if (!ReadRow(q, record)) return false;
  }
  CppSQLite3Query q = db.Query(
      sql.Format("SELECT * FROM dcm_instance WHERE series_id = %Q%s", record.id.c_str(), kInstanceOrder));
  ReadRows(q, record.instances);
  return true;
}

bool StudyDB::GetInstance(const std::string& path, const char* instanceId, InstanceRecord& record) const {
  if (!instanceId || !FileExists(path)) return false;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  CppSQLite3Query q = db.Query(sql.Format("SELECT * FROM dcm_instance WHERE id = %Q", instanceId));
  return ReadRow(q, record);
}

bool StudyDB::GetStudySeries(const std::string& path, const char* patientID, const char* studyUID,
                             std::vector<SeriesRecord>& out, bool withInstances) const {
  if (!patientID || !studyUID) return false;
  out.clear();
  if (!FileExists(path)) return false;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  CppSQLite3Query q = db.Query(sql.Format(
      "SELECT * FROM dcm_series WHERE studyUID = %Q and patientID = %Q ORDER BY id ASC", studyUID, patientID));
  ReadRows(q, out);
  q.Finalize();
  if (withInstances) AttachInstances(db, out);
  return true;
}

bool StudyDB::GetInstances(const std::string& path, std::vector<InstanceRecord>& out, const char* studyUID) const {
  out.clear();
  if (!FileExists(path)) return true;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  CppSQLite3Query q = db.Query(studyUID ? sql.Format("SELECT * FROM dcm_instance WHERE studyUID = %Q;", studyUID)
                                        : "SELECT * FROM dcm_instance");
  ReadRows(q, out);
  return true;
}

bool StudyDB::GetReferencedSOPs(const std::string& path, std::vector<SODcmReferencedSOP>& out,
                                const char* studyUID) const {
  out.clear();
  if (!FileExists(path)) return true;
  CppSQLite3DB db;
  db.Open(path.c_str(), false);
  SqlText sql;
  CppSQLite3Query q = db.Query(studyUID ? sql.Format("SELECT * FROM dcm_instance WHERE studyUID = %Q;", studyUID)
                                        : "SELECT * FROM dcm_instance");
  if (q.Eof()) return true;
  int classColumn = q.FieldIndex("sopClassUID");
  int instanceColumn = q.FieldIndex("sopInstanceUID");
  for (; !q.Eof(); q.NextRow()) {
    const char* sopClass = q.FieldText(classColumn);
    const char* sopInstance = q.FieldText(instanceColumn);
    SODcmReferencedSOP sop;
    sop.sopClassUID = sopClass ? sopClass : "";
    sop.sopInstanceUID = sopInstance ? sopInstance : "";
    out.push_back(std::move(sop));
  }
  return true;
}
