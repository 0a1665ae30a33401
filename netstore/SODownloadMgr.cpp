#include "SODownloadMgr.h"

SODownloadMgr::SODownloadMgr(IDownloadCallback* output)
    : output_(output), thread_(std::make_unique<DownloadThread>(&queue_, this)) {}

SODownloadMgr::~SODownloadMgr() {
  Stop();
}

void SODownloadMgr::Stop() {
  thread_.reset();
}

void SODownloadMgr::Queue(const DCMDownload& download) {
  queue_.Push(download);
}

bool SODownloadMgr::IsDownloading(const std::string& key) {
  if (thread_ && thread_->IsRunning(key)) return true;
  DCMDownload probe;
  probe.key = key;
  return queue_.Contains(probe);
}

bool SODownloadMgr::Cancel(const std::string& key) {
  DCMDownload probe;
  probe.key = key;
  DCMDownload removed;
  if (queue_.Remove(probe, removed))
    output_->OnDownloadCancelled(&removed);
  else if (thread_)
    thread_->CancelRunning(key);
  return true;
}

void SODownloadMgr::CancelAll() {
  for (const DCMDownload& download : queue_.TakeAll()) output_->OnDownloadCancelled(&download);
  if (thread_) thread_->CancelAny();
}

void SODownloadMgr::OnStarted(const DCMDownload* download) {
  output_->OnDownloadStarted(download);
}

void SODownloadMgr::OnFile(const DCMDownload* download, SODcmFile* file) {
  output_->OnDownloadFile(download, file);
}

void SODownloadMgr::OnProgress(const DCMDownload* download, const DCMProgress* progress) {
  output_->OnDownloadProgress(download, progress);
}

void SODownloadMgr::OnFinished(const DCMDownload* download, const DCMFinish* finish) {
  output_->OnDownloadFinished(download, finish);
}
