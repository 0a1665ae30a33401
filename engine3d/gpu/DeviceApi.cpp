#include "DeviceApi.h"

#include <atomic>

#ifdef ORVANTA_WITH_CUDA
DeviceApi* CudaRuntimeDevice();
#endif

namespace {
// Set only by tests, before engines are made.
std::atomic<DeviceApi*> g_override{nullptr};
}  // namespace

DeviceApi* DefaultDevice() {
  if (DeviceApi* d = g_override.load()) return d;
#ifdef ORVANTA_WITH_CUDA
  return CudaRuntimeDevice();
#else
  return nullptr;
#endif
}

void SetDefaultDevice(DeviceApi* device) {
  g_override.store(device);
}
