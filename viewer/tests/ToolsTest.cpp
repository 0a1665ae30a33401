#include <gtest/gtest.h>

#include <cmath>

#include "DicomFixtures.h"
#include "ISOGraphic.h"
#include "ISOOverlayMgr.h"
#include "SODcmFile.h"
#include "SOImageObject.h"
#include "SOImageWindow.h"
#include "SOOverInfoConfig.h"
#include "SOPluginBasic.h"
#include "SOPluginInfo.h"
#include "SOPluginOrient.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "ViewerUiTestUtil.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using viewer_ui_test::Rgb;
using viewer_ui_test::Snap;

namespace {

// Rewrites string attributes of each file in place.
void Rewrite(const std::vector<fs::path>& files, const std::vector<std::pair<unsigned long, std::string>>& values) {
  for (const auto& file : files) {
    SODcmFile dcm;
    ASSERT_TRUE(dcm.LoadFile(file.c_str(), true));
    for (const auto& [tag, value] : values) dcm.GetDataset()->SetString(tag, value);
    ASSERT_TRUE(dcm.SaveFile(file.c_str()));
  }
}

// One image of a CT series in a 200 x 150 window.
class ToolTest : public testing::Test {
 protected:
  void Open(fx::CtSeriesOptions options = {}, std::vector<std::pair<unsigned long, std::string>> edits = {}) {
    options.slices = 1;
    const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir(), options);
    Rewrite(written.files, edits);
    series.Load(written.files);
    image.SetDcmObject(series.objects[0], 0);
    window.Create(frame.GetWindow(), 0, 0, 200, 150);
    window.MoveWindow(0, 0, 200, 150);
    window.SetImageObject(&image, 0);
  }
  // The window point showing an image point.
  POINT At(double ix, double iy) {
    const double in[2] = {ix, iy};
    double out[2] = {0, 0};
    EXPECT_TRUE(window.ImageToWindowCoords(in, out));
    return POINT{static_cast<LONG>(std::lround(out[0])), static_cast<LONG>(std::lround(out[1]))};
  }

  viewer_ui_test::Frame frame{400, 300};
  viewer_ui_test::LoadedSeries series;
  SOImageObject image;
  SOImageWindow window;
};

}  // namespace

TEST_F(ToolTest, WindowDragStepAndSlope) {
  struct Case {
    double width;
    double slope;
    int dx;
    double expected;
  };
  const Case cases[] = {{400, 1, 10, 410}, {4000, 1, 10, 4050}, {400, 2, 10, 420}};
  for (const Case& c : cases) {
    fx::CtSeriesOptions options;
    options.slope = c.slope;
    SOImageObject shown;
    viewer_ui_test::LoadedSeries one;
    options.slices = 1;
    one.Load(fx::WriteCtSeries(orvanta::test::MakeTempDir(), options).files);
    shown.SetDcmObject(one.objects[0], 0);
    if (!window.GetWindow()) {
      window.Create(frame.GetWindow(), 0, 0, 200, 150);
      window.MoveWindow(0, 0, 200, 150);
    }
    window.SetImageObject(&shown, 0);
    shown.WW(40, c.width);
    window.SetMouseMode2D(SOMouseModeWW);
    ASSERT_TRUE(DuiLib::UITest::DragWindow(window.GetWindow(), POINT{50, 50}, POINT{50 + c.dx, 50}));
    EXPECT_DOUBLE_EQ(shown.GetImagePresentationState().windowWidth, c.expected) << c.width << " " << c.slope;
    window.SetImageObject(nullptr, 0);
  }
}

TEST(Ruler, ScaleFitsTenOrFiveCentimetres) {
  double p = 0;
  int ticks = 0;
  ASSERT_TRUE(SOPluginRuler::Scale(300, 150, p, ticks));
  EXPECT_DOUBLE_EQ(p, 20);
  EXPECT_EQ(ticks, 10);
  ASSERT_TRUE(SOPluginRuler::Scale(300, 120, p, ticks));
  EXPECT_DOUBLE_EQ(p, 25);
  EXPECT_EQ(ticks, 5);
  EXPECT_FALSE(SOPluginRuler::Scale(300, 0, p, ticks));
  EXPECT_FALSE(SOPluginRuler::Scale(0, 100, p, ticks));
}

