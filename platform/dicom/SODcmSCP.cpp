#include "SODcmSCP.h"

#include "DcmTagOrder.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcostrma.h>
#include <dcmtk/dcmdata/dcostrmf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scpthrd.h>

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// DIMSE statuses the service answers with.
constexpr Uint16 kSuccess = 0x0000;
constexpr Uint16 kStoreNotKept = 0xA700;      // refused: out of resources
constexpr Uint16 kCannotUnderstand = 0xC000;  // C-STORE/C-FIND/C-MOVE/C-GET: unable to process
constexpr Uint16 kProcessingFailure = 0x0110;
constexpr Uint16 kSubOperationsFailed = 0xB000;  // C-GET: some sub-operations failed

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

// Objects up to this size are received in memory; a larger one goes to a temporary file.
constexpr size_t kInMemoryLimit = 16 << 20;
// No object may be larger: a sender past it loses its association.
constexpr uint64_t kMaxObjectBytes = uint64_t(4) << 30;
// Objects are refused (out of resources) while the spill folder's filesystem, which is the
// store's, has less free space than this; checked before each object and while a large one
// arrives, every kFreeSpaceStep bytes.
constexpr uint64_t kFreeSpaceReserve = uint64_t(256) << 20;
constexpr uint64_t kFreeSpaceStep = uint64_t(64) << 20;
// A data set with more elements out of order than this is refused before DCMTK reads it, which
// would take time in the square of its size; a few stray ones (real devices send them) pass.
constexpr size_t kMaxBackward = 64;

bool FreeSpaceLow(const fs::path& folder) {
  struct statvfs st {};
  if (::statvfs(folder.c_str(), &st) != 0) return false;
  return uint64_t(st.f_bavail) * st.f_frsize < kFreeSpaceReserve;
}
// Received bytes are held in blocks of this size, so that growing never copies them; the
// blocks of an object this size stay allocated for the next one.
constexpr size_t kBlockSize = 256 << 10;
constexpr size_t kKeptBlocks = 8;

using Blocks = std::vector<std::unique_ptr<char[]>>;

// Where the bytes of one received dataset go. While the object stays within kInMemoryLimit
// they are parsed as they arrive (so the parsing is done when the last byte is) and also kept
// as they came; past the limit the parsed part is dropped and a temporary file with file meta
// information takes what was kept and everything after it.
class ObjectSink : public DcmConsumer {
 public:
  // blocks: memory kept from object to object; xfer: the transfer syntax of the data.
  ObjectSink(Blocks& blocks, fs::path path, const T_DIMSE_C_StoreRQ& req, T_ASC_Association* assoc,
             T_ASC_PresentationContextID presID, E_TransferSyntax xfer, bool refuse)
      : blocks_(blocks),
        path_(std::move(path)),
        req_(req),
        assoc_(assoc),
        presID_(presID),
        xfer_(xfer),
        order_(DcmXfer(xfer).isExplicitVR(), DcmXfer(xfer).getByteOrder() == EBO_BigEndian),
        followOrder_(DcmXfer(xfer).getStreamCompression() == ESC_none),
        refusal_(refuse ? kStoreNotKept : kSuccess) {
    // (DcmDataset::read itself inflates a deflated dataset.)
    dataset_->transferInit();
  }
  ~ObjectSink() override { Discard(); }

  OFBool good() const override { return status_.good(); }
  OFCondition status() const override { return status_; }
  OFBool isFlushed() const override { return !file_ || file_->isFlushed(); }
  offile_off_t avail() const override { return good() ? std::numeric_limits<offile_off_t>::max() : 0; }
  void flush() override {
    if (file_) file_->flush();
  }

