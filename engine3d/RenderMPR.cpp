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

constexpr int kRowBand = 16;

// Walks the rows of a plane image, clipping each row's line to the volume, and hands each row
// to sampleRow(row, first, last, voxelStart, voxelStep): columns first..last may be sampled, at
// voxelStart + voxelStep * column. Rows are split over worker threads in bands of neighbouring
// rows: on a plane across the slices (sagittal, coronal, oblique) a row reads two slices and its
// neighbour one of them again, so a band keeps them in one core's cache. Each pixel is written
// by one thread.
template <typename Image, typename SampleRow>
void SampleRows(const VolumeParam& vp, const Image& image, const SampleRow& sampleRow) {
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
      sampleRow(row, first, last, voxelStart, voxelStep);
    }
  }, kRowBand);
}

// Hands the voxel position of every sampled column of a row to sample(column, voxel).
template <typename Sample>
void SampleColumns(int first, int last, const float* start, const float* step, const Sample& sample) {
  for (int col = first; col <= last; ++col) {
    const float p[3] = {start[0] + step[0] * col, start[1] + step[1] * col, start[2] + step[2] * col};
    sample(col, p);
  }
}

// Trilinear values of a row's columns first..last into out[column]. A row that moves along
// voxel x or y only (the standard planes) finds its slices and fixed fractions once; the
// arithmetic per value is that of TrilinearValue, so the values are the same.
void SampleRowValues(const V3VolumeData& v, int first, int last, const float* start, const float* step,
                     int16_t* out) {
  const bool alongX = step[1] == 0 && step[2] == 0, alongY = step[0] == 0 && step[2] == 0;
  if (!alongX && !alongY) {
    SampleColumns(first, last, start, step,
                  [&](int col, const float* p) { out[col] = RoundedValue(TrilinearValue(v, p)); });
    return;
  }
  const int w = v.dims[0];
  const int a = alongX ? 0 : 1;  // the moving axis
  const int fixedX = int(start[0]), fixedY = int(start[1]), z0 = int(start[2]);
  const int z1 = z0 + 1 < v.dims[2] - 1 ? z0 + 1 : v.dims[2] - 1;
  TrilinearCell c;
  c.fx = start[0] - float(fixedX), c.fy = start[1] - float(fixedY), c.fz = start[2] - float(z0);
  const int16_t* base0 = v.slices[z0] + (alongX ? fixedY * w : fixedX);
  const int16_t* base1 = v.slices[z1] + (alongX ? fixedY * w : fixedX);
  float& fraction = alongX ? c.fx : c.fy;
  const int stride = alongX ? 1 : w;
  if (step[a] == floorf(step[a]) && start[a] == floorf(start[a]) && fabsf(step[a] * float(last)) < 1e6f) {
    // Whole voxels along the row: the moving fraction is 0, and interpolating across it with
    // a 0 weight gives the value on this side exactly, so only those voxels are read.
    const int i0 = int(start[a]), di = int(step[a]);
    const int across = alongX ? w : 1;  // the other in-plane corner
    const float fz = c.fz, other = alongX ? c.fy : c.fx;
    auto values = [&](int unit, int move) {
      for (int col = first; col <= last; ++col) {
        const int at = (i0 + move * col) * unit;
        const int l0 = base0[at], l1 = base0[at + across], u0 = base1[at], u1 = base1[at + across];
        const float near = l0 + (u0 - l0) * fz, far = l1 + (u1 - l1) * fz;
        out[col] = RoundedValue(near + (far - near) * other);
      }
    };
    // A row lying on a slice: with fz 0 the upper slice adds exactly nothing, so it is not read
    // (rows across slices otherwise read a cache line of each slice per value).
    auto valuesOnSlice = [&](int unit, int move) {
      for (int col = first; col <= last; ++col) {
        const int at = (i0 + move * col) * unit;
        const float l0 = base0[at], l1 = base0[at + across];
        out[col] = RoundedValue(l0 + (l1 - l0) * other);
      }
    };
    // A constant 1 lets the compiler vectorise the common axial and coronal rows.
    if (stride == 1 && di == 1)
      values(1, 1);
    else if (fz == 0)
      valuesOnSlice(stride, di);
    else
      values(stride, di);
    return;
  }
  for (int col = first; col <= last; ++col) {
    const float p = start[a] + step[a] * col;
    const int i = int(p);
    fraction = p - float(i);
    const int16_t* s0 = base0 + i * stride;
    const int16_t* s1 = base1 + i * stride;
    c.lower[0] = s0[0], c.lower[1] = s0[1], c.lower[2] = s0[w], c.lower[3] = s0[w + 1];
    c.upper[0] = s1[0], c.upper[1] = s1[1], c.upper[2] = s1[w], c.upper[3] = s1[w + 1];
    out[col] = RoundedValue(InterpolateCell(c));
  }
}

bool SameDims(const int32_t* a, const int32_t* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

}  // namespace

RenderMPR::RenderMPR() : m_state(new RenderMPRState) {}

RenderMPR::~RenderMPR() = default;

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
  SampleRows(m_state->param, *image, [&](int row, int first, int last, const float* start, const float* step) {
    uint8_t* out = image->pixels + int64_t(row) * image->width;
    SampleColumns(first, last, start, step, [&](int col, const float* p) {
      out[col] = MaskByte(mark, int(p[0] + 0.5f), int(p[1] + 0.5f), int(p[2] + 0.5f));
    });
  });
  return true;
}

bool RenderMPR::Imaging(const V3VolumeData& volume, V3ImageVAL* image) {
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0 || !volume.slices ||
      !m_state->volume.slices || !SameDims(volume.dims, m_state->volume.dims))
    return false;
  std::fill(image->pixels, image->pixels + int64_t(image->width) * image->height, int16_t(-1024));
  SampleRows(m_state->param, *image, [&](int row, int first, int last, const float* start, const float* step) {
    SampleRowValues(volume, first, last, start, step, image->pixels + int64_t(row) * image->width);
  });
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
