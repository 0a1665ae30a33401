#include "VRBuilder4D.h"

#include "Engine3D.h"

#include <algorithm>

VRBuilder4D::VRBuilder4D(Engine3D* engine, std::mutex* engineLock, IVRBuilder4DCallback* callback)
    : task_thread(true), engine_(engine), engineLock_(engineLock), callback_(callback) {}

VRBuilder4D::~VRBuilder4D() { Stop(); }

void VRBuilder4D::SetPhases(std::vector<V3VolumeData> phases) { phases_ = std::move(phases); }

void VRBuilder4D::Submit(unsigned long id) {
  Cancel();
  {
    std::lock_guard lock(resultsMutex_);
    frames_.clear();
  }
  currentId_ = id;
  Post(id);
}

void VRBuilder4D::Clear() {
  Cancel();
  std::lock_guard lock(resultsMutex_);
  frames_.clear();
}

void VRBuilder4D::Run(unsigned long id) {
  {
    std::lock_guard lock(resultsMutex_);
    frames_.clear();
  }
  if (Stale(id) || !engine_ || !engineLock_) return;
  std::vector<Frame> frames;
  frames.reserve(phases_.size());
  const int total = static_cast<int>(phases_.size());
  for (const V3VolumeData& phase : phases_) {
    Frame& frame = frames.emplace_back();
    frame.pixels.assign(size_t(kFrameSize) * kFrameSize, 0);
    {
      std::lock_guard lock(*engineLock_);
      engine_->ClearAttachVolume();
      engine_->AttachVolumeData(phase);
      // The last argument renders the attached volume.
      engine_->Imaging(kFrameSize, kFrameSize, frame.pixels.data(), false, &frame.record, 1);
    }
    frame.record.pixels = frame.pixels.data();
    if (callback_) callback_->OnPhaseProgress(total, static_cast<int>(frames.size()));
    if (Stale(id)) return;
  }
  {
    std::lock_guard lock(resultsMutex_);
    frames_ = std::move(frames);
  }
  if (callback_) callback_->OnPhasesFinished();
}

int VRBuilder4D::GetFrameCount() const {
  std::lock_guard lock(resultsMutex_);
  return static_cast<int>(frames_.size());
}

bool VRBuilder4D::GetFrame(int index, V3PixelsRGB* out, V3ImageRGB* frameOut) const {
  std::lock_guard lock(resultsMutex_);
  if (index < 0 || index >= static_cast<int>(frames_.size())) return false;
  const Frame& frame = frames_[index];
  const size_t count = size_t(std::max(0, frame.record.height)) * size_t(std::max(0, frame.record.width));
  if (count > frame.pixels.size()) return false;
  if (out) {
    if (!out->Resize(frame.record.height, frame.record.width)) return false;
    std::copy_n(frame.pixels.begin(), count, out->data.data);
  }
  if (frameOut) {
    // The stored buffer stays ours: the copy points at the caller's pixels, if any.
    *frameOut = frame.record;
    frameOut->pixels = out ? out->data.data : nullptr;
  }
  return true;
}
