#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "CommitCall.h"
#include "QueueThread.h"

// The running-item record and the cancelling shared by the download and upload workers.
template <typename T>
class TransferThread : public QueueThread<T> {
 public:
  using QueueThread<T>::QueueThread;

  // Any thread: whether the running item has this key.
  bool IsRunning(const std::string& key) {
    std::lock_guard<std::mutex> hold(currentLock_);
    return running_ && currentKey_ == key;
  }

  // Any thread: cancels the running item when it has this key, or whichever runs. A
  // commitment request in progress finishes; no transfer follows it.
  void CancelRunning(const std::string& key) {
    std::lock_guard<std::mutex> hold(currentLock_);
    if (!running_ || currentKey_ != key) return;
    cancelled_ = true;
    CancelTransfer();
  }

  void CancelAny() {
    std::lock_guard<std::mutex> hold(currentLock_);
    if (!running_) return;
    cancelled_ = true;
    CancelTransfer();
  }

 protected:
  void Interrupt() override {
    std::lock_guard<std::mutex> hold(currentLock_);
    cancelled_ = true;
    if (commit_) commit_->Abandon();
    CancelTransfer();
  }

  // Stops the network transfer in progress, if any; called with currentLock_ held.
  virtual void CancelTransfer() = 0;

  // Worker thread: brackets one run of Run.
  void BeginItem(const std::string& key) {
    std::lock_guard<std::mutex> hold(currentLock_);
    running_ = true;
    currentKey_ = key;
    cancelled_ = false;
  }

  void EndItem() {
    std::lock_guard<std::mutex> hold(currentLock_);
    running_ = false;
    currentKey_.clear();
  }

  bool Cancelled() {
    std::lock_guard<std::mutex> hold(currentLock_);
    return cancelled_;
  }

  // Worker thread: waits for the commitment answer, which Interrupt may abandon. False at
  // once when the item is already cancelled.
  bool WaitCommit(const std::shared_ptr<CommitCall>& call, SODcmCommitResult& result) {
    {
      std::lock_guard<std::mutex> hold(currentLock_);
      if (cancelled_) return false;
      commit_ = call;
    }
    bool ok = call->Wait(result);
    std::lock_guard<std::mutex> hold(currentLock_);
    commit_.reset();
    return ok;
  }

 private:
  // currentLock_ guards running_, currentKey_, cancelled_ and commit_.
  std::mutex currentLock_;
  bool running_ = false;
  std::string currentKey_;
  bool cancelled_ = false;
  std::shared_ptr<CommitCall> commit_;
};
