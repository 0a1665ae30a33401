#pragma once

// The data side of the 3D/MPR control: the volume of its first series, the phase volumes of a 4D
// load, the oblique planes made from the slab lines of an MPR image, slab lines added from the
// host, and the built-in colour palettes. UI thread only, except Build, which the control runs on
// its build thread while the UI thread leaves the volume alone.

#include <memory>
#include <string>
#include <vector>

#include "SeriesVolumeFile.h"
#include "V3VolumeData.h"

class ISODcmSeries;
class ISODcmStudy;
class ISOGraphic;
class ISOImageObject;

class VisualVolume {
 public:
  VisualVolume() = default;
  ~VisualVolume();
  VisualVolume(const VisualVolume&) = delete;
  VisualVolume& operator=(const VisualVolume&) = delete;

  // One multi-frame object gives a copy of its frames; two objects or more give their frames'
  // own pixels, in the series' order. Refused (GetError says why): fewer than two slices, slices
  // of differing size, unreadable pixels or geometry, a zero or non-finite spacing.
  bool Build(ISODcmSeries* series);
  // Frees the volume and its copy; the phase volumes stay (ReleasePhases).
  void Release();
  const V3VolumeData& GetVolume() const { return volume_; }
  bool HasVolume() const { return volume_.slices != nullptr; }
  const std::string& GetError() const { return error_; }

  // One mapped volume per series of the study whose size matches the volume's; the others are
  // left out. Returns the volumes handed to the background builders (valid until ReleasePhases).
  std::vector<V3VolumeData> BuildPhases(ISODcmStudy* study);
  // Deletes the phase volumes and their files; the background builders must be idle.
  void ReleasePhases();
  int GetPhaseCount() const { return static_cast<int>(phases_.size()); }

  // The square planes of side FOV through every line of the image's slab graphics, and the
  // thickness of the last slab graphic (1.0 without one). skip, when given, is left out (a
  // graphic about to be deleted).
  static std::vector<V3SliceParam> SlabPlanes(ISOImageObject* image, float& thickness, ISOGraphic* skip = nullptr);
  // Adds count slab graphics spread down the middle of the image; the index of the first one,
  // selected, or -1 when nothing was added.
  static int AddSlices(ISOImageObject* image, int count);
  // One slab graphic per label, titled with it; false when nothing was added.
  static bool AddSlices(ISOImageObject* image, const std::vector<std::string>& labels);
  // Built-in palettes 0 to 3; false for any other number.
  static bool ColorPreset(int preset, V3Palette& palette);

 private:
  bool Fail(std::string why);

  V3VolumeData volume_{};
  std::vector<int16_t*> sliceTable_;
  std::vector<int16_t> voxels_;  // only for a single multi-frame object
  std::vector<std::unique_ptr<SeriesVolumeFile>> phases_;
  std::string error_;
};
