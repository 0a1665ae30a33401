#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DicomFixtures.h"
#include "RenderSurface.h"
#include "SODcmObject.h"
#include "SOGraphicLength.h"
#include "SOGraphicMgr.h"
#include "SOGraphicSlices.h"
#include "SOImageObject.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

// A window showing the image 1:1 (optionally scaled), counting repaints.
class FakeWindow : public ISOGraphicWindow {
 public:
  void UpdateWindow() override { ++repaints; }
  bool ImageToScreenCoords(const SOPointF& image, SOPointF& screen) override {
    screen = {image.x * scale, image.y * scale};
    return true;
  }
  bool ScreenToImageCoords(const SOPointF& screen, SOPointF& image) override {
    image = {screen.x / scale, screen.y / scale};
    return true;
  }
  int repaints = 0;
  float scale = 1;
};

class Listener : public ISOGraphicCallback {
 public:
  void OnGraphicObjectAddedEvent(SOImageObject*, ISOGraphic*) override { ++added; }
  void OnGraphicObjectDeletedEvent(SOImageObject*, ISOGraphic* g) override { deleted.push_back(g); }
  void OnGraphicObjectChangedEvent(SOImageObject*, ISOGraphic*) override { ++changed; }
  int added = 0;
  int changed = 0;
  std::vector<ISOGraphic*> deleted;
};

SOArray<SOPointF> Points(std::initializer_list<SOPointF> list) {
  SOArray<SOPointF> points;
  for (const SOPointF& p : list) points.Add(p);
  return points;
}

LPARAM At(int x, int y) {
  return (static_cast<LPARAM>(y & 0xFFFF) << 16) | (x & 0xFFFF);
}

// An image object over a builder object of the given size and spacing (no file).
struct Scene {
  Scene(int rows, int columns, double rowSpacing, double columnSpacing) {
    object.SetRows(rows);
    object.SetColumns(columns);
    const double spacing[2] = {rowSpacing, columnSpacing};
    object.SetPixelSpacing(spacing);
    const double orientation[6] = {1, 0, 0, 0, 1, 0};
    const double position[3] = {0, 0, 0};
    object.SetImageOrientationPatient(orientation);
    object.SetImagePositionPatient(position);
    image.SetDcmObject(&object, 0);
    manager()->SetGraphicWindow(&window);
  }
  SOGraphicMgr* manager() { return image.GetGraphicManager(); }
  SODcmObject object;
  SOImageObject image;
  FakeWindow window;
};

// A CT fixture file rewritten with the given pixel values, spacing 1 mm and no rescale.
std::unique_ptr<SODcmFile> FlatImage(const fs::path& dir, int rows, int columns, unsigned short value) {
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = rows;
  options.columns = columns;
  auto file = std::make_unique<SODcmFile>();
  EXPECT_TRUE(file->LoadFile(fx::WriteCtSeries(dir, options).files[0].c_str(), true));
  std::vector<unsigned short> pixels(static_cast<size_t>(rows) * columns, value);
  SODcmDataset* ds = file->GetDataset();
  ds->SetUint8Array(0x7FE00010, reinterpret_cast<const unsigned char*>(pixels.data()), pixels.size() * 2);
  ds->SetString(0x00281052, "0");
  ds->SetString(0x00280030, "1\\1");
  return file;
}

}  // namespace

