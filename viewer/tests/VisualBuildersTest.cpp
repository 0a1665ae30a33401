// The MPR and VR builders of the 3D/MPR control on a sphere phantom held in memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Engine3D.h"
#include "MPRBuilder.h"
#include "SODcmFile.h"
#include "SODcmObject.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow.h"
#include "VRBuilder.h"
#include "ViewerUiTestUtil.h"

namespace {

// A 64^3 grid at 1 mm with a bright sphere (1000) of radius 12 at its centre on -1000 air.
struct Phantom {
  static constexpr int N = 64;
  std::vector<int16_t> voxels = std::vector<int16_t>(size_t(N) * N * N, -1000);
  std::vector<int16_t*> slices = std::vector<int16_t*>(N);
  V3VolumeData volume{};
  SODcmFile source;

  Phantom() {
    for (int z = 0; z < N; ++z) {
      slices[z] = voxels.data() + size_t(N) * N * z;
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const int dx = x - 32, dy = y - 32, dz = z - 32;
          if (dx * dx + dy * dy + dz * dz <= 144) slices[z][x + y * N] = 1000;
        }
    }
    volume.slices = slices.data();
    for (int i = 0; i < 3; ++i) volume.dims[i] = N, volume.spacing[i] = 1.0f, volume.origin[i] = 0;
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(identity, identity + 9, volume.orientation);
    SODcmDataset* d = source.GetDataset();
    d->SetString(0x00100010, "PHANTOM^ONE");
    d->SetString(0x0020000D, "1.2.3.4");
    d->SetString(0x00080060, "CT");
    d->SetString(0x00281050, "40");
    d->SetString(0x00281051, "400");
    d->SetString(0x0008103E, "not copied");
  }
};

int16_t GreyAt(SOImageObjectEx* image, int row, int column) {
  DcmImageInputData* r = image->GetOriginalImagePixelData();
  return reinterpret_cast<const int16_t*>(r->data.data)[row * r->columns + column];
}

// A slab plane through the phantom's centre, normal to y, FOV 64.
V3SliceParam CoronalSlab(double y) { return V3SliceParam{{0, y, 0}, {1, 0, 0}, {0, 0, 1}, 64.0}; }

struct MPRCalls : IMPRBuilderCallback {
  int built = 0, cleared = 0;
  void OnMPRBuilt() override { ++built; }
  void OnMPRCleared() override { ++cleared; }
};

TEST(MPRBuilder, BuildsThreePlanesThroughTheCentreWithThePatientAttributes) {
  Phantom p;
  MPRBuilder mpr;
  MPRCalls calls;
  mpr.RegisterCallback(&calls);
  ASSERT_TRUE(mpr.Build(p.volume, &p.source));
  EXPECT_EQ(calls.built, 1);
  for (SOImageObjectEx* image : {mpr.GetAxialImage(), mpr.GetCoronalImage(), mpr.GetSagittalImage()}) {
    ASSERT_NE(image, nullptr);
    DcmImageInputData* r = image->GetOriginalImagePixelData();
    ASSERT_EQ(r->type, DCM_PIXEL_GRAY16);
    ASSERT_GT(r->rows, 32);
    EXPECT_EQ(GreyAt(image, r->rows / 2, r->columns / 2), 1000);  // inside the sphere
    EXPECT_LT(GreyAt(image, 1, 1), -999);  // air, or the engine's background beyond the grid
    EXPECT_EQ(image->GetDcmObject()->GetRows(), r->rows);
    std::string name;
    SODcmDataset* d = image->GetDcmObject()->GetDcmFile()->GetDataset();
    EXPECT_TRUE(d->GetString(0x00100010, name));
    EXPECT_EQ(name, "PHANTOM^ONE");
    EXPECT_TRUE(d->TagExists(0x0020000D));
    EXPECT_FALSE(d->TagExists(0x0008103E));
    EXPECT_FALSE(d->TagExists(0x7FE00010));
  }
  // The oblique carrier has an empty pixel element and no image until a slab exists.
  SODcmDataset* oblique = mpr.GetObliqueImage()->GetDcmObject()->GetDcmFile()->GetDataset();
  EXPECT_TRUE(oblique->TagExists(0x7FE00010));
  EXPECT_FALSE(oblique->TagExistsWithValue(0x7FE00010));
  mpr.Clear();
  EXPECT_EQ(calls.cleared, 1);
  EXPECT_EQ(mpr.GetAxialImage(), nullptr);
  mpr.Clear();
  EXPECT_EQ(calls.cleared, 1);  // nothing left to clear
}

