// The 3D/MPR control driven through its interface and window messages, offscreen.

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "DicomFixtures.h"
#include "ISOVisualCtrl.h"
#include "Lumexa.h"
#include "SODcmFile.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow3D.h"
#include "SOImageWindowMPR.h"
#include "SOVisualWindow.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "VisualVolume.h"
#include "ViewerUiTestUtil.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

fx::WrittenSeries SmallCt(const fs::path& folder, int slices = 24, int size = 48, std::string studyUid = {}) {
  fx::CtSeriesOptions o;
  o.slices = slices;
  o.rows = o.columns = size;
  o.rowSpacing = o.columnSpacing = 1.0;
  o.sliceSpacing = 1.0;
  o.studyUid = std::move(studyUid);
  return fx::WriteCtSeries(folder, o);
}

// Pumps events until cond holds or a generous limit passes.
template <typename Cond>
bool PumpUntil(Cond cond, int ms = 60000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    SOWin::PumpEvents(5);
  }
  return true;
}

struct Control {
  viewer_ui_test::Frame frame{800, 600};
  SOVisualWindow* ctrl = static_cast<SOVisualWindow*>(CreateVisualCtrl());
  Control() { ctrl->Create(frame.GetWindow(), 0, 0, 800, 600); }
  ~Control() { ReleaseVisualCtrl(ctrl); }
  // Loads a folder and waits until the volume is built (or refused).
  bool Load(const fs::path& folder) {
    const int builds = ctrl->GetVolumeBuilds();
    ctrl->LoadFolder(folder.c_str());
    return PumpUntil([&] { return ctrl->GetVolumeBuilds() > builds; });
  }
};

// Holds a mutex from another thread; Release lets go of it a little later, so whoever then
// waits for it (through someone else waiting for them) is seen waiting.
class HeldLock {
 public:
  explicit HeldLock(std::mutex& m)
      : thread_([this, &m] {
          std::unique_lock held(m);
          std::unique_lock state(state_);
          locked_ = true;
          cv_.notify_all();
          cv_.wait(state, [&] { return release_; });
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }) {
    std::unique_lock state(state_);
    cv_.wait(state, [&] { return locked_; });
  }
  ~HeldLock() {
    Release();
    thread_.join();
  }
  void Release() {
    std::lock_guard state(state_);
    release_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex state_;
  std::condition_variable cv_;
  bool locked_ = false, release_ = false;
  std::thread thread_;
};

RECT Rect(int x, int y, int cx, int cy) { return RECT{x, y, cx, cy}; }
bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(VisualCtrl, LayoutsDivideTheClientExactly) {
  Control c;
  struct Case {
    int layout;
    RECT axial, sagittal, coronal, pane;
  } cases[] = {
      {0, Rect(1, 1, 304, 198), Rect(1, 200, 304, 198), Rect(1, 399, 304, 200), Rect(306, 1, 493, 598)},
      {1, Rect(1, 1, 398, 298), Rect(1, 300, 398, 299), Rect(400, 1, 399, 298), Rect(400, 300, 399, 299)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.layout);
    c.ctrl->SetLayout(k.layout);
    EXPECT_TRUE(Same(c.ctrl->GetPaneRect(0), k.axial));
    EXPECT_TRUE(Same(c.ctrl->GetPaneRect(1), k.sagittal));
    EXPECT_TRUE(Same(c.ctrl->GetPaneRect(2), k.coronal));
    EXPECT_TRUE(Same(c.ctrl->GetPaneRect(3), k.pane));
    const RECT w = c.ctrl->GetSagittalWindow()->GetWindowRect();  // (left, top, right, bottom)
    EXPECT_EQ(w.right - w.left, k.sagittal.right);
    EXPECT_EQ(w.top, k.sagittal.top);
    EXPECT_TRUE(IsWindowVisible(c.ctrl->GetAxialWindow()->GetWindow()));
  }
  c.ctrl->SetLayout(2);
  EXPECT_TRUE(Same(c.ctrl->GetPaneRect(3), Rect(0, 0, 800, 600)));
  EXPECT_TRUE(c.ctrl->GetSeparators().empty());
  for (SOImageWindow* w : {static_cast<SOImageWindow*>(c.ctrl->GetAxialWindow()), static_cast<SOImageWindow*>(c.ctrl->GetSagittalWindow()),
                           static_cast<SOImageWindow*>(c.ctrl->GetCoronalWindow())})
    EXPECT_FALSE(IsWindowVisible(w->GetWindow()));
  EXPECT_TRUE(IsWindowVisible(c.ctrl->Get3DWindow()->GetWindow()));
  EXPECT_FALSE(IsWindowVisible(c.ctrl->GetObliqueWindow()->GetWindow()));
  EXPECT_EQ(c.ctrl->GetLayout(), 2);
}

TEST(VisualCtrl, ALoadShowsThreePlanesAndARenderingAndTheWheelMovesTheCross) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vc"));
  Control c;
  ASSERT_TRUE(c.Load(series.files[0].parent_path()));
  SOVisualWindow& ctrl = *c.ctrl;
  ASSERT_NE(ctrl.GetImageObject(0), nullptr);
  EXPECT_EQ(ctrl.GetImageObject(0), ctrl.GetMPRBuilder().GetAxialImage());
  EXPECT_EQ(ctrl.GetImageObject(1), ctrl.GetMPRBuilder().GetCoronalImage());
  EXPECT_EQ(ctrl.GetImageObject(2), ctrl.GetMPRBuilder().GetSagittalImage());
  EXPECT_EQ(ctrl.GetImageObject(4), ctrl.GetVRBuilder().GetResultImage());
  EXPECT_EQ(ctrl.GetImageObject(3), nullptr);  // no slab lines yet
  EXPECT_EQ(ctrl.Get3DWindow()->GetAxialImage(), ctrl.GetMPRBuilder().GetAxialImage());
  // The rendering fills the pane less its frame.
  DcmImageInputData* rendered = ctrl.GetVRBuilder().GetResultImage()->GetOriginalImagePixelData();
  EXPECT_EQ(rendered->columns, 491);
  EXPECT_EQ(rendered->rows, 596);

