#pragma once

#include "SODcmSCP.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ArchiveConfig;
class IKelvast;

// Listeners of the receiving service, told on the service's threads.
class ISCPManagerCallback {
 public:
  virtual ~ISCPManagerCallback() = default;
  // One object arrived; the file is the service's and valid during the call. False when the
  // object could not be kept: the sender is then answered with a failure status.
  virtual bool OnFileReceived(SODcmAssociationParams& params, SODcmFile* file) { return true; }
  // A sending peer's association ended, released or aborted.
  virtual void OnStoreEnd(SODcmAssociationParams& params) {}
  virtual void OnStateChanged(bool running) {}
  // A node asks which of refs this station holds: sorts them into result, false when it
  // cannot tell.
  virtual bool OnCommitRequested(const std::vector<SODcmReferencedSOP>& refs, SODcmCommitResult& result) {
    return false;
  }
  // A node asks which instances this station holds (a C-FIND at image level) or for instances
  // (a C-GET): false when the listener does not answer it.
  virtual bool OnFindRequested(SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) { return false; }
  virtual bool OnGetRequested(SODcmDataset* keys, std::vector<std::string>& files) { return false; }
};

// The workstation's receiving service: the toolkit's service provider on a thread of its own,
// with the port and AE title of archive.xml as they were when it started.
class SOSCPManager : public ISODcmSCPCallback {
 public:
  // The module's object on ArchiveConfig::Instance(); never freed.
  static SOSCPManager& Instance();

  explicit SOSCPManager(ArchiveConfig& config);
  ~SOSCPManager() override;
  SOSCPManager(const SOSCPManager&) = delete;
  SOSCPManager& operator=(const SOSCPManager&) = delete;

  // Starts the service thread with the configuration's current values and waits (bounded) until
  // it listens or has failed to, so IsRunning tells the outcome; false when it already runs. A
  // port that cannot be bound is told through OnStateChanged(false).
  bool Start();
  // Ends the service and waits for its thread.
  void Stop();
  // Stop, then Start with the configuration's values as they are now.
  void Restart();
  bool IsRunning() const { return scp_.IsRunning(); }
  int Port() const { return port_; }

  // The listener for the commitment answers that nodes send on associations of their own,
  // started, restarted or stopped as the configuration now says; false when it should run
  // but cannot listen.
  bool ApplyCommitListener();
  static bool IsCommitListenerRunning();

  // Added once; null ignored.
  void AddListener(ISCPManagerCallback* listener);
  // Waits for a call under way to that listener, so it may be destroyed afterwards.
  void RemoveListener(ISCPManagerCallback* listener);

  bool OnStore(SODcmAssociationParams& params, SODcmFile* file) override;
  void OnStoreEnd(SODcmAssociationParams& params) override;
  void OnStateChanged(bool running) override;
  bool OnCommit(SODcmAssociationParams& params, const std::vector<SODcmReferencedSOP>& refs,
                SODcmCommitResult& result) override;
  // A requester that is one of the remote nodes gets its answer on an association of its own,
  // to the node's address; any other on its request's association.
  bool OnCommitAnswer(SODcmAssociationParams& params, const SODcmCommitResult& result) override;
  bool OnFindMatches(SODcmAssociationParams& params, SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) override;
  bool OnGetFiles(SODcmAssociationParams& params, SODcmDataset* keys, std::vector<std::string>& files) override;

 private:
  std::vector<ISCPManagerCallback*> Listeners();
  // Asks the listeners in turn, under callMutex_, until one answers true; false when none does.
  template <typename Ask>
  bool FirstAnswer(Ask ask);

  ArchiveConfig& config_;
  SODcmSCP scp_;
  int port_ = 0;
  std::mutex mutex_;  // guards listeners_, thread_ and reporters_
  std::vector<ISCPManagerCallback*> listeners_;
  std::mutex callMutex_;  // held while listeners are told
  std::thread thread_;
  // Answers sent to remote nodes, each with its flag set once it ended.
  std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> reporters_;
  std::mutex stateMutex_;  // guards told_
  std::condition_variable stateTold_;
  bool told_ = false;  // the service has reported a state since the last Start
};

// What the study database does with received objects: each is saved into the store and
// queued; the queue is written when the association ends, so a study appears whole.
class SOReceiveToStore : public ISCPManagerCallback {
 public:
  explicit SOReceiveToStore(IKelvast* store) : store_(store) {}
  bool OnFileReceived(SODcmAssociationParams& params, SODcmFile* file) override;
  void OnStoreEnd(SODcmAssociationParams& params) override;
  bool OnCommitRequested(const std::vector<SODcmReferencedSOP>& refs, SODcmCommitResult& result) override;
  // Image level, by study: the study's instances.
  bool OnFindRequested(SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) override;
  // Study, series or image level, by the level's UIDs: the files of the instances held.
  bool OnGetRequested(SODcmDataset* keys, std::vector<std::string>& files) override;

 private:
  IKelvast* store_;
};
