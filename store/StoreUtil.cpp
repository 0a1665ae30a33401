#include "StoreUtil.h"

#include <algorithm>
#include <functional>

#include "InstanceInfo.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "StoreLayout.h"

namespace {

// Appends value unless seen; an empty first value leaves the text empty but counts as seen.
void JoinDistinct(std::vector<std::string>& seen, std::string& out, const std::string& value) {
  if (std::find(seen.begin(), seen.end(), value) != seen.end()) return;
  seen.push_back(value);
  if (!out.empty()) out += ",";
  out += value;
}

void JoinField(const PatientRecord& study, std::string& out, std::string SeriesRecord::*field) {
  out.clear();
  std::vector<std::string> seen;
  for (const SeriesRecord& series : study.series) JoinDistinct(seen, out, series.*field);
}

}  // namespace

std::string StoreUtil::GetPatientSID(const std::string& patientID, const std::string& studyUID) {
  return StoreLayout::StudyId(patientID, studyUID);
}

bool StoreUtil::GetPatientSID(SODcmFile* file, std::string& sid) {
  if (!file) return false;
  std::string studyUID, patientID;
  file->GetDataset()->GetString(0x0020000D, studyUID, 0);
  file->GetDataset()->GetString(0x00100020, patientID, 0);
  sid = StoreLayout::StudyId(patientID, StoreLayout::TrimUID(studyUID));
  return true;
}

bool StoreUtil::GetPatientRecord(SODcmFile* file, PatientRecord& record) {
  InstanceInfo info;
  if (!GetInstanceInfo(file, info)) return false;
  record.id = info.sid;
  record.studyUID = info.studyUID;
  record.studyID = info.studyID;
  record.accessionNumber = info.accessionNumber;
  record.studyDate = info.studyDate;
  record.studyTime = info.studyTime;
  record.studyDescription = info.studyDescription;
  record.patientName = info.patientName;
  record.patientID = info.patientID;
  record.patientBirthDate = info.patientBirthDate;
  record.patientSex = info.patientSex;
  record.patientAge = info.patientAge;
  return true;
}

bool StoreUtil::GetSeriesRecord(SODcmFile* file, SeriesRecord& record) {
  InstanceInfo info;
  if (!GetInstanceInfo(file, info)) return false;
  record.id = info.seriesKey;
  record.patientID = info.patientID;
  record.studyUID = info.studyUID;
  record.seriesUID = info.seriesUID;
  record.seriesNumber = info.seriesNumber;
  record.seriesDate = info.seriesDate;
  record.modality = info.modality;
  record.imageType = info.imageType;
  record.sliceThickness = info.sliceThickness;
  record.seriesDescription = info.seriesDescription;
  record.bodyPartExamined = info.bodyPartExamined;
  record.institutionName = info.institutionName;
  return true;
}

bool StoreUtil::GetInstanceRecord(SODcmFile* file, InstanceRecord& record) {
  InstanceInfo info;
  if (!GetInstanceInfo(file, info)) return false;
  record.id = info.instanceKey;
  record.series_id = info.seriesKey;
  record.patientID = info.patientID;
  record.studyUID = info.studyUID;
  record.seriesUID = info.seriesUID;
  record.sopClassUID = info.sopClassUID;
  record.sopInstanceUID = info.sopInstanceUID;
  record.instanceNumber = info.instanceNumber;
  record.storePath = file->GetFilePath();
  return true;
}

void StoreUtil::GetModality(const PatientRecord& study, std::string& out) { JoinField(study, out, &SeriesRecord::modality); }

void StoreUtil::GetBodyPart(const PatientRecord& study, std::string& out) {
  JoinField(study, out, &SeriesRecord::bodyPartExamined);
}

void StoreUtil::GetInstitutionName(const PatientRecord& study, std::string& out) {
  JoinField(study, out, &SeriesRecord::institutionName);
}

void StoreUtil::GetModalityBodyPart(const PatientRecord& study, std::string& modalities, std::string& bodyParts) {
  modalities.clear();
  bodyParts.clear();
  std::vector<std::string> seenModalities, seenBodyParts;
  for (const SeriesRecord& series : study.series) {
    if (series.modality != "SR") JoinDistinct(seenModalities, modalities, series.modality);
    JoinDistinct(seenBodyParts, bodyParts, series.bodyPartExamined);
  }
}
