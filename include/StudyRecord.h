#pragma once

#include <string>
#include <vector>

#include "SeriesRecord.h"

// One row of the patients database's study table, with its series.
struct StudyRecord {
  std::string id;
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
  std::string storePath;  // absolute folder of the study
  std::string createdTime;
  std::vector<SeriesRecord> series;
};
