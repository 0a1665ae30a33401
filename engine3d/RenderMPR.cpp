#include <algorithm>
#include <cmath>

#include "EngineMPR.h"
#include "RayCast.h"
#include "Workers.h"

struct RenderMPRState {
  V3VolumeData volume{};
  V3VolumeMark mark{};
  VolumeParam param{};
};

namespace {

// Walks the rows of a plane image, clipping each row's line to the volume, and hands the
// voxel position of every column that may be sampled to sample(pixelIndex, voxel). Rows are
// split over worker threads; each pixel is written by one of them.
template <typename Image, typename Sample>
void SampleRows(const VolumeParam& vp, const Image& image, const Sample& sample) {
  double colStepWorld[3];
  float right[3], voxelStep[3], voxelDir[3];
  for (int i = 0; i < 3; ++i) {
    right[i] = float(image.right[i]);
    colStepWorld[i] = image.right[i] * image.columnSpacing;
  }
  const float colStep[3] = {float(colStepWorld[0]), float(colStepWorld[1]), float(colStepWorld[2])};
  WorldToVoxelDir(vp, colStep, voxelStep);
  const float stepLength = Length3(voxelStep);
  if (!(stepLength > 0)) return;
  VoxelDirection(vp, right, voxelDir);
  RunWorkers(image.height, [&](int begin, int end) {
    for (int row = begin; row < end; ++row) {
      float start[3], voxelStart[3], entry[3], exit[3], t0, t1;
      for (int i = 0; i < 3; ++i) start[i] = float(image.corner[i] + image.down[i] * (row * image.rowSpacing));
      WorldToVoxel(vp, start, voxelStart);
      if (!ClipRay(vp, start, voxelStart, right, voxelDir, vp.visibleMin, vp.visibleMax, entry, &t0, exit, &t1))
        continue;
      const int first = std::max(0, int(std::ceil(t0 / stepLength)));
      const int last = std::min(int(std::floor(t1 / stepLength)), image.width - 1);
      for (int col = first; col <= last; ++col) {
        const float p[3] = {voxelStart[0] + voxelStep[0] * col, voxelStart[1] + voxelStep[1] * col,
                            voxelStart[2] + voxelStep[2] * col};
        sample(col + row * image.width, p);
      }
    }
  });
}

bool SameDims(const int32_t* a, const int32_t* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

}  // namespace

RenderMPR::RenderMPR() : m_state(new RenderMPRState) {}

RenderMPR::~RenderMPR() {
  delete m_state;
}

bool RenderMPR::InitData(const V3VolumeData& volume) {
  m_state->volume = V3VolumeData{};
  if (!IsVolumeUsable(volume)) return false;
  m_state->volume = volume;
  BuildVolumeParam(volume, m_state->param);
  return true;
}

void RenderMPR::Clear() {
  m_state->volume = V3VolumeData{};
  m_state->mark = V3VolumeMark{};
}

bool RenderMPR::GetBoundingBox(float min[3], float max[3]) {
  if (!m_state->volume.slices) return false;
  for (int i = 0; i < 3; ++i) min[i] = m_state->param.boundsMin[i], max[i] = m_state->param.boundsMax[i];
  return true;
}

V3VolumeMark* RenderMPR::GetMarkData() {
  return &m_state->mark;
}

bool RenderMPR::SetMarkData(const V3VolumeMark& mark) {
  m_state->mark = V3VolumeMark{};
  if (!mark.slices || !m_state->volume.slices || !SameDims(mark.dims, m_state->volume.dims)) return false;
  m_state->mark = mark;
  return true;
}

bool RenderMPR::GetMPRSize(const double planeDirs[6], const double origin[3], double corner[3], double& width,
                           double& height) {
  if (!m_state->volume.slices) return false;
  const double* R = planeDirs;
  const double* D = planeDirs + 3;
  double rMin = 0, rMax = 0, dMin = 0, dMax = 0;
  for (int k = 0; k < 8; ++k) {
    const float* c = m_state->param.corners[k];
    const double r = R[0] * c[0] + R[1] * c[1] + R[2] * c[2];
    const double d = D[0] * c[0] + D[1] * c[1] + D[2] * c[2];
    rMin = k ? std::min(rMin, r) : r, rMax = k ? std::max(rMax, r) : r;
    dMin = k ? std::min(dMin, d) : d, dMax = k ? std::max(dMax, d) : d;
  }
  width = rMax - rMin;
  height = dMax - dMin;
  const double oR = origin[0] * R[0] + origin[1] * R[1] + origin[2] * R[2];
  const double oD = origin[0] * D[0] + origin[1] * D[1] + origin[2] * D[2];
  for (int i = 0; i < 3; ++i) corner[i] = origin[i] - R[i] * (oR - rMin) - D[i] * (oD - dMin);
  return true;
}

bool RenderMPR::Marking(V3ImageMark* image) {
  const V3VolumeMark& mark = m_state->mark;
  if (!mark.slices || !m_state->volume.slices || !image || !image->pixels || image->width < 1 ||
      image->height < 1)
    return false;
  std::fill(image->pixels, image->pixels + int64_t(image->width) * image->height, uint8_t(0));
  SampleRows(m_state->param, *image, [&](int at, const float* p) {
    image->pixels[at] = MaskByte(mark, int(p[0] + 0.5f), int(p[1] + 0.5f), int(p[2] + 0.5f));
  });
  return true;
}

bool RenderMPR::Imaging(const V3VolumeData& volume, V3ImageVAL* image) {
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0 || !volume.slices ||
      !m_state->volume.slices || !SameDims(volume.dims, m_state->volume.dims))
    return false;
  std::fill(image->pixels, image->pixels + int64_t(image->width) * image->height, int16_t(-1024));
  SampleRows(m_state->param, *image,
             [&](int at, const float* p) { image->pixels[at] = RoundedValue(TrilinearValue(volume, p)); });
  return true;
}

bool RenderMPR::Imaging(V3ImageVAL* image) {
  return Imaging(m_state->volume, image);
}
bool RenderMPR::ImagingMIP(float, V3ImageVAL*) {
  return false;
}
bool RenderMPR::ImagingMinIP(float, V3ImageVAL*) {
  return false;
}
bool RenderMPR::ImagingAIP(float, V3ImageVAL*) {
  return false;
}
