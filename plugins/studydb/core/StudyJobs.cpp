#include "StudyJobs.h"

#include "IKelvast.h"
#include "SODcmFile.h"
#include "SOUtil.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

TransferProgress MakeTransferProgress(int done, int total) {
  TransferProgress progress;
  if (total > 0) progress.percent = static_cast<uint16_t>(std::clamp(done, 0, total) * 100LL / total);
  progress.text = SOUtil::Format("%d/%d", done, total);
  return progress;
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

}  // namespace

void RunImport(const std::vector<std::string>& files, IKelvast* store, const StatusText& status) {
  if (status) status("");
  int count = static_cast<int>(files.size());
  for (int i = 0; i < count; ++i) {
    const std::string& path = files[i];
    SODcmFile file;
    if (store && file.LoadFile(path.c_str(), true)) {
      std::string target;
      if (store->GetStoreFilePath(&file, target) && SameFile(path, target)) {
        store->QueueFilePath(path.c_str());
      } else {
        store->QueueFile(&file);
      }
    }
    if (status) status(SOUtil::Format("Importing %d/%d", i + 1, count));
  }
  if (store) store->CommitQueue();
  if (status) status("Import finished!");
}

const char* SendDoneText(bool ok) { return ok ? "Send finish!" : "Send fail!"; }

StudySender::StudySender(ISendEvents* events) : events_(events) { scu_.RegisterCallback(this); }

void StudySender::RunSend(const SendJob& job, const std::string& callingAE, const StatusText& status) {
  finished_ = false;
  finishedOk_ = false;
  bool ready = scu_.InitSCU(job.host.c_str(), job.port, job.calledAE.c_str(), callingAE.c_str(), nullptr);
  if (status) status("");
  if (events_) events_->OnSendStart();
  std::vector<std::string> sent;
  bool ok = ready && scu_.SendFiles(job.files, sent, false);
  // The client reports its end through OnFinish; a send that ended without it, or one the
  // client calls failed after it, is told once, as a failure.
  if (!finished_) {
    if (events_) events_->OnSendDone(false);
  } else if (events_) {
    events_->OnSendDone(ok && finishedOk_);
  }
}

void StudySender::OnProgress(void*, int sent, int total) {
  if (events_) events_->OnSendProgress(MakeTransferProgress(sent, total));
}

void StudySender::OnFinish(int sent, int total) {
  finished_ = true;
  finishedOk_ = sent == total;
}
