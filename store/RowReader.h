#pragma once

#include <string>
#include <utility>
#include <vector>

#include "CppSQLite3.h"
#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "SeriesRecord.h"
#include "StoreRecord.h"
#include "StudyRecord.h"

// Reads the rows of one query into records of one kind (StudyRecord, PatientRecord, SeriesRecord,
// InstanceRecord, StoreRecord). Every column a record takes is found by name once, when the reader
// is made; a missing column raises CppSQLite3Exception. Only the row's own columns are read:
// paths derived from the store's folder are the caller's.
template <class Record>
class RowReader {
 public:
  explicit RowReader(const CppSQLite3Query& q);
  void Read(const CppSQLite3Query& q, Record& record) const;

 private:
  std::vector<int> columns_;  // in the order the record's fields are visited
};

// Each remaining row of q as a new record handed to take(Record&&).
template <class Record, class Take>
void ForEachRow(CppSQLite3Query& q, Take&& take) {
  if (q.Eof()) return;
  const RowReader<Record> reader(q);
  for (; !q.Eof(); q.NextRow()) {
    Record record;
    reader.Read(q, record);
    take(std::move(record));
  }
}

extern template class RowReader<StudyRecord>;
extern template class RowReader<PatientRecord>;
extern template class RowReader<SeriesRecord>;
extern template class RowReader<InstanceRecord>;
extern template class RowReader<StoreRecord>;
