#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "DicomFixtures.h"
#include "IHalvex.h"
#include "Recorder.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;
using halvextest::HalvexPtr;
using halvextest::Recorder;

// A port where connections are taken by the kernel but never answered, so a transfer to it
// hangs until cancelled.
class SilentPort {
 public:
  SilentPort() {
    fd_ = orvanta::test::ListenOnLoopback(&port_);
  }
  ~SilentPort() { close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

DCMDownload Download(const std::string& key, int port) {
  DCMDownload d;
  d.key = key;
  d.host = "127.0.0.1";
  d.port = port;
  d.callingAE = "ORVANTA";
  d.calledAE = "NODE";
  d.studyUIDs = {"1.2.3"};
  return d;
}

DCMUpload Upload(const std::string& key, int port, int files = 2) {
  DCMUpload u;
  u.key = key;
  u.host = "127.0.0.1";
  u.port = port;
  u.callingAE = "ORVANTA";
  u.calledAE = "NODE";
  for (int i = 0; i < files; ++i)
    u.files.push_back({"1.2.840.10008.5.1.4.1.1.2", "1.2.3." + std::to_string(i), "/nonexistent.dcm"});
  return u;
}

class NoFiles : public ISTORECallback {
 public:
  void OnStoreFile(const DCMDownload*, SODcmFile*) override { ++calls; }
  int calls = 0;
};

TEST(Halvex, RequestsThatCannotReachANodeAreRefusedSilently) {
  Recorder recorder;
  HalvexPtr halvex(NewHalvex());
  halvex->SetCallback(&recorder);
  NoFiles sink;

  struct Case {
    const char* name;
    void (*spoil)(DCMDownload&, DCMUpload&);
  };
  const Case cases[] = {
      {"empty host", [](DCMDownload& d, DCMUpload& u) { d.host = u.host = ""; }},
      {"port 0", [](DCMDownload& d, DCMUpload& u) { d.port = u.port = 0; }},
      {"port above 65535", [](DCMDownload& d, DCMUpload& u) { d.port = u.port = 65536 + 104; }},
      {"negative port", [](DCMDownload& d, DCMUpload& u) { d.port = u.port = -1; }},
      {"no called AE", [](DCMDownload& d, DCMUpload& u) { d.calledAE = u.calledAE = ""; }},
      {"calling AE of 17",
       [](DCMDownload& d, DCMUpload& u) { d.callingAE = u.callingAE = "ABCDEFGHIJKLMNOPQ"; }},
      {"nothing to move",
       [](DCMDownload& d, DCMUpload& u) {
         d.studyUIDs.clear();
         u.files.clear();
       }},
  };
  for (const Case& c : cases) {
    DCMDownload d = Download("k", 104);
    DCMUpload u = Upload("k", 104);
    c.spoil(d, u);
    EXPECT_FALSE(halvex->QueueDownload(d)) << c.name;
    EXPECT_FALSE(halvex->QueueUpload(u)) << c.name;
    EXPECT_FALSE(halvex->SendNow(u)) << c.name;
    if (std::string(c.name) != "nothing to move")
      EXPECT_FALSE(halvex->GetSeriesNow(d, {"1.2.3.4"}, &sink)) << c.name;
  }
  DCMDownload d = Download("k", 104);
  EXPECT_FALSE(halvex->GetSeriesNow(d, {}, &sink));
  EXPECT_FALSE(halvex->GetSeriesNow(d, {"1.2.3.4"}, nullptr));
  EXPECT_FALSE(halvex->IsDownloading("k"));
  EXPECT_FALSE(halvex->IsUploading("k"));
  halvex.reset();
  EXPECT_TRUE(recorder.Texts().empty());
  EXPECT_EQ(sink.calls, 0);
}

TEST(Halvex, TransfersToAClosedPortFinishWithTheFailureTexts) {
  int closed = orvanta::test::FreeLoopbackPort();
  Recorder recorder;
  HalvexPtr halvex(NewHalvex());
  halvex->AddCallback(&recorder);

  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 3;
  options.rows = options.columns = 16;
  auto series = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir(), options);
  DCMUpload upload = Upload("up", closed, 0);
  for (int i = 0; i < 3; ++i)
    upload.files.push_back({"1.2.840.10008.5.1.4.1.1.2", series.sopUids[i], series.files[i].string()});

  testing::internal::CaptureStdout();
  EXPECT_TRUE(halvex->QueueUpload(upload));
  ASSERT_TRUE(recorder.WaitFor("up-finished up"));
  EXPECT_TRUE(halvex->QueueDownload(Download("down", closed)));
  ASSERT_TRUE(recorder.WaitFor("finished down"));
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "First Commit Failed!Store Error!First Commit Failed!");

  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"up-started up", "up-finished up", "queued down",
                                                        "started down", "finished down"}));
  auto events = recorder.Events();
  EXPECT_EQ(events[1].finish.success, 0);
  EXPECT_EQ(events[1].finish.done, 0);
  EXPECT_EQ(events[1].finish.total, 3);
  EXPECT_EQ(events[4].finish.success, 0);
  EXPECT_EQ(events[4].finish.total, 0);
  // Queued on this thread, the rest on the workers.
  EXPECT_EQ(events[2].thread, std::this_thread::get_id());
  EXPECT_NE(events[3].thread, std::this_thread::get_id());
  EXPECT_NE(events[0].thread, events[3].thread);
}

