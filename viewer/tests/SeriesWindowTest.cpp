#include <gtest/gtest.h>

#include "DicomFixtures.h"
#include "SOSeriesWindow.h"
#include "SOWinQt.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "ViewerTestUtil.h"
#include "ViewerUiTestUtil.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

// A series of small slices whose instance numbers follow the slice order from 1.
fx::WrittenSeries SmallSeries(int slices, const std::string& seriesUid = "") {
  fx::CtSeriesOptions options;
  options.slices = slices;
  options.rows = options.columns = 8;
  options.shuffleInstanceNumbers = false;
  options.seriesUid = seriesUid;
  return fx::WriteCtSeries(orvanta::test::MakeTempDir(), options);
}

class SeriesWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    series.Create(frame.GetWindow());
    series.ShowScrollbar(false);
    series.MoveWindow(0, 0, 400, 300);
  }
  void Load(const std::vector<fs::path>& files) {
    loaded.Load(files);
    for (ISODcmObject* o : loaded.objects) series.AddObject(o);
  }
  int NumberAt(int index) { return series.GetImageObject(index)->GetDcmObject()->GetInstanceNumber(); }
  SOImageObject* Shown(int window) { return series.GetImageWindow(window)->GetSOImageObject(); }

  viewer_ui_test::Frame frame{500, 400};
  viewer_ui_test::LoadedSeries loaded;
  SOSeriesWindow series;
};

// Counts the window events the images raise, and keeps their senders in order.
class WindowEvents : public ISOImageObjectCallback {
 public:
  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long) override {
    if (event != SOImageWWUpdated) return;
    ++count;
    senders.push_back(sender);
  }
  int count = 0;
  std::vector<SOImageObject*> senders;
};

// Keeps what the last paint of its cell put into the paint buffer, the image and tools drawn.
class LastPaint : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "LASTPAINT"; }
  void SetHost(IPluginHost*) override {}
  void Draw(HDC hdc, RECT) override {
    ++paints;
    if (QImage* image = SOWin::ImageOf(static_cast<HBITMAP>(GetCurrentObject(hdc, OBJ_BITMAP))))
      picture = image->copy();
  }
  int paints = 0;
  QImage picture;
};

}  // namespace

TEST_F(SeriesWindowTest, PagesAndTheWheel) {
  Load(SmallSeries(9).files);
  ASSERT_TRUE(series.SetImageLayout(2, 2));
  EXPECT_FALSE(series.SetImageLayout(0, 3));
  EXPECT_EQ(series.GetScrollbar().GetCount(), 3);
  series.ScrollToLast();
  EXPECT_EQ(Shown(0), series.GetImageObject(8));
  for (int k = 1; k < 4; ++k) EXPECT_EQ(Shown(k), nullptr) << k;
  // A wheel turn towards the user that no tool takes reaches the series window: next page.
  series.ScrollToFirst();
  ASSERT_TRUE(DuiLib::UITest::WheelWindow(series.GetImageWindow(1)->GetWindow(), POINT{10, 10}, -1));
  EXPECT_EQ(series.GetFirstIndex(), 4);
  ASSERT_TRUE(DuiLib::UITest::WheelWindow(series.GetImageWindow(1)->GetWindow(), POINT{10, 10}, 1));
  EXPECT_EQ(series.GetFirstIndex(), 0);
}

// Paging a long series keeps the pixels of the last few pages only; an image paged back to is
// read again and shows as before, in the window it had.
TEST_F(SeriesWindowTest, PagingHoldsAFewPagesOfPixels) {
  Load(SmallSeries(40).files);
  ASSERT_TRUE(series.SetImageLayout(1, 2));
  series.ScrollToFirst();
  series.GetImageObject(0)->WW(30, 700);
  const QImage first = viewer_ui_test::Snap(series.GetWindow());
  ASSERT_TRUE(series.GetImageObject(0)->HoldsPixels());
  for (int page = 1; page < 20; ++page) series.ScrollNext();
  EXPECT_EQ(series.GetFirstIndex(), 38);
  int held = 0;
  for (int i = 0; i < 40; ++i) held += series.GetImageObject(i)->HoldsPixels();
  EXPECT_EQ(held, 16);
  EXPECT_TRUE(series.GetImageObject(39)->HoldsPixels());
  EXPECT_FALSE(series.GetImageObject(0)->HoldsPixels());
  series.ScrollToFirst();
  EXPECT_TRUE(series.GetImageObject(0)->HoldsPixels());
  EXPECT_EQ(viewer_ui_test::Snap(series.GetWindow()), first);
}

