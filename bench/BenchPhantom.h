// Head-like phantom in HU shared by the volume benchmarks: skull, brain, ventricles, a contrast
// blob; noise sigma 20. Voxels are contiguous, slice after slice, so peers can share them.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "V3VolumeData.h"

struct Phantom {
  std::vector<int16_t> voxels;
  std::vector<int16_t*> slices;
  V3VolumeData data{};

  Phantom(int nx, int ny, int nz, const float spacing[3]) {
    voxels.resize(size_t(nx) * ny * nz);
    slices.resize(nz);
    for (int z = 0; z < nz; ++z) slices[z] = voxels.data() + size_t(nx) * ny * z;
    data.slices = slices.data();
    data.dims[0] = nx, data.dims[1] = ny, data.dims[2] = nz;
    for (int i = 0; i < 3; ++i) data.spacing[i] = spacing[i];
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(identity, identity + 9, data.orientation);
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0, 20);
    auto in = [](float x, float y, float z, float a, float b, float c) {
      return x * x / (a * a) + y * y / (b * b) + z * z / (c * c) <= 1;
    };
    for (int z = 0; z < nz; ++z)
      for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
          const float px = 2.0f * x / nx - 1, py = 2.0f * y / ny - 1, pz = 2.0f * z / nz - 1;
          float hu = -1000;
          if (in(px, py, pz, 0.9f, 0.95f, 0.85f)) hu = 1200;
          if (in(px, py, pz, 0.8f, 0.85f, 0.75f)) hu = 35;
          if (in(px - 0.15f, py, pz, 0.1f, 0.3f, 0.15f) || in(px + 0.15f, py, pz, 0.1f, 0.3f, 0.15f)) hu = 5;
          if (in(px - 0.3f, py + 0.3f, pz - 0.3f, 0.12f, 0.12f, 0.12f)) hu = 300;
          slices[z][x + y * nx] = int16_t(std::lround(hu + noise(rng)));
        }
  }
  Phantom(int n, float spacing) : Phantom(n, n, n, std::vector<float>(3, spacing).data()) {}
};
