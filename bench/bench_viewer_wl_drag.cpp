// A window/level drag with the right button over a 2 x 2 page of a series of linked images in
// the real 2D view control, offscreen: ms per mouse move (the move changes one image, the link
// hands the change to every other image once, and the shown cells repaint synchronously), the
// image calls per move, and how many cells repainted. The peer, moved in turn with the control
// to the same window, is the least a viewer can do per move: DCMTK's DicomImage, the four shown
// frames read and parsed once before the clock, re-windows each to 8 bits, and a plain Qt widget
// of the same size draws them scaled nearest-pixel, as ours does while the pointer drags. At the
// release both sides repaint smoothly scaled, timed apart. The machine's load is printed with
// the ratios.
// Usage: bench_viewer_wl_drag [files=1000] [size=512] [moves=100]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "HostFrame.h"
#include "ISOLumexa.h"
#include "LoadWaiter.h"
#include "Lumexa.h"
#include "PlainCells.h"
#include "SOImageObject.h"
#include "SOMainWindow.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace bench;

namespace {

// Counts window events of the images and paints of the shown cells.
class Counter : public ISOImageObjectCallback, public ISOCtrlPlugin {
 public:
  void OnImageObjectUpdated(SOImageObject*, unsigned int event, long) override { events += event == SOImageWWUpdated; }
  const char* GetName() override { return "COUNTER"; }
  void SetHost(IPluginHost*) override {}
  void Draw(HDC, RECT) override { ++paints; }
  long events = 0;
  long paints = 0;
};

// The peer: the frames of one page, read once, re-windowed by DCMTK and drawn by a plain widget.
class PlainWindower : public PlainCells {
 public:
  PlainWindower(const std::vector<fs::path>& files, int rows, int cols) : PlainCells(rows, cols) {
    for (size_t i = 0; i < files.size() && images_.size() < static_cast<size_t>(rows * cols); ++i)
      images_.push_back(std::make_unique<DicomImage>(files[i].c_str()));
  }
  void SetWindow(double center, double width) {
    frames_.clear();
    for (auto& image : images_) {
      image->setWindow(center, width);
      const auto* pixels = static_cast<const uchar*>(image->getOutputData(8));
      if (!pixels) continue;
      const int w = static_cast<int>(image->getWidth()), h = static_cast<int>(image->getHeight());
      frames_.push_back(QImage(pixels, w, h, w, QImage::Format_Grayscale8));  // DCMTK's buffer, drawn at once
    }
    repaint();
  }

 private:
  std::vector<std::unique_ptr<DicomImage>> images_;
};

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  HostFrame frame(1024, 1024);
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int size = argc > 2 ? std::atoi(argv[2]) : 512;
  const int moves = argc > 3 ? std::atoi(argv[3]) : 100;
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = options.columns = size;
  const fx::WrittenSeries series = fx::WriteCtSeries(orvanta::test::MakeTempDir("wl"), options);
  SOArray<SOString> paths;
  for (const auto& f : series.files) paths.Add(SOString(f.string()));

  auto* control = static_cast<SOMainWindow*>(CreateLumexa());
  control->Create(frame.GetWindow(), 0, 0, 1024, 1024, true);
  SOWin::PumpEvents(20);
  LoadWaiter waiter;
  control->RegisterCallback(&waiter);
  control->LoadFiles(&paths);
  SOWin::PumpUntil([&] { return waiter.finished > 0; }, 600000);
  SOSeriesWindow* s = control->GetSeriesWindow(0);
  s->SetImageLayout(2, 2);
  Counter* counter = new Counter;  // the first cell's manager owns it
  counter->SetHost(nullptr);
  s->GetImageWindow(0)->GetPluginMgr().AddPlugin(counter);
  for (int i = 0; i < s->GetImageObjectCount(); ++i) s->GetImageObject(i)->RegisterCallback(counter);
  HWND cell = s->GetImageWnd(0)->GetHWND();
  auto plainTop = std::make_unique<QWidget>();  // gone before the control and the application
  plainTop->setGeometry(0, 0, 1024, 1024);
  auto* plain = new PlainWindower(series.files, 2, 2);
  plain->setParent(plainTop.get());
  const RECT area = s->GetImageWindow(0)->GetWindowRect();  // the peer's cells as large as ours
  plain->setGeometry(0, 0, (area.right - area.left) * 2, (area.bottom - area.top) * 2);
  plainTop->show();
  plain->SetQuick(true);
  SOWin::PumpEvents(20);
  SendMessageW(cell, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
  counter->events = counter->paints = 0;
  std::vector<double> ms, cpu, peerMs, peerCpu;
  long events = 0, paints = 0;
  for (int i = 1; i <= moves; ++i) {
    const int x = 100 + 4 + (i % 50), y = 100 + 4 + (i % 30);
    const double c0 = ProcessCpuSeconds();
    ms.push_back(1000 * Seconds([&] { SendMessageW(cell, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(x, y)); }));
    const double c1 = ProcessCpuSeconds();
    cpu.push_back(1000 * (c1 - c0));
    events += counter->events;
    paints += counter->paints;
    // The peer goes to the window the move gave, after ours, so each side starts from the same state.
    const SOImagePresentationState& state = s->GetImageObject(0)->GetImagePresentationState();
    peerMs.push_back(1000 * Seconds([&] { plain->SetWindow(state.windowCenter, state.windowWidth); }));
    peerCpu.push_back(1000 * (ProcessCpuSeconds() - c1));
    counter->events = counter->paints = 0;
  }
  // The release repaints the shown cells in full (the moves scale quickly).
  const double releaseMs = 1000 * Seconds([&] { SendMessageW(cell, WM_RBUTTONUP, 0, MAKELPARAM(100, 100)); });
  plain->SetQuick(false);
  const double peerReleaseMs = 1000 * Seconds([&] { plain->repaint(); });
  std::printf("%d linked images of %dx%d, 2x2 cells, %d moves\n", count, size, size, moves);
  std::printf("ms per move: median %.2f  p95 %.2f  max %.2f   budget < 5 ms\n", Median(ms),
              Percentile(ms, 0.95), Percentile(ms, 1.0));
  std::printf(
      "  DCMTK DicomImage re-windowing the 4 shown frames (parsed once) + plain Qt widget: median %.2f  p95 %.2f ms\n",
      Median(peerMs), Percentile(peerMs, 0.95));
  std::printf("  processor time per move: ours median %.2f ms, peer median %.2f ms\n", Median(cpu),
              Median(peerCpu));
  std::printf("  fair ratio (ours / peer, same parsing and scaling): wall median %.2f  p95 %.2f  processor median "
              "%.2f   load %.1f\n",
              Median(ms) / Median(peerMs), Percentile(ms, 0.95) / Percentile(peerMs, 0.95),
              Median(cpu) / Median(peerCpu), LoadAverage());
  std::printf("  release (the shown cells repainted smoothly): ours %.2f ms, peer %.2f ms\n", releaseMs,
              peerReleaseMs);
  std::printf("window events per move %.1f (N = %d; without the link guard about N^2 = %.0f)\n",
              static_cast<double>(events) / moves, count, static_cast<double>(count) * count);
  std::printf("repaints of the first cell per move %.2f (only shown cells paint)\n",
              static_cast<double>(paints) / moves);
  for (int i = 0; i < s->GetImageObjectCount(); ++i) s->GetImageObject(i)->UnRegisterCallback(counter);
  plainTop.reset();
  ReleaseLumexa(control);
  orvanta::test::ShutdownScratch();
  return 0;
}
