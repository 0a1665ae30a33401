#pragma once

#include <memory>
#include <string>

#include "DownloadThread.h"
#include "TransferCallbacks.h"
#include "TransferQueues.h"

// The download queue and its worker; reports to the facade.
class SODownloadMgr : public IDownloadThreadCallback {
 public:
  explicit SODownloadMgr(IDownloadCallback* output);
  ~SODownloadMgr() override;

  void Queue(const DCMDownload& download);
  bool IsDownloading(const std::string& key);
  bool Cancel(const std::string& key);
  void CancelAll();
  // Stops the worker (a running download is cut short); no event follows.
  void Stop();

  void OnStarted(const DCMDownload* download) override;
  void OnFile(const DCMDownload* download, SODcmFile* file) override;
  void OnProgress(const DCMDownload* download, const DCMProgress* progress) override;
  void OnFinished(const DCMDownload* download, const DCMFinish* finish) override;

 private:
  IDownloadCallback* output_;  // the facade, which outlives this manager
  DownloadBlockingQueue queue_;
  std::unique_ptr<DownloadThread> thread_;  // after queue_, so it is stopped first
};
