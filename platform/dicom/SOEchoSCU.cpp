#include "SOEchoSCU.h"

#include "SODcmNetUtil.h"

#include <dcmtk/dcmnet/scu.h>

SOEchoSCU::SOEchoSCU() : peer_(std::make_unique<sodcm::PeerSettings>()), guard_(std::make_unique<sodcm::CallGuard>()) {}

SOEchoSCU::~SOEchoSCU() = default;

bool SOEchoSCU::InitSCP(const char* host, int port, const char* calledAE, const char* callingAE) {
  return peer_->Set(host, port, calledAE, callingAE);
}

// An echo has nothing to finish: the connection is cut at once.
void SOEchoSCU::Cancel() { guard_->Cancel(0); }

bool SOEchoSCU::Echo() {
  if (!peer_->valid) return false;
  // The whole exchange is bounded: a peer that answers slowly gets no true after minutes.
  sodcm::CallScope scope(*guard_, "C-ECHO", *peer_);
  sodcm::LayeredSCU<DcmSCU> scu(*guard_);
  peer_->ApplyTo(scu);
  sodcm::OfferUncompressed(scu, UID_VerificationSOPClass);
  if (scu.Associate().bad()) return false;
  // sendECHORequest only succeeds on a success status in the response.
  bool ok = scu.sendECHORequest(0).good() && !guard_->Interrupted();
  if (ok)
    scu.releaseAssociation();
  else
    scu.Abort();
  return ok;
}
