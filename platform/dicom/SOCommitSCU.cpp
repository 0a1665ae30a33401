#include "SOCommitSCU.h"

#include "SODcmDataset.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>
#include <dcmtk/dcmnet/scu.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

// Nodes may take time that grows faster than the list (one such node re-describes the whole
// request after each instance it checks), so a long list goes as several transactions, which
// such a node can also work on side by side.
constexpr size_t kRefsPerTransaction = 100;

std::string NewTransactionUID() {
  char uid[100];
  return dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
}

// The transactions of one request and their answers, shared by the caller's thread and the
// report listener's. mutex_ guards everything below it.
class Transactions {
 public:
  struct Entry {
    std::string uid;
    size_t begin = 0;  // the part of the request's list it carries
    size_t end = 0;
    bool answered = false;
    bool answeredApart = false;  // on an association the node opened
    SODcmCommitResult result;
  };

  void Add(std::string uid, size_t begin, size_t end) {
    std::lock_guard<std::mutex> hold(mutex_);
    index_[uid] = entries_.size();
    entries_.push_back({std::move(uid), begin, end, false, false, {}});
  }

  // A report for a transaction still waiting answers it; any other is ignored. apart: it came
  // on an association the node opened.
  void Take(DcmDataset& report, bool apart) {
    OFString uid;
    if (report.findAndGetOFString(DCM_TransactionUID, uid).bad()) return;
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = index_.find(uid.c_str());
    if (it == index_.end() || entries_[it->second].answered) return;
    Entry& entry = entries_[it->second];
    sodcm::ReadCommitResult(report, entry.result);
    entry.answered = true;
    entry.answeredApart = apart;
    ++answered_;
    changed_.notify_all();
  }

  bool AllAnswered() {
    std::lock_guard<std::mutex> hold(mutex_);
    return answered_ == entries_.size();
  }

  bool Answered(size_t transaction) {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_[transaction].answered;
  }

  bool AnsweredApart(size_t transaction) {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_[transaction].answeredApart;
  }

  // Until the transaction is answered or the time is up.
  void Wait(size_t transaction, Clock::time_point until) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait_until(hold, until, [&] { return entries_[transaction].answered; });
  }

  std::vector<Entry> Snapshot() {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_;
  }

  // The answers of all transactions, in the order of the request's list.
  void Merge(SODcmCommitResult& result) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const Entry& entry : entries_) {
      result.success.insert(result.success.end(), entry.result.success.begin(), entry.result.success.end());
      result.failed.insert(result.failed.end(), entry.result.failed.begin(), entry.result.failed.end());
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t> index_;
  size_t answered_ = 0;
};

// The response to an event report: success, naming the report's SOP class and instance and its
// event type, as nodes check before they count the report delivered.
T_DIMSE_Message EventReportAnswer(const T_DIMSE_N_EventReportRQ& request) {
  T_DIMSE_Message out;
  std::memset(&out, 0, sizeof out);
  out.CommandField = DIMSE_N_EVENT_REPORT_RSP;
  T_DIMSE_N_EventReportRSP& answer = out.msg.NEventReportRSP;
  answer.MessageIDBeingRespondedTo = request.MessageID;
  OFStandard::strlcpy(answer.AffectedSOPClassUID, request.AffectedSOPClassUID, sizeof answer.AffectedSOPClassUID);
  OFStandard::strlcpy(answer.AffectedSOPInstanceUID, request.AffectedSOPInstanceUID,
                      sizeof answer.AffectedSOPInstanceUID);
  answer.EventTypeID = request.EventTypeID;
  answer.DimseStatus = STATUS_Success;
  answer.DataSetType = DIMSE_DATASET_NULL;
  answer.opts = O_NEVENTREPORT_AFFECTEDSOPCLASSUID | O_NEVENTREPORT_AFFECTEDSOPINSTANCEUID | O_NEVENTREPORT_EVENTTYPEID;
  return out;
}

// Where the reports that come on associations the node opens go.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void Take(DcmDataset& report) = 0;
  // The listener may stop once this says so.
  virtual bool Finished() = 0;
};

