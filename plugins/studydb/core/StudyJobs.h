#pragma once

#include "SOStoreSCU.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class IKelvast;

// One job of the plug-in's worker task: an import uses only the files, a send all fields.
struct SendJob {
  std::vector<std::string> files;
  std::string name;      // node name, or a cloud station's device code
  std::string calledAE;  // the destination's AE title
  std::string host;
  uint16_t port = 0;
};

// Progress of a transfer as the window shows it.
struct TransferProgress {
  uint16_t percent = 0;  // 0-100
  std::string text;      // "done/total"
};

// Progress of done out of total; a total of 0 gives 0 %.
TransferProgress MakeTransferProgress(int done, int total);

// The shell's status line, reachable from a worker thread.
using StatusText = std::function<void(const std::string&)>;

// Brings every file into the store, one loaded file at a time, and writes the index once at the
// end. The status counts "Importing k/n" for every file, loaded or not, then "Import finished!".
// A file that already lies at its own place in the store is indexed where it is, never copied
// over itself.
void RunImport(const std::vector<std::string>& files, IKelvast* store, const StatusText& status);

// What a send shows, on the worker thread; the window moves each to its UI thread.
class ISendEvents {
 public:
  virtual ~ISendEvents() = default;
  virtual void OnSendStart() = 0;
  virtual void OnSendProgress(const TransferProgress& progress) = 0;
  // Exactly once per send; ok only when the node took every file.
  virtual void OnSendDone(bool ok) = 0;
};

// The window's C-STORE client and the send jobs it runs, one at a time.
class StudySender : private ISODcmStoreSCUCallback {
 public:
  explicit StudySender(ISendEvents* events);

  // Sends the job's files with callingAE as the calling AE title; blocks until done.
  void RunSend(const SendJob& job, const std::string& callingAE, const StatusText& status);
  // Any thread: the running send stops after the object in transfer.
  void Cancel() { scu_.Cancel(); }

 private:
  void OnProgress(void* reserved, int sent, int total) override;
  void OnFinish(int sent, int total) override;

  ISendEvents* events_;
  SOStoreSCU scu_;
  bool finished_ = false;  // worker thread only
  bool finishedOk_ = false;
};

// The texts of a finished transfer.
const char* SendDoneText(bool ok);
