// The 3D/MPR control under interaction on a generated CT, through the real control offscreen,
// each figure beside the volume engine doing the same work alone in the same run (the peer), so
// the control's overhead is the ratio ours / engine:
//   (a) MPR cross drag, per move: 3 reslices, 3 repaints and the 3D plane overlay (scaled quickly
//       during the drag, as the cross tool's drag paints them), and the full repaint on release;
//   (b) VR rotation at a quarter of an 800 x 600 pane, per frame (a drag, scaled quickly);
//   (c) the full-size rendering on release, with its full repaint, each after a short drag;
//   (d) building the volume (data and octree) for a taller volume, and the longest time the UI
//       thread stays away from its events during a load and build, up to the windows' first
//       paints (the build thread also makes the result images and the first rendering; the UI
//       thread attaches them, then shows the windows in a later step);
//   (e) 4D: ms per 1024^2 phase rendering on the phase worker, against a fresh engine making the
//       same calls, and the memory it holds;
//   (f) a palette change: the time until its picture shows, beside the engine's SetPalette and
//       full-size rendering, and the longest UI stall meanwhile; the same stall when switching
//       to endoscopy (a palette, then the rendering mode).
// Beside the engine, a floor for (a) to (c): the engine's same work shown by a plain Qt widget
// (planes windowed to grey and drawn into the panes of an 800 x 600 grid, the rendering drawn
// into its pane), the least any display of it pays; ours / floor is printed after each line.
// Runs itself once per thread count (2 and 8 cores by default), each child pinned to that many.
//
// bench_visual_interaction [size 512] [slices 300] [build-slices 1000] [moves 40] [frames 20]

#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "Engine3D.h"
#include "EngineMPR.h"
#include "HostFrame.h"
#include "Lumexa.h"
#include "LumexaModule.h"
#include "PlainCells.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow3D.h"
#include "SOImageWindowMPR.h"
#include "SOVisualWindow.h"
#include "TestSupport.h"
#include "VisualPhantom.h"
#include "VisualVolume.h"

namespace {

using bench::PeakRssMb;
using bench::RssMb;
using bench::Percentile;

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void Line(const char* what, const std::vector<double>& ours, const std::vector<double>& peer,
          const std::vector<double>& floor = {}) {
  const double o50 = Percentile(ours, 0.5), o95 = Percentile(ours, 0.95);
  const double p50 = Percentile(peer, 0.5), p95 = Percentile(peer, 0.95);
  std::printf(
      "  %-34s ours p50 %7.1f p95 %7.1f ms | engine p50 %7.1f p95 %7.1f ms | ratio p50 %.2f p95 %.2f\n", what,
      o50, o95, p50, p95, p50 > 0 ? o50 / p50 : 0, p95 > 0 ? o95 / p95 : 0);
  if (floor.empty()) return;
  const double f50 = Percentile(floor, 0.5), f95 = Percentile(floor, 0.95);
  std::printf(
      "  %-34s floor: engine + plain display p50 %7.1f p95 %7.1f ms | ours / floor p50 %.2f p95 %.2f\n", "",
      f50, f95, f50 > 0 ? o50 / f50 : 0, f95 > 0 ? o95 / f95 : 0);
}

// The floor's display: engine planes windowed to grey, renderings as they are, drawn by a plain
// widget into the cells of a grid.
class PlainPanes : public bench::PlainCells {
 public:
  PlainPanes(int rows, int cols) : PlainCells(rows, cols) {
    resize(800, 600);
    show();
    SOWin::PumpEvents(20);  // exposed, so that repaint() paints
  }
  void ShowPlanes(const std::vector<const V3ImageData*>& planes) {
    frames_.clear();
    for (const V3ImageData* plane : planes) {
      QImage grey(plane->columns, plane->rows, QImage::Format_Grayscale8);
      const int16_t* in = plane->data.data;
      for (int y = 0; y < plane->rows; ++y) {
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < plane->columns; ++x) {
          const int v = (in[size_t(y) * plane->columns + x] + 160) * 255 / 400;  // window 40 / 400
          out[x] = static_cast<uchar>(std::clamp(v, 0, 255));
        }
      }
      frames_.push_back(std::move(grey));
    }
    repaint();
  }
  // A rendering is made at its pane's size (or a quarter of it while dragging), so it fills the
  // pane inside a one-pixel border, as the control draws it, not a square cell.
  void ShowRendering(const uint32_t* pixels, int columns, int rows) {
    frames_.assign(1, QImage(reinterpret_cast<const uchar*>(pixels), columns, rows, QImage::Format_RGB32));
    rendering_ = true;
    repaint();
    rendering_ = false;
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!rendering_) return PlainCells::paintEvent(event);
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::SmoothPixmapTransform, !quick_);
    p.drawImage(rect().adjusted(1, 1, -1, -1), frames_.front());
  }

 private:
  bool rendering_ = false;
};

