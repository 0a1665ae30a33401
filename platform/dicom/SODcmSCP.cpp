#include "SODcmSCP.h"

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// DIMSE statuses the service answers with.
constexpr Uint16 kSuccess = 0x0000;
constexpr Uint16 kStoreNotKept = 0xA700;      // refused: out of resources
constexpr Uint16 kCannotUnderstand = 0xC000;  // C-STORE/C-FIND/C-MOVE/C-GET: unable to process
constexpr Uint16 kProcessingFailure = 0x0110;

OFList<OFString> SyntaxesFor(int format) {
  OFList<OFString> out;
  // Compressed syntaxes first, so a sender offering its object compressed keeps it so.
  if (format >= SODcmTransferFormat_Lossless) {
    for (const char* uid : {UID_JPEGLSLosslessTransferSyntax, UID_JPEGProcess14SV1TransferSyntax,
                            UID_JPEGProcess14TransferSyntax, UID_RLELosslessTransferSyntax,
                            UID_JPEG2000LosslessOnlyTransferSyntax, UID_DeflatedExplicitVRLittleEndianTransferSyntax})
      out.push_back(uid);
  }
  if (format >= SODcmTransferFormat_All) {
    for (const char* uid : {UID_JPEGProcess1TransferSyntax, UID_JPEGProcess2_4TransferSyntax,
                            UID_JPEGLSLossyTransferSyntax, UID_JPEG2000TransferSyntax,
                            UID_MPEG2MainProfileAtMainLevelTransferSyntax, UID_MPEG4HighProfileLevel4_1TransferSyntax,
                            UID_MPEG4BDcompatibleHighProfileLevel4_1TransferSyntax})
      out.push_back(uid);
  }
  out.push_back(UID_LittleEndianExplicitTransferSyntax);
  out.push_back(UID_BigEndianExplicitTransferSyntax);
  out.push_back(UID_LittleEndianImplicitTransferSyntax);
  return out;
}

}  // namespace

// The DCMTK service behind SODcmSCP; lives on the StartSCP thread.
class SODcmSCPServer : public DcmSCP {
 public:
  SODcmSCPServer(ISODcmSCPCallback* callback, const std::atomic<bool>& stop, fs::path tempDir)
      : callback_(callback), stop_(stop), tempDir_(std::move(tempDir)) {}

