#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DicomFixtures.h"
#include "IImageData.h"
#include "ISOGraphic.h"
#include "RenderSurface.h"
#include "SODcmObject.h"
#include "SODcmUtil.h"
#include "SOImageObjectSR.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using Objects = std::vector<std::unique_ptr<SOImageObject>>;

Objects Make(ISODcmObject* object) {
  Objects owned;
  for (SOImageObject* image : CreateImageObjects(object)) owned.emplace_back(image);
  return owned;
}

}  // namespace

TEST(ImageObjectsOfObject, OnePerFramePresentOrPage) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("objects");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 16;

  SODcmObject ct;
  ASSERT_TRUE(ct.ParseDcmFile(fx::WriteCtSeries(dir, options).files[0].c_str(), false));
  Objects images = Make(&ct);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0]->GetFrameIndex(), 0u);
  EXPECT_EQ(images[0]->GetDcmObject(), &ct);

  SODcmObject clip;
  ASSERT_TRUE(clip.ParseDcmFile(fx::WriteRgbClip(dir, 30, 8, 8).c_str(), false));
  images = Make(&clip);
  ASSERT_EQ(images.size(), 30u);
  EXPECT_EQ(images[29]->GetFrameIndex(), 29u);

  // A header that claims far more frames than the file holds.
  SODcmObject absurd;
  absurd.ParseDcmFile(fx::WriteHostileFile(dir, fx::Hostile::AbsurdDimensions).c_str(), false);
  EXPECT_LE(Make(&absurd).size(), 1u);

  auto truncatedClip = std::make_unique<SODcmFile>();
  ASSERT_TRUE(truncatedClip->LoadFile(fx::WriteRgbClip(dir, 30, 8, 8).c_str(), true));
  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  ASSERT_TRUE(truncatedClip->GetDataset()->GetUint8Array(0x7FE00010, bytes, count));
  std::vector<unsigned char> firstFrames(bytes, bytes + 8 * 8 * 3 * 12);
  truncatedClip->GetDataset()->SetUint8Array(0x7FE00010, firstFrames.data(), firstFrames.size());
  SODcmObject twelve;
  twelve.SetDcmFile(truncatedClip.get(), 0);
  EXPECT_EQ(Make(&twelve).size(), 12u);

  SODcmObject nothing;
  EXPECT_TRUE(Make(&nothing).empty());
  EXPECT_TRUE(Make(nullptr).empty());
}

TEST(ImageObjectsOfObject, ReportPagesAndTheirPresentation) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("sr");
  fx::SrOptions options;
  options.finding.clear();
  for (int i = 0; i < 400; ++i)
    options.finding += "Finding line " + std::to_string(i) + " of a long report. ";
  SODcmObject report;
  ASSERT_TRUE(report.ParseDcmFile(fx::WriteBasicTextSr(dir, options).c_str(), false));
  std::string text;
  ASSERT_TRUE(SODcmUtil::GetSRContentUTF8(report.GetDcmFile()->GetDataset(), text));
  std::vector<std::wstring> pages = SODcmUtil::GetSRPages(text);
  ASSERT_GT(pages.size(), 1u);

  Objects images = Make(&report);
  ASSERT_EQ(images.size(), pages.size());
  SOImageObject& last = *images.back();
  EXPECT_EQ(last.GetFrameIndex(), pages.size() - 1);
  const SOImagePresentationState& s = last.GetImagePresentationState();
  EXPECT_DOUBLE_EQ(s.windowWidth, 255);
  EXPECT_DOUBLE_EQ(s.windowCenter, 127);
  EXPECT_FLOAT_EQ(s.matrix.m00, 1);
  EXPECT_TRUE(last.HasPixelData());
}

TEST(ImageObjectsOfObject, RealFilesDrawInEveryEncoding) {
  orvanta::test::EnsureQtApp();
  struct Case {
    const char* name;
    size_t frames;
    bool color;
  } cases[] = {
      {"CT_small.dcm", 1, false},           {"MR_small.dcm", 1, false},
      {"MR_small_RLE.dcm", 1, false},       {"MR_small_jpeg_ls_lossless.dcm", 1, false},
      {"MR_small_bigendian.dcm", 1, false}, {"JPEG2000.dcm", 1, false},
      {"SC_rgb_small_odd.dcm", 1, true},    {"SC_rgb_rle_2frame.dcm", 2, true},
      {"SC_rgb_jpeg_dcmtk.dcm", 1, true},
  };
  int seen = 0;
  for (const Case& c : cases) {
    fs::path path = orvanta::test::PydicomFile(c.name);
    if (path.empty()) continue;
    SCOPED_TRACE(c.name);
    ++seen;
    SODcmObject object;
    ASSERT_TRUE(object.ParseDcmFile(path.c_str(), false));
    Objects images = Make(&object);
    ASSERT_EQ(images.size(), c.frames);
    SOImageObject& last = *images.back();
    RenderSurface surface(object.GetColumns(), object.GetRows());
    ASSERT_TRUE(last.DrawImage(surface.dc(), surface.rect(), false));
    const uint32_t centre = surface.At(object.GetColumns() / 2, object.GetRows() / 2);
    const bool grey = ((centre >> 16) & 0xFF) == (centre & 0xFF) && ((centre >> 8) & 0xFF) == (centre & 0xFF);
    EXPECT_EQ(grey, !c.color);
  }
  if (seen == 0) GTEST_SKIP() << "pydicom test files missing";
}

TEST(ImageObjectsOfObject, HostileFilesNeverCrash) {
  // Odd values parse and draw; absurd dimensions parse but draw nothing; a file without its UIDs
  // does not parse but its pixels still draw; a file cut in its header or pixel data does neither.
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("hostile");
  const std::vector<fs::path> files = fx::WriteHostileFiles(dir);
  for (size_t kind = 0; kind < files.size(); ++kind) {
    SCOPED_TRACE(files[kind].string());
    const auto hostile = static_cast<fx::Hostile>(kind);
    const bool parses = hostile != fx::Hostile::TruncatedHeader && hostile != fx::Hostile::MissingUids &&
                        hostile != fx::Hostile::TruncatedPixelData;
    const bool draws = hostile != fx::Hostile::TruncatedHeader && hostile != fx::Hostile::TruncatedPixelData &&
                       hostile != fx::Hostile::AbsurdDimensions;
    SODcmObject object;
    EXPECT_EQ(object.ParseDcmFile(files[kind].c_str(), false), parses);
    object.GetPixelDataRGB();
    if (IImageData* data = object.GetImageData()) data->GetFramePixelData(data->GetFrameCount() - 1);
    auto images = Make(&object);
    if (draws) EXPECT_FALSE(images.empty());
    for (auto& image : images) {
      RenderSurface surface(64, 64);
      EXPECT_EQ(image->DrawImage(surface.dc(), surface.rect(), false), draws);
      image->GetGraphicMgr()->AddRectangle({1, 1}, 30, 30);
    }
  }
}