TEST(MPRBuilder, SlabsWrapAroundAndNumberTheObliqueImage) {
  Phantom p;
  MPRBuilder mpr;
  ASSERT_TRUE(mpr.Build(p.volume, &p.source));
  EXPECT_FALSE(mpr.PrevSlab());
  EXPECT_EQ(mpr.GetSlabIndex(), -1);
  EXPECT_FALSE(mpr.NextSlab());
  EXPECT_EQ(mpr.GetSlabIndex(), -1);

  mpr.SlabList() = {CoronalSlab(10), CoronalSlab(32), CoronalSlab(50)};
  mpr.SetSlabType(MPRBuilder::kSlabPlane);
  mpr.SetSlabIndex(0);
  ASSERT_TRUE(mpr.PrevSlab());
  EXPECT_EQ(mpr.GetSlabIndex(), 2);
  ASSERT_TRUE(mpr.NextSlab());
  EXPECT_EQ(mpr.GetSlabIndex(), 0);
  ASSERT_TRUE(mpr.NextSlab());
  ASSERT_TRUE(mpr.NextSlab());
  EXPECT_EQ(mpr.GetSlabIndex(), 2);
  int number = 0;
  EXPECT_TRUE(mpr.GetObliqueImage()->GetDcmObject()->GetDcmFile()->GetDataset()->GetInt32(0x00200013, number));
  EXPECT_EQ(number, 3);
  mpr.SetSlabIndex(1);
  mpr.UpdateOblique();
  SOImageObjectEx* oblique = mpr.GetObliqueImage();
  DcmImageInputData* r = oblique->GetOriginalImagePixelData();
  ASSERT_EQ(r->type, DCM_PIXEL_GRAY16);
  EXPECT_EQ(GreyAt(oblique, r->rows / 2, r->columns / 2), 1000);
  EXPECT_EQ(oblique->slabType, MPRBuilder::kSlabPlane);
}

TEST(MPRBuilder, SlabProjectionsWaitForTheProjectionEngine) {
  Phantom p;
  MPRBuilder mpr;
  VRBuilder vr;
  ASSERT_TRUE(mpr.Build(p.volume, &p.source));
  // A plane 14 mm off the centre misses the sphere (radius 12); a 40 mm MIP slab reaches it.
  mpr.SlabList() = {CoronalSlab(18)};
  mpr.SetSlabType(MPRBuilder::kSlabMIP);
  mpr.SetSlabThickness(40);
  mpr.UpdateOblique();  // no projection engine yet: nothing, and no crash
  EXPECT_NE(mpr.GetObliqueImage()->GetOriginalImagePixelData()->type, DCM_PIXEL_GRAY16);

  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  mpr.SetProjectionEngine(vr.GetEngine(), &vr.GetEngineLock());
  mpr.UpdateOblique();
  SOImageObjectEx* oblique = mpr.GetObliqueImage();
  DcmImageInputData* r = oblique->GetOriginalImagePixelData();
  ASSERT_EQ(r->type, DCM_PIXEL_GRAY16);
  EXPECT_EQ(GreyAt(oblique, r->rows / 2, r->columns / 2), 1000);
  EXPECT_EQ(oblique->slabType, MPRBuilder::kSlabMIP);
  EXPECT_FLOAT_EQ(oblique->slabThickness, 40.0f);
  mpr.SetSlabType(MPRBuilder::kSlabPlane);
  mpr.UpdateOblique();
  EXPECT_EQ(GreyAt(oblique, r->rows / 2, r->columns / 2), -1000);
}