TEST(Graphics, LengthAndAngleMeasurements) {
  Scene scene(100, 100, 0.5, 0.8);
  struct Case {
    const char* type;
    std::vector<SOPointF> points;
    const char* label;
  } cases[] = {
      {"LENGTH", {{10, 10}, {20, 10}}, "Length=8.0mm"},
      {"LENGTH", {{10, 10}, {10, 20}}, "Length=5.0mm"},
      {"LENGTH", {{10, 10}, {10.001f, 10}}, ""},
      {"ANGLE", {{60, 50}, {50, 50}, {50, 60}}, "90.0\u00B0"},
      {"ANGLE",
       {{50 + 10 * std::cos(0.17453292f), 50 + 10 * std::sin(0.17453292f)},
        {50, 50},
        {50 + 10 * std::cos(-0.17453292f), 50 + 10 * std::sin(-0.17453292f)}},
       "20.0\u00B0"},
      {"ANGLE", {{50, 50}, {50, 50}, {40, 50}}, "180.0\u00B0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SOArray<SOPointF> points;
    for (const SOPointF& p : c.points) points.Add(p);
    auto* graphic = static_cast<SOGraphic*>(scene.manager()->AddGraphic(c.type, points, true));
    ASSERT_NE(graphic, nullptr);
    EXPECT_EQ(graphic->GetLabel(), c.label);
  }

  Scene noSpacing(100, 100, 0, 0);
  auto* length = static_cast<SOGraphic*>(noSpacing.manager()->AddRangeLine({1, 1}, {50, 1}));
  EXPECT_EQ(length->GetValues()->length, 0);
  EXPECT_EQ(length->GetLabel(), "");
}

TEST(Graphics, RegionStatisticsInModalityValues) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("roi");
  auto flat = FlatImage(dir, 64, 64, 100);
  SODcmObject object;
  object.SetDcmFile(flat.get(), 0);
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  ISOGraphicMgr* manager = image.GetGraphicMgr();

  auto label = [](ISOGraphic* g) { return static_cast<SOGraphic*>(g)->GetLabel(); };
  EXPECT_EQ(label(manager->AddRectangle({10, 10}, 10, 10)),
            "Mean=100.00 SD=0.00\n\rMax=100 Min=100\n\rArea=1.0cm^2");
  ISOGraphic* partly = manager->AddRectangle({-5, -5}, 10, 10);
  EXPECT_EQ(partly->GetValues()->count, 25);
  EXPECT_FLOAT_EQ(partly->GetValues()->area, 100);
  EXPECT_EQ(label(manager->AddRectangle({200, 200}, 10, 10)), "Area=1.0cm^2");
  // A negative width is normalised.
  EXPECT_EQ(manager->AddRectangle({20, 20}, -10, 10)->GetValues()->count, 100);
  ISOGraphic* circle = manager->AddCircle({32, 32}, 10);
  EXPECT_NEAR(circle->GetValues()->area, 3.1415927 * 100, 1e-3);
  EXPECT_NEAR(circle->GetValues()->count, 3.1415927 * 100, 12);
  EXPECT_FLOAT_EQ(circle->GetValues()->mean, 100);

  // Non-square image: rows are Columns long; a 256 x 256 region counts all its pixels.
  auto wide = FlatImage(dir, 300, 512, 3);
  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  wide->GetDataset()->GetUint8Array(0x7FE00010, bytes, count);
  std::vector<unsigned short> pixels(reinterpret_cast<const unsigned short*>(bytes),
                                     reinterpret_cast<const unsigned short*>(bytes) + count / 2);
  for (int y = 0; y < 300; ++y) pixels[y * 512 + 300] = 1003;  // one bright column at x = 300
  wide->GetDataset()->SetUint8Array(0x7FE00010, reinterpret_cast<const unsigned char*>(pixels.data()), count);
  SODcmObject wideObject;
  wideObject.SetDcmFile(wide.get(), 0);
  SOImageObject wideImage;
  wideImage.SetDcmObject(&wideObject, 0);
  ISOGraphic* big = wideImage.GetGraphicMgr()->AddRectangle({0, 0}, 256, 256);
  EXPECT_EQ(big->GetValues()->count, 65536);
  EXPECT_FLOAT_EQ(big->GetValues()->mean, 3);
  ISOGraphic* column = wideImage.GetGraphicMgr()->AddRectangle({295, 10}, 10, 10);
  EXPECT_FLOAT_EQ(column->GetValues()->max, 1003);
  EXPECT_FLOAT_EQ(column->GetValues()->mean, 103);

  // A CT region over water reads Hounsfield units near 0.
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 128;
  SODcmObject ct;
  ASSERT_TRUE(ct.ParseDcmFile(fx::WriteCtSeries(dir, options).files[0].c_str(), false));
  SOImageObject ctImage;
  ctImage.SetDcmObject(&ct, 0);
  ISOGraphic* water = ctImage.GetGraphicMgr()->AddRectangle({56, 16}, 16, 8);
  EXPECT_NEAR(water->GetValues()->mean, 7.5, 1.0);
  EXPECT_GE(water->GetValues()->min, 0);
  EXPECT_LE(water->GetValues()->max, 15);
}

