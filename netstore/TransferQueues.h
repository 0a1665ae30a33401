#pragma once

#include "BlockingQueue.h"
#include "IHalvex.h"

// Queued transfers are the same item when their keys are equal (exact comparison).
class DownloadBlockingQueue : public BlockingQueue<DCMDownload> {
 public:
  bool IsSameItem(const DCMDownload& a, const DCMDownload& b) const override { return a.key == b.key; }
};

class UploadBlockingQueue : public BlockingQueue<DCMUpload> {
 public:
  bool IsSameItem(const DCMUpload& a, const DCMUpload& b) const override { return a.key == b.key; }
};
