#include "CUDA_Data.h"

#include <chrono>
#include <vector>

#include "SOLog.h"

namespace {

// Frees a table of dims[2] device slices and the table itself.
template <typename T>
void FreeSlices(DeviceApi& dev, T**& table, int count) {
  if (!table) return;
  std::vector<T*> slices(count > 0 ? count : 0);
  if (!slices.empty() && dev.CopyToHost(slices.data(), table, slices.size() * sizeof(T*)))
    for (T* s : slices) dev.Free(s);
  dev.Free(table);
  table = nullptr;
}

// Uploads dims[2] slices of dims[0] x dims[1] elements and their table.
template <typename T>
bool UploadSlices(DeviceApi& dev, T* const* source, const int32_t* dims, T**& table) {
  const size_t bytes = size_t(dims[0]) * dims[1] * sizeof(T);
  std::vector<T*> slices;
  slices.reserve(dims[2]);
  bool ok = true;
  for (int z = 0; z < dims[2] && ok; ++z) {
    T* s = static_cast<T*>(dev.Alloc(bytes));
    ok = s != nullptr;
    if (s) slices.push_back(s);
    ok = ok && dev.CopyToDevice(s, source[z], bytes);
  }
  if (ok) {
    table = static_cast<T**>(dev.Alloc(slices.size() * sizeof(T*)));
    ok = table && dev.CopyToDevice(table, slices.data(), slices.size() * sizeof(T*));
  }
  if (!ok) {
    for (T* s : slices) dev.Free(s);
    dev.Free(table);
    table = nullptr;
  }
  return ok;
}

bool UsableDims(const int32_t* dims) {
  return dims[0] > 0 && dims[1] > 0 && dims[2] > 0;
}

void* UploadArray(DeviceApi& dev, const void* host, size_t bytes) {
  void* p = dev.Alloc(bytes);
  if (p && !dev.CopyToDevice(p, host, bytes)) {
    dev.Free(p);
    p = nullptr;
  }
  return p;
}

void FreeLabels(DeviceApi& dev, VolumePalette& mirror) {
  for (VolumeLabelPalette*& label : mirror.labels) {
    if (!label) continue;
    VolumeLabelPalette host;
    if (dev.CopyToHost(&host, label, sizeof host)) {
      dev.Free(host.rgb);
      dev.Free(host.alpha);
    }
    dev.Free(label);
    label = nullptr;
  }
  dev.Free(mirror.opacity);
  mirror.opacity = nullptr;
}

}  // namespace

bool UploadVolume(DeviceApi& dev, V3VolumeData& mirror, VolumeParam* param, const V3VolumeData* source) {
  FreeSlices(dev, mirror.slices, mirror.dims[2]);
  mirror = V3VolumeData{};
  if (!source || !IsVolumeUsable(*source)) return false;
  const auto start = std::chrono::steady_clock::now();
  V3VolumeData copy = *source;
  if (!UploadSlices(dev, source->slices, source->dims, copy.slices)) return false;
  mirror = copy;
  if (param) BuildVolumeParam(*source, *param);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  SOLog::Debug("Cuda3D image data load time %llu\n", (unsigned long long)ms.count());
  return true;
}

bool UploadMark(DeviceApi& dev, V3VolumeMark& mirror, const V3VolumeMark* source) {
  FreeSlices(dev, mirror.slices, mirror.dims[2]);
  mirror = V3VolumeMark{};
  if (!source) return true;
  if (!source->slices || !UsableDims(source->dims)) return false;
  V3VolumeMark copy = *source;
  if (!UploadSlices(dev, source->slices, source->dims, copy.slices)) return false;
  mirror = copy;
  return true;
}

bool UploadPalette(DeviceApi& dev, VolumePalette& mirror, const VolumePalette* source) {
  FreeLabels(dev, mirror);
  mirror = VolumePalette{};
  if (!source) return false;
  VolumePalette copy{};
  bool ok = true;
  for (int i = 0; i < 64 && ok; ++i) {
    const VolumeLabelPalette* label = source->labels[i];
    if (!label) continue;
    VolumeLabelPalette host = *label;
    host.rgb = static_cast<uint8_t*>(UploadArray(dev, label->rgb, size_t(label->count) * 3));
    host.alpha = static_cast<float*>(UploadArray(dev, label->alpha, size_t(label->count) * sizeof(float)));
    copy.labels[i] = host.rgb && host.alpha
                         ? static_cast<VolumeLabelPalette*>(UploadArray(dev, &host, sizeof host))
                         : nullptr;
    if (!copy.labels[i]) {
      dev.Free(host.rgb);
      dev.Free(host.alpha);
      ok = false;
    }
  }
  copy.base = source->base;
  copy.count = source->count;
  if (ok && source->opacity && source->count > 0) {
    copy.opacity =
        static_cast<float*>(UploadArray(dev, source->opacity, size_t(source->count) * sizeof(float)));
    ok = copy.opacity != nullptr;
  }
  if (!ok) {
    FreeLabels(dev, copy);
    return false;
  }
  mirror = copy;
  return true;
}

bool UploadImage(DeviceApi& dev, V3ImageRGB& mirror, const V3ImageRGB* source) {
  if (!source || source->width != mirror.width || source->height != mirror.height) {
    dev.Free(mirror.pixels);
    mirror.pixels = nullptr;
  }
  if (!source || !source->pixels || source->width <= 0 || source->height <= 0) {
    mirror = V3ImageRGB{};
    return false;
  }
  uint32_t* buffer = mirror.pixels;
  mirror = *source;
  mirror.pixels = buffer;
  const size_t bytes = size_t(source->width) * source->height * sizeof(uint32_t);
  if (!mirror.pixels) mirror.pixels = static_cast<uint32_t*>(dev.Alloc(bytes));
  if (!mirror.pixels || !dev.CopyToDevice(mirror.pixels, source->pixels, bytes)) {
    dev.Free(mirror.pixels);
    mirror = V3ImageRGB{};
    return false;
  }
  return true;
}

bool DownloadImage(DeviceApi& dev, const V3ImageRGB& mirror, V3ImageRGB* destination) {
  if (!mirror.pixels || !destination || !destination->pixels || destination->width != mirror.width ||
      destination->height != mirror.height)
    return false;
  return dev.CopyToHost(destination->pixels, mirror.pixels,
                        size_t(mirror.width) * mirror.height * sizeof(uint32_t));
}
