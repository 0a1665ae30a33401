#include "CloudManager.h"

#include "IKelvast.h"
#include "Jorvel.h"
#include "SODcmDataset.h"
#include "StudyJobs.h"
#include "WebError.h"

#include <algorithm>

bool IsUsableStation(const CloudStation& station) {
  return !station.stationKey.empty() && !station.aeTitle.empty() && !station.host.empty();
}

CloudManager& CloudManager::Instance() {
  static CloudManager* manager = new CloudManager;
  return *manager;
}

CloudManager::~CloudManager() {
  std::unique_lock<std::mutex> lock(threadMutex_);
  refreshed_.wait(lock, [this] { return !refreshing_; });
}

CloudStation CloudManager::Station() const {
  std::lock_guard<std::mutex> lock(stationMutex_);
  return station_;
}

void CloudManager::Replace(const CloudStation& station) {
  {
    std::lock_guard<std::mutex> lock(stationMutex_);
    station_ = station;
  }
  std::lock_guard<std::mutex> lock(listenerMutex_);
  for (ICloudManagerCallback* listener : listeners_) listener->OnCloudStationChanged();
}

bool CloudManager::Enable(bool on) {
  CloudStation station;
  WebError error;
  if (!Web_EnableCloudStation(on, &station, &error)) return false;
  Replace(station);
  return true;
}

void CloudManager::Refresh() {
  bool idle = false;
  if (!busy_.compare_exchange_strong(idle, true)) return;
  {
    std::lock_guard<std::mutex> lock(threadMutex_);
    refreshing_ = true;
  }
  std::thread([this] {
    CloudStation station;
    WebError error;
    if (Web_GetCloudStation(&station, &error)) Replace(station);
    busy_ = false;
    std::lock_guard<std::mutex> lock(threadMutex_);
    refreshing_ = false;
    refreshed_.notify_all();
  }).detach();
}

void CloudManager::AddListener(ICloudManagerCallback* listener) {
  if (!listener) return;
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void CloudManager::RemoveListener(ICloudManagerCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

CloudReceiver::CloudReceiver(IKelvast* store, ICloudReceiveEvents* events) : store_(store), events_(events) {}

bool CloudReceiver::Run(const CloudStation& station) {
  bool ok = false;
  if (IsUsableStation(station)) {
    const char* ae = station.aeTitle.c_str();
    if (scu_.Init(station.host.c_str(), station.port, ae, ae, nullptr)) {
      scu_.SetCallback(this);
      SODcmDataset keys;
      keys.SetString(0x07212001, "TRANSFER");  // an unknown private tag is written as LO
      std::vector<SODcmReferencedSOP> received;
      ok = scu_.RequestGet(SODcmQRModel_StudyRoot, &keys, received);
    }
  }
  if (store_) store_->CommitQueue();
  if (events_) events_->OnCloudReceiveDone(ok);
  return ok;
}

void CloudReceiver::OnProgress(void*, const SODcmGetProgress* counters) {
  if (!counters || !events_) return;
  int done = counters->completed + counters->failed;
  events_->OnDownloadProgress(MakeTransferProgress(done, done + counters->remaining));
}

bool CloudReceiver::OnFileReceived(SODcmFile* file) {
  return store_ && file && store_->QueueFile(file);
}
