#include "EngineMPR.h"

#include <algorithm>
#include <cmath>

#include "VolumeRecords.h"

namespace {

// right then down of the axial, sagittal and coronal planes.
constexpr double kStandardFrames[3][6] = {{1, 0, 0, 0, 1, 0}, {0, 1, 0, 0, 0, -1}, {1, 0, 0, 0, 0, -1}};

// A plane side beyond this is a caller's error, not a request.
constexpr double kMaxPlaneSide = 16384;

template <typename Plane, typename Image>
void ImageOverPlane(Plane& plane, Image& image) {
  image.pixels = plane.data.data;
  image.width = plane.columns;
  image.height = plane.rows;
  image.rowSpacing = plane.spacing[0];
  image.columnSpacing = plane.spacing[1];
  std::copy(plane.right, plane.right + 3, image.right);
  std::copy(plane.down, plane.down + 3, image.down);
  std::copy(plane.corner, plane.corner + 3, image.corner);
}

// Pixels needed to cover a length at spacing s; false for a NaN, negative or huge length.
bool PixelCount(double length, double s, int* n) {
  if (!(length >= 0) || !(length / s <= kMaxPlaneSide)) return false;
  *n = int(std::ceil(length / s));
  return true;
}

}  // namespace

struct EngineMPRState {
  V3VolumeData volume{};
  RenderMPR sampler;
  double origin[3] = {0, 0, 0};
  double frames[3][6];
  float minSpacing = 1;
};

EngineMPR::EngineMPR() : m_state(new EngineMPRState) {
  std::copy(&kStandardFrames[0][0], &kStandardFrames[0][0] + 18, &m_state->frames[0][0]);
}

EngineMPR::~EngineMPR() = default;

bool EngineMPR::InitData(const V3VolumeData& volume) {
  EngineMPRState& s = *m_state;
  std::copy(&kStandardFrames[0][0], &kStandardFrames[0][0] + 18, &s.frames[0][0]);
  if (!s.sampler.InitData(volume)) {
    s.volume = V3VolumeData{};
    return false;
  }
  s.volume = volume;
  s.minSpacing = std::min({volume.spacing[0], volume.spacing[1], volume.spacing[2]});
  float lo[3], hi[3];
  s.sampler.GetBoundingBox(lo, hi);
  const double center[3] = {(double(lo[0]) + hi[0]) / 2, (double(lo[1]) + hi[1]) / 2,
                            (double(lo[2]) + hi[2]) / 2};
  SetOrigin(center);
  return true;
}

void EngineMPR::Clear() {
  m_state->volume = V3VolumeData{};
  m_state->sampler.Clear();
}

bool EngineMPR::SetMarkData(const V3VolumeMark& mark) {
  return m_state->sampler.SetMarkData(mark);
}

bool EngineMPR::GetOrigin(double origin[3]) {
  std::copy(m_state->origin, m_state->origin + 3, origin);
  return true;
}

bool EngineMPR::SetOrigin(const double origin[3]) {
  std::copy(origin, origin + 3, m_state->origin);
  return true;
}

template <typename Plane>
bool EngineMPR::StandardFrame(V3MPRType type, Plane* image) {
  EngineMPRState& s = *m_state;
  if (!image || !s.volume.slices || type < 0 || type > 2) return false;
  const double* dirs = s.frames[type];
  double corner[3], width, height;
  if (!s.sampler.GetMPRSize(dirs, s.origin, corner, width, height)) return false;
  int rows, columns;
  if (!PixelCount(height, s.minSpacing, &rows) || !PixelCount(width, s.minSpacing, &columns)) return false;
  if (!image->Resize(rows, columns)) return false;
  image->spacing[0] = image->spacing[1] = s.minSpacing;
  std::copy(dirs, dirs + 3, image->right);
  std::copy(dirs + 3, dirs + 6, image->down);
  std::copy(corner, corner + 3, image->corner);
  return true;
}

bool EngineMPR::PlaneFrame(const V3SliceParam& plane, V3ImageData* image) {
  EngineMPRState& s = *m_state;
  if (!image || !s.volume.slices) return false;
  int n;
  if (!(plane.fieldOfView > 0) || !PixelCount(plane.fieldOfView, s.minSpacing, &n)) return false;
  if (!image->Resize(n, n)) return false;
  image->spacing[0] = image->spacing[1] = s.minSpacing;
  std::copy(plane.right, plane.right + 3, image->right);
  std::copy(plane.down, plane.down + 3, image->down);
  std::copy(plane.corner, plane.corner + 3, image->corner);
  return true;
}

bool EngineMPR::Marking(V3MPRType type, V3MarkData* mark) {
  if (!StandardFrame(type, mark)) return false;
  V3ImageMark image{};
  ImageOverPlane(*mark, image);
  return m_state->sampler.Marking(&image);
}

bool EngineMPR::Imaging(V3SliceParam plane, V3ImageData* image) {
  if (!PlaneFrame(plane, image)) return false;
  V3ImageVAL val{};
  ImageOverPlane(*image, val);
  return m_state->sampler.Imaging(&val);
}

bool EngineMPR::Imaging(V3MPRType type, const V3VolumeData& volume, V3ImageData* image) {
  if (!StandardFrame(type, image)) return false;
  V3ImageVAL val{};
  ImageOverPlane(*image, val);
  return m_state->sampler.Imaging(volume, &val);
}

bool EngineMPR::Imaging(V3MPRType type, V3ImageData* image) {
  return Imaging(type, m_state->volume, image);
}

bool EngineMPR::ImagingMIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  if (!PlaneFrame(plane, image)) return false;
  return m_state->sampler.ImagingMIP(thickness, nullptr);
}

bool EngineMPR::ImagingMIP(V3MPRType type, float, V3ImageData* image) {
  StandardFrame(type, image);
  return false;
}

bool EngineMPR::ImagingMinIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  if (!PlaneFrame(plane, image)) return false;
  return m_state->sampler.ImagingMinIP(thickness, nullptr);
}

bool EngineMPR::ImagingMinIP(V3MPRType, float, V3ImageData*) {
  return false;
}

bool EngineMPR::ImagingAIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  if (!PlaneFrame(plane, image)) return false;
  return m_state->sampler.ImagingAIP(thickness, nullptr);
}

bool EngineMPR::ImagingAIP(V3MPRType, float, V3ImageData*) {
  return false;
}
