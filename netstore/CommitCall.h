#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SOCommitSCU.h"

// Where a commitment request goes.
struct CommitPeer {
  std::string host;
  int port = 0;
  std::string calledAE;
  std::string callingAE;
  std::string extra;
};

// One storage commitment request (wait for the report, 10 s plus 1 s per 100 instances), run on a thread of its
// own so that a store being deleted need not wait for a node that is slow to report: the
// worker abandons the call and the request ends by itself within its time-outs, touching
// nothing but its own state. One object per request.
class CommitCall {
 public:
  // With refs empty the node is asked what it holds of the studies (several UIDs joined by
  // backslashes); otherwise it is asked to commit refs.
  CommitCall(const CommitPeer& peer, const std::string& studyUIDs, std::vector<SODcmReferencedSOP> refs);
  ~CommitCall();
  CommitCall(const CommitCall&) = delete;
  CommitCall& operator=(const CommitCall&) = delete;

  // Waits for the answer; false when the request failed or was abandoned.
  bool Wait(SODcmCommitResult& result);
  // Any thread: Wait returns false at once.
  void Abandon();

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::thread thread_;
};
