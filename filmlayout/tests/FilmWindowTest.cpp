#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <thread>

#include "DicomFixtures.h"
#include "FilmTestUtil.h"
#include "UITestDriver.h"
#include "ISOOstrel.h"
#include "SODcmFile.h"
#include "SOFilmGeometry.h"
#include "SOFilmSessionWindow.h"
#include "SOImageObject.h"
#include "SOMainWindow.h"
#include "SOWinQt.h"
#include "SOWindowBase.h"
#include "TestSupport.h"

namespace fx = orvanta::fixtures;
using film_test::Objects;

namespace {

// A visible top-level window to hold the windows under test.
class Frame : public SOWindowBase {
 public:
  Frame(int cx, int cy) {
    orvanta::test::EnsureQtApp();
    Create(nullptr, 0, 0, cx, cy);
    SOWin::PumpEvents(20);
  }
  ~Frame() override { DestroyOwnWindow(); }
  const wchar_t* GetWindowClassName() override { return L"FilmTestFrame"; }
  DWORD GetWindowClassStyle() override { return 0; }
  const wchar_t* GetWindowName() override { return L"Frame"; }
  DWORD GetWndStyle() override { return WS_POPUP | WS_VISIBLE; }
};

void AddImages(SOFilmSession& session, Objects& objects, int count) {
  for (int i = 1; i <= count; ++i) session.AddImage(objects.Add("1.A", i));
}

RECT PlaceOf(SOWindowBase& window) {
  return window.GetWindowRect();
}

}  // namespace

TEST(FilmWindows, FilmsKeepTheirAspectInTheirCell) {
  struct Case {
    int width, height, orientation;
    RECT expected;
  };
  const Case cases[] = {
      {800, 600, 1, {161, 10, 161 + 477, 10 + 580}},
      // An integer m / o would take the other branch here and give 500 x 607.
      {520, 600, 1, {21, 10, 21 + 477, 10 + 580}},
      {800, 600, 2, {47, 10, 47 + 704, 10 + 580}},
  };
  for (const Case& c : cases) {
    const RECT place = film::FilmWindowRect(RECT{0, 0, c.width, c.height}, 1, 1, 0, 0, 14, 17, c.orientation);
    EXPECT_EQ(place.left, c.expected.left) << c.width;
    EXPECT_EQ(place.top, c.expected.top) << c.width;
    EXPECT_EQ(place.right - place.left, c.expected.right - c.expected.left) << c.width;
    EXPECT_EQ(place.bottom - place.top, c.expected.bottom - c.expected.top) << c.width;
  }
}

TEST(FilmWindows, SessionWindowPlacesPagesAndDetaches) {
  Frame frame(800, 600);
  Objects objects;
  SOFilmSessionWindow window;
  ASSERT_NE(window.Create(frame.GetWindow(), 0, 0, 800, 600), nullptr);
  SOFilmSession& session = window.GetSession();
  session.SetImageLayout(1, 1, true);
  AddImages(session, objects, 5);
  ASSERT_TRUE(window.SetFilmLayout(1, 1));
  RECT place = PlaceOf(*window.GetFilmBoxWindow(0));
  EXPECT_EQ(place.left, 161);
  EXPECT_EQ(place.right - place.left, 477);
  EXPECT_EQ(place.bottom - place.top, 580);

  ASSERT_TRUE(window.SetFilmLayout(2, 2));
  ASSERT_EQ(window.GetFilmBoxWindowCount(), 4);
  auto wheel = [&](int steps) {
    EXPECT_TRUE(DuiLib::UITest::WheelWindow(window.GetWindow(), POINT{400, 300}, steps));
    SOWin::PumpEvents(10);
    return session.GetCurrentFilmBoxIndex();
  };
  EXPECT_EQ(wheel(-1), 4);  // towards the user: the fifth film leads, "5/5"
  EXPECT_EQ(window.GetFilmBoxWindow(0)->GetFilmBox(), session.GetFilmBox(4));
  EXPECT_EQ(window.GetFilmBoxWindow(1)->GetFilmBox(), nullptr);
  EXPECT_EQ(wheel(-120), 4);
  EXPECT_EQ(wheel(120), 0);

  // Tools map to modes; an unknown tool keeps the mode.
  window.SetMouseTool(4);
  EXPECT_EQ(window.GetFilmBoxWindow(3)->GetMouseMode(), SOMouseModeRectangle);
  window.SetMouseTool(9);
  EXPECT_EQ(window.GetFilmBoxWindow(3)->GetMouseMode(), SOMouseModeRectangle);

  // Three windows go; the films they showed no longer call them.
  ISOFilmBox* third = session.GetFilmBox(2);
  ASSERT_TRUE(window.SetFilmLayout(1, 1));
  EXPECT_EQ(window.GetFilmBoxWindowCount(), 1);
  third->SetSelected(true);
  session.Reflow();
}