  const QImage shot = viewer_ui_test::Snap(ctrl.GetWindow());
  auto lit = [&](const RECT& r) {
    int n = 0;
    for (int y = r.top + 2; y < r.top + r.bottom - 2; y += 3)
      for (int x = r.left + 2; x < r.left + r.right - 2; x += 3) n += viewer_ui_test::Rgb(shot, x, y) != 0;
    return n;
  };
  for (int pane = 0; pane < 4; ++pane) EXPECT_GT(lit(ctrl.GetPaneRect(pane)), 50) << "pane " << pane;

  // One notch over each orthogonal window moves the cross by exactly 1 along its normal.
  struct Case {
    SOImageWindow* window;
    int axis;
    short delta;
    double move;
  } cases[] = {{ctrl.GetAxialWindow(), 2, 120, 1.0},
               {ctrl.GetSagittalWindow(), 0, -120, -1.0},
               {ctrl.GetCoronalWindow(), 1, 240, 1.0}};
  for (const Case& k : cases) {
    double before[3], after[3];
    ASSERT_TRUE(ctrl.GetMPRBuilder().GetOrigin(before));
    ::SendMessageW(k.window->GetWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(k.delta)), MAKELPARAM(50, 50));
    ASSERT_TRUE(ctrl.GetMPRBuilder().GetOrigin(after));
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(after[i] - before[i], i == k.axis ? k.move : 0.0) << i;
  }
  double origin[3];
  ctrl.GetMPRBuilder().GetOrigin(origin);
  EXPECT_NEAR(ctrl.GetMPRBuilder().GetAxialImage()->patientPoint[2], origin[2], 1e-9);

  // Clear lets go of the images everywhere before the data centre drops the pixels under them.
  ctrl.Clear();
  EXPECT_EQ(ctrl.GetObjectCount(), 0);
  for (int view = 0; view < 5; ++view) EXPECT_EQ(ctrl.GetImageObject(view), nullptr) << view;
  EXPECT_EQ(ctrl.Get3DWindow()->GetAxialImage(), nullptr);
  EXPECT_EQ(ctrl.Get3DWindow()->GetSagittalImage(), nullptr);
  viewer_ui_test::Snap(ctrl.GetWindow());  // paints with nothing borrowed
}

