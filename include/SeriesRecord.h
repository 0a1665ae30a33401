#pragma once

#include <string>
#include <vector>

#include "InstanceRecord.h"

// One series row, with its instances when the query asked for them.
struct SeriesRecord {
  std::string id;  // series key: "%08d_" series number + Series Instance UID
  std::string patientID;
  std::string studyUID;
  std::string seriesUID;
  std::string seriesNumber;
  std::string seriesDate;
  std::string modality;
  std::string imageType;
  std::string sliceThickness;
  std::string seriesDescription;  // UTF-8
  std::string bodyPartExamined;   // UTF-8
  std::string institutionName;    // UTF-8
  std::string storePath;          // absolute folder of the series
  std::string createdTime;
  std::vector<InstanceRecord> instances;
};
