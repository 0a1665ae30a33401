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

std::string AgeText(const std::string& age) {
  const size_t digits = age.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string::npos) return age;
  const size_t first = std::min(age.find_first_not_of('0'), digits - 1);
  return age.substr(first);
}

std::string DecimalText(const std::string& value) {
  const size_t begin = value.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  std::string text = value.substr(begin, value.find_last_not_of(' ') - begin + 1);
  const size_t point = text.find('.');
  const bool numeric = point != std::string::npos &&
                       text.find_first_not_of("+-0123456789.") == std::string::npos &&
                       text.find('.', point + 1) == std::string::npos;
  if (!numeric) return text;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text.empty() || text == "-" || text == "+" ? "0" : text;
}

std::string PersonNameText(const std::string& name) {
  const size_t end = name.find_last_not_of("^ ");
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

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
  c[3] = Wide(PersonNameText(record.patientName));
  c[4] = Wide(record.patientSex);
  c[5] = Wide(AgeText(record.patientAge));
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
