// The data side of the 3D/MPR control: volumes from series, phase volumes, oblique planes from
// slab lines, slab lines from the host, colour presets.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "DicomFixtures.h"
#include "IImageData.h"
#include "ISODcmDataCenter.h"
#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "ISOGraphic.h"
#include "SOImageObject.h"
#include "TestSupport.h"
#include "VolumeTestUtil.h"
#include "VisualVolume.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using volume_test::DataCenter;
using volume_test::SmallCt;

TEST(VisualVolume, ASeriesLendsItsFramesAndAMultiFrameImageIsCopied) {
  DataCenter data;
  const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("vv"), SmallCt(5));
  ISODcmSeries* series = data.Load(written.files[0].parent_path(), written.seriesUid);
  ASSERT_NE(series, nullptr);
  VisualVolume volume;
  ASSERT_TRUE(volume.Build(series)) << volume.GetError();
  const V3VolumeData& v = volume.GetVolume();
  EXPECT_EQ(v.dims[0], 12);
  EXPECT_EQ(v.dims[1], 16);
  EXPECT_EQ(v.dims[2], 5);
  EXPECT_FLOAT_EQ(v.spacing[0], 0.8f);
  EXPECT_FLOAT_EQ(v.spacing[1], 0.5f);
  EXPECT_FLOAT_EQ(v.spacing[2], 1.25f);
  EXPECT_FLOAT_EQ(v.origin[2], 100.0f);
  EXPECT_FLOAT_EQ(v.orientation[8], 1.0f);
  // Voxels are modality values: the fixture stores them with intercept -1024.
  for (int k = 0; k < 5; ++k) {
    const short* stored = series->GetObjectAt(k)->GetImageData()->GetFramePixelData(0);
    for (int i : {0, 7, 100, 191}) EXPECT_EQ(v.slices[k][i], stored[i] - 1024) << "slice " << k;
  }
  // Instance numbers out of step with the positions: the slices still stack by position.
  fx::CtSeriesOptions shuffled = SmallCt(5);
  shuffled.shuffleInstanceNumbers = true;
  shuffled.storedValue = [](int slice, int, int) { return 1000 + 10 * slice; };
  const auto out = fx::WriteCtSeries(orvanta::test::MakeTempDir("vvs"), shuffled);
  ASSERT_NE(out.instanceNumbers, std::vector<int>({1, 2, 3, 4, 5}));
  DataCenter unordered;
  ISODcmSeries* mixed = unordered.Load(out.files[0].parent_path(), out.seriesUid);
  ASSERT_NE(mixed, nullptr);
  ASSERT_TRUE(volume.Build(mixed)) << volume.GetError();
  EXPECT_FLOAT_EQ(volume.GetVolume().spacing[2], 1.25f);
  EXPECT_FLOAT_EQ(volume.GetVolume().origin[2], 100.0f);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(volume.GetVolume().slices[k][0], 10 * k - 24) << "slice " << k;

  fx::EnhancedCtOptions e;
  e.frames = 6;
  e.rows = 20;
  e.columns = 24;
  const fs::path file = fx::WriteEnhancedCt(orvanta::test::MakeTempDir("vv1"), e);
  DataCenter one;
  one.dc->LoadFolder(file.parent_path().c_str());
  ISODcmSeries* multi = one.dc->GetStudyAt(0)->GetSeriesAt(0);
  ASSERT_EQ(multi->GetObjectCount(), 1);
  ASSERT_TRUE(volume.Build(multi)) << volume.GetError();
  const V3VolumeData& m = volume.GetVolume();
  EXPECT_EQ(m.dims[0], 24);
  EXPECT_EQ(m.dims[1], 20);
  EXPECT_EQ(m.dims[2], 6);
  EXPECT_FLOAT_EQ(m.spacing[0], 0.7f);
  EXPECT_FLOAT_EQ(m.spacing[1], 0.6f);
  EXPECT_FLOAT_EQ(m.spacing[2], 2.0f);
  IImageData* frames = multi->GetObjectAt(0)->GetImageData();
  for (int f = 0; f < 6; ++f) {
    const short* expected = frames->GetFramePixelData(f);
    ASSERT_NE(expected, nullptr);
    for (int i : {0, 13, 240, 479}) EXPECT_EQ(m.slices[f][i], expected[i] - 1024) << "frame " << f;
  }
}

