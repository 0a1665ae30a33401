#include "ClientOrder.h"

#include <algorithm>
#include <filesystem>

#include "IKelvast.h"
#include "Jorvel.h"
#include "OrderStates.h"
#include "RemoteRecords.h"
#include "RemoteSession.h"

bool ClientOrder::Update(const DiagnosticRecord& record, bool notify) {
  OrderObject::Update(record, notify);
  std::string id = StudyId(record);
  PatientRecord study;
  store_->GetPatientRecord(id.c_str(), study, false);
  // Another consultation of the same study owns its columns.
  if (!study.remoteID.empty() && study.remoteID != record.orderNumber) return true;
  store_->SetPatientText(id.c_str(), "remoteID", record.orderNumber.c_str());
  int target = RemoteRecords::RemoteStateOf(record.state);
  if (study.remoteState != target) store_->SetPatientState(id.c_str(), "remoteState", target);
  if (target == 3 && NeedsReportDownload()) {
    bool expected = true;
    if (autoFetchReport_.compare_exchange_strong(expected, false)) FetchReport();
  }
  return true;
}

void ClientOrder::AskStore(const DiagnosticRecord& record, LocalAnswers& answers) {
  OrderStates::ClientDisplayState(
      0, record.state, record.study.transferStatus,
      OrderStates::Remember(answers.needsReportDownload, [this] { return NeedsReportDownload(); }));
}

bool ClientOrder::Start() {
  if (Record().state == "NEW") UploadImages(false);
  return true;
}

bool ClientOrder::GetReportPath(std::string& path) {
  std::string report = ReportPath();
  std::error_code ec;
  if (report.empty() || !std::filesystem::exists(report, ec)) return false;
  path = report;
  return true;
}

bool ClientOrder::LoadLocalStudy(PatientRecord& study) {
  OrderObject::LoadLocalStudy(study);
  DiagnosticRecord record = Record();
  const auto& wanted = record.study.seriesUIDs;
  std::erase_if(study.series, [&](const SeriesRecord& series) {
    return series.seriesUID != record.study.reportSeriesUID &&
           std::find(wanted.begin(), wanted.end(), series.seriesUID) == wanted.end();
  });
  return true;
}

void ClientOrder::ReceiveReport() {
  DiagnosticRecord record = Record();
  if (record.reportReceived) return;
  DiagnosticRecord answer;
  WebError error;
  if (Web_DiagnosticHaReceive(record.id, &answer, &error)) Update(answer, true);
}

bool ClientOrder::Cancel() {
  DiagnosticRecord answer;
  WebError error;
  if (!Web_DiagnosticCancel(Record().id, &answer, &error)) return false;
  Update(answer, true);
  return true;
}

void ClientOrder::UploadFinishedSteps(bool success) {
  RemoteSession::NetworkStore()->RemoveCallback(this);
  DiagnosticRecord record = Record();
  // Set before the record's update tells the observers, so that their refresh shows it.
  uploadFailed_ = !success;
  if (record.state == "NEW") {
    DiagnosticRecord answer;
    WebError error;
    if (success && Web_DiagnosticActivate(record.id, &answer, &error)) {
      Update(answer, true);
    } else {
      uploadFailed_ = true;
      Update(record, true);
    }
  }
  Notify(&IOrderObjectCallback::OnUploadFinished);
}
