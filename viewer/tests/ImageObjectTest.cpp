#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "DcmColors.h"
#include "DicomFixtures.h"
#include "ISOOverlayMgr.h"
#include "RenderSurface.h"
#include "SODcmObject.h"
#include "SOImageObject.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

struct Recorded {
  unsigned int event;
  long parameter;
  bool operator==(const Recorded&) const = default;
};

class EventLog : public ISOImageObjectCallback {
 public:
  void OnImageObjectUpdated(SOImageObject*, unsigned int event, long parameter) override {
    events.push_back({event, parameter});
  }
  std::vector<Recorded> Take() { return std::exchange(events, {}); }
  std::vector<Recorded> events;
};

// Exposes the record and bitmap choice for painting.
class ProbeImage : public SOImageObject {
 public:
  using SOImageObject::GetOptimizedPixelData;
  using SOImageObject::GetPrimaryBitmap2;
};

// A builder-style object: size and spacing without a file.
void Shape(SODcmObject& object, int rows, int columns, double rowSpacing = 0, double columnSpacing = 0) {
  object.SetRows(rows);
  object.SetColumns(columns);
  const double spacing[2] = {rowSpacing, columnSpacing};
  object.SetPixelSpacing(spacing);
}

// Writes grey values into the image object's own record, as the builders do.
void FillRecord(SOImageObject& image, int rows, int columns, const std::vector<short>& values) {
  DcmImageInputData* record = image.GetOriginalImagePixelData();
  record->type = DCM_PIXEL_GRAY16;
  record->rows = rows;
  record->columns = columns;
  record->data.Resize(static_cast<uint32_t>(values.size() * 2));
  std::memcpy(record->data.data, values.data(), values.size() * 2);
  image.UpdateImage();
}

std::vector<unsigned char> ReadPgm(const fs::path& path, int& width, int& height) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  in.get();
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height);
  in.read(reinterpret_cast<char*>(pixels.data()), pixels.size());
  return magic == "P5" && in ? pixels : std::vector<unsigned char>{};
}

}  // namespace

TEST(ImageObject, PresentationStateEvents) {
  SODcmObject object;
  Shape(object, 64, 64, 1.0, 0.5);
  SOImageObject image;
  EventLog log;
  image.RegisterCallback(&log);
  image.RegisterCallback(&log);
  image.SetDcmObject(&object, 0);
  EXPECT_FLOAT_EQ(image.GetImagePresentationState().matrix.m00, 0.5f);
  EXPECT_EQ(log.Take(), (std::vector<Recorded>{{1, 0}}));

  struct Step {
    const char* name;
    std::function<void()> change;
    std::vector<Recorded> events;
  } steps[] = {
      {"zoom below range", [&] { image.Zoom(0.05f); }, {{1, 0}, {3, 0}}},
      {"zoom above range", [&] { image.Zoom(25); }, {{1, 0}, {3, 0}}},
      {"zoom unchanged", [&] { image.Zoom(20); }, {}},
      {"silent zoom", [&] { image.SetZoom(2, false); }, {{1, 0}}},
      {"narrow window", [&] { image.WW(40, 0.5); }, {{1, 0}, {2, 0}}},
      {"same window", [&] { image.SetWW(40, 1, true); }, {}},
      {"silent pan", [&] { image.SetPan(0.1f, 0, false); }, {{1, 0}}},
      {"same pan", [&] { image.Pan(0.1f, 0); }, {}},
      {"turn anticlockwise", [&] { image.Rotate(true); }, {{1, 0}, {5, 1}}},
      {"turn clockwise silently", [&] { image.SetRotate(false, false); }, {{1, 0}}},
      {"flip x", [&] { image.FlipX(); }, {{1, 0}, {6, 0}}},
      {"flip y", [&] { image.FlipY(); }, {{1, 0}, {7, 0}}},
      {"select", [&] { image.SetSelected(true); }, {{1, 0}}},
      {"select again", [&] { image.SetSelected(true); }, {}},
      {"palette", [&] { image.SetColorPalette(SOColorPaletteHotIron); }, {{1, 0}}},
      {"invert", [&] { image.Inverse(); }, {{1, 0}}},
      {"no file window: the automatic one", [&] { image.ResetWW(); }, {{1, 0}, {2, 0}}},
      {"automatic already", [&] { image.ResetWW(); }, {}},
      {"transfer", [&] { image.ResetTransfer(); }, {{1, 0}}},
  };
  for (Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.change();
    EXPECT_EQ(log.Take(), step.events);
  }
  const SOImagePresentationState& s = image.GetImagePresentationState();
  EXPECT_FLOAT_EQ(s.zoom, 2);
  EXPECT_DOUBLE_EQ(s.windowWidth, 0);
  EXPECT_TRUE(s.invert);
  // ResetTransfer drops the aspect correction until the next reset.
  EXPECT_FLOAT_EQ(s.matrix.m00, 1);
  image.Reset();
  EXPECT_FLOAT_EQ(s.matrix.m00, 0.5f);
  EXPECT_FALSE(s.invert);
  EXPECT_EQ(s.palette, SOColorPaletteGray);
  EXPECT_EQ(image.GetOverlayMgr()->GetCount(), 0);
  log.Take();
  image.UnRegisterCallback(&log);
  image.Zoom(3);
  EXPECT_TRUE(log.Take().empty());
}

