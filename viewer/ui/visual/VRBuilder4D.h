#pragma once

// Renders every phase of a 4D study into a 1024 x 1024 colour frame on a worker, so the cine
// shows a phase per tick without rendering. A new Submit cancels the running work; frames are
// available only once a whole set is complete.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "TaskThread.h"
#include "V3VolumeData.h"

class Engine3D;

class IVRBuilder4DCallback {
 public:
  virtual ~IVRBuilder4DCallback() = default;
  // Called on the worker.
  virtual void OnPhaseProgress(int total, int done) = 0;
  virtual void OnPhasesFinished() = 0;
};

using V3PixelsRGB = V3PlaneImage<uint32_t>;

class VRBuilder4D : public task_thread<unsigned long> {
 public:
  static constexpr int kFrameSize = 1024;

  // The engine is the VR builder's; engineLock is held by every user of that engine around
  // its calls.
  VRBuilder4D(Engine3D* engine, std::mutex* engineLock, IVRBuilder4DCallback* callback);
  ~VRBuilder4D() override;

  // Replaces the phase volumes; call with the worker idle (after Cancel).
  void SetPhases(std::vector<V3VolumeData> phases);
  int GetPhaseCount() const { return static_cast<int>(phases_.size()); }

  // Drops the stored frames and renders all phases again under the new id.
  void Submit(unsigned long id);
  // Cancels the worker and drops the stored frames.
  void Clear();
  bool GetFrame(int index, V3PixelsRGB* out, V3ImageRGB* frameOut) const;
  int GetFrameCount() const;

 protected:
  void Run(unsigned long id) override;

 private:
  struct Frame {
    std::vector<uint32_t> pixels;
    V3ImageRGB record{};  // its pixels pointer points into `pixels`
  };
  bool Stale(unsigned long id) const { return IsCancelled() || id != currentId_; }

  Engine3D* engine_;
  std::mutex* engineLock_;
  IVRBuilder4DCallback* callback_;
  std::vector<V3VolumeData> phases_;  // set on the UI thread while the worker is idle
  std::atomic<unsigned long> currentId_{0};
  mutable std::mutex resultsMutex_;  // guards frames_
  std::vector<Frame> frames_;
};
