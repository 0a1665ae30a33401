#pragma once

#include <string>

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

// The queue-and-worker operations both transfer managers share. T is the queued record, Worker
// a TransferThread<T>, Cancelled a callable taking const T* that raises the cancelled event.

// The worker runs the item with the key, or one is queued.
template <typename T, typename Worker>
bool HasTransfer(BlockingQueue<T>& queue, Worker* worker, const std::string& key) {
  if (worker && worker->IsRunning(key)) return true;
  T probe;
  probe.key = key;
  return queue.Contains(probe);
}

// Takes the first queued item with the key out, with its cancelled event; when none is
// queued, cuts the running transfer with that key short.
template <typename T, typename Worker, typename Cancelled>
void CancelTransferByKey(BlockingQueue<T>& queue, Worker* worker, const std::string& key,
                         Cancelled cancelled) {
  T probe;
  probe.key = key;
  T removed;
  if (queue.Remove(probe, removed))
    cancelled(&removed);
  else if (worker)
    worker->CancelRunning(key);
}

// Every queued item out, cancelled events in queue order, then the running transfer cut short.
template <typename T, typename Worker, typename Cancelled>
void CancelAllTransfers(BlockingQueue<T>& queue, Worker* worker, Cancelled cancelled) {
  for (const T& item : queue.TakeAll()) cancelled(&item);
  if (worker) worker->CancelAny();
}
