#pragma once

#include <memory>
#include <string>
#include <vector>

class SODcmDataset;

namespace sodcm {
struct PeerSettings;
}  // namespace sodcm

// One instance named in a storage commitment.
struct SODcmReferencedSOP {
  std::string sopClassUID;
  std::string sopInstanceUID;
};

// The answer to one commitment request.
struct SODcmCommitResult {
  std::string transactionUID;
  std::vector<SODcmReferencedSOP> success;
  std::vector<SODcmReferencedSOP> failed;
};

// Storage commitment (push model) as the requesting side.
class SOCommitSCU {
 public:
  SOCommitSCU();
  ~SOCommitSCU();
  SOCommitSCU(const SOCommitSCU&) = delete;
  SOCommitSCU& operator=(const SOCommitSCU&) = delete;

  // extra: empty, or the decimal port on which this station takes the node's answer when
  // the node sends it on an association of its own (it must know this station's AE title
  // at that port). False (and no peer kept) on an empty host, a port outside 1-65535, an
  // invalid AE title or an extra that is not a valid port.
  bool Init(const char* host, int port, const char* calledAE, const char* callingAE, const char* extra);

  // The station's listener for the answers that nodes send on associations of their own, one
  // per process, serving until stopped: a node that knows this station's AE title (the
  // requests' calling AE) at this port reports there, and each report goes to the waiting
  // request that sent its transaction. A request whose extra names no port, or this one,
  // waits on it. False, and no listener, on an invalid AE title or port or a port that
  // cannot be bound; starting again replaces the running one.
  static bool StartStationListener(const char* aeTitle, int port);
  static void StopStationListener();
  // 0 and empty while it does not run.
  static int StationListenerPort();
  static std::string StationListenerAETitle();

  // As the commitment SCP: sends the answer to a request on an association of its own to the
  // requester (host, port and AE title as this station knows it); true when it took it.
  static bool SendReport(const char* host, int port, const char* calledAE, const char* callingAE,
                         const SODcmCommitResult& result);

  // Asks the node to commit the instances and, with wait, waits up to timeoutSeconds for
  // its answer, on the same association or on one the node opens to the extra port (or to
  // the station's listener).
  // The attributes of dataset, when given, go with the request: with an empty list they name
  // the studies (0020,000D, several joined by backslashes) whose instances the node is asked
  // to list as committed, a query that the consultation service's nodes answer and standard
  // nodes do not. transactionUID: null makes new ones, and a long list then goes as several
  // transactions on one association, answered together (result carries the first one's UID);
  // a given UID makes the whole list one transaction. result is filled with what the node
  // committed and what it failed, in the order of the list. True when the request was
  // accepted and, with wait, every answer arrived; without wait result only carries the
  // transaction UID.
  bool RequestCommit(SODcmDataset* dataset, const std::vector<SODcmReferencedSOP>& refs,
                     SODcmCommitResult& result, const char* transactionUID, bool wait, int timeoutSeconds);

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  int reportPort_ = 0;
};
