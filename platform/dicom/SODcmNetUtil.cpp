#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iomanip>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sodcm {

namespace {

std::mutex limitsMutex;
NetLimits limitsNow;  // guarded by limitsMutex

OFLogger netLog = OFLog::getLogger("orvanta.dicom.net");

}  // namespace

NetLimits Limits() {
  std::lock_guard<std::mutex> lock(limitsMutex);
  return limitsNow;
}

void SetLimits(const NetLimits& limits) {
  std::lock_guard<std::mutex> lock(limitsMutex);
  limitsNow = limits;
}

bool ValidPort(int port) { return port >= 1 && port <= 65535; }

bool ValidAETitle(const char* ae) {
  if (!ae) return false;
  size_t n = std::strlen(ae);
  if (n == 0 || n > 16) return false;
  bool allSpaces = true;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(ae[i]);
    if (c < 0x20 || c > 0x7E || c == '\\') return false;
    if (c != ' ') allSpaces = false;
  }
  return !allSpaces;
}

bool PeerSettings::Set(const char* h, int p, const char* called, const char* calling) {
  valid = false;
  if (!h || !*h || !ValidPort(p) || !ValidAETitle(called) || !ValidAETitle(calling)) return false;
  host = h;
  port = static_cast<uint16_t>(p);
  calledAE = called;
  callingAE = calling;
  valid = true;
  return true;
}

void PeerSettings::ApplyTo(DcmSCU& scu) const {
  const NetLimits limits = Limits();
  scu.setPeerHostName(host.c_str());
  scu.setPeerPort(port);
  scu.setPeerAETitle(calledAE.c_str());
  scu.setAETitle(callingAE.c_str());
  scu.setConnectionTimeout(limits.connect);
  scu.setACSETimeout(static_cast<Uint32>(limits.acse));
  scu.setDIMSETimeout(static_cast<Uint32>(limits.dimse));
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  scu.setMaxReceivePDULength(kMaxReceivePdu);
}

OFList<OFString> UncompressedSyntaxes() {
  OFList<OFString> syntaxes;
  syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
  syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
  return syntaxes;
}

void OfferUncompressed(DcmSCU& scu, const char* sopClass) {
  scu.addPresentationContext(sopClass, UncompressedSyntaxes());
}

namespace {

void ReadSequence(DcmDataset& ds, const DcmTagKey& tag, std::vector<SODcmReferencedSOP>& out) {
  DcmItem* item = nullptr;
  for (long i = 0; ds.findAndGetSequenceItem(tag, item, i).good() && item; ++i) {
    OFString cls, inst;
    item->findAndGetOFString(DCM_ReferencedSOPClassUID, cls);
    item->findAndGetOFString(DCM_ReferencedSOPInstanceUID, inst);
    out.push_back({cls.c_str(), inst.c_str()});
  }
}

void WriteSequence(const std::vector<SODcmReferencedSOP>& refs, const DcmTagKey& tag, DcmDataset& ds,
                   bool withReason) {
  ds.insertEmptyElement(tag);
  for (const SODcmReferencedSOP& ref : refs) {
    DcmItem* item = nullptr;
    if (ds.findOrCreateSequenceItem(tag, item, -2).bad() || !item) continue;
    item->putAndInsertString(DCM_ReferencedSOPClassUID, ref.sopClassUID.c_str());
    item->putAndInsertString(DCM_ReferencedSOPInstanceUID, ref.sopInstanceUID.c_str());
    // 0x0112: no such object instance.
    if (withReason) item->putAndInsertUint16(DCM_FailureReason, 0x0112);
  }
}

}  // namespace

bool ReadCommitRequest(DcmDataset& request, std::string& transactionUID, std::vector<SODcmReferencedSOP>& refs) {
  OFString uid;
  if (request.findAndGetOFString(DCM_TransactionUID, uid).bad() || uid.empty()) return false;
  if (!request.tagExists(DCM_ReferencedSOPSequence)) return false;
  transactionUID = uid.c_str();
  ReadSequence(request, DCM_ReferencedSOPSequence, refs);
  return true;
}