TEST(MPRBuilder, AWindowChangeOnAnyImageReachesTheOrthogonalOnes) {
  Phantom p;
  MPRBuilder mpr;
  ASSERT_TRUE(mpr.Build(p.volume, &p.source));
  mpr.GetObliqueImage()->WW(-600, 1500);
  for (SOImageObjectEx* image : {mpr.GetAxialImage(), mpr.GetCoronalImage(), mpr.GetSagittalImage()}) {
    EXPECT_EQ(image->GetImagePresentationState().windowCenter, -600);
    EXPECT_EQ(image->GetImagePresentationState().windowWidth, 1500);
  }
  mpr.GetAxialImage()->WW(50, 350);
  EXPECT_EQ(mpr.GetSagittalImage()->GetImagePresentationState().windowWidth, 350);
  EXPECT_EQ(mpr.GetObliqueImage()->GetImagePresentationState().windowWidth, 1500);
}

TEST(MPRBuilder, TheCrossPointMovesThePlanes) {
  Phantom p;
  MPRBuilder mpr;
  ASSERT_TRUE(mpr.Build(p.volume, &p.source));
  double origin[3];
  ASSERT_TRUE(mpr.GetOrigin(origin));
  origin[2] = 2;  // an axial plane far below the sphere
  ASSERT_TRUE(mpr.SetOrigin(origin));
  mpr.Update();
  SOImageObjectEx* axial = mpr.GetAxialImage();
  DcmImageInputData* r = axial->GetOriginalImagePixelData();
  EXPECT_EQ(GreyAt(axial, r->rows / 2, r->columns / 2), -1000);
  EXPECT_DOUBLE_EQ(axial->patientPoint[2], 2);
  EXPECT_NEAR(axial->GetDcmObject()->GetImagePositionPatient()[2], 2, 1e-6);
}

// --- VR builder ---

// Listens to nothing; tests override what they watch.
struct VRCalls : IVRBuilderCallback {
  void OnVolumeBuilt() override {}
  void OnVolumeCleared() override {}
  void OnImageUpdated(ISOImageObject*) override {}
  void OnOriginMoved() override {}
  void OnImagingTypeChanged(int) override {}
  void OnPhaseProgress(int, int) override {}
  void OnPhasesFinished() override {}
};

V3Palette RedPalette() {
  V3Palette palette;
  palette.points.Resize(3);
  palette.points.data[0] = {0, 0xFF0000, 0.0f};
  palette.points.data[1] = {900, 0xFF0000, 1.0f};
  palette.points.data[2] = {1100, 0xFF0000, 1.0f};
  return palette;
}

TEST(VRBuilder, TheImageSizeFollowsTheOwnerWindowAndShrinksWhileInteracting) {
  Phantom p;
  viewer_ui_test::Frame frame(400, 300);
  SOImageWindow small, pane;
  small.Create(frame.GetWindow(), 0, 0, 2, 40);
  pane.Create(frame.GetWindow(), 0, 0, 202, 152);
  VRBuilder vr;
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  struct Case {
    SOImageWindow* owner;
    bool interacting;
    int rows, columns;
  } cases[] = {{nullptr, false, 1024, 1024}, {&small, false, 1024, 1024}, {&pane, false, 150, 200},
               {&pane, true, 37, 50}, {nullptr, true, 256, 256}};
  for (const Case& c : cases) {
    vr.GetResultImage()->ownerWindow = c.owner;
    vr.SetInteracting(c.interacting);
    vr.Render();
    DcmImageInputData* r = vr.GetResultImage()->GetOriginalImagePixelData();
    EXPECT_EQ(r->type, DCM_PIXEL_ARGB32);
    EXPECT_EQ(r->rows, c.rows);
    EXPECT_EQ(r->columns, c.columns);
    // Smaller and larger in turn, the record and the object hold this rendering whole.
    std::vector<uint32_t> expected(size_t(c.rows) * c.columns);
    V3ImageRGB geometry{};
    vr.GetEngine()->Imaging(c.rows, c.columns, expected.data(), false, &geometry, 0);
    ASSERT_GE(r->data.count, expected.size() * 4);
    EXPECT_EQ(std::memcmp(r->data.data, expected.data(), expected.size() * 4), 0);
    const unsigned long* rgb = vr.GetObject()->GetPixelDataRGB();
    const uint32_t last = expected.back();
    EXPECT_EQ(rgb[expected.size() - 1], ((last >> 8) & 0xFFu) << 16 | ((last >> 16) & 0xFFu) << 8 | (last >> 24));
  }
}