  offile_off_t write(const void* buf, offile_off_t length) override {
    if (!good()) return 0;
    const char* bytes = static_cast<const char*>(buf);
    const size_t n = static_cast<size_t>(length);
    received_ += n;
    if (received_ > kMaxObjectBytes) {
      status_ = makeDcmnetCondition(DIMSEC_OUTOFRESOURCES, OF_error, "object larger than the service takes");
      return 0;
    }
    // A refused object is read to its end, so the association goes on, and dropped.
    if (refusal_ != kSuccess) return length;
    if (followOrder_) {
      order_.Feed(reinterpret_cast<const unsigned char*>(bytes), n);
      if (order_.Backward() > kMaxBackward) {
        Refuse(kCannotUnderstand);
        return length;
      }
    }
    if (spilled_ && received_ / kFreeSpaceStep != (received_ - n) / kFreeSpaceStep &&
        FreeSpaceLow(path_.parent_path())) {
      Refuse(kStoreNotKept);
      return length;
    }
    if (!spilled_ && size_ + n <= kInMemoryLimit) {
      Keep(bytes, n);
      if (parsed_ == EC_StreamNotifyClient) {
        in_.setBuffer(bytes, length);
        parsed_ = dataset_->read(in_, xfer_, EGL_noChange);
        in_.releaseBuffer();
      }
      return length;
    }
    if (!spilled_) {
      spilled_ = true;
      dataset_.reset();
      DcmOutputFileStream* stream = nullptr;
      status_ = DIMSE_createFilestream(path_.c_str(), &req_, assoc_, presID_, OFTrue, &stream);
      file_.reset(stream);
      if (!good() || !file_) return 0;
      for (size_t i = 0; i * kBlockSize < size_; ++i)
        if (!WriteFile(blocks_[i].get(), std::min(kBlockSize, size_ - i * kBlockSize))) return 0;
      Forget();
    }
    return WriteFile(bytes, n) ? length : 0;
  }

  // The object is not kept, and its sender is answered with status: what came and what comes
  // is dropped.
  void Refuse(Uint16 status) {
    Discard();
    refusal_ = status;
  }
  // The status of a refused object, kSuccess while it is not.
  Uint16 Refusal() const { return refusal_; }

  // The received object for the listener: parsed in memory, or read from the temporary file
  // with large values left on disk. False when it does not parse.
  bool Load(SODcmFile& file) {
    if (refusal_ != kSuccess) return false;
    if (spilled_) {
      file_.reset();
      return good() && file.LoadFile(path_.c_str(), false);
    }
    const bool any = size_ > 0;
    Forget();
    if (parsed_ == EC_StreamNotifyClient) {
      in_.setEos();
      parsed_ = dataset_->read(in_, xfer_, EGL_noChange);
    }
    dataset_->transferEnd();
    if (!any || parsed_.bad()) return false;
    file.TakeDataset(dataset_.release());
    // The file meta information a file received straight to disk would carry.
    DcmFileFormat* format = file.GetFileFormat();
    format->validateMetaInfo(xfer_);
    format->getMetaInfo()->putAndInsertString(DCM_SourceApplicationEntityTitle,
                                              assoc_->params->DULparams.callingAPTitle);
    return true;
  }

  // Drops what was received and the temporary file.
  void Discard() {
    Forget();
    dataset_.reset();
    file_.reset();
    if (spilled_) {
      std::error_code ec;
      fs::remove(path_, ec);
      spilled_ = false;
    }
  }

 private:
  void Keep(const char* bytes, size_t n) {
    while (n > 0) {
      const size_t offset = size_ % kBlockSize;
      const size_t block = size_ / kBlockSize;
      if (block == blocks_.size()) blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
      const size_t take = std::min(n, kBlockSize - offset);
      std::memcpy(blocks_[block].get() + offset, bytes, take);
      bytes += take;
      n -= take;
      size_ += take;
    }
  }

  void Forget() {
    if (blocks_.size() > kKeptBlocks) blocks_.resize(kKeptBlocks);
    size_ = 0;
  }

  bool WriteFile(const char* bytes, size_t n) {
    while (n > 0) {
      offile_off_t written = file_->write(bytes, static_cast<offile_off_t>(n));
      if (written <= 0 || !file_->good()) {
        status_ = file_->good() ? makeDcmnetCondition(DIMSEC_OUTOFRESOURCES, OF_error, "temporary file not written")
                                : file_->status();
        return false;
      }
      bytes += written;
      n -= static_cast<size_t>(written);
    }
    return true;
  }