TEST(Orient, LabelsFollowDirectionAndView) {
  struct Case {
    double iop[6];
    SOMatrix2R2C view;
    const char* left;
    const char* bottom;
  };
  SOMatrix2R2C identity;
  SOMatrix2R2C flipX;
  flipX.m00 = -1;
  SOMatrix2R2C turned;  // a quarter turn
  turned.m00 = 0, turned.m01 = 1, turned.m10 = -1, turned.m11 = 0;
  const Case cases[] = {
      {{1, 0, 0, 0, 1, 0}, identity, "R", "P"},
      {{1, 0, 0, 0, 1, 0}, flipX, "L", "P"},
      {{1, 0, 0, 0, 1, 0}, turned, "P", "L"},
      {{1, 0, 0, 0, 0, -1}, identity, "R", "F"},
      {{0.8, 0.6, 0, 0, 0, -1}, identity, "RA", "F"},
      {{0.6, 0.8, 0, 0, 0, -1}, identity, "AR", "F"},
      {{0.995, 0.1, 0, 0, 0, -1}, identity, "R", "F"},
  };
  for (const Case& c : cases) {
    std::string left, bottom;
    SOPluginOrient::Labels(c.iop, c.view, left, bottom);
    EXPECT_EQ(left, c.left) << c.iop[0] << "," << c.iop[1];
    EXPECT_EQ(bottom, c.bottom) << c.iop[0] << "," << c.iop[1];
  }
}

TEST_F(ToolTest, ValueReadsTheStoredPixelInsideTheImageOnly) {
  Open();
  const int rows = 128, columns = 128;
  EXPECT_EQ(SOPluginValue::ValueText(&image, 70, 60),
            L"Value: " + std::to_wstring(fx::CtStoredValue(0, 60, 70, rows, columns)));
  EXPECT_EQ(SOPluginValue::ValueText(&image, -1, 5), L"");
  EXPECT_EQ(SOPluginValue::ValueText(&image, columns, 5), L"");
  EXPECT_EQ(SOPluginValue::ValueText(&image, 5, rows), L"");
}

TEST_F(ToolTest, OverlayCoversTheImageAndNeverWrapsRows) {
  fx::CtSeriesOptions square;
  square.rowSpacing = square.columnSpacing = 0.5;
  Open(square);
  image.WW(1024, 1);  // image pixels black or white; the overlay is pure red
  const int n = 128;
  SOOverlay* whole = image.GetOverlayMgr()->AddOverlay();
  whole->rows = n, whole->columns = n, whole->originRow = 1, whole->originColumn = 1;
  whole->color = 0xFFFF0000;
  whole->plane.Resize(n * n);
  std::memset(whole->plane.data, 1, n * n);
  window.UpdateWindow();
  QImage shot = Snap(window.GetWindow());
  // The 128-pixel image fits 148 x 148 in the middle of the 198 x 148 inner rectangle.
  EXPECT_EQ(Rgb(shot, 100, 75), 0xFF0000u);
  EXPECT_EQ(Rgb(shot, 27, 3), 0xFF0000u);
  EXPECT_EQ(Rgb(shot, 172, 146), 0xFF0000u);
  EXPECT_NE(Rgb(shot, 22, 75), 0xFF0000u);
  EXPECT_NE(Rgb(shot, 178, 75), 0xFF0000u);

  // A plane hanging past the right edge: its outside bits are dropped, not moved a row down.
  image.GetOverlayMgr()->ClearAll();
  SOOverlay* edge = image.GetOverlayMgr()->AddOverlay();
  edge->rows = 10, edge->columns = 20, edge->originRow = 60, edge->originColumn = n - 9;
  edge->color = 0xFFFF0000;
  edge->plane.Resize(200);
  std::memset(edge->plane.data, 1, 200);
  window.UpdateWindow();
  shot = Snap(window.GetWindow());
  const double inLeft[2] = {2.5, 62.5};
  double at[2];
  ASSERT_TRUE(window.ImageToWindowCoords(inLeft, at));
  EXPECT_NE(Rgb(shot, static_cast<int>(at[0]), static_cast<int>(at[1])), 0xFF0000u);
  const double inRight[2] = {n - 2.5, 62.5};
  ASSERT_TRUE(window.ImageToWindowCoords(inRight, at));
  EXPECT_EQ(Rgb(shot, static_cast<int>(at[0]), static_cast<int>(at[1])), 0xFF0000u);
}

