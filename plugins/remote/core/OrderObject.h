#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "IHalvex.h"
#include "JorvelRecords.h"
#include "ListenerSet.h"
#include "PatientRecord.h"

class IKelvast;
class OrderObject;

// Observer of one order. Called on whichever thread raised the event, with no lock of the
// order held; observers move their work to the UI thread themselves and never wait for it
// (RemoveObserver waits for the calls under way to the observer it removes).
class IOrderObjectCallback {
 public:
  virtual ~IOrderObjectCallback() = default;
  virtual void OnOrderUpdated(OrderObject*) {}
  virtual void OnUploadQueued(OrderObject*) {}
  virtual void OnUploadProgress(OrderObject*, int /*percent*/) {}
  virtual void OnUploadFinished(OrderObject*) {}
  virtual void OnDownloadQueued(OrderObject*) {}
  virtual void OnDownloadStarted(OrderObject*) {}
  virtual void OnDownloadProgress(OrderObject*, int /*percent*/) {}
  virtual void OnDownloadFinished(OrderObject*) {}
  virtual void OnDownloadCancelled(OrderObject*) {}
  virtual void OnStudyFilesStored(OrderObject*) {}
  virtual void OnReportFetchStarted(OrderObject*) {}
  virtual void OnReportFetchFinished(OrderObject*) {}
};

// The store's answers an order list row needs to show the order's record: asked by the thread
// that applied the record or ended a transfer, so the UI thread builds rows without store
// queries. An answer the record's state did not call for stays empty.
struct LocalAnswers {
  std::optional<bool> needsImageDownload;
  std::optional<bool> hasReport;
  std::optional<bool> needsReportDownload;
};

// One consultation order: its web record, its study in a local store and its transfers through
// the plug-in's network store. Shared-owned (the link and any thread working for it hold it), so
// a transfer or fetch that outlives the link's list still has a live object.
class OrderObject : public IHalvexCallback,
                    public ISTORECallback,
                    public std::enable_shared_from_this<OrderObject> {
 public:
  explicit OrderObject(IKelvast* store);
  ~OrderObject() override;
  OrderObject(const OrderObject&) = delete;
  OrderObject& operator=(const OrderObject&) = delete;

  // IHalvexCallback; notifications for another transfer key are ignored.
  void OnDownloadQueued(const DCMDownload* download) override;
  void OnDownloadStarted(const DCMDownload* download) override;
  void OnDownloadFile(const DCMDownload* download, SODcmFile* file) override;
  void OnDownloadProgress(const DCMDownload* download, const DCMProgress* progress) override;
  void OnDownloadFinished(const DCMDownload* download, const DCMFinish* finish) override;
  void OnDownloadCancelled(const DCMDownload* download) override;
  void OnUploadStarted(const DCMUpload*) override {}
  void OnUploadProgress(const DCMUpload* upload, const DCMProgress* progress) override;
  void OnUploadFinished(const DCMUpload* upload, const DCMFinish* finish) override;
  // A queued upload taken out of the queue ends like a failed upload.
  void OnUploadCancelled(const DCMUpload* upload) override;
  // ISTORECallback: a file of the report fetch.
  void OnStoreFile(const DCMDownload* download, SODcmFile* file) override;

  // Copies the record and asks the store what its rows need (AskStore); observers hear
  // OnOrderUpdated when notify.
  virtual bool Update(const DiagnosticRecord& record, bool notify);
  virtual bool Start() { return true; }
  virtual bool GetReportPath(std::string& path) = 0;
  virtual bool GetStudyPath(std::string& path);
  virtual bool LoadLocalStudy(PatientRecord& study);
  virtual bool GetImagePaths(std::vector<std::string>& paths);
  virtual void ReceiveReport() = 0;

  void AddObserver(IOrderObjectCallback* observer);
  // When it returns, the observer is called no more: a call under way on another thread has
  // ended, so the observer may be destroyed.
  void RemoveObserver(IOrderObjectCallback* observer);

  bool UploadImages(bool reupload);
  bool DownloadImages(bool redownload);
  bool NeedsImageDownload();
  bool NeedsReportDownload();
  // Starts the report fetch unless one runs; true.
  bool FetchReport();
  // 0 not locked, 1 locked by the current user, 2 locked by another member.
  int GetLockState() const;
  std::string GetFinding() const;
  std::string GetConclusion() const;

  // A copy of the record as last applied.
  DiagnosticRecord Record() const;
  // Its id and order time alone, for the lists that look through many orders.
  std::string Id() const;
  int64_t OrderTime() const;
  // The store's answers for that record; empty ones were not asked yet.
  LocalAnswers Answers() const;
  // Asks the store again, after its files or values changed; store queries, so not on the UI
  // thread when it can be helped.
  void RefreshAnswers();
  int Progress() const { return progress_.load(); }
  // Why the last image download of the order failed: 0 it did not, 1 the node listed no image
  // of the study (or could not be reached), 2 some images did not come.
  int DownloadProblem() const { return downloadProblem_.load(); }
  std::string ReportPath() const;
  IKelvast* Store() const { return store_; }

  // Percentage of a transfer: done / total, truncated; 0 when the total is 0.
  static int Percent(int done, int total);

 protected:
  // Runs after the network store reported the end of this order's upload, on a thread of its
  // own (never inside the store's notification).
  virtual void UploadFinishedSteps(bool success);
  void SetReportPath(const std::string& path);
  // Asks the store what the rows need for a record in the record's state (the rules of
  // OrderStates); the base asks nothing.
  virtual void AskStore(const DiagnosticRecord&, LocalAnswers&) {}
  std::string StudyId(const DiagnosticRecord& record) const;
  void Notify(void (IOrderObjectCallback::*event)(OrderObject*));
  // Runs fn on a detached thread that keeps this object alive.
  template <typename Fn>
  void RunDetached(Fn fn);
  bool KeyMatches(const std::string& key) const;
  // Fills the node and names of a transfer of this order (an upload or a download item).
  template <typename Transfer>
  static void FillTransfer(const DiagnosticRecord& record, Transfer& item);

  IKelvast* store_;  // borrowed; set by the link that creates the object

 private:
  void FetchReportThread();

  mutable std::mutex recordMutex_;
  DiagnosticRecord record_;  // guarded by recordMutex_
  uint64_t recordVersion_ = 0;  // guarded by recordMutex_; moves with every record applied
  LocalAnswers answers_;     // guarded by recordMutex_; for record_
  std::string reportPath_;   // guarded by recordMutex_
  ListenerSet<IOrderObjectCallback> observers_;
  std::atomic<int> progress_{0};
  std::atomic<int> downloadProblem_{0};
  std::atomic<bool> fetchingReport_{false};
};
