#pragma once

// Synthetic volumes and masks built in memory for the engine tests.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "V3VolumeData.h"

namespace voxtest {

struct TestVolume {
  std::vector<int16_t> voxels;
  std::vector<int16_t*> slices;
  V3VolumeData data{};

  TestVolume(int nx, int ny, int nz, float sx = 1, float sy = 1, float sz = 1) {
    voxels.assign(size_t(nx) * ny * nz, 0);
    slices.resize(nz);
    for (int z = 0; z < nz; ++z) slices[z] = voxels.data() + size_t(nx) * ny * z;
    data.slices = slices.data();
    data.dims[0] = nx, data.dims[1] = ny, data.dims[2] = nz;
    data.spacing[0] = sx, data.spacing[1] = sy, data.spacing[2] = sz;
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(identity, identity + 9, data.orientation);
  }
  int16_t& at(int x, int y, int z) { return slices[z][x + y * data.dims[0]]; }
  void Fill(const std::function<int16_t(int, int, int)>& f) {
    for (int z = 0; z < data.dims[2]; ++z)
      for (int y = 0; y < data.dims[1]; ++y)
        for (int x = 0; x < data.dims[0]; ++x) at(x, y, z) = f(x, y, z);
  }
};

struct TestMask {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t*> slices;
  V3VolumeMark data{};

  explicit TestMask(const V3VolumeData& v) {
    bytes.assign(size_t(v.dims[0]) * v.dims[1] * v.dims[2], 0);
    slices.resize(v.dims[2]);
    for (int z = 0; z < v.dims[2]; ++z) slices[z] = bytes.data() + size_t(v.dims[0]) * v.dims[1] * z;
    data.slices = slices.data();
    std::copy(v.dims, v.dims + 3, data.dims);
  }
  uint8_t& at(int x, int y, int z) { return slices[z][x + y * data.dims[0]]; }
};

// Palette with the given points (value, 0xRRGGBB, alpha).
inline V3Palette MakePalette(std::initializer_list<V3PalettePoint> points, float ambient = 0.11f,
                             float diffuse = 0.816f, float specular = 0.0f) {
  V3Palette p;
  p.ambient = ambient, p.diffuse = diffuse, p.specular = specular;
  p.points.Resize(uint32_t(points.size()));
  std::copy(points.begin(), points.end(), p.points.data);
  return p;
}

// Writes an RGB image (B<<24|G<<16|R<<8|A words) as PNG.
bool SaveRGB(const std::string& path, const uint32_t* pixels, int width, int height);

// Folder for images a person may look at (ORVANTA_PNG_DIR, else the test's scratch folder).
std::string ImageFolder();

}  // namespace voxtest
