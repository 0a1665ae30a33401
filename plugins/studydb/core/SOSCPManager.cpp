#include "SOSCPManager.h"

#include "SOCommitSCU.h"

#include "ArchiveConfig.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "InstanceRecord.h"
#include "SODcmDataset.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

SOSCPManager& SOSCPManager::Instance() {
  static SOSCPManager* manager = [] {
    auto* made = new SOSCPManager(ArchiveConfig::Instance());
    // The manager lives until the process ends, but its service must not: its threads use
    // DCMTK's globals, which the end of the process destroys. Handlers registered now run
    // before those (constructed earlier) are destroyed.
    std::atexit([] { manager->Stop(); });
    return made;
  }();
  return *manager;
}

SOSCPManager::SOSCPManager(ArchiveConfig& config) : config_(config), port_(config.Port()) {}

SOSCPManager::~SOSCPManager() { Stop(); }

bool SOSCPManager::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scp_.IsRunning()) return false;
    // A service that could not bind has ended its thread already.
    if (thread_.joinable()) thread_.join();
    port_ = config_.Port();
    std::string aeTitle = config_.AETitle();
    scp_.InitSCP(aeTitle.c_str(), port_);
    scp_.SetTransferFormat(SODcmTransferFormat_All);
    scp_.SetCallback(this);
    scp_.SetSpillFolder(Gossamy::GetStorePath());
    {
      std::lock_guard<std::mutex> state(stateMutex_);
      told_ = false;
    }
    thread_ = std::thread([this] { scp_.StartSCP(); });
  }
  // Binding takes moments; the bound only keeps a stuck start from holding the UI thread.
  std::unique_lock<std::mutex> state(stateMutex_);
  stateTold_.wait_for(state, std::chrono::seconds(5), [this] { return told_; });
  return true;
}

void SOSCPManager::Restart() {
  Stop();
  Start();
}

bool SOSCPManager::ApplyCommitListener() {
  if (!config_.CommitEnabled()) {
    SOCommitSCU::StopStationListener();
    return true;
  }
  const std::string aeTitle = config_.CommitAETitle();
  const int port = config_.CommitPort();
  if (SOCommitSCU::StationListenerPort() == port && SOCommitSCU::StationListenerAETitle() == aeTitle) return true;
  return SOCommitSCU::StartStationListener(aeTitle.c_str(), port);
}

bool SOSCPManager::IsCommitListenerRunning() { return SOCommitSCU::StationListenerPort() != 0; }

void SOSCPManager::Stop() {
  std::thread thread;
  std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> reporters;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    scp_.Stop();
    thread.swap(thread_);
  }
  if (thread.joinable()) thread.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reporters.swap(reporters_);
  }
  for (auto& reporter : reporters) reporter.first.join();
}

