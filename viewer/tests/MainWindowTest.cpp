#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "DicomFixtures.h"
#include "ISOGraphic.h"
#include "Lumexa.h"
#include "SODcmFile.h"
#include "SOImageWindow.h"
#include "SOMainWindow.h"
#include "SOPluginInfo.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "ViewerUiTestUtil.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

class Host : public ISOViewerCtrlCallback {
 public:
  void OnFileLoaded(const SOViewerFileEvent* e) override {
    ++files;
    objects += e->objects.GetLength();
    done.push_back(e->done);
    // Reading the objects shows they are alive when reported.
    for (int i = 0; i < e->objects.GetLength(); ++i) {
      if (!first) first = e->objects[i];
      uids += e->objects[i]->GetSopInstanceUID()[0] ? 1 : 0;
    }
  }
  void OnLoadFinished(const SOViewerFinishEvent*) override {
    ++finished;
    filesAtFinish = files;
  }
  void OnCleared() override {
    ++cleared;
    filesAtClear = files;
    if (onCleared) onCleared();
  }
  void OnSeriesActivated(ISOSeriesWnd* s) override { activated.push_back(s); }
  int files = 0, objects = 0, finished = 0, cleared = 0, uids = 0;
  int filesAtFinish = -1, filesAtClear = -1;
  std::vector<int> done;
  ISODcmObject* first = nullptr;
  std::function<void()> onCleared;
  std::vector<ISOSeriesWnd*> activated;
};

// Hears a data centre's finish on its loader thread.
class LoaderFinish : public ISODcmDataCenterCallback {
 public:
  void OnFileLoadedEvent(const SODcmLoadEvent*) override {}
  void OnLoadFinishedEvent(const SODcmLoadEvent*) override {
    std::lock_guard lock(m);
    finished = true;
    cv.notify_all();
  }
  void OnClearedEvent() override {}
  bool Wait() {
    std::unique_lock lock(m);
    return cv.wait_for(lock, std::chrono::seconds(20), [&] { return finished; });
  }
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
};

fx::WrittenSeries Series(const fs::path& folder, int slices, const std::string& studyUid = "1.2.826.0.1.7") {
  fx::CtSeriesOptions o;
  o.slices = slices;
  o.rows = o.columns = 16;
  o.studyUid = studyUid;
  return fx::WriteCtSeries(folder, o);
}

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    control = static_cast<SOMainWindow*>(CreateLumexa());
    ASSERT_NE(control->Create(frame.GetWindow(), 0, 0, 400, 300, true), nullptr);
    control->RegisterCallback(&host);
  }
  void TearDown() override { ReleaseLumexa(control); }
  bool WaitFinished(int count) {
    return SOWin::PumpUntil([&] { return host.finished >= count; }, 20000);
  }

  viewer_ui_test::Frame frame{400, 300};
  SOMainWindow* control = nullptr;
  Host host;
};

}  // namespace

TEST_F(MainWindowTest, SeriesLayoutGeometry) {
  EXPECT_FALSE(control->SetSeriesLayout(0, 3));
  control->Move(0, 0, 200, 100);
  ASSERT_TRUE(control->SetSeriesLayout(2, 1));
  const RECT a = control->GetSeriesWindow(0)->GetWindowRect();
  const RECT b = control->GetSeriesWindow(1)->GetWindowRect();
  EXPECT_EQ((std::vector<LONG>{a.left, a.top, a.right - a.left, a.bottom - a.top}), (std::vector<LONG>{1, 1, 198, 48}));
  EXPECT_EQ((std::vector<LONG>{b.left, b.top, b.right - b.left, b.bottom - b.top}), (std::vector<LONG>{1, 50, 198, 49}));
  ASSERT_EQ(control->GetSeparators().size(), 1u);
  const auto s = control->GetSeparators()[0];
  EXPECT_EQ((std::vector<int>{s.x1, s.y1, s.x2, s.y2}), (std::vector<int>{1, 49, 198, 49}));
  ASSERT_TRUE(control->SetSeriesLayout(2, 2));
  ISOSeriesWnd* first = control->GetSeriesWnd(0);
  ASSERT_TRUE(control->SetSeriesLayout(2, 2));
  EXPECT_EQ(control->GetSeriesWndCount(), 4);
  EXPECT_EQ(control->GetSeriesWnd(0), first);
  EXPECT_EQ(control->GetSeriesWnd(4), nullptr);
}

