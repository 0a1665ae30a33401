#include "RowReader.h"

namespace {

// Each record kind names its columns once, here; readers and column lookups both walk this.
template <class Record, class Visit>
void StudyColumns(Record& r, Visit&& visit) {
  visit("id", r.id);
  visit("studyUID", r.studyUID);
  visit("studyID", r.studyID);
  visit("accessionNumber", r.accessionNumber);
  visit("studyDate", r.studyDate);
  visit("studyTime", r.studyTime);
  visit("studyDescription", r.studyDescription);
  visit("patientName", r.patientName);
  visit("patientID", r.patientID);
  visit("patientBirthDate", r.patientBirthDate);
  visit("patientSex", r.patientSex);
  visit("patientAge", r.patientAge);
  visit("storePath", r.storePath);
  visit("createdTime", r.createdTime);
}

template <class Visit>
void Columns(StudyRecord& r, Visit&& visit) {
  StudyColumns(r, visit);
}

template <class Visit>
void Columns(PatientRecord& r, Visit&& visit) {
  StudyColumns(r, visit);
  visit("unread", r.unread);
  visit("locked", r.locked);
  visit("marked", r.marked);
  visit("positive", r.positive);
  visit("sendState", r.sendState);
  visit("printState", r.printState);
  visit("remoteState", r.remoteState);
  visit("reportState", r.reportState);
  visit("sendID", r.sendID);
  visit("printID", r.printID);
  visit("remoteID", r.remoteID);
  visit("sourceFrom", r.sourceFrom);
}

template <class Visit>
void Columns(SeriesRecord& r, Visit&& visit) {
  visit("id", r.id);
  visit("patientID", r.patientID);
  visit("studyUID", r.studyUID);
  visit("seriesUID", r.seriesUID);
  visit("seriesNumber", r.seriesNumber);
  visit("seriesDate", r.seriesDate);
  visit("modality", r.modality);
  visit("imageType", r.imageType);
  visit("sliceThickness", r.sliceThickness);
  visit("seriesDescription", r.seriesDescription);
  visit("bodyPartExamined", r.bodyPartExamined);
  visit("institutionName", r.institutionName);
  visit("storePath", r.storePath);
  visit("createdTime", r.createdTime);
}

template <class Visit>
void Columns(InstanceRecord& r, Visit&& visit) {
  visit("id", r.id);
  visit("series_id", r.series_id);
  visit("patientID", r.patientID);
  visit("studyUID", r.studyUID);
  visit("seriesUID", r.seriesUID);
  visit("sopClassUID", r.sopClassUID);
  visit("sopInstanceUID", r.sopInstanceUID);
  visit("instanceNumber", r.instanceNumber);
  visit("storePath", r.storePath);
}

template <class Visit>
void Columns(StoreRecord& r, Visit&& visit) {
  visit("id", r.id);
  visit("status", r.status);
  visit("store_name", r.storeName);
  visit("updated_time", r.updatedTime);
  visit("created_time", r.createdTime);
}

// One field from its column: NULL reads as empty text, 0 or false.
struct FieldFrom {
  const CppSQLite3Query& q;
  const int* column;

  void operator()(const char*, std::string& field) {
    size_t length = 0;
    const char* text = q.FieldText(*column++, &length);
    if (text)
      field.assign(text, length);
    else
      field.clear();
  }
  void operator()(const char*, bool& field) { field = q.FieldInt64(*column++, 0) != 0; }
  void operator()(const char*, int32_t& field) { field = int32_t(q.FieldInt64(*column++, 0)); }
  void operator()(const char*, int64_t& field) { field = q.FieldInt64(*column++, 0); }
};

}  // namespace

template <class Record>
RowReader<Record>::RowReader(const CppSQLite3Query& q) {
  Record names;
  Columns(names, [&](const char* name, auto&) { columns_.push_back(q.FieldIndex(name)); });
}

template <class Record>
void RowReader<Record>::Read(const CppSQLite3Query& q, Record& record) const {
  Columns(record, FieldFrom{q, columns_.data()});
}

template class RowReader<StudyRecord>;
template class RowReader<PatientRecord>;
template class RowReader<SeriesRecord>;
template class RowReader<InstanceRecord>;
template class RowReader<StoreRecord>;