  Blocks& blocks_;
  size_t size_ = 0;  // bytes kept in blocks_
  uint64_t received_ = 0;  // bytes of the object so far
  fs::path path_;
  const T_DIMSE_C_StoreRQ& req_;
  T_ASC_Association* assoc_;
  T_ASC_PresentationContextID presID_;
  E_TransferSyntax xfer_;
  DcmInputBufferStream in_;
  std::unique_ptr<DcmDataset> dataset_ = std::make_unique<DcmDataset>();
  OFCondition parsed_ = EC_StreamNotifyClient;  // the parser wants more data while it says so
  std::unique_ptr<DcmOutputFileStream> file_;
  bool spilled_ = false;
  DcmTagOrder order_;
  const bool followOrder_;  // deflated data are not followed
  Uint16 refusal_;
  OFCondition status_ = EC_Normal;
};

// DCMTK's output stream over a consumer of our own.
class SinkStream : public DcmOutputStream {
 public:
  explicit SinkStream(DcmConsumer* sink) : DcmOutputStream(sink) {}
};

// The listener's slots, raised by any association's thread but one at a time, so a listener
// sees the service's events in a single sequence as before.
class Events {
 public:
  explicit Events(ISODcmSCPCallback* callback) : callback_(callback) {}

  // f(listener) under the lock; otherwise without a listener.
  template <class F>
  bool Ask(bool otherwise, F f) {
    if (!callback_) return otherwise;
    std::lock_guard<std::mutex> lock(mutex_);
    return f(*callback_);
  }
  template <class F>
  void Tell(F f) {
    Ask(false, [&](ISODcmSCPCallback& c) {
      f(c);
      return true;
    });
  }

 private:
  ISODcmSCPCallback* const callback_;
  std::mutex mutex_;
};

// Who may be served: at most kWorking associations at once, and at most kPerPeer of them from one
// calling peer (host and AE title), so a few peers holding associations open never take every
// place. Thread-safe.
class Admission {
 public:
  static constexpr int kWorking = 8;
  static constexpr int kPerPeer = 4;

  bool Enter(const std::string& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    int& mine = perPeer_[peer];
    if (working_ >= kWorking || mine >= kPerPeer) {
      if (mine == 0) perPeer_.erase(peer);
      return false;
    }
    ++mine;
    ++working_;
    return true;
  }
  void Leave(const std::string& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    --working_;
    if (--perPeer_[peer] <= 0) perPeer_.erase(peer);
  }

 private:
  std::mutex mutex_;  // guards the counts
  int working_ = 0;
  std::map<std::string, int> perPeer_;
};

// One association, on DCMTK's handling of it (DcmThreadSCP::run) with the association at
// hand, so that C-STORE data are received straight into memory or a file as the object's
// size asks. Destroying the handler drops and frees the association.
class AssociationHandler : public DcmThreadSCP {
 public:
  AssociationHandler(Events& events, Admission& admission, const fs::path& tempDir,
                     std::atomic<unsigned long>& counter, Blocks& blocks, T_ASC_Association* assoc)
      : events_(events),
        admission_(admission),
        tempDir_(tempDir),
        counter_(counter),
        blocks_(blocks),
        assoc_(assoc) {}

