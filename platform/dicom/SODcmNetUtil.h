#pragma once

// Shared plumbing of the network services: peer settings with their checks, the fixed
// time-outs, and a transport layer that lets another thread end a blocked call.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmlayer.h>
#include <dcmtk/dcmnet/scu.h>

#include "SOCommitSCU.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class DcmDataset;

namespace sodcm {

// No call may wait longer than these on a silent or unreachable peer (seconds).
constexpr int kConnectTimeout = 10;
constexpr int kAcseTimeout = 30;
constexpr int kDimseTimeout = 30;
// The largest PDU this side takes; peers send their data in PDUs of up to this size.
constexpr unsigned kMaxReceivePdu = 16384;
// After a cancel, how long the running exchange may still finish on its own before the
// connection is cut.
constexpr int kCancelGraceSeconds = 3;

bool ValidPort(int port);
// 1 to 16 characters of the default repertoire without backslash, not all spaces.
bool ValidAETitle(const char* ae);

// Where an SCU talks to; valid only after Set succeeded.
struct PeerSettings {
  std::string host;
  uint16_t port = 0;
  std::string calledAE;
  std::string callingAE;
  bool valid = false;

  // Refuses (and forgets any earlier peer) on an empty host, a bad port or AE title.
  bool Set(const char* host, int port, const char* calledAE, const char* callingAE);
  // Host, port, AE titles and the bounded time-outs onto a DCMTK SCU.
  void ApplyTo(DcmSCU& scu) const;
};

// The storage commitment datasets (Transaction UID, Referenced / Failed SOP Sequence).
// ReadCommitRequest is false when the transaction UID or the sequence is missing.
bool ReadCommitRequest(DcmDataset& request, std::string& transactionUID, std::vector<SODcmReferencedSOP>& refs);
void WriteCommitRequest(const std::string& transactionUID, const std::vector<SODcmReferencedSOP>& refs,
                        DcmDataset& request);
// The event report of a result; returns its event type (1 all committed, 2 some failed).
uint16_t WriteCommitResult(const SODcmCommitResult& result, DcmDataset& report);
void ReadCommitResult(DcmDataset& report, SODcmCommitResult& result);

// The receiving service's plain TCP: Nagle's algorithm off (DCMTK as built here leaves it on
// unless the environment says otherwise, and then every small DIMSE response waits for a
// delayed ACK), and every read and write bounded by kDimseTimeout, so that the service can
// read in blocking mode, without a poll before each read, and still not wait forever.
class ServiceLayer : public DcmTransportLayer {
 public:
  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override;
};

// Transport layer handed to DCMTK in place of the plain TCP one: it remembers the socket of
// the running call so that Cancel, from any thread, can cut it after a grace period when the
// call does not end by itself. One call at a time: Begin ... End on the calling thread.
class CallGuard : public DcmTransportLayer {
 public:
  CallGuard() = default;
  ~CallGuard() override;

  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override;

  void Begin();
  void End();
  // Any thread. Ignored while no call runs.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

  // Makes every further read of the connection end at once, so that an abort does not wait
  // for a silent peer to close its side (DCMTK waits for that after sending A-ABORT).
  void StopReading();

  // Called by the guarded connection when it closes its socket.
  void Forget(DcmNativeSocketType socket);

 private:
  void Watch();

  // mutex_ guards socket_, running_, done_ and deadline_; the watchdog thread waits on cv_.
  std::mutex mutex_;
  std::condition_variable cv_;
  DcmNativeSocketType socket_ = -1;
  bool running_ = false;
  bool done_ = false;
  bool deadlineSet_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> cancelled_{false};
  std::thread watchdog_;
};

// A DCMTK SCU whose connections go through a CallGuard. DCMTK takes a layer
// only between initNetwork and the negotiation, hence Associate.
template <class Base>
class LayeredSCU : public Base {
 public:
  explicit LayeredSCU(CallGuard& guard) : guard_(guard) {}

  OFCondition Associate() {
    OFCondition cond = this->initNetwork();
    if (cond.good()) cond = this->useSecureConnection(&guard_);
    if (cond.good()) cond = this->negotiateAssociation();
    return cond;
  }

  // Ends the association after a failure without waiting on the peer.
  void Abort() {
    if (!this->isConnected()) return;
    guard_.StopReading();
    this->abortAssociation();
  }

 private:
  CallGuard& guard_;
};

// Scope of one call on a guard: Begin now, End on every way out.
class CallScope {
 public:
  explicit CallScope(CallGuard& guard) : guard_(guard) { guard_.Begin(); }
  ~CallScope() { guard_.End(); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  CallGuard& guard_;
};

}  // namespace sodcm