TEST_F(SeriesWindowTest, InstanceNumberOrderTiesAndDuplicates) {
  const auto written = SmallSeries(4);
  const int numbers[4] = {3, 1, 2, 2};
  for (int i = 0; i < 4; ++i) viewer_test::Renumber(written.files[i], fx::NewUid(), numbers[i]);
  loaded.Load(written.files);
  for (ISODcmObject* o : loaded.objects) EXPECT_NE(series.AddObject(o), nullptr);
  EXPECT_EQ(series.AddObject(loaded.objects[0]), nullptr);
  EXPECT_EQ(series.AddObject(nullptr), nullptr);
  ASSERT_EQ(series.GetImageObjectCount(), 4);
  EXPECT_EQ(NumberAt(0), 1);
  EXPECT_EQ(NumberAt(1), 2);
  EXPECT_EQ(NumberAt(2), 2);
  EXPECT_EQ(NumberAt(3), 3);
  // The two 2s keep their arrival order.
  EXPECT_EQ(series.GetImageObject(1)->GetDcmObject(), loaded.objects[2]);
  EXPECT_EQ(series.GetImageObject(2)->GetDcmObject(), loaded.objects[3]);
}

TEST_F(SeriesWindowTest, ImagesAddedBeforeTheShownPageKeepThePage) {
  const auto written = SmallSeries(4);
  for (int i = 0; i < 4; ++i) viewer_test::Renumber(written.files[i], fx::NewUid(), 10 + i);
  loaded.Load(written.files);
  for (int i = 1; i < 4; ++i) series.AddObject(loaded.objects[i]);
  series.ScrollNext();
  series.ScrollNext();
  ASSERT_EQ(Shown(0)->GetDcmObject()->GetInstanceNumber(), 13);
  auto* painted = new LastPaint;  // owned by the cell's manager
  series.GetImageWindow(0)->GetPluginMgr().AddPlugin(painted);
  const HWND cell = series.GetImageWindow(0)->GetWindow();
  InvalidateRect(cell, nullptr, TRUE);
  UpdateWindow(cell);
  const QImage before = painted->picture;
  series.AddObject(loaded.objects[0]);
  EXPECT_EQ(Shown(0)->GetDcmObject()->GetInstanceNumber(), 13);
  EXPECT_EQ(series.GetFirstIndex(), 3);
  // The cell shows its image's new place in the series at once ("Im: 4" now).
  const QImage shown = painted->picture;
  EXPECT_NE(shown, before);
  InvalidateRect(cell, nullptr, TRUE);
  UpdateWindow(cell);
  EXPECT_EQ(shown, painted->picture);
}

// A multi-frame object opens on its first frame, whatever the grid; an object added later leaves
// the page with the image it shows.
TEST_F(SeriesWindowTest, AMultiFrameObjectOpensOnItsFirstFrame) {
  const fs::path dir = orvanta::test::MakeTempDir();
  const fs::path clip = fx::WriteRgbClip(dir / "clip", 30, 8, 8);
  const fs::path enhanced = fx::WriteEnhancedCt(dir / "ct");
  for (const auto& [rows, cols] : {std::pair{1, 1}, std::pair{2, 2}}) {
    SCOPED_TRACE(rows * cols);
    series.Clear();
    ASSERT_TRUE(series.SetImageLayout(rows, cols));
    viewer_ui_test::LoadedSeries one;
    one.Load({clip, enhanced});
    series.AddObject(one.objects[0]);
    ASSERT_EQ(series.GetImageObjectCount(), 30);
    EXPECT_EQ(series.GetFirstIndex(), 0);
    EXPECT_EQ(Shown(0)->GetFrameIndex(), 0u);
    series.ScrollNext();
    SOImageObject* paged = Shown(0);
    series.AddObject(one.objects[1]);
    EXPECT_EQ(series.GetImageObjectCount(), 42);
    EXPECT_EQ(Shown(0), paged);
  }
}