TEST_F(MainWindowTest, FirstSeriesFillsWindowZeroAndOthersAreOnlyReported) {
  const fs::path dir = orvanta::test::MakeTempDir();
  const auto a = Series(dir / "a", 6);
  const auto b = Series(dir / "b", 4);
  control->SetSeriesLayout(2, 2);
  ASSERT_TRUE(control->LoadFolder(dir.c_str(), -1));
  ASSERT_TRUE(WaitFinished(1));
  EXPECT_EQ(host.files, 10);
  EXPECT_EQ(host.objects, 10);
  SOSeriesWindow* w0 = control->GetSeriesWindow(0);
  const int shown = w0->GetImageObjectCount();
  EXPECT_TRUE(shown == 6 || shown == 4);
  for (int i = 1; i < 4; ++i) EXPECT_TRUE(control->GetSeriesWnd(i)->IsEmpty()) << i;
  // The study opened into series window 0 makes it the active one: a window preset reaches it.
  EXPECT_EQ(host.activated, std::vector<ISOSeriesWnd*>{w0});
  control->WW(-500, 1500);
  EXPECT_EQ(w0->GetImageObject(0)->GetImagePresentationState().windowWidth, 1500);
  const std::string other = w0->GetImageObject(0)->GetDcmObject()->GetSeriesInstanceUID() == a.seriesUid ? b.seriesUid : a.seriesUid;
  ASSERT_TRUE(control->ActivateSeriesWnd(1));
  ASSERT_TRUE(control->ShowSeries(other.c_str()));
  EXPECT_EQ(control->GetSeriesWnd(1)->GetImageObjectCount(), 10 - shown);
  EXPECT_FALSE(control->ShowSeries("9.9.9"));
  EXPECT_FALSE(control->LoadFolder(nullptr, -1));
  EXPECT_FALSE(control->LoadFiles(nullptr));
}

// The loader queues its events and goes on: it finishes while the UI thread is busy, and the UI
// thread then places everything in one go, reporting each file in order before the finish. The
// page stays with the image that arrived first, as when the files come one by one.
TEST_F(MainWindowTest, TheLoaderNeverWaitsForTheUiThread) {
  const auto a = Series(orvanta::test::MakeTempDir(), 30);
  LoaderFinish loader;
  control->GetDataCenter()->RegisterCallback(&loader);
  ASSERT_TRUE(control->LoadFolder(a.files[0].parent_path().c_str(), -1));
  EXPECT_TRUE(loader.Wait());
  EXPECT_EQ(host.files, 0);
  ASSERT_TRUE(WaitFinished(1));
  control->GetDataCenter()->UnRegisterCallback(&loader);
  EXPECT_EQ(host.filesAtFinish, 30);
  std::vector<int> order(30);
  for (int i = 0; i < 30; ++i) order[i] = i + 1;
  EXPECT_EQ(host.done, order);
  EXPECT_EQ(host.uids, 30);
  SOSeriesWindow* w0 = control->GetSeriesWindow(0);
  ASSERT_EQ(w0->GetImageObjectCount(), 30);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(w0->GetImageObject(i)->GetDcmObject()->GetInstanceNumber(), i + 1);
  EXPECT_EQ(w0->GetScrollbar().GetCount(), 30);
  ASSERT_NE(w0->GetImageWindow(0)->GetSOImageObject(), nullptr);
  EXPECT_EQ(w0->GetImageWindow(0)->GetSOImageObject()->GetDcmObject(), host.first);
}

