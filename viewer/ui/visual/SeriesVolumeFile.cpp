#include "SeriesVolumeFile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <vector>

#include "IImageData.h"
#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "SOUtil.h"

namespace {

constexpr const char* kExtension = ".data";

// Series Instance UIDs become file names: digits and dots only, as DICOM writes them.
bool IsSafeUid(const char* uid) {
  static const std::regex pattern("[0-9.]{1,64}");
  return uid && std::regex_match(uid, pattern);
}

}  // namespace

std::string SeriesVolumeFile::Folder() {
  if (const char* programData = std::getenv("PROGRAMDATA"); programData && *programData)
    return std::string(programData) + "/Pravello";
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) return std::string(cache) + "/Pravello";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.cache/Pravello";
}

int SeriesVolumeFile::RemoveStale() {
  std::vector<std::string> files;
  if (!SOUtil::FindFiles(Folder().c_str(), files)) return 0;
  int removed = 0;
  for (const std::string& path : files) {
    if (path.size() < 5 || path.compare(path.size() - 5, 5, kExtension) != 0) continue;
    // A file whose owner lives is locked; one we can lock belongs to nobody any more. It is
    // unlinked while we hold it, so no new owner can slip in between.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    if (DeleteFileA(path.c_str())) ++removed;
    CloseHandle(h);
  }
  return removed;
}

SeriesVolumeFile::SeriesVolumeFile(ISODcmSeries* series) : series_(series) {
  if (!Build()) sliceTable_.reset();
  volume_.slices = sliceTable_.get();
}

SeriesVolumeFile::~SeriesVolumeFile() {
  volume_.slices = nullptr;
  sliceTable_.reset();
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  if (file_ != INVALID_HANDLE_VALUE) {
    // Unlinked before the lock goes, so the name is never free while the file is ours.
    if (!path_.empty()) DeleteFileA(path_.c_str());
    CloseHandle(file_);
  }
}

bool SeriesVolumeFile::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

std::vector<ISODcmObject*> SlicesByPosition(ISODcmSeries* series) {
  const int n = series ? series->GetObjectCount() : 0;
  ISODcmObject* first = n > 0 ? series->GetObjectAt(0) : nullptr;
  double r[6];
  if (!first || !first->GetImageOrientationPatient(r, 0)) return {};
  const double normal[3] = {r[1] * r[5] - r[2] * r[4], r[2] * r[3] - r[0] * r[5], r[0] * r[4] - r[1] * r[3]};
  std::vector<std::pair<double, ISODcmObject*>> stack;
  for (int i = 0; i < n; ++i) {
    ISODcmObject* object = series->GetObjectAt(i);
    double p[3];
    if (!object || !object->GetImagePositionPatient(p, 0)) return {};
    stack.push_back({p[0] * normal[0] + p[1] * normal[1] + p[2] * normal[2], object});
  }
  std::stable_sort(stack.begin(), stack.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<ISODcmObject*> slices;
  for (const auto& entry : stack) slices.push_back(entry.second);
  return slices;
}

bool SeriesVolumeFile::Build() {
  const int n = series_ ? series_->GetObjectCount() : 0;
  if (n < 2) return Fail("a volume needs at least two images");
  const std::vector<ISODcmObject*> slices = SlicesByPosition(series_);
  if (slices.empty()) return Fail("the images carry no position, orientation or pixel spacing");
  ISODcmObject* first = slices[0];
  ISODcmObject* second = slices[1];
  const int rows = first->GetRows();
  const int columns = first->GetColumns();
  if (rows <= 0 || columns <= 0) return Fail("the first image has no size");
  // Every slice is copied at the first one's size: a smaller one would be read past its end.
  for (int i = 1; i < n; ++i) {
    ISODcmObject* object = slices[i];
    if (!object || object->GetRows() != rows || object->GetColumns() != columns)
      return Fail("the images of the series differ in size");
  }
  double spacing[2], orientation[6], p0[3], p1[3];
  if (!first->GetPixelSpacing(spacing, 0) || !first->GetImageOrientationPatient(orientation, 0) ||
      !first->GetImagePositionPatient(p0, 0) || !second->GetImagePositionPatient(p1, 0))
    return Fail("the images carry no position, orientation or pixel spacing");
  const double d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
  const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!std::isfinite(distance) || distance <= 0 || !std::isfinite(spacing[0]) || !std::isfinite(spacing[1]) ||
      spacing[0] <= 0 || spacing[1] <= 0)
    return Fail("the slice spacing is zero or not a number");

  volume_.dims[0] = columns;
  volume_.dims[1] = rows;
  volume_.dims[2] = n;
  volume_.spacing[0] = static_cast<float>(spacing[1]);
  volume_.spacing[1] = static_cast<float>(spacing[0]);
  volume_.spacing[2] = static_cast<float>(distance);
  for (int k = 0; k < 3; ++k) volume_.origin[k] = static_cast<float>(p0[k]);
  for (int k = 0; k < 6; ++k) volume_.orientation[k] = static_cast<float>(orientation[k]);
  for (int k = 0; k < 3; ++k) volume_.orientation[6 + k] = static_cast<float>(d[k] / distance);

  const char* uid = first->GetSeriesInstanceUID();
  if (!IsSafeUid(uid)) return Fail("the Series Instance UID is not a valid UID");
  const std::string folder = Folder();
  if (!SOUtil::CreateDir(folder.c_str())) return Fail("cannot create " + folder);
  const std::string path = folder + "/" + uid + kExtension;
  file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return Fail("the volume file is in use or cannot be created: " + path);
  path_ = path;
  const uint64_t sliceValues = uint64_t(rows) * uint64_t(columns);
  const uint64_t bytes = sliceValues * uint64_t(n) * 2;
  mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                static_cast<DWORD>(bytes & 0xFFFFFFFFu), nullptr);
  if (!mapping_) return Fail("cannot size the volume file (disk full?)");
  view_ = static_cast<int16_t*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view_) return Fail("cannot map the volume file");

  // The series may have changed while the file was made.
  if (series_->GetObjectCount() != n) return Fail("the series changed while its volume was built");
  sliceTable_ = std::make_unique<int16_t*[]>(n);
  for (int i = 0; i < n; ++i) {
    int16_t* slice = view_ + sliceValues * uint64_t(i);
    IImageData* image = slices[i]->GetImageData();
    if (!image || !image->CopyFramePixelData(slice, static_cast<unsigned>(sliceValues), 0))
      return Fail("image " + std::to_string(i + 1) + " of the series has no readable pixels");
    // Modality values, as in the displayed volume.
    ISODcmObject* object = slices[i];
    const double slope = object->GetRescaleSlope(), intercept = object->GetRescaleIntercept();
    if (slope != 1.0 || intercept != 0.0)
      for (uint64_t k = 0; k < sliceValues; ++k)
        slice[k] = static_cast<int16_t>(std::clamp(std::round(slice[k] * slope + intercept), -32768.0, 32767.0));
    sliceTable_[i] = slice;
  }
  return true;
}
