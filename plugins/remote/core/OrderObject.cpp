#include "OrderObject.h"

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <thread>

#include "IKelvast.h"
#include "RemoteSession.h"
#include "SOCommitSCU.h"

namespace {

const char kCallingAE[] = "ORVANTA";

bool Contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::string DecimalText(int64_t value) {
  char text[32];
  snprintf(text, sizeof(text), "%" PRId64, value);
  return text;
}

}  // namespace

OrderObject::OrderObject(IKelvast* store) : store_(store) {}

OrderObject::~OrderObject() { RemoteSession::NetworkStore()->RemoveCallback(this); }

template <typename Fn>
void OrderObject::RunDetached(Fn fn) {
  // A network-store event may still arrive while the last owner lets go; nothing to do then.
  std::shared_ptr<OrderObject> self = weak_from_this().lock();
  if (!self) return;
  std::thread([self, fn]() { fn(self.get()); }).detach();
}

int OrderObject::Percent(int done, int total) {
  if (total <= 0) return 0;
  return static_cast<int>(static_cast<double>(done) / total * 100.0);
}

DiagnosticRecord OrderObject::Record() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return record_;
}

std::string OrderObject::Id() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return record_.id;
}

int64_t OrderObject::OrderTime() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return record_.orderTime;
}

LocalAnswers OrderObject::Answers() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return answers_;
}

void OrderObject::RefreshAnswers() {
  DiagnosticRecord record;
  uint64_t version = 0;
  {
    std::lock_guard<std::mutex> guard(recordMutex_);
    record = record_;
    version = recordVersion_;
  }
  LocalAnswers answers;
  AskStore(record, answers);
  std::lock_guard<std::mutex> guard(recordMutex_);
  // A record applied meanwhile has asked, or is asking, for itself.
  if (version == recordVersion_) answers_ = answers;
}

std::string OrderObject::ReportPath() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return reportPath_;
}

void OrderObject::SetReportPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(recordMutex_);
  reportPath_ = path;
}

bool OrderObject::KeyMatches(const std::string& key) const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return key == record_.study.transferKey;
}

void OrderObject::Notify(void (IOrderObjectCallback::*event)(OrderObject*)) {
  observers_.ForEach([this, event](IOrderObjectCallback* observer) { (observer->*event)(this); });
}

void OrderObject::AddObserver(IOrderObjectCallback* observer) { observers_.Add(observer); }

void OrderObject::RemoveObserver(IOrderObjectCallback* observer) { observers_.Remove(observer); }

bool OrderObject::Update(const DiagnosticRecord& record, bool notify) {
  {
    std::lock_guard<std::mutex> guard(recordMutex_);
    record_ = record;
    ++recordVersion_;
    answers_ = LocalAnswers();
  }
  RefreshAnswers();
  if (notify) Notify(&IOrderObjectCallback::OnOrderUpdated);
  return true;
}

int OrderObject::GetLockState() const {
  DiagnosticRecord record = Record();
  if (!record.locked) return 0;
  return record.lockOwner.id == RemoteSession::CurrentUser().id ? 1 : 2;
}

std::string OrderObject::GetFinding() const {
  DiagnosticRecord r = Record();
  if (!r.reviseFinding.empty()) return r.reviseFinding;
  if (!r.verifyFinding.empty()) return r.verifyFinding;
  return r.reportFinding;
}

std::string OrderObject::GetConclusion() const {
  DiagnosticRecord r = Record();
  if (!r.reviseConclusion.empty()) return r.reviseConclusion;
  if (!r.verifyConclusion.empty()) return r.verifyConclusion;
  return r.reportConclusion;
}

std::string OrderObject::StudyId(const DiagnosticRecord& record) const {
  return store_->GetPatientSID(record.study.patientID, record.study.studyUID);
}

bool OrderObject::GetStudyPath(std::string& path) {
  PatientRecord study;
  if (!store_->GetPatientRecord(StudyId(Record()).c_str(), study, false)) return false;
  path = study.storePath;
  return true;
}

bool OrderObject::LoadLocalStudy(PatientRecord& study) {
  return store_->GetPatientRecord(StudyId(Record()).c_str(), study, true);
}