// A data centre the host gives the control, cleared on another thread after its loader queued
// a whole series: the clear waits until the UI thread has reported the queued files (their
// objects alive) and the clear itself, then frees them.
TEST_F(MainWindowTest, ClearOnAnotherThreadWaitsForTheQueuedFiles) {
  const auto a = Series(orvanta::test::MakeTempDir(), 12);
  ISODcmDataCenter* center = CreateDcmDataCenter();
  control->SetDataCenter(center);
  LoaderFinish loader;
  center->RegisterCallback(&loader);
  host.onCleared = [&] {
    for (int i = 0; i < control->GetSeriesWndCount(); ++i) control->GetSeriesWnd(i)->Clear();
  };
  SOArray<SOString> paths;
  for (const auto& f : a.files) paths.Add(SOString(f.string()));
  ASSERT_TRUE(control->LoadFiles(&paths));
  ASSERT_TRUE(loader.Wait());
  int clearedWhenReturned = -1;
  std::thread clearing([&] {
    center->Clear();
    clearedWhenReturned = host.cleared;
  });
  EXPECT_TRUE(SOWin::PumpUntil([&] { return host.cleared == 1; }, 20000));
  clearing.join();
  EXPECT_EQ(clearedWhenReturned, 1);
  EXPECT_EQ(host.filesAtClear, 12);
  EXPECT_EQ(host.uids, 12);
  EXPECT_EQ(host.finished, 1);
  EXPECT_TRUE(control->GetSeriesWnd(0)->IsEmpty());
  center->UnRegisterCallback(&loader);
  control->SetDataCenter(nullptr);
  ReleaseDcmDataCenter(center);
}

// Leaving a data centre while its loader runs: nothing of it reaches the control afterwards,
// also once it is freed.
TEST_F(MainWindowTest, LeavingADataCentreMidLoadStopsItsEvents) {
  const auto a = Series(orvanta::test::MakeTempDir(), 40);
  for (int round = 0; round < 3; ++round) {
    ISODcmDataCenter* center = CreateDcmDataCenter();
    control->SetDataCenter(center);
    ASSERT_TRUE(control->LoadFolder(a.files[0].parent_path().c_str(), -1));
    SOWin::PumpEvents(round * 3);
    control->SetDataCenter(nullptr);
    const int files = host.files, finished = host.finished;
    for (int i = 0; i < control->GetSeriesWndCount(); ++i) control->GetSeriesWnd(i)->Clear();
    ReleaseDcmDataCenter(center);
    SOWin::PumpEvents(20);
    EXPECT_EQ(host.files, files);
    EXPECT_EQ(host.finished, finished);
    EXPECT_EQ(host.uids, host.objects);
  }
}

TEST_F(MainWindowTest, LateEventsAfterCloseAllPlaceNothingButAreReported) {
  const auto a = Series(orvanta::test::MakeTempDir(), 2);
  viewer_ui_test::LoadedSeries other;
  other.Load(a.files);
  SODcmLoadEvent late;
  late.stamp = 1;
  late.total = late.done = 1;
  late.path = a.files[0].c_str();
  late.objects.Add(other.objects[0]);
  control->CloseAll();
  EXPECT_TRUE(SOWin::PumpUntil([&] { return host.cleared == 1; }, 5000));
  SendMessageW(control->GetHWND(), SO_MSG_DCM_FILE_LOADED, reinterpret_cast<WPARAM>(&late), 0);
  EXPECT_TRUE(control->GetSeriesWnd(0)->IsEmpty());
  EXPECT_EQ(host.files, 1);
  // The same through the queue the loader thread fills: the late file is reported, not placed,
  // while a file of a request made after the close is placed.
  struct Case {
    uint64_t stamp;
    bool placed;
  } cases[] = {{1, false}, {control->GetDataCenter()->NextStamp(), true}};
  for (const Case& c : cases) {
    late.stamp = c.stamp;
    const int files = host.files;
    std::thread([&] { control->OnFileLoadedEvent(&late); }).join();
    EXPECT_TRUE(SOWin::PumpUntil([&] { return host.files == files + 1; }, 5000)) << c.stamp;
    EXPECT_EQ(control->GetSeriesWnd(0)->IsEmpty(), !c.placed) << c.stamp;
  }
  control->CloseAll();
  EXPECT_TRUE(SOWin::PumpUntil([&] { return host.cleared == 2; }, 5000));
  // A synchronous load after the close places, once.
  EXPECT_NE(control->LoadFile(a.files[1].c_str(), 0), nullptr);
  EXPECT_EQ(control->LoadFile(a.files[1].c_str(), 0), nullptr);
  EXPECT_EQ(control->GetSeriesWnd(0)->GetImageObjectCount(), 1);
}