TEST(VRBuilder, ColourPixelsKeepTheirChannelsAndAGreyProjectionBeforeAnyColourHasASize) {
  Phantom p;
  VRBuilder vr;
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  vr.GetEngine()->SetPalette(RedPalette());
  vr.Render();
  DcmImageInputData* r = vr.GetResultImage()->GetOriginalImagePixelData();
  const unsigned char* centre = r->data.data + (size_t(512) * r->columns + 512) * 4;  // A, R, G, B
  EXPECT_GT(centre[1], 100);
  EXPECT_EQ(centre[2], 0);
  EXPECT_EQ(centre[3], 0);
  const unsigned long rgb = vr.GetObject()->GetPixelDataRGB()[512 * 1024 + 512];
  EXPECT_EQ(rgb & 0x00FFFF, 0u);
  EXPECT_GT(rgb >> 16, 100u);

  VRBuilder grey;
  grey.SetImagingTypeValue(1);  // MIP from the start: no colour rendering has set a size
  ASSERT_TRUE(grey.Build(p.volume, &p.source));
  SOImageObjectEx* image = grey.GetResultImage();
  r = image->GetOriginalImagePixelData();
  ASSERT_EQ(r->type, DCM_PIXEL_GRAY16);
  ASSERT_EQ(r->rows, 1024);
  EXPECT_EQ(GreyAt(image, 512, 512), 1000);
}

// The clipped modes keep one side of the centre: 2 to 4 the side at or below it along z, x and
// y, 5 to 7 the side at or above it. The only bright voxels are a cube above the centre in x and
// z and below it in y, so each mode shows it or not.
TEST(VRBuilder, ClippedModesKeepTheirSideOfTheCentre) {
  Phantom p;
  std::fill(p.voxels.begin(), p.voxels.end(), int16_t(-1000));
  for (int z = 40; z < 56; ++z)
    for (int y = 8; y < 24; ++y)
      for (int x = 40; x < 56; ++x) p.slices[z][x + y * Phantom::N] = 1000;
  VRBuilder vr;
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  vr.GetEngine()->SetPalette(RedPalette());
  const std::pair<int, bool> cases[] = {{0, true},  {2, false}, {3, false}, {4, true},
                                        {5, true},  {6, true},  {7, false}};
  for (const auto& [mode, shown] : cases) {
    ASSERT_TRUE(vr.SetRenderMode(mode));
    std::vector<uint32_t> pixels(64 * 64);
    V3ImageRGB geometry{};
    ASSERT_TRUE(vr.GetEngine()->Imaging(64, 64, pixels.data(), false, &geometry, 0));
    // Red is the second byte of A, R, G, B.
    const auto lit = std::count_if(pixels.begin(), pixels.end(), [](uint32_t w) { return (w >> 8 & 0xFF) > 50; });
    EXPECT_EQ(lit > 10, shown) << "mode " << mode << ": " << lit;
  }
}

