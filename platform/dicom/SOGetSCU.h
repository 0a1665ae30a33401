#pragma once

#include "SOCommitSCU.h"

#include <memory>
#include <vector>

class SODcmFile;
class SODcmDataset;

namespace sodcm {
class CallGuard;
struct PeerSettings;
}  // namespace sodcm

// Sub-operation counters of a C-GET response; warnings count as completed.
struct SODcmGetProgress {
  int remaining = 0;
  int completed = 0;
  int failed = 0;
};

// Told by SOGetSCU on the thread that runs RequestGet.
class ISODcmGetSCUCallback {
 public:
  virtual ~ISODcmGetSCUCallback() = default;
  // 0: after each response of the node that carries counters.
  virtual void OnProgress(void* reserved, const SODcmGetProgress* counters) = 0;
  // 1: one object arrived; the file is the client's and valid during the call. False when the
  // object could not be kept: its sub-operation then fails at the node, so the node does not
  // count it as delivered, and it is left out of the received list.
  virtual bool OnFileReceived(SODcmFile* file) = 0;
};

// Query/retrieve information models; each names the C-GET SOP class used.
enum SODcmQueryRetrieveModel {
  SODcmQRModel_PatientRoot = 1,       // 1.2.840.10008.5.1.4.1.2.1.3
  SODcmQRModel_StudyRoot = 2,         // 1.2.840.10008.5.1.4.1.2.2.3
  SODcmQRModel_PatientStudyOnly = 3,  // 1.2.840.10008.5.1.4.1.2.3.3
};

// C-GET: the node sends the matching objects back over the same association.
class SOGetSCU {
 public:
  SOGetSCU();
  ~SOGetSCU();
  SOGetSCU(const SOGetSCU&) = delete;
  SOGetSCU& operator=(const SOGetSCU&) = delete;

  // reserved is not used. False (and no peer kept) on an empty host, a port outside
  // 1-65535 or an invalid AE title.
  bool Init(const char* host, int port, const char* calledAE, const char* callingAE, const char* reserved);
  // Not owned; null for none.
  void SetCallback(ISODcmGetSCUCallback* callback);

  // Sends keys as the identifier, exactly as given, in the model (a SODcmQueryRetrieveModel
  // value), and receives the objects until the node's final response. received lists each
  // object that arrived, in arrival order. True when the node ended with success or a
  // warning (some sub-operations failed: received tells which came); false when no
  // association could be made, the node refused or failed, the association broke, or the
  // request was cancelled.
  bool RequestGet(int model, SODcmDataset* keys, std::vector<SODcmReferencedSOP>& received);

  // Any thread: asks the node to stop (C-CANCEL) and cuts the association when it does not
  // end within a few seconds.
  void Cancel();

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  std::unique_ptr<sodcm::CallGuard> guard_;
  ISODcmGetSCUCallback* callback_ = nullptr;
};
