#include "ReportSummary.h"

#include "Gossamy.h"
#include "IKelvast.h"
#include "ISOPlugin.h"
#include "SODcmDataset.h"
#include "SODcmSR.h"
#include "SODcmUtil.h"
#include "SOUtil.h"

namespace {

constexpr unsigned long kSeriesNumber = 0x00200011;
constexpr unsigned long kContentDate = 0x00080023;
constexpr unsigned long kContentTime = 0x00080033;
constexpr unsigned long kInstitutionName = 0x00080080;
constexpr unsigned long kStudyInstanceUID = 0x0020000D;
constexpr int kFirstReportSeries = 80001;

void OpenInReportPlugin(ISOExecuter* host, SODcmSR& sr, bool readOnly, bool modified) {
  SROpenRequest request;
  request.sr = &sr;
  request.readOnly = readOnly;
  request.modified = modified;
  host->SendCommand(SOPLUGIN_SEVRANE, SOCMD_OPEN_SR_FILEG, &request);
  host->ActivatePlugin(SOPLUGIN_SEVRANE);
}

}  // namespace

const char* ReportStatus(const ReportSummary& summary) {
  if (summary.verified) return "Verified";
  return summary.completed ? "Unverified" : "Partial";
}

bool ReadReportSummary(const char* path, ReportSummary& out) {
  SODcmSR sr;
  if (!path || !sr.LoadFile(path, true)) return false;
  out.path = path;
  out.completed = sr.IsCompleted();
  out.verified = sr.IsVerified();
  const SODcmDataset* dataset = sr.GetDataset();
  for (auto [tag, field] : {std::pair{kSeriesNumber, &out.seriesNumber}, std::pair{kContentDate, &out.contentDate},
                            std::pair{kContentTime, &out.contentTime}, std::pair{kInstitutionName, &out.institution}}) {
    field->clear();
    if (dataset) dataset->GetString(tag, *field);
  }
  sr.GetAuthorObserverName(out.author);
  sr.GetVerifyingObserverName(out.verifier);
  sr.GetVerificationDateTime(out.verificationTime);
  sr.GetFinding(out.finding);
  sr.GetConclusion(out.conclusion);
  return true;
}

void ListReportSummaries(IKelvast* store, const std::string& studyId, std::vector<ReportSummary>& out) {
  std::vector<SeriesRecord> series;
  if (!store || !store->GetSeriesRecords(studyId.c_str(), series, false)) return;
  for (const SeriesRecord& s : series) {
    if (s.modality != "SR") continue;
    SeriesRecord full;
    if (!store->GetSeriesRecord(s.id.c_str(), full)) continue;
    for (const InstanceRecord& instance : full.instances) {
      ReportSummary summary;
      if (!ReadReportSummary(instance.storePath.c_str(), summary)) continue;
      summary.instanceId = instance.id;
      summary.seriesId = instance.series_id;
      summary.patientID = instance.patientID;
      summary.studyUID = instance.studyUID;
      summary.seriesFolder = full.storePath;
      out.push_back(std::move(summary));
    }
  }
}

bool OpenReportRecord(ISOExecuter* host, const ReportSummary& summary) {
  if (!host) return false;
  SODcmSR sr;
  if (!sr.LoadFile(summary.path.c_str(), true)) return false;
  OpenInReportPlugin(host, sr, sr.IsVerified(), false);
  return true;
}

bool NewReportForFile(ISOExecuter* host, IKelvast* store, const char* path) {
  if (!host || !store || !path) return false;
  SODcmSR sr;
  if (!SODcmUtil::CreateSR(sr, path)) return false;
  SODcmDataset* dataset = sr.GetDataset();
  if (!dataset) return false;
  std::wstring institution;
  if (Gossamy::ReadHKCU(L"InstitutionName", institution) && !institution.empty())
    dataset->SetString(kInstitutionName, institution);
  std::string studyUID;
  dataset->GetString(kStudyInstanceUID, studyUID);
  int number = store->GetFreeSeriesNumber(studyUID.c_str(), kFirstReportSeries);
  dataset->SetString(kSeriesNumber, std::to_string(number));
  OpenInReportPlugin(host, sr, false, true);
  return true;
}

bool NewReportForStudy(ISOExecuter* host, IKelvast* store, const std::string& studyId) {
  if (!host || !store) return false;
  PatientRecord record;
  if (!store->GetPatientRecord(studyId.c_str(), record, true)) return false;
  for (const SeriesRecord& series : record.series)
    for (const InstanceRecord& instance : series.instances)
      if (SOUtil::FileExist(instance.storePath.c_str()))
        return NewReportForFile(host, store, instance.storePath.c_str());
  return false;
}