TEST(Halvex, EachRegistrationHearsEachEventOnce) {
  SilentPort silent;
  Recorder primary, listener;
  HalvexPtr halvex(NewHalvex());
  halvex->AddCallback(&listener);
  halvex->AddCallback(&listener);
  halvex->AddCallback(nullptr);
  halvex->SetCallback(&primary);
  halvex->AddCallback(&primary);
  ASSERT_TRUE(halvex->QueueDownload(Download("a", silent.Port())));
  EXPECT_EQ(listener.Find("queued a").size(), 1u);
  EXPECT_EQ(primary.Find("queued a").size(), 2u);
  ASSERT_TRUE(listener.WaitFor("started a"));
  ASSERT_TRUE(primary.WaitFor("started a", 60s, 2));
  EXPECT_EQ(listener.Find("started a").size(), 1u);
  EXPECT_EQ(primary.Find("started a").size(), 2u);

  halvex->RemoveCallback(&listener);
  halvex->SetCallback(nullptr);
  ASSERT_TRUE(halvex->QueueDownload(Download("b", silent.Port())));
  EXPECT_TRUE(listener.Find("queued b").empty());
  EXPECT_EQ(primary.Find("queued b").size(), 1u);
}

// Leaves the store from inside its first event.
class Leaver : public Recorder {
 public:
  IHalvex* halvex = nullptr;

 protected:
  void Add(const std::string& text, DCMFinish finish, DCMProgress progress) override {
    Recorder::Add(text, finish, progress);
    halvex->RemoveCallback(this);
  }
};

TEST(Halvex, AListenerMayLeaveInsideAnEvent) {
  SilentPort silent;
  Leaver first;
  Recorder second;
  HalvexPtr halvex(NewHalvex());
  first.halvex = halvex.get();
  halvex->AddCallback(&first);
  halvex->AddCallback(&second);
  ASSERT_TRUE(halvex->QueueDownload(Download("a", silent.Port())));
  ASSERT_TRUE(halvex->QueueDownload(Download("b", silent.Port())));
  EXPECT_EQ(first.Texts(), (std::vector<std::string>{"queued a"}));
  EXPECT_EQ(second.Find("queued a").size(), 1u);
  EXPECT_EQ(second.Find("queued b").size(), 1u);
}

TEST(Halvex, CancelsTakeQueuedItemsOutOnTheCallersThread) {
  SilentPort silent;
  Recorder recorder;
  HalvexPtr halvex(NewHalvex());
  halvex->AddCallback(&recorder);

  EXPECT_TRUE(halvex->CancelAll());
  EXPECT_TRUE(halvex->CancelUpload("nobody"));
  EXPECT_TRUE(halvex->CancelDownload("nobody"));
  EXPECT_TRUE(recorder.Texts().empty());

  for (const char* key : {"u1", "u2", "u3", "u2"})
    ASSERT_TRUE(halvex->QueueUpload(Upload(key, silent.Port())));
  for (const char* key : {"d1", "d2", "d3"}) ASSERT_TRUE(halvex->QueueDownload(Download(key, silent.Port())));
  ASSERT_TRUE(recorder.WaitFor("up-started u1"));
  ASSERT_TRUE(recorder.WaitFor("started d1"));
  EXPECT_TRUE(halvex->IsUploading("u1"));
  EXPECT_TRUE(halvex->IsUploading("u3"));
  EXPECT_TRUE(halvex->IsDownloading("d1"));
  EXPECT_FALSE(halvex->IsDownloading("u1"));

  size_t before = recorder.Texts().size();
  EXPECT_TRUE(halvex->CancelUpload("u2"));
  EXPECT_TRUE(halvex->CancelDownload("d3"));
  EXPECT_TRUE(halvex->IsUploading("u2"));  // its second copy
  EXPECT_TRUE(halvex->CancelAll());
  auto events = recorder.Events();
  std::vector<std::string> cancelled;
  for (size_t i = before; i < events.size(); ++i) {
    if (events[i].text.find("cancelled") == std::string::npos) continue;
    cancelled.push_back(events[i].text);
    EXPECT_EQ(events[i].thread, std::this_thread::get_id());
  }
  EXPECT_EQ(cancelled, (std::vector<std::string>{"up-cancelled u2", "cancelled d3", "cancelled d2",
                                                 "up-cancelled u3", "up-cancelled u2"}));
  EXPECT_FALSE(halvex->IsUploading("u3"));
  EXPECT_FALSE(halvex->IsDownloading("d2"));
}

TEST(Halvex, DeletingDuringTransfersReturnsPromptlyAndNothingFollows) {
  SilentPort silent;
  IHalvex* halvex = NewHalvex();
  Recorder recorder;
  halvex->SetCallback(&recorder);
  ASSERT_TRUE(halvex->QueueUpload(Upload("u", silent.Port())));
  ASSERT_TRUE(halvex->QueueUpload(Upload("u2", silent.Port())));
  ASSERT_TRUE(halvex->QueueDownload(Download("d", silent.Port())));
  ASSERT_TRUE(recorder.WaitFor("up-started u"));
  ASSERT_TRUE(recorder.WaitFor("started d"));

  auto start = std::chrono::steady_clock::now();
  DeleteHalvex(halvex);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, 2s);
  size_t seen = recorder.Texts().size();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(recorder.Texts().size(), seen);
  DeleteHalvex(nullptr);
}

}  // namespace