// Takes the node's answers when they come on associations the node opens to us. It serves on
// a thread of its own until Stop or until its sink is finished.
class ReportListener : public DcmSCP {
 public:
  explicit ReportListener(ReportSink& sink) : sink_(sink) {}

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
    const sodcm::NetLimits limits = sodcm::Limits();
    config.setDIMSETimeout(static_cast<Uint32>(limits.dimse));
    config.setACSETimeout(static_cast<Uint32>(limits.acse));
    // Peers held to the limits, and cut when the call is over.
    config.setTransportLayer(&layer_);
    // The node opens this association as the commitment SCP; accept it in either role.
    config.setAlwaysAcceptDefaultRole(OFTrue);
    config.addPresentationContext(UID_StorageCommitmentPushModelSOPClass, sodcm::UncompressedSyntaxes(),
                                  ASC_SC_ROLE_SCUSCP);
    config.addPresentationContext(UID_VerificationSOPClass, sodcm::UncompressedSyntaxes());
    if (openListenPort().bad()) return false;
    thread_ = std::thread([this] { acceptAssociations(); });
    return true;
  }

  void Stop() {
    stop_ = true;
    layer_.Stop();
    if (thread_.joinable()) thread_.join();
  }

 protected:
  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }
  OFBool stopAfterConnectionTimeout() override { return stop_ || sink_.Finished(); }
  OFBool stopAfterCurrentAssociation() override { return stop_ || sink_.Finished(); }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    if (msg->CommandField != DIMSE_N_EVENT_REPORT_RQ) return DcmSCP::handleIncomingCommand(msg, info);
    // Answered here rather than by DcmSCP, whose response leaves out the attributes nodes check.
    const T_DIMSE_N_EventReportRQ& request = msg->msg.NEventReportRQ;
    T_ASC_PresentationContextID presID = info.presentationContextID;
    DcmDataset* report = nullptr;
    if (request.DataSetType != DIMSE_DATASET_NULL) {
      OFCondition cond = receiveDIMSEDataset(&presID, &report);
      if (cond.bad()) return cond;
    }
    std::unique_ptr<DcmDataset> owned(report);
    if (report && !stop_) sink_.Take(*report);
    T_DIMSE_Message answer = EventReportAnswer(request);
    return sendDIMSEMessage(presID, &answer, nullptr);
  }

 private:
  ReportSink& sink_;
  sodcm::ServiceLayer layer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A listener for one request: its transactions' answers, until all of them came.
class RequestSink : public ReportSink {
 public:
  explicit RequestSink(Transactions& transactions) : transactions_(transactions) {}
  void Take(DcmDataset& report) override { transactions_.Take(report, true); }
  bool Finished() override { return transactions_.AllAnswered(); }

 private:
  Transactions& transactions_;
};

// The station's own listener, one per process: it serves from StartStationListener to
// StopStationListener, and a report goes to whichever waiting request sent its transaction.
// A report nobody waits for (late, or for a request abandoned) is answered and dropped.
class Station : public ReportSink {
 public:
  ~Station() override { Stop(); }

  bool Start(const std::string& aeTitle, int port) {
    Stop();
    if (!sodcm::ValidPort(port) || !sodcm::ValidAETitle(aeTitle.c_str())) return false;
    auto listener = std::make_unique<ReportListener>(*this);
    if (!listener->Start(port, aeTitle)) return false;
    std::lock_guard<std::mutex> hold(mutex_);
    listener_ = std::move(listener);
    aeTitle_ = aeTitle;
    port_ = port;
    return true;
  }

  void Stop() {
    std::unique_ptr<ReportListener> listener;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      listener.swap(listener_);
      aeTitle_.clear();
      port_ = 0;
    }
    if (listener) listener->Stop();
  }

  int Port() {
    std::lock_guard<std::mutex> hold(mutex_);
    return port_;
  }

  std::string AETitle() {
    std::lock_guard<std::mutex> hold(mutex_);
    return aeTitle_;
  }

  // Whether the listener runs; when it does, the transactions get their reports until Leave.
  bool Join(Transactions* transactions) {
    std::lock_guard<std::mutex> hold(waitingMutex_);
    if (Port() == 0) return false;
    waiting_.push_back(transactions);
    return true;
  }

  // Waits for a report being handed to them.
  void Leave(Transactions* transactions) {
    std::lock_guard<std::mutex> hold(waitingMutex_);
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), transactions), waiting_.end());
  }

  void Take(DcmDataset& report) override {
    std::lock_guard<std::mutex> hold(waitingMutex_);
    for (Transactions* transactions : waiting_) transactions->Take(report, true);
  }

  bool Finished() override { return false; }

 private:
  std::mutex mutex_;  // guards listener_, aeTitle_ and port_
  std::unique_ptr<ReportListener> listener_;
  std::string aeTitle_;
  int port_ = 0;
  std::mutex waitingMutex_;  // guards waiting_, held while a report is handed out
  std::vector<Transactions*> waiting_;
};