void WriteCommitRequest(const std::string& transactionUID, const std::vector<SODcmReferencedSOP>& refs,
                        DcmDataset& request) {
  request.putAndInsertString(DCM_TransactionUID, transactionUID.c_str());
  WriteSequence(refs, DCM_ReferencedSOPSequence, request, false);
}

uint16_t WriteCommitResult(const SODcmCommitResult& result, DcmDataset& report) {
  report.putAndInsertString(DCM_TransactionUID, result.transactionUID.c_str());
  if (!result.success.empty()) WriteSequence(result.success, DCM_ReferencedSOPSequence, report, false);
  if (!result.failed.empty()) WriteSequence(result.failed, DCM_FailedSOPSequence, report, true);
  return result.failed.empty() ? 1 : 2;
}

void ReadCommitResult(DcmDataset& report, SODcmCommitResult& result) {
  ReadSequence(report, DCM_ReferencedSOPSequence, result.success);
  ReadSequence(report, DCM_FailedSOPSequence, result.failed);
}

namespace {

using Clock = std::chrono::steady_clock;

// Follows a stream of frames that each have a 6-byte header holding a 32-bit big-endian length
// at lengthAt, which counts everything after it: the rest of the header and the body. PDUs (type,
// reserved, length) are such frames, and so are the items of a P-DATA-TF body (length,
// presentation context, message control header), which never span two PDUs.
class FrameCursor {
 public:
  explicit FrameCursor(size_t lengthAt) : lengthAt_(lengthAt) {}

  bool AtBoundary() const { return headSeen_ == 0; }
  void Reset() { headSeen_ = 0, bodyLeft_ = 0; }

  // onStart(first byte) when a frame's first byte passes, onHead(header) when its header is
  // whole, onBody(header, bytes, n) for the bytes of its body, onEnd(header) after its last.
  template <class Start, class Head, class Body, class End>
  void Feed(const unsigned char* p, size_t n, Start onStart, Head onHead, Body onBody, End onEnd) {
    while (n > 0) {
      if (headSeen_ < sizeof head_) {
        if (headSeen_ == 0) onStart(p[0]);
        const size_t take = std::min(sizeof head_ - headSeen_, n);
        std::memcpy(head_ + headSeen_, p, take);
        headSeen_ += take;
        p += take;
        n -= take;
        if (headSeen_ < sizeof head_) continue;
        const unsigned char* l = head_ + lengthAt_;
        const uint64_t length = (uint32_t{l[0]} << 24) | (uint32_t{l[1]} << 16) | (uint32_t{l[2]} << 8) | l[3];
        const uint64_t headAfter = sizeof head_ - (lengthAt_ + 4);
        bodyLeft_ = length > headAfter ? length - headAfter : 0;
        onHead(head_);
      } else {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(bodyLeft_, n));
        onBody(head_, p, take);
        bodyLeft_ -= take;
        p += take;
        n -= take;
      }
      if (bodyLeft_ == 0) {
        headSeen_ = 0;
        onEnd(head_);
      }
    }
  }

 private:
  const size_t lengthAt_;
  unsigned char head_[6] = {};
  size_t headSeen_ = 0;
  uint64_t bodyLeft_ = 0;
};

constexpr unsigned char kData = 0x04;
// Message control header: a fragment of a command (not of a data set); the last fragment.
constexpr unsigned char kCommandFragment = 0x01;
constexpr unsigned char kLastFragment = 0x02;
// A command or data set may take the DIMSE limit plus a second for every this many bytes it
// carries, so that one sent in whole PDUs, each on time, but slowly and in tiny pieces, ends too.
constexpr uint64_t kBytesPerSecondOwed = 16 << 10;

// PDU types that end an association for the side that sends them.
constexpr unsigned char kAssociateReject = 0x03;
constexpr unsigned char kReleaseResponse = 0x06;
constexpr unsigned char kAbort = 0x07;

