#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "DicomFixtures.h"
#include "ISODcmDataCenter.h"
#include "TestSupport.h"
#include "ViewerTestUtil.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

struct Event {
  bool finish;
  int id, total, done;
  std::string path;
  uint64_t stamp;
  std::vector<ISODcmObject*> objects;
  std::thread::id thread;
};

// Records every event; can hold the loader thread after a given per-file event.
class Recorder : public ISODcmDataCenterCallback {
 public:
  void OnFileLoadedEvent(const SODcmLoadEvent* e) override { Record(false, e); }
  void OnLoadFinishedEvent(const SODcmLoadEvent* e) override { Record(true, e); }
  void OnClearedEvent() override {
    std::lock_guard lock(mutex_);
    clearedOn.push_back(std::this_thread::get_id());
  }

  // Blocks until `count` finish events arrived.
  std::vector<Event> WaitFinished(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(30), [&] { return finished_ >= count; });
    return events;
  }
  void HoldAfter(int fileEvents) { holdAfter_ = fileEvents; }
  void WaitHeld() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(30), [&] { return held_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  std::vector<Event> events;
  std::vector<std::thread::id> clearedOn;

 private:
  void Record(bool finish, const SODcmLoadEvent* e) {
    std::unique_lock lock(mutex_);
    Event copy{
        finish, e->id, e->total, e->done, e->path ? e->path : "", e->stamp, {}, std::this_thread::get_id()};
    for (int i = 0; i < e->objects.GetLength(); ++i) copy.objects.push_back(e->objects[i]);
    events.push_back(copy);
    if (finish) ++finished_;
    if (!finish && ++fileEvents_ == holdAfter_) {
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return released_; });
    }
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int finished_ = 0;
  int fileEvents_ = 0;
  int holdAfter_ = -1;
  bool held_ = false;
  bool released_ = false;
};

SOArray<SOString> Paths(const std::vector<fs::path>& files) {
  SOArray<SOString> paths;
  for (const auto& f : files) paths.Add(SOString(f.string()));
  return paths;
}

std::vector<Event> FileEvents(const std::vector<Event>& events) {
  std::vector<Event> out;
  for (const auto& e : events)
    if (!e.finish) out.push_back(e);
  return out;
}

struct DataCenter {
  ISODcmDataCenter* dc = CreateDcmDataCenter();
  ~DataCenter() { ReleaseDcmDataCenter(dc); }
  ISODcmDataCenter* operator->() { return dc; }
};

}  // namespace

TEST(DataCenter, LoadsFilesOnLoaderThreadWithPerFileAndFinishEvents) {
  fs::path dir = orvanta::test::MakeTempDir("dc");
  fx::CtSeriesOptions options;
  options.slices = 10;
  options.rows = options.columns = 32;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);
  std::vector<fs::path> files = series.files;
  files.insert(files.begin() + 4, dir / "missing.dcm");  // a failing file in the middle

  Recorder recorder;
  DataCenter dc;
  dc->RegisterCallback(&recorder);
  dc->RegisterCallback(&recorder);
  int id = dc->LoadFilesAsync(Paths(files));
  ASSERT_EQ(id, 1);
  std::vector<Event> events = recorder.WaitFinished(1);
  EXPECT_EQ(events.front().stamp, 1u);

  ASSERT_EQ(events.size(), 12u);
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(events[i].finish);
    EXPECT_EQ(events[i].done, i + 1);
    EXPECT_EQ(events[i].total, 11);
    EXPECT_EQ(events[i].path, files[i].string());
    EXPECT_EQ(events[i].objects.size(), i == 4 ? 0u : 1u);
    EXPECT_NE(events[i].thread, std::this_thread::get_id());
  }
  const Event& finish = events.back();
  EXPECT_TRUE(finish.finish);
  EXPECT_EQ(finish.done, 0);
  EXPECT_EQ(finish.total, 11);
  EXPECT_TRUE(finish.path.empty());
  ASSERT_EQ(finish.objects.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(finish.objects[i]->GetSopInstanceUID(), series.sopUids[i]);

  ASSERT_EQ(dc->GetStudyCount(), 1);
  ISODcmSeries* loaded = dc->FindSeries(series.seriesUid.c_str());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetStudy(), dc->GetStudyAt(0));
  ASSERT_EQ(loaded->GetObjectCount(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(loaded->GetObjectAt(i)->GetInstanceNumber(), i + 1);
  EXPECT_EQ(dc->FindObject(series.sopUids[3].c_str())->GetSeries(), loaded);
  EXPECT_EQ(dc->FindStudy(series.studyUid.c_str()), dc->GetStudyAt(0));
}

TEST(DataCenter, EmptyFolderGivesOneFinishEventAndNullArgumentsPostNothing) {
  Recorder recorder;
  DataCenter dc;
  dc->RegisterCallback(&recorder);
  EXPECT_EQ(dc->LoadFileAsync(nullptr), 0);
  EXPECT_EQ(dc->LoadFolderAsync(nullptr), 0);
  EXPECT_EQ(dc->LoadFilesAsync({}), 0);
  EXPECT_EQ(dc->LoadFolderAsync("/no/such/folder"), 0);
  EXPECT_GT(dc->LoadFolderAsync(orvanta::test::MakeTempDir("empty").c_str()), 0);
  std::vector<Event> events = recorder.WaitFinished(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].finish);
  EXPECT_EQ(events[0].total, 0);
}

