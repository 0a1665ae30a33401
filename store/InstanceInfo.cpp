#include "InstanceInfo.h"

#include <cstdlib>

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmTags.h"
#include "StoreLayout.h"

namespace {

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
  const Field fields[] = {{dcmtag::PatientName, &info.patientName},
                          {dcmtag::StudyDescription, &info.studyDescription},
                          {dcmtag::SeriesDescription, &info.seriesDescription},
                          {dcmtag::PatientComments, &info.bodyPartExamined},
                          {dcmtag::InstitutionName, &info.institutionName}};
  SODcmDataset texts;
  if (!charset.empty()) texts.SetString(dcmtag::SpecificCharacterSet, charset);
  for (const Field& f : fields) texts.SetString(f.tag, *f.text);
  texts.ConvertToUTF8();
  for (const Field& f : fields) ReadWhole(texts, f.tag, *f.text);
}

}  // namespace

bool GetInstanceInfo(SODcmFile* file, InstanceInfo& info) {
  if (!file) return false;
  const SODcmDataset& ds = *file->GetDataset();
  Read(ds, dcmtag::StudyInstanceUID, info.studyUID);
  info.studyUID = StoreLayout::TrimUID(info.studyUID);
  Read(ds, dcmtag::StudyID, info.studyID);
  Read(ds, dcmtag::AccessionNumber, info.accessionNumber);
  Read(ds, dcmtag::StudyDate, info.studyDate);
  Read(ds, dcmtag::StudyTime, info.studyTime);
  Read(ds, dcmtag::StudyDescription, info.studyDescription);
  Read(ds, dcmtag::PatientName, info.patientName);
  Read(ds, dcmtag::PatientID, info.patientID);
  Read(ds, dcmtag::PatientBirthDate, info.patientBirthDate);
  Read(ds, dcmtag::PatientSex, info.patientSex);
  Read(ds, dcmtag::PatientAge, info.patientAge);
  info.sid = StoreLayout::StudyId(info.patientID, info.studyUID);

  Read(ds, dcmtag::SeriesInstanceUID, info.seriesUID);
  info.seriesUID = StoreLayout::TrimUID(info.seriesUID);
  Read(ds, dcmtag::SeriesNumber, info.seriesNumber);
  Read(ds, dcmtag::SeriesDate, info.seriesDate);
  Read(ds, dcmtag::Modality, info.modality);
  Read(ds, dcmtag::SliceThickness, info.sliceThickness);
  ReadWhole(ds, dcmtag::ImageType, info.imageType);
  Read(ds, dcmtag::SeriesDescription, info.seriesDescription);
  Read(ds, dcmtag::BodyPartExamined, info.bodyPartExamined);
  Read(ds, dcmtag::InstitutionName, info.institutionName);
  info.seriesKey =
      StoreLayout::SeriesKey(ReadNumber(ds, dcmtag::SeriesNumber, info.seriesNumber), info.seriesUID);

  Read(ds, dcmtag::SOPClassUID, info.sopClassUID);
  Read(ds, dcmtag::SOPInstanceUID, info.sopInstanceUID);
  info.sopInstanceUID = StoreLayout::TrimUID(info.sopInstanceUID);
  Read(ds, dcmtag::InstanceNumber, info.instanceNumber);
  info.instanceKey = StoreLayout::InstanceKey(ReadNumber(ds, dcmtag::InstanceNumber, info.instanceNumber),
                                              info.sopInstanceUID);
  info.sidSeriesKey = info.sid + "_" + info.seriesKey;

  std::string charset;
  ReadWhole(ds, dcmtag::SpecificCharacterSet, charset);
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
