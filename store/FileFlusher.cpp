#include "FileFlusher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "StoreLayout.h"

namespace {

// Enough to keep the disk busy between two commits, few enough for the descriptor limit.
constexpr size_t kMaxWaiting = 256;

}  // namespace

bool FileFlusher::SyncFolder(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

FileFlusher::~FileFlusher() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  queued_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool FileFlusher::Add(int fd, const std::string& path, uint64_t& ticket) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      ::close(fd);
      return false;
    }
  }
  flushed_.wait(hold, [&] { return queue_.size() < kMaxWaiting; });
  ticket = ++lastTicket_;
  queue_.push_back({ticket, fd, StoreLayout::ParentOf(path)});
  hold.unlock();
  queued_.notify_one();
  return true;
}

bool FileFlusher::Wait(uint64_t ticket) {
  if (ticket == 0) return true;
  std::unique_lock<std::mutex> hold(lock_);
  flushed_.wait(hold, [&] { return flushedTicket_ >= ticket; });
  return failed_.count(ticket) == 0;
}

void FileFlusher::Run() {
  for (;;) {
    std::deque<Entry> batch;
    {
      std::unique_lock<std::mutex> hold(lock_);
      queued_.wait(hold, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;
      batch.swap(queue_);
    }
    flushed_.notify_all();  // room in the queue again
    std::set<uint64_t> failed = Flush(batch);
    {
      std::lock_guard<std::mutex> hold(lock_);
      failed_.insert(failed.begin(), failed.end());
      flushedTicket_ = batch.back().ticket;
    }
    flushed_.notify_all();
  }
}

std::set<uint64_t> FileFlusher::Flush(const std::deque<Entry>& batch) {
  std::set<uint64_t> failed;
  // The data and size of each file, then the entries its rename made.
  std::set<std::string> folders;
  for (const Entry& entry : batch) {
    if (::fdatasync(entry.fd) != 0) failed.insert(entry.ticket);
    ::close(entry.fd);
    folders.insert(entry.folder);
  }
  for (const std::string& folder : folders) {
    if (folder.empty() || SyncFolder(folder)) continue;
    for (const Entry& entry : batch) failed.insert(entry.ticket);
    break;
  }
  return failed;
}
