#include "SODcmFile.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmf.h>
#include <dcmtk/dcmdata/dcostrma.h>
#include <dcmtk/dcmdata/dcwcache.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "DcmInternal.h"

namespace fs = std::filesystem;

namespace {

// Values above this many bytes stay on disk until they are asked for.
constexpr Uint32 kMaxReadLength = 4096;

// Reads of a few hundred KB: system calls are dear (a few microseconds each in a virtual
// machine), and a block still fits in the processor's second-level cache for the scan that follows.
constexpr offile_off_t kScanBlock = 256 * 1024;

// A buffer to read trailing zeros into, taken from a pool and given back for the next file: the
// first touch of fresh memory costs a page fault per page, more than reading the zeros.
class ScanBuffer {
 public:
  ScanBuffer() {
    std::lock_guard lock(mutex_);
    if (!free_.empty()) {
      buffer_ = std::move(free_.back());
      free_.pop_back();
    }
  }
  ~ScanBuffer() {
    if (!buffer_) return;
    std::lock_guard lock(mutex_);
    free_.push_back(std::move(buffer_));
  }
  ScanBuffer(const ScanBuffer&) = delete;
  ScanBuffer& operator=(const ScanBuffer&) = delete;
  unsigned char* get() {
    if (!buffer_) buffer_.reset(new unsigned char[kScanBlock]);
    return buffer_.get();
  }

 private:
  static inline std::mutex mutex_;
  static inline std::vector<std::unique_ptr<unsigned char[]>> free_;  // guarded by mutex_
  std::unique_ptr<unsigned char[]> buffer_;
};

// `length` less the zero bytes that end `bytes`, compared a page at a time with a page of zeros.
size_t LengthBeforeZeros(const unsigned char* bytes, size_t length) {
  static constexpr unsigned char kZeros[4096] = {};
  while (length > 0) {
    const size_t page = std::min(length, sizeof kZeros);
    if (std::memcmp(bytes + length - page, kZeros, page) != 0) break;
    length -= page;
  }
  while (length > 0 && bytes[length - 1] == 0) --length;
  return length;
}

// A file read through a buffer of its own. DCMTK's file stream goes through stdio with a call per
// tag, length and value, which cost as much as the parsing itself on a series of small headers.
class BufferedFileProducer : public DcmProducer {
 public:
  explicit BufferedFileProducer(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0 || ::fstat(fd_, &opened_) != 0)
      status_ = EC_InvalidFilename;
    else
      size_ = zeroTail_ = opened_.st_size;
  }
  ~BufferedFileProducer() override {
    if (fd_ >= 0) ::close(fd_);
  }
  BufferedFileProducer(const BufferedFileProducer&) = delete;
  BufferedFileProducer& operator=(const BufferedFileProducer&) = delete;

  // The status of the file as opened.
  const struct stat& Opened() const { return opened_; }

  // Whether only zeros are left from here, where DCMTK is about to read an element, and at least
  // `atLeast` of them. They are looked for once, the first time the next bytes are zeros, from
  // there to the end; every byte is looked at: whatever follows a stretch of zeros must be parsed.
  bool AtZeroTail(offile_off_t atLeast) {
    if (!tailSought_) {
      if (size_ - pos_ < atLeast || !NextBytesAreZero()) return false;
      tailSought_ = true;
      const offile_off_t end = bufferEnd_ < size_ ? EndOfData(bufferEnd_) : bufferEnd_;
      const offile_off_t tail = end == bufferEnd_ ? pos_ : end + (end & 1);  // elements start on even offsets
      if (end >= 0 && size_ - tail >= atLeast) zeroTail_ = tail;
    }
    return pos_ >= zeroTail_;
  }

  OFBool good() const override { return status_.good(); }
  OFCondition status() const override { return status_; }
  OFBool eos() override { return !good() || pos_ >= size_; }
  offile_off_t avail() override { return good() ? size_ - pos_ : 0; }

  offile_off_t read(void* buf, offile_off_t buflen) override {
    char* out = static_cast<char*>(buf);
    offile_off_t done = 0;
    while (good() && done < buflen && pos_ < size_) {
      if (pos_ < bufferStart_ || pos_ >= bufferEnd_) {
        // A large value goes straight to the caller.
        if (buflen - done >= kBufferSize) {
          const ssize_t n = ::pread(fd_, out + done, buflen - done, pos_);
          if (n <= 0) {
            status_ = EC_InvalidStream;
            break;
          }
          done += n;
          pos_ += n;
          continue;
        }
        if (!Fill()) break;
      }
      const offile_off_t take = std::min(buflen - done, bufferEnd_ - pos_);
      std::memcpy(out + done, buffer_ + (pos_ - bufferStart_), take);
      done += take;
      pos_ += take;
    }
    return done;
  }

