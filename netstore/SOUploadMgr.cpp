#include "SOUploadMgr.h"

#include "SOStoreSCU.h"

SOUploadMgr::SOUploadMgr(IUploadCallback* output)
    : output_(output), thread_(std::make_unique<UploadThread>(&queue_, this)) {}

SOUploadMgr::~SOUploadMgr() {
  Stop();
}

void SOUploadMgr::Stop() {
  thread_.reset();
}

void SOUploadMgr::Queue(const DCMUpload& upload) {
  queue_.Push(upload);
}

bool SOUploadMgr::IsUploading(const std::string& key) {
  return HasTransfer(queue_, thread_.get(), key);
}

bool SOUploadMgr::Cancel(const std::string& key) {
  CancelTransferByKey(queue_, thread_.get(), key,
                      [this](const DCMUpload* u) { output_->OnUploadCancelled(u); });
  return true;
}

void SOUploadMgr::CancelAll() {
  CancelAllTransfers(queue_, thread_.get(), [this](const DCMUpload* u) { output_->OnUploadCancelled(u); });
}

void SOUploadMgr::OnStarted(const DCMUpload* upload) {
  output_->OnUploadStarted(upload);
}

void SOUploadMgr::OnProgress(const DCMUpload* upload, const DCMProgress* progress) {
  output_->OnUploadProgress(upload, progress);
}

void SOUploadMgr::OnFinished(const DCMUpload* upload, const DCMFinish* finish) {
  output_->OnUploadFinished(upload, finish);
}

bool SendNow(const DCMUpload& upload) {
  std::vector<std::string> paths;
  paths.reserve(upload.files.size());
  for (const DCMUploadFile& file : upload.files) paths.push_back(file.path);
  SOStoreSCU scu;
  if (!scu.InitSCU(upload.host.c_str(), upload.port, upload.calledAE.c_str(), upload.callingAE.c_str(),
                   nullptr))
    return false;
  std::vector<std::string> sent;
  return scu.SendFiles(paths, sent, true) && sent.size() == paths.size();
}