// Counts the paints one window receives.
class PaintCount : public QObject {
 public:
  explicit PaintCount(HWND hwnd) : widget_(SOWin::WidgetOf(hwnd)) { widget_->installEventFilter(this); }
  ~PaintCount() override { widget_->removeEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    paints += object == widget_ && event->type() == QEvent::Paint;
    return false;
  }

 private:
  QWidget* widget_;
};

TEST(FilmWindows, AHeaderOnScreenPaintsAgainWhenItsPageCountChanges) {
  Frame frame(800, 600);
  Objects objects;
  SOFilmSessionWindow window;
  ASSERT_NE(window.Create(frame.GetWindow(), 0, 0, 800, 600), nullptr);
  SOFilmSession& session = window.GetSession();
  session.SetHeaderVisible(true);
  session.SetImageLayout(1, 1, true);
  ASSERT_TRUE(window.SetFilmLayout(1, 1));
  session.AddImage(objects.Add("1.A", 1));
  SOWin::PumpEvents(20);
  SOFilmHeaderWindow& header = window.GetFilmBoxWindow(0)->GetHeaderWindow();
  ASSERT_TRUE(IsWindowVisible(header.GetWindow()));
  PaintCount count(header.GetWindow());
  // The first film stays on screen while the films of a loading study arrive: "1/1" becomes "1/3".
  session.AddImage(objects.Add("1.A", 2));
  session.AddImage(objects.Add("1.A", 3));
  SOWin::PumpEvents(20);
  EXPECT_EQ(window.GetFilmBoxWindow(0)->GetFilmBox(), session.GetFilmBox(0));
  EXPECT_EQ(session.GetFilmBoxCount(), 3);
  EXPECT_GT(count.paints, 0);
}

// What a window shows now, and what it shows once every window in it has painted afresh.
QImage Shown(HWND hwnd) {
  HBITMAP bitmap = SOWin::CaptureWindow(hwnd);
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  QImage image(static_cast<const uchar*>(info.bmBits), info.bmWidth, info.bmHeight, info.bmWidthBytes,
               QImage::Format_RGB32);
  image = image.copy();
  DeleteObject(bitmap);
  return image;
}

void InvalidateAll(SOFilmSessionWindow& window) {
  InvalidateRect(window.GetWindow(), nullptr, TRUE);
  for (int f = 0; f < window.GetFilmBoxWindowCount(); ++f) {
    SOFilmBoxWindow* box = window.GetFilmBoxWindow(f);
    InvalidateRect(box->GetWindow(), nullptr, TRUE);
    InvalidateRect(box->GetHeaderWindow().GetWindow(), nullptr, TRUE);
    for (int k = 0; k < box->GetImageWindowCount(); ++k)
      InvalidateRect(box->GetImageWindow(k)->GetWindow(), nullptr, TRUE);
  }
  SOWin::PumpEvents(20);
}