TEST(VisualCtrl, SelectionBordersAndTheClipboardCopy) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcsel"));
  Control c;
  ASSERT_TRUE(c.Load(series.files[0].parent_path()));
  SOVisualWindow& ctrl = *c.ctrl;
  ctrl.Show3DView(false);
  ::SendMessageW(ctrl.GetObliqueWindow()->GetWindow(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20));
  ::SendMessageW(ctrl.GetObliqueWindow()->GetWindow(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_TRUE(ctrl.IsSelected(3));
  const RECT pane = ctrl.GetPaneRect(3);
  QImage shot = viewer_ui_test::Snap(ctrl.GetWindow());
  EXPECT_NE(viewer_ui_test::Rgb(shot, pane.left - 1, pane.top + 100), 0x16D9D6u);  // no border
  ctrl.CopyToClipboard(false);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HBITMAP copied = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  ASSERT_NE(copied, nullptr);
  ASSERT_NE(SOWin::ImageOf(copied), nullptr);
  EXPECT_EQ(SOWin::ImageOf(copied)->width(), pane.right);
  CloseClipboard();

  // A click on the axial window selects it alone and draws its border; Ctrl adds the sagittal.
  ::SendMessageW(ctrl.GetAxialWindow()->GetWindow(), WM_RBUTTONDOWN, 0, MAKELPARAM(20, 20));
  ::SendMessageW(ctrl.GetAxialWindow()->GetWindow(), WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
  ::SendMessageW(ctrl.GetSagittalWindow()->GetWindow(), WM_MBUTTONDOWN, MK_CONTROL, MAKELPARAM(20, 20));
  ::SendMessageW(ctrl.GetSagittalWindow()->GetWindow(), WM_MBUTTONUP, MK_CONTROL, MAKELPARAM(20, 20));
  EXPECT_FALSE(ctrl.IsSelected(3));
  EXPECT_TRUE(ctrl.IsSelected(0));
  EXPECT_TRUE(ctrl.IsSelected(1));
  shot = viewer_ui_test::Snap(ctrl.GetWindow());
  const RECT axial = ctrl.GetPaneRect(0);
  EXPECT_EQ(viewer_ui_test::Rgb(shot, axial.left + 50, axial.top - 1), 0x16D9D6u);

  EXPECT_FALSE(ctrl.StartCine());
  EXPECT_FALSE(ctrl.StopCine());
  const int stamp = ctrl.GetVRBuilder().GetRenderStamp();
  ctrl.SetImagingType(0);
  EXPECT_EQ(ctrl.GetVRBuilder().GetRenderStamp(), stamp);
  ctrl.SetColorPreset(4);
  EXPECT_EQ(ctrl.GetVRBuilder().GetRenderStamp(), stamp);
  ctrl.SetColorPreset(1);
  ASSERT_TRUE(PumpUntil([&] { return !ctrl.IsRenderingInBackground(); }));
  EXPECT_EQ(ctrl.GetVRBuilder().GetRenderStamp(), stamp + 1);
}

TEST(VisualCtrl, SlabLinesMakeTheObliqueImageAndDeletingThemEmptiesIt) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcslab"));
  Control c;
  ASSERT_TRUE(c.Load(series.files[0].parent_path()));
  SOVisualWindow& ctrl = *c.ctrl;
  struct Host : ISOVisualCtrlCallback {
    std::vector<float> thickness;
    void OnSliceThicknessChanged(float t) override { thickness.push_back(t); }
  } host;
  ctrl.RegisterCallback(&host);
  ctrl.Show3DView(false);
  ctrl.SetSlabType(0);
  ASSERT_EQ(ctrl.AddSlices(3), 0);
  EXPECT_EQ(ctrl.GetMPRBuilder().SlabList().size(), 3u);
  EXPECT_EQ(ctrl.GetImageObject(3), ctrl.GetMPRBuilder().GetObliqueImage());
  ASSERT_FALSE(host.thickness.empty());
  EXPECT_EQ(ctrl.GetMPRBuilder().GetObliqueImage()->GetOriginalImagePixelData()->type, DCM_PIXEL_GRAY16);
  ::SendMessageW(ctrl.GetObliqueWindow()->GetWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
  EXPECT_EQ(ctrl.GetMPRBuilder().GetSlabIndex(), 1);
  ::SendMessageW(ctrl.GetObliqueWindow()->GetWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  ::SendMessageW(ctrl.GetObliqueWindow()->GetWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  EXPECT_EQ(ctrl.GetMPRBuilder().GetSlabIndex(), 2);
  // Deleting the graphics one by one: the last one empties the list and the oblique window.
  ISOGraphicMgr* graphics = ctrl.GetImageObject(2)->GetGraphicMgr();
  while (graphics->GetCount() > 0) graphics->DeleteAt(0);
  EXPECT_TRUE(ctrl.GetMPRBuilder().SlabList().empty());
  EXPECT_EQ(ctrl.GetImageObject(3), nullptr);
  EXPECT_FLOAT_EQ(host.thickness.back(), 1.0f);
  ctrl.UnRegisterCallback(&host);
}

// Counts the pixels of a window's snapshot within `tolerance` of `colour` in every channel.
int CountColour(const QImage& shot, unsigned colour, int tolerance) {
  int n = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      n += std::abs(qRed(p) - int(colour >> 16 & 0xFF)) <= tolerance &&
           std::abs(qGreen(p) - int(colour >> 8 & 0xFF)) <= tolerance &&
           std::abs(qBlue(p) - int(colour & 0xFF)) <= tolerance;
    }
  return n;
}

// The MPR panes of a series without a stored window (an MR-like one, air 0) read like its slices:
// the fill outside the volume stays out of the automatic window, so air inside the volume is
// black. Every pane shows its orientation letters, on a tilted acquisition too, and the pane that
// owns the slab lines marks the current slab.
TEST(VisualCtrl, MPRPanesOfASeriesWithoutAWindowReadLikeItsSlices) {
  const double tilt = std::sin(15 * M_PI / 180), upright = std::cos(15 * M_PI / 180);
  for (const bool tilted : {false, true}) {
    SCOPED_TRACE(tilted ? "tilted" : "axial");
    fx::CtSeriesOptions o;
    o.slices = 24;
    o.rows = o.columns = 48;
    o.rowSpacing = o.columnSpacing = o.sliceSpacing = 1.0;
    o.intercept = 0;
    if (tilted) {
      const double orientation[6] = {1, 0, 0, 0, upright, -tilt};
      std::copy_n(orientation, 6, o.orientation);
    }
    const auto series = fx::WriteCtSeries(orvanta::test::MakeTempDir("vcmr"), o);
    for (const auto& file : series.files) {
      SODcmFile dcm;
      ASSERT_TRUE(dcm.LoadFile(file.c_str(), true));
      dcm.GetDataset()->DeleteAttribute(0x00281050);
      dcm.GetDataset()->DeleteAttribute(0x00281051);
      ASSERT_TRUE(dcm.SaveFile(file.c_str()));
    }
    Control c;
    ASSERT_TRUE(c.Load(series.files[0].parent_path()));
    SOVisualWindow& ctrl = *c.ctrl;
    ctrl.SetLayout(1);
    ctrl.Show3DView(false);
    ctrl.SetSlabType(0);
    ASSERT_EQ(ctrl.AddSlices(3), 0);
    for (SOImageWindowMPR* w : {ctrl.GetAxialWindow(), ctrl.GetCoronalWindow(), ctrl.GetSagittalWindow(),
                                ctrl.GetObliqueWindow()}) {
      auto* image = static_cast<SOImageObject*>(w->GetImageObject());
      ASSERT_NE(image, nullptr);
      // The tools read each plane's geometry through the per-frame getters.
      ISODcmObject* object = image->GetDcmObject();
      double iop[6], ipp[3], spacing[2];
      ASSERT_TRUE(object->GetImageOrientationPatient(iop, 0));
      ASSERT_TRUE(object->GetImagePositionPatient(ipp, 0));
      ASSERT_TRUE(object->GetPixelSpacing(spacing, 0));
      EXPECT_TRUE(std::equal(iop, iop + 6, object->GetImageOrientationPatient()));
      EXPECT_TRUE(std::equal(ipp, ipp + 3, object->GetImagePositionPatient()));

      const QImage shot = viewer_ui_test::Snap(w->GetWindow());
      EXPECT_GT(CountColour(shot, 0xFFEC8B, 24), 3) << "no orientation letters";
      if (w == ctrl.GetObliqueWindow()) continue;
      // The automatic window spans the volume's values, from air (0) up.
      double center = 0, width = 0;
      ASSERT_TRUE(image->GetShownWindow(center, width));
      EXPECT_GE(center - width / 2, 0);
      // A pixel of air inside the volume, with air all round it, shows black.
      const DcmImageInputData* record = image->GetOriginalImagePixelData();
      const auto* values = reinterpret_cast<const int16_t*>(record->data.data);
      auto airAround = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if (values[(y + dy) * record->columns + x + dx] != 0) return false;
        return true;
      };
      double at[2] = {-1, -1};
      for (int y = 1; y + 1 < record->rows && at[0] < 0; ++y)
        for (int x = 1; x + 1 < record->columns && at[0] < 0; ++x)
          if (airAround(x, y)) at[0] = x, at[1] = y;
      if (w == ctrl.GetAxialWindow()) ASSERT_GE(at[0], 0) << "no air in the axial plane";
      double p[2];
      if (at[0] >= 0 && w->ImageToWindowCoords(at, p)) EXPECT_LT(qGreen(shot.pixel(int(p[0]), int(p[1]))), 8);
      // The slab lines are on the sagittal pane; the current slab is marked there only.
      w->EnablePlugin("LOC", false, true);
      const QImage withoutLine = viewer_ui_test::Snap(w->GetWindow());
      w->EnablePlugin("LOC", true, true);
      int marked = 0;
      for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) marked += shot.pixel(x, y) != withoutLine.pixel(x, y);
      EXPECT_EQ(marked > 100, w == ctrl.GetSagittalWindow()) << marked;
    }
    if (tilted) continue;
    // With the 3D view shown in place of the oblique pane the location line is switched off.
    ctrl.Show3DView(true);
    SOImageWindowMPR* owner = ctrl.GetSagittalWindow();
    const QImage off = viewer_ui_test::Snap(owner->GetWindow());
    owner->EnablePlugin("LOC", true, true);
    EXPECT_NE(viewer_ui_test::Snap(owner->GetWindow()), off);
    ctrl.Show3DView(false);
    // A window drag on a pane starts from its automatic window, and the other planes follow.
    auto* axial = static_cast<SOImageObject*>(ctrl.GetAxialWindow()->GetImageObject());
    double c0 = 0, w0 = 0;
    ASSERT_TRUE(axial->GetShownWindow(c0, w0));
    ctrl.SetToolMode(1);
    ASSERT_TRUE(DuiLib::UITest::DragWindow(ctrl.GetAxialWindow()->GetWindow(), POINT{100, 100}, POINT{130, 100}));
    const double width = w0 + 30 * std::max(1.0, std::trunc(w0 / 800));
    for (SOImageWindowMPR* w : {ctrl.GetAxialWindow(), ctrl.GetCoronalWindow(), ctrl.GetSagittalWindow()}) {
      const SOImagePresentationState& state = w->GetImageObject()->GetImagePresentationState();
      EXPECT_DOUBLE_EQ(state.windowCenter, c0);
      EXPECT_DOUBLE_EQ(state.windowWidth, width);
    }
  }
}

TEST(VisualCtrl, AnIrregularSeriesLeavesTheWindowsEmpty) {
  const fs::path folder = orvanta::test::MakeTempDir("vcbad");
  fx::CtSeriesOptions o;
  o.slices = 4;
  o.rows = o.columns = 32;
  o.sliceSpacing = 0;  // every slice at one place
  fx::WriteCtSeries(folder, o);
  Control c;
  ASSERT_TRUE(c.Load(folder));
  EXPECT_EQ(c.ctrl->GetObjectCount(), 4);
  EXPECT_EQ(c.ctrl->GetImageObject(0), nullptr);
  EXPECT_EQ(c.ctrl->GetImageObject(4), nullptr);
  EXPECT_TRUE(IsWindowVisible(c.ctrl->GetAxialWindow()->GetWindow()));
}

TEST(VisualCtrl, PhasesBecomeACineWhileTheWorkersRun) {
  const fs::path folder = orvanta::test::MakeTempDir("vc4d");
  const std::string study = fx::NewUid();
  std::vector<fx::WrittenSeries> phases;
  for (int p = 0; p < 3; ++p) phases.push_back(SmallCt(folder / ("phase" + std::to_string(p)), 16, 32, study));
  Control c;
  ASSERT_TRUE(c.Load(folder / "phase0"));
  SOVisualWindow& ctrl = *c.ctrl;
  struct Host : ISOVisualCtrlCallback {
    int ready = 0;
    void OnVolumeReady() override { ++ready; }
  } host;
  ctrl.RegisterCallback(&host);
  SOArray<SOString> paths;
  for (int p = 1; p < 3; ++p)
    for (const fs::path& f : phases[p].files) paths.Add(SOString(f.c_str()));
  ctrl.LoadPhaseFiles(&paths);
  ASSERT_TRUE(PumpUntil([&] { return host.ready > 0; }));
  EXPECT_EQ(host.ready, 1);
  // Three ticks while the workers may still run: each shows a stored frame or restarts the cine.
  ctrl.StartCine();
  std::vector<int> seen;
  for (int tick = 0; tick < 3; ++tick) {
    ::SendMessageW(ctrl.GetWindow(), WM_TIMER, SOVisualWindow::kCineTimer, 0);
    EXPECT_GE(SOVisualWindow::CinePhase(), 0);
    EXPECT_LE(SOVisualWindow::CinePhase(), 2);
  }
  ctrl.StopCine();
  // Once every phase is rendered, the ticks walk through the phases and wrap.
  ASSERT_TRUE(PumpUntil([&] { return ctrl.GetVRBuilder().Builder4D().GetFrameCount() == 3; }));
  seen.clear();
  for (int tick = 0; tick < 4; ++tick) {
    ::SendMessageW(ctrl.GetWindow(), WM_TIMER, SOVisualWindow::kCineTimer, 0);
    seen.push_back(SOVisualWindow::CinePhase());
    if (seen.back() != 0) {
      EXPECT_EQ(ctrl.GetVRBuilder().GetResultImage()->GetOriginalImagePixelData()->rows, VRBuilder4D::kFrameSize);
    }
  }
  // Phases 1, 2, then past the last frame back to 0, from wherever earlier ticks left it.
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 3) << i;
  ctrl.UnRegisterCallback(&host);
}