void DisableNagle(DcmNativeSocketType socket) {
  int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A TCP connection that holds its peer to the limits: the first PDU whole within the set-up
// limit of the connection's start, every PDU whole within its limit of its first byte, no
// silence between PDUs longer than the DIMSE limit, every command and data set within the
// DIMSE limit plus the time its size is owed (kBytesPerSecondOwed), and every write done within
// the PDU limit.
// Once the association is over for this side (it sent A-ASSOCIATE-RJ, A-RELEASE-RP or A-ABORT,
// the peer sent A-ABORT, or a limit, a failure or the stop descriptor ended it), the connection
// reads as closed at once, so DCMTK never waits for a silent peer to hang up. It tells its
// guard, if any, when its socket goes away.
class DeadlineConnection : public DcmTCPConnection {
 public:
  DeadlineConnection(DcmNativeSocketType s, int stopFd, CallGuard* guard)
      : DcmTCPConnection(s), limits_(Limits()), stopFd_(stopFd), guard_(guard), socket_(s), opened_(Clock::now()) {
    DisableNagle(s);
  }
  ~DeadlineConnection() override { Forget(); }

  ssize_t read(void* buf, size_t n) override {
    if (ended_) return 0;
    const Clock::time_point deadline = ReadDeadline(Clock::now());
    for (;;) {
      if (Wait(POLLIN, deadline) <= 0) return Fail(ETIMEDOUT);
      ssize_t got = ::recv(socket_, buf, n, MSG_DONTWAIT);
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (got <= 0) {
        ended_ = true;
        return got;
      }
      if (guard_) guard_->Received(static_cast<size_t>(got));
      in_.Feed(
          static_cast<const unsigned char*>(buf), static_cast<size_t>(got),
          [this](unsigned char) {
            pduStart_ = Clock::now();
            pdv_.Reset();
          },
          [](const unsigned char*) {},
          [this](const unsigned char* pdu, const unsigned char* body, size_t n) {
            if (pdu[0] != kData) return;
            pdv_.Feed(
                body, n, [](unsigned char) {},
                [this](const unsigned char* item) {
                  if (!unitOpen_) unitStart_ = Clock::now(), unitBytes_ = 0;
                  unitCommand_ = (item[5] & kCommandFragment) != 0;
                  unitOpen_ = (item[5] & kLastFragment) == 0;
                },
                [](const unsigned char*, const unsigned char*, size_t) {}, [](const unsigned char*) {});
            unitBytes_ += n;
          },
          [this](const unsigned char* pdu) {
            firstDone_ = true;
            if (pdu[0] == kAbort) ended_ = true;
          });
      if (unitCommand_ && unitBytes_ > kMaxCommandBytes) return Fail(EMSGSIZE);
      return got;
    }
  }

  ssize_t write(void* buf, size_t n) override {
    if (ended_) return Fail(EPIPE);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits_.pdu);
    const char* bytes = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
      if (Wait(POLLOUT, deadline) <= 0) return Fail(ETIMEDOUT);
      ssize_t sent = ::send(socket_, bytes + done, n - done, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (sent <= 0) return Fail(errno);
      done += static_cast<size_t>(sent);
      if (guard_) guard_->Sent(static_cast<size_t>(sent));
    }
    bool last = false;
    out_.Feed(
        reinterpret_cast<const unsigned char*>(bytes), n,
        [&](unsigned char type) {
          if (type == kAssociateReject || type == kReleaseResponse || type == kAbort) last = true;
        },
        [](const unsigned char*) {}, [](const unsigned char*, const unsigned char*, size_t) {},
        [](const unsigned char*) {});
    if (last) ended_ = true;
    return static_cast<ssize_t>(n);
  }

  // DCMTK's wait for data, cut short by the limits, the stop descriptor and the association's end
  // (true then, so the read that follows answers at once).
  OFBool networkDataAvailable(int timeout) override {
    if (ended_) return OFTrue;
    const Clock::time_point now = Clock::now();
    Clock::time_point deadline = now + std::chrono::seconds(std::max(timeout, 0));
    const bool bounded = !in_.AtBoundary() || !firstDone_ || unitOpen_;
    const Clock::time_point own = ReadDeadline(now);
    if (bounded && own < deadline) deadline = own;
    const int ready = Wait(POLLIN, deadline);
    if (ready < 0) ended_ = true;
    return ready != 0 || (bounded && Clock::now() >= own);
  }

  void close() override {
    Forget();
    DcmTCPConnection::close();
  }
  void closeTransportConnection() override {
    Forget();
    DcmTCPConnection::closeTransportConnection();
  }

 private:
  Clock::time_point ReadDeadline(Clock::time_point now) const {
    const Clock::time_point setUp = opened_ + std::chrono::seconds(limits_.acse);
    Clock::time_point deadline;
    if (in_.AtBoundary())
      deadline = firstDone_ ? now + std::chrono::seconds(limits_.dimse) : setUp;
    else
      deadline = firstDone_ ? pduStart_ + std::chrono::seconds(limits_.pdu)
                            : std::min(pduStart_ + std::chrono::seconds(limits_.pdu), setUp);
    if (unitOpen_)
      deadline = std::min(deadline, unitStart_ + std::chrono::seconds(limits_.dimse) +
                                        std::chrono::milliseconds(unitBytes_ * 1000 / kBytesPerSecondOwed));
    return deadline;
  }

  // 1 when the socket is ready, 0 at the deadline, -1 when the stop descriptor fired.
  int Wait(short events, Clock::time_point deadline) {
    pollfd fds[2] = {{socket_, events, 0}, {stopFd_, POLLIN, 0}};
    const nfds_t count = stopFd_ >= 0 ? 2 : 1;
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return 0;
      const int n = ::poll(fds, count, static_cast<int>(std::min<long long>(left, 1 << 30)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (count == 2 && fds[1].revents) return -1;
      if (n > 0) return 1;
    }
  }

  ssize_t Fail(int error) {
    ended_ = true;
    errno = error;
    return -1;
  }

  void Forget() {
    if (guard_) guard_->Forget(socket_);
  }

  const NetLimits limits_;
  const int stopFd_;
  CallGuard* const guard_;
  const DcmNativeSocketType socket_;
  const Clock::time_point opened_;
  Clock::time_point pduStart_;
  FrameCursor in_{2}, out_{2};  // the PDUs each way
  FrameCursor pdv_{0};           // the items of the P-DATA-TF coming in
  // The command or data set coming in: open from its first fragment to its last.
  bool unitOpen_ = false;
  bool unitCommand_ = false;
  Clock::time_point unitStart_;
  uint64_t unitBytes_ = 0;
  bool firstDone_ = false;  // the first PDU from the peer came whole
  bool ended_ = false;
};

// The service layer whose accept turn the calling thread holds, if any.
thread_local ServiceLayer* acceptTurnHolder = nullptr;

}  // namespace

