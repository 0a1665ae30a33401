#pragma once

// The GPU twin of the CPU renderer. The engine links only its constructor and destructor and
// reaches everything else through the virtual operations.

#include <memory>

#include "VolumeRecords.h"

class DeviceApi;
struct Cuda3DState;

class Cuda3D final {
 public:
  // Renders on DefaultDevice().
  Cuda3D();
  // Renders on the given device (borrowed; it must outlive this object).
  explicit Cuda3D(DeviceApi* device);
  ~Cuda3D();
  Cuda3D(const Cuda3D&) = delete;
  Cuda3D& operator=(const Cuda3D&) = delete;

  virtual bool SupportCuda();
  virtual bool InitData(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumePalette& palette);
  virtual bool SetPalette(const VolumePalette& palette);
  virtual bool SetVolumeMark(const V3VolumeMark& mark);
  virtual bool SetVisibleBox(const float* low, const float* high);
  virtual bool GetVisibleBox(float* low, float* high);
  virtual void Clear();
  virtual bool ImagingVR(V3ImageRGB* image, int index);
  virtual bool ImagingVE(V3ViewPoint viewPoint, float viewAngle, V3ImageRGB* image);
  virtual bool SetAnatomicalRenderEnable(bool enabled);
  virtual bool SetAnatomicalPart(V3AnatomicalPart part);
  virtual bool SetAnatomicalPlane(V3AnatomicalPlane plane);
  virtual bool SetAnatomicalCenter(float* center);
  virtual int AttachVolumeData(const V3VolumeData& volume);
  virtual void ClearAttachVolume();

 private:
  bool UpdateAllOctrees();

  std::unique_ptr<Cuda3DState> m_state;
};