void SOSCPManager::AddListener(ISCPManagerCallback* listener) {
  if (!listener) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void SOSCPManager::RemoveListener(ISCPManagerCallback* listener) {
  std::lock_guard<std::mutex> calls(callMutex_);
  std::lock_guard<std::mutex> lock(mutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

std::vector<ISCPManagerCallback*> SOSCPManager::Listeners() {
  std::lock_guard<std::mutex> lock(mutex_);
  return listeners_;
}

bool SOSCPManager::OnStore(SODcmAssociationParams& params, SODcmFile* file) {
  std::lock_guard<std::mutex> calls(callMutex_);
  std::vector<ISCPManagerCallback*> listeners = Listeners();
  // Nobody kept it unless somebody listened and every listener succeeded.
  bool kept = !listeners.empty();
  for (ISCPManagerCallback* listener : listeners) kept = listener->OnFileReceived(params, file) && kept;
  return kept;
}

void SOSCPManager::OnStoreEnd(SODcmAssociationParams& params) {
  std::lock_guard<std::mutex> calls(callMutex_);
  for (ISCPManagerCallback* listener : Listeners()) listener->OnStoreEnd(params);
}

void SOSCPManager::OnStateChanged(bool running) {
  {
    std::lock_guard<std::mutex> state(stateMutex_);
    told_ = true;
  }
  stateTold_.notify_all();
  std::lock_guard<std::mutex> calls(callMutex_);
  for (ISCPManagerCallback* listener : Listeners()) listener->OnStateChanged(running);
}

template <typename Ask>
bool SOSCPManager::FirstAnswer(Ask ask) {
  std::lock_guard<std::mutex> calls(callMutex_);
  for (ISCPManagerCallback* listener : Listeners())
    if (ask(listener)) return true;
  return false;
}

bool SOSCPManager::OnCommit(SODcmAssociationParams&, const std::vector<SODcmReferencedSOP>& refs,
                            SODcmCommitResult& result) {
  return FirstAnswer([&](ISCPManagerCallback* listener) { return listener->OnCommitRequested(refs, result); });
}

bool SOSCPManager::OnFindMatches(SODcmAssociationParams&, SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) {
  return FirstAnswer([&](ISCPManagerCallback* listener) { return listener->OnFindRequested(keys, matches); });
}

bool SOSCPManager::OnGetFiles(SODcmAssociationParams&, SODcmDataset* keys, std::vector<std::string>& files) {
  return FirstAnswer([&](ISCPManagerCallback* listener) { return listener->OnGetRequested(keys, files); });
}

bool SOSCPManager::OnCommitAnswer(SODcmAssociationParams& params, const SODcmCommitResult& result) {
  const std::vector<RemoteNode> nodes = config_.Remotes();
  auto node = std::find_if(nodes.begin(), nodes.end(), [&](const RemoteNode& n) { return n.aeTitle == params.callingAE; });
  if (node == nodes.end()) return false;
  // Sent from a thread of its own, after the request's association may have ended, as such a
  // requester expects; the service's events go on meanwhile.
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(reporters_, [](auto& reporter) {
    if (!*reporter.second) return false;
    reporter.first.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread sender([target = *node, calling = config_.AETitle(), result, done] {
    SOCommitSCU::SendReport(target.ip.c_str(), target.port, target.aeTitle.c_str(), calling.c_str(), result);
    *done = true;
  });
  reporters_.emplace_back(std::move(sender), std::move(done));
  return true;
}

bool SOReceiveToStore::OnFileReceived(SODcmAssociationParams&, SODcmFile* file) {
  return store_ && file && store_->QueueFile(file);
}

void SOReceiveToStore::OnStoreEnd(SODcmAssociationParams&) {
  if (store_) store_->CommitQueue();
}

bool SOReceiveToStore::OnCommitRequested(const std::vector<SODcmReferencedSOP>& refs, SODcmCommitResult& result) {
  return store_ && store_->CheckCommitment(refs, result);
}

namespace {
constexpr unsigned long kQueryRetrieveLevel = 0x00080052;
constexpr unsigned long kSOPClassUID = 0x00080016;
constexpr unsigned long kSOPInstanceUID = 0x00080018;
constexpr unsigned long kStudyInstanceUID = 0x0020000D;
constexpr unsigned long kSeriesInstanceUID = 0x0020000E;

// The UIDs of a key (the values of a multi-valued element).
std::vector<std::string> KeyUIDs(SODcmDataset* keys, unsigned long tag) {
  std::vector<std::string> uids;
  std::string uid;
  for (unsigned long i = 0; keys->GetString(tag, uid, i); ++i) {
    uid.erase(uid.find_last_not_of(' ') + 1);
    if (!uid.empty()) uids.push_back(uid);
  }
  return uids;
}

std::string Level(SODcmDataset* keys) {
  std::string level;
  keys->GetString(kQueryRetrieveLevel, level);
  level.erase(level.find_last_not_of(' ') + 1);
  return level;
}
}  // namespace

bool SOReceiveToStore::OnFindRequested(SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) {
  const std::vector<std::string> studies = KeyUIDs(keys, kStudyInstanceUID);
  if (!store_ || Level(keys) != "IMAGE" || studies.size() != 1) return false;
  std::vector<InstanceRecord> instances;
  if (!store_->GetStudyInstanceRecords(studies, instances)) return false;
  for (const InstanceRecord& instance : instances)
    matches.push_back({{kQueryRetrieveLevel, "IMAGE"},
                       {kStudyInstanceUID, instance.studyUID},
                       {kSeriesInstanceUID, instance.seriesUID},
                       {kSOPClassUID, instance.sopClassUID},
                       {kSOPInstanceUID, instance.sopInstanceUID}});
  return true;
}

bool SOReceiveToStore::OnGetRequested(SODcmDataset* keys, std::vector<std::string>& files) {
  if (!store_) return false;
  const std::string level = Level(keys);
  std::vector<InstanceRecord> instances;
  bool ok = false;
  if (level == "STUDY") {
    ok = store_->GetStudyInstanceRecords(KeyUIDs(keys, kStudyInstanceUID), instances);
  } else if (level == "SERIES") {
    ok = store_->GetSeriesInstanceRecords(KeyUIDs(keys, kSeriesInstanceUID), instances);
  } else if (level == "IMAGE") {
    const std::vector<std::string> wanted = KeyUIDs(keys, kSOPInstanceUID);
    ok = store_->GetAllInstanceRecords(instances);
    std::erase_if(instances, [&](const InstanceRecord& instance) {
      return std::find(wanted.begin(), wanted.end(), instance.sopInstanceUID) == wanted.end();
    });
  }
  if (!ok) return false;
  for (const InstanceRecord& instance : instances) files.push_back(instance.storePath);
  return true;
}
