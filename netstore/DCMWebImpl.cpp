#include "DCMWebImpl.h"

#include <algorithm>

#include "DownloadThread.h"

namespace {
bool ValidAETitle(const std::string& ae) {
  return !ae.empty() && ae.size() <= 16;
}

// What every queued or synchronous transfer needs to reach its node.
template <typename Item>
bool Reachable(const Item& item) {
  return !item.host.empty() && item.port >= 1 && item.port <= 65535 && ValidAETitle(item.callingAE) &&
         ValidAETitle(item.calledAE);
}
}  // namespace

DCMWebImpl::DCMWebImpl() : uploads_(this), downloads_(this) {}

DCMWebImpl::~DCMWebImpl() {
  closing_ = true;
  downloads_.Stop();
  uploads_.Stop();
}

bool DCMWebImpl::QueueUpload(const DCMUpload& upload) {
  if (!Reachable(upload) || upload.files.empty()) return false;
  uploads_.Queue(upload);
  return true;
}

bool DCMWebImpl::QueueDownload(const DCMDownload& download) {
  if (!Reachable(download) || download.studyUIDs.empty()) return false;
  // The worker's started event waits on the lock, so listeners hear of the queueing first.
  SOAutoLock hold(lock_);
  downloads_.Queue(download);
  OnDownloadQueued(&download);
  return true;
}

bool DCMWebImpl::IsUploading(std::string key) {
  return uploads_.IsUploading(key);
}

bool DCMWebImpl::IsDownloading(std::string key) {
  return downloads_.IsDownloading(key);
}

bool DCMWebImpl::CancelUpload(std::string key) {
  return uploads_.Cancel(key);
}

bool DCMWebImpl::CancelDownload(std::string key) {
  return downloads_.Cancel(key);
}

bool DCMWebImpl::CancelAllDownloads() {
  downloads_.CancelAll();
  return true;
}

bool DCMWebImpl::CancelAllUploads() {
  uploads_.CancelAll();
  return true;
}

bool DCMWebImpl::CancelAll() {
  CancelAllDownloads();
  CancelAllUploads();
  return true;
}

void DCMWebImpl::SetCallback(IHalvexCallback* callback) {
  SOAutoLock hold(lock_);
  primary_ = callback;
}

void DCMWebImpl::AddCallback(IHalvexCallback* callback) {
  SOAutoLock hold(lock_);
  if (callback && std::find(listeners_.begin(), listeners_.end(), callback) == listeners_.end())
    listeners_.push_back(callback);
}

void DCMWebImpl::RemoveCallback(IHalvexCallback* callback) {
  SOAutoLock hold(lock_);
  auto it = std::find(listeners_.begin(), listeners_.end(), callback);
  if (it != listeners_.end()) listeners_.erase(it);
}

bool DCMWebImpl::SendNow(const DCMUpload& upload) {
  if (!Reachable(upload) || upload.files.empty()) return false;
  return ::SendNow(upload);
}

bool DCMWebImpl::GetSeriesNow(const DCMDownload& download, const std::vector<std::string>& seriesUIDs,
                              ISTORECallback* callback) {
  if (!Reachable(download) || seriesUIDs.empty() || !callback) return false;
  return ::GetSeriesNow(download, seriesUIDs, callback);
}

template <typename Event>
void DCMWebImpl::FanOut(Event event) {
  if (closing_) return;
  SOAutoLock hold(lock_);
  if (primary_) event(primary_);
  // A listener may add or remove listeners (itself included) while it is called: walk a
  // snapshot and skip those that left meanwhile.
  const std::vector<IHalvexCallback*> snapshot = listeners_;
  for (IHalvexCallback* listener : snapshot) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) event(listener);
  }
}

void DCMWebImpl::OnDownloadQueued(const DCMDownload* d) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadQueued(d); });
}
void DCMWebImpl::OnDownloadStarted(const DCMDownload* d) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadStarted(d); });
}
void DCMWebImpl::OnDownloadFile(const DCMDownload* d, SODcmFile* file) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadFile(d, file); });
}
void DCMWebImpl::OnDownloadProgress(const DCMDownload* d, const DCMProgress* p) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadProgress(d, p); });
}
void DCMWebImpl::OnDownloadFinished(const DCMDownload* d, const DCMFinish* f) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadFinished(d, f); });
}
void DCMWebImpl::OnDownloadCancelled(const DCMDownload* d) {
  FanOut([&](IHalvexCallback* c) { c->OnDownloadCancelled(d); });
}
void DCMWebImpl::OnUploadStarted(const DCMUpload* u) {
  FanOut([&](IHalvexCallback* c) { c->OnUploadStarted(u); });
}
void DCMWebImpl::OnUploadProgress(const DCMUpload* u, const DCMProgress* p) {
  FanOut([&](IHalvexCallback* c) { c->OnUploadProgress(u, p); });
}
void DCMWebImpl::OnUploadFinished(const DCMUpload* u, const DCMFinish* f) {
  FanOut([&](IHalvexCallback* c) { c->OnUploadFinished(u, f); });
}
void DCMWebImpl::OnUploadCancelled(const DCMUpload* u) {
  FanOut([&](IHalvexCallback* c) { c->OnUploadCancelled(u); });
}

IHalvex* NewHalvex() {
  return new DCMWebImpl();
}

void DeleteHalvex(IHalvex* halvex) {
  delete halvex;
}
