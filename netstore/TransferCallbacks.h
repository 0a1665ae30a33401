#pragma once

// The event paths inside the library: a worker tells its manager, a manager tells the facade
// (through the IDownloadCallback and IUploadCallback halves of IHalvexCallback).

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
