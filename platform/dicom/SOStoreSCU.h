#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sodcm {
class CallGuard;
struct PeerSettings;
}  // namespace sodcm

// Told by SOStoreSCU on the thread that runs SendFiles.
class ISODcmStoreSCUCallback {
 public:
  virtual ~ISODcmStoreSCUCallback() = default;
  // After each file: sent = files stored so far (success or warning), total = files given.
  virtual void OnProgress(void* reserved, int sent, int total) = 0;
  // Once, when SendFiles is done with the files.
  virtual void OnFinish(int sent, int total) = 0;
};

// C-STORE of DICOM files to one node.
class SOStoreSCU {
 public:
  SOStoreSCU();
  ~SOStoreSCU();
  SOStoreSCU(const SOStoreSCU&) = delete;
  SOStoreSCU& operator=(const SOStoreSCU&) = delete;

  // reserved is not used. False (and no peer kept) on an empty host, a port outside
  // 1-65535 or an invalid AE title.
  bool InitSCU(const char* host, int port, const char* calledAE, const char* callingAE, const char* reserved);
  // Not owned; null for none.
  void RegisterCallback(ISODcmStoreSCUCallback* callback);

  // Sends the files in order and returns when the association(s) ended. Each file is
  // offered in its own transfer syntax and uncompressed; a compressed file the node does
  // not take is decompressed when that is lossless. sent receives the paths the node
  // stored. checkValues: refuse files whose SOP Class, SOP Instance or transfer syntax
  // UID is invalid. False when no association could be made, one broke, or the send was
  // cancelled; files that cannot be read or that the node refuses only miss from sent.
  bool SendFiles(const std::vector<std::string>& files, std::vector<std::string>& sent, bool checkValues);

  // Any thread: the running SendFiles stops after the object in transfer.
  void Cancel();

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  std::unique_ptr<sodcm::CallGuard> guard_;
  ISODcmStoreSCUCallback* callback_ = nullptr;
};
