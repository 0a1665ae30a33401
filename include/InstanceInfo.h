#pragma once

#include <string>
#include <vector>

#include "PatientRecord.h"

class SODcmFile;

// The flat index record of one DICOM file on its way into a store. The four path fields are
// empty for files copied into the store (their rows then follow the store folder).
struct InstanceInfo {
  std::string sid;
  std::string seriesKey;
  std::string instanceKey;
  std::string sidSeriesKey;
  std::string archivePath;
  std::string studyPath;
  std::string seriesPath;
  std::string filePath;
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
  std::string seriesUID;
  std::string seriesNumber;
  std::string seriesDate;
  std::string modality;
  std::string seriesDescription;  // UTF-8
  std::string sliceThickness;
  std::string imageType;
  std::string bodyPartExamined;  // UTF-8
  std::string institutionName;   // UTF-8
  std::string sopClassUID;
  std::string sopInstanceUID;
  std::string instanceNumber;
};

// Fills every field but the four paths from the file's dataset. False for a null file (info
// untouched) or a file without a Study Instance UID (the rest filled).
bool GetInstanceInfo(SODcmFile* file, InstanceInfo& info);

// One flat record per instance of a study record tree, series by series; always true.
bool GetInstanceInfos(const PatientRecord& study, std::vector<InstanceInfo>& out);