// Built on first use, after DCMTK's globals, so it ends before them.
Station& TheStation() {
  static Station station;
  return station;
}

// A request's stay on the station's listener.
class StationWait {
 public:
  explicit StationWait(Transactions& transactions) : transactions_(transactions) {
    joined_ = TheStation().Join(&transactions_);
  }
  ~StationWait() {
    if (joined_) TheStation().Leave(&transactions_);
  }
  StationWait(const StationWait&) = delete;
  StationWait& operator=(const StationWait&) = delete;
  bool Joined() const { return joined_; }

 private:
  Transactions& transactions_;
  bool joined_ = false;
};

// Remembers the socket of the request's association, so that the wait can look whether the
// node wrote on it without blocking for DCMTK's whole-second time-out.
class WatchedGuard : public sodcm::CallGuard {
 public:
  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override {
    socket_ = openSocket;
    return CallGuard::createConnection(openSocket, useSecureLayer);
  }

  // Whether something (data, a close) waits on the socket within milliseconds.
  bool Readable(int milliseconds) const {
    pollfd watched{socket_, POLLIN, 0};
    return ::poll(&watched, 1, milliseconds) > 0;
  }

 private:
  DcmNativeSocketType socket_ = -1;
};

// The requesting side of one association. A node that answers on the requests' association
// may send the answer to one transaction before the response to the next request, so every
// read takes event reports as they come.
class CommitSCU : public sodcm::LayeredSCU<DcmSCU> {
 public:
  CommitSCU(sodcm::CallGuard& guard, Transactions& transactions)
      : LayeredSCU<DcmSCU>(guard), transactions_(transactions) {}

  // One N-ACTION and its response; true when the node took the request.
  bool Action(T_ASC_PresentationContextID presID, DcmDataset& request) {
    T_DIMSE_Message out;
    std::memset(&out, 0, sizeof out);
    out.CommandField = DIMSE_N_ACTION_RQ;
    T_DIMSE_N_ActionRQ& action = out.msg.NActionRQ;
    action.MessageID = ++messageID_;
    OFStandard::strlcpy(action.RequestedSOPClassUID, UID_StorageCommitmentPushModelSOPClass,
                        sizeof action.RequestedSOPClassUID);
    OFStandard::strlcpy(action.RequestedSOPInstanceUID, UID_StorageCommitmentPushModelSOPInstance,
                        sizeof action.RequestedSOPInstanceUID);
    action.ActionTypeID = 1;
    action.DataSetType = DIMSE_DATASET_PRESENT;
    if (sendDIMSEMessage(presID, &out, &request).bad()) return false;
    for (;;) {
      T_DIMSE_Message in;
      if (Receive(in, 0).bad()) return false;
      if (in.CommandField == DIMSE_N_EVENT_REPORT_RQ) continue;
      return in.CommandField == DIMSE_N_ACTION_RSP &&
             in.msg.NActionRSP.MessageIDBeingRespondedTo == action.MessageID &&
             in.msg.NActionRSP.DimseStatus == STATUS_Success;
    }
  }

  // Reads one message (timeoutSeconds 0: the usual DIMSE time-out). An event report is taken
  // and answered; an unexpected message is an error.
  OFCondition Receive(T_DIMSE_Message& in, Uint32 timeoutSeconds) {
    std::memset(&in, 0, sizeof in);
    T_ASC_PresentationContextID presID = 0;
    DcmDataset* statusDetail = nullptr;
    OFCondition cond = receiveDIMSECommand(&presID, &in, &statusDetail, nullptr, timeoutSeconds);
    delete statusDetail;
    if (cond.bad()) return cond;
    const bool report = in.CommandField == DIMSE_N_EVENT_REPORT_RQ;
    if (!report && in.CommandField != DIMSE_N_ACTION_RSP) return DIMSE_BADCOMMANDTYPE;
    const T_DIMSE_DataSetType dataType =
        report ? in.msg.NEventReportRQ.DataSetType : in.msg.NActionRSP.DataSetType;
    DcmDataset* data = nullptr;
    if (dataType != DIMSE_DATASET_NULL) {
      cond = receiveDIMSEDataset(&presID, &data);
      if (cond.bad()) return cond;
    }
    std::unique_ptr<DcmDataset> owned(data);
    if (!report) return cond;
    if (data) transactions_.Take(*data, false);
    return AnswerReport(presID, in.msg.NEventReportRQ);
  }

