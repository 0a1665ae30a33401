// C-GET from DCMTK's dcmqrscp, filled with a study by our own C-STORE.

#include "PeerFiles.h"
#include "PeerProcess.h"
#include "ScopedLimits.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SOGetSCU.h"
#include "SOStoreSCU.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>

namespace fs = std::filesystem;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

std::string NewUID() {
  char uid[100];
  return dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
}

// dcmqrscp serving the AE title QRSCP from a database in dir.
struct QrNode {
  int port = FreeLoopbackPort();
  std::unique_ptr<peer::PeerProcess> process;
  explicit QrNode(const fs::path& dir) {
    fs::create_directories(dir / "db");
    {
      std::ofstream cfg(dir / "qr.cfg");
      cfg << "NetworkTCPPort = " << port << "\nMaxPDUSize = 16384\nMaxAssociations = 4\n"
          << "HostTable BEGIN\nHostTable END\nVendorTable BEGIN\nVendorTable END\n"
          << "AETable BEGIN\nQRSCP " << (dir / "db").string() << " RW (100, 64mb) ANY\nAETable END\n";
    }
    process = std::make_unique<peer::PeerProcess>(
        std::vector<std::string>{"dcmqrscp", "-c", (dir / "qr.cfg").string(), "-dhl", std::to_string(port)},
        dir / "dcmqrscp.log");
  }
};

struct Collector : ISODcmGetSCUCallback {
  fs::path dir = MakeTempDir("qr-received");
  std::vector<std::string> uids;
  int progressReports = 0;
  void OnProgress(void*, const SODcmGetProgress*) override { ++progressReports; }
  bool OnFileReceived(SODcmFile* file) override {
    std::string uid;
    file->GetDataset()->GetString(0x00080018, uid);
    file->SaveFile((dir / (uid + ".dcm")).c_str(), true);
    uids.push_back(uid);
    return true;
  }
};

TEST(QrscpPeer, GetsAStudyAndASeriesIntact) {
  fs::path ctSource = orvanta::test::PydicomFile("CT_small.dcm");
  fs::path mrSource = orvanta::test::PydicomFile("MR_small.dcm");
  if (ctSource.empty() || mrSource.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("dcmqrscp");
  std::string study = NewUID(), seriesCT = NewUID(), seriesMR = NewUID();
  std::vector<std::string> ct = peer::MakeInstances(ctSource, dir / "ct", 3, study, seriesCT);
  std::vector<std::string> mr = peer::MakeInstances(mrSource, dir / "mr", 2, study, seriesMR);

  QrNode node(dir);
  const int port = node.port;
  peer::PeerProcess& qr = *node.process;
  ASSERT_TRUE(qr.WaitForPort(port)) << qr.Log();

  SOStoreSCU store;
  ASSERT_TRUE(store.InitSCU("127.0.0.1", port, "QRSCP", "ORVANTA", nullptr));
  std::vector<std::string> all = ct, sent;
  all.insert(all.end(), mr.begin(), mr.end());
  ASSERT_TRUE(store.SendFiles(all, sent, true)) << qr.Log();
  ASSERT_EQ(sent, all);

  struct Case {
    const char* level;
    std::vector<std::pair<unsigned long, std::string>> keys;
    std::vector<std::string> expected;
  };
  for (const Case& c : std::vector<Case>{
           {"STUDY", {{0x0020000D, study}}, all},
           {"SERIES", {{0x0020000D, study}, {0x0020000E, seriesMR}}, mr},
       }) {
    SCOPED_TRACE(c.level);
    SOGetSCU get;
    Collector collector;
    get.SetCallback(&collector);
    ASSERT_TRUE(get.Init("127.0.0.1", port, "QRSCP", "ORVANTA", nullptr));
    SODcmDataset keys;
    keys.SetString(0x00080052, c.level);
    for (const auto& [tag, value] : c.keys) keys.SetString(tag, value);
    std::vector<SODcmReferencedSOP> received;
    ASSERT_TRUE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received)) << qr.Log();
    std::set<std::string> want, got(collector.uids.begin(), collector.uids.end());
    for (const std::string& f : c.expected) want.insert(peer::SopInstanceUID(f));
    EXPECT_EQ(got, want);
    EXPECT_EQ(received.size(), c.expected.size());
    for (const std::string& f : c.expected)
      EXPECT_TRUE(peer::SameContent(f, collector.dir / (peer::SopInstanceUID(f) + ".dcm"))) << f;
    EXPECT_GT(collector.progressReports, 0);
  }
}

// Honest work is never cut by the whole-call deadline: many objects each way, with a fixed part
// far shorter than the transfer, carried once by the share per object and once by the share
// per megabyte.
TEST(QrscpPeer, ManyObjectsEachWayFinishWithinTheirWholeCallDeadline) {
  fs::path ctSource = orvanta::test::PydicomFile("CT_small.dcm");
  if (ctSource.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("dcmqrscp-many");
  QrNode node(dir);
  ASSERT_TRUE(node.process->WaitForPort(node.port)) << node.process->Log();
  constexpr int kObjects = 40;  // about 1.6 MB

  struct Case {
    const char* name;
    double perObject, perMegabyte;
  };
  for (const Case& c : {Case{"objects", 0.1, 0}, Case{"megabytes", 0, 4}}) {
    SCOPED_TRACE(c.name);
    sodcm::NetLimits limits;
    limits.call = 0.3;
    limits.perObject = c.perObject;
    limits.perMegabyte = c.perMegabyte;
    peer::ScopedLimits scoped(limits);
    const std::string study = NewUID();
    const std::vector<std::string> files = peer::MakeInstances(ctSource, dir / c.name, kObjects, study, NewUID());

    SOStoreSCU store;
    ASSERT_TRUE(store.InitSCU("127.0.0.1", node.port, "QRSCP", "ORVANTA", nullptr));
    std::vector<std::string> sent;
    EXPECT_TRUE(store.SendFiles(files, sent, true)) << node.process->Log();
    EXPECT_EQ(sent.size(), files.size());

    SOGetSCU get;
    Collector collector;
    get.SetCallback(&collector);
    ASSERT_TRUE(get.Init("127.0.0.1", node.port, "QRSCP", "ORVANTA", nullptr));
    SODcmDataset keys;
    keys.SetString(0x00080052, "STUDY");
    keys.SetString(0x0020000D, study);
    std::vector<SODcmReferencedSOP> received;
    EXPECT_TRUE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received)) << node.process->Log();
    EXPECT_EQ(received.size(), files.size());
  }
}

}  // namespace
