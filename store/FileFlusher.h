#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>

// Makes files saved into a store durable on a thread of its own, while the caller goes on saving
// the next ones: each file's data, then the folder holding its entry, once per batch. The entries
// of the folders above must be on disk already (the caller flushes a folder's parent when it
// makes the folder). A row may point at a file only once Wait has answered true for its ticket.
class FileFlusher {
 public:
  FileFlusher() = default;
  // Flushes what was handed over, then stops the thread.
  ~FileFlusher();
  FileFlusher(const FileFlusher&) = delete;
  FileFlusher& operator=(const FileFlusher&) = delete;

  // Hands over a saved file: fd is open on it (and is closed here), its writeback already
  // started; ticket is what to wait for. Blocks while many files are still waiting, so the open
  // descriptors and the unflushed data stay bounded. False when no thread could be started.
  bool Add(int fd, const std::string& path, uint64_t& ticket);
  // Waits until the file of ticket and every file handed over before it were flushed; false
  // when that file or its folders could not be flushed. Ticket 0 (no file) answers true at once.
  bool Wait(uint64_t ticket);

  // Flushes a folder's entries; a folder renamed away meanwhile (its study deleted) has nothing
  // left to flush.
  static bool SyncFolder(const std::string& path);

 private:
  struct Entry {
    uint64_t ticket;
    int fd;
    std::string folder;
  };
  void Run();
  // Flushes the files, then their folders; answers the tickets that failed.
  static std::set<uint64_t> Flush(const std::deque<Entry>& batch);

  std::mutex lock_;  // guards everything below but thread_'s start
  std::condition_variable queued_;
  std::condition_variable flushed_;
  std::deque<Entry> queue_;
  uint64_t lastTicket_ = 0;
  uint64_t flushedTicket_ = 0;
  std::set<uint64_t> failed_;
  bool stop_ = false;
  std::thread thread_;  // started with the first file, under lock_
};
