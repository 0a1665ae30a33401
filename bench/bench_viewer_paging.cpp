// Paging through a CT series in the real 2D view control, offscreen: each wheel step is sent to
// image window 0 and timed until the control's windows are painted again (the repaint is
// synchronous). The peer, stepped in turn with the control on the same files, is the least a
// viewer can do per page given the same deal as ours: every file read and parsed by DCMTK once
// before the clock, then per page DCMTK's DicomImage windows each shown frame to 8 bits and a
// plain Qt widget of the same size draws it scaled nearest-pixel, as ours does while the wheel
// turns. Once the wheel rests both sides repaint smoothly scaled, timed apart. Wall times suffer
// on a busy machine: the processor time of the process per step (Qt's painting threads
// included) is shown beside them, with the machine's load, and the fresh pages each side
// touches per step. Both sides share the process's heap: memory one side frees is warm memory
// for the other.
// Also the load of the same files into the control to its finish event, against the data centre
// alone in the same run, and the parts of a paint measured apart: windowing and resampling of a
// frame drawn for the first time, corner texts and overlays.
// Usage: bench_viewer_paging [files=1000] [size=512] [steps=200]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
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
#include "ISODcmDataCenter.h"
#include "ISOLumexa.h"
#include "Lumexa.h"
#include "LumexaModule.h"
#include "PlainCells.h"
#include "RenderSurface.h"
#include "SOImageObject.h"
#include "SOMainWindow.h"
#include "SOPluginBasic.h"
#include "SOPluginInfo.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace bench;

namespace {

// Pages the process touched for the first time (minor faults) so far.
long FreshPages() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

class Waiter : public ISOViewerCtrlCallback, public ISODcmDataCenterCallback {
 public:
  void OnFileLoaded(const SOViewerFileEvent*) override {}
  void OnLoadFinished(const SOViewerFinishEvent*) override { ++finished; }
  void OnCleared() override {}
  void OnSeriesActivated(ISOSeriesWnd*) override {}
  void OnFileLoadedEvent(const SODcmLoadEvent*) override {}
  void OnLoadFinishedEvent(const SODcmLoadEvent*) override {
    loaderDoneAt = std::chrono::steady_clock::now();
    ++finished;
  }
  void OnClearedEvent() override {}
  std::atomic<int> finished{0};
  std::chrono::steady_clock::time_point loaderDoneAt;  // read after finished

};

// The peer: every file parsed once; one page of frames windowed by DCMTK, drawn by a plain widget.
class PlainPager : public PlainCells {
 public:
  PlainPager(const std::vector<fs::path>& files, int rows, int cols) : PlainCells(rows, cols) {
    for (const fs::path& f : files) {
      auto file = std::make_unique<DcmFileFormat>();
      if (file->loadFile(f.c_str()).good()) {
        file->getDataset()->loadAllDataIntoMemory();
        files_.push_back(std::move(file));
      }
    }
  }
  void ShowPage(int page) {
    frames_.clear();
    for (int k = 0; k < rows_ * cols_; ++k) {
      const size_t i = static_cast<size_t>(page) * rows_ * cols_ + k;
      if (i >= files_.size()) break;
      DcmDataset* data = files_[i]->getDataset();
      DicomImage image(data, data->getOriginalXfer());
      image.setWindow(40, 400);
      const auto* pixels = static_cast<const uchar*>(image.getOutputData(8));
      if (!pixels) continue;
      const int w = static_cast<int>(image.getWidth()), h = static_cast<int>(image.getHeight());
      frames_.push_back(QImage(pixels, w, h, w, QImage::Format_Grayscale8).copy());
    }
    repaint();
  }

 private:
  std::vector<std::unique_ptr<DcmFileFormat>> files_;
};

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  HostFrame frame(1024, 1024);
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int size = argc > 2 ? std::atoi(argv[2]) : 512;
  const int steps = argc > 3 ? std::atoi(argv[3]) : 200;
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = options.columns = size;
  const fs::path folder = orvanta::test::MakeTempDir("paging");
  const fx::WrittenSeries series = fx::WriteCtSeries(folder, options);
  SOArray<SOString> paths;
  for (const auto& f : series.files) paths.Add(SOString(f.string()));
  std::printf("%d files of %dx%d 16-bit, %d wheel steps\n", count, size, size, steps);

