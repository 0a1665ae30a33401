#include "DownloadThread.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>
#include <unordered_set>

#include "SODcmDataset.h"
#include "SOFindSCU.h"

namespace {
constexpr unsigned long kQueryRetrieveLevel = 0x00080052;
constexpr unsigned long kSOPInstanceUID = 0x00080018;
constexpr unsigned long kSeriesInstanceUID = 0x0020000E;
constexpr size_t kUidsPerGet = 500;

void Print(const char* text) {
  std::cout << text << std::flush;
}

std::string Join(const std::vector<std::string>& values) {
  std::string joined;
  for (const std::string& value : values) {
    if (!joined.empty()) joined += '\\';
    joined += value;
  }
  return joined;
}

// One C-GET with the two keys; received lists what arrived.
bool RequestGet(SOGetSCU& scu, const DCMDownload& peer, const char* level, unsigned long tag,
                const std::vector<std::string>& uids, std::vector<SODcmReferencedSOP>& received) {
  if (!scu.Init(peer.host.c_str(), peer.port, peer.calledAE.c_str(), peer.callingAE.c_str(),
                peer.extra.c_str()))
    return false;
  SODcmDataset keys;
  keys.SetString(kQueryRetrieveLevel, level);
  keys.SetString(tag, Join(uids));
  return scu.RequestGet(SODcmQRModel_StudyRoot, &keys, received);
}
}  // namespace

DownloadThread::DownloadThread(DownloadBlockingQueue* queue, IDownloadThreadCallback* manager)
    : TransferThread<DCMDownload>(queue), manager_(manager) {
  getSCU_.SetCallback(this);
}

DownloadThread::~DownloadThread() {
  Shutdown();
}

void DownloadThread::Run(DCMDownload& item) {
  BeginItem(item.key);
  current_ = item;
  finish_ = DCMFinish{};
  manager_->OnStarted(&current_);

  std::vector<SODcmReferencedSOP> held;
  if (!ListHeld(held)) {
    if (!Cancelled()) Print("First Commit Failed!");
  } else {
    std::unordered_set<std::string> existing;
    for (const DCMUploadFile& file : current_.existing) existing.insert(file.sopInstanceUID);
    std::unordered_set<std::string> listed;
    std::vector<std::string> missing;
    for (const SODcmReferencedSOP& sop : held) {
      if (!listed.insert(sop.sopInstanceUID).second) continue;
      if (existing.count(sop.sopInstanceUID) == 0) missing.push_back(sop.sopInstanceUID);
    }
    finish_.total = static_cast<int>(listed.size());
    finish_.done = finish_.total - static_cast<int>(missing.size());
    if (listed.empty()) {
      // A node that lists nothing for the studies has nothing we could fetch: not a success.
      Print("Get Failed!");
    } else if (missing.empty()) {
      finish_.success = 1;
    } else {
      finish_.success = Fetch(missing);
    }
  }

  manager_->OnFinished(&current_, &finish_);
  EndItem();
}

bool DownloadThread::ListHeld(std::vector<SODcmReferencedSOP>& held) {
  auto call = std::make_shared<CommitCall>(
      CommitPeer{current_.host, current_.port, current_.calledAE, current_.callingAE, current_.extra},
      Join(current_.studyUIDs), std::vector<SODcmReferencedSOP>());
  SODcmCommitResult listed;
  if (!WaitCommit(call, listed)) return false;
  if (!listed.success.empty()) {
    held = std::move(listed.success);
    return true;
  }
  // A standard node answers a commitment query that names only studies with an empty list:
  // it is asked by C-FIND.
  if (Cancelled()) return false;
  SOFindSCU find;
  return find.Init(current_.host.c_str(), current_.port, current_.calledAE.c_str(), current_.callingAE.c_str()) &&
         find.FindInstances(current_.studyUIDs, held);
}

int DownloadThread::Fetch(const std::vector<std::string>& missing) {
  // A UI value is at most 64 KiB in explicit VR, about a thousand UIDs: long lists go in
  // several requests, each a part of one run.
  std::vector<SODcmReferencedSOP> received;
  for (size_t first = 0; first < missing.size(); first += kUidsPerGet) {
    std::vector<std::string> part(missing.begin() + first,
                                  missing.begin() + std::min(missing.size(), first + kUidsPerGet));
    fetchedBefore_ = static_cast<int>(received.size());
    std::vector<SODcmReferencedSOP> arrived;
    if (Cancelled() || !RequestGet(getSCU_, current_, "IMAGE", kSOPInstanceUID, part, arrived)) {
      Print("Get Failed!");
      return 0;
    }
    received.insert(received.end(), arrived.begin(), arrived.end());
  }
  std::unordered_map<std::string, int> outstanding;
  for (const std::string& uid : missing) ++outstanding[uid];
  size_t left = missing.size();
  for (const SODcmReferencedSOP& sop : received) {
    auto it = outstanding.find(sop.sopInstanceUID);
    if (it != outstanding.end() && it->second > 0) {
      --it->second;
      --left;
    }
  }
  if (left == 0) return 1;
  Print("Some File Get Failed!");
  return 0;
}

void DownloadThread::OnProgress(void*, const SODcmGetProgress* counters) {
  DCMProgress progress{finish_.done + fetchedBefore_ + counters->completed, finish_.total};
  manager_->OnProgress(&current_, &progress);
}

bool DownloadThread::OnFileReceived(SODcmFile* file) {
  manager_->OnFile(&current_, file);
  return true;
}

CallbackProxy::CallbackProxy(ISTORECallback* callback, const DCMDownload& download) : callback_(callback) {
  download_.key = download.key;
  download_.host = download.host;
  download_.port = download.port;
  download_.callingAE = download.callingAE;
  download_.calledAE = download.calledAE;
  download_.extra = download.extra;
}

bool CallbackProxy::OnFileReceived(SODcmFile* file) {
  callback_->OnStoreFile(&download_, file);
  return true;
}

bool GetSeriesNow(const DCMDownload& download, const std::vector<std::string>& seriesUIDs,
                  ISTORECallback* callback) {
  SOGetSCU scu;
  CallbackProxy proxy(callback, download);
  scu.SetCallback(&proxy);
  std::vector<SODcmReferencedSOP> received;
  return RequestGet(scu, download, "SERIES", kSeriesInstanceUID, seriesUIDs, received);
}
