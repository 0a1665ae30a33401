#include "SOCommitSCU.h"

#include "SODcmDataset.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>
#include <dcmtk/dcmnet/scu.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

OFList<OFString> PlainSyntaxes() {
  OFList<OFString> out;
  out.push_back(UID_LittleEndianExplicitTransferSyntax);
  out.push_back(UID_LittleEndianImplicitTransferSyntax);
  return out;
}

// Takes the node's answer when it comes on an association the node opens to us. It serves on
// a thread of its own from before the request until the answer is in or the caller gives up,
// so the port stays open however late the node answers.
class ReportListener : public DcmSCP {
 public:
  ReportListener(const std::string& transactionUID, SODcmCommitResult& result)
      : transactionUID_(transactionUID), result_(result) {}

  ~ReportListener() override { Stop(); }

  bool Start(int port, const std::string& aeTitle) {
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
    if (openListenPort().bad()) return false;
    thread_ = std::thread([this] { acceptAssociations(); });
    return true;
  }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  bool Answered() const { return done_; }

 protected:
  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }
  OFBool stopAfterConnectionTimeout() override { return done_ || stop_; }
  OFBool stopAfterCurrentAssociation() override { return done_ || stop_; }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    if (msg->CommandField != DIMSE_N_EVENT_REPORT_RQ) return DcmSCP::handleIncomingCommand(msg, info);
    DcmDataset* report = nullptr;
    Uint16 eventType = 0;
    OFCondition cond = handleEVENTREPORTRequest(msg->msg.NEventReportRQ, info.presentationContextID, report, eventType);
    std::unique_ptr<DcmDataset> owned(report);
    OFString uid;
    if (cond.good() && report && report->findAndGetOFString(DCM_TransactionUID, uid).good() &&
        transactionUID_ == uid.c_str() && !stop_) {
      // result_ belongs to the caller, who reads it only after Answered() or Stop().
      sodcm::ReadCommitResult(*report, result_);
      done_ = true;
    }
    return cond;
  }

 private:
  const std::string& transactionUID_;
  SODcmCommitResult& result_;
  std::atomic<bool> done_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

using CommitSCU = sodcm::LayeredSCU<DcmSCU>;

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
    if (!listener->Start(reportPort_, peer_->callingAE)) return false;
  }

  sodcm::CallGuard guard;
  CommitSCU scu(guard);
  peer_->ApplyTo(scu);
  scu.addPresentationContext(UID_StorageCommitmentPushModelSOPClass, PlainSyntaxes());
  if (scu.Associate().bad()) return false;

  // With an empty list the dataset names studies (0020,000D) and the node answers with the
  // instances it holds for them; the nodes of the consultation service rely on this query.
  DcmDataset request;
  if (dataset) {
    DcmItem* source = dataset->GetDcmItem();
    for (unsigned long i = 0; i < source->card(); ++i)
      request.insert(OFstatic_cast(DcmElement*, source->getElement(i)->clone()), OFTrue);
  }
  sodcm::WriteCommitRequest(result.transactionUID, refs, request);

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
      if (!scu.isConnected()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      answered = listener->Answered();
    }
  }
  if (listener) {
    listener->Stop();
    answered = answered || listener->Answered();
  }
  if (scu.isConnected()) scu.releaseAssociation();
  return answered;
}
