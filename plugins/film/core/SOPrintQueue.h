#pragma once

#include "SODateTime.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SODcmFile;

// Job states; only done and failed are kept in the film file.
enum PrintJobState {
  PRINTJOB_PAUSED = 0,
  PRINTJOB_WAITING = 1,
  PRINTJOB_PRINTING = 2,
  PRINTJOB_DONE = 3,
  PRINTJOB_FAILED = 4,
};

// One film file of the film folder.
struct PrintJob {
  std::string uid;  // SOP Instance UID, also the file's name
  std::wstring patientName;
  int state = PRINTJOB_PAUSED;
  int copies = 1;
  int filmCount = 1;
  std::string printerName;
  std::string path;
  SODateTime dateTime;
};

// The text (a key to translate) a job list shows for a state.
const wchar_t* PrintJobStateText(int state);

class ISOPrintQueueCallback {
 public:
  // A copy of the job list, newest first; called on the thread that changed the queue.
  virtual void OnPrintQueueChanged(std::vector<PrintJob> jobs) = 0;

 protected:
  ~ISOPrintQueueCallback() = default;
};

// The film files of the film folder as print jobs, printed one at a time on a worker thread.
// The first work item scans the folder; every outcome is written back to the film file.
class SOPrintQueue {
 public:
  // The process's queue over <config folder>/Films/, made on first use.
  static SOPrintQueue* Instance();

  explicit SOPrintQueue(std::string folder);
  ~SOPrintQueue();
  SOPrintQueue(const SOPrintQueue&) = delete;
  SOPrintQueue& operator=(const SOPrintQueue&) = delete;

  // Gives the file a new SOP Instance UID and today's content date and time, saves it in the
  // film folder and queues it. False when it could not be saved (nothing queued).
  bool AddJob(SODcmFile* file);
  // A paused, done or failed job is queued again; false (nothing done) otherwise.
  bool Restart(const std::string& uid);
  // Deletes the job and its film file. Refused (false) for a job being printed.
  bool Remove(const std::string& uid);

  std::vector<PrintJob> Jobs() const;
  void AddListener(ISOPrintQueueCallback* listener);
  // After it returns the listener is not called any more.
  void RemoveListener(ISOPrintQueueCallback* listener);

  const std::string& Folder() const { return folder_; }
  // Blocks until the worker has nothing left to do (tests and shutdown).
  void WaitIdle();

  // A job as read from a film file's attributes (state as stored, path empty).
  static PrintJob ReadJob(const SODcmFile& file);

 private:
  void Work();
  void Scan();
  void Print(const std::string& uid);
  void Queue(const std::string& uid);
  void SetState(const std::string& uid, int state);
  void Notify();

  const std::string folder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<PrintJob> jobs_;
  std::deque<std::string> work_;  // "" is the folder scan
  bool busy_ = false;
  bool stop_ = false;
  std::mutex listenerMutex_;
  std::vector<ISOPrintQueueCallback*> listeners_;
  std::thread worker_;
};
