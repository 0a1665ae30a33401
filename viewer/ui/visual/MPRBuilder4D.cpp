#include "MPRBuilder4D.h"

#include "EngineMPR.h"

MPRBuilder4D::MPRBuilder4D(EngineMPR* engine, std::mutex* engineLock)
    : task_thread(true), engine_(engine), engineLock_(engineLock) {}

MPRBuilder4D::~MPRBuilder4D() { Stop(); }

void MPRBuilder4D::SetPhases(std::vector<V3VolumeData> phases) { phases_ = std::move(phases); }

void MPRBuilder4D::Clear() {
  Cancel();
  std::lock_guard lock(resultsMutex_);
  axial_.clear();
  sagittal_.clear();
  coronal_.clear();
  built_ = false;
}

void MPRBuilder4D::Run(unsigned long id) {
  {
    std::lock_guard lock(resultsMutex_);
    axial_.clear();
    sagittal_.clear();
    coronal_.clear();
    built_ = false;
  }
  if (Stale(id) || !engine_ || !engineLock_) return;
  Planes axial, sagittal, coronal;
  for (const V3VolumeData& phase : phases_) {
    {
      std::lock_guard lock(*engineLock_);
      // A plane the engine cannot sample stays empty.
      engine_->Imaging(V3MPR_AXIAL, phase, &axial.emplace_back());
      engine_->Imaging(V3MPR_CORONAL, phase, &coronal.emplace_back());
      engine_->Imaging(V3MPR_SAGITTAL, phase, &sagittal.emplace_back());
    }
    if (Stale(id)) return;
  }
  std::lock_guard lock(resultsMutex_);
  axial_ = std::move(axial);
  sagittal_ = std::move(sagittal);
  coronal_ = std::move(coronal);
  built_ = true;
}

bool MPRBuilder4D::GetImage(int phase, int type, V3ImageData* out) const {
  if (!out) return false;
  std::lock_guard lock(resultsMutex_);
  const Planes* planes = type == 0 ? &axial_ : type == 1 ? &sagittal_ : type == 2 ? &coronal_ : nullptr;
  if (!planes || !built_ || phase < 0 || phase >= static_cast<int>(planes->size())) return false;
  *out = (*planes)[phase];
  return true;
}