TEST(VisualVolume, RefusesWhatTheEnginesCouldNotReadSafely) {
  struct Case {
    const char* name;
    int slices;
    double sliceSpacing;
    bool mixedSizes;
  } cases[] = {
      {"single image of one frame", 1, 1.25, false},
      {"zero slice spacing", 3, 0.0, false},
      {"rows differ between images", 3, 1.25, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DataCenter data;
    fx::CtSeriesOptions o = SmallCt(c.slices);
    o.sliceSpacing = c.sliceSpacing;
    o.seriesUid = fx::NewUid();
    const fs::path folder = orvanta::test::MakeTempDir("vvbad");
    fx::WriteCtSeries(folder / "a", o);
    if (c.mixedSizes) {
      fx::CtSeriesOptions larger = o;
      larger.rows = 20;
      larger.slices = 1;
      larger.origin[2] = 90;  // sorts in the middle of the series
      larger.studyUid = data.Load(folder / "a", o.seriesUid)->GetStudy()->GetStudyInstanceUID();
      fx::WriteCtSeries(folder / "b", larger);
    }
    ISODcmSeries* series = data.Load(folder, o.seriesUid);
    ASSERT_NE(series, nullptr);
    VisualVolume volume;
    EXPECT_FALSE(volume.Build(series));
    EXPECT_FALSE(volume.HasVolume());
    EXPECT_FALSE(volume.GetError().empty());
  }
  VisualVolume none;
  EXPECT_FALSE(none.Build(nullptr));
}

TEST(VisualVolume, PhasesKeepOnlySeriesOfTheVolumesSize) {
  DataCenter data;
  const fs::path folder = orvanta::test::MakeTempDir("vvphases");
  fx::CtSeriesOptions o = SmallCt(4);
  o.studyUid = fx::NewUid();
  for (int phase = 0; phase < 3; ++phase) {
    o.seriesUid = fx::NewUid();
    fx::WriteCtSeries(folder / std::to_string(phase), o);
  }
  fx::CtSeriesOptions other = SmallCt(4, 20);
  other.studyUid = o.studyUid;
  fx::WriteCtSeries(folder / "other", other);
  data.dc->LoadFolder(folder.c_str());
  ISODcmStudy* study = data.dc->GetStudyAt(0);
  ASSERT_EQ(study->GetSeriesCount(), 4);
  VisualVolume volume;
  ASSERT_TRUE(volume.Build(study->GetSeriesAt(0)) || volume.Build(study->GetSeriesAt(1)));
  const std::vector<V3VolumeData> phases = volume.BuildPhases(study);
  ASSERT_EQ(phases.size(), 3u);
  EXPECT_EQ(volume.GetPhaseCount(), 3);
  for (const V3VolumeData& p : phases) {
    EXPECT_EQ(p.dims[1], 16);
    EXPECT_EQ(p.slices[3][7], volume.GetVolume().slices[3][7]);  // same phantom, same values
  }
  volume.ReleasePhases();
  EXPECT_EQ(volume.GetPhaseCount(), 0);
}

TEST(VisualVolume, SlabLinesBecomeSquarePlanesStepApart) {
  DataCenter data;
  const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("vvslab"), SmallCt(3, 64, 64));
  ISODcmSeries* series = data.Load(written.files[0].parent_path(), written.seriesUid);
  ASSERT_NE(series, nullptr);
  SOImageObject image;
  image.SetDcmObject(series->GetObjectAt(1), 0);
  ISOGraphicMgr* graphics = image.GetGraphicMgr();
  graphics->SetDefaultSlicesParam(2.0, 5.0);
  // From row 10 to row 30 at 0.5 mm: 10 mm, so three lines 5 mm apart.
  ASSERT_NE(graphics->AddSlices(SOPointF{32, 10}, SOPointF{32, 30}), nullptr);
  float thickness = 0;
  const std::vector<V3SliceParam> planes = VisualVolume::SlabPlanes(&image, thickness);
  ASSERT_EQ(planes.size(), 3u);
  EXPECT_FLOAT_EQ(thickness, 2.0f);
  const SOGraphicValues& s = graphics->GetGraphicAt(0)->GetData()->values;
  for (int j = 0; j < 3; ++j) {
    const V3SliceParam& p = planes[j];
    EXPECT_EQ(p.fieldOfView, s.fov);
    // Canonical directions: the line along +x, the image normal turned to point down (-z).
    EXPECT_NEAR(p.right[0], 1, 1e-9);
    EXPECT_NEAR(p.down[2], -1, 1e-9);
    for (int k = 0; k < 3; ++k) {
      const double expected = s.slabCenter[k] - p.right[k] * (s.fov / 2) - p.down[k] * (s.fov / 2) +
                              s.stepDirection[k] * 5.0 * j;
      EXPECT_NEAR(p.corner[k], expected, 1e-9) << "plane " << j << " axis " << k;
    }
  }
  EXPECT_NEAR(std::hypot(planes[1].corner[0] - planes[0].corner[0], planes[1].corner[1] - planes[0].corner[1],
                         planes[1].corner[2] - planes[0].corner[2]),
              5.0, 1e-9);
  graphics->DeleteAllSlices();
  EXPECT_TRUE(VisualVolume::SlabPlanes(&image, thickness).empty());
  EXPECT_FLOAT_EQ(thickness, 1.0f);
}