  // Negotiates, serves and ends the association.
  OFCondition Serve() {
    OFCondition cond = run(assoc_);
    if (admitted_) admission_.Leave(peerKey_);
    admitted_ = false;
    return cond;
  }

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
    peerKey_ = params_.peerHost + '\n' + params_.callingAE;
    admitted_ = admission_.Enter(peerKey_);
    overLimit_ = !admitted_;
    if (overLimit_ || !events_.Ask(true, [&](ISODcmSCPCallback& c) { return c.OnRequest(params_); }))
      desiredAction = DCMSCP_ACTION_REFUSE_ASSOCIATION;
  }

  // Over the limits the answer is at once and says "try again later".
  void refuseAssociation(const DcmRefuseReasonType reason) override {
    DcmThreadSCP::refuseAssociation(overLimit_ ? DCMSCP_TOO_MANY_ASSOCIATIONS : reason);
  }

  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }

  // Raised after release, abort and broken connections alike, so what was received in an
  // aborted association is still committed by the listener.
  void notifyAssociationTermination() override {
    if (storeBegun_) events_.Tell([&](ISODcmSCPCallback& c) { c.OnStoreEnd(params_); });
    if (getBegun_) events_.Tell([&](ISODcmSCPCallback& c) { c.OnGetEnd(params_); });
    storeBegun_ = false;
    getBegun_ = false;
  }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    const T_ASC_PresentationContextID presID = info.presentationContextID;
    switch (msg->CommandField) {
      case DIMSE_C_STORE_RQ:
        return HandleStore(msg->msg.CStoreRQ, presID);
      case DIMSE_C_FIND_RQ: {
        DcmDataset* keys = nullptr;
        OFCondition cond = receiveFINDRequest(msg->msg.CFindRQ, presID, keys);
        if (cond.bad()) return cond;
        std::vector<SODcmFindMatch> matches;
        bool listed = false;
        bool ok = WithKeys(keys, [&](SODcmDataset* k) {
          listed = events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnFindMatches(params_, k, matches); });
          return listed || events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnFind(params_, k); });
        });
        for (size_t i = 0; listed && i < matches.size(); ++i) {
          DcmDataset match;
          for (const auto& [tag, value] : matches[i])
            match.putAndInsertOFStringArray(DcmTagKey(Uint16(tag >> 16), Uint16(tag & 0xFFFF)), value.c_str());
          cond = sendFINDResponse(presID, msg->msg.CFindRQ.MessageID, msg->msg.CFindRQ.AffectedSOPClassUID, &match,
                                  STATUS_Pending);
          if (cond.bad()) return cond;
        }
        return sendFINDResponse(presID, msg->msg.CFindRQ.MessageID, msg->msg.CFindRQ.AffectedSOPClassUID, nullptr,
                                ok ? kSuccess : kCannotUnderstand);
      }
      case DIMSE_C_MOVE_RQ: {
        DcmDataset* keys = nullptr;
        OFString destination;
        OFCondition cond = receiveMOVERequest(msg->msg.CMoveRQ, presID, keys, destination);
        if (cond.bad()) return cond;
        bool ok = WithKeys(keys, [&](SODcmDataset* k) {
          return events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnMove(params_, k, destination.c_str()); });
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
      events_.Tell([&](ISODcmSCPCallback& c) { c.OnStoreBegin(params_); });
    }
    if (req.DataSetType == DIMSE_DATASET_NULL) return DIMSE_BADMESSAGE;
    // The data go as they came into memory, or for a large object into a temporary file,
    // which the listener then reads values from only as it needs them.
    T_ASC_PresentationContext context;
    if (ASC_findAcceptedPresentationContext(assoc_->params, presID, &context).bad()) return DIMSE_BADMESSAGE;
    ObjectSink sink(blocks_, tempDir_ / ("rx-" + std::to_string(++counter_) + ".dcm"), req, assoc_, presID,
                    DcmXfer(context.acceptedTransferSyntax).getXfer(), FreeSpaceLow(tempDir_));
    T_ASC_PresentationContextID dataID = presID;
    OFCondition cond;
    {
      SinkStream stream(&sink);
      cond = DIMSE_receiveDataSetInFile(assoc_, getConfig().getDIMSEBlockingMode(),
                                        static_cast<int>(getConfig().getDIMSETimeout()), &dataID, &stream, nullptr,
                                        nullptr);
    }
    if (cond.good() && dataID != presID)
      cond = makeDcmnetCondition(DIMSEC_INVALIDPRESENTATIONCONTEXTID, OF_error,
                                 "DIMSE: Presentation Contexts of Command and Data Set differ");
    if (cond.bad()) return cond;
    Uint16 status = sink.Refusal() != kSuccess ? sink.Refusal() : kCannotUnderstand;
    {
      SODcmFile file;
      if (sink.Refusal() == kSuccess && sink.Load(file))
        status = events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnStore(params_, &file); }) ? kSuccess
                                                                                                     : kStoreNotKept;
    }
    sink.Discard();
    return sendSTOREResponse(presID, req, status);
  }

  OFCondition HandleGet(T_DIMSE_C_GetRQ& req, T_ASC_PresentationContextID presID) {
    DcmDataset* keys = nullptr;
    OFCondition cond = receiveDIMSEDataset(&presID, &keys);
    if (cond.bad()) return cond;
    if (!getBegun_) {
      getBegun_ = true;
      events_.Tell([&](ISODcmSCPCallback& c) { c.OnGetBegin(params_); });
    }
    std::vector<std::string> files;
    bool listed = false;
    bool ok = WithKeys(keys, [&](SODcmDataset* k) {
      listed = events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnGetFiles(params_, k, files); });
      return listed || events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnGet(params_, k); });
    });
    Uint16 completed = 0, failed = 0;
    for (const std::string& file : files) {
      if (SendFile(file).good())
        ++completed;
      else
        ++failed;
    }
    T_DIMSE_Message rsp{};
    rsp.CommandField = DIMSE_C_GET_RSP;
    T_DIMSE_C_GetRSP& get = rsp.msg.CGetRSP;
    get.MessageIDBeingRespondedTo = req.MessageID;
    OFStandard::strlcpy(get.AffectedSOPClassUID, req.AffectedSOPClassUID, sizeof get.AffectedSOPClassUID);
    get.DimseStatus = !ok ? kCannotUnderstand : failed == 0 ? kSuccess : kSubOperationsFailed;
    get.NumberOfCompletedSubOperations = completed;
    get.NumberOfFailedSubOperations = failed;
    get.DataSetType = DIMSE_DATASET_NULL;
    get.opts = O_GET_AFFECTEDSOPCLASSUID | O_GET_NUMBEROFREMAININGSUBOPERATIONS | O_GET_NUMBEROFCOMPLETEDSUBOPERATIONS |
               O_GET_NUMBEROFFAILEDSUBOPERATIONS | O_GET_NUMBEROFWARNINGSUBOPERATIONS;
    return sendDIMSEMessage(presID, &rsp, nullptr);
  }

  // One C-STORE sub-operation of a C-GET: the file in the transfer syntax the requester took
  // for its SOP class.
  OFCondition SendFile(const std::string& path) {
    DcmFileFormat file;
    OFCondition cond = file.loadFile(path.c_str());
    if (cond.bad()) return cond;
    DcmDataset* dataset = file.getDataset();
    OFString sopClass, sopInstance;
    dataset->findAndGetOFString(DCM_SOPClassUID, sopClass);
    dataset->findAndGetOFString(DCM_SOPInstanceUID, sopInstance);
    const T_ASC_PresentationContextID presID = ASC_findAcceptedPresentationContextID(assoc_, sopClass.c_str());
    T_ASC_PresentationContext context;
    if (presID == 0 || ASC_findAcceptedPresentationContext(assoc_->params, presID, &context).bad())
      return DIMSE_NOVALIDPRESENTATIONCONTEXTID;
    const E_TransferSyntax xfer = DcmXfer(context.acceptedTransferSyntax).getXfer();
    if (dataset->chooseRepresentation(xfer, nullptr).bad() || !dataset->canWriteXfer(xfer))
      return DIMSE_NOVALIDPRESENTATIONCONTEXTID;
    T_DIMSE_C_StoreRQ request{};
    request.MessageID = ++subMessageID_;
    OFStandard::strlcpy(request.AffectedSOPClassUID, sopClass.c_str(), sizeof request.AffectedSOPClassUID);
    OFStandard::strlcpy(request.AffectedSOPInstanceUID, sopInstance.c_str(), sizeof request.AffectedSOPInstanceUID);
    request.DataSetType = DIMSE_DATASET_PRESENT;
    request.Priority = DIMSE_PRIORITY_MEDIUM;
    T_DIMSE_C_StoreRSP response{};
    DcmDataset* statusDetail = nullptr;
    cond = DIMSE_storeUser(assoc_, presID, &request, nullptr, dataset, nullptr, nullptr,
                           getConfig().getDIMSEBlockingMode(), static_cast<int>(getConfig().getDIMSETimeout()),
                           &response, &statusDetail);
    delete statusDetail;
    if (cond.good() && response.DimseStatus != kSuccess) return DIMSE_BADDATA;
    return cond;
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
              events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnCommit(params_, refs, result); });
    cond = sendACTIONResponse(presID, req.MessageID, req.RequestedSOPClassUID, req.RequestedSOPInstanceUID,
                              ok ? kSuccess : kProcessingFailure);
    if (cond.bad() || !ok) return cond;
    if (events_.Ask(false, [&](ISODcmSCPCallback& c) { return c.OnCommitAnswer(params_, result); })) return cond;
    DcmDataset report;
    Uint16 eventType = sodcm::WriteCommitResult(result, report);
    Uint16 rspStatus = 0;
    return sendEVENTREPORTRequest(presID, UID_StorageCommitmentPushModelSOPInstance, ++eventMessageID_, eventType, &report,
                                  rspStatus);
  }

  Events& events_;
  Admission& admission_;
  const fs::path& tempDir_;
  std::atomic<unsigned long>& counter_;  // names the temporary files of the whole service
  Blocks& blocks_;
  T_ASC_Association* assoc_;
  SODcmAssociationParams params_;
  std::string peerKey_;
  bool admitted_ = false;   // holds a place in admission_
  bool overLimit_ = false;
  bool storeBegun_ = false;
  bool getBegun_ = false;
  Uint16 eventMessageID_ = 0;
  Uint16 subMessageID_ = 0;  // of the C-STORE sub-operations of C-GETs
};

}  // namespace

