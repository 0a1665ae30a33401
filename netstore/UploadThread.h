#pragma once

#include <memory>

#include "SOStoreSCU.h"
#include "TransferCallbacks.h"
#include "TransferQueues.h"
#include "TransferThread.h"

// Runs queued uploads: commitment of what the node already holds, C-STORE of the rest,
// commitment of what was sent.
class UploadThread : public TransferThread<DCMUpload>, private ISODcmStoreSCUCallback {
 public:
  UploadThread(UploadBlockingQueue* queue, IUploadThreadCallback* manager);
  ~UploadThread() override;

  void Run(DCMUpload& item) override;

 protected:
  void CancelTransfer() override { storeSCU_.Cancel(); }

 private:
  void OnProgress(void* reserved, int sent, int total) override;
  void OnFinish(int sent, int total) override {}

  bool Commit(const DCMUpload& item, SODcmCommitResult& result);

  IUploadThreadCallback* manager_;
  SOStoreSCU storeSCU_;
  // The worker's own copy of the running item and its finish record; worker thread only.
  std::unique_ptr<DCMUpload> current_;
  DCMFinish finish_;
};
