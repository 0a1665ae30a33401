// Opening a CT folder in the 2D viewer plug-in's window (study/series list with thumbnails
// refilled every ten files) against the 2D view control alone, same files, same run: time to
// the first image painted and to the load's end. Alternating rounds, medians.
// Usage: bench_viewer2d_open [files=1000] [size=512] [rounds=5]

#include <algorithm>
#include <chrono>
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
#include "SOTessalyWnd.h"
#include "SOUtil.h"
#include "StudySeriesList.h"
#include "TestSupport.h"
#include "UIlib.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace bench;

namespace {

struct Times {
  double firstImage = 0;
  double finished = 0;
};

// Loads the folder into the control and times the first painted image and the end: the
// control's load finished and `settled` true (the viewer's thumbnails all registered).
Times Open(ISOLumexa* control, const std::function<void()>& load, const std::function<bool()>& settled) {
  LoadWaiter waiter;
  control->RegisterCallback(&waiter);
  Times t;
  const auto begin = std::chrono::steady_clock::now();
  load();
  SOWin::PumpUntil(
      [&] {
        ISOSeriesWnd* s = control->GetSeriesWnd(0);
        ISOImageWnd* w = s ? s->GetImageWnd(0) : nullptr;
        return w && w->GetImageObject();
      },
      600000);
  if (ISOSeriesWnd* s = control->GetSeriesWnd(0)) UpdateWindow(s->GetImageWnd(0)->GetHWND());
  t.firstImage = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  SOWin::PumpUntil([&] { return waiter.finished > 0 && settled(); }, 600000);
  t.finished = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  control->UnRegisterCallback(&waiter);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  DuiLib::CPaintManagerUI::SetResourcePath(
      SOWin::FromUtf8((orvanta::test::ProgramFolder() / "skin").string() + "/").c_str());
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int size = argc > 2 ? std::atoi(argv[2]) : 512;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = options.columns = size;
  const fs::path folder = orvanta::test::MakeTempDir("open2d");
  fx::WriteCtSeries(folder, options);
  std::printf("%d files of %dx%d 16-bit\n", count, size, size);
  auto frame = std::make_unique<HostFrame>(1200, 800);

  std::vector<double> viewerFirst, viewerEnd, controlFirst, controlEnd;
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      if ((round + turn) % 2 == 0) {
        auto* window = new SOTessalyWnd;
        window->CreateWnd(frame->GetWindow(), 0, 0, 1200, 800);
        SOWin::PumpEvents(20);
        const Times t = Open(
            window->GetLumexa(), [&] { window->OnCommand("LOADDIR", const_cast<char*>(folder.c_str())); },
            [&] { return window->GetList()->PendingThumbnails() == 0; });
        viewerFirst.push_back(t.firstImage);
        viewerEnd.push_back(t.finished);
        DestroyWindow(window->GetHWND());
        delete window;
      } else {
        ISOLumexa* control = CreateLumexa();
        control->Create(frame->GetWindow(), 236, 58, 964, 742, true);
        SOWin::PumpEvents(20);
        const Times t = Open(control, [&] {
          // The same work the plug-in's command does before the control takes over.
          SOArray<SOString> paths;
          SOUtil::FindFiles(folder.c_str(), paths, true);
          control->CloseAll();
          control->LoadFiles(&paths);
        }, [] { return true; });
        controlFirst.push_back(t.firstImage);
        controlEnd.push_back(t.finished);
        ReleaseLumexa(control);
      }
    }
  }
  const double vf = Median(viewerFirst), ve = Median(viewerEnd), cf = Median(controlFirst), ce = Median(controlEnd);
  std::printf("first image painted: 2D viewer %.3f s, 2D control alone %.3f s, ratio %.2f   goal <= 1.10\n", vf, cf,
              vf / cf);
  std::printf("finished (thumbnails included): 2D viewer %.3f s, 2D control alone %.3f s, ratio %.2f   goal <= 1.10\n",
              ve, ce, ve / ce);
  std::printf("load %.1f\n", LoadAverage());
  std::fflush(stdout);
  frame.reset();  // before the application goes
  // The application goes before the process's statics, and the generated series with the
  // scratch folder.
  orvanta::test::ShutdownScratch();
  return 0;
}
