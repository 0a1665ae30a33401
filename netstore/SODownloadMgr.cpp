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
  return HasTransfer(queue_, thread_.get(), key);
}

bool SODownloadMgr::Cancel(const std::string& key) {
  CancelTransferByKey(queue_, thread_.get(), key,
                      [this](const DCMDownload* d) { output_->OnDownloadCancelled(d); });
  return true;
}

void SODownloadMgr::CancelAll() {
  CancelAllTransfers(queue_, thread_.get(),
                     [this](const DCMDownload* d) { output_->OnDownloadCancelled(d); });
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