// The running service: a pool of threads, each taking an association request and serving
// that association to its end, so a slow or hostile peer holds one thread and never the
// others. More threads wait for requests than associations may be served (Admission), so
// connections that stay silent leave threads to answer the others, at once. The threads share
// DCMTK's network and the negotiation settings; the temporary folder and the file counter are
// the service's, the received-data blocks each thread's own.
class SODcmSCPServer {
 public:
  SODcmSCPServer(ISODcmSCPCallback* callback, fs::path tempDir) : events_(callback), tempDir_(std::move(tempDir)) {}
  ~SODcmSCPServer() {
    if (network_) ASC_dropNetwork(&network_);
  }

  DcmSCPConfig& Config() { return *config_; }
  sodcm::ServiceLayer& Layer() { return layer_; }

  // Listens on the configured port; false when it cannot.
  bool Open() {
    OFString reason;
    if (config_->checkAssociationProfile(config_->getActiveAssociationProfile(), reason).bad()) return false;
    if (ASC_initializeNetwork(NET_ACCEPTOR, config_->getPort(), static_cast<int>(config_->getACSETimeout()), &network_)
            .bad())
      return false;
    return ASC_setTransportLayer(network_, &layer_, OFFalse).good();
  }

  // Serves until Stop.
  void Run() {
    std::vector<std::thread> pool;
    for (int i = 0; i < kPoolSize; ++i) pool.emplace_back([this] { Work(); });
    for (std::thread& t : pool) t.join();
  }