 protected:
  void notifyAssociationRequest(const T_ASC_Parameters& params, DcmSCPActionType& desiredAction) override {
    params_ = SODcmAssociationParams{};
    params_.callingAE = OFSTRING_GUARD(params.DULparams.callingAPTitle);
    params_.calledAE = OFSTRING_GUARD(params.DULparams.calledAPTitle);
    std::string address = OFSTRING_GUARD(params.DULparams.callingPresentationAddress);
    size_t colon = address.rfind(':');
    params_.peerHost = address.substr(0, colon);
    if (colon != std::string::npos) params_.peerPort = std::atoi(address.c_str() + colon + 1);
    storeBegun_ = false;
    getBegun_ = false;
    if (callback_ && !callback_->OnRequest(params_)) desiredAction = DCMSCP_ACTION_REFUSE_ASSOCIATION;
  }

  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }

  // Raised after release, abort and broken connections alike, so what was received in an
  // aborted association is still committed by the listener.
  void notifyAssociationTermination() override {
    if (storeBegun_ && callback_) callback_->OnStoreEnd(params_);
    if (getBegun_ && callback_) callback_->OnGetEnd(params_);
    storeBegun_ = false;
    getBegun_ = false;
  }

  OFBool stopAfterConnectionTimeout() override { return stop_.load(); }
  OFBool stopAfterCurrentAssociation() override { return stop_.load(); }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    const T_ASC_PresentationContextID presID = info.presentationContextID;
    switch (msg->CommandField) {
      case DIMSE_C_STORE_RQ:
        return HandleStore(msg->msg.CStoreRQ, presID);
      case DIMSE_C_FIND_RQ: {
        DcmDataset* keys = nullptr;
        OFCondition cond = receiveFINDRequest(msg->msg.CFindRQ, presID, keys);
        if (cond.bad()) return cond;
        bool ok = WithKeys(keys, [&](SODcmDataset* k) { return callback_ && callback_->OnFind(params_, k); });
        return sendFINDResponse(presID, msg->msg.CFindRQ.MessageID, msg->msg.CFindRQ.AffectedSOPClassUID, nullptr,
                                ok ? kSuccess : kCannotUnderstand);
      }
      case DIMSE_C_MOVE_RQ: {
        DcmDataset* keys = nullptr;
        OFString destination;
        OFCondition cond = receiveMOVERequest(msg->msg.CMoveRQ, presID, keys, destination);
        if (cond.bad()) return cond;
        bool ok = WithKeys(keys, [&](SODcmDataset* k) {
          return callback_ && callback_->OnMove(params_, k, destination.c_str());
        });
        return sendMOVEResponse(presID, msg->msg.CMoveRQ.MessageID, msg->msg.CMoveRQ.AffectedSOPClassUID, nullptr,
                                ok ? kSuccess : kCannotUnderstand);
      }
      case DIMSE_C_GET_RQ:
        return HandleGet(msg->msg.CGetRQ, presID);
      case DIMSE_N_ACTION_RQ:
        if (info.abstractSyntax == UID_StorageCommitmentPushModelSOPClass) return HandleCommit(msg->msg.NActionRQ, presID);
        break;
      default:
        break;
    }
    return DcmSCP::handleIncomingCommand(msg, info);
  }

 private:
  template <class F>
  bool WithKeys(DcmDataset* keys, F f) {
    SODcmDataset dataset;
    if (keys) dataset.Reset(keys, true);
    return f(&dataset);
  }

  OFCondition HandleStore(T_DIMSE_C_StoreRQ& req, T_ASC_PresentationContextID presID) {
    if (!storeBegun_) {
      storeBegun_ = true;
      if (callback_) callback_->OnStoreBegin(params_);
    }
    // Straight to a file, the way it came: nothing large is held in memory, and the
    // listener reads values from the file only as it needs them.
    fs::path path = tempDir_ / ("rx-" + std::to_string(++counter_) + ".dcm");
    OFCondition cond = receiveSTORERequest(req, presID, OFString(path.c_str()));
    if (cond.bad()) {
      std::error_code ec;
      fs::remove(path, ec);
      return cond;
    }
    Uint16 status = kCannotUnderstand;
    {
      SODcmFile file;
      if (file.LoadFile(path.c_str(), false)) status = callback_ && callback_->OnStore(params_, &file) ? kSuccess : kStoreNotKept;
    }
    std::error_code ec;
    fs::remove(path, ec);
    return sendSTOREResponse(presID, req, status);
  }

  OFCondition HandleGet(T_DIMSE_C_GetRQ& req, T_ASC_PresentationContextID presID) {
    DcmDataset* keys = nullptr;
    OFCondition cond = receiveDIMSEDataset(&presID, &keys);
    if (cond.bad()) return cond;
    if (!getBegun_) {
      getBegun_ = true;
      if (callback_) callback_->OnGetBegin(params_);
    }
    bool ok = WithKeys(keys, [&](SODcmDataset* k) { return callback_ && callback_->OnGet(params_, k); });
    T_DIMSE_Message rsp{};
    rsp.CommandField = DIMSE_C_GET_RSP;
    T_DIMSE_C_GetRSP& get = rsp.msg.CGetRSP;
    get.MessageIDBeingRespondedTo = req.MessageID;
    OFStandard::strlcpy(get.AffectedSOPClassUID, req.AffectedSOPClassUID, sizeof get.AffectedSOPClassUID);
    get.DimseStatus = ok ? kSuccess : kCannotUnderstand;
    get.DataSetType = DIMSE_DATASET_NULL;
    get.opts = O_GET_AFFECTEDSOPCLASSUID | O_GET_NUMBEROFREMAININGSUBOPERATIONS | O_GET_NUMBEROFCOMPLETEDSUBOPERATIONS |
               O_GET_NUMBEROFFAILEDSUBOPERATIONS | O_GET_NUMBEROFWARNINGSUBOPERATIONS;
    return sendDIMSEMessage(presID, &rsp, nullptr);
  }

  OFCondition HandleCommit(T_DIMSE_N_ActionRQ& req, T_ASC_PresentationContextID presID) {
    DcmDataset* request = nullptr;
    Uint16 actionType = 0;
    OFCondition cond = receiveACTIONRequest(req, presID, request, actionType);
    if (cond.bad()) return cond;
    std::unique_ptr<DcmDataset> owned(request);
    SODcmCommitResult result;
    std::vector<SODcmReferencedSOP> refs;
    bool ok = actionType == 1 && request && sodcm::ReadCommitRequest(*request, result.transactionUID, refs) &&
              callback_ && callback_->OnCommit(params_, refs, result);
    cond = sendACTIONResponse(presID, req.MessageID, req.RequestedSOPClassUID, req.RequestedSOPInstanceUID,
                              ok ? kSuccess : kProcessingFailure);
    if (cond.bad() || !ok) return cond;
    DcmDataset report;
    Uint16 eventType = sodcm::WriteCommitResult(result, report);
    Uint16 rspStatus = 0;
    return sendEVENTREPORTRequest(presID, UID_StorageCommitmentPushModelSOPInstance, ++eventMessageID_, eventType, &report,
                                  rspStatus);
  }

  ISODcmSCPCallback* callback_;
  const std::atomic<bool>& stop_;
  fs::path tempDir_;
  SODcmAssociationParams params_;
  bool storeBegun_ = false;
  bool getBegun_ = false;
  unsigned long counter_ = 0;
  Uint16 eventMessageID_ = 0;
};

