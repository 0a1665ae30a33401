#include <gtest/gtest.h>

#include <cmath>

#include "DicomFixtures.h"
#include "ISOGraphic.h"
#include "Lumexa.h"
#include "SOImageObject.h"
#include "SOImageWindow.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "ViewerUiTestUtil.h"

namespace fx = orvanta::fixtures;
using viewer_ui_test::Rgb;
using viewer_ui_test::Snap;

namespace {

class Events : public ISOImageWindowCallback {
 public:
  void OnImageWindowMessageEvent(SOImageWindow*, UINT msg, WPARAM, LPARAM) override { messages.push_back(msg); }
  void OnImageObjectChangedEvent(SOImageWindow*, ISOImageObject* image) override {
    changes.push_back(image);
  }
  std::vector<UINT> messages;
  std::vector<ISOImageObject*> changes;
};

// Counts the paints that reach the plug-ins.
class PaintCounter : public ISOCtrlPlugin {
 public:
  explicit PaintCounter(int* count) : count_(count) {}
  const char* GetName() override { return "COUNTER"; }
  void SetHost(IPluginHost*) override {}
  void Draw(HDC, RECT) override { ++*count_; }

 private:
  int* count_;
};

// A 2-slice CT series in a window of its own.
class ImageWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    fx::CtSeriesOptions options;
    options.slices = 2;
    options.rows = options.columns = 64;
    series.Load(fx::WriteCtSeries(orvanta::test::MakeTempDir(), options).files);
    for (int i = 0; i < 2; ++i) images[i].SetDcmObject(series.objects[i], 0);
    window.Create(frame.GetWindow(), 0, 0, 200, 150);
    window.MoveWindow(0, 0, 200, 150);
  }

  viewer_ui_test::Frame frame{400, 300};
  viewer_ui_test::LoadedSeries series;
  SOImageObject images[2];
  SOImageWindow window;
};

}  // namespace

TEST_F(ImageWindowTest, SameImageWithAnotherIndexOnlyChangesTheIndex) {
  Events events;
  int paints = 0;
  window.RegisterCallback(&events);
  window.GetPluginMgr().AddPlugin(new PaintCounter(&paints));
  window.SetImageObject(&images[0], 0);
  ASSERT_EQ(events.changes.size(), 1u);
  const int paintsAfterFirst = paints;
  EXPECT_GT(paintsAfterFirst, 0);
  window.SetImageObject(&images[0], 7);
  EXPECT_EQ(window.GetImageObjectIndex(), 7);
  EXPECT_EQ(events.changes.size(), 1u);
  EXPECT_EQ(paints, paintsAfterFirst);
  // The image's own changes repaint.
  images[0].WW(100, 500);
  EXPECT_GT(paints, paintsAfterFirst);
}

TEST_F(ImageWindowTest, NewImageDataPaintsTheWindowOnceWithItsGraphics) {
  window.SetImageObject(&images[0], 0);
  ASSERT_NE(window.GetPluginMgr().GetPlugin("GRAPHICS"), nullptr);
  images[0].GetGraphicMgr()->AddRectangle({10, 10}, 20, 20);
  int paints = 0;
  window.GetPluginMgr().AddPlugin(new PaintCounter(&paints));
  // A builder writing each new frame into the image: the graphics follow it in the same paint.
  images[0].UpdateImage();
  EXPECT_EQ(paints, 1);
}

