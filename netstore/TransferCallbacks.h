#pragma once

// The event paths inside the library: a worker tells its manager, a manager tells the facade.

#include "IHalvex.h"

class IDownloadThreadCallback {
 public:
  virtual ~IDownloadThreadCallback() = default;
  virtual void OnStarted(const DCMDownload* download) = 0;
  virtual void OnFile(const DCMDownload* download, SODcmFile* file) = 0;
  virtual void OnProgress(const DCMDownload* download, const DCMProgress* progress) = 0;
  virtual void OnFinished(const DCMDownload* download, const DCMFinish* finish) = 0;
};

class IUploadThreadCallback {
 public:
  virtual ~IUploadThreadCallback() = default;
  virtual void OnStarted(const DCMUpload* upload) = 0;
  virtual void OnProgress(const DCMUpload* upload, const DCMProgress* progress) = 0;
  virtual void OnFinished(const DCMUpload* upload, const DCMFinish* finish) = 0;
};

// The download events of IHalvexCallback, in the same order.
class IDownloadCallback {
 public:
  virtual ~IDownloadCallback() = default;
  virtual void OnDownloadQueued(const DCMDownload* download) = 0;
  virtual void OnDownloadStarted(const DCMDownload* download) = 0;
  virtual void OnDownloadFile(const DCMDownload* download, SODcmFile* file) = 0;
  virtual void OnDownloadProgress(const DCMDownload* download, const DCMProgress* progress) = 0;
  virtual void OnDownloadFinished(const DCMDownload* download, const DCMFinish* finish) = 0;
  virtual void OnDownloadCancelled(const DCMDownload* download) = 0;
};

// The upload events of IHalvexCallback, in the same order.
class IUploadCallback {
 public:
  virtual ~IUploadCallback() = default;
  virtual void OnUploadStarted(const DCMUpload* upload) = 0;
  virtual void OnUploadProgress(const DCMUpload* upload, const DCMProgress* progress) = 0;
  virtual void OnUploadFinished(const DCMUpload* upload, const DCMFinish* finish) = 0;
  virtual void OnUploadCancelled(const DCMUpload* upload) = 0;
};