 private:
  OFCondition AnswerReport(T_ASC_PresentationContextID presID, const T_DIMSE_N_EventReportRQ& request) {
    T_DIMSE_Message answer = EventReportAnswer(request);
    return sendDIMSEMessage(presID, &answer, nullptr);
  }

  Transactions& transactions_;
  Uint16 messageID_ = 0;
};

// The commitment SCP's side of an association it opens to send its answer.
class ReportSCU : public sodcm::LayeredSCU<DcmSCU> {
 public:
  explicit ReportSCU(sodcm::CallGuard& guard) : LayeredSCU<DcmSCU>(guard) {}

  // One N-EVENT-REPORT with the answer; true when the requester took it.
  bool Report(T_ASC_PresentationContextID presID, const SODcmCommitResult& result) {
    DcmDataset report;
    T_DIMSE_Message out;
    std::memset(&out, 0, sizeof out);
    out.CommandField = DIMSE_N_EVENT_REPORT_RQ;
    T_DIMSE_N_EventReportRQ& request = out.msg.NEventReportRQ;
    request.MessageID = 1;
    OFStandard::strlcpy(request.AffectedSOPClassUID, UID_StorageCommitmentPushModelSOPClass,
                        sizeof request.AffectedSOPClassUID);
    OFStandard::strlcpy(request.AffectedSOPInstanceUID, UID_StorageCommitmentPushModelSOPInstance,
                        sizeof request.AffectedSOPInstanceUID);
    request.EventTypeID = sodcm::WriteCommitResult(result, report);
    request.DataSetType = DIMSE_DATASET_PRESENT;
    if (sendDIMSEMessage(presID, &out, &report).bad()) return false;
    T_DIMSE_Message in;
    std::memset(&in, 0, sizeof in);
    T_ASC_PresentationContextID answeredOn = 0;
    DcmDataset* statusDetail = nullptr;
    OFCondition cond = receiveDIMSECommand(&answeredOn, &in, &statusDetail, nullptr, 0);
    delete statusDetail;
    return cond.good() && in.CommandField == DIMSE_N_EVENT_REPORT_RSP &&
           in.msg.NEventReportRSP.MessageIDBeingRespondedTo == request.MessageID &&
           in.msg.NEventReportRSP.DimseStatus == STATUS_Success;
  }
};