bool PinTo(int cores) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  cpu_set_t pinned;
  CPU_ZERO(&pinned);
  int taken = 0;
  for (int c = 0; c < CPU_SETSIZE && taken < cores; ++c)
    if (CPU_ISSET(c, &allowed)) CPU_SET(c, &pinned), ++taken;
  return taken == cores && sched_setaffinity(0, sizeof pinned, &pinned) == 0;
}

struct PhaseWait : IVRBuilderCallback {
  std::mutex m;
  std::condition_variable cv;
  int finished = 0;
  void OnVolumeBuilt() override {}
  void OnVolumeCleared() override {}
  void OnImageUpdated(ISOImageObject*) override {}
  void OnOriginMoved() override {}
  void OnImagingTypeChanged(int) override {}
  void OnPhaseProgress(int, int) override {}
  void OnPhasesFinished() override {
    std::lock_guard lock(m);
    ++finished;
    cv.notify_all();
  }
};

int Child(const std::string& folder, int threads, int buildSlices, int size, int moves, int frames) {
  if (!PinTo(threads)) std::printf("(could not pin to %d cores; running on what is allowed)\n", threads);
  orvanta::test::EnsureQtApp();
  std::printf("== %d threads ==\n", threads);
  HostFrame frame(800, 600);
  auto* ctrl = static_cast<SOVisualWindow*>(CreateVisualCtrl());
  ctrl->Create(frame.GetWindow(), 0, 0, 800, 600);
  SOWin::PumpEvents(20);

  // Load and build: the longest time the UI thread did not come back to its event loop.
  const int builds = ctrl->GetVolumeBuilds();
  const auto loadStart = Clock::now();
  ctrl->LoadFolder(folder.c_str());
  double longestGap = 0;
  auto last = Clock::now();
  // Called each time the UI thread is back in its event loop.
  auto backInTheLoop = [&] {
    const auto now = Clock::now();
    longestGap = std::max(longestGap, Ms(last, now));
    last = now;
    return now;
  };
  SOWin::PumpUntil(
      [&] {
        backInTheLoop();
        return ctrl->GetVolumeBuilds() > builds;
      },
      1200000);
  const double loadMs = Ms(loadStart, Clock::now());
  // The windows' first paints may follow in later events: they count too.
  const auto shown = Clock::now();
  SOWin::PumpUntil([&] { return Ms(shown, backInTheLoop()) > 300; }, 10000);
  // Pumps until the rendering on the build thread shows, timing the loop's gaps.
  auto untilRendered = [&] {
    backInTheLoop();
    SOWin::PumpUntil(
        [&] {
          backInTheLoop();
          return !ctrl->IsRenderingInBackground();
        },
        120000);
  };
  std::printf("  load and build through the control: %.0f ms; longest UI stall %.0f ms\n", loadMs,
              longestGap);
  if (!ctrl->GetImageObject(0)) {
    std::printf("  the series made no volume\n");
    ReleaseVisualCtrl(ctrl);
    return 1;
  }
  const V3VolumeData volume = ctrl->GetMPRBuilder().GetVolume();

  // (a) cross drag
  EngineMPR mpr;
  mpr.InitData(volume);
  double origin[3];
  ctrl->GetMPRBuilder().GetOrigin(origin);
  std::vector<double> ours, peer, floor;
  PlainPanes panes(2, 2);
  panes.SetQuick(true);
  for (int i = 0; i < moves; ++i) {
    const float p[3] = {float(origin[0] + (i % 20) - 10), float(origin[1] + (i % 14) - 7),
                        float(origin[2] + (i % 8) - 4)};
    auto t0 = Clock::now();
    // As the cross tool moves it: a view drag, whose paints scale quickly.
    LumexaBeginViewDrag();
    ctrl->OnCrossMoved(ctrl->GetAxialWindow(), p);
    auto t1 = Clock::now();
    const double d[3] = {p[0], p[1], p[2]};
    mpr.SetOrigin(d);
    V3ImageData a, s, c;
    mpr.Imaging(V3MPR_AXIAL, &a);
    mpr.Imaging(V3MPR_CORONAL, &c);
    mpr.Imaging(V3MPR_SAGITTAL, &s);
    auto t2 = Clock::now();
    panes.ShowPlanes({&a, &c, &s});
    auto t3 = Clock::now();
    ours.push_back(Ms(t0, t1));
    peer.push_back(Ms(t1, t2));
    floor.push_back(Ms(t1, t3));
  }
  Line("(a) MPR cross drag, per move", ours, peer, floor);
  {
    // The release repaints the planes in full.
    const auto t0 = Clock::now();
    LumexaEndViewDrag();
    std::printf("  (a) release, full repaint of the planes: %.1f ms\n", Ms(t0, Clock::now()));
  }

  // (b) quarter-size rotation in an 800 x 600 pane, (c) the full size on release
  ctrl->SetLayout(2);
  Engine3D engine;
  engine.InitData(volume);
  VRBuilder& vr = ctrl->GetVRBuilder();
  DcmImageInputData* record = vr.GetResultImage()->GetOriginalImagePixelData();
  const int fullRows = record->rows, fullColumns = record->columns;
  vr.SetInteracting(true);
  std::vector<uint32_t> pixels(size_t(fullRows) * fullColumns);
  V3ImageRGB rgb{};
  ours.clear(), peer.clear(), floor.clear();
  PlainPanes pane(1, 1);
  pane.SetQuick(true);
  for (int i = 0; i < frames; ++i) {
    auto t0 = Clock::now();
    // As the rotate tool turns it: a view drag.
    LumexaBeginViewDrag();
    ctrl->RotateH(0.03f);
    auto t1 = Clock::now();
    engine.RotateH(0.03f);
    engine.Imaging(fullRows / 4, fullColumns / 4, pixels.data(), false, &rgb, 0);
    auto t2 = Clock::now();
    pane.ShowRendering(pixels.data(), fullColumns / 4, fullRows / 4);
    auto t3 = Clock::now();
    ours.push_back(Ms(t0, t1));
    peer.push_back(Ms(t1, t2));
    floor.push_back(Ms(t1, t3));
  }
  char what[80];
  std::snprintf(what, sizeof what, "(b) VR rotation %dx%d, per frame", record->columns, record->rows);
  Line(what, ours, peer, floor);
  // (c) The release of a drag, what the user waits for after the quarter-size frames: each
  // sample is a short drag (three frames, not timed), then its end as the rotate tool ends it.
  ours.clear(), peer.clear(), floor.clear();
  for (int i = 0; i < 5; ++i) {
    vr.SetInteracting(true);
    pane.SetQuick(true);
    for (int k = 0; k < 3; ++k) {
      LumexaBeginViewDrag();
      ctrl->RotateH(0.03f);
      engine.RotateH(0.03f);
      engine.Imaging(fullRows / 4, fullColumns / 4, pixels.data(), false, &rgb, 0);
      pane.ShowRendering(pixels.data(), fullColumns / 4, fullRows / 4);
    }
    pane.SetQuick(false);
    auto t0 = Clock::now();
    LumexaEndViewDrag(ctrl->Get3DWindow()->GetWindow());
    vr.SetInteracting(false);
    vr.Render();
    auto t1 = Clock::now();
    engine.Imaging(fullRows, fullColumns, pixels.data(), false, &rgb, 0);
    auto t2 = Clock::now();
    pane.ShowRendering(pixels.data(), fullColumns, fullRows);
    auto t3 = Clock::now();
    ours.push_back(Ms(t0, t1));
    peer.push_back(Ms(t1, t2));
    floor.push_back(Ms(t1, t3));
  }
  std::snprintf(what, sizeof what, "(c) full size %dx%d on release", fullColumns, fullRows);
  Line(what, ours, peer, floor);

  // (f) palette changes: the octree's preparation for the new palette and the first rendering
  // with it; ours is the time until the new picture shows, with the longest UI stall meanwhile.
  {
    std::vector<double> stalls;
    ours.clear(), peer.clear();
    for (int i = 0; i < 4; ++i) {
      const int preset = i % 2 ? 1 : 2;
      const auto t0 = Clock::now();
      last = t0;
      longestGap = 0;
      ctrl->SetColorPreset(preset);
      untilRendered();
      const auto t1 = Clock::now();
      V3Palette palette;
      VisualVolume::ColorPreset(preset, palette);
      engine.SetPalette(palette);
      engine.Imaging(fullRows, fullColumns, pixels.data(), false, &rgb, 0);
      const auto t2 = Clock::now();
      ours.push_back(Ms(t0, t1));
      peer.push_back(Ms(t1, t2));
      stalls.push_back(longestGap);
    }
    std::snprintf(what, sizeof what, "(f) palette change, new picture");
    Line(what, ours, peer);
    std::printf("  (f) longest UI stall during a palette change: p50 %.1f max %.1f ms\n",
                Percentile(stalls, 0.5), *std::max_element(stalls.begin(), stalls.end()));
  }

  // (f) the switch to endoscopy and back as the 3D plug-in makes it: a palette given without a
  // rendering, then the rendering mode; the longest UI stall until the new picture shows.
  {
    std::vector<double> stalls;
    for (int i = 0; i < 4; ++i) {
      V3Palette palette;
      VisualVolume::ColorPreset(i % 2 ? 2 : 1, palette);
      last = Clock::now();
      longestGap = 0;
      ctrl->SetPalette(&palette, false);
      ctrl->SetRenderMode(i % 2 ? 0 : 1);
      untilRendered();
      stalls.push_back(longestGap);
    }
    std::printf("  (f) longest UI stall switching to endoscopy and back: p50 %.1f max %.1f ms\n",
                Percentile(stalls, 0.5), *std::max_element(stalls.begin(), stalls.end()));
  }

  // (e) 4D: three phases rendered on the phase worker, against a fresh engine given the same
  // volume and making the same calls (no rotation or palette before it), in alternating rounds.
  {
    PhaseWait wait;
    VRBuilder phases;
    phases.RegisterCallback(&wait);
    phases.Build(volume, nullptr);
    const long before = RssMb();
    phases.Builder4D().SetPhases({volume, volume, volume});
    phases.Set4D(true);
    Engine3D fresh;
    fresh.InitData(volume);
    std::vector<uint32_t> frame1024(size_t(1024) * 1024);
    std::vector<double> ours, peer;
    long after = before;
    for (int round = 0; round < 5; ++round) {
      {
        std::lock_guard lock(wait.m);
        wait.finished = 0;
      }
      auto t0 = Clock::now();
      if (round == 0) {
        phases.Render();  // a full-size colour rendering submits the phases
      } else {
        phases.Builder4D().Submit(1000 + round);
      }
      auto t1 = Clock::now();
      {
        std::unique_lock lock(wait.m);
        wait.cv.wait_for(lock, std::chrono::minutes(10), [&] { return wait.finished > 0; });
      }
      auto t2 = Clock::now();
      if (round == 0) {
        after = RssMb();
      } else {
        ours.push_back((Ms(t0, t2) - Ms(t0, t1)) / 3);  // the first round's colour rendering is not a phase
      }
      auto t3 = Clock::now();
      for (int p = 0; p < 3; ++p) {
        fresh.ClearAttachVolume();
        fresh.AttachVolumeData(volume);
        fresh.Imaging(1024, 1024, frame1024.data(), false, &rgb, 1);
      }
      if (round > 0) peer.push_back(Ms(t3, Clock::now()) / 3);
    }
    const double oursPhase = bench::Median(ours), peerPhase = bench::Median(peer);
    std::printf(
        "  (e) 4D phase 1024^2 on the worker     ours %7.1f ms | fresh engine %7.1f ms | ratio %.2f (medians of "
        "%zu rounds, A B A B); frames held %ld MiB more resident\n",
        oursPhase, peerPhase, peerPhase > 0 ? oursPhase / peerPhase : 0, ours.size(), after - before);
  }
  ReleaseVisualCtrl(ctrl);

  // (d) the build of a taller volume: the control's steps (both engines' data and octree, the
  // first rendering, the three first planes) against the engines doing the same steps alone.
  if (buildSlices > 0) {
    std::vector<int16_t> voxels(size_t(size) * size * buildSlices);
    std::vector<int16_t*> table(buildSlices);
    for (int z = 0; z < buildSlices; ++z) {
      table[z] = voxels.data() + size_t(size) * size * z;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          const int dx = x - size / 2, dy = y - size / 2;
          table[z][x + y * size] =
              int16_t(dx * dx + dy * dy < size * size / 6 ? ((x ^ y ^ z) & 7) * 40 : -1000);
        }
    }
    V3VolumeData tall = volume;
    tall.slices = table.data();
    tall.dims[0] = tall.dims[1] = size;
    tall.dims[2] = buildSlices;
    // Each side builds in its own scope, so neither pays for memory the other still holds; two
    // rounds in turn (ours first, then the engine first), the best of each side counted.
    auto oursBuild = [&] {
      const auto t0 = Clock::now();
      VRBuilder vrb;
      MPRBuilder mprb;
      vrb.Build(tall, nullptr);
      mprb.Build(tall, nullptr);
      return Ms(t0, Clock::now());
    };
    // The engines' same steps: both InitData, the first colour rendering at the builder's default
    // size (with the octree's preparation for the palette) and the three first planes.
    double peerInit = 0;
    auto peerBuild = [&] {
      const auto t0 = Clock::now();
      Engine3D e;
      EngineMPR m;
      e.InitData(tall);
      m.InitData(tall);
      const auto t1 = Clock::now();
      std::vector<uint32_t> first(size_t(VRBuilder::kDefaultSize) * VRBuilder::kDefaultSize, 0u);
      V3ImageRGB geometry{};
      e.Imaging(VRBuilder::kDefaultSize, VRBuilder::kDefaultSize, first.data(), false, &geometry, 0);
      V3ImageData a, c, s;
      m.Imaging(V3MPR_AXIAL, &a);
      m.Imaging(V3MPR_CORONAL, &c);
      m.Imaging(V3MPR_SAGITTAL, &s);
      const auto t2 = Clock::now();
      peerInit = Ms(t0, t1);
      return Ms(t0, t2);
    };
    double oursBest = 1e300, peerBest = 1e300, peerBestInit = 0;
    for (int round = 0; round < 2; ++round) {
      for (int side = 0; side < 2; ++side) {
        if ((side == 0) == (round == 0)) {
          oursBest = std::min(oursBest, oursBuild());
        } else {
          const double ms = peerBuild();
          if (ms < peerBest) peerBest = ms, peerBestInit = peerInit;
        }
      }
    }
    std::printf(
        "  (d) build %dx%dx%d                 ours %7.0f ms | engine %7.0f ms | ratio %.2f (on the "
        "control's build thread; best of 2)\n"
        "  (d)   engine: InitData of both %.0f ms, then the first rendering %dx%d and three planes %.0f ms\n",
        size, size, buildSlices, oursBest, peerBest, oursBest / std::max(1.0, peerBest), peerBestInit,
        VRBuilder::kDefaultSize, VRBuilder::kDefaultSize, peerBest - peerBestInit);
  }
  std::printf("  peak RSS %ld MiB\n", PeakRssMb());
  return 0;
}

