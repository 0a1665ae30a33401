#include "TestPeer.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>

#include "TestSupport.h"

namespace netpeer {

namespace {

constexpr Uint16 kStatusPending = 0xFF00;
constexpr Uint16 kStatusCancel = 0xFE00;
constexpr Uint16 kStatusWarning = 0xB000;
constexpr Uint16 kStatusUnableToProcess = 0xC000;
constexpr Uint16 kStatusProcessingFailure = 0x0110;
constexpr Uint16 kNoSuchObjectInstance = 0x0112;

std::string Text(DcmItem& item, const DcmTagKey& tag) {
  OFString value;
  item.findAndGetOFStringArray(tag, value);
  return value.c_str();
}

std::set<std::string> Split(const std::string& joined) {
  std::set<std::string> parts;
  std::stringstream in(joined);
  std::string part;
  while (std::getline(in, part, '\\'))
    if (!part.empty()) parts.insert(part);
  return parts;
}

}  // namespace

class TestPeer::Server : public DcmSCP {
 public:
  explicit Server(TestPeer& owner) : owner_(owner) {}

  std::atomic<bool> stop{false};

 protected:
  OFBool stopAfterConnectionTimeout() override { return stop.load(); }
  OFBool stopAfterCurrentAssociation() override { return stop.load(); }

  void notifyAssociationRequest(const T_ASC_Parameters& params, DcmSCPActionType& desiredAction) override {
    params_ = const_cast<T_ASC_Parameters*>(&params);
    DcmSCP::notifyAssociationRequest(params, desiredAction);
  }

  OFCondition handleIncomingCommand(T_DIMSE_Message* message,
                                    const DcmPresentationContextInfo& info) override {
    switch (message->CommandField) {
      case DIMSE_C_STORE_RQ:
        return Store(message->msg.CStoreRQ, info.presentationContextID);
      case DIMSE_N_ACTION_RQ:
        return Commit(message->msg.NActionRQ, info.presentationContextID);
      case DIMSE_C_FIND_RQ:
        return Find(message->msg.CFindRQ, info.presentationContextID);
      case DIMSE_C_GET_RQ:
        return Get(message->msg.CGetRQ, info.presentationContextID);
      default:
        return DcmSCP::handleIncomingCommand(message, info);
    }
  }

 private:
  OFCondition Store(T_DIMSE_C_StoreRQ& request, T_ASC_PresentationContextID presID) {
    DcmDataset* dataset = nullptr;
    OFCondition cond = receiveSTORERequest(request, presID, dataset);
    if (cond.bad()) return cond;
    std::unique_ptr<DcmDataset> owned(dataset);
    {
      std::lock_guard<std::mutex> hold(owner_.mutex_);
      ++owner_.counters_.stores;
    }
    if (!owner_.TakeDrop()) owner_.Keep(*dataset);
    return sendSTOREResponse(presID, request, STATUS_Success);
  }

  // Holds instances that match the identifier at its level; the UIDs it named are counted.
  std::vector<std::pair<std::string, Instance>> Match(DcmDataset& keys, std::string& level, int& named) {
    level = Text(keys, DCM_QueryRetrieveLevel);
    std::set<std::string> studies = Split(Text(keys, DCM_StudyInstanceUID));
    std::set<std::string> series = Split(Text(keys, DCM_SeriesInstanceUID));
    std::set<std::string> instances = Split(Text(keys, DCM_SOPInstanceUID));
    named = static_cast<int>(level == "IMAGE"    ? instances.size()
                             : level == "SERIES" ? series.size()
                                                 : studies.size());
    std::vector<std::pair<std::string, Instance>> found;
    std::lock_guard<std::mutex> hold(owner_.mutex_);
    for (const auto& [uid, instance] : owner_.held_) {
      if (!studies.empty() && !studies.count(instance.studyUID)) continue;
      if (!series.empty() && !series.count(instance.seriesUID)) continue;
      if (!instances.empty() && !instances.count(uid)) continue;
      found.emplace_back(uid, instance);
    }
    return found;
  }

