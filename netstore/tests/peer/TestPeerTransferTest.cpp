#include <gtest/gtest.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <chrono>
#include <map>
#include <set>

#include "../Recorder.h"
#include "DicomFixtures.h"
#include "IKelvast.h"
#include "SODcmFile.h"
#include "TestPeer.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;
using halvextest::HalvexPtr;
using halvextest::Recorder;
namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

constexpr const char* kCTImageStorage = "1.2.840.10008.5.1.4.1.1.2";

fx::WrittenSeries Series(const fs::path& folder, int slices, const std::string& studyUid = "") {
  fx::CtSeriesOptions options;
  options.slices = slices;
  options.rows = options.columns = 16;
  options.studyUid = studyUid;
  return fx::WriteCtSeries(folder, options);
}

// The test peer on a free port with a network store listening to it.
class PeerTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orvanta::test::MakeTempDir("peer");
    port_ = orvanta::test::FreeLoopbackPort();
    peer_ = std::make_unique<netpeer::TestPeer>(dir_ / "peer");
    ASSERT_TRUE(peer_->Start(port_));
    halvex_.reset(NewHalvex());
    halvex_->AddCallback(&recorder_);
  }
  void TearDown() override {
    halvex_.reset();
    peer_->Stop();
  }

  template <typename Item>
  Item Connection(const std::string& key) {
    Item item;
    item.key = key;
    item.host = "127.0.0.1";
    item.port = port_;
    item.callingAE = "ORVANTA";
    item.calledAE = "TESTPEER";
    return item;
  }

  DCMUpload UploadOf(const fx::WrittenSeries& series, const std::string& key) {
    DCMUpload upload = Connection<DCMUpload>(key);
    for (size_t i = 0; i < series.files.size(); ++i)
      upload.files.push_back({kCTImageStorage, series.sopUids[i], series.files[i].string()});
    return upload;
  }

  // Runs one upload to its end; what it printed.
  std::string RunUpload(const DCMUpload& upload) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(halvex_->QueueUpload(upload));
    EXPECT_TRUE(recorder_.WaitFor("up-finished " + upload.key));
    return testing::internal::GetCapturedStdout();
  }
  std::string RunDownload(const DCMDownload& download) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(halvex_->QueueDownload(download));
    EXPECT_TRUE(recorder_.WaitFor("finished " + download.key));
    return testing::internal::GetCapturedStdout();
  }

  fs::path dir_;
  int port_ = 0;
  std::unique_ptr<netpeer::TestPeer> peer_;
  Recorder recorder_;
  HalvexPtr halvex_;
};

TEST_F(PeerTransfer, UploadSendsWhatTheNodeLacksAndCommitsIt) {
  struct Case {
    const char* name;
    int files;
    int held;
    bool skipFirst;
    int sent;
    int firstProgress;
  };
  const Case cases[] = {
      {"20 of 50 held", 50, 20, false, 30, 21},
      {"first commitment skipped", 50, 20, true, 50, 1},
      {"all held", 50, 50, false, 0, 0},
      // Long lists go as several commitment transactions whose answers are put together.
      {"130 of 250 held", 250, 130, false, 120, 131},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto series = Series(dir_ / ("up" + std::to_string(run)), c.files);
    for (int i = 0; i < c.held; ++i) peer_->Hold(series.files[i]);
    int storesBefore = peer_->GetCounters().stores;
    DCMUpload upload = UploadOf(series, "u" + std::to_string(run++));
    upload.skipFirstCommit = c.skipFirst;

    EXPECT_EQ(RunUpload(upload), "");
    EXPECT_EQ(peer_->GetCounters().stores - storesBefore, c.sent);
    auto progress = recorder_.Find("up-progress " + upload.key);
    ASSERT_EQ(progress.size(), static_cast<size_t>(c.sent));
    if (c.sent > 0) {
      EXPECT_EQ(progress.front().progress.done, c.firstProgress);
      EXPECT_EQ(progress.back().progress.done, c.files);
      EXPECT_EQ(progress.back().progress.total, c.files);
    }
    auto finish = recorder_.Find("up-finished " + upload.key).at(0).finish;
    EXPECT_EQ(finish.success, 1);
    EXPECT_EQ(finish.done, c.files);
    EXPECT_EQ(finish.total, c.files);
  }
  EXPECT_FALSE(halvex_->IsUploading("u0"));
}

TEST_F(PeerTransfer, UploadFailuresAreReportedWithTheirTexts) {
  struct Case {
    const char* name;
    netpeer::Switches switches;
    std::string printed;
    int files;
  };
  const Case cases[] = {
      {"node loses one instance", {true, false, 0}, "Some File Upload Failed!", 10},
      {"node loses one instance of a list sent as several transactions", {true, false, 0},
       "Some File Upload Failed!", 250},
      {"node refuses commitment", {false, true, 0}, "First Commit Failed!Second Commit Failed!", 10},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    peer_->SetSwitches(c.switches);
    auto series = Series(dir_ / ("fail" + std::to_string(run)), c.files);
    DCMUpload upload = UploadOf(series, "f" + std::to_string(run++));
    EXPECT_EQ(RunUpload(upload), c.printed);
    auto finish = recorder_.Find("up-finished " + upload.key).at(0).finish;
    EXPECT_EQ(finish.success, 0);
    EXPECT_EQ(finish.done, c.files);
    EXPECT_EQ(finish.total, c.files);
  }
}