// A page turn paints only what changed: the counter, the frames, the headers and the images of
// the films now shown. What it leaves on screen is what a full repaint shows.
TEST(FilmWindows, APageTurnLeavesWhatAFullRepaintShows) {
  Frame frame(800, 600);
  Objects objects;
  SOFilmSessionWindow window;
  ASSERT_NE(window.Create(frame.GetWindow(), 0, 0, 800, 600), nullptr);
  SOFilmSession& session = window.GetSession();
  session.SetHeaderVisible(true);
  session.SetImageLayout(1, 2, true);
  const auto dir = orvanta::test::MakeTempDir("pages");
  for (int i = 1; i <= 5; ++i) {
    SODcmObject* object = objects.Add("1.A", i);
    ASSERT_TRUE(film_test::PaintUniform(*object, (dir / std::to_string(i)).string(), 40 * i, 0, 0));
    session.AddImage(object);
  }
  ASSERT_TRUE(window.SetFilmLayout(1, 1));
  SOWin::PumpEvents(20);
  for (int steps : {-1, -1, 1, 1}) {
    ASSERT_TRUE(DuiLib::UITest::WheelWindow(window.GetWindow(), POINT{400, 300}, steps));
    SOWin::PumpEvents(20);
    const QImage after = Shown(window.GetWindow());
    InvalidateAll(window);
    EXPECT_TRUE(after == Shown(window.GetWindow())) << "after a wheel step of " << steps << ", first film "
                                                     << session.GetCurrentFilmBoxIndex() + 1;
  }
  EXPECT_EQ(session.GetCurrentFilmBoxIndex(), 0);
}

TEST(FilmWindows, ClicksSelectFilmAndImage) {
  Frame frame(800, 600);
  Objects objects;
  SOFilmSessionWindow window;
  window.Create(frame.GetWindow(), 0, 0, 800, 600);
  SOFilmSession& session = window.GetSession();
  session.SetImageLayout(1, 2, true);
  AddImages(session, objects, 3);
  window.SetFilmLayout(1, 2);
  SOFilmBoxWindow* second = window.GetFilmBoxWindow(1);
  ASSERT_EQ(second->GetImageWindowCount(), 2);
  // The second film's empty cell: its film only.
  ASSERT_TRUE(DuiLib::UITest::ClickWindow(second->GetImageWindow(1)->GetWindow(), POINT{10, 10}));
  EXPECT_TRUE(session.GetFilmBox(1)->IsSelected());
  EXPECT_FALSE(session.GetImage(2)->IsSelected());
  // Shift on an image of the first film extends both selections.
  session.SelectImage(session.GetImage(2), 0);
  ASSERT_TRUE(DuiLib::UITest::ClickWindow(window.GetFilmBoxWindow(0)->GetImageWindow(0)->GetWindow(), POINT{10, 10},
                                  DuiLib::UITest::Button::Left, MK_SHIFT));
  EXPECT_TRUE(session.GetFilmBox(0)->IsSelected());
  EXPECT_TRUE(session.GetFilmBox(1)->IsSelected());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.GetImage(i)->IsSelected()) << i;
}

namespace {

struct HostLog : ISOOstrelCallback {
  void OnLoadProgress(int, int) override { ++progress; }
  void OnLoadFinished(int, int) override { ++finished; }
  void OnSessionRemoved(ISOFilmSession*) override { ++removed; }
  void OnExportProgress(ISOFilmSession*, SODcmFile*, int, int) override { exporting = true; }
  void OnExportFinished(ISOFilmSession*, SODcmFile*, int done, int total) override { exported = done; }
  std::atomic<int> progress{0}, finished{0}, removed{0}, exported{-1};
  std::atomic<bool> exporting{false};
};

// Three studies of two slices each and a report without pixels, in one folder.
std::filesystem::path WriteStudies() {
  const auto dir = orvanta::test::MakeTempDir("studies");
  for (int s = 0; s < 3; ++s) {
    fx::CtSeriesOptions options;
    options.slices = 2;
    options.rows = options.columns = 32;
    options.patientName = "Film^" + std::to_string(s);
    fx::WriteCtSeries(dir / std::to_string(s), options);
  }
  fx::WriteBasicTextSr(dir / "sr");
  return dir;
}

}  // namespace

