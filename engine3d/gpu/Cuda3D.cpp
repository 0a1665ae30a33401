#include "Cuda3D.h"

// Built without a device backend: there is never a device, so nothing is uploaded and the
// engine keeps rendering on the CPU.

struct Cuda3DState {
  V3AnatomicalPlane plane = V3PLANE_AXIAL;
  V3AnatomicalPart part = V3PART_LOWER;
  bool anatomicalEnabled = false;
  double anatomicalCenter[3] = {0, 0, 0};
};

extern "C" {
// Asks hybrid-graphics drivers to run the process on the discrete GPU.
__attribute__((visibility("default"))) uint32_t NvOptimusEnablementCuda = 1;
}

Cuda3D::Cuda3D() : m_state(new Cuda3DState) {}

Cuda3D::~Cuda3D() {
  Clear();
  delete m_state;
}

bool Cuda3D::SupportCuda() { return false; }

bool Cuda3D::InitData(const V3VolumeData&, const V3VolumeMark&, const VolumePalette&) {
  Clear();
  return false;
}

bool Cuda3D::SetPalette(const VolumePalette&) { return false; }
bool Cuda3D::SetVolumeMark(const V3VolumeMark&) { return false; }
bool Cuda3D::SetVisibleBox(const float*, const float*) { return false; }
bool Cuda3D::GetVisibleBox(float*, float*) { return false; }
void Cuda3D::Clear() {}
bool Cuda3D::ImagingVR(V3ImageRGB*, int) { return false; }
bool Cuda3D::ImagingVE(V3ViewPoint, float, V3ImageRGB*) { return false; }

bool Cuda3D::SetAnatomicalRenderEnable(bool enabled) {
  m_state->anatomicalEnabled = enabled;
  return true;
}

bool Cuda3D::SetAnatomicalPart(V3AnatomicalPart part) {
  m_state->part = part;
  return true;
}

bool Cuda3D::SetAnatomicalPlane(V3AnatomicalPlane plane) {
  m_state->plane = plane;
  return true;
}

bool Cuda3D::SetAnatomicalCenter(float* center) {
  for (int i = 0; i < 3; ++i) m_state->anatomicalCenter[i] = center[i];
  return true;
}

int Cuda3D::AttachVolumeData(const V3VolumeData&) { return 0; }
void Cuda3D::ClearAttachVolume() {}