TEST(VRBuilder, ZoomStepsStayWithinTheirRangeAndPerspectiveMovesTheEye) {
  Phantom p;
  viewer_ui_test::Frame frame(400, 300);
  SOImageWindow pane;
  pane.Create(frame.GetWindow(), 0, 0, 34, 34);
  VRBuilder vr;
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  vr.GetResultImage()->ownerWindow = &pane;
  vr.Zoom(1);
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 1.1f);
  vr.Zoom(0);
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 1.1f);
  for (int i = 0; i < 120; ++i) vr.Zoom(1);
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 10.0f);
  for (int i = 0; i < 120; ++i) vr.Zoom(-1);
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 0.1f);

  struct Moves : VRCalls {
    int moved = 0;
    void OnOriginMoved() override { ++moved; }
  } moves;
  vr.RegisterCallback(&moves);
  vr.RegisterCallback(&moves);
  ASSERT_TRUE(vr.SetRenderMode(1));
  double before[3], after[3];
  vr.GetEngine()->GetOrigin(before);
  const int stamp = vr.GetRenderStamp();
  vr.Zoom(1);
  vr.GetEngine()->GetOrigin(after);
  EXPECT_EQ(moves.moved, 1);
  EXPECT_GT(std::abs(after[0] - before[0]) + std::abs(after[1] - before[1]) + std::abs(after[2] - before[2]), 1.0);
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 0.1f);
  EXPECT_EQ(vr.GetRenderStamp(), stamp + 1);
  // An unknown mode keeps the mode and only renders.
  ASSERT_TRUE(vr.SetRenderMode(8));
  EXPECT_EQ(vr.GetRenderMode(), 1);
  EXPECT_EQ(vr.GetRenderStamp(), stamp + 2);
  vr.Clear();
  EXPECT_FLOAT_EQ(vr.GetZoomFactor(), 1.0f);
}

int LitPixels(VRBuilder& vr) {
  DcmImageInputData* r = vr.GetResultImage()->GetOriginalImagePixelData();
  int lit = 0;
  for (uint32_t i = 0; i < r->data.count; i += 4) lit += r->data.data[i + 1] || r->data.data[i + 2] || r->data.data[i + 3];
  return lit;
}

TEST(VRBuilder, AContourCutClearsVoxelsAndClearCutBringsThemBack) {
  Phantom p;
  viewer_ui_test::Frame frame(400, 300);
  SOImageWindow pane;
  pane.Create(frame.GetWindow(), 0, 0, 130, 130);
  VRBuilder vr;
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  vr.GetResultImage()->ownerWindow = &pane;
  vr.GetEngine()->SetPalette(RedPalette());
  vr.Render();
  const int whole = LitPixels(vr);
  ASSERT_GT(whole, 100);
  // A square over the left half of the picture cuts that half of the sphere away.
  vr.CutContour({{0, 0}, {64, 0}, {64, 127}, {0, 127}});
  const int cut = LitPixels(vr);
  EXPECT_LT(cut, whole * 3 / 4);
  EXPECT_GT(cut, whole / 4);
  vr.ClearCut();
  EXPECT_EQ(LitPixels(vr), whole);
  V3VolumeMark* mark = vr.GetEngine()->GetMarkData();
  ASSERT_NE(mark->slices, nullptr);
  for (int z = 0; z < mark->dims[2]; ++z)
    ASSERT_TRUE(std::all_of(mark->slices[z], mark->slices[z] + mark->dims[0] * mark->dims[1], [](uint8_t b) { return b == 0; }));
}

TEST(VRBuilder, PhasesRenderOnlyAfterAFullSizeColourRendering) {
  Phantom p;
  // Declared before the builder, which still calls it back while it clears.
  struct Done : VRCalls {
    std::mutex m;
    std::condition_variable cv;
    int finished = 0;
    void OnPhasesFinished() override {
      std::lock_guard lock(m);
      ++finished;
      cv.notify_all();
    }
  } done;
  VRBuilder vr;
  vr.RegisterCallback(&done);
  ASSERT_TRUE(vr.Build(p.volume, &p.source));
  vr.Builder4D().SetPhases({p.volume, p.volume});
  vr.Set4D(true);
  vr.SetInteracting(true);
  vr.Render();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(vr.Builder4D().GetFrameCount(), 0);
  EXPECT_FALSE(vr.ShowPhase(0));
  vr.SetInteracting(false);
  vr.Render();
  {
    std::unique_lock lock(done.m);
    ASSERT_TRUE(done.cv.wait_for(lock, std::chrono::seconds(60), [&] { return done.finished > 0; }));
  }
  ASSERT_TRUE(vr.ShowPhase(1));
  EXPECT_EQ(vr.GetResultImage()->GetOriginalImagePixelData()->rows, VRBuilder4D::kFrameSize);
  EXPECT_FALSE(vr.ShowPhase(2));
}

}  // namespace