// The reference is an axial slice at z = 100; each target is a slice through the same height,
// tilted about the x axis by `degrees` from axial. A line is drawn only across planes of the same
// study and frame of reference more than 75 degrees apart, and it is the longer of the reference's
// two mid-lines as the target sees them: across its whole width.
TEST(LocationLine, DrawnOnlyAcrossNearlyPerpendicularPlanesOfOneStudyAndFrame) {
  orvanta::test::EnsureQtApp();
  const fs::path dir = orvanta::test::MakeTempDir();
  fx::CtSeriesOptions axial;
  axial.slices = 1;
  axial.studyUid = "1.2.3.4";
  const auto reference = fx::WriteCtSeries(dir / "ref", axial);
  Rewrite(reference.files, {{0x00200052, "1.2.3.99"}});
  struct Case {
    double degrees;
    const char* study;
    const char* frame;
    bool drawn;
  } cases[] = {
      {90, "1.2.3.4", "1.2.3.99", true},  {76, "1.2.3.4", "1.2.3.99", true},  {74, "1.2.3.4", "1.2.3.99", false},
      {0, "1.2.3.4", "1.2.3.99", false},  {90, "1.2.3.5", "1.2.3.99", false}, {90, "1.2.3.4", "1.2.3.98", false},
  };
  SOPluginLoc loc;
  EXPECT_FALSE(loc.SetLocationLine(nullptr));
  viewer_ui_test::LoadedSeries loaded;
  loaded.Load(reference.files);
  SOImageObject shown;
  shown.SetDcmObject(loaded.objects[0], 0);
  ASSERT_TRUE(loc.SetLocationLine(&shown));
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.degrees) + " " + c.study + " " + c.frame);
    fx::CtSeriesOptions o = axial;
    o.studyUid = c.study;
    const double t = c.degrees * M_PI / 180;
    const double iop[6] = {1, 0, 0, 0, std::cos(t), -std::sin(t)};
    std::copy(iop, iop + 6, o.orientation);
    const auto target = fx::WriteCtSeries(dir / std::to_string(k++), o);
    Rewrite(target.files, {{0x00200052, c.frame}});
    loaded.Load(target.files);
    SOImageObject image;
    image.SetDcmObject(loaded.objects.back(), 0);
    SOPointF from{-1, -1}, to{-1, -1};
    ASSERT_EQ(loc.LineOn(&image, from, to), c.drawn);
    if (!c.drawn) continue;
    EXPECT_NEAR(std::fabs(to.x - from.x), o.columns - 1, 1e-3);
    EXPECT_NEAR(from.y, to.y, 1e-3);
  }
  EXPECT_FALSE(loc.SetLocationLine(nullptr));
  SOImageObject perpendicular;
  perpendicular.SetDcmObject(loaded.objects[1], 0);
  SOPointF from, to;
  EXPECT_FALSE(loc.LineOn(&perpendicular, from, to));
}

TEST_F(ToolTest, CornerTextsFromTheBuiltInConfiguration) {
  Open({}, {{0x00100010, "DOE^JOHN"}, {0x00100030, "19800131"}, {0x00180060, "120"}});
  SOOverInfoConfig::Instance().Load("/nonexistent/overinfo.xml");
  EXPECT_EQ(SOPluginInfo::FormatCornerText(0, &image, 4, true), L"***\n\r***\n\r*** *\n\rIm: 5\n\rSe: 3");
  EXPECT_EQ(SOPluginInfo::FormatCornerText(0, &image, 0, false), L"DOE JOHN\n\rCT0001\n\r1980/01/31 O\n\rIm: 1\n\rSe: 3");
  image.WW(40, 400);
  EXPECT_EQ(SOPluginInfo::FormatCornerText(1, &image, 0, false), L"WL: 40 WW: 400");
  image.WW(0.5, 400);
  EXPECT_EQ(SOPluginInfo::FormatCornerText(1, &image, 0, false), L" WW: 400");
  EXPECT_EQ(SOPluginInfo::FormatCornerText(3, &image, 0, false), L"120KV");
}

