// C-ECHO and C-STORE against DCMTK's storescp on loopback.

#include "PeerFiles.h"
#include "PeerProcess.h"
#include "SOEchoSCU.h"
#include "SOStoreSCU.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

struct StoreSCP {
  fs::path dir = MakeTempDir("storescp");
  int port = FreeLoopbackPort();
  // TCP_NODELAY=1: as built here storescp otherwise waits for a delayed ACK on every object.
  peer::PeerProcess process{{"env", "TCP_NODELAY=1", "storescp", "-aet", "STORESCP", "+xa", "+uf", "-od", (dir / "in").string(),
                             std::to_string(port)},
                            dir / "storescp.log"};
  StoreSCP() { fs::create_directories(dir / "in"); }
  bool Ready() { return process.WaitForPort(port); }
};

struct ProgressLog : ISODcmStoreSCUCallback {
  std::vector<std::pair<int, int>> progress;
  std::vector<std::pair<int, int>> finish;
  std::function<void(int)> onEach;
  void OnProgress(void*, int sent, int total) override {
    progress.emplace_back(sent, total);
    if (onEach) onEach(static_cast<int>(progress.size()));
  }
  void OnFinish(int sent, int total) override { finish.emplace_back(sent, total); }
};

TEST(EchoPeer, SucceedsAgainstStoreSCPAndFailsOnClosedPortOrBadSettings) {
  StoreSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process.Log();
  SOEchoSCU echo;
  ASSERT_TRUE(echo.InitSCP("127.0.0.1", scp.port, "STORESCP", "ORVANTA"));
  EXPECT_TRUE(echo.Echo());

  SOEchoSCU closed;
  ASSERT_TRUE(closed.InitSCP("127.0.0.1", FreeLoopbackPort(), "STORESCP", "ORVANTA"));
  EXPECT_FALSE(closed.Echo());

  struct Bad {
    const char* host;
    int port;
    const char* called;
    const char* calling;
  };
  for (const Bad& b : {Bad{"127.0.0.1", 0, "A", "B"}, Bad{"127.0.0.1", 65536, "A", "B"},
                       Bad{"127.0.0.1", -5, "A", "B"}, Bad{"", 104, "A", "B"}, Bad{nullptr, 104, "A", "B"},
                       Bad{"127.0.0.1", 104, "", "B"}, Bad{"127.0.0.1", 104, "A", "ABCDEFGHIJKLMNOPQ"},
                       Bad{"127.0.0.1", 104, "A\\B", "B"}, Bad{"127.0.0.1", 104, "    ", "B"},
                       Bad{"127.0.0.1", 104, "A\nB", "B"}}) {
    SOEchoSCU e;
    EXPECT_FALSE(e.InitSCP(b.host, b.port, b.called, b.calling)) << b.port << " '" << (b.called ? b.called : "") << "'";
    EXPECT_FALSE(e.Echo());
  }
  // A valid peer set earlier is forgotten when a later Init is refused, not half-kept.
  ASSERT_TRUE(echo.InitSCP("127.0.0.1", scp.port, "STORESCP", "ORVANTA"));
  EXPECT_FALSE(echo.InitSCP("127.0.0.1", 70000, "STORESCP", "ORVANTA"));
  EXPECT_FALSE(echo.Echo());
}

