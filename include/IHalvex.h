#pragma once

// The network store: queued uploads (C-STORE framed by storage commitment) and downloads
// (a commitment query for what the node holds, then C-GET of what is missing) to and from
// one remote DICOM node per item, each direction on its own worker thread.

#include <string>
#include <vector>

class SODcmFile;

// One instance of an upload; downloads list the instances already held with it too.
struct DCMUploadFile {
  std::string sopClassUID;
  std::string sopInstanceUID;
  std::string path;  // the DICOM file on disk
};

// One upload request and queue item.
struct DCMUpload {
  std::string key;  // chosen by the caller; names the transfer in cancels, queries and events
  std::string host;
  int port = 0;
  std::string callingAE;  // this workstation
  std::string calledAE;   // the remote node
  // The commitment service's extra connection text (a local port on which a node that
  // answers commitment on an association of its own reaches us); empty for none.
  std::string extra;
  bool skipFirstCommit = false;      // send everything without asking the node first
  std::vector<DCMUploadFile> files;  // in sending order
};

// One download request and queue item.
struct DCMDownload {
  std::string key;
  std::string host;
  int port = 0;
  std::string callingAE;
  std::string calledAE;
  std::string extra;  // passed unchanged to the commitment query and the C-GET
  std::vector<std::string> studyUIDs;
  std::vector<DCMUploadFile> existing;  // held locally already; only the SOP Instance UIDs count
};

struct DCMProgress {
  int done = 0;
  int total = 0;
};

struct DCMFinish {
  int success = 0;  // 1 or 0
  int done = 0;
  int total = 0;
};

// The download events of a network store, in the order they come for one item.
class IDownloadCallback {
 public:
  virtual ~IDownloadCallback() = default;
  virtual void OnDownloadQueued(const DCMDownload* download) = 0;
  virtual void OnDownloadStarted(const DCMDownload* download) = 0;
  // The file is valid during the call; the listener stores it.
  virtual void OnDownloadFile(const DCMDownload* download, SODcmFile* file) = 0;
  virtual void OnDownloadProgress(const DCMDownload* download, const DCMProgress* progress) = 0;
  virtual void OnDownloadFinished(const DCMDownload* download, const DCMFinish* finish) = 0;
  virtual void OnDownloadCancelled(const DCMDownload* download) = 0;
};

// The upload events of a network store, in the order they come for one item.
class IUploadCallback {
 public:
  virtual ~IUploadCallback() = default;
  virtual void OnUploadStarted(const DCMUpload* upload) = 0;
  virtual void OnUploadProgress(const DCMUpload* upload, const DCMProgress* progress) = 0;
  virtual void OnUploadFinished(const DCMUpload* upload, const DCMFinish* finish) = 0;
  virtual void OnUploadCancelled(const DCMUpload* upload) = 0;
};

// Listener of a network store. The records belong to the store and are valid only during
// the call. Queued and cancelled events run on the thread that queued or cancelled, the
// others on the store's worker threads.
class IHalvexCallback : public IDownloadCallback, public IUploadCallback {};

// Receives the files of GetSeriesNow, on the calling thread.
class ISTORECallback {
 public:
  virtual ~ISTORECallback() = default;
  virtual void OnStoreFile(const DCMDownload* download, SODcmFile* file) = 0;
};

class IHalvex {
 public:
  virtual ~IHalvex() = default;
  // False without host, with a port outside 1-65535, AE titles that are empty or longer
  // than 16 characters, or no files; otherwise queued. No event.
  virtual bool QueueUpload(const DCMUpload& upload) = 0;
  // False as above or without study UIDs; otherwise queued and OnDownloadQueued raised on
  // the calling thread.
  virtual bool QueueDownload(const DCMDownload& download) = 0;
  // The running item or a queued one has the key.
  virtual bool IsUploading(std::string key) = 0;
  virtual bool IsDownloading(std::string key) = 0;
  // Always true. Takes the first queued item with the key out (its cancelled event on this
  // thread) or, when none is queued, cancels the running transfer with that key.
  virtual bool CancelUpload(std::string key) = 0;
  virtual bool CancelDownload(std::string key) = 0;
  // Always true. Every queued item out (cancelled events in queue order), then the running
  // transfer cancelled.
  virtual bool CancelAllDownloads() = 0;
  virtual bool CancelAllUploads() = 0;
  virtual bool CancelAll() = 0;
  // The primary callback hears every event first; null clears it. Not owned.
  virtual void SetCallback(IHalvexCallback* callback) = 0;
  // Listeners, in registration order, no duplicates; not owned. A listener may remove
  // itself from inside an event.
  virtual void AddCallback(IHalvexCallback* callback) = 0;
  virtual void RemoveCallback(IHalvexCallback* callback) = 0;
  // Synchronous C-STORE of every file, without commitment and without events; true when
  // every file was sent.
  virtual bool SendNow(const DCMUpload& upload) = 0;
  // Synchronous SERIES-level C-GET of the series in one request; each received file goes
  // to callback on this thread. No event.
  virtual bool GetSeriesNow(const DCMDownload& download, const std::vector<std::string>& seriesUIDs,
                            ISTORECallback* callback) = 0;
};

// A new network store with its two worker threads running.
IHalvex* NewHalvex();
// Stops both workers (a running transfer is cancelled) and deletes the store; no event
// arrives once it returns. Null is ignored.
void DeleteHalvex(IHalvex* halvex);