TEST_F(SeriesWindowTest, ClicksSelectAndCtrlAdds) {
  Load(SmallSeries(4).files);
  series.SetImageLayout(2, 2);
  const HWND cells[3] = {series.GetImageWindow(0)->GetWindow(), series.GetImageWindow(1)->GetWindow(),
                         series.GetImageWindow(2)->GetWindow()};
  using DuiLib::UITest::Button;
  auto click = [](HWND h, Button button, UINT keys) {
    ASSERT_TRUE(DuiLib::UITest::ClickWindow(h, POINT{3, 3}, button, keys));
  };
  click(cells[0], Button::Left, 0);
  EXPECT_TRUE(series.IsActive());
  click(cells[1], Button::Right, MK_CONTROL);
  EXPECT_TRUE(series.GetImageObject(0)->IsSelected());
  EXPECT_TRUE(series.GetImageObject(1)->IsSelected());
  click(cells[2], Button::Middle, 0);
  EXPECT_FALSE(series.GetImageObject(0)->IsSelected());
  EXPECT_FALSE(series.GetImageObject(1)->IsSelected());
  EXPECT_TRUE(series.GetImageObject(2)->IsSelected());
  series.SetActive(false);
  EXPECT_FALSE(series.GetImageObject(2)->IsSelected());
}

TEST_F(SeriesWindowTest, GridCellsFillTheAreaWithOnePixelGaps) {
  series.SetImageLayout(1, 2);
  const RECT a = series.GetImageWindow(0)->GetWindowRect();
  const RECT b = series.GetImageWindow(1)->GetWindowRect();
  EXPECT_EQ(a.left, 0);
  EXPECT_EQ(a.right - a.left, 199);
  EXPECT_EQ(b.left, 200);
  EXPECT_EQ(b.right - b.left, 200);
  ASSERT_EQ(series.GetSeparators().size(), 1u);
  EXPECT_EQ(series.GetSeparators()[0].x1, 199);
  series.ShowScrollbar(true);
  EXPECT_EQ(series.GetImageArea().right, 400 - GetSystemMetrics(SM_CXVSCROLL));
}

// Every image hears one change once, whatever the size of the series.
TEST_F(SeriesWindowTest, LinkedWindowReachesEachImageOnce) {
  Load(SmallSeries(1000).files);
  ASSERT_EQ(series.GetImageObjectCount(), 1000);
  WindowEvents events;
  for (int i = 0; i < 1000; ++i) series.GetImageObject(i)->RegisterCallback(&events);
  series.GetImageObject(500)->WW(55, 555);
  EXPECT_EQ(events.count, 1000);
  // One loop over the series reaches them in order; a loop entered again from each image's own
  // event would reach them innermost first.
  std::vector<SOImageObject*> order;
  for (int i = 0; i < 1000; ++i)
    if (i != 500) order.push_back(series.GetImageObject(i));
  order.push_back(series.GetImageObject(500));
  EXPECT_TRUE(events.senders == order);
  for (int i : {0, 999}) {
    EXPECT_DOUBLE_EQ(series.GetImageObject(i)->GetImagePresentationState().windowWidth, 555);
    EXPECT_DOUBLE_EQ(series.GetImageObject(i)->GetImagePresentationState().windowCenter, 55);
  }
  const SOMatrix2R2C before = series.GetImageObject(1)->GetImagePresentationState().matrix;
  series.GetImageObject(0)->Rotate(true);
  EXPECT_EQ(series.GetImageObject(1)->GetImagePresentationState().matrix.m01, before.m01);
  for (int i = 0; i < 1000; ++i) series.GetImageObject(i)->UnRegisterCallback(&events);
}