bool OrderObject::GetImagePaths(std::vector<std::string>& paths) {
  paths.clear();
  DiagnosticRecord record = Record();
  PatientRecord study;
  if (!store_->GetPatientRecord(StudyId(record).c_str(), study, true)) return true;
  for (const SeriesRecord& series : study.series) {
    if (!Contains(record.study.seriesUIDs, series.seriesUID)) continue;
    for (const InstanceRecord& instance : series.instances) paths.push_back(instance.storePath);
  }
  return true;
}

template <typename Transfer>
void OrderObject::FillTransfer(const DiagnosticRecord& record, Transfer& item) {
  item.key = record.study.transferKey;
  item.host = record.study.host;
  item.port = record.study.port;
  // Nodes send their commitment answers to the station's listener, which they know by its AE
  // title; the requests wait for them there.
  const std::string listenerAE = SOCommitSCU::StationListenerAETitle();
  item.callingAE = listenerAE.empty() ? kCallingAE : listenerAE;
  item.calledAE = record.study.aeTitle;
}

template void OrderObject::FillTransfer(const DiagnosticRecord&, DCMUpload&);
template void OrderObject::FillTransfer(const DiagnosticRecord&, DCMDownload&);

bool OrderObject::UploadImages(bool reupload) {
  DiagnosticRecord record = Record();
  if (record.study.transferKey.empty() || record.study.host.empty() || record.study.studyUID.empty() ||
      record.study.seriesUIDs.empty()) {
    return false;
  }
  DCMUpload upload;
  FillTransfer(record, upload);
  upload.skipFirstCommit = reupload;
  PatientRecord study;
  store_->GetPatientRecord(StudyId(record).c_str(), study, true);
  for (const SeriesRecord& series : study.series) {
    if (!Contains(record.study.seriesUIDs, series.seriesUID)) continue;
    for (const InstanceRecord& instance : series.instances) {
      upload.files.push_back({instance.sopClassUID, instance.sopInstanceUID, instance.storePath});
    }
  }
  IHalvex* network = RemoteSession::NetworkStore();
  network->AddCallback(this);
  if (!network->QueueUpload(upload)) {
    network->RemoveCallback(this);
    return false;
  }
  Notify(&IOrderObjectCallback::OnUploadQueued);
  return true;
}

bool OrderObject::DownloadImages(bool redownload) {
  DiagnosticRecord record = Record();
  if (record.study.transferKey.empty() || record.study.host.empty() || record.study.studyUID.empty() ||
      record.study.seriesUIDs.empty()) {
    return false;
  }
  DCMDownload download;
  FillTransfer(record, download);
  download.studyUIDs = {record.study.studyUID};
  if (!redownload) {
    PatientRecord study;
    store_->GetPatientRecord(StudyId(record).c_str(), study, true);
    for (const SeriesRecord& series : study.series) {
      for (const InstanceRecord& instance : series.instances) {
        download.existing.push_back({instance.sopClassUID, instance.sopInstanceUID, instance.storePath});
      }
    }
  }
  IHalvex* network = RemoteSession::NetworkStore();
  network->AddCallback(this);
  if (!network->QueueDownload(download)) {
    network->RemoveCallback(this);
    return false;
  }
  return true;
}

bool OrderObject::NeedsImageDownload() {
  std::string value;
  if (!store_->GetValue("HasDownload", value) || value != "true") return true;
  DiagnosticRecord record = Record();
  PatientRecord study;
  store_->GetPatientRecord(StudyId(record).c_str(), study, false);
  for (const std::string& uid : record.study.seriesUIDs) {
    bool present = std::any_of(study.series.begin(), study.series.end(),
                               [&](const SeriesRecord& series) { return series.seriesUID == uid; });
    if (!present) return true;
  }
  return false;
}

bool OrderObject::NeedsReportDownload() {
  DiagnosticRecord record = Record();
  const std::string& reportSeries = record.study.reportSeriesUID;
  if (reportSeries.empty()) return false;
  PatientRecord study;
  store_->GetPatientRecord(StudyId(record).c_str(), study, true);
  std::string file;
  for (const SeriesRecord& series : study.series) {
    // Each version of the report is an instance of its own; the newest has the highest number.
    if (series.seriesUID == reportSeries && !series.instances.empty()) file = series.instances.back().storePath;
  }
  std::string value;
  std::error_code ec;
  if (!file.empty() && std::filesystem::exists(file, ec) && store_->GetValue(reportSeries.c_str(), value) &&
      value == DecimalText(record.reportUpdatedTime)) {
    SetReportPath(file);
    return false;
  }
  return true;
}