TEST(VisualVolume, HostSlabLinesAndColourPresets) {
  DataCenter data;
  const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("vvadd"), SmallCt(3, 60, 40));
  ISODcmSeries* series = data.Load(written.files[0].parent_path(), written.seriesUid);
  ASSERT_NE(series, nullptr);
  SOImageObject image;
  image.SetDcmObject(series->GetObjectAt(0), 0);
  EXPECT_EQ(VisualVolume::AddSlices(&image, 0), -1);
  EXPECT_EQ(VisualVolume::AddSlices(nullptr, 2), -1);
  EXPECT_EQ(VisualVolume::AddSlices(&image, 2), 0);
  ISOGraphicMgr* graphics = image.GetGraphicMgr();
  ASSERT_EQ(graphics->GetCount(), 2);
  EXPECT_EQ(graphics->GetSelected(), graphics->GetGraphicAt(0));
  // Rows 60: the first line at row 10, the next (10 * 4 / 2) = 20 rows lower.
  EXPECT_FLOAT_EQ(graphics->GetGraphicAt(0)->GetPoints()->GetValue(0).y, 10);
  EXPECT_FLOAT_EQ(graphics->GetGraphicAt(1)->GetPoints()->GetValue(0).y, 30);
  EXPECT_FLOAT_EQ(graphics->GetGraphicAt(1)->GetPoints()->GetValue(0).x, 20);
  EXPECT_FALSE(VisualVolume::AddSlices(&image, std::vector<std::string>{}));
  ASSERT_TRUE(VisualVolume::AddSlices(&image, std::vector<std::string>{"L1", "L2", "L3"}));
  EXPECT_STREQ(graphics->GetGraphicAt(4)->GetTitle()->c_str(), "L3");

  V3Palette palette;
  ASSERT_TRUE(VisualVolume::ColorPreset(2, palette));
  ASSERT_EQ(palette.points.count, 3u);
  EXPECT_EQ(palette.points.data[2].value, -450);
  EXPECT_EQ(palette.points.data[2].color, 0x800080u);
  EXPECT_FLOAT_EQ(palette.diffuse, 0.816f);
  ASSERT_TRUE(VisualVolume::ColorPreset(3, palette));
  EXPECT_EQ(palette.points.count, 7u);
  EXPECT_FALSE(VisualVolume::ColorPreset(4, palette));
  EXPECT_EQ(palette.points.count, 7u);
}

}  // namespace
