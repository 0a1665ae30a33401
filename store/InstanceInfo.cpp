#include "InstanceInfo.h"

#include <cstdlib>

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "StoreLayout.h"

namespace {

enum : unsigned long {
  kSpecificCharacterSet = 0x00080005,
  kImageType = 0x00080008,
  kSOPClassUID = 0x00080016,
  kSOPInstanceUID = 0x00080018,
  kStudyDate = 0x00080020,
  kSeriesDate = 0x00080021,
  kStudyTime = 0x00080030,
  kAccessionNumber = 0x00080050,
  kModality = 0x00080060,
  kInstitutionName = 0x00080080,
  kStudyDescription = 0x00081030,
  kSeriesDescription = 0x0008103E,
  kPatientName = 0x00100010,
  kPatientID = 0x00100020,
  kPatientBirthDate = 0x00100030,
  kPatientSex = 0x00100040,
  kPatientAge = 0x00101010,
  kPatientComments = 0x00104000,
  kBodyPartExamined = 0x00180015,
  kSliceThickness = 0x00180050,
  kStudyInstanceUID = 0x0020000D,
  kSeriesInstanceUID = 0x0020000E,
  kStudyID = 0x00200010,
  kSeriesNumber = 0x00200011,
  kInstanceNumber = 0x00200013,
};

void Read(const SODcmDataset& ds, unsigned long tag, std::string& field) { ds.GetString(tag, field, 0); }

// The whole value, all its backslash-separated values included.
void ReadWhole(const SODcmDataset& ds, unsigned long tag, std::string& field) {
  const char* value = nullptr;
  if (ds.GetString(tag, value) && value) field = value;
}

int ReadNumber(const SODcmDataset& ds, unsigned long tag, const std::string& text) {
  int number = 0;
  if (!text.empty()) ds.GetInt32(tag, number, 0);
  return number;
}

// Converts the five free texts to UTF-8 through the toolkit, in the file's character set (the
// legacy one where the file declares none or its bytes do not fit the declared one). The body
// part rides in Patient Comments, a text attribute the conversion converts.
void ConvertTexts(const std::string& charset, InstanceInfo& info) {
  struct Field {
    unsigned long tag;
    std::string* text;
  };
  const Field fields[] = {{kPatientName, &info.patientName},
                          {kStudyDescription, &info.studyDescription},
                          {kSeriesDescription, &info.seriesDescription},
                          {kPatientComments, &info.bodyPartExamined},
                          {kInstitutionName, &info.institutionName}};
  SODcmDataset texts;
  if (!charset.empty()) texts.SetString(kSpecificCharacterSet, charset);
  for (const Field& f : fields) texts.SetString(f.tag, *f.text);
  texts.ConvertToUTF8();
  for (const Field& f : fields) ReadWhole(texts, f.tag, *f.text);
}

}  // namespace

bool GetInstanceInfo(SODcmFile* file, InstanceInfo& info) {
  if (!file) return false;
  const SODcmDataset& ds = *file->GetDataset();
  Read(ds, kStudyInstanceUID, info.studyUID);
  info.studyUID = StoreLayout::TrimUID(info.studyUID);
  Read(ds, kStudyID, info.studyID);
  Read(ds, kAccessionNumber, info.accessionNumber);
  Read(ds, kStudyDate, info.studyDate);
  Read(ds, kStudyTime, info.studyTime);
  Read(ds, kStudyDescription, info.studyDescription);
  Read(ds, kPatientName, info.patientName);
  Read(ds, kPatientID, info.patientID);
  Read(ds, kPatientBirthDate, info.patientBirthDate);
  Read(ds, kPatientSex, info.patientSex);
  Read(ds, kPatientAge, info.patientAge);
  info.sid = StoreLayout::StudyId(info.patientID, info.studyUID);

  Read(ds, kSeriesInstanceUID, info.seriesUID);
  info.seriesUID = StoreLayout::TrimUID(info.seriesUID);
  Read(ds, kSeriesNumber, info.seriesNumber);
  Read(ds, kSeriesDate, info.seriesDate);
  Read(ds, kModality, info.modality);
  Read(ds, kSliceThickness, info.sliceThickness);
  ReadWhole(ds, kImageType, info.imageType);
  Read(ds, kSeriesDescription, info.seriesDescription);
  Read(ds, kBodyPartExamined, info.bodyPartExamined);
  Read(ds, kInstitutionName, info.institutionName);
  info.seriesKey = StoreLayout::SeriesKey(ReadNumber(ds, kSeriesNumber, info.seriesNumber), info.seriesUID);

  Read(ds, kSOPClassUID, info.sopClassUID);
  Read(ds, kSOPInstanceUID, info.sopInstanceUID);
  info.sopInstanceUID = StoreLayout::TrimUID(info.sopInstanceUID);
  Read(ds, kInstanceNumber, info.instanceNumber);
  info.instanceKey = StoreLayout::InstanceKey(ReadNumber(ds, kInstanceNumber, info.instanceNumber), info.sopInstanceUID);
  info.sidSeriesKey = info.sid + "_" + info.seriesKey;

  std::string charset;
  ReadWhole(ds, kSpecificCharacterSet, charset);
  ConvertTexts(charset, info);
  return !info.studyUID.empty();
}

bool GetInstanceInfos(const PatientRecord& study, std::vector<InstanceInfo>& out) {
  out.clear();
  InstanceInfo info;
  info.studyUID = study.studyUID;
  info.studyID = study.studyID;
  info.accessionNumber = study.accessionNumber;
  info.studyDate = study.studyDate;
  info.studyTime = study.studyTime;
  info.studyDescription = study.studyDescription;
  info.patientName = study.patientName;
  info.patientID = study.patientID;
  info.patientBirthDate = study.patientBirthDate;
  info.patientSex = study.patientSex;
  info.patientAge = study.patientAge;
  info.sid = StoreLayout::StudyId(study.patientID, study.studyUID);
  info.archivePath = study.storePath;
  info.studyPath = study.storePath;
  for (const SeriesRecord& series : study.series) {
    info.seriesUID = series.seriesUID;
    info.seriesNumber = series.seriesNumber;
    info.seriesDate = series.seriesDate;
    info.modality = series.modality;
    info.sliceThickness = series.sliceThickness;
    info.imageType = series.imageType;
    info.seriesDescription = series.seriesDescription;
    info.bodyPartExamined = series.bodyPartExamined;
    info.institutionName = series.institutionName;
    info.seriesKey = StoreLayout::SeriesKey(std::atoi(series.seriesNumber.c_str()), series.seriesUID);
    info.sidSeriesKey = info.sid + "_" + info.seriesKey;
    info.seriesPath = series.storePath;
    for (const InstanceRecord& instance : series.instances) {
      info.sopClassUID = instance.sopClassUID;
      info.sopInstanceUID = instance.sopInstanceUID;
      info.instanceNumber = instance.instanceNumber;
      info.instanceKey = StoreLayout::InstanceKey(std::atoi(instance.instanceNumber.c_str()), instance.sopInstanceUID);
      info.filePath = instance.storePath;
      out.push_back(info);
    }
  }
  return true;
}
