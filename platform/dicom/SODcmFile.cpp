#include "SODcmFile.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "DcmInternal.h"

namespace fs = std::filesystem;

namespace {

// Values above this many bytes stay on disk until they are asked for.
constexpr Uint32 kMaxReadLength = 4096;

bool SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
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
  auto loaded = std::make_unique<DcmFileFormat>();
  if (loaded->loadFile(path, EXS_Unknown, EGL_noChange, kMaxReadLength, ERM_autoDetect).bad()) return false;
  if (loadAll && loaded->loadAllDataIntoMemory().bad()) return false;
  fileFormat_ = std::move(loaded);
  Rebind();
  path_ = path;
  source_ = loadAll ? "" : path;
  dataset_.SetSourceFile(source_);
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
  bool ok = fileFormat_->saveFile(temp.c_str(), xfer).good() && (!sync || SyncFile(temp));
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
