#include "QueueJournal.h"

#include "StoreLayout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuffix = ".journal";

}  // namespace

QueueJournal::Segment::Segment(Segment&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

QueueJournal::Segment& QueueJournal::Segment::operator=(Segment&& other) noexcept {
  if (this != &other) {
    Close();
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

QueueJournal::Segment::~Segment() { Close(); }

void QueueJournal::Segment::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool QueueJournal::Segment::Append(const std::string& line) {
  if (fd_ < 0) return false;
  const std::string whole = line + "\n";
  for (;;) {
    ssize_t n = ::write(fd_, whole.data(), whole.size());
    if (n < 0 && errno == EINTR) continue;
    // A short write leaves a torn last line, which reading skips; the entry counts as not written.
    return n == static_cast<ssize_t>(whole.size());
  }
}

std::vector<std::string> QueueJournal::Segment::Lines() const {
  std::vector<std::string> lines;
  std::ifstream in(path_, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    if (end > start) lines.push_back(text.substr(start, end - start));
  return lines;
}

void QueueJournal::Segment::Remove() {
  if (!path_.empty()) ::unlink(path_.c_str());
  Close();
  path_.clear();
}

bool QueueJournal::Append(const std::string& line) {
  if (!current_.Open()) {
    StoreLayout::CreatePrivateFolders(folder_);
    const std::string path = (fs::path(folder_) / (StoreLayout::UniqueName() + kSuffix)).string();
    const std::string made = path + ".new";
    int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // Locked before it gets the name other stores look for, and held until removed, so a store
    // opening meanwhile never takes it for a journal left behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(made.c_str(), path.c_str()) != 0) {
      ::close(fd);
      ::unlink(made.c_str());
      return false;
    }
    current_ = Segment(path, fd);
  }
  return current_.Append(line);
}

QueueJournal::Segment QueueJournal::Take() { return std::move(current_); }

std::vector<QueueJournal::Segment> QueueJournal::TakeOrphans() const {
  std::vector<Segment> orphans;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
    const std::string path = entry.path().string();
    const bool unnamed = entry.path().extension() == ".new";
    if (!unnamed && entry.path().extension() != kSuffix) continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);  // a live store's
      continue;
    }
    if (unnamed) {
      // Killed before its first entry.
      ::unlink(path.c_str());
      ::close(fd);
      continue;
    }
    orphans.emplace_back(path, fd);
  }
  return orphans;
}
