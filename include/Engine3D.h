#pragma once

// The volume rendering engine: volume rendering, fly-through, intensity projections on the
// screen and thick-slab projections of a plane. Every call is synchronous; an engine must not
// be entered from two threads at once.

#include <memory>
#include <stdint.h>

#include "V3VolumeData.h"

struct Engine3DState;

class Engine3D final {
 public:
  Engine3D();
  ~Engine3D();
  Engine3D(const Engine3D&) = delete;
  Engine3D& operator=(const Engine3D&) = delete;

  virtual bool InitData(const V3VolumeData& volume);
  virtual bool GetVolumeData(V3VolumeData& volume);
  virtual void Clear();
  virtual bool SupportGPU();
  virtual bool SetGPUEnabled(bool enabled);
  virtual bool IsGPUEnabled();
  virtual void SetRenderType(V3Render type);
  virtual V3Render GetRenderType();
  virtual bool GetOrigin(double origin[3]);
  virtual bool SetOrigin(const double origin[3]);
  virtual void StepOrigin(float distance);
  virtual bool SetAnatomicalRenderEnable(bool enabled);
  virtual bool SetAnatomicalPlane(V3AnatomicalPlane plane);
  virtual bool SetAnatomicalPart(V3AnatomicalPart part);
  virtual bool SetAnatomicalCenter(float center[3]);
  virtual V3VolumeMark* GetMarkData();
  virtual void UpdateMarkData();
  virtual bool GetBoundingBox(float min[3], float max[3]);
  virtual bool SetVisibleBox(const float min[3], const float max[3]);
  virtual bool GetVisibleBox(float min[3], float max[3]);
  virtual bool SetPalette(const V3Palette& palette);
  virtual bool GetPalette(V3Palette& palette);
  virtual bool AdjustColor(int delta);
  virtual bool SetShading(float ambient, float diffuse, float specular, int label);
  virtual bool SetOpacity(float opacity, int label);
  virtual bool SetVisible(bool visible, int label);
  virtual void RotateScreen(float radians);
  virtual void RotateH(float radians);
  virtual void RotateV(float radians);
  virtual void RotateToSagittal();
  virtual void RotateToCoronal();
  virtual void RotateToAxial();
  virtual void RotateToZ();
  virtual void RotateToX();
  virtual void RotateToY();
  virtual void RotateToBack();
  virtual void Step(float distance);
  virtual void Zoom(float factor);
  virtual void SetViewAngle(float degrees);
  virtual bool CutAppend(const V3VolumeMark& mark);
  virtual bool CutSubtract(const V3VolumeMark& mark);
  virtual void CutClear();
  virtual bool CutFill(const V3ImageMark& image, V3VolumeMark& out, uint8_t value);
  virtual bool Imaging(int rows, int columns, uint32_t* pixels, bool flag, V3ImageRGB* out, int phase);
  virtual bool ImagingVR(int rows, int columns, uint32_t* pixels, bool flag, V3ImageRGB* out, int phase);
  virtual bool ImagingVE(int rows, int columns, uint32_t* pixels, float viewAngle, bool flag,
                         V3ImageRGB* out);
  virtual bool ImagingMIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingMIP(int rows, int columns, int16_t* pixels, bool flag, V3ImageVAL* out);
  virtual bool ImagingAIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingAIP(int rows, int columns, int16_t* pixels, bool flag, V3ImageVAL* out);
  virtual bool ImagingMinIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingMinIP(int rows, int columns, int16_t* pixels, bool flag, V3ImageVAL* out);
  virtual int AttachVolumeData(const V3VolumeData& volume);
  virtual void ClearAttachVolume();

 private:
  bool UpateVolumePalette(const V3Palette& palette, int label);
  bool ScreenProjection(int kind, int rows, int columns, int16_t* pixels, V3ImageVAL* out);
  bool SlabProjection(int kind, const V3SliceParam& plane, float thickness, V3ImageData* image);
  void LazyUpload();
  void PushRenderState();

  std::unique_ptr<Engine3DState> m_state;
};