TEST(ImageObject, RenderMapFitsParityAndInverts) {
  SODcmObject object;
  Shape(object, 512, 512);
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  const SORectF rect{0, 0, 300, 200};
  SOPointF out;
  // Scale by zoom: the image centre stays on the rectangle's centre.
  struct Case {
    float zoom;
    float scale;
  } cases[] = {
      {1.0f, 200.0f / 512}, {1.5f, 1.5f * 200 / 512}, {1.503f, 1.503f * 200 / 512}, {1.507f, 302.0f / 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zoom);
    image.SetZoom(c.zoom, false);
    image.ImageToRenderRectCoords(rect, SOPointF{256, 256}, out);
    EXPECT_NEAR(out.x, 150, 1e-3);
    EXPECT_NEAR(out.y, 100, 1e-3);
    image.ImageToRenderRectCoords(rect, SOPointF{0, 0}, out);
    EXPECT_NEAR(out.x, 150 - 256 * c.scale, 1e-3);
  }

  // image -> render -> image under every turn and mirror, with pan and an offset rectangle.
  const SORectF offset{17, 23, 320, 240};
  image.SetPan(0.1f, -0.05f, false);
  for (int turn = 0; turn < 8; ++turn) {
    if (turn == 4) image.FlipX();
    if (turn == 6) image.FlipY();
    image.Rotate(turn % 2 == 0);
    const double in[2] = {37.5, 401.25};
    double render[2], back[2];
    image.ImageToRenderRectCoords(offset, in, render);
    ASSERT_TRUE(image.RenderRectToImageCoords(offset, render, back));
    EXPECT_NEAR(back[0], in[0], 1e-2);
    EXPECT_NEAR(back[1], in[1], 1e-2);
  }
  EXPECT_FALSE(image.RenderRectToImageCoords(SORectF{0, 0, 0, 0}, SOPointF{1, 1}, out));

  SOImageObject empty;
  EXPECT_TRUE(empty.ImageToRenderRectCoords(rect, SOPointF{1, 1}, out));
  EXPECT_EQ(empty.GetPixelData(), nullptr);
  EXPECT_FALSE(empty.HasPixelData());
}

TEST(ImageObject, CornersFollowOrientationAndSpacing) {
  SODcmObject object;
  Shape(object, 10, 20, 0.5, 2.0);
  const double orientation[6] = {0, 1, 0, 0, 0, -1};
  const double position[3] = {5, 6, 7};
  object.SetImageOrientationPatient(orientation);
  object.SetImagePositionPatient(position);
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  double tl[3], tr[3], bl[3], br[3];
  ASSERT_TRUE(image.GetImageCornerPosition(tl, tr, bl, br));
  EXPECT_EQ(std::vector<double>(tr, tr + 3), (std::vector<double>{5, 46, 7}));
  EXPECT_EQ(std::vector<double>(bl, bl + 3), (std::vector<double>{5, 6, 2}));
  EXPECT_EQ(std::vector<double>(br, br + 3), (std::vector<double>{5, 46, 2}));
  SOImageObject unbound;
  EXPECT_FALSE(unbound.GetImageCornerPosition(tl, tr, bl, br));
}

TEST(ImageRendering, MarkedPixelLandsWhereTheRenderMapSays) {
  orvanta::test::EnsureQtApp();
  const int rows = 64, columns = 128;
  SODcmObject object;
  Shape(object, rows, columns);
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  std::vector<short> values(rows * columns, 0);
  const int mx = 20, my = 9;
  values[my * columns + mx] = 1000;
  FillRecord(image, rows, columns, values);
  image.SetWW(500, 1000, false);

  // An offset rectangle: turns must happen about its own centre.
  const RECT rect{10, 20, 210, 170};
  const SORectF frame{10, 20, 200, 150};
  for (int step = 0; step < 7; ++step) {
    SCOPED_TRACE(step);
    if (step == 1 || step == 2) image.Rotate(step == 1);
    if (step == 3) image.Rotate(false);
    if (step == 4) image.FlipX();
    if (step == 5) image.FlipY();
    if (step == 6) image.SetPan(0.1f, 0.05f, false);
    RenderSurface surface(240, 200);
    ASSERT_TRUE(image.DrawImage(surface.dc(), rect, false));
    int bx = -1, by = -1, best = -1;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 240; ++x)
        if (surface.Gray(x, y) > best) best = surface.Gray(x, y), bx = x, by = y;
    SOPointF expected;
    image.ImageToRenderRectCoords(frame, SOPointF{mx + 0.5f, my + 0.5f}, expected);
    EXPECT_GT(best, 100);
    EXPECT_NEAR(bx + 0.5, expected.x, 1.5);
    EXPECT_NEAR(by + 0.5, expected.y, 1.5);
  }
}