  OFCondition Find(T_DIMSE_C_FindRQ& request, T_ASC_PresentationContextID presID) {
    DcmDataset* keys = nullptr;
    OFCondition cond = receiveFINDRequest(request, presID, keys);
    if (cond.bad()) return cond;
    std::unique_ptr<DcmDataset> owned(keys);
    std::string level;
    int named = 0;
    std::set<std::string> answered;
    for (const auto& [uid, instance] : Match(*keys, level, named)) {
      const std::string& id = level == "STUDY"    ? instance.studyUID
                              : level == "SERIES" ? instance.seriesUID
                                                  : uid;
      if (!answered.insert(id).second) continue;
      DcmDataset answer;
      answer.putAndInsertString(DCM_QueryRetrieveLevel, level.c_str());
      answer.putAndInsertString(DCM_StudyInstanceUID, instance.studyUID.c_str());
      if (level != "STUDY") answer.putAndInsertString(DCM_SeriesInstanceUID, instance.seriesUID.c_str());
      if (level == "IMAGE") {
        answer.putAndInsertString(DCM_SOPInstanceUID, uid.c_str());
        answer.putAndInsertString(DCM_SOPClassUID, instance.sopClassUID.c_str());
      }
      cond =
          sendFINDResponse(presID, request.MessageID, request.AffectedSOPClassUID, &answer, kStatusPending);
      if (cond.bad()) return cond;
    }
    return sendFINDResponse(presID, request.MessageID, request.AffectedSOPClassUID, nullptr, STATUS_Success);
  }

  // The accepted context on which we may send C-STORE of this SOP class (the requester took
  // the SCP role), or 0.
  T_ASC_PresentationContextID StoreContext(const std::string& sopClassUID) {
    int count = ASC_countPresentationContexts(params_);
    for (int i = 0; i < count; ++i) {
      T_ASC_PresentationContext pc;
      if (ASC_getPresentationContext(params_, i, &pc).bad()) continue;
      if (pc.resultReason == ASC_P_ACCEPTANCE && sopClassUID == pc.abstractSyntax &&
          (pc.acceptedRole == ASC_SC_ROLE_SCP || pc.acceptedRole == ASC_SC_ROLE_SCUSCP))
        return pc.presentationContextID;
    }
    return 0;
  }

  OFCondition SendGetResponse(T_ASC_PresentationContextID presID, const T_DIMSE_C_GetRQ& request,
                              Uint16 status, int remaining, int completed, int failed) {
    T_DIMSE_Message response;
    memset(&response, 0, sizeof(response));
    response.CommandField = DIMSE_C_GET_RSP;
    T_DIMSE_C_GetRSP& rsp = response.msg.CGetRSP;
    rsp.MessageIDBeingRespondedTo = request.MessageID;
    OFStandard::strlcpy(rsp.AffectedSOPClassUID, request.AffectedSOPClassUID,
                        sizeof(rsp.AffectedSOPClassUID));
    rsp.DataSetType = DIMSE_DATASET_NULL;
    rsp.DimseStatus = status;
    rsp.NumberOfRemainingSubOperations = static_cast<DIC_US>(remaining);
    rsp.NumberOfCompletedSubOperations = static_cast<DIC_US>(completed);
    rsp.NumberOfFailedSubOperations = static_cast<DIC_US>(failed);
    rsp.opts = O_GET_AFFECTEDSOPCLASSUID | O_GET_NUMBEROFCOMPLETEDSUBOPERATIONS |
               O_GET_NUMBEROFFAILEDSUBOPERATIONS | O_GET_NUMBEROFWARNINGSUBOPERATIONS;
    if (status == kStatusPending) rsp.opts |= O_GET_NUMBEROFREMAININGSUBOPERATIONS;
    return sendDIMSEMessage(presID, &response, nullptr);
  }

  // One sub-operation: true when the requester stored the instance.
  bool SendOne(const std::string& uid, const Instance& instance, Uint16 messageID) {
    T_ASC_PresentationContextID storeID = StoreContext(instance.sopClassUID);
    DcmFileFormat file;
    if (!storeID || file.loadFile(instance.file.c_str()).bad()) return false;
    T_DIMSE_Message request;
    memset(&request, 0, sizeof(request));
    request.CommandField = DIMSE_C_STORE_RQ;
    T_DIMSE_C_StoreRQ& rq = request.msg.CStoreRQ;
    rq.MessageID = messageID;
    OFStandard::strlcpy(rq.AffectedSOPClassUID, instance.sopClassUID.c_str(), sizeof(rq.AffectedSOPClassUID));
    OFStandard::strlcpy(rq.AffectedSOPInstanceUID, uid.c_str(), sizeof(rq.AffectedSOPInstanceUID));
    rq.Priority = DIMSE_PRIORITY_MEDIUM;
    rq.DataSetType = DIMSE_DATASET_PRESENT;
    if (sendDIMSEMessage(storeID, &request, file.getDataset()).bad()) return false;
    // The requester may send its C-CANCEL before it answers the sub-operation.
    T_DIMSE_Message response;
    do {
      T_ASC_PresentationContextID responseID = 0;
      DcmDataset* detail = nullptr;
      if (receiveDIMSECommand(&responseID, &response, &detail).bad()) return false;
      delete detail;
      if (response.CommandField == DIMSE_C_CANCEL_RQ) cancelled_ = true;
    } while (response.CommandField == DIMSE_C_CANCEL_RQ);
    return response.CommandField == DIMSE_C_STORE_RSP &&
           (response.msg.CStoreRSP.DimseStatus == STATUS_Success ||
            (response.msg.CStoreRSP.DimseStatus & 0xF000) == 0xB000);
  }

