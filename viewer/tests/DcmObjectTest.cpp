#include <gtest/gtest.h>

#include <vector>

#include "DicomFixtures.h"
#include "IImageData.h"
#include "SODcmObject.h"
#include "SOString.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

constexpr unsigned long kSliceThickness = 0x00180050;
constexpr unsigned long kPerFrame = 0x52009230;
constexpr unsigned long kShared = 0x52009229;
constexpr unsigned long kValueTransform = 0x00289145;

std::unique_ptr<SODcmFile> Load(const fs::path& path) {
  auto file = std::make_unique<SODcmFile>();
  EXPECT_TRUE(file->LoadFile(path.c_str(), true)) << path;
  return file;
}

}  // namespace

TEST(DcmObject, EnhancedCtReadsFrameGeometryFromPerFrameThenSharedGroups) {
  fs::path dir = orvanta::test::MakeTempDir("enh");
  fs::path path = fx::WriteEnhancedCt(dir);
  auto file = Load(path);

  SODcmObject object;
  object.SetDcmFile(file.get(), 5);
  EXPECT_EQ(object.GetFrameIndex(), 5u);
  EXPECT_DOUBLE_EQ(object.GetWindowCenter(), 90);
  EXPECT_DOUBLE_EQ(object.GetWindowWidth(), 400);
  EXPECT_DOUBLE_EQ(object.GetPixelSpacing()[0], 0.6);
  EXPECT_DOUBLE_EQ(object.GetPixelSpacing()[1], 0.7);
  EXPECT_DOUBLE_EQ(object.GetImagePositionPatient()[2], 60);
  EXPECT_DOUBLE_EQ(object.GetImageOrientationPatient()[0], 1);
  EXPECT_DOUBLE_EQ(object.GetImageOrientationPatient()[4], 1);
  EXPECT_DOUBLE_EQ(object.GetRescaleIntercept(), -1024);
  EXPECT_EQ(object.GetRows(), 64);

  // A frame past the end keeps the frame bound before.
  object.SetDcmFile(file.get(), 12);
  EXPECT_EQ(object.GetFrameIndex(), 5u);

  IImageData* data = object.GetImageData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetFrameCount(), 12);
  EXPECT_EQ(data->GetPhotometric(), 1);
  double center = 0, width = 0, spacing[2] = {}, position[3] = {};
  EXPECT_TRUE(data->GetFrameWindow(&center, &width, 3));
  EXPECT_DOUBLE_EQ(center, 70);
  EXPECT_TRUE(data->GetFramePixelSpacing(spacing, 7));
  EXPECT_DOUBLE_EQ(spacing[1], 0.7);
  EXPECT_TRUE(object.GetImagePositionPatient(position, 11));
  EXPECT_DOUBLE_EQ(position[2], 72);
  EXPECT_FALSE(data->GetFrameWindow(&center, &width, 12));

  short* pixels = data->GetFramePixelData(2);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels[10 * 64 + 20], fx::CtStoredValue(2, 10, 20, 64, 64));
  EXPECT_EQ(pixels[32 * 64 + 32], fx::CtStoredValue(2, 32, 32, 64, 64));
}

TEST(DcmObject, AttributeLookupPrefersTheFramesItem) {
  fs::path path = fx::WriteEnhancedCt(orvanta::test::MakeTempDir("attr"));
  auto file = Load(path);
  SODcmDataset* ds = file->GetDataset();
  ds->SetString(kSliceThickness, "9");
  SODcmDataset item;
  ASSERT_TRUE(ds->GetSequenceItem(kPerFrame, 4, item));
  item.SetString(kSliceThickness, "3");

  SODcmObject object;
  double value = 0;
  object.SetDcmFile(file.get(), 4);
  EXPECT_TRUE(object.GetAttributeValue(kSliceThickness, value, 0));
  EXPECT_DOUBLE_EQ(value, 3);
  SODcmObject other;
  other.SetDcmFile(file.get(), 1);
  EXPECT_TRUE(other.GetAttributeValue(kSliceThickness, value, 0));
  EXPECT_DOUBLE_EQ(value, 9);
  int frames = 0;
  EXPECT_TRUE(other.GetAttributeValue(0x00280008, frames, 0));
  EXPECT_EQ(frames, 12);
  int untouched = 77;
  EXPECT_FALSE(other.GetAttributeValue(0x00081030, untouched, 0));
  EXPECT_EQ(untouched, 77);
  SOString text;
  EXPECT_TRUE(other.GetAttributeValue(0x00080060, text, 0));
  EXPECT_EQ(text, "CT");
}

