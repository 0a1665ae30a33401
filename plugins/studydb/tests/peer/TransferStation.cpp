#include "TransferStation.h"

#include "PeerProcess.h"

#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>

#include <chrono>
#include <cstring>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace studytest {
namespace {

const DcmTagKey kTransferKey(0x0721, 0x2001);

class StationScp : public DcmSCP {
 public:
  explicit StationScp(TransferStation& station) : station_(station) {
    DcmSCPConfig& config = getConfig();
    config.setConnectionBlockingMode(DUL_NOBLOCK);
    config.setConnectionTimeout(1);
    OFList<OFString> ts;
    ts.push_back(UID_LittleEndianExplicitTransferSyntax);
    ts.push_back(UID_LittleEndianImplicitTransferSyntax);
    config.addPresentationContext(UID_VerificationSOPClass, ts);
    config.addPresentationContext(UID_GETStudyRootQueryRetrieveInformationModel, ts);
    // The receiver takes the storage contexts in the provider's role.
    for (int i = 0; i < numberOfDcmLongSCUStorageSOPClassUIDs; ++i)
      config.addPresentationContext(dcmLongSCUStorageSOPClassUIDs[i], ts, ASC_SC_ROLE_SCP);
  }

 protected:
  OFBool stopAfterConnectionTimeout() override { return station_.Stopping().load(); }

  OFCondition handleIncomingCommand(T_DIMSE_Message* message, const DcmPresentationContextInfo& info) override {
    if (message->CommandField != DIMSE_C_GET_RQ) return DcmSCP::handleIncomingCommand(message, info);
    const T_DIMSE_C_GetRQ request = message->msg.CGetRQ;
    T_ASC_PresentationContextID presID = info.presentationContextID;
    DcmDataset* keys = nullptr;
    OFCondition cond = receiveDIMSEDataset(&presID, &keys);
    if (cond.bad()) return cond;
    OFString key;
    keys->findAndGetOFString(kTransferKey, key);
    delete keys;
    station_.Record(key.c_str());

    const std::vector<fs::path>& files = station_.Files();
    Uint16 completed = 0, failed = 0;
    const bool transfer = key == "TRANSFER";
    for (size_t i = 0; transfer && i < files.size(); ++i) {
      DcmFileFormat file;
      Uint16 status = 0xC000;
      if (file.loadFile(files[i].c_str()).good()) status = Store(file);
      station_.RecordStatus(status);
      (status == STATUS_Success ? completed : failed)++;
      cond = Answer(request, presID, STATUS_GET_Pending_SubOperationsAreContinuing, files.size() - i - 1, completed,
                    failed);
      if (cond.bad()) return cond;
    }
    const Uint16 last = !transfer  ? STATUS_GET_Error_DataSetDoesNotMatchSOPClass
                        : failed   ? STATUS_GET_Warning_SubOperationsCompleteOneOrMoreFailures
                                   : STATUS_Success;
    return Answer(request, presID, last, 0, completed, failed);
  }

 private:
  // One C-STORE sub-operation; the receiver's status.
  Uint16 Store(DcmFileFormat& file) {
    OFString sopClass, sopInstance;
    file.getDataset()->findAndGetOFString(DCM_SOPClassUID, sopClass);
    file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, sopInstance);
    T_ASC_PresentationContextID storeID = 0;
    for (int id = 1; id < 256 && !storeID; id += 2) {
      OFString abstractSyntax, transferSyntax;
      findPresentationContext(T_ASC_PresentationContextID(id), abstractSyntax, transferSyntax);
      if (abstractSyntax == sopClass) storeID = T_ASC_PresentationContextID(id);
    }
    if (!storeID) return 0xA900;
    T_DIMSE_Message request{};
    request.CommandField = DIMSE_C_STORE_RQ;
    T_DIMSE_C_StoreRQ& store = request.msg.CStoreRQ;
    store.MessageID = nextId_++;
    OFStandard::strlcpy(store.AffectedSOPClassUID, sopClass.c_str(), sizeof store.AffectedSOPClassUID);
    OFStandard::strlcpy(store.AffectedSOPInstanceUID, sopInstance.c_str(), sizeof store.AffectedSOPInstanceUID);
    store.DataSetType = DIMSE_DATASET_PRESENT;
    store.Priority = DIMSE_PRIORITY_MEDIUM;
    if (sendDIMSEMessage(storeID, &request, file.getDataset()).bad()) return 0xC000;
    T_DIMSE_Message response{};
    T_ASC_PresentationContextID responseID = 0;
    DcmDataset* detail = nullptr;
    const OFCondition cond = receiveDIMSECommand(&responseID, &response, &detail, nullptr, 10);
    delete detail;
    if (cond.bad() || response.CommandField != DIMSE_C_STORE_RSP) return 0xC000;
    return response.msg.CStoreRSP.DimseStatus;
  }

  OFCondition Answer(const T_DIMSE_C_GetRQ& request, T_ASC_PresentationContextID presID, Uint16 status,
                     size_t remaining, Uint16 completed, Uint16 failed) {
    T_DIMSE_Message message{};
    message.CommandField = DIMSE_C_GET_RSP;
    T_DIMSE_C_GetRSP& response = message.msg.CGetRSP;
    response.MessageIDBeingRespondedTo = request.MessageID;
    OFStandard::strlcpy(response.AffectedSOPClassUID, request.AffectedSOPClassUID,
                        sizeof response.AffectedSOPClassUID);
    response.DimseStatus = status;
    response.DataSetType = DIMSE_DATASET_NULL;
    response.NumberOfRemainingSubOperations = Uint16(remaining);
    response.NumberOfCompletedSubOperations = completed;
    response.NumberOfFailedSubOperations = failed;
    response.NumberOfWarningSubOperations = 0;
    response.opts = O_GET_AFFECTEDSOPCLASSUID | O_GET_NUMBEROFCOMPLETEDSUBOPERATIONS |
                    O_GET_NUMBEROFFAILEDSUBOPERATIONS | O_GET_NUMBEROFWARNINGSUBOPERATIONS;
    if (status == STATUS_GET_Pending_SubOperationsAreContinuing) response.opts |= O_GET_NUMBEROFREMAININGSUBOPERATIONS;
    return sendDIMSEMessage(presID, &message, nullptr);
  }

  TransferStation& station_;
  Uint16 nextId_ = 1;
};

}  // namespace

TransferStation::TransferStation(std::vector<fs::path> files)
    : files_(std::move(files)), port_(orvanta::test::FreeLoopbackPort()) {
  thread_ = std::thread([this] {
    StationScp scp(*this);
    scp.getConfig().setPort(static_cast<Uint16>(port_));
    scp.getConfig().setAETitle("CLOUD");
    scp.listen();
  });
  for (int i = 0; i < 300 && !peer::Listening(port_); ++i) std::this_thread::sleep_for(10ms);
}

TransferStation::~TransferStation() {
  stop_ = true;
  thread_.join();
}

bool TransferStation::Listening() const { return peer::Listening(port_); }

std::vector<std::string> TransferStation::Keys() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return keys_;
}

std::vector<unsigned> TransferStation::StoreStatuses() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return statuses_;
}

void TransferStation::Record(const std::string& key) {
  std::lock_guard<std::mutex> hold(mutex_);
  keys_.push_back(key);
}

void TransferStation::RecordStatus(unsigned status) {
  std::lock_guard<std::mutex> hold(mutex_);
  statuses_.push_back(status);
}

}  // namespace studytest
