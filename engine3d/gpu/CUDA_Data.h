#pragma once

// Device mirrors: records of the host types whose pointers point into device memory. Every
// operation frees the mirror's old device memory first; a failed upload leaves it empty.

#include "DeviceApi.h"

bool UploadVolume(DeviceApi& dev, V3VolumeData& mirror, VolumeParam* param, const V3VolumeData* source);
bool UploadMark(DeviceApi& dev, V3VolumeMark& mirror, const V3VolumeMark* source);
bool UploadPalette(DeviceApi& dev, VolumePalette& mirror, const VolumePalette* source);
bool UploadImage(DeviceApi& dev, V3ImageRGB& mirror, const V3ImageRGB* source);
bool DownloadImage(DeviceApi& dev, const V3ImageRGB& mirror, V3ImageRGB* destination);