  OFCondition Get(T_DIMSE_C_GetRQ& request, T_ASC_PresentationContextID presID) {
    T_ASC_PresentationContextID dataID = presID;
    DcmDataset* keys = nullptr;
    OFCondition cond = receiveDIMSEDataset(&dataID, &keys);
    if (cond.bad()) return cond;
    std::unique_ptr<DcmDataset> owned(keys);
    std::string level;
    int named = 0;
    auto matches = Match(*keys, level, named);
    {
      std::lock_guard<std::mutex> hold(owner_.mutex_);
      ++owner_.counters_.getRequests;
      owner_.counters_.lastGetKeys = named;
      owner_.counters_.lastGetLevel = level;
    }
    int remaining = static_cast<int>(matches.size()), completed = 0, failed = 0;
    Uint16 subID = 1000;
    cancelled_ = false;
    for (const auto& [uid, instance] : matches) {
      if (cancelled_ || checkForCANCEL(presID, request.MessageID).good())
        return SendGetResponse(presID, request, kStatusCancel, remaining, completed, failed);
      --remaining;
      if (!owner_.TakeDrop() && SendOne(uid, instance, ++subID))
        ++completed;
      else
        ++failed;
      cond = SendGetResponse(presID, request, kStatusPending, remaining, completed, failed);
      if (cond.bad()) return cond;
    }
    Uint16 status = failed == 0 ? STATUS_Success : completed > 0 ? kStatusWarning : kStatusUnableToProcess;
    return SendGetResponse(presID, request, status, 0, completed, failed);
  }

  OFCondition Commit(T_DIMSE_N_ActionRQ& request, T_ASC_PresentationContextID presID) {
    DcmDataset* dataset = nullptr;
    Uint16 actionType = 0;
    OFCondition cond = receiveACTIONRequest(request, presID, dataset, actionType);
    if (cond.bad()) return cond;
    std::unique_ptr<DcmDataset> owned(dataset ? dataset : new DcmDataset);
    Switches switches;
    {
      std::lock_guard<std::mutex> hold(owner_.mutex_);
      ++owner_.counters_.commitRequests;
      switches = owner_.switches_;
    }
    if (switches.refuseCommit)
      return sendACTIONResponse(presID, request.MessageID, request.RequestedSOPClassUID,
                                request.RequestedSOPInstanceUID, kStatusProcessingFailure);
    cond = sendACTIONResponse(presID, request.MessageID, request.RequestedSOPClassUID,
                              request.RequestedSOPInstanceUID, STATUS_Success);
    if (cond.bad()) return cond;

    DcmDataset report;
    report.putAndInsertString(DCM_TransactionUID, Text(*owned, DCM_TransactionUID).c_str());
    std::vector<std::pair<std::string, std::string>> committed, failed;
    DcmSequenceOfItems* refs = nullptr;
    bool named =
        owned->findAndGetSequence(DCM_ReferencedSOPSequence, refs).good() && refs && refs->card() > 0;
    {
      std::lock_guard<std::mutex> hold(owner_.mutex_);
      if (named) {
        for (unsigned long i = 0; i < refs->card(); ++i) {
          DcmItem* item = refs->getItem(i);
          std::string cls = Text(*item, DCM_ReferencedSOPClassUID);
          std::string uid = Text(*item, DCM_ReferencedSOPInstanceUID);
          (owner_.held_.count(uid) ? committed : failed).emplace_back(cls, uid);
        }
      } else {
        std::set<std::string> studies = Split(Text(*owned, DCM_StudyInstanceUID));
        for (const auto& [uid, instance] : owner_.held_)
          if (studies.count(instance.studyUID)) committed.emplace_back(instance.sopClassUID, uid);
      }
    }
    for (const auto& [cls, uid] : committed) {
      DcmItem* item = nullptr;
      report.findOrCreateSequenceItem(DCM_ReferencedSOPSequence, item, -2);
      item->putAndInsertString(DCM_ReferencedSOPClassUID, cls.c_str());
      item->putAndInsertString(DCM_ReferencedSOPInstanceUID, uid.c_str());
    }
    for (const auto& [cls, uid] : failed) {
      DcmItem* item = nullptr;
      report.findOrCreateSequenceItem(DCM_FailedSOPSequence, item, -2);
      item->putAndInsertString(DCM_ReferencedSOPClassUID, cls.c_str());
      item->putAndInsertString(DCM_ReferencedSOPInstanceUID, uid.c_str());
      item->putAndInsertUint16(DCM_FailureReason, kNoSuchObjectInstance);
    }
    for (int waited = 0; waited < switches.reportDelayMs && !stop.load(); waited += 20)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Uint16 status = 0;
    return sendEVENTREPORTRequest(presID, UID_StorageCommitmentPushModelSOPInstance, ++eventID_,
                                  failed.empty() ? 1 : 2, &report, status);
  }