// The volume builds on the control's build thread: held there (the MPR engine taken by another
// thread), the UI thread goes on handling events and painting the progress bar, calls that would
// need the engine return at once, and a Clear or Release waits for the build and drops its result,
// also when that result already waits in the queue.
TEST(VisualCtrl, TheUiStaysLiveWhileTheVolumeBuildsAndClearOrReleaseDropsTheBuild) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcbuild"));
  enum End { kClearMidBuild, kClearWithTheResultQueued, kReleaseMidBuild };
  for (const End end : {kClearMidBuild, kClearWithTheResultQueued, kReleaseMidBuild}) {
    SCOPED_TRACE(end);
    auto c = std::make_unique<Control>();
    SOVisualWindow& ctrl = *c->ctrl;
    const HWND hwnd = ctrl.GetWindow();
    auto hold = std::make_unique<HeldLock>(ctrl.GetMPRBuilder().EngineMutex());
    ctrl.LoadFolder(series.files[0].parent_path().c_str());
    ASSERT_TRUE(PumpUntil([&] { return ctrl.IsVolumeBuilding(); }));
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    ASSERT_TRUE(PumpUntil([&] { return fired; }));
    ctrl.RotateH(0.5f);
    ctrl.SetColorPreset(1);
    const QImage shot = viewer_ui_test::Snap(hwnd);
    EXPECT_EQ(viewer_ui_test::Rgb(shot, 400, 292), 0xFFFFFFu);  // the progress bar's outline
    EXPECT_TRUE(ctrl.IsVolumeBuilding());
    EXPECT_EQ(ctrl.GetImageObject(0), nullptr);

    hold->Release();
    if (end == kClearWithTheResultQueued) {
      hold.reset();
      // The build finishes without the UI thread; its report waits in the queue.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (end == kReleaseMidBuild) {
      // The holder gives the engine back first: the control's end frees the engine's mutex.
      hold.reset();
      c.reset();
      EXPECT_FALSE(IsWindow(hwnd));
      continue;
    }
    const int builds = ctrl.GetVolumeBuilds();
    ctrl.Clear();
    EXPECT_FALSE(ctrl.IsVolumeBuilding());
    EXPECT_FALSE(ctrl.IsBuilding());
    SOWin::PumpEvents(50);
    EXPECT_EQ(ctrl.GetVolumeBuilds(), builds);
    for (int view = 0; view < 5; ++view) EXPECT_EQ(ctrl.GetImageObject(view), nullptr) << view;
    EXPECT_TRUE(IsWindowVisible(ctrl.GetAxialWindow()->GetWindow()));
    EXPECT_FALSE(ctrl.GetVRBuilder().GetVolume().slices);
  }
}

