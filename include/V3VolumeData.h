#pragma once

// The records that cross between the viewer library, the volume engine and the GPU renderer.
// The GPU kernels take several of them by value, so field order and widths are fixed.

#include <stdint.h>

#include <new>

#include "SOData.h"

// One 16-bit volume. Slices and the slice table stay the caller's while an engine holds it.
struct V3VolumeData {
  int16_t** slices;  // dims[2] slices of dims[0] x dims[1] voxels, x fastest
  int32_t dims[3];
  float spacing[3];
  float origin[3];
  float orientation[9];  // row direction, column direction, slice direction
};

// Per-voxel byte mask on the grid of a volume: label in bits 0-5, 0x40 (and 0x80) cut away.
struct V3VolumeMark {
  uint8_t** slices;
  int32_t dims[3];
};

struct V3PalettePoint {
  int16_t value;
  uint32_t color;  // 0x00RRGGBB
  float alpha;
};

// The transfer function of one label as the user edits it.
struct V3Palette {
  bool visible = true;
  float ambient = 0.11f;
  float diffuse = 0.816f;
  float specular = 0.0f;
  float opacity = 1.0f;
  SOData<V3PalettePoint> points;
};

// Screen images: pixel (row i, column j) lies at corner + down*(i*rowSpacing) + right*(j*columnSpacing).
// The pixel buffer is the caller's.
template <typename Pixel>
struct V3ScreenImage {
  Pixel* pixels;
  int32_t width;
  int32_t height;
  double rowSpacing;
  double columnSpacing;
  double right[3];
  double down[3];
  double corner[3];
};

struct V3ImageRGB : V3ScreenImage<uint32_t> {};  // B << 24 | G << 16 | R << 8 | A
struct V3ImageVAL : V3ScreenImage<int16_t> {};   // voxel values, background -1024
struct V3ImageMark : V3ScreenImage<uint8_t> {};

// A plane image whose buffer the engine (re)allocates.
template <typename Pixel>
struct V3PlaneImage {
  SOData<Pixel> data;
  int32_t rows = 0;
  int32_t columns = 0;
  double spacing[2] = {0, 0};  // row spacing, column spacing
  double right[3] = {0, 0, 0};
  double down[3] = {0, 0, 0};
  double corner[3] = {0, 0, 0};

  // Largest plane accepted; beyond it a size is a caller's error, not a request.
  static constexpr int64_t kMaxPixels = int64_t(16384) * 16384;

  // Stores the counts and allocates rows x columns zeroed pixels. False (and no buffer) for a
  // negative size or one beyond kMaxPixels.
  bool Resize(int32_t newRows, int32_t newColumns) {
    data.Free();
    const int64_t n = int64_t(newRows) * int64_t(newColumns);
    if (newRows < 0 || newColumns < 0 || n > kMaxPixels) {
      rows = columns = 0;
      return false;
    }
    if (n != 0) {
      try {
        data.Resize(static_cast<uint32_t>(n));
      } catch (const std::bad_alloc&) {
        rows = columns = 0;
        return false;
      }
    }
    rows = newRows;
    columns = newColumns;
    return true;
  }
};

struct V3ImageData : V3PlaneImage<int16_t> {};
struct V3MarkData : V3PlaneImage<uint8_t> {};

// An arbitrary square plane.
struct V3SliceParam {
  double corner[3];
  double right[3];
  double down[3];
  double fieldOfView;
};

struct V3Camera {
  float position[3];
  float direction[3];
  float viewUp[3];
};

struct V3ViewPoint {
  float position[3];
  float direction[3];
  float viewUp[3];
};

enum V3MPRType : int32_t { V3MPR_AXIAL = 0, V3MPR_SAGITTAL = 1, V3MPR_CORONAL = 2 };
enum V3Render : int32_t { V3RENDER_VR = 0, V3RENDER_VE = 1 };
enum V3AnatomicalPlane : int32_t { V3PLANE_AXIAL = 0, V3PLANE_SAGITTAL = 1, V3PLANE_CORONAL = 2 };
enum V3AnatomicalPart : int32_t { V3PART_LOWER = 0, V3PART_UPPER = 1 };

static_assert(sizeof(V3VolumeData) == sizeof(void*) + 18 * 4, "V3VolumeData is passed to the GPU by value");
static_assert(sizeof(V3ImageRGB) == sizeof(void*) + 8 + 11 * 8, "V3ImageRGB is passed to the GPU by value");
