#include "VisualVolume.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "IImageData.h"
#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "ISOGraphic.h"
#include "ISOImageObject.h"

namespace {

bool Finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// The geometry shared by both kinds of volume: in-plane spacing from one image, the slice step
// from the positions of the first two slices.
bool FillGeometry(V3VolumeData& v, int columns, int rows, int slices, const double spacing[2],
                  const double orientation[6], const double p0[3], const double p1[3]) {
  const double d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
  const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!std::isfinite(distance) || distance <= 0 || !Finite(spacing, 2) || spacing[0] <= 0 || spacing[1] <= 0 ||
      !Finite(orientation, 6) || !Finite(p0, 3))
    return false;
  v.dims[0] = columns;
  v.dims[1] = rows;
  v.dims[2] = slices;
  v.spacing[0] = static_cast<float>(spacing[1]);
  v.spacing[1] = static_cast<float>(spacing[0]);
  v.spacing[2] = static_cast<float>(distance);
  for (int k = 0; k < 3; ++k) v.origin[k] = static_cast<float>(p0[k]);
  for (int k = 0; k < 6; ++k) v.orientation[k] = static_cast<float>(orientation[k]);
  for (int k = 0; k < 3; ++k) v.orientation[6 + k] = static_cast<float>(d[k] / distance);
  return true;
}

// Stored values into modality values (HU for CT), which the palettes, presets and windows use.
void Rescale(int16_t* values, size_t count, double slope, double intercept) {
  if (slope == 1.0 && intercept == 0.0) return;
  for (size_t i = 0; i < count; ++i) {
    const double v = std::round(values[i] * slope + intercept);
    values[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
  }
}

bool Identity(ISODcmObject* object) {
  return object->GetRescaleSlope() == 1.0 && object->GetRescaleIntercept() == 0.0;
}

}  // namespace

VisualVolume::~VisualVolume() {
  Release();
  ReleasePhases();
}

bool VisualVolume::Fail(std::string why) {
  error_ = std::move(why);
  volume_ = V3VolumeData{};
  sliceTable_.clear();
  voxels_.clear();
  return false;
}

void VisualVolume::Release() {
  volume_ = V3VolumeData{};
  sliceTable_.clear();
  voxels_.clear();
  voxels_.shrink_to_fit();
}

bool VisualVolume::Build(ISODcmSeries* series) {
  Release();
  error_.clear();
  const int n = series ? series->GetObjectCount() : 0;
  if (n == 0) return Fail("the series has no images");
  ISODcmObject* first = series->GetObjectAt(0);
  if (!first) return Fail("the series has missing images");
  const int rows = first->GetRows(), columns = first->GetColumns();
  if (rows <= 0 || columns <= 0) return Fail("the first image has no size");
  const size_t sliceValues = size_t(rows) * columns;
  double spacing[2], orientation[6], p0[3], p1[3];

  if (n == 1) {
    int frames = 0;
    if (!first->GetFrameNumber(frames) || frames < 2) return Fail("a single image needs two frames or more");
    if (!first->GetImagePositionPatient(p0, 0) || !first->GetImagePositionPatient(p1, 1) ||
        !first->GetImageOrientationPatient(orientation, 0) || !first->GetPixelSpacing(spacing, 0))
      return Fail("the frames carry no position, orientation or pixel spacing");
    if (!FillGeometry(volume_, columns, rows, frames, spacing, orientation, p0, p1))
      return Fail("the slice spacing is zero or not a number");
    IImageData* image = first->GetImageData();
    if (!image || image->GetRows() != rows || image->GetColumns() != columns) return Fail("the image has no pixels");
    voxels_.assign(sliceValues * frames, 0);
    sliceTable_.resize(frames);
    for (int i = 0; i < frames; ++i) {
      sliceTable_[i] = voxels_.data() + sliceValues * i;
      if (!image->CopyFramePixelData(sliceTable_[i], static_cast<unsigned>(sliceValues), i))
        return Fail("frame " + std::to_string(i + 1) + " has no readable pixels");
      Rescale(sliceTable_[i], sliceValues, first->GetRescaleSlope(), first->GetRescaleIntercept());
    }
  } else {
    // The slices stack along the normal by position: instance numbers need not follow it.
    const std::vector<ISODcmObject*> stack = SlicesByPosition(series);
    if (stack.empty() || !first->GetPixelSpacing(spacing, 0) || !first->GetImageOrientationPatient(orientation, 0))
      return Fail("the images carry no position, orientation or pixel spacing");
    stack[0]->GetImagePositionPatient(p0, 0);
    stack[1]->GetImagePositionPatient(p1, 0);
    if (!FillGeometry(volume_, columns, rows, n, spacing, orientation, p0, p1))
      return Fail("the slice spacing is zero or not a number");
    sliceTable_.resize(n);
    for (int i = 0; i < n; ++i) {
      ISODcmObject* object = stack[i];
      // The engines read every slice at the first one's size.
      if (!object || object->GetRows() != rows || object->GetColumns() != columns)
        return Fail("the images of the series differ in size");
      IImageData* image = object->GetImageData();
      if (!image || image->GetRows() != rows || image->GetColumns() != columns ||
          !(sliceTable_[i] = image->GetFramePixelData(0)))
        return Fail("image " + std::to_string(i + 1) + " has no readable pixels");
    }
    // Frames are lent as they are when they already hold modality values; else the volume is a
    // rescaled copy.
    bool identity = true;
    for (int i = 0; i < n && identity; ++i) identity = Identity(stack[i]);
    if (!identity) {
      voxels_.resize(sliceValues * n);
      for (int i = 0; i < n; ++i) {
        int16_t* slice = voxels_.data() + sliceValues * i;
        std::copy_n(sliceTable_[i], sliceValues, slice);
        ISODcmObject* object = stack[i];
        Rescale(slice, sliceValues, object->GetRescaleSlope(), object->GetRescaleIntercept());
        sliceTable_[i] = slice;
      }
    }
  }
  volume_.slices = sliceTable_.data();
  return true;
}