TEST(Graphics, MouseProtocolAndHitPrecedence) {
  orvanta::test::EnsureQtApp();
  Scene scene(200, 200, 1, 1);
  SOGraphicMgr* manager = scene.manager();
  auto* length = static_cast<SOGraphic*>(manager->AddRangeLine({20, 100}, {120, 100}));
  RenderSurface surface(200, 200);
  manager->Draw(surface.dc());  // lays out the hit regions and the label

  // A handle beats the label and the body, the label beats the body.
  EXPECT_TRUE(length->HitTest(120, 100));
  EXPECT_EQ(length->GetPart(), SOGraphicPartHandle);
  EXPECT_EQ(length->GetHandle(), 1);
  const SORectI label = length->GetLabelRect();
  ASSERT_GT(label.width, 0);
  EXPECT_TRUE(length->HitTest(label.x + 2, label.y + 2));
  EXPECT_EQ(length->GetPart(), SOGraphicPartLabel);
  EXPECT_TRUE(length->HitTest(70, 103));
  EXPECT_EQ(length->GetPart(), SOGraphicPartBody);
  EXPECT_FALSE(length->HitTest(70, 120));

  // Drag handle 1 with synthetic messages.
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONDOWN, 1, At(120, 100)));
  EXPECT_TRUE(manager->OnMessage(WM_MOUSEMOVE, 1, At(130, 110)));
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONUP, 0, At(130, 110)));
  EXPECT_FLOAT_EQ((*length->GetPoints())[1].x, 130);
  EXPECT_FLOAT_EQ((*length->GetPoints())[1].y, 110);
  EXPECT_TRUE(length->IsSelected());

  // A button-up where the last move was repaints nothing but ends the drag.
  manager->Draw(surface.dc());
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONDOWN, 1, At(70, 101)));
  EXPECT_TRUE(manager->OnMessage(WM_MOUSEMOVE, 1, At(75, 106)));
  int before = scene.window.repaints;
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONUP, 0, At(75, 106)));
  EXPECT_EQ(scene.window.repaints, before);
  EXPECT_FALSE(manager->OnMessage(WM_MOUSEMOVE, 1, At(80, 110)));
  EXPECT_FLOAT_EQ((*length->GetPoints())[0].x, 25);  // the body drag moved both ends

  // Delete over empty space deletes the selected graphic; with none selected it is not handled.
  Listener listener;
  manager->RegisterCallback(&listener);
  EXPECT_TRUE(manager->OnMessage(WM_KEYDOWN, VK_DELETE, 0));
  EXPECT_EQ(listener.deleted, std::vector<ISOGraphic*>{length});
  EXPECT_EQ(manager->GetCount(), 0);
  EXPECT_FALSE(manager->OnMessage(WM_KEYDOWN, VK_DELETE, 0));
}

TEST(Graphics, LabelDragTurnsAutoPlacementOff) {
  orvanta::test::EnsureQtApp();
  Scene scene(200, 200, 1, 1);
  SOGraphicMgr* manager = scene.manager();
  auto* length = static_cast<SOGraphic*>(manager->AddRangeLine({20, 50}, {80, 50}));
  RenderSurface surface(200, 200);
  manager->Draw(surface.dc());
  SORectI label = length->GetLabelRect();
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONDOWN, 1, At(label.x + 1, label.y + 1)));
  EXPECT_TRUE(manager->OnMessage(WM_MOUSEMOVE, 1, At(label.x + 21, label.y + 31)));
  EXPECT_TRUE(manager->OnMessage(WM_LBUTTONUP, 0, At(label.x + 21, label.y + 31)));
  manager->Draw(surface.dc());
  EXPECT_EQ(length->GetLabelRect().x, label.x + 20);
  EXPECT_EQ(length->GetLabelRect().y, label.y + 30);
  // Moving an end no longer moves the label.
  length->SetPoints(Points({{20, 50}, {150, 50}}));
  manager->Draw(surface.dc());
  EXPECT_EQ(length->GetLabelRect().x, label.x + 20);
}

