#pragma once

// One phase of a 4D study as a 16-bit volume kept in a mapped file, not on the heap: the
// slices of the series, rows x columns little-endian values each, one after another. The file
// lives exactly as long as this object and is held exclusively, so a second object for the
// same series gets no slices instead of truncating the first one's live mapping.

#include <memory>
#include <string>
#include <vector>

#include "SOWin32.h"
#include "V3VolumeData.h"

class ISODcmObject;
class ISODcmSeries;

// The series' images in the order of their positions along the first one's normal (instance
// numbers need not follow them); empty when an image, its position or orientation is missing.
std::vector<ISODcmObject*> SlicesByPosition(ISODcmSeries* series);

class SeriesVolumeFile {
 public:
  explicit SeriesVolumeFile(ISODcmSeries* series);
  ~SeriesVolumeFile();
  SeriesVolumeFile(const SeriesVolumeFile&) = delete;
  SeriesVolumeFile& operator=(const SeriesVolumeFile&) = delete;

  // "$PROGRAMDATA/Pravello" when PROGRAMDATA is set, else the user's cache folder.
  static std::string Folder();
  // Deletes the volume files left in Folder() by a run that crashed (those nobody holds);
  // returns how many went.
  static int RemoveStale();

  ISODcmSeries* GetSeries() const { return series_; }
  const std::string& GetPath() const { return path_; }
  // Slices are null when the series could not become a volume; GetError says why.
  const V3VolumeData& GetVolume() const { return volume_; }
  bool HasSlices() const { return volume_.slices != nullptr; }
  const std::string& GetError() const { return error_; }

 private:
  bool Build();
  bool Fail(std::string why);

  std::string path_;  // empty when no file was made
  ISODcmSeries* series_;
  V3VolumeData volume_{};
  std::unique_ptr<int16_t*[]> sliceTable_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  int16_t* view_ = nullptr;
  std::string error_;
};