std::vector<V3VolumeData> VisualVolume::BuildPhases(ISODcmStudy* study) {
  std::vector<V3VolumeData> volumes;
  if (!study) return volumes;
  for (int i = 0; i < study->GetSeriesCount(); ++i) {
    auto phase = std::make_unique<SeriesVolumeFile>(study->GetSeriesAt(i));
    if (!phase->HasSlices()) continue;
    const V3VolumeData& v = phase->GetVolume();
    if (v.dims[0] != volume_.dims[0] || v.dims[1] != volume_.dims[1] || v.dims[2] != volume_.dims[2]) continue;
    volumes.push_back(v);
    phases_.push_back(std::move(phase));
  }
  return volumes;
}

void VisualVolume::ReleasePhases() { phases_.clear(); }

std::vector<V3SliceParam> VisualVolume::SlabPlanes(ISOImageObject* image, float& thickness, ISOGraphic* skip) {
  thickness = 1.0f;
  std::vector<V3SliceParam> planes;
  ISOGraphicMgr* graphics = image ? image->GetGraphicMgr() : nullptr;
  if (!graphics) return planes;
  for (int g = 0; g < graphics->GetCount(); ++g) {
    ISOGraphic* graphic = graphics->GetGraphicAt(g);
    if (!graphic || graphic == skip || !graphic->CheckType("SLICES")) continue;
    const SOGraphicValues& s = graphic->GetData()->values;
    double u[3], v[3];
    std::memcpy(u, s.lineDirection, sizeof u);
    std::memcpy(v, s.planeNormal, sizeof v);
    if (std::abs(v[0]) > std::abs(u[0])) std::swap(u, v);
    if (u[0] < 0)
      for (double& x : u) x = -x;
    if ((std::abs(v[1]) > std::abs(v[2]) && v[1] < 0) || (std::abs(v[1]) <= std::abs(v[2]) && v[2] > 0))
      for (double& x : v) x = -x;
    const int half = s.fov / 2;
    for (int j = 0; j < s.lineCount; ++j) {
      V3SliceParam p{};
      for (int k = 0; k < 3; ++k) {
        p.corner[k] = s.slabCenter[k] - u[k] * half - v[k] * half + s.stepDirection[k] * s.spacing * j;
        p.right[k] = u[k];
        p.down[k] = v[k];
      }
      p.fieldOfView = s.fov;
      planes.push_back(p);
    }
    thickness = static_cast<float>(s.thickness);
  }
  return planes;
}

int VisualVolume::AddSlices(ISOImageObject* image, int count) {
  ISOGraphicMgr* graphics = image ? image->GetGraphicMgr() : nullptr;
  if (!graphics || count < 1) return -1;
  const int rows = image->GetRows(), cols = image->GetColumns();
  const int step = (rows / 6) * 4 / count;
  ISOGraphic* firstAdded = nullptr;
  for (int i = 0, y = rows / 6; i < count; ++i, y += step) {
    ISOGraphic* g = graphics->AddSlices(SOPointF{float(cols / 2), float(y)}, false);
    if (!firstAdded) firstAdded = g;
  }
  if (!firstAdded) return -1;
  const int index = graphics->GetGraphicIndex(firstAdded);
  graphics->SetSelectedAt(index);
  return index;
}

bool VisualVolume::AddSlices(ISOImageObject* image, const std::vector<std::string>& labels) {
  ISOGraphicMgr* graphics = image ? image->GetGraphicMgr() : nullptr;
  const int n = static_cast<int>(labels.size());
  if (!graphics || n < 1) return false;
  const int rows = image->GetRows(), cols = image->GetColumns();
  const int step = (rows / 6) * 4 / n;
  bool added = false;
  for (int i = 0, y = rows / 6; i < n; ++i, y += step)
    if (ISOGraphic* g = graphics->AddSlices(SOPointF{float(cols / 2), float(y)}, true)) {
      g->SetTitle(labels[i].c_str());
      added = true;
    }
  return added;
}

bool VisualVolume::ColorPreset(int preset, V3Palette& palette) {
  static const std::vector<V3PalettePoint> kPresets[4] = {
      {{145, 0xFF1111, 0.05f}, {264, 0xFFFF75, 0.17f}, {336, 0xFFFFFF, 0.28f}, {1448, 0xFFF5F5, 0.62f}},
      {{-322, 0xFF0000, 0.0f}, {-172, 0xFFAD5B, 0.265487f}, {-57, 0xFFFFFF, 1.0f}, {1878, 0xFFFFFF, 1.0f}},
      {{-829, 0xFF0000, 0.0f}, {-636, 0xFFFFFF, 0.168142f}, {-450, 0x800080, 0.0f}},
      {{-586, 0xFFFFFF, 0.0f},
       {-500, 0xFFFFFF, 0.238938f},
       {-400, 0xFFFFFF, 0.0f},
       {150, 0xFF0000, 0.0f},
       {278, 0xFFD732, 0.690265f},
       {378, 0xFFFFFF, 0.982301f},
       {1443, 0xFFFFFF, 0.99115f}},
  };
  if (preset < 0 || preset > 3) return false;
  palette = V3Palette{};
  const auto& points = kPresets[preset];
  palette.points.Resize(static_cast<uint32_t>(points.size()));
  std::copy(points.begin(), points.end(), palette.points.data);
  return true;
}
