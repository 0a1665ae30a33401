#pragma once

#include "SODcmNetUtil.h"

namespace peer {

// Network limits for the length of a test, so waits on slow or silent peers stay short.
struct ScopedLimits {
  sodcm::NetLimits saved = sodcm::Limits();
  explicit ScopedLimits(const sodcm::NetLimits& limits) { sodcm::SetLimits(limits); }
  ~ScopedLimits() { sodcm::SetLimits(saved); }
  ScopedLimits(const ScopedLimits&) = delete;
  ScopedLimits& operator=(const ScopedLimits&) = delete;
};

}  // namespace peer