bool OrderObject::FetchReport() {
  bool expected = false;
  if (!fetchingReport_.compare_exchange_strong(expected, true)) return true;
  RunDetached([](OrderObject* self) { self->FetchReportThread(); });
  return true;
}

void OrderObject::FetchReportThread() {
  DiagnosticRecord record = Record();
  const std::string reportSeries = record.study.reportSeriesUID;
  if (reportSeries.empty()) {
    fetchingReport_ = false;
    return;
  }
  Notify(&IOrderObjectCallback::OnReportFetchStarted);
  DCMDownload download;
  FillTransfer(record, download);
  if (RemoteSession::NetworkStore()->GetSeriesNow(download, {reportSeries}, this)) {
    ReceiveReport();
    store_->SetValue(reportSeries.c_str(), DecimalText(record.reportUpdatedTime).c_str());
  }
  RefreshAnswers();
  Notify(&IOrderObjectCallback::OnReportFetchFinished);
  fetchingReport_ = false;
}

void OrderObject::OnStoreFile(const DCMDownload*, SODcmFile* file) {
  store_->StoreFile(file, nullptr);
  Notify(&IOrderObjectCallback::OnStudyFilesStored);
}

void OrderObject::OnDownloadQueued(const DCMDownload* download) {
  if (!KeyMatches(download->key)) return;
  progress_ = 0;
  Notify(&IOrderObjectCallback::OnDownloadQueued);
}

void OrderObject::OnDownloadStarted(const DCMDownload* download) {
  if (!KeyMatches(download->key)) return;
  progress_ = 0;
  Notify(&IOrderObjectCallback::OnDownloadStarted);
}

void OrderObject::OnDownloadFile(const DCMDownload* download, SODcmFile* file) {
  if (KeyMatches(download->key)) store_->QueueFile(file);
}

void OrderObject::OnDownloadProgress(const DCMDownload* download, const DCMProgress* progress) {
  if (!KeyMatches(download->key)) return;
  progress_ = Percent(progress->done, progress->total);
  const int percent = progress_;
  observers_.ForEach([this, percent](IOrderObjectCallback* observer) { observer->OnDownloadProgress(this, percent); });
}

void OrderObject::OnDownloadFinished(const DCMDownload* download, const DCMFinish* finish) {
  if (!KeyMatches(download->key)) return;
  store_->CommitQueue();
  if (finish->success) store_->SetValue("HasDownload", "true");
  downloadProblem_ = finish->success ? 0 : finish->total == 0 ? 1 : 2;
  RunDetached([](OrderObject* self) {
    self->RefreshAnswers();
    self->Notify(&IOrderObjectCallback::OnDownloadFinished);
    self->Notify(&IOrderObjectCallback::OnStudyFilesStored);
    RemoteSession::NetworkStore()->RemoveCallback(self);
  });
}

void OrderObject::OnDownloadCancelled(const DCMDownload* download) {
  if (!KeyMatches(download->key)) return;
  RunDetached([](OrderObject* self) {
    self->RefreshAnswers();
    self->Notify(&IOrderObjectCallback::OnDownloadCancelled);
    RemoteSession::NetworkStore()->RemoveCallback(self);
  });
}

void OrderObject::OnUploadProgress(const DCMUpload* upload, const DCMProgress* progress) {
  if (!KeyMatches(upload->key)) return;
  progress_ = Percent(progress->done, progress->total);
  const int percent = progress_;
  observers_.ForEach([this, percent](IOrderObjectCallback* observer) { observer->OnUploadProgress(this, percent); });
}

void OrderObject::OnUploadFinished(const DCMUpload* upload, const DCMFinish* finish) {
  if (!KeyMatches(upload->key)) return;
  bool success = finish->success != 0;
  RunDetached([success](OrderObject* self) { self->UploadFinishedSteps(success); });
}

void OrderObject::OnUploadCancelled(const DCMUpload* upload) {
  if (!KeyMatches(upload->key)) return;
  RunDetached([](OrderObject* self) { self->UploadFinishedSteps(false); });
}

void OrderObject::UploadFinishedSteps(bool) {
  RemoteSession::NetworkStore()->RemoveCallback(this);
  Notify(&IOrderObjectCallback::OnUploadFinished);
}
