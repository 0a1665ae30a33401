#include "TeamOrder.h"

#include <algorithm>
#include <filesystem>

#include "Gossamy.h"
#include "IArchiveDB.h"
#include "IKelvast.h"
#include "InstanceRecord.h"
#include "Jorvel.h"
#include "OrderStates.h"
#include "RemoteRecords.h"
#include "RemoteSession.h"
#include "SODcmDataset.h"
#include "SODcmSR.h"
#include "SODcmUtil.h"
#include "SOUtil.h"
#include "TeamLink.h"
#include "WebError.h"

namespace {

constexpr unsigned long kSeriesNumber = 0x00200011;
constexpr unsigned long kInstitutionName = 0x00080080;
constexpr unsigned long kPrivateCreator = 0x07390010;
constexpr unsigned long kReportKind = 0x07391000;
constexpr unsigned long kSopClassUID = 0x00080016;
constexpr unsigned long kSopInstanceUID = 0x00080018;
constexpr unsigned long kSeriesInstanceUID = 0x0020000E;
constexpr unsigned long kInstanceNumber = 0x00200013;
const char kConsultationReport[] = "TYPE_DIAG";

std::mutex g_clockMutex;
std::function<std::time_t()> g_clock;  // guarded by g_clockMutex; empty: the computer's clock

std::time_t Now() {
  std::lock_guard<std::mutex> guard(g_clockMutex);
  return g_clock ? g_clock() : std::time(nullptr);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

int LeadingNumber(const std::string& text) {
  int value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    any = true;
  }
  return any ? value : -1;
}

std::string Utf8(const std::wstring& text) { return SOUtil::W2UTF8Str(text.c_str()); }

}  // namespace

void TeamOrder::SetClock(std::function<std::time_t()> clock) {
  std::lock_guard<std::mutex> guard(g_clockMutex);
  g_clock = std::move(clock);
}

int TeamOrder::NextReportSeriesNumber(const std::vector<std::string>& seriesNumbers, int year, int month, int day) {
  int number = (year % 100) * 1000000 + month * 10000 + day * 100 + 1;
  bool raised = true;
  while (raised) {
    raised = false;
    for (const std::string& text : seriesNumbers) {
      if (!text.empty() && LeadingNumber(text) == number) {
        ++number;
        raised = true;
      }
    }
  }
  return number;
}

std::shared_ptr<TeamOrder> TeamOrder::Create(const std::shared_ptr<TeamLink>& team, const DiagnosticRecord& record) {
  // The AE title comes from the service and names a store folder.
  if (!RemoteRecords::IsSafeAETitle(record.study.aeTitle)) return nullptr;
  IKelvast* store = Gossamy::ArchiveDB()->OpenStore(record.study.aeTitle.c_str(), nullptr);
  if (!store) return nullptr;
  std::shared_ptr<TeamOrder> order(new TeamOrder(team, store));
  order->OrderObject::Update(record, false);
  return order;
}

TeamOrder::TeamOrder(const std::shared_ptr<TeamLink>& team, IKelvast* store) : OrderObject(store), teamLink_(team) {}

TeamOrder::~TeamOrder() {
  RemoteSession::NetworkStore()->RemoveCallback(this);
  if (store_) Gossamy::ArchiveDB()->ReleaseStore(store_);
}

bool TeamOrder::GetReportPath(std::string& path) {
  std::string fetched = ReportPath();
  if (FileExists(fetched)) {
    path = fetched;
    return true;
  }
  std::lock_guard<std::mutex> guard(reportMutex_);
  if (!FileExists(teamReportPath_)) return false;
  path = teamReportPath_;
  return true;
}

bool TeamOrder::Lock() {
  DiagnosticRecord answer;
  WebError error;
  if (!Web_DiagnosticLock(Record().id, &answer, &error)) return false;
  Update(answer, true);
  return true;
}

bool TeamOrder::UnLock() {
  DiagnosticRecord answer;
  WebError error;
  if (!Web_DiagnosticUnLock(Record().id, &answer, &error)) return false;
  Update(answer, true);
  return true;
}

bool TeamOrder::Report(WebError* error) { return SubmitReport(Submit::Report, error); }
bool TeamOrder::Verify(WebError* error) { return SubmitReport(Submit::Verify, error); }
bool TeamOrder::Revise(WebError* error) { return SubmitReport(Submit::Revise, error); }

