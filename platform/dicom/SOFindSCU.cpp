#include "SOFindSCU.h"

#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmnet/scu.h>

SOFindSCU::SOFindSCU()
    : peer_(std::make_unique<sodcm::PeerSettings>()), guard_(std::make_unique<sodcm::CallGuard>()) {}

SOFindSCU::~SOFindSCU() = default;

bool SOFindSCU::Init(const char* host, int port, const char* calledAE, const char* callingAE) {
  return peer_->Set(host, port, calledAE, callingAE);
}

bool SOFindSCU::FindInstances(const std::vector<std::string>& studyUIDs,
                              std::vector<SODcmReferencedSOP>& found) {
  if (!peer_->valid) return false;
  sodcm::CallScope scope(*guard_, "C-FIND", *peer_);
  sodcm::LayeredSCU<DcmSCU> scu(*guard_);
  peer_->ApplyTo(scu);
  sodcm::OfferUncompressed(scu, UID_FINDStudyRootQueryRetrieveInformationModel);
  if (scu.Associate().bad()) return false;
  const T_ASC_PresentationContextID presID =
      scu.findPresentationContextID(UID_FINDStudyRootQueryRetrieveInformationModel, "");
  bool ok = presID != 0;
  for (size_t i = 0; ok && i < studyUIDs.size(); ++i) {
    DcmDataset keys;
    keys.putAndInsertOFStringArray(DCM_QueryRetrieveLevel, "IMAGE");
    keys.putAndInsertOFStringArray(DCM_StudyInstanceUID, studyUIDs[i].c_str());
    keys.putAndInsertOFStringArray(DCM_SeriesInstanceUID, "");
    keys.putAndInsertOFStringArray(DCM_SOPInstanceUID, "");
    keys.putAndInsertOFStringArray(DCM_SOPClassUID, "");
    OFList<QRResponse*> responses;
    ok = scu.sendFINDRequest(presID, &keys, &responses).good();
    const QRResponse* last = responses.empty() ? nullptr : responses.back();
    for (QRResponse* response : responses) {
      if (ok && response->m_dataset && DICOM_PENDING_STATUS(response->m_status)) {
        OFString sopClass, sopInstance;
        response->m_dataset->findAndGetOFString(DCM_SOPClassUID, sopClass);
        if (response->m_dataset->findAndGetOFString(DCM_SOPInstanceUID, sopInstance).good() &&
            !sopInstance.empty())
          found.push_back({sopClass.c_str(), sopInstance.c_str()});
      }
      // The last response carries the query's final status.
      if (response == last) ok = ok && response->m_status == STATUS_Success;
      delete response;
    }
    ok = ok && last && !guard_->DeadlinePassed();
  }
  if (ok)
    scu.releaseAssociation();
  else
    scu.Abort();
  return ok;
}