  offile_off_t skip(offile_off_t skiplen) override {
    if (!good() || skiplen <= 0) return 0;
    const offile_off_t n = std::min(skiplen, size_ - pos_);
    pos_ += n;
    return n;
  }

  void putback(offile_off_t num) override {
    if (!good() || num <= 0) return;
    if (num > pos_)
      status_ = EC_PutbackFailed;
    else
      pos_ -= num;
  }

 private:
  // The buffer filled from the current position.
  bool Fill() {
    const ssize_t n = ::pread(fd_, buffer_, kBufferSize, pos_);
    if (n <= 0) {
      status_ = EC_InvalidStream;
      return false;
    }
    bufferStart_ = pos_;
    bufferEnd_ = pos_ + n;
    return true;
  }

  // Whether the next bytes, as many as the buffer holds, are all zeros. The buffer is filled from
  // here when it holds fewer of them, which costs a read only where they are zeros so far (or
  // where DCMTK's next read would fill it anyway).
  bool NextBytesAreZero() {
    for (bool filled = false;; filled = true) {
      if ((pos_ < bufferStart_ || pos_ >= bufferEnd_) && !Fill()) return false;
      const unsigned char* next = reinterpret_cast<const unsigned char*>(buffer_) + (pos_ - bufferStart_);
      if (*next != 0 || LengthBeforeZeros(next, size_t(bufferEnd_ - pos_)) != 0) return false;
      if (filled || bufferEnd_ - pos_ >= std::min(kBufferSize, size_ - pos_)) return true;
      bufferEnd_ = bufferStart_;  // too few to tell: fill from here
    }
  }

  // The end of the last byte that is not zero from `from` to the end of the file, read backwards;
  // `from` when there is none, -1 when the file cannot be read.
  offile_off_t EndOfData(offile_off_t from) {
    ScanBuffer buffer;
    offile_off_t end = size_;
    while (end > from) {
      // Blocks on multiples of their size, from the end backwards.
      const offile_off_t start = std::max(from, (end - 1) / kScanBlock * kScanBlock);
      const size_t length = size_t(end - start);
      if (::pread(fd_, buffer.get(), length, start) != ssize_t(length)) return -1;
      const size_t kept = LengthBeforeZeros(buffer.get(), length);
      end = start + offile_off_t(kept);
      if (kept > 0) break;
    }
    return end;
  }

  static constexpr offile_off_t kBufferSize = 8192;
  int fd_;
  struct stat opened_ {};
  OFCondition status_ = EC_Normal;
  offile_off_t size_ = 0, pos_ = 0, bufferStart_ = 0, bufferEnd_ = 0;
  offile_off_t zeroTail_ = 0;  // where the trailing zeros start; the file's size until they are found
  bool tailSought_ = false;
  char buffer_[kBufferSize];
};

class BufferedFileStream : public DcmInputStream {
 public:
  // Some writers pad a file with megabytes of zeros after its dataset, which DCMTK would read as
  // hundreds of thousands of empty elements. With `stopAtZeroTail` the dataset ends where the
  // zeros begin, wherever DCMTK looks for its next element; a value that starts inside them (a
  // value of zeros that ends the file) fails the read instead, and the caller reads again without
  // stopping. What DCMTK logs once the zeros are reached is not logged.
  // Only where DCMTK reads the file itself: a deflate filter reads ahead.
  BufferedFileStream(const char* path, bool stopAtZeroTail)
      : DcmInputStream(&producer_), producer_(path), path_(path), stopAtZeroTail_(stopAtZeroTail) {}
  const struct stat& Opened() const { return producer_.Opened(); }

  OFBool eos() override {
    if (DcmInputStream::eos()) return true;
    if (!stopAtZeroTail_ || currentProducer() != &producer_ || !producer_.AtZeroTail(kMinZeroTail)) return false;
    if (!quiet_) quiet_.emplace();
    return true;
  }
  // Whether the stream ended at trailing zeros.
  bool StoppedAtZeroTail() const { return quiet_.has_value(); }

  // Values left on disk are read later through DCMTK's own file stream, as after loadFile; none
  // are left once a compression filter sits in between.
  DcmInputStreamFactory* newFactory() const override {
    return currentProducer() == &producer_ ? new DcmInputFileStreamFactory(path_, tell()) : nullptr;
  }

 private:
  // Shorter runs of zeros cost little to parse.
  static constexpr offile_off_t kMinZeroTail = 1024;
  BufferedFileProducer producer_;
  OFFilename path_;
  bool stopAtZeroTail_;
  std::optional<DcmQuietLog> quiet_;
};