// Waits for the node's answer to one transaction, on the request's association or on the
// listener, until the deadline; true when it came.
bool AwaitAnswer(CommitSCU& scu, WatchedGuard& guard, Transactions& transactions, size_t transaction,
                 bool listening, Clock::time_point deadline) {
  while (!transactions.Answered(transaction) && Clock::now() < deadline) {
    if (scu.isConnected()) {
      // While listening, read this association only when the node wrote on it, so that an
      // answer on the listener is seen at once.
      if (listening && !guard.Readable(20)) continue;
      T_DIMSE_Message in;
      OFCondition cond = scu.Receive(in, 1);
      if (cond == DUL_PEERREQUESTEDRELEASE) {
        scu.closeAssociation(DCMSCU_PEER_REQUESTED_RELEASE);
      } else if (cond.bad() && cond != DIMSE_NODATAAVAILABLE) {
        scu.Abort();
      }
    } else if (listening) {
      transactions.Wait(transaction, deadline);
    } else {
      break;
    }
  }
  return transactions.Answered(transaction);
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

  Transactions transactions;
  if (transactionUID && *transactionUID) {
    transactions.Add(transactionUID, 0, refs.size());
  } else {
    size_t begin = 0;
    do {
      size_t end = std::min(refs.size(), begin + kRefsPerTransaction);
      transactions.Add(NewTransactionUID(), begin, end);
      begin = end;
    } while (begin < refs.size());
  }
  const std::vector<Transactions::Entry> sent = transactions.Snapshot();
  result.transactionUID = sent.front().uid;

  // Listen before asking, so an answer that comes at once is not missed: on the station's
  // listener when it runs on the port asked for (or none was asked for), else on a listener
  // of the request's own.
  RequestSink sink(transactions);
  std::unique_ptr<ReportListener> listener;
  std::unique_ptr<StationWait> station;
  if (wait && (reportPort_ == 0 || reportPort_ == TheStation().Port())) {
    station = std::make_unique<StationWait>(transactions);
  } else if (wait) {
    listener = std::make_unique<ReportListener>(sink);
    if (!listener->Start(reportPort_, peer_->callingAE)) return false;
  }
  const bool listening = listener || (station && station->Joined());

  // The whole call: its share for the instances named, and the wait asked for on top.
  WatchedGuard guard;
  sodcm::CallScope scope(guard, "storage commitment", *peer_, refs.size());
  if (wait) guard.AddSeconds(timeoutSeconds > 0 ? timeoutSeconds : 1);
  CommitSCU scu(guard, transactions);
  peer_->ApplyTo(scu);
  sodcm::OfferUncompressed(scu, UID_StorageCommitmentPushModelSOPClass);
  T_ASC_PresentationContextID presID = 0;
  // A node may end the association after an answer; the next transaction then opens another.
  auto connect = [&] {
    if (scu.isConnected()) return true;
    presID = 0;
    if (scu.Associate().good())
      presID = scu.findPresentationContextID(UID_StorageCommitmentPushModelSOPClass, "");
    if (presID == 0) scu.Abort();
    return presID != 0;
  };

  // A node that answers on this association may not take a new request while its answer to
  // the last one waits for our response, so each transaction waits for its answer. Once the
  // node has answered on an association of its own, the rest go at once and the node may
  // work on them side by side.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : 1);
  bool ok = true;
  bool together = false;
  for (size_t t = 0; ok && t < sent.size(); ++t) {
    // With an empty list the dataset names studies (0020,000D) and the node answers with the
    // instances it holds for them; the nodes of the consultation service rely on this query.
    DcmDataset request;
    if (dataset) {
      DcmItem* source = dataset->GetDcmItem();
      for (unsigned long i = 0; i < source->card(); ++i)
        request.insert(OFstatic_cast(DcmElement*, source->getElement(i)->clone()), OFTrue);
    }
    sodcm::WriteCommitRequest(
        sent[t].uid, std::vector<SODcmReferencedSOP>(refs.begin() + sent[t].begin, refs.begin() + sent[t].end),
        request);
    if (!connect() || !scu.Action(presID, request)) {
      scu.Abort();
      ok = false;
    } else if (wait && !together) {
      ok = AwaitAnswer(scu, guard, transactions, t, listening, deadline);
      together = transactions.AnsweredApart(t);
    }
  }
  for (size_t t = 0; ok && together && t < sent.size(); ++t)
    ok = AwaitAnswer(scu, guard, transactions, t, listening, deadline);
  if (listener) listener->Stop();
  if (scu.isConnected()) scu.releaseAssociation();
  transactions.Merge(result);
  return ok && !guard.DeadlinePassed();
}

bool SOCommitSCU::StartStationListener(const char* aeTitle, int port) {
  return TheStation().Start(aeTitle ? aeTitle : "", port);
}

void SOCommitSCU::StopStationListener() { TheStation().Stop(); }

int SOCommitSCU::StationListenerPort() { return TheStation().Port(); }

std::string SOCommitSCU::StationListenerAETitle() { return TheStation().AETitle(); }

bool SOCommitSCU::SendReport(const char* host, int port, const char* calledAE, const char* callingAE,
                             const SODcmCommitResult& result) {
  sodcm::PeerSettings peer;
  if (!peer.Set(host, port, calledAE, callingAE)) return false;
  sodcm::CallGuard guard;
  sodcm::CallScope scope(guard, "storage commitment report", peer, result.success.size() + result.failed.size());
  ReportSCU scu(guard);
  peer.ApplyTo(scu);
  // Proposed in the default role, as nodes that report on an association of their own do.
  sodcm::OfferUncompressed(scu, UID_StorageCommitmentPushModelSOPClass);
  if (scu.Associate().bad()) return false;
  const T_ASC_PresentationContextID presID = scu.findPresentationContextID(UID_StorageCommitmentPushModelSOPClass, "");
  const bool ok = presID != 0 && scu.Report(presID, result) && !guard.DeadlinePassed();
  if (ok)
    scu.releaseAssociation();
  else
    scu.Abort();
  return ok;
}
