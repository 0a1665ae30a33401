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

// A head-like phantom in HU: skull shell, brain, ventricles, with noise of the given sigma.
inline void FillHeadPhantom(TestVolume& v, float sigma, unsigned seed = 1) {
  const int nx = v.data.dims[0], ny = v.data.dims[1], nz = v.data.dims[2];
  uint32_t state = seed * 2654435761u + 1;
  auto noise = [&]() {
    float s = 0;
    for (int k = 0; k < 4; ++k) {
      state = state * 1664525u + 1013904223u;
      s += float(state >> 8) / float(1 << 24) - 0.5f;
    }
    return s * sigma * 1.7320508f;  // sum of 4 uniforms, scaled to sigma
  };
  auto inside = [](float x, float y, float z, float a, float b, float c) {
    return x * x / (a * a) + y * y / (b * b) + z * z / (c * c) <= 1.0f;
  };
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        const float px = (x - nx / 2.0f) / (nx / 2.0f), py = (y - ny / 2.0f) / (ny / 2.0f),
                    pz = (z - nz / 2.0f) / (nz / 2.0f);
        float hu = -1000;
        if (inside(px, py, pz, 0.9f, 0.95f, 0.9f)) hu = 1200;  // skull
        if (inside(px, py, pz, 0.8f, 0.85f, 0.8f)) hu = 35;    // brain
        if (inside(px - 0.15f, py, pz, 0.1f, 0.3f, 0.15f) || inside(px + 0.15f, py, pz, 0.1f, 0.3f, 0.15f))
          hu = 5;                                                                    // ventricles
        if (inside(px - 0.3f, py + 0.3f, pz - 0.3f, 0.12f, 0.12f, 0.12f)) hu = 300;  // contrast blob
        v.at(x, y, z) = int16_t(std::lround(hu + noise()));
      }
}

// Writes an RGB image (B<<24|G<<16|R<<8|A words) or a grey value image as PNG.
bool SaveRGB(const std::string& path, const uint32_t* pixels, int width, int height);
bool SaveGrey(const std::string& path, const int16_t* pixels, int width, int height, int low, int high);

// Folder for images a person may look at (ORVANTA_PNG_DIR, else the test's scratch folder).
std::string ImageFolder();

}  // namespace voxtest
