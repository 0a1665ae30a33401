#pragma once

#include <string>
#include <vector>

#include "SOGetSCU.h"
#include "TransferCallbacks.h"
#include "TransferQueues.h"
#include "TransferThread.h"

// Runs queued downloads: asks the node by storage commitment what it holds of the studies,
// then fetches what the caller lacks with one IMAGE-level C-GET.
class DownloadThread : public TransferThread<DCMDownload>, private ISODcmGetSCUCallback {
 public:
  DownloadThread(DownloadBlockingQueue* queue, IDownloadThreadCallback* manager);
  ~DownloadThread() override;

  void Run(DCMDownload& item) override;

 protected:
  void CancelTransfer() override { getSCU_.Cancel(); }

 private:
  void OnProgress(void* reserved, const SODcmGetProgress* counters) override;
  bool OnFileReceived(SODcmFile* file) override;

  // What the node holds of the item's studies; false when it could not tell.
  bool ListHeld(std::vector<SODcmReferencedSOP>& held);
  int Fetch(const std::vector<std::string>& missing);

  IDownloadThreadCallback* manager_;
  SOGetSCU getSCU_;
  // The running item and its finish record; worker thread only.
  DCMDownload current_;
  DCMFinish finish_;
  int fetchedBefore_ = 0;  // instances received by the earlier requests of this run
};

// Hands the files of a synchronous series get to the caller's callback.
class CallbackProxy : public ISODcmGetSCUCallback {
 public:
  CallbackProxy(ISTORECallback* callback, const DCMDownload& download);

  void OnProgress(void* reserved, const SODcmGetProgress* counters) override {}
  bool OnFileReceived(SODcmFile* file) override;

 private:
  ISTORECallback* callback_;
  DCMDownload download_;  // the request's key and connection, lists empty
};

// The synchronous SERIES-level C-GET of the series, in one request, on the calling thread.
bool GetSeriesNow(const DCMDownload& download, const std::vector<std::string>& seriesUIDs,
                  ISTORECallback* callback);
