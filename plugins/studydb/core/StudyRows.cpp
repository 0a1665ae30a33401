#include "StudyRows.h"

#include "SODcmConvert.h"
#include "SOUtil.h"
#include "StoreUtil.h"

#include <algorithm>

namespace {

std::wstring Wide(const std::string& text) { return SOUtil::UTF82WStr(text.c_str()); }

const char* RemoteIcon(int state) {
  switch (state) {
    case 1: return "<i db\\image\\remote_uploading.png>";
    case 2: return "<i db\\image\\remote_waiting.png>";
    case 3: return "<i db\\image\\remote_completed.png>";
    case 4: return "<i db\\image\\remote_failed.png>";
    default: return nullptr;
  }
}

}  // namespace

StudyRowTexts MakeStudyRow(const PatientRecord& record) {
  StudyRowTexts row;
  auto& c = row.columns;
  if (const char* icon = RemoteIcon(record.remoteState)) {
    c[0] = Wide(icon);
    row.hasRemoteIcon = true;
  }
  bool hasReport = std::any_of(record.series.begin(), record.series.end(),
                               [](const SeriesRecord& series) { return series.modality == "SR"; });
  if (hasReport) {
    c[1] = Wide(record.printState == 1 ? "<i db\\image\\report_printed.png>" : "<i db\\image\\report_completed.png>");
    row.hasReportIcon = true;
  }
  c[2] = Wide(record.patientID);
  c[3] = Wide(record.patientName);
  c[4] = Wide(record.patientSex);
  c[5] = Wide(SOUtil::TrimBegin(record.patientAge, '0'));
  SODcmDate date;
  SODcmTime time;
  if (SODcmConvert::Convert(record.studyDate.c_str(), date) && SODcmConvert::Convert(record.studyTime.c_str(), time)) {
    c[6] = Wide(SOUtil::Format("%d/%02d/%02d %02d:%02d", date.year, date.month, date.day, time.hour, time.minute));
  }
  c[7] = Wide(record.patientBirthDate);
  c[8] = Wide(record.studyID);
  std::string modalities, bodyParts, institutions;
  StoreUtil::GetModalityBodyPart(record, modalities, bodyParts);
  StoreUtil::GetInstitutionName(record, institutions);
  c[9] = Wide(modalities);
  c[10] = Wide(bodyParts);
  c[11] = Wide(institutions);
  c[12] = Wide(record.studyDescription);
  return row;
}

int ClampSelection(int index, int rowCount) {
  if (rowCount <= 0) return -1;
  return std::clamp(index, 0, rowCount - 1);
}
