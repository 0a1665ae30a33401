#include "SOGetSCU.h"

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>

namespace {

const char* GetSOPClass(int model) {
  switch (model) {
    case SODcmQRModel_PatientRoot:
      return UID_GETPatientRootQueryRetrieveInformationModel;
    case SODcmQRModel_StudyRoot:
      return UID_GETStudyRootQueryRetrieveInformationModel;
    case SODcmQRModel_PatientStudyOnly:
      return UID_RETIRED_GETPatientStudyOnlyQueryRetrieveInformationModel;
    default:
      return nullptr;
  }
}

// The storage contexts offered in the SCP role. Every common storage class takes the
// uncompressed syntaxes; the usual image classes also take each common compression in a
// context of its own, so the node can send what it holds as it holds it. All of it stays
// below the 128 contexts of one association.
void AddStorageContexts(DcmSCU& scu) {
  const OFList<OFString> plain = sodcm::UncompressedSyntaxes();
  for (int i = 0; i < numberOfDcmShortSCUStorageSOPClassUIDs; ++i)
    scu.addPresentationContext(dcmShortSCUStorageSOPClassUIDs[i], plain, ASC_SC_ROLE_SCP);
  for (const char* sopClass : {UID_CTImageStorage, UID_MRImageStorage, UID_SecondaryCaptureImageStorage,
                               UID_ComputedRadiographyImageStorage, UID_DigitalXRayImageStorageForPresentation,
                               UID_UltrasoundImageStorage}) {
    for (const char* syntax : {UID_JPEGProcess14SV1TransferSyntax, UID_JPEGLSLosslessTransferSyntax,
                               UID_RLELosslessTransferSyntax, UID_JPEGProcess1TransferSyntax,
                               UID_JPEG2000LosslessOnlyTransferSyntax, UID_JPEG2000TransferSyntax}) {
      OFList<OFString> one;
      one.push_back(syntax);
      scu.addPresentationContext(sopClass, one, ASC_SC_ROLE_SCP);
    }
  }
}

class GetSCU : public sodcm::LayeredSCU<DcmSCU> {
 public:
  GetSCU(sodcm::CallGuard& guard, ISODcmGetSCUCallback* callback, std::vector<SODcmReferencedSOP>& received)
      : LayeredSCU(guard), guard_(guard), callback_(callback), received_(received) {}

  T_ASC_PresentationContextID getContext = 0;

 protected:
  OFCondition handleCGETResponse(const T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                 OFBool& continueSession) override {
    OFCondition cond = DcmSCU::handleCGETResponse(presID, response, continueSession);
    if (response)
      guard_.ObjectsAnnounced(size_t(response->m_numberOfRemainingSubops) + response->m_numberOfCompletedSubops +
                              response->m_numberOfWarningSubops + response->m_numberOfFailedSubops);
    if (response && callback_) {
      SODcmGetProgress counters;
      counters.remaining = response->m_numberOfRemainingSubops;
      counters.completed = response->m_numberOfCompletedSubops + response->m_numberOfWarningSubops;
      counters.failed = response->m_numberOfFailedSubops;
      callback_->OnProgress(nullptr, &counters);
    }
    CancelIfAsked();
    return cond;
  }

  OFCondition handleSTORERequest(const T_ASC_PresentationContextID, DcmDataset* incomingObject,
                                 OFBool& continueSession, Uint16& status) override {
    continueSession = OFTrue;
    if (!incomingObject) {
      status = STATUS_STORE_Error_CannotUnderstand;
      return DIMSE_NULLKEY;
    }
    guard_.ObjectArrived();
    OFString sopClass, sopInstance;
    incomingObject->findAndGetOFString(DCM_SOPClassUID, sopClass);
    incomingObject->findAndGetOFString(DCM_SOPInstanceUID, sopInstance);
    bool kept = true;
    {
      SODcmFile file;
      file.TakeDataset(incomingObject);
      if (callback_) kept = callback_->OnFileReceived(&file);
    }
    if (kept) received_.push_back({sopClass.c_str(), sopInstance.c_str()});
    status = kept ? STATUS_Success : STATUS_STORE_Refused_OutOfResources;
    CancelIfAsked();
    return EC_Normal;
  }

 private:
  void CancelIfAsked() {
    if (guard_.Cancelled() && !cancelSent_ && isConnected()) {
      cancelSent_ = true;
      sendCANCELRequest(getContext);
    }
  }

  sodcm::CallGuard& guard_;
  ISODcmGetSCUCallback* callback_;
  std::vector<SODcmReferencedSOP>& received_;
  bool cancelSent_ = false;
};

}  // namespace

SOGetSCU::SOGetSCU() : peer_(std::make_unique<sodcm::PeerSettings>()), guard_(std::make_unique<sodcm::CallGuard>()) {}

SOGetSCU::~SOGetSCU() = default;

bool SOGetSCU::Init(const char* host, int port, const char* calledAE, const char* callingAE, const char*) {
  return peer_->Set(host, port, calledAE, callingAE);
}

void SOGetSCU::SetCallback(ISODcmGetSCUCallback* callback) { callback_ = callback; }

void SOGetSCU::Cancel() { guard_->Cancel(); }

bool SOGetSCU::RequestGet(int model, SODcmDataset* keys, std::vector<SODcmReferencedSOP>& received) {
  received.clear();
  const char* sopClass = GetSOPClass(model);
  if (!peer_->valid || !sopClass || !keys) return false;
  // Each object that arrives earns its share of the whole-call deadline.
  sodcm::CallScope scope(*guard_, "C-GET", *peer_, 0, true);
  GetSCU scu(*guard_, callback_, received);
  peer_->ApplyTo(scu);
  sodcm::OfferUncompressed(scu, sopClass);
  AddStorageContexts(scu);
  if (scu.Associate().bad()) return false;
  scu.getContext = scu.findPresentationContextID(sopClass, "");
  if (scu.getContext == 0) {
    scu.Abort();
    return false;
  }
  DcmDataset identifier;
  DcmItem* source = keys->GetDcmItem();
  for (unsigned long i = 0; i < source->card(); ++i)
    identifier.insert(OFstatic_cast(DcmElement*, source->getElement(i)->clone()));

  OFList<RetrieveResponse*> responses;
  OFCondition cond = scu.sendCGETRequest(scu.getContext, &identifier, &responses);
  Uint16 finalStatus = 0xFFFF;
  if (!responses.empty()) finalStatus = responses.back()->m_status;
  for (RetrieveResponse* r : responses) delete r;

  const bool ok = cond.good() && !guard_->Interrupted() && (finalStatus == 0x0000 || (finalStatus & 0xF000) == 0xB000);
  if (cond.good() && scu.isConnected())
    scu.releaseAssociation();
  else
    scu.Abort();
  return ok;
}
