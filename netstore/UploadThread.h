#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "CommitCall.h"
#include "QueueThread.h"
#include "SOStoreSCU.h"
#include "TransferCallbacks.h"
#include "TransferQueues.h"

// Runs queued uploads: commitment of what the node already holds, C-STORE of the rest,
// commitment of what was sent.
class UploadThread : public QueueThread<DCMUpload>, private ISODcmStoreSCUCallback {
 public:
  UploadThread(UploadBlockingQueue* queue, IUploadThreadCallback* manager);
  ~UploadThread() override;

  void Run(DCMUpload& item) override;

  // Any thread: whether the running upload has this key.
  bool IsRunning(const std::string& key);
  // Any thread: cancels the running upload when it has this key, or whichever runs. A
  // commitment request in progress finishes; nothing is sent after it.
  void CancelRunning(const std::string& key);
  void CancelAny();

 protected:
  void Interrupt() override;

 private:
  void OnProgress(void* reserved, int sent, int total) override;
  void OnFinish(int sent, int total) override {}

  bool Commit(const DCMUpload& item, SODcmCommitResult& result);
  bool Cancelled();

  IUploadThreadCallback* manager_;
  SOStoreSCU storeSCU_;
  // The worker's own copy of the running item and its finish record; worker thread only.
  std::unique_ptr<DCMUpload> current_;
  DCMFinish finish_;
  // currentLock_ guards running_, currentKey_, cancelled_ and commit_.
  std::mutex currentLock_;
  bool running_ = false;
  std::string currentKey_;
  bool cancelled_ = false;
  std::shared_ptr<CommitCall> commit_;
};
