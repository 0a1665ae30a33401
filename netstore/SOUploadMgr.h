#pragma once

#include <memory>
#include <string>

#include "TransferCallbacks.h"
#include "TransferQueues.h"
#include "UploadThread.h"

// The upload queue and its worker; reports to the facade.
class SOUploadMgr : public IUploadThreadCallback {
 public:
  explicit SOUploadMgr(IUploadCallback* output);
  ~SOUploadMgr() override;

  void Queue(const DCMUpload& upload);
  bool IsUploading(const std::string& key);
  bool Cancel(const std::string& key);
  void CancelAll();
  // Stops the worker (a running upload is cut short); no event follows.
  void Stop();

  void OnStarted(const DCMUpload* upload) override;
  void OnProgress(const DCMUpload* upload, const DCMProgress* progress) override;
  void OnFinished(const DCMUpload* upload, const DCMFinish* finish) override;

 private:
  IUploadCallback* output_;  // the facade, which outlives this manager
  UploadBlockingQueue queue_;
  std::unique_ptr<UploadThread> thread_;  // after queue_, so it is stopped first
};

// The synchronous C-STORE of every file of the upload; true when every file was sent.
bool SendNow(const DCMUpload& upload);
