#include "Engine3D.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "Camera.h"
#include "Cuda3D.h"
#include "PaletteTables.h"
#include "Render3D.h"
#include "Workers.h"

namespace {

const V3PalettePoint kDefaultPoints[] = {
    {145, 0xFF1111, 0.05f}, {264, 0xFFFF75, 0.17f}, {336, 0xFFFFFF, 0.28f}, {1448, 0xFFF5F5, 0.62f}};

// A plane image larger than this is a caller's error, not a request.
constexpr double kMaxPlaneSide = 16384;

template <typename Image>
void FrameFromCamera(const Camera& camera, double width, double height, int rows, int columns, Image& image) {
  image.width = columns;
  image.height = rows;
  image.rowSpacing = height / rows;
  image.columnSpacing = width / columns;
  camera.GetScreenCorner(width, height, image.corner);
  camera.GetRightVector(image.right);
  camera.GetDownVector(image.down);
}

}  // namespace

struct Engine3DState {
  Cuda3D gpu;
  bool gpuEnabled = false;
  bool gpuReady = false;
  Render3D cpu;
  OrthographicCamera ortho;
  PerspectiveCamera perspective;
  Camera* camera = &ortho;
  V3Render renderType = V3RENDER_VR;
  float viewAngle = 45.0f;
  V3VolumeData volume{};
  VolumePalette palette{};
  V3Palette user;
  V3VolumeMark mask{};
  std::vector<uint8_t> maskVoxels;
  std::vector<uint8_t*> maskSlices;
  VolumeParam param{};
  std::vector<V3VolumeData> attached;
  // Renderer settings kept here so that a late GPU upload gets them too.
  bool anatomicalEnabled = false;
  V3AnatomicalPlane anatomicalPlane = V3PLANE_AXIAL;
  V3AnatomicalPart anatomicalPart = V3PART_LOWER;
  bool anatomicalCenterSet = false;
  float anatomicalCenter[3] = {0, 0, 0};

  // A GPU that fails an update is dropped; the CPU renders until the next upload.
  void HandPalette() {
    cpu.SetPalette(palette);
    if (gpuReady && !gpu.SetPalette(palette)) DropGpu();
  }
  void HandMask() {
    cpu.SetVolumeMark(mask);
    if (gpuReady && !gpu.SetVolumeMark(mask)) DropGpu();
  }
  void DropGpu() {
    gpuReady = false;
    gpu.Clear();
  }
};

Engine3D::Engine3D() : m_state(new Engine3DState) {}

Engine3D::~Engine3D() {
  Clear();
}

void Engine3D::Clear() {
  Engine3DState& s = *m_state;
  s.gpuReady = false;
  s.gpu.Clear();
  s.cpu.Clear();
  s.volume = V3VolumeData{};
  s.attached.clear();
  FreeVolumePalette(s.palette);
  s.mask = V3VolumeMark{};
  s.maskVoxels = {};
  s.maskSlices = {};
}

