#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Cuda3D.h"
#include "Engine3D.h"
#include "HostDevice.h"
#include "PaletteTables.h"
#include "VolumeFixture.h"

using voxtest::MakePalette;
using voxtest::TestVolume;

namespace {

// Engines made while this lives render their GPU path on an emulated device.
struct EmulatedGpu {
  HostDevice device;
  EmulatedGpu() { SetDefaultDevice(&device); }
  ~EmulatedGpu() { SetDefaultDevice(nullptr); }
};

TestVolume NoisyPhantom(unsigned seed) {
  TestVolume v(40, 36, 30, 0.8f, 0.8f, 1.2f);
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0, 20);
  v.Fill([&](int x, int y, int z) {
    const float r = std::hypot(x - 20.0f, y - 17.0f, (z - 15.0f) * 1.4f);
    return int16_t((r < 15 ? (r < 13 ? (r < 5 ? 900 : 40) : 1300) : -1000) + noise(rng));
  });
  return v;
}

struct Pair {
  Engine3D cpu;
  std::unique_ptr<EmulatedGpu> emulated = std::make_unique<EmulatedGpu>();
  Engine3D gpu;
  Pair() { SetDefaultDevice(nullptr); }
  void Init(const V3VolumeData& v) {
    ASSERT_TRUE(cpu.InitData(v));
    ASSERT_TRUE(gpu.InitData(v));
  }
  template <typename F>
  void Both(F f) {
    f(cpu);
    f(gpu);
  }
  void ExpectSameVR(int phase = 0) {
    std::vector<uint32_t> a(72 * 64), b(72 * 64);
    ASSERT_TRUE(cpu.ImagingVR(64, 72, a.data(), false, nullptr, phase));
    ASSERT_TRUE(gpu.ImagingVR(64, 72, b.data(), false, nullptr, phase));
    EXPECT_EQ(a, b);
    EXPECT_GT(std::count_if(a.begin(), a.end(), [](uint32_t p) { return p != 0; }), 500);
  }
};

TEST(GpuRenderer, EmulatedDeviceRendersBitIdenticalToTheCpu) {
  TestVolume v = NoisyPhantom(3), phase = NoisyPhantom(4);
  phase.Fill([&](int x, int y, int z) { return int16_t(v.at(x, y, z) + (x > 20 ? 200 : 0)); });
  Pair p;
  p.Init(v.data);
  // A crop and a clipping plane set before the GPU holds anything.
  const float lo[3] = {2, 4, 3}, hi[3] = {28, 25, 30};
  float centre[3] = {0, 0, 22};
  p.Both([&](Engine3D& e) {
    e.SetVisibleBox(lo, hi);
    e.SetAnatomicalCenter(centre);
    e.SetAnatomicalRenderEnable(true);
    e.RotateH(0.7f);
    e.RotateV(0.4f);
  });
  ASSERT_TRUE(p.gpu.SetGPUEnabled(true));
  p.ExpectSameVR();

  p.Both([](Engine3D& e) {
    e.SetPalette(
        MakePalette({{0, 0x804020, 0.0f}, {60, 0xC09070, 0.06f}, {950, 0xFFFFFF, 0.5f}}, 0.2f, 0.6f, 0.5f));
  });
  p.ExpectSameVR();

  p.Both([&](Engine3D& e) { EXPECT_EQ(e.AttachVolumeData(phase.data), 1); });
  p.ExpectSameVR(1);
  p.Both([](Engine3D& e) { e.AdjustColor(-40); });  // attached octrees follow the palette
  p.ExpectSameVR(1);

  p.Both([](Engine3D& e) {
    e.SetRenderType(V3RENDER_VE);
    e.StepOrigin(-3);
  });
  std::vector<uint32_t> a(48 * 40), b(48 * 40);
  ASSERT_TRUE(p.cpu.ImagingVE(40, 48, a.data(), 70, false, nullptr));
  ASSERT_TRUE(p.gpu.ImagingVE(40, 48, b.data(), 70, false, nullptr));
  EXPECT_EQ(a, b);
  EXPECT_GT(p.emulated->device.Outstanding(), 0u);  // the GPU path really ran
}

TEST(GpuRenderer, FailedAllocationsFallBackToTheCpuWithoutLeaks) {
  TestVolume v = NoisyPhantom(5);
  for (int failAfter : {0, 3, 40}) {
    Pair p;
    p.Init(v.data);
    ASSERT_TRUE(p.gpu.SetGPUEnabled(true));
    p.emulated->device.FailAllocationAfter(failAfter);
    p.ExpectSameVR();
    p.emulated->device.FailAllocationAfter(-1);
    p.ExpectSameVR();  // the next frame uploads again
  }
  // Once the upload worked, a frame whose image cannot be mirrored still comes from the CPU.
  Pair p;
  p.Init(v.data);
  ASSERT_TRUE(p.gpu.SetGPUEnabled(true));
  p.ExpectSameVR();
  p.emulated->device.FailAllocationAfter(0);
  p.ExpectSameVR();
  p.gpu.Clear();
  EXPECT_EQ(p.emulated->device.Outstanding(), 0u);
}

TEST(GpuRenderer, DirectUseOfTheRenderer) {
  HostDevice device;
  TestVolume v = NoisyPhantom(6);
  voxtest::TestMask mask(v.data);
  VolumePalette palette{};
  {
    Cuda3D gpu(&device);
    EXPECT_TRUE(gpu.SupportCuda());
    uint32_t pixel = 0;
    V3ImageRGB image{};
    image.pixels = &pixel;
    image.width = image.height = 1;
    EXPECT_FALSE(gpu.ImagingVR(&image, 0));  // nothing uploaded
    // No label table: the upload works but nothing can be rendered.
    ASSERT_TRUE(gpu.InitData(v.data, mask.data, palette));
    EXPECT_FALSE(gpu.ImagingVR(&image, 0));
    BuildLabelPalette(palette, MakePalette({{300, 0xFFFFFF, 0.5f}, {1400, 0xFFFFFF, 1}}), 0);
    ASSERT_TRUE(gpu.SetPalette(palette));
    // Pixels outside the screen rectangle stay as they were.
    std::vector<uint32_t> pixels(64 * 64, 0x12345678);
    image.pixels = pixels.data();
    image.width = image.height = 64;
    image.rowSpacing = image.columnSpacing = 1;
    image.right[0] = 1, image.down[2] = -1;
    image.corner[0] = -10, image.corner[1] = -50, image.corner[2] = 45;
    ASSERT_TRUE(gpu.ImagingVR(&image, 0));
    EXPECT_EQ(pixels[0], 0x12345678u);
    EXPECT_TRUE(
        std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0x12345678u && p != 0; }));
    TestVolume other(40, 36, 29);
    EXPECT_EQ(gpu.AttachVolumeData(other.data), 0);
    EXPECT_EQ(gpu.AttachVolumeData(v.data), 1);
    EXPECT_EQ(gpu.AttachVolumeData(v.data), 2);
  }
  EXPECT_EQ(device.Outstanding(), 0u);
  FreeVolumePalette(palette);
}

}  // namespace