// One DcmFileFormat::read over the buffered stream; `opened` is the file's status as opened.
// Null when the file cannot be parsed; `stopped` tells whether the read ended at trailing zeros.
std::unique_ptr<DcmFileFormat> ReadOnce(const char* path, struct stat& opened, bool stopAtZeroTail, bool& stopped) {
  BufferedFileStream stream(path, stopAtZeroTail);
  if (stream.status().bad()) return nullptr;
  opened = stream.Opened();
  auto format = std::make_unique<DcmFileFormat>();
  format->transferInit();
  const OFCondition result = format->read(stream, EXS_Unknown, EGL_noChange, kMaxReadLength);
  format->transferEnd();
  stopped = stream.StoppedAtZeroTail();
  return result.good() ? std::move(format) : nullptr;
}

// DcmFileFormat::loadFile over the buffered stream, as ReadOnce. A read that failed where it took
// trailing zeros for the end is read again without stopping, which says what is wrong if anything is.
std::unique_ptr<DcmFileFormat> ReadFile(const char* path, struct stat& opened) {
  bool stopped = false;
  std::unique_ptr<DcmFileFormat> format = ReadOnce(path, opened, true, stopped);
  if (format || !stopped) return format;
  return ReadOnce(path, opened, false, stopped);
}

// A new file written past the page cache (O_DIRECT) from an aligned buffer of its own, for saves
// flushed before they return: the data go to the disk once, instead of being copied into the page
// cache first and written back from there by the flush. Where the filesystem refuses direct
// writes (tmpfs) the same bytes go through the page cache.
class SyncedFileConsumer : public DcmConsumer {
 public:
  explicit SyncedFileConsumer(const char* path)
      : fd_(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_DIRECT, 0666)), direct_(fd_ >= 0) {
    if (fd_ < 0 && errno == EINVAL) fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) status_ = EC_InvalidFilename;
    thread_local std::unique_ptr<char, decltype(&std::free)> kept(nullptr, &std::free);
    if (!kept) {
      void* buffer = nullptr;
      if (::posix_memalign(&buffer, kAlignment, kBufferSize) == 0) kept.reset(static_cast<char*>(buffer));
    }
    buffer_ = kept.get();
    if (!buffer_) status_ = EC_MemoryExhausted;
  }
  ~SyncedFileConsumer() override {
    if (fd_ >= 0) ::close(fd_);
  }
  SyncedFileConsumer(const SyncedFileConsumer&) = delete;
  SyncedFileConsumer& operator=(const SyncedFileConsumer&) = delete;

  OFBool good() const override { return status_.good(); }
  OFCondition status() const override { return status_; }
  // What is buffered here is written by Finish.
  OFBool isFlushed() const override { return OFTrue; }
  offile_off_t avail() const override { return good() ? OFnumeric_limits<offile_off_t>::max() : 0; }
  void flush() override {}

  offile_off_t write(const void* buf, offile_off_t buflen) override {
    const char* in = static_cast<const char*>(buf);
    offile_off_t done = 0;
    while (good() && done < buflen) {
      const size_t take = std::min(size_t(buflen - done), kBufferSize - filled_);
      std::memcpy(buffer_ + filled_, in + done, take);
      filled_ += take;
      done += offile_off_t(take);
      if (filled_ == kBufferSize) WriteOut(kBufferSize);
    }
    return done;
  }

  // Writes what is left (the tail below a block through the page cache) and flushes the file.
  bool Finish() {
    WriteOut(filled_ & ~(kAlignment - 1));
    if (filled_ > 0) {
      DropDirect();
      WriteOut(filled_);
    }
    if (good() && ::fsync(fd_) != 0) status_ = EC_InvalidStream;
    return good();
  }

 private:
  static constexpr size_t kAlignment = 4096;
  static constexpr size_t kBufferSize = size_t(1) << 20;

  void DropDirect() {
    if (direct_ && ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_DIRECT) == 0) direct_ = false;
  }

  // Writes the first n buffered bytes and keeps the rest at the buffer's start.
  void WriteOut(size_t n) {
    for (size_t written = 0; good() && written < n;) {
      const ssize_t w = ::write(fd_, buffer_ + written, n - written);
      if (w > 0) {
        written += size_t(w);
      } else if (w < 0 && errno == EINVAL && direct_) {
        DropDirect();  // a filesystem that takes direct opens but not writes of this kind
        if (direct_) status_ = EC_InvalidStream;
      } else if (w == 0 || errno != EINTR) {
        status_ = EC_InvalidStream;
      }
    }
    if (!good()) return;
    std::memmove(buffer_, buffer_ + n, filled_ - n);
    filled_ -= n;
  }

  int fd_;
  bool direct_;
  char* buffer_ = nullptr;  // this thread's, kept for its next saves
  size_t filled_ = 0;
  OFCondition status_ = EC_Normal;
};

