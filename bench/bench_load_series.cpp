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
#include <memory>
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

// Resident memory now (peak RSS only grows, so it cannot tell the two sides apart).
long ResidentMb() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

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
  long plainHeldMb = 0, ourHeldMb = 0;
  int objects = 0;

  // The plain loop keeps what it parsed, as the data centre does; both release outside the timing.
  auto runPlain = [&](bool first) {
    const long base = ResidentMb();
    std::vector<std::unique_ptr<DcmFileFormat>> kept;
    kept.reserve(series.files.size());
    const double seconds = Seconds([&] {
      for (const auto& file : series.files) {
        kept.push_back(std::make_unique<DcmFileFormat>());
        kept.back()->loadFile(file.c_str());
      }
    });
    if (first) plainHeldMb = ResidentMb() - base;
    return seconds;
  };
  auto runOurs = [&](bool first) {
    const long base = ResidentMb();
    ISODcmDataCenter* dataCenter = CreateDcmDataCenter();
    FinishWaiter waiter;
    dataCenter->RegisterCallback(&waiter);
    const double seconds = Seconds([&] {
      dataCenter->LoadFilesAsync(paths);
      objects = waiter.Wait();
    });
    if (first) ourHeldMb = ResidentMb() - base;
    ReleaseDcmDataCenter(dataCenter);
    return seconds;
  };

  // The machine is shared: alternate which side goes first, and compare medians.
  constexpr int kRounds = 6;
  std::vector<double> plainTimes, ourTimes;
  for (int round = 0; round < kRounds; ++round) {
    if (round % 2 == 0) {
      plainTimes.push_back(runPlain(round == 0));
      ourTimes.push_back(runOurs(round == 0));
    } else {
      ourTimes.push_back(runOurs(false));
      plainTimes.push_back(runPlain(false));
    }
  }
  const double plain = Median(plainTimes);
  const double ours = Median(ourTimes);

  std::printf("data centre to finish event   %8.0f files/s   (%d objects, median of %d)\n", count / ours,
              objects, kRounds);
  std::printf("DCMTK loadFile plain loop     %8.0f files/s\n", count / plain);
  std::printf("ratio (ours / plain loop) %.2f   goal >= 0.90\n", plain / ours);
  std::printf("resident while the loaded files are held: data centre %ld MB, plain loop %ld MB\n", ourHeldMb,
              plainHeldMb);
  std::printf("peak RSS %ld MB before loading, %ld MB at the end (all pixel data would be %ld MB)\n", rssBefore,
              PeakRssMb(), static_cast<long>(count) * size * size * 2 / (1024 * 1024));
  orvanta::test::ShutdownScratch();
  return 0;
}