TEST(FilmControl, LoadsStudiesIntoSessionsAndRemoves) {
  Frame frame(800, 600);
  ISOOstrel* ostrel = CreateOstrel();
  HostLog log;
  ostrel->RegisterCallback(&log);
  const auto dir = WriteStudies();
  EXPECT_FALSE(ostrel->LoadDir(dir.c_str()));  // no window yet
  EXPECT_FALSE(ostrel->Move(0, 0, 10, 10));
  ASSERT_NE(ostrel->Create(frame.GetWindow(), 0, 0, 800, 600), nullptr);
  // Stopped before its files arrive: they add nothing, but their progress is told.
  ASSERT_TRUE(ostrel->LoadDir(dir.c_str()));
  ostrel->StopLoading(0);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return log.finished == 1; }, 10000));
  EXPECT_EQ(ostrel->GetSessionCount(), 0);
  EXPECT_EQ(log.progress, 7);

  // A load after the stop: one session per study (the report has no pixels), the newest current.
  ASSERT_TRUE(ostrel->LoadDir(dir.c_str()));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return log.finished == 2; }, 10000));
  ASSERT_EQ(ostrel->GetSessionCount(), 3);
  EXPECT_EQ(ostrel->GetCurrentSession(), ostrel->GetSession(2));
  for (int s = 0; s < 3; ++s) EXPECT_EQ(static_cast<SOFilmSession*>(ostrel->GetSession(s))->GetImageCount(), 2);

  // A removed study gets a new session when loaded again.
  ostrel->RemoveSessionAt(0);
  ASSERT_TRUE(ostrel->LoadDir(dir.c_str()));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return log.finished == 3; }, 10000));
  EXPECT_EQ(ostrel->GetSessionCount(), 3);
  EXPECT_EQ(log.progress, 21);

  EXPECT_FALSE(ostrel->LoadFiles(nullptr));
  EXPECT_FALSE(ostrel->SetHeaderRatio(0));
  EXPECT_FALSE(ostrel->SetHeaderRatio(1));
  EXPECT_FALSE(ostrel->ExportFilms(nullptr, true, nullptr));
  EXPECT_FALSE(ostrel->SetDefaultImageLayout(0, 4));
  ASSERT_TRUE(ostrel->SetDefaultImageLayout(3, 5));
  int rows = 0, cols = 0;
  ostrel->GetDefaultImageLayout(&rows, &cols);
  EXPECT_EQ(rows * 10 + cols, 35);

  // Removing a session before the current one keeps that one current; removing the current one
  // selects the one that followed it.
  ISOFilmSession* second = ostrel->GetSession(1);
  ISOFilmSession* third = ostrel->GetSession(2);
  ASSERT_TRUE(ostrel->SelectSessionAt(1));
  ostrel->RemoveSessionAt(0);
  EXPECT_EQ(ostrel->GetCurrentSession(), second);
  ostrel->RemoveCurrentSession();
  EXPECT_EQ(ostrel->GetSessionCount(), 1);
  EXPECT_EQ(ostrel->GetCurrentSession(), third);
  EXPECT_EQ(log.removed, 3);
  ReleaseOstrel(ostrel);
}

TEST(FilmControl, ClosingTheTabDuringAnExportIsSafe) {
  Frame frame(800, 600);
  ISOOstrel* ostrel = CreateOstrel();
  HostLog log;
  ostrel->RegisterCallback(&log);
  ostrel->Create(frame.GetWindow(), 0, 0, 800, 600);
  ostrel->LoadDir(WriteStudies().c_str());
  ASSERT_TRUE(SOWin::PumpUntil([&] { return log.finished == 1; }, 10000));
  ostrel->SetImageLayout(1, 1, true);
  SODcmFile file;
  std::atomic<bool> done{false}, ok{false};
  std::thread worker([&] {
    ok = ostrel->ExportFilms(&file, true, nullptr);
    done = true;
  });
  // Once the snapshot is taken the session goes, as when its tab is closed.
  ASSERT_TRUE(SOWin::PumpUntil([&] { return log.exporting.load(); }, 10000));
  ostrel->RemoveCurrentSession();
  // Generous: sanitizer builds render far slower.
  EXPECT_TRUE(SOWin::PumpUntil([&] { return done.load(); }, 180000));
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(log.exported, 2);
  ReleaseOstrel(ostrel);
}
