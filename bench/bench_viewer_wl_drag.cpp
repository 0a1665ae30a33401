// A window/level drag with the right button over a 2 x 2 page of a series of linked images in
// the real 2D view control, offscreen: ms per mouse move (the move changes one image, the link
// hands the change to every other image once, and the shown cells repaint synchronously), the
// image calls per move, and how many cells repainted.
// Usage: bench_viewer_wl_drag [files=1000] [size=512] [moves=100]

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "HostFrame.h"
#include "ISOLumexa.h"
#include "LoadWaiter.h"
#include "Lumexa.h"
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
  SendMessageW(cell, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
  counter->events = counter->paints = 0;
  std::vector<double> ms, cpu;
  for (int i = 1; i <= moves; ++i) {
    const int x = 100 + 4 + (i % 50), y = 100 + 4 + (i % 30);
    const double c0 = ProcessCpuSeconds();
    ms.push_back(1000 * Seconds([&] { SendMessageW(cell, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(x, y)); }));
    cpu.push_back(1000 * (ProcessCpuSeconds() - c0));
  }
  SendMessageW(cell, WM_RBUTTONUP, 0, MAKELPARAM(100, 100));
  std::printf("%d linked images of %dx%d, 2x2 cells, %d moves\n", count, size, size, moves);
  std::printf("ms per move: median %.2f  max %.2f   budget < 5 ms   (processor time median %.2f ms)\n",
              Median(ms), *std::max_element(ms.begin(), ms.end()), Median(cpu));
  std::printf("window events per move %.1f (N = %d; without the link guard about N^2 = %.0f)\n",
              static_cast<double>(counter->events) / moves, count, static_cast<double>(count) * count);
  std::printf("repaints of the first cell per move %.2f (only shown cells paint)\n",
              static_cast<double>(counter->paints) / moves);
  for (int i = 0; i < s->GetImageObjectCount(); ++i) s->GetImageObject(i)->UnRegisterCallback(counter);
  ReleaseLumexa(control);
  orvanta::test::ShutdownScratch();
  return 0;
}
