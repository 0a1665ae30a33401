#pragma once

// Turns the control's volume into one displayable colour (or grey projection) image: owns the
// volume rendering engine, renders into its own DICOM object and image object so the 3D window
// shows the result like any image, cuts the volume along screen contours and drives the
// background rendering of 4D phases.
//
// UI thread only, except the phase callbacks, which arrive on the phase worker. The engine is
// shared with that worker: every call into it holds EngineMutex().

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Engine3D.h"
#include "ISOImageObject.h"
#include "IVRBuilder.h"
#include "V3VolumeData.h"
#include "VRBuilder4D.h"

class SODcmFile;
class SODcmObject;
class SOImageObject;
class SOImageObjectEx;

// Pixel buffers a result image's record and object borrow (see VRBuilder.cpp).
struct ColourBuffers {
  std::vector<uint32_t> record;  // lent to the record as its A, R, G, B bytes
  std::vector<unsigned long> rgb;
};

class VRBuilder : public IVRBuilder, public ISOImageObjectCallback, public IVRBuilder4DCallback {
 public:
  static constexpr int kDefaultSize = 1024;

  VRBuilder();
  ~VRBuilder();
  VRBuilder(const VRBuilder&) = delete;
  VRBuilder& operator=(const VRBuilder&) = delete;

  // Gives the engine the volume (whose voxels stay the caller's) and renders it; false, with the
  // builder left empty, when the engine refuses it. The patient attributes of source are copied.
  bool Build(const V3VolumeData& volume, SODcmFile* source);
  // Build in two steps, so the slow one can leave the UI thread: InitEngine (any thread, the
  // builder empty and its phase worker idle) gives the engine the volume under the engine's
  // lock and makes the result image, with the patient attributes of source, and its first
  // rendering; Attach (UI thread) then takes that image and shows it.
  bool InitEngine(const V3VolumeData& volume, SODcmFile* source);
  void Attach(const V3VolumeData& volume);
  // Before InitEngine: the size the owner window will render at first (0 x 0: the default
  // size). The owner's rendering from OnVolumeBuilt during Attach shows InitEngine's frame,
  // unless the view changed meanwhile (DropPreparedRendering, with the engine's lock held).
  void PrepareFirstRendering(int rows, int columns);
  void DropPreparedRendering() { prepared_ = false; }
  void Clear();
  // Renders at the owner window's client size less 2 (1024 x 1024 without one), a quarter of it
  // while interacting without GPU; nothing without a volume.
  void Render() override;
  // The size Render renders at now.
  void GetRenderSize(int& rows, int& columns);
  // A new palette re-prepares the octree at its first rendering, which costs too much for the
  // UI thread: RequestPalette (UI thread) keeps it, and whether a rendering is wanted, until
  // RenderRequested (another thread) gives it to the engine and makes that rendering of the
  // current view at rows x columns (a 1 x 1 one only prepares), all under the engine's lock.
  // RequestedPalette is the palette asked for and not yet given; Clear drops it.
  void RequestPalette(const V3Palette& palette, bool render);
  bool RequestedPalette(V3Palette& palette);
  void RenderRequested(int rows, int columns);
  // UI thread: shows RenderRequested's rendering, unless a rendering made here since (or a new
  // volume, size or imaging type) makes it stale; false when it was dropped.
  bool ShowBackgroundRendering();
  // delta > 0 zooms in one step, < 0 out; in perspective mode it moves the eye instead.
  void Zoom(float delta) override;
  // Cuts away what lies under the contour (result image pixel coordinates) along the view.
  void CutContour(const std::vector<SOPoint>& contour) override;
  // Clears every cut and label of the volume.
  void ClearCut();
  bool SetRenderMode(int mode);
  // A rendering mode (with the eye's origin for modes other than 0) for RenderRequested to give
  // the engine, as RequestPalette keeps a palette: asked while the build thread prepares a
  // palette, setting it here would wait for that preparation. Shown by GetRenderMode at once;
  // false for a mode that is not one (0 to 7).
  bool RequestRenderMode(int mode, const double* origin);
  // With the engine's lock held: the eye's origin given to the engine now, over any requested.
  void GiveOrigin(const double origin[3]);
  int GetRenderMode() override { return renderMode_; }
  // Shows the stored frame of a 4D phase; false when there is none.
  bool ShowPhase(int phase);

