// Re-windowing and redrawing one frame, as a window/level drag does, against DCMTK's own
// windowing (DicomImage::setWindow + getOutputData(8)) of the same frame in the same run.
// The frame fills a view of its own size; a last run draws the 2048² frame into a 1536² view,
// where the painter scales it.
// Usage: bench_window_drag [changes=200]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "DicomFixtures.h"
#include "RenderSurface.h"
#include "SODcmObject.h"
#include "SOImageObject.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fx = orvanta::fixtures;

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
  struct Run {
    int size, view;
    const char* goal;
  };
  for (const Run& run : {Run{512, 512, "< 1 ms"}, Run{2048, 2048, "< 10 ms"}, Run{2048, 1536, "none"}}) {
    const int size = run.size;
    fx::CtSeriesOptions options;
    options.slices = 1;
    options.rows = options.columns = size;
    const auto file = fx::WriteCtSeries(orvanta::test::MakeTempDir("frame"), options).files[0];

    SODcmObject object;
    object.ParseDcmFile(file.c_str(), true);
    SOImageObject image;
    image.SetDcmObject(&object, 0);
    image.ResetTransfer();
    RenderSurface surface(run.view, run.view);
    image.DrawImage(surface.dc(), surface.rect(), false);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < changes; ++i) {
      image.SetWW(40 + i, 400 + i, false);
      image.DrawImage(surface.dc(), surface.rect(), false);
    }
    const double ours =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    DicomImage reference(file.c_str());
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < changes; ++i) {
      reference.setWindow(40 + i, 400 + i);
      reference.getOutputData(8);
    }
    const double peer =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%4dx%-4d in %4d view  ours %.2f ms per change (window + draw)   DCMTK setWindow+getOutputData "
        "%.2f ms   ratio (peer / ours) %.2f   goal %s\n",
        size, size, run.view, ours / changes, peer / changes, peer / ours, run.goal);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