bool TeamOrder::SubmitReport(Submit kind, WebError* error) {
  WebError local;
  if (!error) error = &local;
  std::string path;
  if (!GetReportPath(path)) return false;
  SODcmSR sr;
  if (!sr.LoadFile(path.c_str(), true)) {
    // Without a code the caller would show an empty message.
    error->code = "20001";
    return false;
  }
  std::wstring finding, conclusion, author, verifier;
  sr.GetFinding(finding);
  sr.GetConclusion(conclusion);
  sr.GetAuthorObserverName(author);
  sr.GetVerifyingObserverName(verifier);
  // A verifier without a signed name verifies with an empty "Verified by"; the document still
  // names its verifier (Verifying Observer Name may not be empty): the account's display name.
  if (kind != Submit::Report && verifier.empty() && sr.IsVerified()) {
    const std::string account = RemoteRecords::DisplayName(RemoteSession::CurrentUser());
    if (!sr.SetVerifyingObserverName(SOUtil::UTF82WStr(account.c_str()).c_str()) || !sr.SaveFile(path.c_str(), true)) {
      error->code = "20001";
      return false;
    }
  }
  std::string sopClass, sopInstance, seriesUID;
  SODcmDataset* dataset = sr.GetDataset();
  dataset->GetString(kSopClassUID, sopClass);
  dataset->GetString(kSopInstanceUID, sopInstance);
  dataset->GetString(kSeriesInstanceUID, seriesUID);

  DiagnosticRecord record = Record();
  DCMUpload upload;
  FillTransfer(record, upload);
  upload.files.push_back({sopClass, sopInstance, path});
  if (!RemoteSession::NetworkStore()->SendNow(upload)) {
    error->code = "20001";
    return false;
  }
  DiagnosticReportRequest request{Utf8(author), Utf8(verifier), Utf8(finding), Utf8(conclusion), seriesUID};
  DiagnosticRecord answer;
  bool ok = false;
  switch (kind) {
    case Submit::Report: ok = Web_DiagnosticReport(record.id, &request, &answer, error); break;
    case Submit::Verify: ok = Web_DiagnosticVerify(record.id, &request, &answer, error); break;
    case Submit::Revise: ok = Web_DiagnosticRevise(record.id, &request, &answer, error); break;
  }
  if (!ok) return false;
  const std::string& stamp = kind == Submit::Report   ? answer.reportTime
                             : kind == Submit::Verify ? answer.verifyTime
                                                      : answer.reviseTime;
  store_->SetValue(answer.study.reportSeriesUID.c_str(), stamp.c_str());
  Update(answer, true);
  return true;
}

