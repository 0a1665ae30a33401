#include "SOCommitSCU.h"

#include "SODcmDataset.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>
#include <dcmtk/dcmnet/scu.h>

#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

OFList<OFString> PlainSyntaxes() {
  OFList<OFString> out;
  out.push_back(UID_LittleEndianExplicitTransferSyntax);
  out.push_back(UID_LittleEndianImplicitTransferSyntax);
  return out;
}

// Takes the node's answer when it comes on an association the node opens to us.
class ReportListener : public DcmSCP {
 public:
  ReportListener(const std::string& transactionUID, SODcmCommitResult& result)
      : transactionUID_(transactionUID), result_(result) {}

  bool done = false;

  bool Open(int port, const std::string& aeTitle) {
    DcmSCPConfig& config = getConfig();
    config.setPort(static_cast<Uint16>(port));
    config.setAETitle(aeTitle.c_str());
    config.setRespondWithCalledAETitle(OFTrue);
    config.setHostLookupEnabled(OFFalse);
    config.setConnectionBlockingMode(DUL_NOBLOCK);
    config.setConnectionTimeout(1);
    config.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    config.setDIMSETimeout(sodcm::kDimseTimeout);
    config.setACSETimeout(sodcm::kAcseTimeout);
    // The node opens this association as the commitment SCP; accept it in either role.
    config.setAlwaysAcceptDefaultRole(OFTrue);
    config.addPresentationContext(UID_StorageCommitmentPushModelSOPClass, PlainSyntaxes(), ASC_SC_ROLE_SCUSCP);
    config.addPresentationContext(UID_VerificationSOPClass, PlainSyntaxes());
    return openListenPort().good();
  }

  // Serves the node for about a second, or until its answer arrived.
  void Poll() { acceptAssociations(); }

 protected:
  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }
  OFBool stopAfterConnectionTimeout() override { return OFTrue; }
  OFBool stopAfterCurrentAssociation() override { return done; }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    if (msg->CommandField != DIMSE_N_EVENT_REPORT_RQ) return DcmSCP::handleIncomingCommand(msg, info);
    DcmDataset* report = nullptr;
    Uint16 eventType = 0;
    OFCondition cond = handleEVENTREPORTRequest(msg->msg.NEventReportRQ, info.presentationContextID, report, eventType);
    std::unique_ptr<DcmDataset> owned(report);
    OFString uid;
    if (cond.good() && report && report->findAndGetOFString(DCM_TransactionUID, uid).good() &&
        transactionUID_ == uid.c_str()) {
      sodcm::ReadCommitResult(*report, result_);
      done = true;
    }
    return cond;
  }

 private:
  const std::string& transactionUID_;
  SODcmCommitResult& result_;
};

using CommitSCU = sodcm::LayeredSCU<DcmSCU>;

// The instances the node holds for the studies named in keys, by a C-FIND at IMAGE level.
bool FindInstances(CommitSCU& scu, SODcmDataset* keys, std::vector<SODcmReferencedSOP>& out) {
  std::string studies;
  if (!keys || !keys->GetString(0x0020000D, studies) || studies.empty()) return false;
  // GetString gives one value; the request wants them all.
  OFString all;
  keys->GetDcmItem()->findAndGetOFStringArray(DCM_StudyInstanceUID, all);
  T_ASC_PresentationContextID presID = scu.findPresentationContextID(UID_FINDStudyRootQueryRetrieveInformationModel, "");
  if (presID == 0) return false;
  DcmDataset query;
  query.putAndInsertString(DCM_QueryRetrieveLevel, "IMAGE");
  query.putAndInsertOFStringArray(DCM_StudyInstanceUID, all);
  query.insertEmptyElement(DCM_SeriesInstanceUID);
  query.insertEmptyElement(DCM_SOPClassUID);
  query.insertEmptyElement(DCM_SOPInstanceUID);
  OFList<QRResponse*> responses;
  OFCondition cond = scu.sendFINDRequest(presID, &query, &responses);
  bool ok = cond.good() && !responses.empty() && responses.back()->m_status == STATUS_Success;
  for (QRResponse* r : responses) {
    OFString cls, inst;
    if (ok && r->m_dataset && r->m_dataset->findAndGetOFString(DCM_SOPInstanceUID, inst).good() && !inst.empty()) {
      r->m_dataset->findAndGetOFString(DCM_SOPClassUID, cls);
      out.push_back({cls.c_str(), inst.c_str()});
    }
    delete r;
  }
  return ok;
}

}  // namespace

