#pragma once

// Private state of Render3D, shared by its volume-rendering and projection sources.

#include <chrono>
#include <memory>
#include <vector>

#include "OctreeBuild.h"
#include "Render3D.h"

// One volume as the renderer holds it. Voxels, mask and label tables are borrowed.
struct RenderVolume {
  bool dirty = true;  // flags and opacity box must be recomputed before the next image
  bool maskChanged = true;  // the brick label summary must be recomputed with them
  Octree octree{};
  std::vector<BrickLabels> labels;
  V3VolumeData volume{};
  V3VolumeMark mark{};
  VolumeParam param{};
  VolumePalette palette{};
  RenderVolume() = default;
  RenderVolume(const RenderVolume&) = delete;
  RenderVolume& operator=(const RenderVolume&) = delete;
  ~RenderVolume();
};

struct Render3DState {
  V3AnatomicalPlane plane = V3PLANE_AXIAL;
  V3AnatomicalPart part = V3PART_LOWER;
  bool anatomicalEnabled = false;
  double anatomicalCenter[3] = {0, 0, 0};
  RenderVolume main;
  std::vector<std::unique_ptr<RenderVolume>> attached;
};

uint64_t ElapsedMs(std::chrono::steady_clock::time_point start);
