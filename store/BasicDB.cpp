#include "BasicDB.h"

#include <filesystem>

#include "StoreLayout.h"

namespace {

std::string Text(const CppSQLite3Query& q, const char* column) {
  const char* text = q.FieldText(q.FieldIndex(column));
  return text ? text : std::string();
}

int Int(const CppSQLite3Query& q, const char* column) { return q.FieldInt(q.FieldIndex(column), 0); }

// The study columns that a study row and a listed study (with its workflow columns) share.
template <class Record>
void ReadStudyColumns(Record& r, const CppSQLite3Query& q) {
  r.id = Text(q, "id");
  r.studyUID = Text(q, "studyUID");
  r.studyID = Text(q, "studyID");
  r.accessionNumber = Text(q, "accessionNumber");
  r.studyDate = Text(q, "studyDate");
  r.studyTime = Text(q, "studyTime");
  r.studyDescription = Text(q, "studyDescription");
  r.patientName = Text(q, "patientName");
  r.patientID = Text(q, "patientID");
  r.patientBirthDate = Text(q, "patientBirthDate");
  r.patientSex = Text(q, "patientSex");
  r.patientAge = Text(q, "patientAge");
}

}  // namespace

bool BasicDB::Open(const std::string& path) {
  if (path.empty()) return false;
  if (path == path_) return true;
  Close();
  try {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
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

int BasicDB::GetUserVersion(CppSQLite3DB& db) {
  CppSQLite3Query q = db.Query("PRAGMA user_version");
  return q.Eof() ? 0 : q.FieldInt(0, 0);
}

void BasicDB::SetUserVersion(CppSQLite3DB& db, int version) {
  SqlText sql;
  db.Execute(sql.Format("PRAGMA user_version = %d", version));
}

void BasicDB::ReadStudyRow(StudyRecord& r, const CppSQLite3Query& q) const {
  ReadStudyColumns(r, q);
  r.storePath = Text(q, "storePath");
  r.createdTime = Text(q, "createdTime");
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetStudyPath(r));
}

void BasicDB::ReadSeriesRow(SeriesRecord& r, const CppSQLite3Query& q) const {
  r.id = Text(q, "id");
  r.patientID = Text(q, "patientID");
  r.studyUID = Text(q, "studyUID");
  r.seriesUID = Text(q, "seriesUID");
  r.seriesNumber = Text(q, "seriesNumber");
  r.seriesDate = Text(q, "seriesDate");
  r.modality = Text(q, "modality");
  r.imageType = Text(q, "imageType");
  r.sliceThickness = Text(q, "sliceThickness");
  r.seriesDescription = Text(q, "seriesDescription");
  r.bodyPartExamined = Text(q, "bodyPartExamined");
  r.institutionName = Text(q, "institutionName");
  r.storePath = Text(q, "storePath");
  r.createdTime = Text(q, "createdTime");
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetSeriesPath(r));
}

void BasicDB::ReadPatientRow(PatientRecord& r, const CppSQLite3Query& q) const {
  ReadStudyColumns(r, q);
  r.unread = Int(q, "unread") != 0;
  r.locked = Int(q, "locked") != 0;
  r.marked = Int(q, "marked") != 0;
  r.positive = Int(q, "positive") != 0;
  r.sendState = Int(q, "sendState");
  r.printState = Int(q, "printState");
  r.remoteState = Int(q, "remoteState");
  r.reportState = Int(q, "reportState");
  r.sendID = Text(q, "sendID");
  r.printID = Text(q, "printID");
  r.remoteID = Text(q, "remoteID");
  r.sourceFrom = Text(q, "sourceFrom");
  r.storePath = Text(q, "storePath");
  r.createdTime = Text(q, "createdTime");
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetStudyPath(r));
}

void BasicDB::ReadInstanceRow(InstanceRecord& r, const CppSQLite3Query& q) const {
  r.id = Text(q, "id");
  r.series_id = Text(q, "series_id");
  r.patientID = Text(q, "patientID");
  r.studyUID = Text(q, "studyUID");
  r.seriesUID = Text(q, "seriesUID");
  r.sopClassUID = Text(q, "sopClassUID");
  r.sopInstanceUID = Text(q, "sopInstanceUID");
  r.instanceNumber = Text(q, "instanceNumber");
  r.storePath = Text(q, "storePath");
  if (r.storePath.empty()) r.storePath = StoreLayout::Join(storeFolder_, StoreLayout::GetInstancePath(r));
}

void BasicDB::GroupBySeries(const std::vector<InstanceInfo>& instances,
                            std::map<std::string, std::vector<const InstanceInfo*>>& groups) {
  groups.clear();
  for (const InstanceInfo& info : instances) groups[info.sidSeriesKey].push_back(&info);
}