TEST(Graphics, ManagerSelectionDeletionAndSlabParameters) {
  Scene scene(100, 100, 1, 1);
  SOGraphicMgr* manager = scene.manager();
  Listener listener;
  manager->RegisterCallback(&listener);
  EXPECT_EQ(manager->AddGraphic("Length", Points({{1, 1}, {2, 2}}), true), nullptr);
  EXPECT_EQ(manager->AddGraphic("LENGTH", Points({{1, 1}}), true), nullptr);
  EXPECT_EQ(listener.added, 0);

  ISOGraphic* a = manager->AddRangeLine({1, 1}, {20, 20});
  ISOGraphic* b = manager->AddGraphic("ANGLE", Points({{1, 1}, {5, 5}, {9, 1}}), false);
  ISOGraphic* c = manager->AddRectangle({30, 30}, 10, 10);
  EXPECT_EQ(listener.added, 3);
  a->SetTitle("shared");
  b->SetTitle("shared");
  EXPECT_EQ(manager->GetSelected(), c);
  manager->SetSelectedAt(3);
  EXPECT_EQ(manager->GetSelected(), c);
  manager->SetSelectedAt(-1);
  EXPECT_EQ(manager->GetSelected(), nullptr);
  char title[] = "shared";
  manager->SetSelectedByTitle(title);
  EXPECT_TRUE(static_cast<SOGraphic*>(a)->IsSelected());
  EXPECT_TRUE(static_cast<SOGraphic*>(b)->IsSelected());
  EXPECT_EQ(manager->GetGraphicByTitle(title), a);
  EXPECT_TRUE(manager->DeleteSelected());
  EXPECT_EQ(listener.deleted, std::vector<ISOGraphic*>{a});
  EXPECT_EQ(manager->GetGraphicIndex(b), 0);
  EXPECT_EQ(manager->GetGraphicIndex(a), -1);

  ISOGraphic* slab = manager->AddSlices(SOPointF{50, 50}, false);
  ASSERT_NE(slab, nullptr);
  int changed = listener.changed;
  manager->SetSlicesThickness(0.05f);
  EXPECT_EQ(listener.changed, changed);
  EXPECT_FLOAT_EQ(manager->GetSliceThickness(), 1.0f);
  int repaints = scene.window.repaints;
  manager->SetSlicesSpacing(0.05f);
  EXPECT_EQ(scene.window.repaints, repaints + 1);
  EXPECT_FLOAT_EQ(manager->GetSliceSpacing(), 5.0f);
  manager->SetSlicesThickness(2.5f);
  EXPECT_EQ(listener.changed, changed + 1);
  EXPECT_DOUBLE_EQ(slab->GetValues()->thickness, 2.5);
  manager->DeleteAllSlices();
  EXPECT_EQ(manager->GetCount(), 2);

  manager->ClearAll();
  EXPECT_EQ(manager->GetCount(), 0);
  repaints = scene.window.repaints;
  manager->ClearAll();
  EXPECT_EQ(scene.window.repaints, repaints + 1);
}