// Runs this program again with its output shown; its exit status, or -1.
int RunChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 0;
  std::string folder;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--threads" && i + 1 < argc)
      threads = std::atoi(argv[++i]);
    else if (a == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else
      rest.push_back(a);
  }
  auto arg = [&](size_t i, int fallback) { return i < rest.size() ? std::atoi(rest[i].c_str()) : fallback; };
  const int size = arg(0, 512), slices = arg(1, 300), buildSlices = arg(2, 1000), moves = arg(3, 40),
            frames = arg(4, 20);
  if (threads > 0) {
    const int rc = Child(folder, threads, buildSlices, size, moves, frames);
    // Leave without the application's teardown at exit: only the figures matter here.
    std::fflush(stdout);
    std::_Exit(rc);
  }

  orvanta::test::InitScratch();
  const std::string dir = orvanta::test::MakeTempDir("visual_bench").string();
  std::printf(
      "CT %dx%dx%d (1 mm) through the 3D/MPR control; peer: the volume engine alone, same volume, same run\n",
      size, size, slices);
  visual_phantom::Write(dir, size, slices, 1.0);
  int status = 0;
  for (int t : {2, 8}) {
    std::vector<std::string> child = {argv[0], "--threads", std::to_string(t), "--folder", dir};
    for (const std::string& r : rest) child.push_back(r);
    std::fflush(stdout);
    status |= RunChild(child);
  }
  orvanta::test::ShutdownScratch();  // the written volume goes with the scratch folder
  return status;
}
