// The 4D pieces of the 3D/MPR control: phase volumes in mapped files, the newest-only worker
// and the two builders that fill the cine's planes and frames on it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "DicomFixtures.h"
#include "Engine3D.h"
#include "EngineMPR.h"
#include "IImageData.h"
#include "ISODcmDataCenter.h"
#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "MPRBuilder4D.h"
#include "SeriesVolumeFile.h"
#include "TaskThread.h"
#include "TestSupport.h"
#include "VolumeTestUtil.h"
#include "VRBuilder4D.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using volume_test::DataCenter;
using volume_test::SmallCt;

TEST(SeriesVolumeFile, HoldsTheSlicesInAMappedFileDeletedWithIt) {
  DataCenter data;
  const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("vol"), SmallCt(3));
  ISODcmSeries* series = data.Load(written.files[0].parent_path(), written.seriesUid);
  ASSERT_NE(series, nullptr);
  std::string path;
  {
    SeriesVolumeFile volume(series);
    ASSERT_TRUE(volume.HasSlices()) << volume.GetError();
    path = volume.GetPath();
    EXPECT_EQ(fs::path(path), fs::path(SeriesVolumeFile::Folder()) / (written.seriesUid + ".data"));
    EXPECT_EQ(fs::file_size(path), 3u * 16 * 12 * 2);
    const V3VolumeData& v = volume.GetVolume();
    EXPECT_EQ(v.dims[0], 12);
    EXPECT_EQ(v.dims[1], 16);
    EXPECT_EQ(v.dims[2], 3);
    EXPECT_FLOAT_EQ(v.spacing[0], 0.8f);
    EXPECT_FLOAT_EQ(v.spacing[1], 0.5f);
    EXPECT_FLOAT_EQ(v.spacing[2], 1.25f);
    EXPECT_FLOAT_EQ(v.orientation[8], 1.0f);
    // Slice k of the file is object k's frame in modality values (the fixture's intercept is -1024).
    std::vector<int16_t> bytes(3 * 16 * 12);
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), bytes.size() * 2);
    for (int k = 0; k < 3; ++k) {
      std::vector<short> expected(16 * 12);
      ASSERT_TRUE(series->GetObjectAt(k)->GetImageData()->CopyFramePixelData(expected.data(), 16 * 12, 0));
      for (short& value : expected) value = static_cast<short>(value - 1024);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + k * 16 * 12)) << "slice " << k;
      EXPECT_EQ(v.slices[k][5], expected[5]);
    }

    // A second volume of the same series is refused and leaves the live one whole.
    SeriesVolumeFile again(series);
    EXPECT_FALSE(again.HasSlices());
    EXPECT_TRUE(again.GetPath().empty());
    EXPECT_EQ(fs::file_size(path), 3u * 16 * 12 * 2);
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(SeriesVolumeFile, RefusesWhatCannotBeAVolume) {
  struct Case {
    const char* name;
    int slices;
    double sliceSpacing;
    bool mixedSizes;
    std::string uid;
  } cases[] = {
      {"single image", 1, 1.25, false, ""},
      {"zero slice spacing", 3, 0.0, false, ""},
      {"rows differ between images", 3, 1.25, true, ""},
      // A name that would make a file next to the volume folder, refused for being no UID.
      {"uid that is no file name", 3, 1.25, false, "../1.2.840.99"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DataCenter data;
    fx::CtSeriesOptions o = SmallCt(c.slices);
    o.sliceSpacing = c.sliceSpacing;
    o.seriesUid = c.uid.empty() ? fx::NewUid() : c.uid;
    const fs::path folder = orvanta::test::MakeTempDir("bad");
    fx::WriteCtSeries(folder / "a", o);
    if (c.mixedSizes) {
      fx::CtSeriesOptions larger = o;
      larger.rows = 20;
      larger.slices = 1;
      larger.studyUid = data.Load(folder / "a", o.seriesUid)->GetStudy()->GetStudyInstanceUID();
      fx::WriteCtSeries(folder / "b", larger);
    }
    ISODcmSeries* series = data.Load(folder, o.seriesUid);
    ASSERT_NE(series, nullptr);
    SeriesVolumeFile volume(series);
    EXPECT_FALSE(volume.HasSlices());
    EXPECT_TRUE(volume.GetPath().empty());
    EXPECT_EQ(c.slices < 2, volume.GetError().find("two images") != std::string::npos) << volume.GetError();
    EXPECT_EQ(!c.uid.empty(), volume.GetError().find("not a valid UID") != std::string::npos) << volume.GetError();
    EXPECT_FALSE(volume.GetError().empty());
  }
}

TEST(SeriesVolumeFile, StaleFilesOfACrashedRunGoButLiveOnesStay) {
  DataCenter data;
  const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("live"), SmallCt(2));
  SeriesVolumeFile live(data.Load(written.files[0].parent_path(), written.seriesUid));
  ASSERT_TRUE(live.HasSlices());
  const fs::path stale = fs::path(SeriesVolumeFile::Folder()) / "1.2.3.4.data";
  std::ofstream(stale) << "left by a crash";
  EXPECT_EQ(SeriesVolumeFile::RemoveStale(), 1);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live.GetPath()));
}