bool Engine3D::InitData(const V3VolumeData& volume) {
  Clear();
  if (!IsVolumeUsable(volume)) return false;
  Engine3DState& s = *m_state;
  const size_t slice = size_t(volume.dims[0]) * size_t(volume.dims[1]);
  try {
    s.maskVoxels.assign(slice * size_t(volume.dims[2]), 0);
    s.maskSlices.resize(size_t(volume.dims[2]));
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  for (int z = 0; z < volume.dims[2]; ++z) s.maskSlices[z] = s.maskVoxels.data() + slice * z;
  s.volume = volume;
  s.mask.slices = s.maskSlices.data();
  for (int i = 0; i < 3; ++i) s.mask.dims[i] = volume.dims[i];

  V3Palette defaults;
  defaults.points.Resize(4);
  std::copy(std::begin(kDefaultPoints), std::end(kDefaultPoints), defaults.points.data);
  UpateVolumePalette(defaults, 0);
  BuildVolumeParam(volume, s.param);

  double d2 = 0;
  double center[3];
  for (int i = 0; i < 3; ++i) {
    center[i] = (double(s.param.boundsMin[i]) + s.param.boundsMax[i]) / 2;
    const double e = double(s.param.boundsMax[i]) - s.param.boundsMin[i];
    d2 += e * e;
  }
  const double D = std::sqrt(d2);
  const CameraVector c{center[0], center[1], center[2]};
  const CameraVector eye{c.x, c.y - 1.2 * D, c.z};
  s.ortho.SetPosition(eye);
  s.ortho.SetFocalPoint(c);
  s.ortho.SetViewport(float(D), float(D));
  s.ortho.RotateToY();
  s.perspective.SetPosition(c);
  s.perspective.RotateToZ();
  s.perspective.RotateToBack();

  // The CPU renderer refuses only when its octree cannot be allocated.
  if (!s.cpu.InitData(s.volume, s.mask, s.palette)) {
    Clear();
    return false;
  }
  if (s.gpuEnabled) {
    s.gpuReady = s.gpu.InitData(s.volume, s.mask, s.palette);
    if (s.gpuReady) PushRenderState();
  }
  return true;
}

bool Engine3D::GetVolumeData(V3VolumeData& volume) {
  if (!m_state->volume.slices) return false;
  volume = m_state->volume;
  return true;
}

bool Engine3D::SupportGPU() {
  return m_state->gpu.SupportCuda();
}

bool Engine3D::SetGPUEnabled(bool enabled) {
  Engine3DState& s = *m_state;
  if (enabled == s.gpuEnabled) return true;
  s.gpuEnabled = enabled;
  if (enabled && !s.gpu.SupportCuda()) {
    s.gpuEnabled = false;
    return false;
  }
  return true;
}

bool Engine3D::IsGPUEnabled() {
  return m_state->gpuEnabled;
}

void Engine3D::SetRenderType(V3Render type) {
  if (type == V3RENDER_VR)
    m_state->camera = &m_state->ortho;
  else if (type == V3RENDER_VE)
    m_state->camera = &m_state->perspective;
  else
    return;
  m_state->renderType = type;
}

V3Render Engine3D::GetRenderType() {
  return m_state->renderType;
}

bool Engine3D::GetOrigin(double origin[3]) {
  const CameraVector& p = m_state->perspective.GetPosition();
  origin[0] = p.x, origin[1] = p.y, origin[2] = p.z;
  return true;
}

bool Engine3D::SetOrigin(const double origin[3]) {
  float center[3] = {float(origin[0]), float(origin[1]), float(origin[2])};
  SetAnatomicalCenter(center);
  m_state->perspective.SetPosition({origin[0], origin[1], origin[2]});
  return true;
}

void Engine3D::StepOrigin(float distance) {
  m_state->perspective.Step(distance);
}

bool Engine3D::SetAnatomicalRenderEnable(bool enabled) {
  Engine3DState& s = *m_state;
  s.anatomicalEnabled = enabled;
  s.cpu.SetAnatomicalRenderEnable(enabled);
  if (s.gpuReady) s.gpu.SetAnatomicalRenderEnable(enabled);
  return true;
}

bool Engine3D::SetAnatomicalPlane(V3AnatomicalPlane plane) {
  Engine3DState& s = *m_state;
  s.anatomicalPlane = plane;
  s.cpu.SetAnatomicalPlane(plane);
  if (s.gpuReady) s.gpu.SetAnatomicalPlane(plane);
  return true;
}

bool Engine3D::SetAnatomicalPart(V3AnatomicalPart part) {
  Engine3DState& s = *m_state;
  s.anatomicalPart = part;
  s.cpu.SetAnatomicalPart(part);
  if (s.gpuReady) s.gpu.SetAnatomicalPart(part);
  return true;
}

bool Engine3D::SetAnatomicalCenter(float center[3]) {
  Engine3DState& s = *m_state;
  std::copy(center, center + 3, s.anatomicalCenter);
  s.anatomicalCenterSet = true;
  s.cpu.SetAnatomicalCenter(center);
  if (s.gpuReady) s.gpu.SetAnatomicalCenter(center);
  return true;
}

// After a late upload the GPU must crop and clip like the CPU.
void Engine3D::PushRenderState() {
  Engine3DState& s = *m_state;
  float lo[3], hi[3];
  if (s.cpu.GetVisibleBox(lo, hi)) s.gpu.SetVisibleBox(lo, hi);
  s.gpu.SetAnatomicalRenderEnable(s.anatomicalEnabled);
  s.gpu.SetAnatomicalPlane(s.anatomicalPlane);
  s.gpu.SetAnatomicalPart(s.anatomicalPart);
  if (s.anatomicalCenterSet) s.gpu.SetAnatomicalCenter(s.anatomicalCenter);
}

V3VolumeMark* Engine3D::GetMarkData() {
  return &m_state->mask;
}

void Engine3D::UpdateMarkData() {
  m_state->HandMask();
}

bool Engine3D::GetBoundingBox(float min[3], float max[3]) {
  return m_state->cpu.GetBoundingBox(min, max);
}

bool Engine3D::SetVisibleBox(const float min[3], const float max[3]) {
  m_state->cpu.SetVisibleBox(min, max);
  if (m_state->gpuReady) m_state->gpu.SetVisibleBox(min, max);
  return true;
}

bool Engine3D::GetVisibleBox(float min[3], float max[3]) {
  return m_state->cpu.GetVisibleBox(min, max);
}

bool Engine3D::UpateVolumePalette(const V3Palette& palette, int label) {
  if (palette.points.count < 2) return false;
  V3Palette& user = m_state->user;
  user.visible = palette.visible;
  user.ambient = palette.ambient;
  user.diffuse = palette.diffuse;
  user.specular = palette.specular;
  user.opacity = palette.opacity;
  user.points = palette.points;
  BuildLabelPalette(m_state->palette, user, label);
  return true;
}

bool Engine3D::SetPalette(const V3Palette& palette) {
  if (palette.points.count < 2) return true;
  // The user palette takes the points only when they make a table.
  if (BuildLabelPalette(m_state->palette, palette, 0)) {
    V3Palette& user = m_state->user;
    user.visible = palette.visible;
    user.ambient = palette.ambient;
    user.diffuse = palette.diffuse;
    user.specular = palette.specular;
    user.opacity = palette.opacity;
    user.points = palette.points;
  }
  m_state->HandPalette();
  return true;
}

bool Engine3D::GetPalette(V3Palette& palette) {
  const V3Palette& user = m_state->user;
  palette.visible = user.visible;
  palette.ambient = user.ambient;
  palette.diffuse = user.diffuse;
  palette.specular = user.specular;
  palette.opacity = user.opacity;
  palette.points = user.points;
  return true;
}

bool Engine3D::AdjustColor(int delta) {
  Engine3DState& s = *m_state;
  for (uint32_t i = 0; i < s.user.points.count; ++i)
    s.user.points.data[i].value = ShiftValue(s.user.points.data[i].value, delta);
  // Every label moves, shown or hidden, so showing one later finds it where the others are.
  for (VolumeLabelPalette* label : s.palette.labels) {
    if (!label) continue;
    label->minValue += delta;
    label->maxValue += delta;
  }
  BuildOpacityTable(s.palette);
  s.HandPalette();
  return true;
}

bool Engine3D::SetShading(float ambient, float diffuse, float specular, int label) {
  Engine3DState& s = *m_state;
  s.user.ambient = ambient;
  s.user.diffuse = diffuse;
  s.user.specular = specular;
  if (label >= 0 && label <= 63 && s.palette.labels[label]) {
    s.palette.labels[label]->ambient = ambient;
    s.palette.labels[label]->diffuse = diffuse;
    s.palette.labels[label]->specular = specular;
  }
  s.HandPalette();
  return true;
}

bool Engine3D::SetOpacity(float opacity, int label) {
  Engine3DState& s = *m_state;
  s.user.opacity = opacity;
  if (label >= 0 && label <= 63 && s.palette.labels[label]) s.palette.labels[label]->opacity = opacity;
  BuildOpacityTable(s.palette);
  s.HandPalette();
  return true;
}

bool Engine3D::SetVisible(bool visible, int label) {
  Engine3DState& s = *m_state;
  s.user.visible = visible;
  if (label >= 0 && label <= 63 && s.palette.labels[label]) s.palette.labels[label]->visible = visible;
  // The combined table follows, else a label shown again renders nothing.
  BuildOpacityTable(s.palette);
  s.HandPalette();
  return true;
}

void Engine3D::RotateScreen(float radians) {
  m_state->camera->RotateScreen(radians);
}
void Engine3D::RotateH(float radians) {
  m_state->camera->RotateH(radians);
}
void Engine3D::RotateV(float radians) {
  m_state->camera->RotateV(radians);
}
void Engine3D::RotateToSagittal() {
  m_state->camera->RotateToSagittal();
}
void Engine3D::RotateToCoronal() {
  m_state->camera->RotateToCoronal();
}
void Engine3D::RotateToAxial() {
  m_state->camera->RotateToAxial();
}
void Engine3D::RotateToZ() {
  m_state->camera->RotateToZ();
}
void Engine3D::RotateToX() {
  m_state->camera->RotateToX();
}
void Engine3D::RotateToY() {
  m_state->camera->RotateToY();
}
void Engine3D::RotateToBack() {
  m_state->camera->RotateToBack();
}
void Engine3D::Step(float distance) {
  StepOrigin(distance);
}
void Engine3D::Zoom(float factor) {
  m_state->ortho.Zoom(factor);
}

void Engine3D::SetViewAngle(float degrees) {
  m_state->viewAngle = degrees >= 5.0f ? (degrees <= 175.0f ? degrees : 175.0f) : 5.0f;
}

bool Engine3D::CutAppend(const V3VolumeMark& mark) {
  Engine3DState& s = *m_state;
  if (!s.volume.slices || !mark.slices) return false;
  for (int i = 0; i < 3; ++i)
    if (mark.dims[i] != s.mask.dims[i]) return false;
  const size_t slice = size_t(mark.dims[0]) * mark.dims[1];
  for (int z = 0; z < mark.dims[2]; ++z)
    for (size_t k = 0; k < slice; ++k)
      if (mark.slices[z][k]) s.mask.slices[z][k] |= kMaskCut;
  s.HandMask();
  return true;
}

bool Engine3D::CutSubtract(const V3VolumeMark&) {
  return false;
}

void Engine3D::CutClear() {}

bool Engine3D::CutFill(const V3ImageMark& image, V3VolumeMark& out, uint8_t value) {
  Engine3DState& s = *m_state;
  if (!s.volume.slices || !out.slices || !image.pixels || image.width <= 0 || image.height <= 0) return false;
  for (int i = 0; i < 3; ++i)
    if (out.dims[i] != s.volume.dims[i]) return false;
  const V3VolumeData& v = s.volume;
  const float* R = v.orientation;
  RunWorkers(v.dims[2], [&](int begin, int end) {
    for (int z = begin; z < end; ++z) {
      uint8_t* dst = out.slices[z];
      std::fill(dst, dst + size_t(v.dims[0]) * v.dims[1], uint8_t(0));
      for (int y = 0; y < v.dims[1]; ++y)
        for (int x = 0; x < v.dims[0]; ++x) {
          double d[3];
          for (int i = 0; i < 3; ++i)
            d[i] = v.origin[i] + R[i] * (x * double(v.spacing[0])) + R[3 + i] * (y * double(v.spacing[1])) +
                   R[6 + i] * (z * double(v.spacing[2])) - image.corner[i];
          const double jc = std::floor(
              (image.right[0] * d[0] + image.right[1] * d[1] + image.right[2] * d[2]) / image.columnSpacing);
          const double ir = std::floor((image.down[0] * d[0] + image.down[1] * d[1] + image.down[2] * d[2]) /
                                       image.rowSpacing);
          if (!(jc >= 0 && jc <= image.width - 1 && ir >= 0 && ir <= image.height - 1)) continue;
          if (!image.pixels[int(jc) + int(ir) * image.width]) continue;
          const size_t at = size_t(x) + size_t(y) * v.dims[0];
          if (IsLabelShown(s.palette, s.mask.slices[z][at])) dst[at] = value;
        }
    }
  });
  return true;
}

bool Engine3D::Imaging(int rows, int columns, uint32_t* pixels, bool flag, V3ImageRGB* out, int phase) {
  if (m_state->renderType == V3RENDER_VE)
    return ImagingVE(rows, columns, pixels, m_state->viewAngle, flag, out);
  return ImagingVR(rows, columns, pixels, flag, out, phase);
}

bool Engine3D::ImagingVR(int rows, int columns, uint32_t* pixels, bool, V3ImageRGB* out, int phase) {
  if (rows <= 0 || columns <= 0 || !pixels) return false;
  Engine3DState& s = *m_state;
  double W, H;
  s.ortho.GetViewport(&W, &H);
  std::fill(pixels, pixels + int64_t(rows) * columns, 0u);
  // Widen the viewport to the image's aspect so both spacings are equal.
  const double aspect = double(columns) / rows;
  if (aspect > W / H)
    W = aspect * H;
  else
    H = W / aspect;
  V3ImageRGB image{};
  image.pixels = pixels;
  FrameFromCamera(s.ortho, W, H, rows, columns, image);
  LazyUpload();
  bool ok = false;
  if (s.gpuEnabled && s.gpuReady) {
    ok = s.gpu.ImagingVR(&image, phase);
    if (!ok) s.DropGpu();
  }
  if (!ok) ok = s.cpu.ImagingVR(&image, phase);
  if (out) *out = image;
  return ok;
}

bool Engine3D::ImagingVE(int rows, int columns, uint32_t* pixels, float viewAngle, bool, V3ImageRGB* out) {
  if (rows <= 0 || columns <= 0 || !pixels) return false;
  Engine3DState& s = *m_state;
  const CameraVector& p = s.perspective.GetPosition();
  const CameraVector& d = s.perspective.GetDirection();
  const CameraVector& u = s.perspective.GetViewUp();
  const V3ViewPoint view{{float(p.x), float(p.y), float(p.z)},
                         {float(d.x), float(d.y), float(d.z)},
                         {float(u.x), float(u.y), float(u.z)}};
  double W, H;
  s.perspective.GetViewport(&W, &H);
  V3ImageRGB image{};
  image.pixels = pixels;
  FrameFromCamera(s.perspective, W, H, rows, columns, image);
  LazyUpload();
  bool ok = false;
  if (s.gpuEnabled && s.gpuReady) {
    ok = s.gpu.ImagingVE(view, viewAngle, &image);
    if (!ok) s.DropGpu();
  }
  if (!ok) ok = s.cpu.ImagingVE(view, viewAngle, &image);
  if (out) *out = image;
  return ok;
}

void Engine3D::LazyUpload() {
  Engine3DState& s = *m_state;
  if (!s.gpuEnabled || s.gpuReady || !s.volume.slices) return;
  s.gpuReady = s.gpu.InitData(s.volume, s.mask, s.palette);
  if (!s.gpuReady) return;
  // Phases keep the CPU's numbering: the ones it refused are left out here too.
  int phases = 0;
  for (const V3VolumeData& phase : s.attached) {
    const bool fits = IsVolumeUsable(phase) && phase.dims[0] == s.volume.dims[0] &&
                      phase.dims[1] == s.volume.dims[1] && phase.dims[2] == s.volume.dims[2];
    if (fits && s.gpu.AttachVolumeData(phase) != ++phases) {
      s.DropGpu();
      return;
    }
  }
  PushRenderState();
}

bool Engine3D::ScreenProjection(int kind, int rows, int columns, int16_t* pixels, V3ImageVAL* out) {
  if (rows <= 0 || columns <= 0 || !pixels) return false;
  Engine3DState& s = *m_state;
  std::fill(pixels, pixels + int64_t(rows) * columns, int16_t(-1024));
  double W, H;
  s.ortho.GetViewport(&W, &H);
  V3ImageVAL image{};
  image.pixels = pixels;
  FrameFromCamera(s.ortho, W, H, rows, columns, image);
  const bool ok = kind == 0   ? s.cpu.ImagingMIP(&image)
                  : kind == 1 ? s.cpu.ImagingAIP(&image)
                              : s.cpu.ImagingMinIP(&image);
  if (out) *out = image;
  return ok;
}

bool Engine3D::SlabProjection(int kind, const V3SliceParam& plane, float thickness, V3ImageData* image) {
  Engine3DState& s = *m_state;
  if (!s.volume.slices || !image) return false;
  const double fov = plane.fieldOfView;
  const double sp = s.param.minSpacing;
  if (!(fov > 0) || !(fov / sp <= kMaxPlaneSide)) return false;
  const int n = int(std::ceil(fov / sp));
  if (!image->Resize(n, n)) return false;
  image->spacing[0] = image->spacing[1] = sp;
  std::copy(plane.right, plane.right + 3, image->right);
  std::copy(plane.down, plane.down + 3, image->down);
  std::copy(plane.corner, plane.corner + 3, image->corner);
  V3ImageVAL val{};
  val.pixels = image->data.data;
  val.width = val.height = n;
  val.rowSpacing = val.columnSpacing = sp;
  std::copy(plane.right, plane.right + 3, val.right);
  std::copy(plane.down, plane.down + 3, val.down);
  std::copy(plane.corner, plane.corner + 3, val.corner);

  double N[3] = {plane.right[1] * plane.down[2] - plane.right[2] * plane.down[1],
                 plane.right[2] * plane.down[0] - plane.right[0] * plane.down[2],
                 plane.right[0] * plane.down[1] - plane.right[1] * plane.down[0]};
  const double len = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]) + 1e-6;
  for (double& c : N) c /= len;
  V3Camera camera{};
  for (int i = 0; i < 3; ++i) {
    camera.position[i] =
        float(plane.corner[i] + plane.right[i] * fov / 2 + plane.down[i] * fov / 2 - N[i] * thickness / 2);
    camera.direction[i] = float(N[i]);
  }
  const double* r = plane.right;
  camera.viewUp[0] = float(r[1] * N[2] - r[2] * N[1]);
  camera.viewUp[1] = float(r[2] * N[0] - r[0] * N[2]);
  camera.viewUp[2] = float(r[0] * N[1] - r[1] * N[0]);
  const float f = float(fov);
  const bool ok = kind == 0   ? s.cpu.ImagingMIP(camera, f, thickness, &val)
                  : kind == 1 ? s.cpu.ImagingAIP(camera, f, thickness, &val)
                              : s.cpu.ImagingMinIP(camera, f, thickness, &val);
  if (ok) {
    // The rays used the camera's frame; report that one.
    image->spacing[0] = val.rowSpacing;
    image->spacing[1] = val.columnSpacing;
    std::copy(val.right, val.right + 3, image->right);
    std::copy(val.down, val.down + 3, image->down);
    std::copy(val.corner, val.corner + 3, image->corner);
  }
  return ok;
}