TEST(DataCenter, DuplicateSopInstanceIsKeptOnceAndReportedAgain) {
  fs::path dir = orvanta::test::MakeTempDir("dup");
  fx::CtSeriesOptions options;
  options.slices = 2;
  options.rows = options.columns = 16;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);
  fs::path copy = dir / "copy.dcm";
  fs::copy_file(series.files[0], copy);

  DataCenter dc;
  SOArray<ISODcmObject*> first, second;
  ASSERT_TRUE(dc->LoadFile(series.files[0].c_str(), first));
  ASSERT_TRUE(dc->LoadFile(copy.c_str(), second));
  ASSERT_EQ(first.GetLength(), 1);
  ASSERT_EQ(second.GetLength(), 1);
  EXPECT_EQ(first[0], second[0]);
  EXPECT_EQ(dc->FindSeries(series.seriesUid.c_str())->GetObjectCount(), 1);
  EXPECT_STREQ(first[0]->GetFilePath(), series.files[0].c_str());
}

TEST(DataCenter, InstanceNumberOrderAndFailures) {
  fs::path dir = orvanta::test::MakeTempDir("order");
  fx::CtSeriesOptions options;
  options.slices = 5;
  options.rows = options.columns = 16;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);
  // Numbers 3, 1, 2, then two 5s: A before B gives B, A (the newer of equal numbers first).
  const int numbers[5] = {3, 1, 2, 5, 5};
  for (int i = 0; i < 5; ++i) viewer_test::Renumber(series.files[i], fx::NewUid(), numbers[i]);

  DataCenter dc;
  std::vector<ISODcmObject*> loaded;
  for (const auto& file : series.files) {
    SOArray<ISODcmObject*> objects;
    ASSERT_TRUE(dc->LoadFile(file.c_str(), objects));
    loaded.push_back(objects[0]);
  }
  ISODcmSeries* s = dc->FindSeries(series.seriesUid.c_str());
  ASSERT_EQ(s->GetObjectCount(), 5);
  EXPECT_EQ(s->GetObjectAt(0), loaded[1]);
  EXPECT_EQ(s->GetObjectAt(1), loaded[2]);
  EXPECT_EQ(s->GetObjectAt(2), loaded[0]);
  EXPECT_EQ(s->GetObjectAt(3), loaded[4]);
  EXPECT_EQ(s->GetObjectAt(4), loaded[3]);
  EXPECT_EQ(s->GetObjectAt(5), nullptr);
  EXPECT_EQ(s->GetObjectAt(-1), nullptr);

  SOArray<ISODcmObject*> objects;
  EXPECT_FALSE(dc->LoadFile(nullptr, objects));
  EXPECT_FALSE(dc->LoadFile((dir / "nothing").c_str(), objects));
  EXPECT_FALSE(dc->LoadFile(fx::WriteHostileFile(dir, fx::Hostile::MissingUids).c_str(), objects));
  EXPECT_EQ(objects.GetLength(), 0);
  // Lookups are exact: a prefix or another case finds nothing.
  std::string prefix = series.seriesUid.substr(0, series.seriesUid.size() - 1);
  EXPECT_EQ(dc->FindSeries(prefix.c_str()), nullptr);
  EXPECT_EQ(dc->FindSeries(nullptr), nullptr);

  // Removing another study's series deletes nothing.
  ISODcmStudy* study = dc->GetStudyAt(0);
  EXPECT_FALSE(study->RemoveSeries(nullptr));
  fs::path other = orvanta::test::MakeTempDir("other");
  fx::CtSeriesOptions single;
  single.slices = 1;
  single.rows = single.columns = 8;
  fx::WrittenSeries otherSeries = fx::WriteCtSeries(other, single);
  ASSERT_TRUE(dc->LoadFile(otherSeries.files[0].c_str(), objects));
  ISODcmSeries* foreign = dc->FindSeries(otherSeries.seriesUid.c_str());
  EXPECT_TRUE(study->RemoveSeries(foreign));
  EXPECT_EQ(dc->FindSeries(otherSeries.seriesUid.c_str()), foreign);
  EXPECT_TRUE(study->RemoveSeries(s));
  EXPECT_EQ(study->GetSeriesCount(), 0);
}