ServiceLayer::ServiceLayer() {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

ServiceLayer::~ServiceLayer() {
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

DcmTransportConnection* ServiceLayer::createConnection(DcmNativeSocketType openSocket, OFBool) {
  // The connection is accepted: the next thread may wait for one while this one reads its request.
  if (acceptTurnHolder == this) PassTurn();
  return new DeadlineConnection(openSocket, wake_[0], nullptr);
}

void ServiceLayer::PassTurn() {
  acceptTurnHolder = nullptr;
  {
    std::lock_guard<std::mutex> lock(turnMutex_);
    turnTaken_ = false;
  }
  turnFree_.notify_one();
}

OFCondition ServiceLayer::Receive(T_ASC_Network* network, T_ASC_Association** assoc, unsigned long maxPdu) {
  {
    std::unique_lock<std::mutex> lock(turnMutex_);
    turnFree_.wait(lock, [this] { return !turnTaken_ || stopped_; });
    if (stopped_) return DUL_NOASSOCIATIONREQUEST;
    turnTaken_ = true;
  }
  acceptTurnHolder = this;
  OFCondition cond =
      ASC_receiveAssociation(network, assoc, static_cast<int>(maxPdu), nullptr, nullptr, OFFalse, DUL_NOBLOCK, 1);
  if (acceptTurnHolder == this) PassTurn();
  return cond;
}

void ServiceLayer::Stop() {
  {
    std::lock_guard<std::mutex> lock(turnMutex_);
    stopped_ = true;
  }
  turnFree_.notify_all();
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
  }
}

CallGuard::~CallGuard() { End(); }

DcmTransportConnection* CallGuard::createConnection(DcmNativeSocketType openSocket, OFBool) {
  std::lock_guard<std::mutex> lock(mutex_);
  socket_ = openSocket;
  if (cut_) ::shutdown(openSocket, SHUT_RDWR);
  return new DeadlineConnection(openSocket, -1, this);
}

void CallGuard::Forget(DcmNativeSocketType socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (socket_ == socket) socket_ = -1;
}

void CallGuard::Begin(size_t objects, bool fetches) {
  End();
  const NetLimits limits = Limits();
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = false;
  deadlinePassed_ = false;
  running_ = true;
  done_ = false;
  cut_ = false;
  cancelDueSet_ = false;
  start_ = Clock::now();
  perObject_ = limits.perObject;
  perByte_ = limits.perMegabyte / double(1 << 20);
  ceiling_ = limits.ceiling;
  earned_ = limits.call + perObject_ * double(objects);
  inFlight_ = fetches ? static_cast<uint64_t>(std::max(limits.inFlight, 0.0) * double(1 << 20)) : 0;
  receivedEarning_ = inFlight_;
  announced_ = arrived_ = 0;
  sent_ = 0;
  received_ = 0;
  watchdog_ = std::thread(&CallGuard::Watch, this);
}

void CallGuard::End() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    done_ = true;
    running_ = false;
  }
  cv_.notify_all();
  if (watchdog_.joinable()) watchdog_.join();
}

