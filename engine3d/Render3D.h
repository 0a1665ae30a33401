#pragma once

// The CPU ray caster: volume rendering, fly-through and the intensity projections, with
// empty-space skipping through the brick octree. Each image call runs on up to 48 worker
// threads that it joins before returning; one Render3D must not be used from two threads.

#include <memory>

#include "RayCast.h"

struct Render3DState;
struct RenderVolume;

class Render3D final {
 public:
  Render3D();
  ~Render3D();
  Render3D(const Render3D&) = delete;
  Render3D& operator=(const Render3D&) = delete;

  virtual bool InitData(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumePalette& palette);
  virtual void Clear();
  virtual void SetVolumeMark(const V3VolumeMark& mark);
  virtual bool GetBoundingBox(float* low, float* high);
  virtual bool SetVisibleBox(const float* a, const float* b);
  virtual bool GetVisibleBox(float* low, float* high);
  virtual bool ImagingVR(V3ImageRGB* image, int index);
  virtual bool ImagingMIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image);
  virtual bool ImagingMIP(V3Camera camera, float fieldOfView, V3ImageVAL* image);
  virtual bool ImagingMIP(V3ImageVAL* image);
  virtual bool ImagingAIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image);
  virtual bool ImagingAIP(V3Camera camera, float fieldOfView, V3ImageVAL* image);
  virtual bool ImagingAIP(V3ImageVAL* image);
  virtual bool ImagingMinIP(V3Camera camera, float fieldOfView, float depth, V3ImageVAL* image);
  virtual bool ImagingMinIP(V3Camera camera, float fieldOfView, V3ImageVAL* image);
  virtual bool ImagingMinIP(V3ImageVAL* image);
  virtual bool ImagingVE(V3ViewPoint viewPoint, float viewAngle, V3ImageRGB* image);
  virtual bool SetPalette(const VolumePalette& palette);
  virtual bool SetAnatomicalRenderEnable(bool enabled);
  virtual bool SetAnatomicalPart(V3AnatomicalPart part);
  virtual bool SetAnatomicalPlane(V3AnatomicalPlane plane);
  virtual bool SetAnatomicalCenter(float* center);
  virtual int AttachVolumeData(const V3VolumeData& volume);
  virtual void ClearAttachVolume();

  enum class Projection { MIP, AIP, MinIP };

 private:
  bool SetVolumeData(const V3VolumeData& volume);
  void Refresh(RenderVolume& record);
  bool ImagingIP(float depth, V3ImageVAL* image, Projection kind);
  bool ImagingIP(const V3Camera& camera, float fieldOfView, float depth, V3ImageVAL* image, Projection kind);

  std::unique_ptr<Render3DState> m_state;
};
