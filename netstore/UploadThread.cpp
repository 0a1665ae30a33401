#include "UploadThread.h"

#include <iostream>
#include <unordered_map>
#include <unordered_set>

namespace {
void Print(const char* text) {
  std::cout << text << std::flush;
}
}  // namespace

UploadThread::UploadThread(UploadBlockingQueue* queue, IUploadThreadCallback* manager)
    : TransferThread<DCMUpload>(queue), manager_(manager) {}

UploadThread::~UploadThread() {
  Shutdown();
}

bool UploadThread::Commit(const DCMUpload& item, SODcmCommitResult& result) {
  std::vector<SODcmReferencedSOP> refs;
  refs.reserve(item.files.size());
  for (const DCMUploadFile& file : item.files) refs.push_back({file.sopClassUID, file.sopInstanceUID});
  auto call = std::make_shared<CommitCall>(
      CommitPeer{item.host, item.port, item.calledAE, item.callingAE, item.extra}, std::string(),
      std::move(refs));
  return WaitCommit(call, result);
}

void UploadThread::Run(DCMUpload& item) {
  BeginItem(item.key);
  current_ = std::make_unique<DCMUpload>(item);
  finish_ = DCMFinish{0, 0, static_cast<int>(item.files.size())};
  manager_->OnStarted(current_.get());

  std::vector<DCMUploadFile>& files = current_->files;
  if (!files.empty()) {
    if (!current_->skipFirstCommit) {
      SODcmCommitResult held;
      if (Commit(*current_, held)) {
        // Each committed entry takes out the first file left with its UID.
        std::unordered_map<std::string, int> committed;
        for (const SODcmReferencedSOP& sop : held.success) ++committed[sop.sopInstanceUID];
        std::erase_if(files, [&](const DCMUploadFile& file) {
          auto it = committed.find(file.sopInstanceUID);
          return it != committed.end() && it->second-- > 0;
        });
      } else if (!Cancelled()) {
        Print("First Commit Failed!");
      }
    }
    finish_.done = finish_.total - static_cast<int>(files.size());

    if (files.empty()) {
      finish_.success = 1;
    } else {
      std::vector<std::string> paths;
      paths.reserve(files.size());
      for (const DCMUploadFile& file : files) paths.push_back(file.path);
      std::vector<std::string> sent;
      bool stored = false;
      if (!Cancelled() &&
          storeSCU_.InitSCU(current_->host.c_str(), current_->port, current_->calledAE.c_str(),
                            current_->callingAE.c_str(), nullptr)) {
        storeSCU_.RegisterCallback(this);
        stored = storeSCU_.SendFiles(paths, sent, true);
        storeSCU_.RegisterCallback(nullptr);
      }
      if (stored && !Cancelled()) {
        SODcmCommitResult kept;
        if (Commit(*current_, kept)) {
          // Every instance sent must be committed; extra or repeated entries prove nothing.
          std::unordered_set<std::string> committed;
          for (const SODcmReferencedSOP& sop : kept.success) committed.insert(sop.sopInstanceUID);
          bool all = true;
          for (const DCMUploadFile& file : files) all = all && committed.count(file.sopInstanceUID) > 0;
          if (all)
            finish_.success = 1;
          else
            Print("Some File Upload Failed!");
        } else {
          Print("Second Commit Failed!");
        }
      } else {
        Print("Store Error!");
      }
      finish_.done += static_cast<int>(sent.size());
    }
  }

  manager_->OnFinished(current_.get(), &finish_);
  current_.reset();
  EndItem();
}

void UploadThread::OnProgress(void*, int sent, int) {
  if (!current_) return;
  DCMProgress progress{sent + finish_.done, finish_.total};
  manager_->OnProgress(current_.get(), &progress);
}
