#include <gtest/gtest.h>

#include <vector>

#include "CUDA_Data.h"
#include "CUDA_Octree.h"
#include "Cuda3D.h"
#include "HostDevice.h"

namespace {

TEST(Nimbrel, NoDriverMeansNoGpu) {
  Cuda3D gpu;  // the CUDA runtime without a driver, or no device backend at all
  EXPECT_FALSE(gpu.SupportCuda());
  V3VolumeData v{};
  V3VolumeMark m{};
  VolumePalette p{};
  EXPECT_FALSE(gpu.InitData(v, m, p));
}

TEST(Nimbrel, MirrorsRoundTripAndFreeEverything) {
  HostDevice dev;
  {
    std::vector<int16_t> a(6 * 5, 7), b(6 * 5, 9);
    int16_t* slices[2] = {a.data(), b.data()};
    V3VolumeData v{slices, {6, 5, 2}, {1, 1, 1}, {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
    V3VolumeData mirror{};
    VolumeParam param{};
    ASSERT_TRUE(UploadVolume(dev, mirror, &param, &v));
    EXPECT_FLOAT_EQ(param.sampleMax[0], 3.99f);
    int16_t* table[2];
    ASSERT_TRUE(dev.CopyToHost(table, mirror.slices, sizeof table));
    EXPECT_EQ(table[1][4], 9);
    EXPECT_NE(table[1], b.data());
    V3VolumeData bad = v;
    bad.dims[2] = 0;
    EXPECT_FALSE(UploadVolume(dev, mirror, nullptr, &bad));
    EXPECT_EQ(mirror.slices, nullptr);
    EXPECT_EQ(dev.Outstanding(), 0u);

    // A failure half-way frees what was uploaded.
    dev.FailAllocationAfter(1);
    EXPECT_FALSE(UploadVolume(dev, mirror, nullptr, &v));
    dev.FailAllocationAfter(-1);
    EXPECT_EQ(dev.Outstanding(), 0u);

    ASSERT_TRUE(UploadVolume(dev, mirror, nullptr, &v));
    Octree octree{};
    ASSERT_TRUE(AllocDeviceOctree(dev, mirror, octree, kOctreeLevels));
    EXPECT_FALSE(AllocDeviceOctree(dev, mirror, octree, 3));
    ASSERT_TRUE(AllocDeviceOctree(dev, mirror, octree, kOctreeLevels));
    ASSERT_TRUE(BuildDeviceOctree(dev, mirror, octree));
    EXPECT_EQ(octree.bricks[0].levelNodes[0][0].maxValue, 9);
    EXPECT_TRUE(FreeDeviceOctree(dev, octree));
    UploadVolume(dev, mirror, nullptr, nullptr);
  }
  EXPECT_EQ(dev.Outstanding(), 0u);
}

TEST(Nimbrel, PaletteAndImageMirrors) {
  HostDevice dev;
  uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  float alpha[2] = {0.25f, 0.5f}, combined[2] = {0.25f, 0.5f};
  VolumeLabelPalette label{10, 11, 2, rgb, alpha, 1, true, 0.1f, 0.8f, 0};
  VolumePalette palette{};
  palette.labels[3] = &label;
  palette.base = 10, palette.count = 2, palette.opacity = combined;
  VolumePalette mirror{};
  ASSERT_TRUE(UploadPalette(dev, mirror, &palette));
  VolumeLabelPalette back;
  ASSERT_TRUE(dev.CopyToHost(&back, mirror.labels[3], sizeof back));
  EXPECT_EQ(back.rgb[5], 6);
  EXPECT_FLOAT_EQ(mirror.opacity[1], 0.5f);
  EXPECT_EQ(mirror.labels[0], nullptr);
  EXPECT_FALSE(UploadPalette(dev, mirror, nullptr));
  EXPECT_EQ(dev.Outstanding(), 0u);

  std::vector<uint32_t> pixels(4 * 3, 5), other(2 * 2);
  V3ImageRGB image{};
  image.pixels = pixels.data();
  image.width = 4, image.height = 3;
  V3ImageRGB imageMirror{};
  ASSERT_TRUE(UploadImage(dev, imageMirror, &image));
  uint32_t* kept = imageMirror.pixels;
  ASSERT_TRUE(UploadImage(dev, imageMirror, &image));
  EXPECT_EQ(imageMirror.pixels, kept);  // same size: the buffer stays
  V3ImageRGB small = image;
  small.pixels = other.data(), small.width = small.height = 2;
  EXPECT_FALSE(DownloadImage(dev, imageMirror, &small));
  ASSERT_TRUE(DownloadImage(dev, imageMirror, &image));
  EXPECT_EQ(pixels[11], 5u);
  EXPECT_FALSE(UploadImage(dev, imageMirror, nullptr));
  EXPECT_EQ(dev.Outstanding(), 0u);
}

}  // namespace