TEST(Graphics, SlabLinesGeometryAndDrags) {
  orvanta::test::EnsureQtApp();
  Scene scene(200, 200, 0.7, 0.7);
  SOGraphicMgr* manager = scene.manager();
  manager->SetDefaultSlicesParam(0.2, 0.3);
  // A click: one line along the row direction through the point, FOV 3/4 of the width.
  auto* click = static_cast<SOGraphicSlices*>(manager->AddSlices(SOPointF{100, 50}, true));
  const SOGraphicValues* v = click->GetValues();
  EXPECT_EQ(v->lineCount, 1);
  EXPECT_DOUBLE_EQ(v->spacing, 0.7);  // raised to the pixel spacing
  EXPECT_DOUBLE_EQ(v->thickness, 0.7);
  EXPECT_EQ(v->fov, 105);
  EXPECT_NEAR(std::fabs(v->lineDirection[0]), 1, 1e-9);
  EXPECT_NEAR(v->stepDirection[1], 1, 1e-9);
  EXPECT_NEAR(v->slabCenter[0], 70, 1e-4);

  // A drag of d mm gives trunc(d / spacing + 1) lines perpendicular to it; the FOV comes
  // from the other slab-lines graphic.
  manager->SetSlicesSpacing(2.0f);
  auto* spread = static_cast<SOGraphicSlices*>(manager->AddSlices(SOPointF{20, 20}, SOPointF{20, 120}));
  v = spread->GetValues();
  EXPECT_EQ(v->lineCount, static_cast<int>(100 * 0.7 / 2.0 + 1));
  EXPECT_EQ(v->fov, 105);
  EXPECT_DOUBLE_EQ(v->stepDirection[1], 1);
  EXPECT_NEAR(std::fabs(v->lineDirection[0]), 1, 1e-9);

  // A turn started straight above the centre stays finite and turns the lines.
  RenderSurface surface(200, 200);
  manager->Draw(surface.dc());
  // The outer sixths of a line turn it, the middle moves it.
  EXPECT_TRUE(click->HitTest(30, 50));
  EXPECT_EQ(click->GetPart(), SOGraphicPartTurn);
  EXPECT_TRUE(click->OnMessage(WM_SETCURSOR, 0, 0));
  EXPECT_TRUE(click->HitTest(70, 50));
  EXPECT_EQ(click->GetPart(), SOGraphicPartBody);
  EXPECT_TRUE(click->HitTest(100, 50));
  EXPECT_EQ(click->GetPart(), SOGraphicPartHandle);
  SOGraphicData moved;
  click->OnDragStart(SOGraphicPartTurn, 0, 100, 20);
  ASSERT_TRUE(click->MovePoints(SOGraphicPartTurn, 0, 100, 20, 100, 20, 130, 20, &moved));
  EXPECT_TRUE(std::isfinite(moved.values.lineDirection[0]));
  EXPECT_NEAR(std::hypot(moved.values.lineDirection[0], moved.values.lineDirection[1]), 1, 1e-6);
  EXPECT_NEAR(std::fabs(moved.values.lineDirection[0]), std::sqrt(0.5), 1e-3);
  EXPECT_FALSE(click->MovePoints(SOGraphicPartTurn, 0, 100, 50, 100, 20, 100, 50, &moved));

  // The count drag clamps and every step reaches the listeners.
  Listener listener;
  manager->RegisterCallback(&listener);
  click->OnDragStart(SOGraphicPartHandle, 0, 100, 50);
  ASSERT_TRUE(click->MovePoints(SOGraphicPartHandle, 0, 100, 50, 100, 50, 100, 80, &moved));
  EXPECT_EQ(moved.values.lineCount, static_cast<int>(30 * 0.7 / 2.0 + 1));
  EXPECT_TRUE(click->SetData(moved));
  EXPECT_EQ(listener.changed, 1);
  SOGraphicData empty = *click->GetData();
  empty.values.lineCount = 0;
  EXPECT_TRUE(click->SetData(empty));
  manager->Draw(surface.dc());
  EXPECT_FALSE(click->HitTest(100, 50));
}

TEST(Graphics, PictureOfEveryKind) {
  orvanta::test::EnsureQtApp();
  fs::path dir = orvanta::test::MakeTempDir("picture");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 256;
  SODcmObject ct;
  ASSERT_TRUE(ct.ParseDcmFile(fx::WriteCtSeries(dir, options).files[0].c_str(), false));
  SOImageObject image;
  image.SetDcmObject(&ct, 0);
  image.ResetTransfer();
  image.WW(40, 400);
  FakeWindow window;
  window.scale = 2;
  SOGraphicMgr* manager = image.GetGraphicManager();
  manager->SetGraphicWindow(&window);
  manager->AddRangeLine({40, 40}, {120, 60});
  manager->AddGraphic("ANGLE", Points({{150, 30}, {190, 70}, {230, 40}}), false);
  manager->AddCircle({128, 128}, 30);
  manager->AddRectangle({40, 170}, 50, 40)->SetTitle("ROI 1");
  manager->AddSlices(SOPointF{160, 180}, SOPointF{160, 230})->SetTitle("S1");
  RenderSurface surface(512, 512);
  ASSERT_TRUE(image.DrawImage(surface.dc(), surface.rect(), false));
  manager->Draw(surface.dc());
  fs::path png = fs::path(orvanta::test::ScratchRoot()).parent_path() / "lumexa-graphics.png";
  ASSERT_TRUE(surface.SavePng(png.string()));
  // The line pen is green where the length runs.
  const uint32_t onLine = surface.At(160, 100);
  EXPECT_GT((onLine >> 8) & 0xFF, (onLine >> 16) & 0xFF);
}