TEST(DataCenter, ClearDuringLoadStopsFurtherFileEvents) {
  fs::path dir = orvanta::test::MakeTempDir("clear");
  fx::CtSeriesOptions options;
  options.slices = 10;
  options.rows = options.columns = 16;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);

  Recorder recorder;
  recorder.HoldAfter(3);
  DataCenter dc;
  dc->RegisterCallback(&recorder);
  int first = dc->LoadFilesAsync(Paths(series.files));
  int queued = dc->LoadFilesAsync(Paths(series.files));
  recorder.WaitHeld();
  dc->Clear();
  recorder.Release();
  std::vector<Event> events = recorder.WaitFinished(2);

  EXPECT_EQ(FileEvents(events).size(), 3u);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_TRUE(events[3].finish);
  EXPECT_EQ(events[3].id, first);
  EXPECT_TRUE(events[3].objects.empty());
  EXPECT_TRUE(events[4].finish);
  EXPECT_EQ(events[4].id, queued);
  EXPECT_TRUE(events[4].objects.empty());
  ASSERT_EQ(recorder.clearedOn.size(), 1u);
  EXPECT_EQ(recorder.clearedOn[0], std::this_thread::get_id());
  EXPECT_EQ(dc->GetStudyCount(), 0);
}

TEST(DataCenter, StampsAndSynchronousFolderLoad) {
  fs::path dir = orvanta::test::MakeTempDir("folder");
  fx::CtSeriesOptions options;
  options.slices = 3;
  options.rows = options.columns = 8;
  fx::WriteCtSeries(dir, options);
  DataCenter dc;
  EXPECT_EQ(dc->NextStamp(), 1u);
  EXPECT_EQ(dc->NextStamp(), 2u);
  SOArray<ISODcmObject*> objects = dc->LoadFolder(dir.c_str());
  EXPECT_EQ(objects.GetLength(), 3);
  EXPECT_EQ(dc->LoadFolder(nullptr).GetLength(), 0);
}

TEST(DataCenter, DestroyingWithRequestsQueuedIsCleanAndSilent) {
  fs::path dir = orvanta::test::MakeTempDir("destroy");
  fx::CtSeriesOptions options;
  options.slices = 10;
  options.rows = options.columns = 16;
  fx::WrittenSeries series = fx::WriteCtSeries(dir, options);

  Recorder recorder;
  {
    ISODcmDataCenter* dc = CreateDcmDataCenter();
    dc->RegisterCallback(&recorder);
    for (int i = 0; i < 5; ++i) dc->LoadFilesAsync(Paths(series.files));
    ReleaseDcmDataCenter(dc);
  }
  size_t seen = recorder.events.size();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(recorder.events.size(), seen);
  EXPECT_LE(seen, 51u);
  ReleaseDcmDataCenter(nullptr);
}

namespace {

// Unregisters itself from inside its first call.
class SelfRemover : public ISODcmDataCenterCallback {
 public:
  explicit SelfRemover(ISODcmDataCenter* dc) : dc_(dc) {}
  void OnFileLoadedEvent(const SODcmLoadEvent*) override {
    ++calls;
    dc_->UnRegisterCallback(this);
  }
  void OnLoadFinishedEvent(const SODcmLoadEvent*) override { ++calls; }
  void OnClearedEvent() override {}
  std::atomic<int> calls{0};

 private:
  ISODcmDataCenter* dc_;
};

}  // namespace

// Once UnRegisterCallback returns, the callback is neither being called nor called again: it
// waits for a call in flight on the loader thread. A callback that unregisters itself inside
// its own call does not wait for itself.
TEST(DataCenter, UnRegisterWaitsForTheCallInFlight) {
  fx::CtSeriesOptions options;
  options.slices = 4;
  options.rows = options.columns = 8;
  const fx::WrittenSeries series = fx::WriteCtSeries(orvanta::test::MakeTempDir("unregister"), options);
  Recorder held, last;  // outlive the data centre, which reports its clear to `last`
  DataCenter dc;
  SelfRemover self(dc.dc);
  held.HoldAfter(1);
  dc->RegisterCallback(&self);
  dc->RegisterCallback(&held);
  dc->RegisterCallback(&last);
  dc->LoadFilesAsync(Paths(series.files));
  held.WaitHeld();
  std::atomic<bool> returned{false};
  std::thread unregistering([&] {
    dc->UnRegisterCallback(&held);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned);
  held.Release();
  unregistering.join();
  EXPECT_EQ(last.WaitFinished(1).size(), 5u);
  EXPECT_EQ(held.events.size(), 1u);
  EXPECT_EQ(self.calls, 1);
}
