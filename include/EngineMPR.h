#pragma once

// Multiplanar reslicing of a volume on the calling thread: the three standard planes through a
// movable origin, arbitrary square planes, and the same planes of the label mask.

#include <memory>
#include <stdint.h>

#include "V3VolumeData.h"

// The plane sampler behind EngineMPR.
class IVolumeMPR {
 public:
  virtual bool InitData(const V3VolumeData& volume) = 0;
  virtual void Clear() = 0;
  virtual bool GetBoundingBox(float min[3], float max[3]) = 0;
  virtual V3VolumeMark* GetMarkData() = 0;
  virtual bool SetMarkData(const V3VolumeMark& mark) = 0;
  virtual bool GetMPRSize(const double planeDirs[6], const double origin[3], double corner[3], double& width,
                          double& height) = 0;
  virtual bool Marking(V3ImageMark* image) = 0;
  virtual bool Imaging(const V3VolumeData& volume, V3ImageVAL* image) = 0;
  virtual bool Imaging(V3ImageVAL* image) = 0;
  virtual bool ImagingMIP(float thickness, V3ImageVAL* image) = 0;
  virtual bool ImagingMinIP(float thickness, V3ImageVAL* image) = 0;
  virtual bool ImagingAIP(float thickness, V3ImageVAL* image) = 0;

 protected:
  ~IVolumeMPR() = default;
};

struct RenderMPRState;

class RenderMPR final : public IVolumeMPR {
 public:
  RenderMPR();
  ~RenderMPR();
  RenderMPR(const RenderMPR&) = delete;
  RenderMPR& operator=(const RenderMPR&) = delete;

  bool InitData(const V3VolumeData& volume) override;
  void Clear() override;
  bool GetBoundingBox(float min[3], float max[3]) override;
  V3VolumeMark* GetMarkData() override;
  bool SetMarkData(const V3VolumeMark& mark) override;
  bool GetMPRSize(const double planeDirs[6], const double origin[3], double corner[3], double& width,
                  double& height) override;
  bool Marking(V3ImageMark* image) override;
  bool Imaging(const V3VolumeData& volume, V3ImageVAL* image) override;
  bool Imaging(V3ImageVAL* image) override;
  bool ImagingMIP(float thickness, V3ImageVAL* image) override;
  bool ImagingMinIP(float thickness, V3ImageVAL* image) override;
  bool ImagingAIP(float thickness, V3ImageVAL* image) override;

 private:
  std::unique_ptr<RenderMPRState> m_state;
};

struct EngineMPRState;

class EngineMPR final {
 public:
  EngineMPR();
  ~EngineMPR();
  EngineMPR(const EngineMPR&) = delete;
  EngineMPR& operator=(const EngineMPR&) = delete;

  virtual bool InitData(const V3VolumeData& volume);
  virtual void Clear();
  virtual bool SetMarkData(const V3VolumeMark& mark);
  virtual bool GetOrigin(double origin[3]);
  virtual bool SetOrigin(const double origin[3]);
  virtual bool Marking(V3MPRType type, V3MarkData* mark);
  virtual bool Imaging(V3SliceParam plane, V3ImageData* image);
  virtual bool Imaging(V3MPRType type, const V3VolumeData& volume, V3ImageData* image);
  virtual bool Imaging(V3MPRType type, V3ImageData* image);
  virtual bool ImagingMIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingMIP(V3MPRType type, float thickness, V3ImageData* image);
  virtual bool ImagingMinIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingMinIP(V3MPRType type, float thickness, V3ImageData* image);
  virtual bool ImagingAIP(V3SliceParam plane, float thickness, V3ImageData* image);
  virtual bool ImagingAIP(V3MPRType type, float thickness, V3ImageData* image);

 private:
  template <typename Plane>
  bool StandardFrame(V3MPRType type, Plane* image);
  bool PlaneFrame(const V3SliceParam& plane, V3ImageData* image);

  std::unique_ptr<EngineMPRState> m_state;
};