TEST_F(ImageWindowTest, NullImagePaintsBlackInsideTheGreyRing) {
  Events events;
  window.RegisterCallback(&events);
  window.SetImageObject(&images[0], 0);
  window.SetImageObject(nullptr, 0);
  ASSERT_EQ(events.changes.size(), 2u);
  EXPECT_EQ(events.changes[1], nullptr);
  const QImage shot = Snap(window.GetWindow());
  EXPECT_EQ(Rgb(shot, 0, 0), 0x505050u);
  EXPECT_EQ(Rgb(shot, 199, 149), 0x505050u);
  EXPECT_EQ(Rgb(shot, 100, 75), 0u);
  // Messages still reach the owner's callbacks without an image.
  SendMessageW(window.GetWindow(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  SendMessageW(window.GetWindow(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(events.messages, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(ImageWindowTest, SelectedBorderOnlyWhenSelectedAndShown) {
  window.SetImageObject(&images[0], 0);
  EXPECT_EQ(Rgb(Snap(window.GetWindow()), 0, 0), 0x505050u);
  images[0].SetSelected(true);
  window.UpdateWindow();
  EXPECT_EQ(Rgb(Snap(window.GetWindow()), 0, 0), 0x02B076u);
  window.ShowSelectedBorder(false);
  EXPECT_EQ(Rgb(Snap(window.GetWindow()), 0, 0), 0x505050u);
}

TEST_F(ImageWindowTest, MouseModesReadBackOnlyForDragTools) {
  const std::pair<int, SOMouseMode2D> cases[] = {
      {1, SOMouseModeWW}, {2, SOMouseModeZoom}, {3, SOMouseModePan}, {4, SOMouseModeNone},
      {5, SOMouseModeNone}, {7, SOMouseModeNone}, {8, SOMouseModeNone}, {0, SOMouseModeNone},
      {99, SOMouseModeNone},
  };
  for (auto [mode, expected] : cases) {
    window.SetMouseMode2D(static_cast<SOMouseMode2D>(mode));
    EXPECT_EQ(window.GetMouseMode2D(), expected) << mode;
  }
}

TEST_F(ImageWindowTest, RightDragWindowsAndMiddleDragZoomsWhateverTheLeftTool) {
  window.SetImageObject(&images[0], 0);
  window.SetMouseMode2D(SOMouseModePan);
  images[0].WW(40, 400);
  const HWND h = window.GetWindow();
  int paints = 0;
  window.GetPluginMgr().AddPlugin(new PaintCounter(&paints));
  SendMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(50, 50));
  SendMessageW(h, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(51, 51));  // inside the dead zone
  EXPECT_DOUBLE_EQ(images[0].GetImagePresentationState().windowWidth, 400);
  paints = 0;
  SendMessageW(h, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(61, 51));
  // The pointer text and the new window show in one paint, made once the move is handled.
  EXPECT_EQ(paints, 1);
  SendMessageW(h, WM_RBUTTONUP, 0, MAKELPARAM(61, 51));
  EXPECT_DOUBLE_EQ(images[0].GetImagePresentationState().windowWidth, 410);
  EXPECT_FLOAT_EQ(images[0].GetImagePresentationState().panX, 0);

  // Each pixel down adds 1/height to the zoom, from the zoom the drag starts at.
  for (const double expected : {(30.0 + 150) / 150, (30.0 + 180) / 150}) {
    ASSERT_TRUE(DuiLib::UITest::DragWindow(h, POINT{50, 50}, POINT{50, 80}, DuiLib::UITest::Button::Middle));
    EXPECT_NEAR(images[0].GetImagePresentationState().zoom, expected, 1e-5);
  }
}

TEST_F(ImageWindowTest, PanFollowsThePointerInAnyCell) {
  // A cell away from the parent's top left moves the image as far as the pointer.
  window.MoveWindow(200, 150, 200, 150);
  window.SetImageObject(&images[0], 0);
  window.SetMouseMode2D(SOMouseModePan);
  const HWND h = window.GetWindow();
  ASSERT_TRUE(DuiLib::UITest::DragWindow(h, POINT{10, 10}, POINT{30, 40}));
  EXPECT_FLOAT_EQ(images[0].GetImagePresentationState().panX, 20.0f / 200);
  EXPECT_FLOAT_EQ(images[0].GetImagePresentationState().panY, 30.0f / 150);
}

TEST_F(ImageWindowTest, FontSizeFollowsTheWindowHeight) {
  SOWin::SetScreenForTest(RECT{0, 0, 1600, 1000}, RECT{0, 0, 1600, 1000});
  struct Case {
    int height;
    double points;
  };
  // d = H / (S * 0.618) * 34 within 16..34; points = H / d / 96 * 72.
  const Case cases[] = {{100, 100.0 / 16 * 0.75}, {300, 300 / (300 / 618.0 * 34) * 0.75}, {1000, 1000.0 / 34 * 0.75}};
  for (const Case& c : cases) {
    window.MoveWindow(0, 0, 200, c.height);
    float size = -1;
    ASSERT_TRUE(window.GetFontSize(size));
    EXPECT_NEAR(size, c.points, 1e-3) << c.height;
  }
  window.MoveWindow(0, 0, 200, 0);
  float size = -1;
  EXPECT_FALSE(window.GetFontSize(size));
  EXPECT_EQ(size, -1);
}

TEST_F(ImageWindowTest, ForegroundTextOnlyOnWindowsShowingAnImage) {
  SOImageWindow empty;
  empty.Create(frame.GetWindow(), 200, 0, 200, 150);
  empty.MoveWindow(200, 0, 200, 150);
  window.SetImageObject(&images[0], 0);
  // The image is grey; the box and its text are red.
  auto boxPixels = [](const QImage& shot) {
    int count = 0;
    for (int x = 0; x < shot.width(); ++x) {
      for (int y = 0; y < shot.height(); ++y) {
        const QRgb c = shot.pixel(x, y);
        count += qRed(c) > qGreen(c) + 8 ? 1 : 0;
      }
    }
    return count;
  };
  const int plain = boxPixels(Snap(window.GetWindow()));
  SetForegroundText("TEST");
  window.UpdateWindow();
  empty.UpdateWindow();
  EXPECT_GT(boxPixels(Snap(window.GetWindow())), plain + 200);
  EXPECT_EQ(boxPixels(Snap(empty.GetWindow())), 0);
  SetForegroundText("");
  window.UpdateWindow();
  EXPECT_EQ(boxPixels(Snap(window.GetWindow())), plain);
}
