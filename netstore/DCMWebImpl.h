#pragma once

#include <atomic>
#include <vector>

#include "IHalvex.h"
#include "SODownloadMgr.h"
#include "SOLock.h"
#include "SOUploadMgr.h"
#include "TransferCallbacks.h"

// The network store: two managers with their worker threads, and the fan-out of their
// events to the primary callback and the listeners.
class DCMWebImpl : public IHalvex, private IUploadCallback, private IDownloadCallback {
 public:
  DCMWebImpl();
  ~DCMWebImpl() override;

  bool QueueUpload(const DCMUpload& upload) override;
  bool QueueDownload(const DCMDownload& download) override;
  bool IsUploading(std::string key) override;
  bool IsDownloading(std::string key) override;
  bool CancelUpload(std::string key) override;
  bool CancelDownload(std::string key) override;
  bool CancelAllDownloads() override;
  bool CancelAllUploads() override;
  bool CancelAll() override;
  void SetCallback(IHalvexCallback* callback) override;
  void AddCallback(IHalvexCallback* callback) override;
  void RemoveCallback(IHalvexCallback* callback) override;
  bool SendNow(const DCMUpload& upload) override;
  bool GetSeriesNow(const DCMDownload& download, const std::vector<std::string>& seriesUIDs,
                    ISTORECallback* callback) override;

 private:
  void OnDownloadQueued(const DCMDownload* download) override;
  void OnDownloadStarted(const DCMDownload* download) override;
  void OnDownloadFile(const DCMDownload* download, SODcmFile* file) override;
  void OnDownloadProgress(const DCMDownload* download, const DCMProgress* progress) override;
  void OnDownloadFinished(const DCMDownload* download, const DCMFinish* finish) override;
  void OnDownloadCancelled(const DCMDownload* download) override;
  void OnUploadStarted(const DCMUpload* upload) override;
  void OnUploadProgress(const DCMUpload* upload, const DCMProgress* progress) override;
  void OnUploadFinished(const DCMUpload* upload, const DCMFinish* finish) override;
  void OnUploadCancelled(const DCMUpload* upload) override;

  // Calls the primary callback, then every listener, with the lock held.
  template <typename Event>
  void FanOut(Event event);

  // lock_ guards primary_ and listeners_; it is held while they are called, so once
  // SetCallback or RemoveCallback returns on another thread the callback is no longer in use.
  SOLock lock_;
  IHalvexCallback* primary_ = nullptr;
  std::vector<IHalvexCallback*> listeners_;
  // Set when deletion starts: events of a transfer cut short are dropped.
  std::atomic<bool> closing_{false};
  SOUploadMgr uploads_;
  SODownloadMgr downloads_;
};