TEST_F(MainWindowTest, CaptureFindsItsSourceImage) {
  ISOImageObject* source = reinterpret_cast<ISOImageObject*>(0x1);
  EXPECT_EQ(control->Capture(0, &source), nullptr);
  EXPECT_EQ(source, reinterpret_cast<ISOImageObject*>(0x1));
  const auto a = Series(orvanta::test::MakeTempDir(), 1);
  ASSERT_NE(control->LoadFile(a.files[0].c_str(), -1), nullptr);
  HBITMAP bitmap = control->Capture(0, &source);
  ASSERT_NE(bitmap, nullptr);
  SOImageWindow* cell = control->GetSeriesWindow(0)->GetImageWindow(0);
  EXPECT_EQ(source, cell->GetImageObject());
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  const RECT r = cell->GetWindowRect();
  EXPECT_EQ(info.bmWidth, r.right - r.left - 2);
  DeleteObject(bitmap);
  source = nullptr;
  EXPECT_EQ(control->Capture(3, &source), nullptr);
  EXPECT_EQ(source, cell->GetImageObject());
}

TEST_F(MainWindowTest, ActivationReportsTheLoserFirst) {
  control->SetSeriesLayout(1, 2);
  control->ActivateSeriesWnd(0);
  host.activated.clear();
  control->ActivateSeriesWnd(1);
  ASSERT_EQ(host.activated.size(), 2u);
  EXPECT_EQ(host.activated[0], control->GetSeriesWnd(0));
  EXPECT_EQ(host.activated[1], control->GetSeriesWnd(1));
  EXPECT_EQ(control->GetActiveSeriesWnd(), control->GetSeriesWnd(1));
}

TEST(Lumexa, ReleaseDestroysTheWindowsAndMidLoadIsClean) {
  ReleaseLumexa(nullptr);
  viewer_ui_test::Frame frame;
  const auto a = Series(orvanta::test::MakeTempDir(), 40);
  for (int round = 0; round < 3; ++round) {
    ISOLumexa* control = CreateLumexa();
    HWND hwnd = control->Create(frame.GetWindow(), 0, 0, 300, 200, true);
    control->SetSeriesLayout(2, 2);
    HWND cell = control->GetSeriesWnd(0)->GetHWND();
    ASSERT_TRUE(control->LoadFolder(a.files[0].parent_path().c_str(), -1));
    SOWin::PumpEvents(round * 5);
    ReleaseLumexa(control);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindow(cell));
  }
}

// The shot tool drives the real control offscreen on a two-series CT fixture: the first series
// in series window 0, the second shown in window 1 on request, the bottom row empty.
TEST(Viewer2dShot, TwoSeriesFixture) {
  const fs::path dir = orvanta::test::MakeTempDir();
  Series(dir / "ct" / "a", 40);
  Series(dir / "ct" / "b", 40);
  const fs::path tool = orvanta::test::ProgramFolder().parent_path() / "tools" / "viewer2d_shot";
  const fs::path png = dir / "shot.png";
  ASSERT_EQ(orvanta::test::RunCommand("QT_QPA_PLATFORM=offscreen " + tool.string() + " --folder " +
                                      (dir / "ct").string() +
                                      " --layout 2x2 --mode length --drag 40,40:140,40 --second --size 600x400 --out " +
                                      png.string()),
            0);
  QImage shot(QString::fromStdString(png.string()));
  ASSERT_EQ(shot.width(), 600);
  auto lit = [&](int x0, int y0) {
    int count = 0;
    for (int x = x0 + 40; x < x0 + 250; x += 5) {
      for (int y = y0 + 40; y < y0 + 160; y += 5) count += (shot.pixel(x, y) & 0xFFFFFF) != 0;
    }
    return count;
  };
  EXPECT_GT(lit(0, 0), 100);
  EXPECT_GT(lit(300, 0), 100);
  EXPECT_EQ(lit(0, 200), 0);
  EXPECT_EQ(lit(300, 200), 0);
}

