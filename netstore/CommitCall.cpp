#include "CommitCall.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "SODcmDataset.h"

namespace {
constexpr unsigned long kStudyInstanceUID = 0x0020000D;
// Nodes check every instance before they report, so a large request gets longer than the
// 10 s that suit a small one: a second more per hundred instances.
int ReportWaitSeconds(size_t instances) { return 10 + int(instances / 100); }
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

namespace {

// Threads of abandoned requests: joined once they ended, the rest when the library is
// unloaded (before the toolkit's own globals go, which those threads may still use).
class AbandonedThreads {
 public:
  ~AbandonedThreads() {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto& entry : threads_) entry.second.join();
  }

  void Add(std::shared_ptr<CommitCall::State> state, std::thread thread);

 private:
  std::mutex mutex_;  // guards threads_
  std::vector<std::pair<std::shared_ptr<CommitCall::State>, std::thread>> threads_;
};

AbandonedThreads& Abandoned() {
  static AbandonedThreads threads;
  return threads;
}

}  // namespace

void AbandonedThreads::Add(std::shared_ptr<CommitCall::State> state, std::thread thread) {
  std::lock_guard<std::mutex> hold(mutex_);
  for (auto it = threads_.begin(); it != threads_.end();) {
    bool done;
    {
      std::lock_guard<std::mutex> holdState(it->first->mutex);
      done = it->first->done;
    }
    if (done) {
      it->second.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
  threads_.emplace_back(std::move(state), std::move(thread));
}

CommitCall::CommitCall(const CommitPeer& peer, const std::string& studyUIDs,
                       std::vector<SODcmReferencedSOP> refs)
    : state_(std::make_shared<State>()) {
  Abandoned();  // exists before the first request thread, so it is destroyed after it ends
  thread_ = std::thread([state = state_, peer, studyUIDs, refs = std::move(refs)] {
    SODcmCommitResult result;
    bool ok = false;
    SOCommitSCU scu;
    if (scu.Init(peer.host.c_str(), peer.port, peer.calledAE.c_str(), peer.callingAE.c_str(),
                 peer.extra.c_str())) {
      SODcmDataset dataset;
      if (!studyUIDs.empty()) dataset.SetString(kStudyInstanceUID, studyUIDs);
      ok = scu.RequestCommit(&dataset, refs, result, nullptr, true, ReportWaitSeconds(refs.size()));
    }
    std::lock_guard<std::mutex> hold(state->mutex);
    state->ok = ok;
    state->result = std::move(result);
    state->done = true;
    state->changed.notify_all();
  });
}

CommitCall::~CommitCall() {
  Abandon();
  bool done;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    done = state_->done;
  }
  if (done)
    thread_.join();
  else
    Abandoned().Add(state_, std::move(thread_));
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