// The moves of a window drag paint quickly; the release repaints every cell so painted once,
// and they then show what a paint without a drag shows. A move without a button ends a drag
// whose release went elsewhere the same way.
TEST_F(SeriesWindowTest, CellsPaintedDuringADragEndAsWithoutOne) {
  Load(SmallSeries(4).files);
  ASSERT_TRUE(series.SetImageLayout(2, 2));
  series.GetImageWindow(0)->SetMouseMode2D(SOMouseModeWW);
  LastPaint* cells[2] = {new LastPaint, new LastPaint};  // owned by the cells' managers
  series.GetImageWindow(0)->GetPluginMgr().AddPlugin(cells[0]);
  series.GetImageWindow(3)->GetPluginMgr().AddPlugin(cells[1]);
  const HWND dragged = series.GetImageWindow(0)->GetWindow();
  auto fullRepaint = [&](int k) {
    const HWND h = series.GetImageWindow(k == 0 ? 0 : 3)->GetWindow();
    InvalidateRect(h, nullptr, TRUE);
    UpdateWindow(h);
    return cells[k]->picture;
  };
  for (const UINT end : {UINT(WM_LBUTTONUP), UINT(WM_MOUSEMOVE)}) {
    SCOPED_TRACE(end == WM_LBUTTONUP ? "release" : "move without a button");
    SendMessageW(dragged, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
    SendMessageW(dragged, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 40));
    QImage during[2] = {cells[0]->picture, cells[1]->picture};
    const int paints[2] = {cells[0]->paints, cells[1]->paints};
    SendMessageW(dragged, end, 0, MAKELPARAM(80, 40));
    for (int k = 0; k < 2; ++k) {
      if (end == WM_LBUTTONUP) EXPECT_EQ(cells[k]->paints, paints[k] + 1) << k;
      const QImage ended = cells[k]->picture;
      const QImage full = fullRepaint(k);
      EXPECT_TRUE(ended == full) << k;
      EXPECT_FALSE(during[k] == full) << k;  // the drag's own paints were the quick ones
    }
    if (end == WM_MOUSEMOVE) SendMessageW(dragged, WM_LBUTTONUP, 0, MAKELPARAM(80, 40));
  }
  EXPECT_DOUBLE_EQ(series.GetImageObject(3)->GetImagePresentationState().windowWidth,
                   series.GetImageObject(0)->GetImagePresentationState().windowWidth);
}

// Wheel steps page with quick scaling; once the wheel rests each cell so painted repaints in
// full, once.
TEST_F(SeriesWindowTest, CellsPagedByTheWheelRepaintInFullOnceItRests) {
  Load(SmallSeries(12).files);
  ASSERT_TRUE(series.SetImageLayout(2, 2));
  LastPaint* cells[2] = {new LastPaint, new LastPaint};  // owned by the cells' managers
  series.GetImageWindow(0)->GetPluginMgr().AddPlugin(cells[0]);
  series.GetImageWindow(3)->GetPluginMgr().AddPlugin(cells[1]);
  const HWND wheeled = series.GetImageWindow(0)->GetWindow();
  SendMessageW(wheeled, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  SendMessageW(wheeled, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  const int first = NumberAt(0);
  ASSERT_NE(Shown(0)->GetDcmObject()->GetInstanceNumber(), first);
  const QImage during[2] = {cells[0]->picture, cells[1]->picture};
  const int paints[2] = {cells[0]->paints, cells[1]->paints};
  SOWin::PumpUntil([&] { return cells[0]->paints > paints[0] && cells[1]->paints > paints[1]; }, 2000);
  SOWin::PumpEvents(20);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(cells[k]->paints, paints[k] + 1) << k;
    const QImage rested = cells[k]->picture;
    const HWND h = series.GetImageWindow(k == 0 ? 0 : 3)->GetWindow();
    InvalidateRect(h, nullptr, TRUE);
    UpdateWindow(h);
    EXPECT_TRUE(rested == cells[k]->picture) << k;
    EXPECT_FALSE(during[k] == cells[k]->picture) << k;
  }
}

// The copy is of the window tree, and a clipboard that cannot be opened is reported.
TEST_F(SeriesWindowTest, ClipboardCopyReportsAClipboardInUse) {
  Load(SmallSeries(1).files);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(series.CopyToClipboard());
  CloseClipboard();
  EXPECT_TRUE(series.CopyToClipboard());
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
}