// A length drawn through the control measures the drag in image pixels times the spacing.
TEST_F(MainWindowTest, LengthDragThroughTheControl) {
  fx::CtSeriesOptions o;
  o.slices = 1;
  o.rowSpacing = 0.5;
  o.columnSpacing = 0.8;
  const auto a = fx::WriteCtSeries(orvanta::test::MakeTempDir(), o);
  control->SetSeriesLayout(2, 2);
  control->SetMouseMode2D(SOMouseModeLength);
  SOImageObject* image = control->LoadFile(a.files[0].c_str(), -1);
  ASSERT_NE(image, nullptr);
  SOImageWindow* cell = control->GetSeriesWindow(0)->GetImageWindow(0);
  auto at = [&](double ix, double iy) {
    const double in[2] = {ix, iy};
    double out[2];
    EXPECT_TRUE(cell->ImageToWindowCoords(in, out));
    return POINT{static_cast<LONG>(std::lround(out[0])), static_cast<LONG>(std::lround(out[1]))};
  };
  ASSERT_TRUE(DuiLib::UITest::DragWindow(cell->GetWindow(), at(20, 64), at(120, 64)));
  ASSERT_EQ(image->GetGraphicMgr()->GetCount(), 1);
  EXPECT_NEAR(image->GetGraphicMgr()->GetGraphicAt(0)->GetValues()->length, 80, 1.0);
}

// Files without a stored window (none, or 0/0) are shown with the automatic window over their
// values. A window drag starts from that window, not from a width of 0: the picture keeps its
// greys, the series follows, the corner reads the dragged window, and the default window brings
// the automatic one back.
TEST_F(MainWindowTest, WindowDragOnImagesWithoutAStoredWindowStartsFromTheShownOne) {
  fx::CtSeriesOptions o;
  o.slices = 2;
  o.rows = o.columns = 96;
  const auto a = fx::WriteCtSeries(orvanta::test::MakeTempDir(), o);
  for (size_t k = 0; k < a.files.size(); ++k) {
    SODcmFile dcm;
    ASSERT_TRUE(dcm.LoadFile(a.files[k].c_str(), true));
    for (unsigned long tag : {0x00281050ul, 0x00281051ul}) {
      if (k == 0)
        dcm.GetDataset()->SetString(tag, "0");
      else
        dcm.GetDataset()->DeleteAttribute(tag);
    }
    ASSERT_TRUE(dcm.SaveFile(a.files[k].c_str()));
  }
  control->SetMouseMode2D(SOMouseModeWW);
  ASSERT_TRUE(control->LoadFolder(a.files[0].parent_path().c_str(), -1));
  ASSERT_TRUE(WaitFinished(1));
  SOSeriesWindow* series = control->GetSeriesWindow(0);
  ASSERT_EQ(series->GetImageObjectCount(), 2);
  SOImageWindow* cell = series->GetImageWindow(0);
  auto* shown = static_cast<SOImageObject*>(cell->GetImageObject());
  const QImage before = viewer_ui_test::Snap(cell->GetWindow());
  double c0 = 0, w0 = 0;
  ASSERT_TRUE(shown->GetShownWindow(c0, w0));
  ASSERT_GT(w0, 1600);  // air to bone

  ASSERT_TRUE(DuiLib::UITest::DragWindow(cell->GetWindow(), POINT{100, 100}, POINT{130, 100}));
  const double step = std::trunc(w0 / 800);
  for (int i = 0; i < 2; ++i) {
    const SOImagePresentationState& s = series->GetImageObject(i)->GetImagePresentationState();
    EXPECT_DOUBLE_EQ(s.windowCenter, c0) << i;
    EXPECT_DOUBLE_EQ(s.windowWidth, w0 + 30 * step) << i;
  }
  const std::wstring corner = L"WL: " + std::to_wstring(static_cast<int>(c0)) +
                              L" WW: " + std::to_wstring(static_cast<int>(w0 + 30 * step));
  EXPECT_EQ(SOPluginInfo::FormatCornerText(1, shown, 0, false), corner);
  const QImage dragged = viewer_ui_test::Snap(cell->GetWindow());
  EXPECT_NEAR(viewer_ui_test::MeanGrey(dragged), viewer_ui_test::MeanGrey(before), 4.0);

  control->ResetWW();
  for (int i = 0; i < 2; ++i) {
    const SOImagePresentationState& s = series->GetImageObject(i)->GetImagePresentationState();
    EXPECT_EQ(s.windowWidth, 0) << i;
  }
  // The texts and the selection border aside, the picture is the first one again.
  const QRect inside = before.rect().adjusted(before.width() / 5, before.height() / 4, -before.width() / 5,
                                              -before.height() / 4);
  EXPECT_EQ(viewer_ui_test::Snap(cell->GetWindow()).copy(inside), before.copy(inside));
}

