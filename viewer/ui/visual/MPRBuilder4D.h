#pragma once

// Samples the axial, sagittal and coronal planes of every phase of a 4D study on a worker, so
// the cine can show them later one phase per tick. Only the newest request runs; a request
// that a newer one replaced stops at the next phase.

#include <atomic>
#include <mutex>
#include <vector>

#include "TaskThread.h"
#include "V3VolumeData.h"

class EngineMPR;

class MPRBuilder4D : public task_thread<unsigned long> {
 public:
  // The engine is the MPR builder's; engineLock is the lock every user of that engine holds
  // around its calls (the UI thread and this worker never sample at once).
  MPRBuilder4D(EngineMPR* engine, std::mutex* engineLock);
  ~MPRBuilder4D() override;

  // Replaces the phase volumes; call with the worker idle (after Cancel).
  void SetPhases(std::vector<V3VolumeData> phases);
  int GetPhaseCount() const { return static_cast<int>(phases_.size()); }
  void SetCurrentId(unsigned long id) { currentId_ = id; }
  unsigned long GetCurrentId() const { return currentId_; }

  // type 0 axial, 1 sagittal, 2 coronal. False when that plane of the phase is not built.
  bool GetImage(int phase, int type, V3ImageData* out) const;
  // Cancels the worker and drops the stored planes.
  void Clear();

 protected:
  void Run(unsigned long id) override;

 private:
  using Planes = std::vector<V3ImageData>;
  bool Stale(unsigned long id) const { return IsCancelled() || id != currentId_; }

  EngineMPR* engine_;
  std::mutex* engineLock_;
  std::vector<V3VolumeData> phases_;  // set on the UI thread while the worker is idle
  std::atomic<unsigned long> currentId_{0};
  mutable std::mutex resultsMutex_;  // guards the three stored lists
  Planes axial_, sagittal_, coronal_;
  bool built_ = false;  // guarded by resultsMutex_
};