  // Loading: the control (loader thread, events queued for the UI thread and placed in batches,
  // ordered insert) against the data centre alone, alternating, medians of 15.
  std::vector<double> controlTimes, centreTimes, tailTimes;
  for (int round = 0; round < 15; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      if ((round + turn) % 2 == 0) {
        ISOLumexa* control = CreateLumexa();
        control->Create(frame.GetWindow(), 0, 0, 800, 800, true);
        Waiter waiter, loader;
        control->RegisterCallback(&waiter);
        control->GetDataCenter()->RegisterCallback(&loader);
        SOWin::PumpEvents(0);
        // The UI thread waits in its event loop, as an application does; the data centre's
        // waiter below polls every 0.2 ms.
        controlTimes.push_back(Seconds([&] {
          control->LoadFiles(&paths);
          while (waiter.finished == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }));
        const auto reported = std::chrono::steady_clock::now();
        if (loader.finished > 0)
          tailTimes.push_back(std::chrono::duration<double>(reported - loader.loaderDoneAt).count());
        control->GetDataCenter()->UnRegisterCallback(&loader);
        ReleaseLumexa(control);
      } else {
        ISODcmDataCenter* centre = CreateDcmDataCenter();
        Waiter waiter;
        centre->RegisterCallback(&waiter);
        centreTimes.push_back(Seconds([&] {
          centre->LoadFilesAsync(paths);
          while (waiter.finished == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }));
        centre->UnRegisterCallback(&waiter);
        ReleaseDcmDataCenter(centre);
      }
    }
  }
  const double control = Median(controlTimes), centre = Median(centreTimes);
  std::printf("load into the control   %8.0f files/s\n", count / control);
  std::printf("data centre alone       %8.0f files/s\n", count / centre);
  std::printf("ratio (control / data centre) %.2f   goal >= 0.90\n", centre / control);
  std::printf("  the control's loader finished %.2f ms before the host heard of it (median)\n",
              1000 * Median(tailTimes));

  for (auto [rows, cols] : {std::pair{1, 1}, std::pair{2, 2}}) {
    auto* control = static_cast<SOMainWindow*>(CreateLumexa());
    control->Create(frame.GetWindow(), 0, 0, 1024, 1024, true);
    SOWin::PumpEvents(20);
    Waiter waiter;
    control->RegisterCallback(&waiter);
    control->SetSeriesLayout(1, 1);
    control->LoadFiles(&paths);
    SOWin::PumpUntil([&] { return waiter.finished > 0; }, 600000);
    control->GetSeriesWindow(0)->SetImageLayout(rows, cols);
    control->GetSeriesWindow(0)->ScrollToFirst();
    HWND cell = control->GetSeriesWnd(0)->GetImageWnd(0)->GetHWND();
    QWidget plainTop;
    plainTop.setGeometry(0, 0, 1024, 1024);
    PlainPager plain(series.files, rows, cols);
    plain.setParent(&plainTop);
    const RECT area = control->GetSeriesWindow(0)->GetImageWindow(0)->GetWindowRect();  // the peer's cells as large as ours
    plain.setGeometry(0, 0, (area.right - area.left) * cols, (area.bottom - area.top) * rows);
    plainTop.show();
    plain.SetQuick(true);
    SOWin::PumpEvents(20);
    const long rssLoaded = RssMb();
    std::vector<double> ms, cpu, peerMs, peerCpu, faults, peerFaults;
    // Forward through the series and back again at its end; the peer shows the same page next.
    const int pages = (count + rows * cols - 1) / (rows * cols);
    int page = 0, direction = 1;
    for (int i = 0; i < steps && pages > 1; ++i) {
      if (page + direction < 0 || page + direction >= pages) direction = -direction;
      page += direction;
      double c0 = ProcessCpuSeconds();
      const long f0 = FreshPages();
      ms.push_back(1000 * Seconds([&] {
        SendMessageW(cell, WM_MOUSEWHEEL, MAKEWPARAM(0, direction > 0 ? -120 : 120), 0);
      }));
      double c1 = ProcessCpuSeconds();
      const long f1 = FreshPages();
      cpu.push_back(1000 * (c1 - c0));
      faults.push_back(static_cast<double>(f1 - f0));
      peerMs.push_back(1000 * Seconds([&] { plain.ShowPage(page); }));
      peerCpu.push_back(1000 * (ProcessCpuSeconds() - c1));
      peerFaults.push_back(static_cast<double>(FreshPages() - f1));
    }
    // The steps page with quick scaling; once the wheel rests the cells repaint in full (the
    // series window's timer does this; called here to time it).
    const double restMs = 1000 * Seconds([] { LumexaEndViewDrag(); });
    plain.SetQuick(false);
    const double peerRestMs = 1000 * Seconds([&] { plain.repaint(); });
    for (auto* v : {&ms, &cpu, &peerMs, &peerCpu, &faults, &peerFaults})
      if (v->empty()) v->push_back(0);
    std::printf("%dx%d wheel to painted: p50 %.2f ms  p95 %.2f ms  max %.2f ms   budget p95 < %d ms\n", rows, cols,
                Percentile(ms, 0.5), Percentile(ms, 0.95), Percentile(ms, 1.0), rows == 1 ? 8 : 16);
    std::printf("  DCMTK DicomImage on parsed files + plain Qt widget: p50 %.2f ms  p95 %.2f ms  max %.2f ms\n",
                Percentile(peerMs, 0.5), Percentile(peerMs, 0.95), Percentile(peerMs, 1.0));
    std::printf("  the smooth repaint once the wheel rests: ours %.2f ms, peer %.2f ms\n", restMs, peerRestMs);
    std::printf("  processor time per step: ours p50 %.2f / p95 %.2f ms, peer p50 %.2f / p95 %.2f ms\n",
                Percentile(cpu, 0.5), Percentile(cpu, 0.95), Percentile(peerCpu, 0.5), Percentile(peerCpu, 0.95));
    std::printf("  fair ratio (ours / peer, same parsing and scaling): wall p50 %.2f  p95 %.2f   processor p50 %.2f  "
                "p95 %.2f   load %.1f\n",
                Percentile(ms, 0.5) / Percentile(peerMs, 0.5), Percentile(ms, 0.95) / Percentile(peerMs, 0.95),
                Percentile(cpu, 0.5) / Percentile(peerCpu, 0.5), Percentile(cpu, 0.95) / Percentile(peerCpu, 0.95),
                LoadAverage());
    std::printf("  fresh 4 KB pages touched per step: ours p50 %.0f / p95 %.0f, peer p50 %.0f / p95 %.0f\n",
                Percentile(faults, 0.5), Percentile(faults, 0.95), Percentile(peerFaults, 0.5),
                Percentile(peerFaults, 0.95));
    std::printf("  resident memory: %ld MB loaded, %ld MB after paging\n", rssLoaded, RssMb());

    // The parts of one cell's paint, measured on images not drawn before.
    SOSeriesWindow* s = control->GetSeriesWindow(0);
    const RECT cellRect = s->GetImageWindow(0)->GetWindowRect();
    const int w = cellRect.right - cellRect.left - 2, h = cellRect.bottom - cellRect.top - 2;
    RenderSurface surface(std::max(1, w), std::max(1, h));
    std::vector<double> draw, texts, overlay;
    SOPluginOverlay overlayTool;
    overlayTool.SetHost(s->GetImageWindow(0));
    for (int i = 0; i < std::min(count, 50); ++i) {
      SOImageObject fresh;
      fresh.SetDcmObject(s->GetImageObject((i * 37) % count)->GetDcmObject(), 0);
      draw.push_back(1000 * Seconds([&] { fresh.DrawImage(surface.dc(), surface.rect(), false); }));
      texts.push_back(1000 * Seconds([&] {
        for (int corner = 0; corner < 4; ++corner) SOPluginInfo::FormatCornerText(corner, &fresh, i, false);
      }));
      overlay.push_back(1000 * Seconds([&] { overlayTool.Draw(surface.dc(), surface.rect()); }));
    }
    std::printf("  per cell: windowing + resampling %.2f ms, corner texts from the dataset %.3f ms, overlays %.3f ms "
                "(medians)\n",
                Median(draw), Median(texts), Median(overlay));
    ReleaseLumexa(control);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