// The 3D window's picture: the VR result's size and pixels.
std::vector<unsigned char> Picture(SOVisualWindow& ctrl) {
  const DcmImageInputData* r = ctrl.GetVRBuilder().GetResultImage()->GetOriginalImagePixelData();
  std::vector<unsigned char> picture = {static_cast<unsigned char>(r->rows >> 8), static_cast<unsigned char>(r->rows),
                                        static_cast<unsigned char>(r->columns >> 8),
                                        static_cast<unsigned char>(r->columns)};
  picture.insert(picture.end(), r->data.data, r->data.data + r->data.count);
  return picture;
}

bool Settled(SOVisualWindow& ctrl) {
  return PumpUntil([&] { return !ctrl.IsVolumeBuilding() && !ctrl.IsBuilding() && !ctrl.IsRenderingInBackground(); });
}

// Layout, rendering mode and palette changed while the volume builds (held on the MPR engine)
// take effect when it ends, the last of each winning: the picture is then the one a control
// shows that got the same changes after its build. A burst of palette changes later shows the
// last one (the renderings of the earlier ones are dropped), and a Clear drops a rendering on
// its way.
TEST(VisualCtrl, ViewChangesDuringABuildEndInTheLastOneAskedFor) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcview"));
  const fs::path folder = series.files[0].parent_path();
  Control reference;
  ASSERT_TRUE(reference.Load(folder));
  reference.ctrl->SetLayout(1);
  reference.ctrl->SetRenderMode(2);
  reference.ctrl->SetColorPreset(2);
  ASSERT_TRUE(Settled(*reference.ctrl));

  Control c;
  SOVisualWindow& ctrl = *c.ctrl;
  const int builds = ctrl.GetVolumeBuilds();
  {
    HeldLock hold(ctrl.GetMPRBuilder().EngineMutex());
    ctrl.LoadFolder(folder.c_str());
    ASSERT_TRUE(PumpUntil([&] { return ctrl.IsVolumeBuilding(); }));
    ctrl.SetColorPreset(1);
    ctrl.SetRenderMode(3);
    ctrl.SetLayout(1);
    ctrl.SetColorPreset(2);
    ctrl.SetRenderMode(2);
    V3Palette asked, preset;
    ASSERT_TRUE(ctrl.GetPalette(asked));
    ASSERT_TRUE(VisualVolume::ColorPreset(2, preset));
    EXPECT_EQ(asked.points.count, preset.points.count);
  }
  ASSERT_TRUE(PumpUntil([&] { return ctrl.GetVolumeBuilds() > builds; }));
  ASSERT_TRUE(Settled(ctrl));
  EXPECT_EQ(ctrl.GetVRBuilder().GetRenderMode(), 2);
  EXPECT_FALSE(IsWindowVisible(ctrl.GetObliqueWindow()->GetWindow()));
  EXPECT_TRUE(Same(ctrl.Get3DWindow()->GetWindowRect(), reference.ctrl->Get3DWindow()->GetWindowRect()));
  EXPECT_TRUE(Picture(ctrl) == Picture(*reference.ctrl));

  for (int preset : {0, 3, 1, 2}) ctrl.SetColorPreset(preset);
  ASSERT_TRUE(Settled(ctrl));
  EXPECT_TRUE(Picture(ctrl) == Picture(*reference.ctrl));
  {
    // It is what the engine renders for that view on this thread.
    int rows = 0, columns = 0;
    ctrl.GetVRBuilder().GetRenderSize(rows, columns);
    std::vector<uint32_t> fresh(size_t(rows) * columns);
    V3ImageRGB frame{};
    std::lock_guard lock(ctrl.GetVRBuilder().GetEngineLock());
    ctrl.GetEngine3D()->Imaging(rows, columns, fresh.data(), false, &frame, 0);
    const std::vector<unsigned char> shown = Picture(ctrl);
    ASSERT_EQ(shown.size(), 4 + fresh.size() * 4);
    EXPECT_EQ(std::memcmp(shown.data() + 4, fresh.data(), fresh.size() * 4), 0);
  }
  // The comparison tells palettes apart.
  reference.ctrl->SetColorPreset(3);
  ASSERT_TRUE(Settled(*reference.ctrl));
  EXPECT_FALSE(Picture(ctrl) == Picture(*reference.ctrl));

  ctrl.SetColorPreset(3);
  ctrl.Clear();
  EXPECT_FALSE(ctrl.IsRenderingInBackground());
  SOWin::PumpEvents(50);
  EXPECT_EQ(ctrl.GetImageObject(4), nullptr);
}

