#pragma once

// The brick octree in device memory: the descriptor lives on the host, its tables on the device.

#include "DeviceApi.h"

// Sizes the octree as BuildOctree does and allocates its tables on the device (the links are
// made by the BuildOctree launch). False, with nothing allocated, on failure.
bool AllocDeviceOctree(DeviceApi& dev, const V3VolumeData& volume, Octree& octree, int levels);
bool FreeDeviceOctree(DeviceApi& dev, Octree& octree);
// Links and fills the value ranges of a freshly allocated octree.
bool BuildDeviceOctree(DeviceApi& dev, const V3VolumeData& volume, Octree& octree);
// Flags from the mask and palette mirrors, then the box of visible voxels into param.
bool UpdateDeviceOctree(DeviceApi& dev, const V3VolumeMark& mark, const VolumePalette& palette,
                        const V3VolumeData& volume, VolumeParam& param, Octree& octree);
