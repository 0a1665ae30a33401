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
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class DcmDataset;

namespace sodcm {

// How long a peer may take (seconds). Whole PDUs and whole association set-ups are bounded,
// not single reads, so a peer that trickles bytes is dropped like a silent one.
//
// Every call also has a deadline for the whole call, sized to its work, so that a node that
// answers each step just in time cannot hold it for the sum of the step limits:
//   call + perObject x objects + perMegabyte x megabytes moved, and never more than ceiling.
// Objects are those the call stores, prints (films and image boxes) or asks to have committed,
// and those a C-GET fetches as they arrive, up to as many as the node said it would send (one
// before it said). Megabytes (2^20 bytes) are those the call sends, counted as they pass, so
// compressed files sent decompressed are paid for as they go; of the bytes the node sends, only
// a C-GET's earn time: those of the objects that arrived whole and up to inFlight megabytes of
// the one arriving. A node cannot buy time by sending what nobody asked for. With the defaults a
// call is never cut while the node averages 5 s an object or better and the link 64 KB/s (half
// a megabit) or better. A storage commitment that waits for its answer gets its wait on top.
// C-ECHO has no work: its deadline is the fixed part alone.
struct NetLimits {
  int connect = 10;  // to open the TCP connection
  int acse = 30;     // from the connection to the whole association request or answer
  int dimse = 30;    // a peer's silence between PDUs
  int pdu = 30;      // one PDU from its first byte to its last; one write of ours
  double call = 60;         // the fixed part of a whole call
  double perObject = 5;     // added for each object of the call
  double perMegabyte = 16;  // added for each megabyte the call moves
  double inFlight = 16;     // megabytes of a fetched object not yet whole that earn time
  double ceiling = 3600;    // no call runs longer
};
// The limits every service and call of the process uses from its next connection on.
NetLimits Limits();
void SetLimits(const NetLimits& limits);

// The largest PDU this side takes; peers send their data in PDUs of up to this size.
constexpr unsigned kMaxReceivePdu = 16384;
// The largest command set a peer may send: commands are a few hundred bytes; one that runs on
// is junk and ends the association.
constexpr uint64_t kMaxCommandBytes = 64 << 10;
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

// The two uncompressed little-endian transfer syntaxes every node takes, explicit first.
OFList<OFString> UncompressedSyntaxes();
// Proposes sopClass in those syntaxes.
void OfferUncompressed(DcmSCU& scu, const char* sopClass);

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
// itself, and the whole-call deadline (see NetLimits) cuts it too. One call at a time:
// Begin ... End on the calling thread.
class CallGuard : public DcmTransportLayer {
 public:
  CallGuard() = default;
  ~CallGuard() override;

  DcmTransportConnection* createConnection(DcmNativeSocketType openSocket, OFBool useSecureLayer) override;

  // Starts a call of objects objects, its whole-call deadline sized by Limits(). fetches: the
  // call is a C-GET, whose objects come in.
  void Begin(size_t objects, bool fetches = false);
  void End();
  // The calling thread, while the call runs: more work found on the way (a wait the caller
  // asked for), which moves the deadline on.
  void AddSeconds(double seconds);
  // A C-GET: the node says it sends this many objects in all; one of them arrived whole.
  void ObjectsAnnounced(size_t total);
  void ObjectArrived();
  // Any thread. Ignored while no call runs. The running exchange may finish on its own for
  // graceSeconds before the connection is cut.
  void Cancel(int graceSeconds = kCancelGraceSeconds);
  bool Cancelled() const { return cancelled_.load(); }
  // The last call ran past its whole-call deadline and was cut.
  bool DeadlinePassed() const { return deadlinePassed_.load(); }
  // The last call was cancelled or cut: whatever it answered does not count.
  bool Interrupted() const { return Cancelled() || DeadlinePassed(); }
  // The whole-call time the last call had earned when it ended or was cut, in seconds.
  double SecondsAllowed();

  // Called by the guarded connections: bytes sent, bytes received; the socket closes.
  void Sent(size_t bytes) { sent_ += bytes; }
  void Received(size_t bytes) { received_ += bytes; }
  void Forget(DcmNativeSocketType socket);

 private:
  void Watch();
  // The whole-call time and deadline as earned so far; mutex_ held.
  double Seconds() const;
  std::chrono::steady_clock::time_point Due() const;

  // mutex_ guards socket_ and the fields below up to cancelled_; the watchdog waits on cv_.
  std::mutex mutex_;
  std::condition_variable cv_;
  DcmNativeSocketType socket_ = -1;
  bool running_ = false;
  bool done_ = false;
  bool cut_ = false;  // a deadline passed: connections of this call are cut as they come
  std::chrono::steady_clock::time_point start_;
  double perObject_ = 0, perByte_ = 0, ceiling_ = 0;
  double earned_ = 0;  // seconds: the fixed part, the objects and the added waits
  uint64_t inFlight_ = 0;        // bytes of an object not yet whole that earn time
  uint64_t receivedEarning_ = 0;  // received bytes that may earn time now
  size_t announced_ = 0, arrived_ = 0;  // a C-GET's objects
  bool cancelDueSet_ = false;
  std::chrono::steady_clock::time_point cancelDue_;
  std::atomic<uint64_t> sent_{0}, received_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> deadlinePassed_{false};
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

// Scope of one call on a guard: Begin now, End on every way out. A call cut by its whole-call
// deadline is logged as an error naming the call, the node and the time it had earned.
class CallScope {
 public:
  CallScope(CallGuard& guard, const char* what, const PeerSettings& peer, size_t objects = 0, bool fetches = false);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  CallGuard& guard_;
  const char* what_;
  const PeerSettings& peer_;
};

}  // namespace sodcm
