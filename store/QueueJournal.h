#pragma once

#include <string>
#include <vector>

// The files a store saved and acknowledged whose index rows are still waiting for a commit, one
// line each, in journal files of the store's own. An entry is written to the operating system
// (not flushed) before the save is acknowledged, so a killed process loses none: the store
// opened next finds the journals no open store holds and commits their entries.
//
// A journal is held (an exclusive lock on its open file) by the store writing to it until its
// entries are committed and the file removed, so a store never takes another live store's.
// Not thread-safe: the store calls it under its pending lock.
class QueueJournal {
 public:
  // One journal file, held while the object lives.
  class Segment {
   public:
    Segment() = default;
    Segment(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    Segment(Segment&& other) noexcept;
    Segment& operator=(Segment&& other) noexcept;
    ~Segment();

    bool Open() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // One write of line and its end, so a kill leaves whole lines.
    bool Append(const std::string& line);
    // Every whole line, in order.
    std::vector<std::string> Lines() const;
    // Deletes the file (its entries are committed) and lets it go.
    void Remove();

   private:
    void Close();
    std::string path_;
    int fd_ = -1;
  };

  // folder: where the journal files live; made when the first entry is written.
  explicit QueueJournal(std::string folder) : folder_(std::move(folder)) {}

  // Appends an entry to the journal being written, starting one when there is none.
  bool Append(const std::string& line);
  // The journal written so far, handed to its committer; the next entry starts another.
  Segment Take();
  // The journals left by stores that are gone, each now held by the caller.
  std::vector<Segment> TakeOrphans() const;

 private:
  std::string folder_;
  Segment current_;
};
