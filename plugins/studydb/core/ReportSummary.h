#pragma once

#include <string>
#include <vector>

class IKelvast;
class ISOExecuter;

// What the lists and the report dialog show of one structured report of a study.
struct ReportSummary {
  std::string instanceId;
  std::string seriesId;  // deleting this series removes the report
  std::string patientID;
  std::string studyUID;
  bool completed = false;
  bool verified = false;
  std::wstring seriesNumber;
  std::wstring contentDate;  // DICOM form, as stored
  std::wstring contentTime;
  std::wstring author;
  std::wstring verifier;
  std::wstring institution;
  std::wstring verificationTime;
  std::wstring finding;
  std::wstring conclusion;
  std::string seriesFolder;
  std::string path;
};

// The status word of a report, untranslated: "Verified", "Unverified" (completed) or "Partial".
const char* ReportStatus(const ReportSummary& summary);

// False when the file does not load as a report; the store's ids are left as they were.
bool ReadReportSummary(const char* path, ReportSummary& out);
// Every readable report of the study's SR series, series and instances in the store's order.
void ListReportSummaries(IKelvast* store, const std::string& studyId, std::vector<ReportSummary>& out);

// The hand-offs to the report plug-in. Each is false without a host or a store.
// Opens the report read-only when it is verified; the report plug-in is activated even when it
// refuses the document.
bool OpenReportRecord(ISOExecuter* host, const ReportSummary& summary);
// A new, unsaved report for the study of that image, numbered with the study's first free
// series number from 80001 on.
bool NewReportForFile(ISOExecuter* host, IKelvast* store, const char* path);
// The same for the first image of the study whose file exists; false when none does.
bool NewReportForStudy(ISOExecuter* host, IKelvast* store, const std::string& studyId);