SOCommitSCU::SOCommitSCU() : peer_(std::make_unique<sodcm::PeerSettings>()) {}

SOCommitSCU::~SOCommitSCU() = default;

bool SOCommitSCU::Init(const char* host, int port, const char* calledAE, const char* callingAE, const char* extra) {
  reportPort_ = 0;
  if (extra && *extra) {
    char* end = nullptr;
    long value = std::strtol(extra, &end, 10);
    if (*end != '\0' || !sodcm::ValidPort(static_cast<int>(value))) {
      peer_->valid = false;
      return false;
    }
    reportPort_ = static_cast<int>(value);
  }
  return peer_->Set(host, port, calledAE, callingAE);
}

bool SOCommitSCU::RequestCommit(SODcmDataset* dataset, const std::vector<SODcmReferencedSOP>& refs,
                                SODcmCommitResult& result, const char* transactionUID, bool wait, int timeoutSeconds) {
  result = SODcmCommitResult{};
  if (!peer_->valid) return false;
  if (transactionUID && *transactionUID) {
    result.transactionUID = transactionUID;
  } else {
    char uid[100];
    result.transactionUID = dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
  }

  // Listen before asking, so an answer that comes at once is not missed.
  std::unique_ptr<ReportListener> listener;
  if (wait && reportPort_ > 0) {
    listener = std::make_unique<ReportListener>(result.transactionUID, result);
    if (!listener->Open(reportPort_, peer_->callingAE)) return false;
  }

  sodcm::CallGuard guard;
  CommitSCU scu(guard);
  peer_->ApplyTo(scu);
  scu.addPresentationContext(UID_StorageCommitmentPushModelSOPClass, PlainSyntaxes());
  if (refs.empty()) scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, PlainSyntaxes());
  if (scu.Associate().bad()) return false;

  std::vector<SODcmReferencedSOP> wanted = refs;
  DcmDataset request;
  if (refs.empty()) {
    if (!FindInstances(scu, dataset, wanted)) {
      scu.Abort();
      return false;
    }
    // The node holds nothing for these studies: nothing to commit, nothing missing.
    if (wanted.empty()) {
      scu.releaseAssociation();
      return true;
    }
  } else if (dataset) {
    DcmItem* source = dataset->GetDcmItem();
    for (unsigned long i = 0; i < source->card(); ++i)
      request.insert(OFstatic_cast(DcmElement*, source->getElement(i)->clone()), OFTrue);
  }
  sodcm::WriteCommitRequest(result.transactionUID, wanted, request);

  T_ASC_PresentationContextID presID = scu.findPresentationContextID(UID_StorageCommitmentPushModelSOPClass, "");
  Uint16 status = 0xFFFF;
  if (presID == 0 || scu.sendACTIONRequest(presID, UID_StorageCommitmentPushModelSOPInstance, 1, &request, status).bad() ||
      status != STATUS_Success) {
    scu.Abort();
    return false;
  }
  if (!wait) {
    scu.releaseAssociation();
    return true;
  }

  // The answer may come on this association or, from nodes that answer later, on one of
  // their own; watch both until it arrives or the time is up.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : 1);
  bool answered = false;
  while (!answered && Clock::now() < deadline) {
    if (scu.isConnected()) {
      DcmDataset* report = nullptr;
      Uint16 eventType = 0;
      OFCondition cond = scu.handleEVENTREPORTRequest(report, eventType, 1);
      std::unique_ptr<DcmDataset> owned(report);
      OFString uid;
      if (cond.good() && report && report->findAndGetOFString(DCM_TransactionUID, uid).good() &&
          result.transactionUID == uid.c_str()) {
        sodcm::ReadCommitResult(*report, result);
        answered = true;
      } else if (cond == DUL_PEERREQUESTEDRELEASE) {
        scu.closeAssociation(DCMSCU_PEER_REQUESTED_RELEASE);
      } else if (cond.bad() && cond != DIMSE_NODATAAVAILABLE) {
        scu.Abort();
      }
    } else if (!listener) {
      break;
    }
    if (!answered && listener) {
      listener->Poll();
      answered = listener->done;
    }
  }
  if (scu.isConnected()) scu.releaseAssociation();
  return answered;
}
