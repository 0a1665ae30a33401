// Loading a CT series through the viewer's data centre (loader thread, studies, series, objects)
// to its finish event, against a plain loop of DCMTK loadFile over the same files in the same run.
// The model should add almost nothing, and pixel data should stay on disk until frames are drawn.
// Usage: bench_load_series [files=200] [size=512]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "DicomFixtures.h"
#include "ISODcmDataCenter.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

class FinishWaiter : public ISODcmDataCenterCallback {
 public:
  void OnFileLoadedEvent(const SODcmLoadEvent*) override {}
  void OnLoadFinishedEvent(const SODcmLoadEvent* event) override {
    std::lock_guard lock(mutex_);
    objects_ = event->objects.GetLength();
    done_ = true;
    changed_.notify_all();
  }
  void OnClearedEvent() override {}
  int Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_; });
    return objects_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  int objects_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const int size = argc > 2 ? std::atoi(argv[2]) : 512;
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = options.columns = size;
  fx::WrittenSeries series = fx::WriteCtSeries(orvanta::test::MakeTempDir("series"), options);
  std::printf("%d files of %dx%d 16-bit\n", count, size, size);

  // One untimed pass so both runs read from the page cache.
  for (const auto& file : series.files) DcmFileFormat().loadFile(file.c_str());

  SOArray<SOString> paths;
  for (const auto& file : series.files) paths.Add(SOString(file.string()));
  const long rssBefore = PeakRssMb();
  long rssAfter = 0;
  int objects = 0;
  // The machine is shared: alternate the two runs a few times and compare medians.
  constexpr int kRounds = 5;
  std::vector<double> plainTimes, ourTimes;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (const auto& file : series.files) {
      DcmFileFormat format;
      format.loadFile(file.c_str());
    }
    plainTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    ISODcmDataCenter* dataCenter = CreateDcmDataCenter();
    FinishWaiter waiter;
    dataCenter->RegisterCallback(&waiter);
    start = std::chrono::steady_clock::now();
    dataCenter->LoadFilesAsync(paths);
    objects = waiter.Wait();
    ourTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (round == 0) rssAfter = PeakRssMb();
    ReleaseDcmDataCenter(dataCenter);
  }
  const double plain = Median(plainTimes);
  const double ours = Median(ourTimes);

  std::printf("data centre to finish event   %8.0f files/s   (%d objects, median of %d)\n", count / ours,
              objects, kRounds);
  std::printf("DCMTK loadFile plain loop     %8.0f files/s\n", count / plain);
  std::printf("ratio (ours / plain loop) %.2f   goal >= 0.90\n", plain / ours);
  std::printf("peak RSS %ld MB before loading, %ld MB after the first load (all pixel data would be %ld MB)\n",
              rssBefore, rssAfter, static_cast<long>(count) * size * size * 2 / (1024 * 1024));
  orvanta::test::ShutdownScratch();
  return 0;
}