TEST(StorePeer, SendsFilesOfSeveralTransferSyntaxesIntact) {
  if (orvanta::test::PydicomTestFiles().empty()) GTEST_SKIP() << "pydicom test files not installed";
  std::vector<std::string> files;
  for (const char* name : {"CT_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "MR_small_RLE.dcm",
                           "MR_small_jpeg_ls_lossless.dcm", "JPEG2000.dcm", "SC_rgb_jpeg_dcmtk.dcm",
                           "JPGExtended.dcm", "rtplan.dcm"}) {
    fs::path p = orvanta::test::PydicomFile(name);
    if (!p.empty()) files.push_back(p.string());
  }
  ASSERT_GE(files.size(), 6u);
  fs::path scratch = MakeTempDir("bad");
  std::string missing = (scratch / "gone.dcm").string();
  std::string notDicom = (scratch / "text.dcm").string();
  {
    std::ofstream(notDicom) << "not a DICOM file";
  }
  std::vector<std::string> all = files;
  all.insert(all.begin() + 1, missing);
  all.push_back(notDicom);

  StoreSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process.Log();
  SOStoreSCU store;
  ProgressLog log;
  store.RegisterCallback(&log);
  ASSERT_TRUE(store.InitSCU("127.0.0.1", scp.port, "STORESCP", "ORVANTA", nullptr));
  std::vector<std::string> sent{"stale"};
  EXPECT_TRUE(store.SendFiles(all, sent, true));
  EXPECT_EQ(sent, files);

  const int total = static_cast<int>(all.size());
  ASSERT_EQ(log.progress.size(), all.size());
  for (const auto& [s, t] : log.progress) EXPECT_EQ(t, total);
  EXPECT_EQ(log.progress.back().first, static_cast<int>(files.size()));
  ASSERT_EQ(log.finish.size(), 1u);
  EXPECT_EQ(log.finish[0], std::make_pair(static_cast<int>(files.size()), total));

  std::vector<fs::path> received = peer::FilesBelow(scp.dir / "in");
  ASSERT_EQ(received.size(), files.size()) << scp.process.Log();
  for (const std::string& f : files) {
    bool found = false;
    for (const fs::path& r : received) found = found || peer::SameContent(f, r);
    EXPECT_TRUE(found) << f << " did not arrive intact";
  }
}

TEST(StorePeer, CancelStopsAfterTheCurrentObjectAndReportsFailure) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  std::vector<std::string> files = peer::MakeInstances(ct, MakeTempDir("cancel"), 200);
  ASSERT_EQ(files.size(), 200u);

  StoreSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process.Log();
  SOStoreSCU store;
  ProgressLog log;
  std::atomic<int> seen{0};
  std::atomic<bool> cancelled{false};
  // The fifth report waits until the other thread has cancelled, so the cancel always
  // lands in the middle of the send.
  log.onEach = [&](int n) {
    seen = n;
    while (n == 5 && !cancelled) std::this_thread::yield();
  };
  store.RegisterCallback(&log);
  ASSERT_TRUE(store.InitSCU("127.0.0.1", scp.port, "STORESCP", "ORVANTA", nullptr));

  std::thread canceller([&] {
    while (seen < 5) std::this_thread::yield();
    store.Cancel();
    cancelled = true;
  });
  std::vector<std::string> sent;
  bool ok = store.SendFiles(files, sent, false);
  canceller.join();
  EXPECT_FALSE(ok);
  EXPECT_GE(sent.size(), 5u);
  EXPECT_LT(sent.size(), files.size());
  // What the node got is exactly what was reported as sent.
  EXPECT_EQ(peer::FilesBelow(scp.dir / "in").size(), sent.size());

  // The client is usable again after a cancel, and a send to a node that is down fails.
  std::vector<std::string> again;
  EXPECT_TRUE(store.SendFiles({files[0]}, again, false));
  EXPECT_EQ(again.size(), 1u);
  ASSERT_TRUE(store.InitSCU("127.0.0.1", FreeLoopbackPort(), "STORESCP", "ORVANTA", nullptr));
  EXPECT_FALSE(store.SendFiles({files[0]}, again, false));
  EXPECT_TRUE(again.empty());
}

}  // namespace

namespace {

TEST(StorePeer, MoreSOPClassesThanOneAssociationHoldsGoOverSeveral) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  // 150 files of 150 storage SOP classes need more than the 128 contexts of one association.
  fs::path dir = MakeTempDir("classes");
  std::vector<std::string> files = peer::MakeInstances(ct, dir, 150);
  ASSERT_EQ(files.size(), 150u);
  for (size_t i = 0; i < files.size(); ++i) {
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(files[i].c_str()).good());
    const char* sopClass = dcmAllStorageSOPClassUIDs[i];
    file.getDataset()->putAndInsertString(DCM_SOPClassUID, sopClass);
    file.getMetaInfo()->putAndInsertString(DCM_MediaStorageSOPClassUID, sopClass);
    ASSERT_TRUE(file.saveFile(files[i].c_str(), EXS_LittleEndianExplicit).good());
  }
  StoreSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process.Log();
  SOStoreSCU store;
  ASSERT_TRUE(store.InitSCU("127.0.0.1", scp.port, "STORESCP", "ORVANTA", nullptr));
  std::vector<std::string> sent;
  EXPECT_TRUE(store.SendFiles(files, sent, false));
  EXPECT_EQ(sent.size(), files.size());
  EXPECT_EQ(peer::FilesBelow(scp.dir / "in").size(), sent.size());
}

}  // namespace