TEST(DcmObject, RescaleSearchOrder) {
  // Where slope and intercept sit: per-frame item, shared item, top level.
  struct Case {
    const char* name;
    const char* perFrameSlope;
    const char* perFrameIntercept;
    const char* sharedSlope;
    const char* sharedIntercept;
    const char* topIntercept;
    double slope, intercept;
  } cases[] = {
      {"shared only", nullptr, nullptr, "2", "-1000", nullptr, 2, -1000},
      {"per frame wins", "3", "-500", "2", "-1000", nullptr, 3, -500},
      {"slope without intercept yields", "4", nullptr, "2", "-1000", nullptr, 2, -1000},
      {"top level last", nullptr, nullptr, nullptr, nullptr, "-7", 1, -7},
      {"nothing", nullptr, nullptr, nullptr, nullptr, nullptr, 1, 0},
  };
  fs::path path = fx::WriteEnhancedCt(orvanta::test::MakeTempDir("rescale"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto file = Load(path);
    SODcmDataset* ds = file->GetDataset();
    SODcmDataset shared, sharedTransform, frame, frameTransform;
    ASSERT_TRUE(ds->GetSequenceItem(kShared, 0, shared));
    shared.DeleteAttribute(kValueTransform);
    ASSERT_TRUE(ds->GetSequenceItem(kPerFrame, 0, frame));
    if (c.sharedSlope) {
      ASSERT_TRUE(shared.GetOrCreateSequenceItem(kValueTransform, 0, sharedTransform));
      sharedTransform.SetString(0x00281053, c.sharedSlope);
      sharedTransform.SetString(0x00281052, c.sharedIntercept);
    }
    if (c.perFrameSlope) {
      ASSERT_TRUE(frame.GetOrCreateSequenceItem(kValueTransform, 0, frameTransform));
      frameTransform.SetString(0x00281053, c.perFrameSlope);
      if (c.perFrameIntercept) frameTransform.SetString(0x00281052, c.perFrameIntercept);
    }
    if (c.topIntercept) ds->SetString(0x00281052, c.topIntercept);
    SODcmObject object;
    object.SetDcmFile(file.get(), 0);
    EXPECT_DOUBLE_EQ(object.GetRescaleSlope(), c.slope);
    EXPECT_DOUBLE_EQ(object.GetRescaleIntercept(), c.intercept);
  }
}

TEST(DcmObject, RgbPixelsHonourPlanarConfigurationFramesAndTruncation) {
  fs::path dir = orvanta::test::MakeTempDir("rgb");
  auto rgb = Load(fx::WriteRgbImage(dir, 48, 64));
  auto expected = [](int r, int c, int shift) -> unsigned long {
    return (static_cast<unsigned long>(((c + shift) % 64) * 255 / 63) << 16) | ((r * 255 / 47) << 8) | 128;
  };

  SODcmObject object;
  object.SetDcmFile(rgb.get(), 0);
  const unsigned long* words = object.GetPixelDataRGB();
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(words[0], expected(0, 0, 0));
  EXPECT_EQ(words[47 * 64 + 63], expected(47, 63, 0));
  EXPECT_EQ(words[20 * 64 + 30], expected(20, 30, 0));

  // The same pixels stored plane by plane.
  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  ASSERT_TRUE(rgb->GetDataset()->GetUint8Array(0x7FE00010, bytes, count));
  std::vector<unsigned char> interleaved(bytes, bytes + count), planar(count);
  const int n = 48 * 64;
  for (int i = 0; i < n; ++i)
    for (int s = 0; s < 3; ++s) planar[s * n + i] = interleaved[3 * i + s];
  auto planarFile = Load(fx::WriteRgbImage(dir, 48, 64));
  planarFile->GetDataset()->SetUint8Array(0x7FE00010, planar.data(), planar.size());
  planarFile->GetDataset()->SetUint16(0x00280006, 1);
  SODcmObject planarObject;
  planarObject.SetDcmFile(planarFile.get(), 0);
  ASSERT_NE(planarObject.GetPixelDataRGB(), nullptr);
  EXPECT_EQ(std::vector<unsigned long>(planarObject.GetPixelDataRGB(), planarObject.GetPixelDataRGB() + n),
            std::vector<unsigned long>(words, words + n));

  // Frame k of a clip; rebinding drops the old buffer.
  auto clip = Load(fx::WriteRgbClip(dir, 30, 48, 64));
  object.SetDcmFile(clip.get(), 7);
  words = object.GetPixelDataRGB();
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(words[5 * 64 + 10], expected(5, 10, 7));

  // Truncated data is converted as far as it goes and never over-read.
  auto truncated = Load(fx::WriteRgbImage(dir, 48, 64));
  truncated->GetDataset()->SetUint8Array(0x7FE00010, interleaved.data(), 301);
  SODcmObject cut;
  cut.SetDcmFile(truncated.get(), 0);
  words = cut.GetPixelDataRGB();
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(words[99], expected(1, 35, 0));
  EXPECT_EQ(words[100], 0u);

  // 16 bits per sample is not this buffer's kind.
  auto wide = Load(fx::WriteRgbImage(dir, 48, 64));
  wide->GetDataset()->SetUint16(0x00280100, 16);
  SODcmObject wideObject;
  wideObject.SetDcmFile(wide.get(), 0);
  EXPECT_EQ(wideObject.GetPixelDataRGB(), nullptr);

  const unsigned long builder[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  SODcmObject built;
  built.SetPixelDataRGB(builder, 3, 5);
  EXPECT_EQ(built.GetRows(), 3);
  EXPECT_EQ(built.GetColumns(), 5);
  EXPECT_EQ(built.GetPixelDataRGB()[14], 15u);
}

TEST(ImageData, SingleFrameCopiesAndFrameRecords) {
  fs::path dir = orvanta::test::MakeTempDir("single");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = 20;
  options.columns = 30;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);
  SODcmObject object;
  ASSERT_TRUE(object.ParseDcmFile(series.files[0].c_str(), false));
  EXPECT_DOUBLE_EQ(object.GetRescaleIntercept(), -1024);
  EXPECT_DOUBLE_EQ(object.GetPixelSpacing()[1], 0.8);
  IImageData* data = object.GetImageData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetFrameCount(), 1);
  double center, width;
  EXPECT_TRUE(data->GetFrameWindow(&center, &width, 0));
  EXPECT_FALSE(data->GetFrameWindow(&center, &width, 1));

  std::vector<short> uncached(600, -1), cached(600, -1), shortBuffer(599, -5);
  EXPECT_FALSE(data->CopyFramePixelData(shortBuffer.data(), 599, 0));
  EXPECT_EQ(shortBuffer, std::vector<short>(599, -5));
  EXPECT_FALSE(data->CopyFramePixelData(nullptr, 600, 0));
  EXPECT_TRUE(data->CopyFramePixelData(uncached.data(), 600, 0));
  ASSERT_NE(data->GetFramePixelData(0), nullptr);
  EXPECT_TRUE(data->CopyFramePixelData(cached.data(), 600, 0));
  EXPECT_EQ(cached, uncached);
  EXPECT_EQ(uncached[5 * 30 + 7], fx::CtStoredValue(0, 5, 7, 20, 30));
  EXPECT_EQ(data->GetFramePixelDataRGB(0), nullptr);

  SODcmObject report;
  EXPECT_TRUE(report.ParseDcmFile(fx::WriteBasicTextSr(dir).c_str(), false));
  EXPECT_EQ(report.GetImageData(), nullptr);
  SODcmObject noUids;
  EXPECT_FALSE(noUids.ParseDcmFile(fx::WriteHostileFile(dir, fx::Hostile::MissingUids).c_str(), false));
  EXPECT_GT(noUids.GetRows(), 0);
}

TEST(ImageData, RealFilesFromOtherProducers) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  fs::path ybr = orvanta::test::PydicomFile("SC_ybr_full_422_uncompressed.dcm");
  if (ct.empty() || ybr.empty()) GTEST_SKIP() << "pydicom test files missing";
  SODcmObject object;
  ASSERT_TRUE(object.ParseDcmFile(ct.c_str(), false));
  EXPECT_EQ(object.GetRows(), 128);
  EXPECT_GT(object.GetPixelSpacing()[0], 0);
  ASSERT_NE(object.GetImageData(), nullptr);
  EXPECT_NE(object.GetImageData()->GetFramePixelData(0), nullptr);
  SODcmObject colour;
  ASSERT_TRUE(colour.ParseDcmFile(ybr.c_str(), false));
  ASSERT_NE(colour.GetImageData(), nullptr);
  EXPECT_EQ(colour.GetImageData()->GetPhotometric(), 0);
  EXPECT_TRUE(colour.GetImageData()->IsColor());
}