TEST_F(PeerTransfer, CancellingTheRunningUploadSendsNothingMore) {
  peer_->SetSwitches({false, false, 1000});
  auto series = Series(dir_ / "cancel", 10);
  DCMUpload upload = UploadOf(series, "c");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(halvex_->QueueUpload(upload));
  ASSERT_TRUE(recorder_.WaitFor("up-started c"));
  EXPECT_TRUE(halvex_->CancelUpload("c"));
  ASSERT_TRUE(recorder_.WaitFor("up-finished c"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Store Error!");
  EXPECT_EQ(recorder_.Find("up-finished c").at(0).finish.success, 0);
  EXPECT_TRUE(recorder_.Find("up-cancelled c").empty());  // it was running, not queued
  EXPECT_EQ(peer_->GetCounters().stores, 0);
}

TEST_F(PeerTransfer, SendNowIsTrueOnlyWhenEveryFileWasSent) {
  auto series = Series(dir_ / "now", 3);
  DCMUpload upload = UploadOf(series, "now");
  EXPECT_TRUE(halvex_->SendNow(upload));
  EXPECT_EQ(peer_->GetCounters().stores, 3);
  upload.files.push_back({kCTImageStorage, fx::NewUid(), (dir_ / "missing.dcm").string()});
  EXPECT_FALSE(halvex_->SendNow(upload));
  EXPECT_EQ(peer_->GetCounters().stores, 6);
  EXPECT_TRUE(recorder_.Texts().empty());
}

// Stores what a download receives, as the consultation orders do.
class StoringRecorder : public Recorder {
 public:
  explicit StoringRecorder(IKelvast* store) : store_(store) {}

 protected:
  void OnFile(SODcmFile* file) override { store_->QueueFile(file); }
  void OnFinish() override { store_->CommitQueue(); }

 private:
  IKelvast* store_;
};

TEST_F(PeerTransfer, DownloadFetchesOnlyTheMissingInstancesIntoTheStore) {
  auto series = Series(dir_ / "study", 120);
  for (const fs::path& file : series.files) peer_->Hold(file);
  IKelvast* store = BuildDB((dir_ / "store").string().c_str());
  ASSERT_NE(store, nullptr);
  StoringRecorder storing(store);
  halvex_->AddCallback(&storing);

  DCMDownload download = Connection<DCMDownload>("d");
  download.studyUIDs = {series.studyUid};
  for (int i = 0; i < 100; ++i) download.existing.push_back({kCTImageStorage, series.sopUids[i], ""});
  EXPECT_EQ(RunDownload(download), "");
  ASSERT_TRUE(storing.WaitFor("finished d"));
  halvex_->RemoveCallback(&storing);

  auto finish = recorder_.Find("finished d").at(0).finish;
  EXPECT_EQ(finish.success, 1);
  EXPECT_EQ(finish.done, 100);
  EXPECT_EQ(finish.total, 120);
  netpeer::Counters counters = peer_->GetCounters();
  EXPECT_EQ(counters.getRequests, 1);
  EXPECT_EQ(counters.lastGetLevel, "IMAGE");
  EXPECT_EQ(counters.lastGetKeys, 20);
  EXPECT_EQ(recorder_.Find("file d").size(), 20u);
  auto progress = recorder_.Find("progress d");
  ASSERT_FALSE(progress.empty());
  EXPECT_GE(progress.front().progress.done, 100);
  EXPECT_EQ(progress.back().progress.done, 120);

  std::vector<InstanceRecord> stored;
  ASSERT_TRUE(store->GetStudyInstanceRecords({series.studyUid}, stored));
  std::set<std::string> storedUids;
  for (const InstanceRecord& r : stored) storedUids.insert(r.sopInstanceUID);
  EXPECT_EQ(storedUids, std::set<std::string>(series.sopUids.begin() + 100, series.sopUids.end()));
  ReleaseDB(store);
}

TEST_F(PeerTransfer, DownloadOutcomes) {
  auto series = Series(dir_ / "study", 10);
  struct Case {
    const char* name;
    bool peerHolds;
    int existing;
    netpeer::Switches switches;
    std::string printed;
    DCMFinish finish;
    int gets;
  };
  const Case cases[] = {
      {"all present", true, 10, {}, "", {1, 10, 10}, 0},
      {"node holds nothing", false, 0, {}, "Get Failed!", {0, 0, 0}, 0},
      {"commitment refused", true, 0, {false, true, 0}, "First Commit Failed!", {0, 0, 0}, 0},
      {"one instance not sent", true, 4, {true, false, 0}, "Some File Get Failed!", {0, 4, 10}, 1},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.peerHolds)
      for (const fs::path& file : series.files) peer_->Hold(file);
    peer_->SetSwitches(c.switches);
    int getsBefore = peer_->GetCounters().getRequests;
    DCMDownload download = Connection<DCMDownload>("o" + std::to_string(run++));
    download.studyUIDs = {c.peerHolds ? series.studyUid : fx::NewUid()};
    for (int i = 0; i < c.existing; ++i)
      download.existing.push_back({kCTImageStorage, series.sopUids[i], ""});
    EXPECT_EQ(RunDownload(download), c.printed);
    auto finish = recorder_.Find("finished " + download.key).at(0).finish;
    EXPECT_EQ(finish.success, c.finish.success);
    EXPECT_EQ(finish.done, c.finish.done);
    EXPECT_EQ(finish.total, c.finish.total);
    EXPECT_EQ(peer_->GetCounters().getRequests - getsBefore, c.gets);
  }
}

class SeriesSink : public ISTORECallback {
 public:
  void OnStoreFile(const DCMDownload* download, SODcmFile* file) override {
    keys.insert(download->key);
    DcmFileFormat copy(*file->GetFileFormat());
    OFString uid;
    copy.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid);
    received[uid.c_str()] = std::make_unique<DcmFileFormat>(copy);
  }
  std::set<std::string> keys;
  std::map<std::string, std::unique_ptr<DcmFileFormat>> received;
};