bool TeamOrder::FindReportSource(std::string& imagePath, int& seriesNumber) {
  PatientRecord study;
  LoadLocalStudy(study);
  std::time_t now = Now();
  std::tm local{};
  localtime_r(&now, &local);
  std::vector<std::string> numbers;
  for (const SeriesRecord& series : study.series) numbers.push_back(series.seriesNumber);
  seriesNumber = NextReportSeriesNumber(numbers, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  for (const std::string& uid : Record().study.seriesUIDs) {
    for (const SeriesRecord& series : study.series) {
      if (series.seriesUID != uid) continue;
      for (const InstanceRecord& instance : series.instances) {
        if (FileExists(instance.storePath)) {
          imagePath = instance.storePath;
          return true;
        }
      }
    }
  }
  return false;
}

bool TeamOrder::CreateReportSR(SODcmSR& sr) {
  std::string imagePath;
  int seriesNumber = 0;
  if (!FindReportSource(imagePath, seriesNumber)) return false;
  if (!SODcmUtil::CreateSR(sr, imagePath.c_str())) return false;
  std::shared_ptr<TeamLink> team = teamLink_.lock();
  SODcmDataset* dataset = sr.GetDataset();
  dataset->SetString(kSeriesNumber, std::to_string(seriesNumber));
  dataset->SetString(kInstitutionName, team ? team->Team().institutionName : std::string());
  // The creator goes first so the private element is read back under it.
  dataset->SetString(kPrivateCreator, "Orvanta01");
  dataset->SetString(kReportKind, kConsultationReport);
  return true;
}

void TeamOrder::NewReportVersion(SODcmSR& sr) {
  SODcmDataset* dataset = sr.GetDataset();
  std::string seriesUID, number;
  dataset->GetString(kSeriesInstanceUID, seriesUID);
  dataset->GetString(kInstanceNumber, number);
  int highest = std::max(LeadingNumber(number), 0);
  std::vector<InstanceRecord> instances;
  store_->GetSeriesInstanceRecords({seriesUID}, instances);
  for (const InstanceRecord& instance : instances) highest = std::max(highest, LeadingNumber(instance.instanceNumber));
  dataset->SetString(kSopInstanceUID, SODcmUtil::GenerateUID());
  dataset->SetString(kInstanceNumber, std::to_string(highest + 1));
}

bool TeamOrder::StoreReportFile(SODcmFile* file) {
  InstanceRecord instance;
  if (!store_->StoreFile(file, &instance)) return false;
  {
    std::lock_guard<std::mutex> guard(reportMutex_);
    teamReportPath_ = instance.storePath;
  }
  SetReportPath(instance.storePath);
  RefreshAnswers();
  Notify(&IOrderObjectCallback::OnStudyFilesStored);
  return true;
}

void TeamOrder::AskStore(const DiagnosticRecord& record, LocalAnswers& answers) {
  using OrderStates::Remember;
  OrderStates::TeamDisplayState(
      0, record.state, Remember(answers.needsImageDownload, [this] { return NeedsImageDownload(); }),
      Remember(answers.hasReport, [this] { return FindReport(); }),
      Remember(answers.needsReportDownload, [this] { return NeedsReportDownload(); }));
}

bool TeamOrder::FindReport() {
  {
    std::lock_guard<std::mutex> guard(reportMutex_);
    if (FileExists(teamReportPath_)) return true;
  }
  PatientRecord study;
  LoadLocalStudy(study);
  for (const SeriesRecord& series : study.series) {
    if (series.modality != "SR") continue;
    // Newest version first: the instances come in Instance Number order.
    for (auto it = series.instances.rbegin(); it != series.instances.rend(); ++it) {
      const InstanceRecord& instance = *it;
      if (!FileExists(instance.storePath)) continue;
      SODcmFile file;
      std::string kind;
      if (file.LoadFile(instance.storePath.c_str(), true) && file.GetDataset()->GetString(kReportKind, kind) &&
          kind == kConsultationReport) {
        std::lock_guard<std::mutex> guard(reportMutex_);
        teamReportPath_ = instance.storePath;
        return true;
      }
    }
  }
  return false;
}

const MemberRecord* TeamOrder::FindMember(const std::vector<MemberRecord>& members, const std::string& userId) const {
  for (const MemberRecord& member : members) {
    if (member.user.id == userId) return &member;
  }
  return nullptr;
}

std::string TeamOrder::MemberName(const std::string& signedName, const JorvelUserInfo& user) const {
  if (!signedName.empty()) return signedName;
  std::shared_ptr<TeamLink> team = teamLink_.lock();
  if (team) {
    TeamRecord record = team->Team();
    const MemberRecord* member = FindMember(record.members, user.id);
    if (member && !member->signedName.empty()) return member->signedName;
  }
  return RemoteRecords::DisplayName(user);
}

std::string TeamOrder::GetMySignedName() const {
  std::shared_ptr<TeamLink> team = teamLink_.lock();
  return team ? team->Me().signedName : std::string();
}

std::string TeamOrder::GetReporterName() const {
  DiagnosticRecord record = Record();
  return MemberName(record.reporterSignedName, record.reporter);
}

std::string TeamOrder::GetVerifierName() const {
  DiagnosticRecord record = Record();
  return MemberName(record.verifierSignedName, record.verifier);
}

std::string TeamOrder::GetLockOwnerName() const {
  DiagnosticRecord record = Record();
  if (!record.locked) return std::string();
  return MemberName(std::string(), record.lockOwner);
}

bool TeamOrder::CanEdit() const {
  std::shared_ptr<TeamLink> team = teamLink_.lock();
  if (!team) return false;
  TeamRecord record = team->Team();
  const MemberRecord* member = FindMember(record.members, RemoteSession::CurrentUser().id);
  return member && member->editPermit;
}

bool TeamOrder::CanVerify() const {
  std::shared_ptr<TeamLink> team = teamLink_.lock();
  if (!team) return false;
  TeamRecord record = team->Team();
  const MemberRecord* member = FindMember(record.members, RemoteSession::CurrentUser().id);
  return member && member->verifyPermit;
}