class SyncedFileStream : public DcmOutputStream {
 public:
  explicit SyncedFileStream(const char* path) : DcmOutputStream(&consumer_), consumer_(path) {}
  // A deflated save still holds its last compressed bytes in the stream's filter: they go to the
  // consumer first.
  bool Finish() {
    flush();
    return isFlushed() && consumer_.Finish();
  }

 private:
  SyncedFileConsumer consumer_;
};

// DcmFileFormat::saveFile's encoding into a new file, flushed before this returns.
bool SaveSynced(DcmFileFormat& format, const std::string& path, E_TransferSyntax xfer) {
  SyncedFileStream stream(path.c_str());
  if (stream.status().bad()) return false;
  DcmWriteCache cache;
  format.transferInit();
  OFCondition result = format.write(stream, xfer, EET_UndefinedLength, &cache, EGL_recalcGL);
  format.transferEnd();
  return result.good() && stream.Finish();
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

}  // namespace

SODcmFile::SODcmFile() : fileFormat_(new DcmFileFormat) { Rebind(); }

SODcmFile::~SODcmFile() {
  // The dataset object must not outlive the file format that owns its item.
  dataset_.Reset(nullptr, false);
}

void SODcmFile::Rebind() { dataset_.Reset(fileFormat_->getDataset(), false); }

bool SODcmFile::LoadFile(const char* path, bool loadAll) {
  if (!path || !*path) return false;
  struct stat opened {};
  std::unique_ptr<DcmFileFormat> loaded = ReadFile(path, opened);
  if (!loaded) return false;
  if (loadAll && loaded->loadAllDataIntoMemory().bad()) return false;
  fileFormat_ = std::move(loaded);
  Rebind();
  path_ = path;
  source_ = loadAll ? "" : path;
  dataset_.SetSourceFile(source_, &opened);
  return true;
}

bool SODcmFile::SaveFile(const char* path) { return SaveFile(path, true); }

bool SODcmFile::SaveFile(const char* path, bool keepTransferSyntax, bool sync) {
  if (!path || !*path) return false;
  std::lock_guard<std::recursive_mutex> guard(dataset_.Lock());
  DcmDataset* dataset = fileFormat_->getDataset();
  // Values still on disk are read from the file this object came from; when that file is about to
  // be replaced, read them now.
  if (SameFile(path, source_)) {
    if (fileFormat_->loadAllDataIntoMemory().bad()) return false;
    source_.clear();
    dataset_.SetSourceFile(source_);
  }

  E_TransferSyntax xfer = dataset->getCurrentXfer();
  if (xfer == EXS_Unknown) xfer = EXS_LittleEndianExplicit;
  if (!keepTransferSyntax && xfer != EXS_LittleEndianExplicit) {
    if (DcmXfer(xfer).isEncapsulated()) {
      RegisterDcmCodecs();
      if (dataset->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).good() &&
          dataset->canWriteXfer(EXS_LittleEndianExplicit))
        xfer = EXS_LittleEndianExplicit;
    } else {
      xfer = EXS_LittleEndianExplicit;
    }
  }

  static std::atomic<unsigned> counter{0};
  std::string target = path;
  std::string temp = target + ".part" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  bool ok = sync ? SaveSynced(*fileFormat_, temp, xfer) : fileFormat_->saveFile(temp.c_str(), xfer).good();
  std::error_code ec;
  if (ok) fs::rename(temp, target, ec);
  if (!ok || ec) {
    fs::remove(temp, ec);
    return false;
  }
  path_ = target;
  return true;
}

bool SODcmFile::ConvertToUTF8() { return dataset_.ConvertToUTF8(); }

const char* SODcmFile::GetFilePath() const { return path_.c_str(); }

SODcmDataset* SODcmFile::GetDataset() { return &dataset_; }

const SODcmDataset* SODcmFile::GetDataset() const { return &dataset_; }

DcmFileFormat* SODcmFile::GetFileFormat() const { return fileFormat_.get(); }

void SODcmFile::TakeDataset(DcmDataset* dataset) {
  if (!dataset) return;
  fileFormat_ = std::make_unique<DcmFileFormat>(dataset, OFFalse);
  Rebind();
  path_.clear();
  source_.clear();
  dataset_.SetSourceFile(source_);
}

void SODcmFile::CopyFrom(const SODcmFile& other) {
  if (&other == this) return;
  fileFormat_ = std::make_unique<DcmFileFormat>(*other.fileFormat_);
  Rebind();
  path_.clear();
  source_ = other.source_;
  dataset_.SetSourceFile(source_);
}