TEST_F(ToolTest, CornerConfigurationVariants) {
  Open();
  SOOverInfoConfig& config = SOOverInfoConfig::Instance();
  ASSERT_TRUE(config.Parse(R"(<Anything>
      <LeftTop><Whatever tag="00100020" prefix="ID " newline="true"/><Item prefix="x"/></LeftTop>
      <Unknown><Item tag="0x00100010"/></Unknown>
    </Anything>)"));
  EXPECT_EQ(config.Items(0).size(), 2u);
  EXPECT_EQ(config.Items(0)[1].tag, 0u);
  EXPECT_TRUE(config.Items(1).empty());
  EXPECT_TRUE(config.Items(2).empty());
  EXPECT_EQ(SOPluginInfo::FormatCornerText(0, &image, 0, false), L"ID CT0001");
  EXPECT_FALSE(config.Parse("<broken"));
  EXPECT_FALSE(config.Load("/nonexistent/overinfo.xml"));
  EXPECT_EQ(config.Items(0).size(), 6u);
}

TEST_F(ToolTest, PointerLineClearsWhenThePointerLeaves) {
  fx::CtSeriesOptions square;
  square.rowSpacing = square.columnSpacing = 0.5;
  Open(square);
  auto* info = dynamic_cast<SOPluginInfo*>(window.GetPluginMgr().GetPlugin("OVERINFO"));
  ASSERT_NE(info, nullptr);
  ASSERT_TRUE(DuiLib::UITest::MoveWindowPointer(window.GetWindow(), At(70.5, 60.5)));
  EXPECT_EQ(info->GetPointerText().rfind(L"X: 70 Y: 60 Val: ", 0), 0u);
  SendMessageW(window.GetWindow(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(info->GetPointerText(), L"");
  ASSERT_TRUE(DuiLib::UITest::MoveWindowPointer(window.GetWindow(), POINT{2, 75}));  // beside the image
  EXPECT_EQ(info->GetPointerText(), L"");
}

TEST_F(ToolTest, LengthDragMeasuresInMillimetres) {
  fx::CtSeriesOptions options;
  options.rowSpacing = 0.5;
  options.columnSpacing = 0.8;
  Open(options);
  window.SetMouseMode2D(SOMouseModeLength);
  ISOGraphicMgr* graphics = image.GetGraphicMgr();
  // A click without a drag adds nothing.
  ASSERT_TRUE(DuiLib::UITest::ClickWindow(window.GetWindow(), At(20, 30)));
  EXPECT_EQ(graphics->GetCount(), 0);

  ASSERT_TRUE(DuiLib::UITest::DragWindow(window.GetWindow(), At(10, 30), At(110, 30)));
  ASSERT_EQ(graphics->GetCount(), 1);
  ISOGraphic* length = graphics->GetGraphicAt(0);
  EXPECT_TRUE(length->CheckType("LENGTH"));
  EXPECT_EQ(graphics->GetSelected(), length);
  EXPECT_NEAR(length->GetValues()->length, 80, 0.8);

  // Pressing on the graphic drags it instead of drawing another.
  ASSERT_TRUE(DuiLib::UITest::DragWindow(window.GetWindow(), At(60, 30), At(60, 50)));
  EXPECT_EQ(graphics->GetCount(), 1);
  EXPECT_NEAR((*length->GetPoints())[0].y, 50, 1.0);
}

TEST_F(ToolTest, AngleTakesThreePoints) {
  fx::CtSeriesOptions options;
  options.rowSpacing = options.columnSpacing = 0.5;
  Open(options);
  window.SetMouseMode2D(SOMouseModeAngle);
  ISOGraphicMgr* graphics = image.GetGraphicMgr();
  // The first arm drawn, the vertex at 60,80; then a click where the second arm ends.
  ASSERT_TRUE(DuiLib::UITest::DragWindow(window.GetWindow(), At(20, 80), At(60, 80)));
  EXPECT_EQ(graphics->GetCount(), 0);
  ASSERT_TRUE(DuiLib::UITest::ClickWindow(window.GetWindow(), At(60, 40)));
  ASSERT_EQ(graphics->GetCount(), 1);
  EXPECT_NEAR(graphics->GetGraphicAt(0)->GetValues()->angle, 90, 1.5);
}