bool Engine3D::ImagingMIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  return SlabProjection(0, plane, thickness, image);
}
bool Engine3D::ImagingMIP(int rows, int columns, int16_t* pixels, bool, V3ImageVAL* out) {
  return ScreenProjection(0, rows, columns, pixels, out);
}
bool Engine3D::ImagingAIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  return SlabProjection(1, plane, thickness, image);
}
bool Engine3D::ImagingAIP(int rows, int columns, int16_t* pixels, bool, V3ImageVAL* out) {
  return ScreenProjection(1, rows, columns, pixels, out);
}
bool Engine3D::ImagingMinIP(V3SliceParam plane, float thickness, V3ImageData* image) {
  return SlabProjection(2, plane, thickness, image);
}
bool Engine3D::ImagingMinIP(int rows, int columns, int16_t* pixels, bool, V3ImageVAL* out) {
  return ScreenProjection(2, rows, columns, pixels, out);
}

int Engine3D::AttachVolumeData(const V3VolumeData& volume) {
  Engine3DState& s = *m_state;
  try {
    s.attached.push_back(volume);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const int cpu = s.cpu.AttachVolumeData(volume);
  // Phase indices must match on both renderers; a GPU that cannot follow stops being used.
  if (s.gpuReady && s.gpu.AttachVolumeData(volume) != cpu) s.DropGpu();
  return cpu;
}

void Engine3D::ClearAttachVolume() {
  Engine3DState& s = *m_state;
  s.attached.clear();
  s.cpu.ClearAttachVolume();
  s.gpu.ClearAttachVolume();
}