SODcmSCP::SODcmSCP() = default;

SODcmSCP::~SODcmSCP() = default;

bool SODcmSCP::InitSCP(const char* aeTitle, int port) {
  if (!sodcm::ValidAETitle(aeTitle) || !sodcm::ValidPort(port)) return false;
  aeTitle_ = aeTitle;
  port_ = port;
  return true;
}

bool SODcmSCP::SetTransferFormat(int format) {
  if (format < SODcmTransferFormat_Uncompressed || format > SODcmTransferFormat_All) return false;
  format_ = format;
  return true;
}

void SODcmSCP::SetCallback(ISODcmSCPCallback* callback) { callback_ = callback; }

void SODcmSCP::Stop() { stop_ = true; }

bool SODcmSCP::StartSCP() {
  if (port_ == 0 || running_) {
    if (callback_ && port_ == 0) callback_->OnStateChanged(false);
    return false;
  }
  stop_ = false;
  std::error_code ec;
  fs::path tempDir = fs::temp_directory_path(ec) / ("orvanta-scp-" + std::to_string(getpid()) + "-" + std::to_string(port_));
  fs::create_directories(tempDir, ec);

  SODcmSCPServer server(callback_, stop_, tempDir);
  sodcm::NoDelayLayer transport;
  DcmSCPConfig& config = server.getConfig();
  config.setTransportLayer(&transport);
  config.setPort(static_cast<Uint16>(port_));
  config.setAETitle(aeTitle_.c_str());
  config.setRespondWithCalledAETitle(OFTrue);
  config.setHostLookupEnabled(OFFalse);
  // Waiting for the next association in short slices lets Stop end the service.
  config.setConnectionBlockingMode(DUL_NOBLOCK);
  config.setConnectionTimeout(1);
  config.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  config.setDIMSETimeout(sodcm::kDimseTimeout);
  config.setACSETimeout(sodcm::kAcseTimeout);

  // DCMTK keeps at most 128 contexts in a profile: the 120 common storage classes it
  // lists for this purpose, and the 8 other services.
  OFList<OFString> syntaxes = SyntaxesFor(format_);
  OFList<OFString> plain = SyntaxesFor(SODcmTransferFormat_Uncompressed);
  bool ok = true;
  for (int i = 0; i < numberOfDcmLongSCUStorageSOPClassUIDs; ++i)
    ok = ok && config.addPresentationContext(dcmLongSCUStorageSOPClassUIDs[i], syntaxes).good();
  for (const char* uid : {UID_VerificationSOPClass, UID_FINDStudyRootQueryRetrieveInformationModel,
                          UID_FINDPatientRootQueryRetrieveInformationModel, UID_MOVEStudyRootQueryRetrieveInformationModel,
                          UID_MOVEPatientRootQueryRetrieveInformationModel, UID_GETStudyRootQueryRetrieveInformationModel,
                          UID_GETPatientRootQueryRetrieveInformationModel, UID_StorageCommitmentPushModelSOPClass})
    ok = ok && config.addPresentationContext(uid, plain).good();

  ok = ok && server.openListenPort().good();
  if (ok) {
    running_ = true;
    if (callback_) callback_->OnStateChanged(true);
    server.acceptAssociations();
    running_ = false;
  }
  if (callback_) callback_->OnStateChanged(false);
  fs::remove_all(tempDir, ec);
  return ok;
}
