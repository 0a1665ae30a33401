#pragma once

#include <mutex>
#include <vector>

#include "SOPoint.h"

class Engine3D;
class ISOImageObject;
class SOImageObjectEx;

// Told by the VR builder about its volume and result image. The phase calls arrive on the
// phase worker; every other call on the UI thread.
class IVRBuilderCallback {
 public:
  virtual void OnVolumeBuilt() = 0;
  // Only when a result image existed.
  virtual void OnVolumeCleared() = 0;
  virtual void OnImageUpdated(ISOImageObject* image) = 0;
  // After a zoom step in perspective mode.
  virtual void OnOriginMoved() = 0;
  // 0 colour, 1 MIP, 2 AIP, 3 MinIP.
  virtual void OnImagingTypeChanged(int type) = 0;
  virtual void OnPhaseProgress(int total, int done) = 0;
  virtual void OnPhasesFinished() = 0;

 protected:
  ~IVRBuilderCallback() = default;
};

// What the 3D image window and its tools use of the VR builder. The window keeps it as its
// user data 0, where the tools find it. UI thread only.
class IVRBuilder {
 public:
  // A callback is kept once however often it registers.
  virtual void RegisterCallback(IVRBuilderCallback* callback) = 0;
  virtual void UnRegisterCallback(IVRBuilderCallback* callback) = 0;
  // Null while no volume is built.
  virtual SOImageObjectEx* GetResultImage() = 0;
  virtual void Render() = 0;
  // Only the sign of delta counts: a zoom step, or an eye step in perspective mode.
  virtual void Zoom(float delta) = 0;
  // Removes what projects inside the contour (result-image pixel coordinates).
  virtual void CutContour(const std::vector<SOPoint>& contour) = 0;
  // 0 orthographic, 1 perspective, 2 to 7 clipped.
  virtual int GetRenderMode() = 0;
  // While set, renderings without GPU are a quarter of the size and no phase is rendered.
  virtual bool IsInteracting() = 0;
  virtual void SetInteracting(bool interacting) = 0;
  // Stops the phase rendering (waiting for it) and drops its frames.
  virtual void CancelPhases() = 0;
  // The engine is shared with the phase worker: hold the lock around every call into it.
  virtual Engine3D* GetEngine() = 0;
  virtual std::mutex& GetEngineLock() = 0;

 protected:
  ~IVRBuilder() = default;
};
