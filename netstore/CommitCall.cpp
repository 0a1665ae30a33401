#include "CommitCall.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "SODcmDataset.h"

namespace {
constexpr unsigned long kStudyInstanceUID = 0x0020000D;
constexpr int kReportWaitSeconds = 10;
}  // namespace

// Shared by the caller and the request's thread; mutex guards everything below it.
struct CommitCall::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  bool abandoned = false;
  bool ok = false;
  SODcmCommitResult result;
};

CommitCall::CommitCall(const CommitPeer& peer, const std::string& studyUIDs,
                       std::vector<SODcmReferencedSOP> refs)
    : state_(std::make_shared<State>()) {
  std::thread([state = state_, peer, studyUIDs, refs = std::move(refs)] {
    SODcmCommitResult result;
    bool ok = false;
    SOCommitSCU scu;
    if (scu.Init(peer.host.c_str(), peer.port, peer.calledAE.c_str(), peer.callingAE.c_str(),
                 peer.extra.c_str())) {
      SODcmDataset dataset;
      if (!studyUIDs.empty()) dataset.SetString(kStudyInstanceUID, studyUIDs);
      ok = scu.RequestCommit(&dataset, refs, result, nullptr, true, kReportWaitSeconds);
    }
    std::lock_guard<std::mutex> hold(state->mutex);
    state->ok = ok;
    state->result = std::move(result);
    state->done = true;
    state->changed.notify_all();
  }).detach();
}

CommitCall::~CommitCall() {
  Abandon();
}

bool CommitCall::Wait(SODcmCommitResult& result) {
  std::unique_lock<std::mutex> hold(state_->mutex);
  state_->changed.wait(hold, [this] { return state_->done || state_->abandoned; });
  if (state_->abandoned || !state_->ok) return false;
  result = std::move(state_->result);
  return true;
}

void CommitCall::Abandon() {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->abandoned = true;
  state_->changed.notify_all();
}