void CallGuard::ObjectsAnnounced(size_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  announced_ = std::max(announced_, total);
}

void CallGuard::ObjectArrived() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (++arrived_ <= std::max<size_t>(announced_, 1)) {
    earned_ += perObject_;
    receivedEarning_ = received_.load() + inFlight_;
  }
}

void CallGuard::AddSeconds(double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  earned_ += std::max(seconds, 0.0);
}

double CallGuard::SecondsAllowed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return Seconds();
}

double CallGuard::Seconds() const {
  const uint64_t earning = sent_.load() + std::min(received_.load(), receivedEarning_);
  return std::min(earned_ + perByte_ * double(earning), ceiling_);
}

Clock::time_point CallGuard::Due() const {
  return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Seconds()));
}

void CallGuard::Cancel(int graceSeconds) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || cancelled_) return;
    cancelled_ = true;
    cancelDueSet_ = true;
    cancelDue_ = Clock::now() + std::chrono::seconds(std::max(graceSeconds, 0));
  }
  cv_.notify_all();
}

void CallGuard::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  bool byDeadline = false;
  for (;;) {
    if (done_) return;
    // The work earned only ever moves the deadline on, so waking at the last known one and
    // looking again is enough; a cancel wakes the wait.
    const Clock::time_point due = Due();
    const Clock::time_point now = Clock::now();
    if (now >= due) {
      byDeadline = true;
      break;
    }
    if (cancelDueSet_ && now >= cancelDue_) break;
    cv_.wait_until(lock, cancelDueSet_ ? std::min(due, cancelDue_) : due);
  }
  // The call did not wind down by itself: unblock whatever read or write it waits in, and any
  // connection it still opens.
  cut_ = true;
  if (byDeadline) deadlinePassed_ = true;
  if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

CallScope::CallScope(CallGuard& guard, const char* what, const PeerSettings& peer, size_t objects, bool fetches)
    : guard_(guard), what_(what), peer_(peer) {
  guard_.Begin(objects, fetches);
}

CallScope::~CallScope() {
  guard_.End();
  if (guard_.DeadlinePassed())
    OFLOG_ERROR(netLog, what_ << " with " << peer_.calledAE << " at " << peer_.host << ":" << peer_.port
                              << " was cut: it ran past its whole-call deadline of " << std::fixed
                              << std::setprecision(1) << guard_.SecondsAllowed() << " s");
}

}  // namespace sodcm