template <typename Pred>
bool WaitFor(Pred pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Records the ids it runs; the first task can be held to keep the worker busy.
class Recording : public task_thread<unsigned long> {
 public:
  Recording() : task_thread(true) {}
  ~Recording() override { Stop(); }
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
    started_ = false;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  void WaitStarted() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_; });
  }
  std::vector<unsigned long> Ran() {
    std::lock_guard lock(mutex_);
    return ran_;
  }

 protected:
  void Run(unsigned long id) override {
    std::unique_lock lock(mutex_);
    started_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !held_; });
    ran_.push_back(id);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false, started_ = false;
  std::vector<unsigned long> ran_;
};

TEST(TaskThread, OnlyTheNewestQueuedTaskRunsAndCancelWaitsForTheRunningOne) {
  Recording worker;
  worker.Hold();
  worker.Post(1);
  worker.WaitStarted();
  for (unsigned long id : {5ul, 6ul, 7ul}) worker.Post(id);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    worker.Release();
  });
  // Dropping the queue happens at once; returning waits for task 1.
  worker.Post(8);
  worker.Cancel();
  EXPECT_EQ(worker.Ran(), (std::vector<unsigned long>{1}));
  releaser.join();

  worker.Hold();
  worker.Post(2);
  worker.WaitStarted();
  for (unsigned long id : {5ul, 6ul, 7ul}) worker.Post(id);
  worker.Release();
  ASSERT_TRUE(WaitFor([&] { return worker.Ran().size() >= 3; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(worker.Ran(), (std::vector<unsigned long>{1, 2, 7}));
}

// Three phases of a 16 x 12 x 6 series, each with its own brightness.
struct Phases {
  DataCenter data;
  std::vector<std::unique_ptr<SeriesVolumeFile>> files;
  std::vector<V3VolumeData> volumes;
  explicit Phases(int count) {
    const fs::path folder = orvanta::test::MakeTempDir("phases");
    std::string study;
    for (int p = 0; p < count; ++p) {
      fx::CtSeriesOptions o = SmallCt(6);
      o.intercept = -1024 + 100 * p;
      o.studyUid = study;
      const auto written = fx::WriteCtSeries(folder / std::to_string(p), o);
      study = written.studyUid;
      files.push_back(std::make_unique<SeriesVolumeFile>(data.Load(folder / std::to_string(p), written.seriesUid)));
      EXPECT_TRUE(files.back()->HasSlices()) << files.back()->GetError();
      volumes.push_back(files.back()->GetVolume());
    }
  }
};

TEST(MPRBuilder4D, SamplesThreePlanesOfEveryPhaseForTheCurrentIdOnly) {
  Phases phases(3);
  EngineMPR engine;
  std::mutex engineLock;
  ASSERT_TRUE(engine.InitData(phases.volumes[0]));
  MPRBuilder4D builder(&engine, &engineLock);
  builder.SetPhases(phases.volumes);

  V3ImageData plane;
  builder.SetCurrentId(2);
  builder.Post(1);  // stale before it starts: builds nothing
  builder.Cancel();
  EXPECT_FALSE(builder.GetImage(0, 0, &plane));

  builder.Post(2);
  ASSERT_TRUE(WaitFor([&] { return builder.GetImage(2, 2, &plane); }));
  for (int type = 0; type < 3; ++type)
    for (int phase = 0; phase < 3; ++phase) {
      ASSERT_TRUE(builder.GetImage(phase, type, &plane)) << type << "/" << phase;
      EXPECT_GT(plane.rows * plane.columns, 0) << type << "/" << phase;
      EXPECT_NE(plane.data.data, nullptr);
    }
  EXPECT_FALSE(builder.GetImage(3, 0, &plane));
  EXPECT_FALSE(builder.GetImage(0, 3, &plane));

  // A task that goes stale while it samples (the cross moved on) keeps none of its planes.
  {
    std::promise<void> held, release;
    std::thread ui([&] {
      std::lock_guard uiCall(engineLock);
      held.set_value();
      release.get_future().wait();
    });
    held.get_future().wait();
    builder.SetCurrentId(3);
    builder.Post(3);
    // The task has started once the last planes are gone; it now waits for the engine.
    EXPECT_TRUE(WaitFor([&] { return !builder.GetImage(0, 0, &plane); }));
    builder.SetCurrentId(4);
    release.set_value();
    ui.join();
  }
  builder.Cancel();
  EXPECT_FALSE(builder.GetImage(0, 0, &plane));
  builder.Clear();
  EXPECT_FALSE(builder.GetImage(0, 0, &plane));
}

class FinishCounter : public IVRBuilder4DCallback {
 public:
  void OnPhaseProgress(int total, int done) override {
    EXPECT_EQ(total, 3);
    EXPECT_GE(done, 1);
  }
  void OnPhasesFinished() override { ++finished; }
  std::atomic<int> finished{0};
};

TEST(VRBuilder4D, RendersEveryPhaseAndShowsNoFramesUntilTheSetIsComplete) {
  Phases phases(3);
  Engine3D engine;
  std::mutex engineLock;
  ASSERT_TRUE(engine.InitData(phases.volumes[0]));
  FinishCounter callback;
  VRBuilder4D builder(&engine, &engineLock, &callback);
  builder.SetPhases(phases.volumes);
  V3PixelsRGB pixels;
  V3ImageRGB record{};
  {
    // While the UI holds the engine the worker cannot render, so nothing is visible yet. The
    // engine is held by a thread of its own: the UI never submits while holding it, since
    // Submit waits for the running task, which may be waiting for the engine.
    std::promise<void> held, done;
    std::thread ui([&] {
      std::lock_guard uiCall(engineLock);
      held.set_value();
      done.get_future().wait();
    });
    held.get_future().wait();
    builder.Submit(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(builder.GetFrame(0, &pixels, &record));
    done.set_value();
    ui.join();
  }
  ASSERT_TRUE(WaitFor([&] { return callback.finished == 1; }));
  ASSERT_EQ(builder.GetFrameCount(), 3);
  ASSERT_TRUE(builder.GetFrame(2, &pixels, &record));
  EXPECT_EQ(pixels.rows, VRBuilder4D::kFrameSize);
  EXPECT_EQ(record.pixels, pixels.data.data);
  EXPECT_FALSE(builder.GetFrame(3, &pixels, nullptr));

  builder.Submit(2);
  ASSERT_TRUE(WaitFor([&] { return callback.finished == 2; }));
  EXPECT_EQ(builder.GetFrameCount(), 3);
}

}  // namespace