// The 3D plug-in's switch to endoscopy: a palette given without a rendering, then the rendering
// mode. The palette's preparation belongs to the build thread; the mode must not wait for it on
// the UI thread (here the engine is held meanwhile), and the picture that follows is the one of a
// control given both while idle.
TEST(VisualCtrl, AModeSetWhileAPaletteIsPreparedGoesWithItsRendering) {
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcmode"));
  const fs::path folder = series.files[0].parent_path();
  V3Palette palette;
  ASSERT_TRUE(VisualVolume::ColorPreset(1, palette));
  Control reference;
  ASSERT_TRUE(reference.Load(folder));
  ASSERT_TRUE(Settled(*reference.ctrl));
  reference.ctrl->SetPalette(&palette, false);
  ASSERT_TRUE(Settled(*reference.ctrl));
  reference.ctrl->SetRenderMode(1);
  ASSERT_TRUE(Settled(*reference.ctrl));

  Control c;
  SOVisualWindow& ctrl = *c.ctrl;
  ASSERT_TRUE(c.Load(folder));
  ASSERT_TRUE(Settled(ctrl));
  const std::vector<unsigned char> before = Picture(ctrl);
  {
    HeldLock hold(ctrl.GetVRBuilder().GetEngineLock());
    // Lets go after a while should the calls below wait for the engine, so that a regression
    // fails instead of hanging.
    std::promise<void> done;
    std::atomic<bool> waited{false};
    std::thread watchdog([&, returned = done.get_future()] {
      if (returned.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) waited = true;
      hold.Release();
    });
    ctrl.SetPalette(&palette, false);
    ctrl.SetRenderMode(1);
    done.set_value();
    watchdog.join();
    EXPECT_FALSE(waited);
    EXPECT_EQ(ctrl.GetVRBuilder().GetRenderMode(), 1);
  }
  ASSERT_TRUE(Settled(ctrl));
  EXPECT_FALSE(Picture(ctrl) == before);
  EXPECT_TRUE(Picture(ctrl) == Picture(*reference.ctrl));

  // Back to volume rendering with the engine free: at once, as before.
  ctrl.SetRenderMode(0);
  reference.ctrl->SetRenderMode(0);
  ASSERT_TRUE(Settled(ctrl));
  ASSERT_TRUE(Settled(*reference.ctrl));
  EXPECT_TRUE(Picture(ctrl) == Picture(*reference.ctrl));
}

TEST(VisualCtrl, ReleaseMidLoadIsClean) {
  ReleaseVisualCtrl(nullptr);
  const auto series = SmallCt(orvanta::test::MakeTempDir("vcrel"), 30);
  viewer_ui_test::Frame frame;
  for (int round = 0; round < 3; ++round) {
    ISOVisualCtrl* ctrl = CreateVisualCtrl();
    HWND hwnd = ctrl->Create(frame.GetWindow(), 0, 0, 300, 200);
    ctrl->LoadFolder(series.files[0].parent_path().c_str());
    SOWin::PumpEvents(round * 10);
    ReleaseVisualCtrl(ctrl);
    EXPECT_FALSE(IsWindow(hwnd));
  }
}

}  // namespace
