#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SeriesRecord.h"

// One study as the store lists it: the study row with its workflow columns, and its series.
// The workflow columns (unread to sourceFrom) belong to the callers.
struct PatientRecord {
  std::string id;  // study id: PatientID + "_" + StudyInstanceUID, or the UID alone
  std::string studyUID;
  std::string studyID;
  std::string accessionNumber;
  std::string studyDate;
  std::string studyTime;
  std::string studyDescription;  // UTF-8
  std::string patientName;       // UTF-8
  std::string patientID;
  std::string patientBirthDate;
  std::string patientSex;
  std::string patientAge;
  std::string storePath;    // absolute folder of the study
  std::string createdTime;  // local "YYYY-MM-DD HH:MM:SS" of the insert
  bool unread = false;
  bool locked = false;
  bool marked = false;
  bool positive = false;
  int32_t sendState = 0;
  int32_t printState = 0;
  int32_t remoteState = 0;  // 1 uploading, 2 waiting, 3 completed, 4 failed
  int32_t reportState = 0;
  std::string sendID;
  std::string printID;
  std::string remoteID;
  std::string sourceFrom;
  std::vector<SeriesRecord> series;
};