TEST_F(PeerTransfer, GetSeriesNowFetchesTheSeriesInOneRequest) {
  std::string study = fx::NewUid();
  auto first = Series(dir_ / "s1", 3, study);
  auto second = Series(dir_ / "s2", 4, study);
  auto other = Series(dir_ / "s3", 2, study);
  std::map<std::string, fs::path> originals;
  for (const auto* series : {&first, &second, &other})
    for (size_t i = 0; i < series->files.size(); ++i) {
      peer_->Hold(series->files[i]);
      originals[series->sopUids[i]] = series->files[i];
    }

  SeriesSink sink;
  DCMDownload download = Connection<DCMDownload>("report");
  ASSERT_TRUE(halvex_->GetSeriesNow(download, {first.seriesUid, second.seriesUid}, &sink));
  netpeer::Counters counters = peer_->GetCounters();
  EXPECT_EQ(counters.getRequests, 1);
  EXPECT_EQ(counters.lastGetLevel, "SERIES");
  EXPECT_EQ(counters.lastGetKeys, 2);
  EXPECT_EQ(sink.keys, std::set<std::string>{"report"});
  ASSERT_EQ(sink.received.size(), 7u);
  for (const auto& [uid, file] : sink.received) {
    DcmFileFormat original;
    ASSERT_TRUE(original.loadFile(originals.at(uid).c_str()).good());
    EXPECT_EQ(file->getDataset()->compare(*original.getDataset()), 0) << uid;
  }
  EXPECT_TRUE(recorder_.Texts().empty());
}

TEST_F(PeerTransfer, DeletingTheStoreMidTransferReturnsPromptly) {
  auto series = Series(dir_ / "many", 300);
  for (const fs::path& file : series.files) peer_->Hold(file);
  struct Case {
    const char* name;
    bool upload;
    std::string waitFor;
  };
  const Case cases[] = {
      {"during the C-GET", false, "file cut"},
      {"commitment report delayed", true, "up-started cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    IHalvex* halvex = NewHalvex();
    halvex->SetCallback(&recorder);
    if (c.upload) {
      peer_->SetSwitches({false, false, 8000});
      halvex->QueueUpload(UploadOf(series, "cut"));
    } else {
      peer_->SetSwitches({});
      DCMDownload download = Connection<DCMDownload>("cut");
      download.studyUIDs = {series.studyUid};
      halvex->QueueDownload(download);
    }
    ASSERT_TRUE(recorder.WaitFor(c.waitFor));
    auto start = std::chrono::steady_clock::now();
    DeleteHalvex(halvex);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    size_t seen = recorder.Texts().size();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(recorder.Texts().size(), seen);
  }
}

// More UIDs than one request can carry.
TEST_F(PeerTransfer, LongMissingListsAreFetched) {
  fx::CtSeriesOptions options;
  options.slices = 1100;
  options.rows = options.columns = 8;
  auto series = fx::WriteCtSeries(dir_ / "long", options);
  for (const fs::path& file : series.files) peer_->Hold(file);
  DCMDownload download = Connection<DCMDownload>("long");
  download.studyUIDs = {series.studyUid};
  EXPECT_EQ(RunDownload(download), "");
  auto finish = recorder_.Find("finished long").at(0).finish;
  EXPECT_EQ(finish.success, 1);
  EXPECT_EQ(finish.total, 1100);
  EXPECT_EQ(recorder_.Find("file long").size(), 1100u);
  EXPECT_EQ(peer_->GetCounters().getRequests, 3);
  EXPECT_EQ(recorder_.Find("progress long").back().progress.done, 1100);
}
}  // namespace
