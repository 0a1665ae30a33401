#include "SOStoreSCU.h"

#include "DcmInternal.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmnet/dstorscu.h>

#include <map>

namespace {

bool StoredStatus(Uint16 status) {
  // Success and the warnings (0001, Bxxx) all mean the node kept the object.
  return status == 0x0000 || status == 0x0001 || (status & 0xF000) == 0xB000;
}

class StoreSCU : public sodcm::LayeredSCU<DcmStorageSCU> {
 public:
  StoreSCU(sodcm::CallGuard& guard, ISODcmStoreSCUCallback* callback, int total)
      : LayeredSCU(guard), guard_(guard), callback_(callback), total_(total) {}

  std::vector<std::string> sentFiles;

 protected:
  void notifySOPInstanceSent(const TransferEntry& entry) override {
    if (entry.RequestSent && StoredStatus(entry.ResponseStatusCode)) sentFiles.push_back(entry.Filename.getCharPointer());
    if (callback_) callback_->OnProgress(nullptr, static_cast<int>(sentFiles.size()), total_);
  }
  OFBool shouldStopAfterCurrentSOPInstance() override { return guard_.Cancelled(); }

 private:
  sodcm::CallGuard& guard_;
  ISODcmStoreSCUCallback* callback_;
  int total_;
};

}  // namespace

SOStoreSCU::SOStoreSCU() : peer_(std::make_unique<sodcm::PeerSettings>()), guard_(std::make_unique<sodcm::CallGuard>()) {}

SOStoreSCU::~SOStoreSCU() = default;

bool SOStoreSCU::InitSCU(const char* host, int port, const char* calledAE, const char* callingAE, const char*) {
  return peer_->Set(host, port, calledAE, callingAE);
}

void SOStoreSCU::RegisterCallback(ISODcmStoreSCUCallback* callback) { callback_ = callback; }

void SOStoreSCU::Cancel() { guard_->Cancel(); }

bool SOStoreSCU::SendFiles(const std::vector<std::string>& files, std::vector<std::string>& sent, bool checkValues) {
  sent.clear();
  if (!peer_->valid) return false;
  // A compressed file goes to a node that only takes uncompressed data decompressed.
  RegisterDcmCodecs();
  const int total = static_cast<int>(files.size());
  sodcm::CallScope scope(*guard_, "C-STORE", *peer_, files.size());
  StoreSCU scu(*guard_, callback_, total);
  peer_->ApplyTo(scu);
  scu.setDecompressionMode(DcmStorageSCU::DM_losslessOnly);

  int added = 0;
  for (const std::string& file : files)
    if (scu.addDicomFile(file.c_str(), ERM_autoDetect, checkValues).good()) ++added;
  // Files that could not even be read count as done (and failed) at once.
  for (int i = added; i < total; ++i)
    if (callback_) callback_->OnProgress(nullptr, 0, total);

  // Each round proposes the contexts of what is left, at most the 128 of one association,
  // until nothing is left to propose. A round whose contexts the node takes none of moves
  // on to the next; those files only miss from sent.
  bool ok = true;
  while (ok && !guard_->Cancelled() && scu.addPresentationContexts().good()) {
    OFCondition cond = scu.Associate();
    if (cond == NET_EC_NoAcceptablePresentationContexts) continue;
    if (cond.bad() || scu.sendSOPInstances().bad()) {
      ok = false;
      scu.Abort();
      break;
    }
    scu.releaseAssociation();
  }
  // A cut call reports no success, whatever its release did; an object whose answer never came
  // is not in sent.
  if (guard_->Interrupted()) ok = false;
  // The paths the node stored, in the order it stored them.
  sent = std::move(scu.sentFiles);
  if (callback_) callback_->OnFinish(static_cast<int>(sent.size()), total);
  return ok;
}