  void Stop() { layer_.Stop(); }

 private:
  static constexpr int kPoolSize = 40;

  void Work() {
    Blocks blocks;
    while (!layer_.Stopped()) {
      T_ASC_Association* assoc = nullptr;
      OFCondition cond = layer_.Receive(network_, &assoc, config_->getMaxReceivePDULength());
      if (cond.good()) {
        AssociationHandler handler(events_, admission_, tempDir_, counter_, blocks, assoc);
        handler.setSharedConfig(config_);
        handler.Serve();
      } else if (assoc) {
        // A request that never came whole, or a connection that was no request: drop it now.
        ASC_dropAssociation(assoc);
        ASC_destroyAssociation(&assoc);
      }
    }
  }

  Events events_;
  Admission admission_;
  fs::path tempDir_;
  std::atomic<unsigned long> counter_{0};
  DcmSharedSCPConfig config_;
  sodcm::ServiceLayer layer_;
  T_ASC_Network* network_ = nullptr;
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

void SODcmSCP::SetSpillFolder(const char* parent) { spillParent_ = parent ? parent : ""; }

void SODcmSCP::Stop() {
  stop_ = true;
  std::lock_guard<std::mutex> lock(serverMutex_);
  if (server_) server_->Stop();
}

bool SODcmSCP::StartSCP() {
  if (port_ == 0 || running_) {
    if (callback_ && port_ == 0) callback_->OnStateChanged(false);
    return false;
  }
  stop_ = false;
  // A folder of the service's own, made new (mkdtemp: a name nobody can guess, mode 0700).
  std::error_code ec;
  fs::path parent = spillParent_.empty() ? fs::temp_directory_path(ec) : fs::path(spillParent_);
  fs::create_directories(parent, ec);
  std::string pattern = (parent / "orvanta-scp-XXXXXX").string();
  fs::path tempDir;
  if (::mkdtemp(pattern.data())) tempDir = pattern;

  auto server = std::make_unique<SODcmSCPServer>(callback_, tempDir);
  const sodcm::NetLimits limits = sodcm::Limits();
  DcmSCPConfig& config = server->Config();
  config.setPort(static_cast<Uint16>(port_));
  config.setAETitle(aeTitle_.c_str());
  config.setRespondWithCalledAETitle(OFTrue);
  config.setHostLookupEnabled(OFFalse);
  // Reads block; the connections bound them (ServiceLayer).
  config.setDIMSEBlockingMode(DIMSE_BLOCKING);
  config.setDIMSETimeout(static_cast<Uint32>(limits.dimse));
  config.setACSETimeout(static_cast<Uint32>(limits.acse));
  config.setMaxReceivePDULength(sodcm::kMaxReceivePdu);

  // DCMTK keeps at most 128 contexts in a profile: the 120 common storage classes it
  // lists for this purpose, and the 8 other services.
  OFList<OFString> syntaxes = SyntaxesFor(format_);
  OFList<OFString> plain = SyntaxesFor(SODcmTransferFormat_Uncompressed);
  bool ok = true;
  // Storage in either role: a sender stores to us, a C-GET requester takes our C-STOREs.
  for (int i = 0; i < numberOfDcmLongSCUStorageSOPClassUIDs; ++i)
    ok = ok && config.addPresentationContext(dcmLongSCUStorageSOPClassUIDs[i], syntaxes, ASC_SC_ROLE_SCUSCP).good();
  for (const char* uid : {UID_VerificationSOPClass, UID_FINDStudyRootQueryRetrieveInformationModel,
                          UID_FINDPatientRootQueryRetrieveInformationModel, UID_MOVEStudyRootQueryRetrieveInformationModel,
                          UID_MOVEPatientRootQueryRetrieveInformationModel, UID_GETStudyRootQueryRetrieveInformationModel,
                          UID_GETPatientRootQueryRetrieveInformationModel, UID_StorageCommitmentPushModelSOPClass})
    ok = ok && config.addPresentationContext(uid, plain).good();

  ok = ok && !tempDir.empty() && server->Open();
  if (ok) {
    {
      std::lock_guard<std::mutex> lock(serverMutex_);
      server_ = server.get();
      if (stop_) server_->Stop();
    }
    running_ = true;
    if (callback_) callback_->OnStateChanged(true);
    server->Run();
    running_ = false;
    std::lock_guard<std::mutex> lock(serverMutex_);
    server_ = nullptr;
  }
  server.reset();
  if (callback_) callback_->OnStateChanged(false);
  if (!tempDir.empty()) fs::remove_all(tempDir, ec);
  return ok;
}