  TestPeer& owner_;
  T_ASC_Parameters* params_ = nullptr;  // of the association being served
  bool cancelled_ = false;              // the running C-GET was cancelled
  Uint16 eventID_ = 1;
};

TestPeer::TestPeer(const fs::path& folder) : folder_(folder) {
  fs::create_directories(folder_);
}

TestPeer::~TestPeer() {
  Stop();
}

bool TestPeer::Start(int port) {
  // DCMTK as built for Debian leaves Nagle's algorithm on unless told, which costs a delayed
  // ACK per object.
  setenv("TCP_NODELAY", "1", 0);
  server_ = std::make_unique<Server>(*this);
  server_->setPort(static_cast<Uint16>(port));
  server_->setAETitle("TESTPEER");
  server_->setRespondWithCalledAETitle(OFTrue);
  server_->setHostLookupEnabled(OFFalse);
  server_->setConnectionBlockingMode(DUL_NOBLOCK);
  server_->setConnectionTimeout(1);
  server_->setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  server_->setDIMSETimeout(30);
  OFList<OFString> syntaxes;
  syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
  syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
  syntaxes.push_back(UID_BigEndianExplicitTransferSyntax);
  for (const char* service :
       {UID_VerificationSOPClass, UID_StorageCommitmentPushModelSOPClass,
        UID_FINDStudyRootQueryRetrieveInformationModel, UID_GETStudyRootQueryRetrieveInformationModel,
        UID_FINDPatientRootQueryRetrieveInformationModel, UID_GETPatientRootQueryRetrieveInformationModel})
    server_->addPresentationContext(service, syntaxes);
  for (int i = 0; i < numberOfDcmAllStorageSOPClassUIDs; ++i)
    server_->addPresentationContext(dcmAllStorageSOPClassUIDs[i], syntaxes, ASC_SC_ROLE_SCUSCP);
  if (server_->openListenPort().bad()) return false;
  thread_ = std::thread([this] { server_->acceptAssociations(); });
  return true;
}

void TestPeer::Stop() {
  if (!server_) return;
  server_->stop = true;
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

void TestPeer::Keep(DcmDataset& dataset) {
  Instance instance;
  std::string uid = Text(dataset, DCM_SOPInstanceUID);
  instance.sopClassUID = Text(dataset, DCM_SOPClassUID);
  instance.studyUID = Text(dataset, DCM_StudyInstanceUID);
  instance.seriesUID = Text(dataset, DCM_SeriesInstanceUID);
  instance.file = folder_ / (uid + ".dcm");
  DcmFileFormat file(&dataset);
  if (file.saveFile(instance.file.c_str(), EXS_LittleEndianExplicit).bad()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  held_[uid] = instance;
}

void TestPeer::Hold(const fs::path& path) {
  DcmFileFormat file;
  if (file.loadFile(path.c_str()).good()) Keep(*file.getDataset());
}

bool TestPeer::TakeDrop() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::exchange(switches_.dropOne, false);
}

void TestPeer::SetSwitches(const Switches& switches) {
  std::lock_guard<std::mutex> hold(mutex_);
  switches_ = switches;
}

std::vector<std::string> TestPeer::HeldUIDs() {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<std::string> uids;
  for (const auto& entry : held_) uids.push_back(entry.first);
  return uids;
}

fs::path TestPeer::FileOf(const std::string& sopInstanceUID) {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = held_.find(sopInstanceUID);
  return it == held_.end() ? fs::path() : it->second.file;
}

Counters TestPeer::GetCounters() {
  std::lock_guard<std::mutex> hold(mutex_);
  return counters_;
}

}  // namespace netpeer
