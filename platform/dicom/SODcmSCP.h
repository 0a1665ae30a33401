#pragma once

#include "SOCommitSCU.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class SODcmFile;
class SODcmDataset;
class SODcmSCPServer;

// Who is on the other side of an association.
struct SODcmAssociationParams {
  std::string callingAE;
  std::string calledAE;
  std::string peerHost;
  int peerPort = 0;
};

// One answer to a C-FIND: attribute tags with their values.
using SODcmFindMatch = std::vector<std::pair<unsigned long, std::string>>;

// Events of the receiving service. Each association is served on a thread of the service's
// own, and its events are raised there, one event at a time for the whole service (never two
// slots at once), in order within an association. OnStateChanged comes on the thread that runs
// StartSCP. Every slot has the service's own answer; a listener overrides what it handles.
class ISODcmSCPCallback {
 public:
  virtual ~ISODcmSCPCallback() = default;
  // 0: an association is requested; false refuses it.
  virtual bool OnRequest(SODcmAssociationParams& params) { return true; }
  // 1: the first object of an association is about to be received.
  virtual void OnStoreBegin(SODcmAssociationParams& params) {}
  // 2: one object was received; the file is the service's and valid during the call.
  // True when the object was kept: the sender is answered with success, else with failure.
  virtual bool OnStore(SODcmAssociationParams& params, SODcmFile* file) { return false; }
  // 3: an association that stored objects ended (released or aborted).
  virtual void OnStoreEnd(SODcmAssociationParams& params) {}
  // 4: a C-FIND; true answers success without matches, false refuses.
  virtual bool OnFind(SODcmAssociationParams& params, SODcmDataset* keys) { return false; }
  // 5: a C-MOVE to the named AE; true answers success without sub-operations, false refuses.
  virtual bool OnMove(SODcmAssociationParams& params, SODcmDataset* keys, const char* destinationAE) { return false; }
  // 6-8: a C-GET; true from OnGet answers success without sub-operations, false refuses.
  virtual void OnGetBegin(SODcmAssociationParams& params) {}
  virtual bool OnGet(SODcmAssociationParams& params, SODcmDataset* keys) { return false; }
  virtual void OnGetEnd(SODcmAssociationParams& params) {}
  // 9: the service started listening (true) or stopped, or could not listen (false).
  virtual void OnStateChanged(bool running) {}
  // 10: a storage commitment request; the listener sorts refs into result. True accepts
  // the request, false refuses it.
  virtual bool OnCommit(SODcmAssociationParams& params, const std::vector<SODcmReferencedSOP>& refs,
                        SODcmCommitResult& result) {
    return false;
  }
  // 11: the answer to a request OnCommit accepted; true when the listener delivers it on an
  // association of its own, false to have it sent back on the request's association.
  virtual bool OnCommitAnswer(SODcmAssociationParams& params, const SODcmCommitResult& result) { return false; }
  // 12: a C-FIND the listener answers with matches (each sent as a pending response, then
  // success); false leaves it to OnFind.
  virtual bool OnFindMatches(SODcmAssociationParams& params, SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) {
    return false;
  }
  // 13: a C-GET the listener answers with files, sent back by C-STORE on the same association;
  // false leaves it to OnGet.
  virtual bool OnGetFiles(SODcmAssociationParams& params, SODcmDataset* keys, std::vector<std::string>& files) {
    return false;
  }
};

// Which transfer syntaxes the receiving service takes; objects are kept as received.
enum SODcmTransferFormat {
  SODcmTransferFormat_Uncompressed = 0,  // little and big endian, implicit and explicit
  SODcmTransferFormat_Lossless = 1,      // those and the lossless compressions
  SODcmTransferFormat_All = 2,           // everything DCMTK knows, lossy compressions too
};

// The receiving service (C-ECHO, C-STORE and the slots above). Up to 8 associations are served
// at once, at most 4 of them for one calling peer (host and AE title), each on a thread of its
// own; a request over those limits is refused at once with a transient rejection. More
// connections than that may wait for their request to come. A peer that sends its request or any
// PDU too slowly, or falls silent (idle) past its limit, is dropped then (sodcm::Limits), so it
// never holds the others. A received object is held in memory up to 16 MB; a larger one goes
// through a temporary file in a private folder of the service's own, so it is never held in
// memory whole. An object over 4 GB ends its association; while the spill folder's filesystem
// is short of space objects are refused (out of resources), and so is a data set with many
// elements out of order (cannot understand) before it is parsed.
class SODcmSCP {
 public:
  SODcmSCP();
  ~SODcmSCP();
  SODcmSCP(const SODcmSCP&) = delete;
  SODcmSCP& operator=(const SODcmSCP&) = delete;

  // Any called AE title is accepted; aeTitle is the one this service answers with when the
  // peer calls none. False on an invalid AE title or a port outside 1-65535.
  bool InitSCP(const char* aeTitle, int port);
  // A SODcmTransferFormat value; false for others.
  bool SetTransferFormat(int format);
  // Not owned; null for the service's own answers.
  void SetCallback(ISODcmSCPCallback* callback);
  // Where the service's private spill folder is made when it starts (the store's folder, so
  // large objects are written where they are kept); the system's temporary folder when unset.
  void SetSpillFolder(const char* parent);

  // Listens and serves until Stop; false at once (after OnStateChanged(false)) when the
  // port cannot be bound or InitSCP did not succeed.
  bool StartSCP();
  // Any thread; StartSCP returns within about a second, whatever the peers do: associations
  // under way are cut (the listener still gets OnStoreEnd for those that stored objects).
  void Stop();
  bool IsRunning() const { return running_.load(); }

 private:
  std::mutex serverMutex_;
  SODcmSCPServer* server_ = nullptr;  // the running service, guarded by serverMutex_
  std::string aeTitle_;
  std::string spillParent_;
  int port_ = 0;
  int format_ = SODcmTransferFormat_All;
  ISODcmSCPCallback* callback_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
};
