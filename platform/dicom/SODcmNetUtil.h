#pragma once

// Shared plumbing of the network services: peer settings with their checks, the limits every
// peer is held to, and the transport layers that enforce them and let another thread end a
// blocked call or a running service.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/assoc.h>
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

// How long a peer may take (seconds). Whole PDUs and whole association set-ups are bounded,
// not single reads, so a peer that trickles bytes is dropped like a silent one.
struct NetLimits {
  int connect = 10;  // to open the TCP connection
  int acse = 30;     // from the connection to the whole association request or answer
  int dimse = 30;    // a peer's silence between PDUs
  int pdu = 30;      // one PDU from its first byte to its last; one write of ours
  int echo = 60;     // a whole C-ECHO call
};
// The limits every service and call of the process uses from its next connection on.
NetLimits Limits();
void SetLimits(const NetLimits& limits);

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
  // Host, port, AE titles and the limits onto a DCMTK SCU.
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

// The receiving service's connections: Nagle's algorithm off (DCMTK as built here leaves it
// on unless the environment says otherwise, and then every small DIMSE response waits for a
// delayed ACK), every PDU and write bounded by Limits(), and all of them ended at once by Stop.
// Receive lets several threads take association requests: one thread waits for the next
// connection at a time, and hands the wait on as soon as its connection is accepted, so a peer
// that is slow with its request holds only its own thread.
class ServiceLayer : public DcmTransportLayer {
 public:
  ServiceLayer();
  ~ServiceLayer() override;
  ServiceLayer(const ServiceLayer&) = delete;
  ServiceLayer& operator=(const ServiceLayer&) = delete;

  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override;

  // Waits up to about a second for an association request on network (whose transport layer
  // is this one). DUL_NOASSOCIATIONREQUEST when none came or the layer is stopped.
  OFCondition Receive(T_ASC_Network* network, T_ASC_Association** assoc, unsigned long maxPdu);

  // Any thread: every wait, read and write of the layer's connections ends now, and so do
  // the ones that come later.
  void Stop();
  bool Stopped() const { return stopped_.load(); }

 private:
  // The turn to wait for the next connection, held by one thread at a time.
  void PassTurn();

  std::mutex turnMutex_;  // guards turnTaken_ and the writing of stopped_
  std::condition_variable turnFree_;
  bool turnTaken_ = false;
  int wake_[2] = {-1, -1};  // a pipe that turns readable on Stop
  std::atomic<bool> stopped_{false};
};

// Transport layer of our calls, in place of DCMTK's plain TCP one: its connections hold the peer
// to the limits as the service's do, and it remembers the socket of the running call so that
// Cancel, from any thread, can cut it after a grace period when the call does not end by
// itself, and a whole-call deadline can cut it too. One call at a time: Begin ... End on the
// calling thread.
class CallGuard : public DcmTransportLayer {
 public:
  CallGuard() = default;
  ~CallGuard() override;

  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override;

  // callSeconds > 0 bounds the whole call: the connection is cut when it runs longer.
  void Begin(int callSeconds = 0);
  void End();
  // Any thread. Ignored while no call runs.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

  // Called by the guarded connection when it closes its socket.
  void Forget(DcmNativeSocketType socket);

 private:
  void Watch();

  // mutex_ guards socket_ and the flags and deadline below; the watchdog thread waits on cv_.
  std::mutex mutex_;
  std::condition_variable cv_;
  DcmNativeSocketType socket_ = -1;
  bool running_ = false;
  bool done_ = false;
  bool cut_ = false;  // the deadline passed: connections of this call are cut as they come
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

  // Ends the association after a failure without waiting on the peer (the connection reads
  // nothing more once it sent A-ABORT).
  void Abort() {
    if (this->isConnected()) this->abortAssociation();
  }

 private:
  CallGuard& guard_;
};

// Scope of one call on a guard: Begin now, End on every way out.
class CallScope {
 public:
  explicit CallScope(CallGuard& guard, int callSeconds = 0) : guard_(guard) { guard_.Begin(callSeconds); }
  ~CallScope() { guard_.End(); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  CallGuard& guard_;
};

}  // namespace sodcm