// The control's display switches reach every cell, and series windows made by a later layout
// take them over: hidden patient data changes the corner, corner texts off leave it black.
TEST_F(MainWindowTest, DisplaySwitchesReachEveryCellAndLaterLayouts) {
  const auto a = Series(orvanta::test::MakeTempDir(), 2);
  ASSERT_NE(control->LoadFile(a.files[0].c_str(), 0), nullptr);
  auto corner = [&](int seriesWnd) {
    const QImage shot = viewer_ui_test::Snap(control->GetSeriesWindow(seriesWnd)->GetImageWindow(0)->GetWindow());
    return shot.copy(2, 2, 40, 40);  // the top-left texts, above the image
  };
  auto lit = [](const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += viewer_ui_test::Rgb(image, x, y) != 0;
    return n;
  };
  const QImage named = corner(0);
  ASSERT_GT(lit(named), 20);
  control->HidePatientData(true);
  EXPECT_TRUE(control->IsHidePatientData());
  EXPECT_NE(corner(0), named);
  control->ShowOverInfo(false);
  EXPECT_EQ(lit(corner(0)), 0);

  ASSERT_TRUE(control->SetSeriesLayout(1, 2));
  ASSERT_NE(control->LoadFile(a.files[1].c_str(), 1), nullptr);
  EXPECT_TRUE(control->GetSeriesWindow(1)->GetImageWindow(0)->IsHidePatientData());
  EXPECT_EQ(lit(corner(1)), 0);
  control->ShowOverInfo(true);
  for (int s = 0; s < 2; ++s) EXPECT_GT(lit(corner(s)), 20) << s;
  const QImage hidden = corner(1);
  control->HidePatientData(false);
  EXPECT_FALSE(control->GetSeriesWindow(1)->GetImageWindow(0)->IsHidePatientData());
  EXPECT_NE(corner(1), hidden);
}

// A capture takes the first active series window that shows images (else the first that does),
// and in it the first cell whose image is selected (else cell 0); its kind sizes the bitmap.
TEST_F(MainWindowTest, CaptureTakesTheSelectedCellOfTheActiveSeriesWindow) {
  const auto a = Series(orvanta::test::MakeTempDir(), 4);
  ASSERT_TRUE(control->SetSeriesLayout(1, 2));
  for (const auto& file : a.files) ASSERT_NE(control->LoadFile(file.c_str(), 1), nullptr);
  SOSeriesWindow* series = control->GetSeriesWindow(1);
  ASSERT_TRUE(series->SetImageLayout(2, 2));
  auto width = [](HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    DeleteObject(bitmap);
    return static_cast<LONG>(info.bmWidth);
  };
  auto widthOf = [](SOWindowBase* w, int inset) {
    const RECT r = w->GetWindowRect();
    return r.right - r.left - 2 * inset;
  };
  struct Case {
    int selected;  // the cell whose image is selected, -1 for none
    int cell;      // the cell captured
  } cases[] = {{-1, 0}, {2, 2}, {3, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selected);
    for (int i = 0; i < 4; ++i) series->GetImageWindow(i)->GetSOImageObject()->SetSelected(i == c.selected);
    ISOImageObject* source = nullptr;
    EXPECT_EQ(width(control->Capture(0, &source)), widthOf(series->GetImageWindow(c.cell), 1));
    EXPECT_EQ(source, series->GetImageWindow(c.cell)->GetSOImageObject());
  }
  EXPECT_EQ(width(control->Capture(1, nullptr)), widthOf(series, 0));
  EXPECT_EQ(width(control->Capture(2, nullptr)), 400);  // the whole control
}