  Engine3D* GetEngine() override { return &engine_; }
  std::mutex& GetEngineLock() override { return engineMutex_; }
  SOImageObjectEx* GetResultImage() override { return image_.get(); }
  // Stops the phase rendering (waiting for it) and drops its frames.
  void CancelPhases() override { builder4D_.Clear(); }
  SODcmObject* GetObject() const { return object_.get(); }
  const V3VolumeData& GetVolume() const { return volume_; }
  float GetZoomFactor() const { return zoom_; }

  bool IsInteracting() override { return interacting_; }
  void SetInteracting(bool interacting) override { interacting_ = interacting; }
  int GetImagingType() const { return imagingType_; }
  void SetImagingTypeValue(int type) { imagingType_ = type; }
  int GetRenderQuality() const { return renderQuality_; }
  void SetRenderQuality(int quality) { renderQuality_ = quality; }
  bool Is4D() const { return is4D_; }
  void Set4D(bool on) { is4D_ = on; }
  int GetRenderStamp() const { return renderStamp_; }
  VRBuilder4D& Builder4D() { return builder4D_; }

  // No duplicates; null ignored.
  void RegisterCallback(IVRBuilderCallback* callback) override;
  void UnRegisterCallback(IVRBuilderCallback* callback) override;
  std::vector<IVRBuilderCallback*> GetCallbacks() const;

  // ISOImageObjectCallback
  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) override;
  // IVRBuilder4DCallback (phase worker)
  void OnPhaseProgress(int total, int done) override;
  void OnPhasesFinished() override;

 private:
  void RenderSize(int& rows, int& columns);
  // With the engine's lock held: gives the engine the requested palette, rendering mode and
  // origin, if any.
  void GiveRequests();
  // With the engine's lock held: the engine set for rendering mode `mode` (0 to 7).
  void ApplyRenderMode(int mode);
  // A colour rendering into the result object; then ShowResult for the point and the event.
  void ShowColour(const uint32_t* pixels, int rows, int columns, const V3ImageRGB& frame);
  // A new colour rendering is in the result object: counted, and the phases follow it.
  void ColourShown();
  void ShowResult();

  float zoom_ = 1.0f;
  int renderMode_ = 0;
  std::mutex engineMutex_;
  Engine3D engine_;
  // Before the result image and object that borrow them, so they go after those.
  ColourBuffers shown_;
  std::unique_ptr<SODcmFile> file_;
  std::unique_ptr<SODcmObject> object_;
  std::unique_ptr<SOImageObjectEx> image_;
  int renderQuality_ = 1;
  int imagingType_ = 0;
  bool interacting_ = false;
  mutable std::mutex callbacksMutex_;  // the phase worker reads the list
  std::vector<IVRBuilderCallback*> callbacks_;
  int renderStamp_ = 0;
  V3VolumeData volume_{};
  // Made by InitEngine, taken by Attach: the result image holding the first rendering, of
  // firstRows_ x firstColumns_.
  std::unique_ptr<SODcmFile> pendingFile_;
  std::unique_ptr<SODcmObject> pendingObject_;
  std::unique_ptr<SOImageObjectEx> pendingImage_;
  int readyRows_ = 0, readyColumns_ = 0;
  int firstRows_ = 0, firstColumns_ = 0;
  // True while that rendering shows the current view: set by InitEngine, cleared by a view
  // change (under the engine's lock) and at the end of Attach.
  std::atomic<bool> prepared_{false};
  // Whether the engine renders on the GPU, as RenderSize last read it.
  std::atomic<bool> gpuSeen_{false};
  std::mutex requestMutex_;  // guards the four below; taken inside the engine's lock, never around it
  std::optional<V3Palette> requestedPalette_;
  std::optional<int> requestedMode_;
  std::optional<std::array<double, 3>> requestedOrigin_;
  bool renderRequested_ = false;
  // Under the engine's lock: renderings made by Render, and RenderRequested's frame with the
  // count it was made at.
  int renderings_ = 0;
  std::vector<uint32_t> backgroundFrame_;
  V3ImageRGB backgroundGeometry_{};
  int backgroundRows_ = 0, backgroundColumns_ = 0, backgroundAt_ = -1;
  bool is4D_ = false;
  VRBuilder4D builder4D_;  // last: its worker goes first
};
