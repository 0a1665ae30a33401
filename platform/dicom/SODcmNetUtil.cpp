#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/scu.h>

#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace sodcm {

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
  scu.setPeerHostName(host.c_str());
  scu.setPeerPort(port);
  scu.setPeerAETitle(calledAE.c_str());
  scu.setAETitle(callingAE.c_str());
  scu.setConnectionTimeout(kConnectTimeout);
  scu.setACSETimeout(kAcseTimeout);
  scu.setDIMSETimeout(kDimseTimeout);
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  scu.setMaxReceivePDULength(kMaxReceivePdu);
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

// A plain TCP connection that tells its guard when the socket goes away, so the guard
// never shuts down a descriptor number that has been reused meanwhile.
class GuardedConnection : public DcmTCPConnection {
 public:
  GuardedConnection(DcmNativeSocketType s, CallGuard& guard) : DcmTCPConnection(s), guard_(guard), socket_(s) {}
  ~GuardedConnection() override { guard_.Forget(socket_); }
  void close() override {
    guard_.Forget(socket_);
    DcmTCPConnection::close();
  }
  void closeTransportConnection() override {
    guard_.Forget(socket_);
    DcmTCPConnection::closeTransportConnection();
  }

 private:
  CallGuard& guard_;
  DcmNativeSocketType socket_;
};

void DisableNagle(DcmNativeSocketType socket) {
  int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

namespace {

// A connection whose every read and write gives up after kDimseTimeout. DCMTK sets socket
// time-outs of its own just after creating a connection, so ours replace them when the first
// byte moves.
class BoundedConnection : public DcmTCPConnection {
 public:
  using DcmTCPConnection::DcmTCPConnection;
  ssize_t read(void* buf, size_t n) override {
    Bound();
    return DcmTCPConnection::read(buf, n);
  }
  ssize_t write(void* buf, size_t n) override {
    Bound();
    return DcmTCPConnection::write(buf, n);
  }

 private:
  void Bound() {
    if (bounded_) return;
    bounded_ = true;
    timeval timeout{kDimseTimeout, 0};
    setsockopt(getSocket(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(getSocket(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  }

  bool bounded_ = false;
};

}  // namespace

DcmTransportConnection* ServiceLayer::createConnection(DcmNativeSocketType openSocket, OFBool) {
  DisableNagle(openSocket);
  return new BoundedConnection(openSocket);
}

CallGuard::~CallGuard() { End(); }

DcmTransportConnection* CallGuard::createConnection(DcmNativeSocketType openSocket, OFBool) {
  DisableNagle(openSocket);
  std::lock_guard<std::mutex> lock(mutex_);
  socket_ = openSocket;
  return new GuardedConnection(openSocket, *this);
}

void CallGuard::StopReading() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (socket_ >= 0) ::shutdown(socket_, SHUT_RD);
}

void CallGuard::Forget(DcmNativeSocketType socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (socket_ == socket) socket_ = -1;
}

void CallGuard::Begin() {
  End();
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = false;
  running_ = true;
  done_ = false;
  deadlineSet_ = false;
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

void CallGuard::Cancel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || deadlineSet_) {
      if (running_) cancelled_ = true;
      return;
    }
    cancelled_ = true;
    deadlineSet_ = true;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(kCancelGraceSeconds);
  }
  cv_.notify_all();
}

void CallGuard::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return done_ || deadlineSet_; });
  if (done_) return;
  if (cv_.wait_until(lock, deadline_, [this] { return done_; })) return;
  // The call did not wind down by itself: unblock whatever read or write it waits in.
  if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

}  // namespace sodcm
