#pragma once

#include <string>

// One instance row of a study database.
struct InstanceRecord {
  std::string id;         // instance key: "%06d_" instance number + SOP Instance UID
  std::string series_id;  // series key of its series
  std::string patientID;
  std::string studyUID;
  std::string seriesUID;
  std::string sopClassUID;
  std::string sopInstanceUID;
  std::string instanceNumber;
  std::string storePath;  // absolute path of the DICOM file
};