TEST(ImageRendering, RecordChoiceAndZoomCap) {
  SODcmObject object;
  Shape(object, 512, 512);
  ProbeImage image;
  image.SetDcmObject(&object, 0);
  FillRecord(image, 512, 512, std::vector<short>(512 * 512, 7));
  DcmImageInputData* original = image.GetOriginalImagePixelData();
  EXPECT_EQ(image.GetOptimizedPixelData(300, 300), original);
  DcmImageInputData* half = image.GetOptimizedPixelData(150, 150);
  ASSERT_NE(half, nullptr);
  EXPECT_NE(half, original);
  EXPECT_EQ(half->columns, 150);
  EXPECT_EQ(half->rows, 150);
  // Zoom 20 in an 800-pixel window: the resampled record stops at twice the image.
  DcmImageInputData* big = image.GetOptimizedPixelData(16000, 16000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->columns, 1024);

  Gdiplus::Bitmap* bitmap = image.GetPrimaryBitmap2(300, 300);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(image.GetPrimaryBitmap2(360, 360), bitmap);  // zoom 1 -> 1.2 keeps it
  image.SetWW(0, 100, false);
  EXPECT_NE(image.GetOriginBitmapData(), nullptr);
}

TEST(ImageRendering, CtWindowAndPalettes) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("render");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 128;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);
  SODcmObject object;
  ASSERT_TRUE(object.ParseDcmFile(series.files[0].c_str(), false));
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  image.WW(40, 400);
  RenderSurface surface(128, 128);
  ASSERT_TRUE(image.DrawImage(surface.dc(), surface.rect(), false));
  EXPECT_EQ(surface.Gray(2, 2), 0);      // air
  EXPECT_EQ(surface.Gray(64, 64), 255);  // bone
  // Water: HU 0 to 15 in a 40/400 window.
  EXPECT_NEAR(surface.Gray(64, 20), 255.0 * (0 + 7.5 - (40 - 200)) / 400, 6);
  surface.SavePng((dir / "ct.png").string());

  image.SetColorPalette(SOColorPaletteHotIron);
  RenderSurface hot(128, 128);
  ASSERT_TRUE(image.DrawImage(hot.dc(), hot.rect(), false));
  const int index = surface.Gray(64, 20);
  const auto& table = DcmColors::HotIron;
  uint32_t expected =
      0xFF000000u | (table[3 * index] << 16) | (table[3 * index + 1] << 8) | table[3 * index + 2];
  EXPECT_EQ(hot.At(64, 20), expected);

  // Undecodable pixels: a record of type 0, nothing drawn.
  SODcmObject broken;
  broken.ParseDcmFile(fx::WriteHostileFile(dir, fx::Hostile::TruncatedPixelData).c_str(), false);
  SOImageObject brokenImage;
  brokenImage.SetDcmObject(&broken, 0);
  EXPECT_TRUE(brokenImage.HasPixelData());
  EXPECT_EQ(brokenImage.GetOriginalImagePixelData()->type, DCM_PIXEL_NONE);
  EXPECT_FALSE(brokenImage.DrawImage(surface.dc(), surface.rect(), false));
}

TEST(ImageRendering, MatchesDcm2pnmAtNativeSize) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("pnm");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = 96;
  options.columns = 80;
  fs::path fixture = fx::WriteCtSeries(dir, options).files[0];
  fs::path enhanced = fx::WriteEnhancedCt(dir);
  struct Case {
    fs::path file;
    int frame;
    double center, width;
  } cases[] = {{fixture, 0, 40, 400},
               {enhanced, 3, 40, 400},
               {orvanta::test::PydicomFile("CT_small.dcm"), 0, 100, 300}};
  for (const Case& c : cases) {
    if (c.file.empty()) continue;
    SCOPED_TRACE(c.file.string());
    fs::path pgm = dir / "ref.pgm";
    std::string command = "dcm2pnm --quiet --write-raw-pnm --frame " + std::to_string(c.frame + 1) +
                          " --set-window " + std::to_string(c.center) + " " + std::to_string(c.width) + " '" +
                          c.file.string() + "' '" + pgm.string() + "'";
    ASSERT_EQ(orvanta::test::RunCommand(command), 0);
    int width = 0, height = 0;
    std::vector<unsigned char> reference = ReadPgm(pgm, width, height);
    ASSERT_FALSE(reference.empty());

    SODcmObject object;
    ASSERT_TRUE(object.ParseDcmFile(c.file.c_str(), false));
    SOImageObject image;
    image.SetDcmObject(&object, c.frame);
    image.ResetTransfer();  // no aspect correction: pixels 1:1
    image.WW(c.center, c.width);
    RenderSurface surface(width, height);
    ASSERT_TRUE(image.DrawImage(surface.dc(), surface.rect(), false));
    int worst = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        worst = std::max(worst, std::abs(surface.Gray(x, y) - reference[y * width + x]));
    EXPECT_LE(worst, 1);
  }
}
