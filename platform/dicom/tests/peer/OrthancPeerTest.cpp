// C-GET and storage commitment against an Orthanc server started for the test.

#include "OrthancPeer.h"
#include "PeerFiles.h"
#include "SOCommitSCU.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SOGetSCU.h"
#include "SOStoreSCU.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

constexpr const char* kOurAE = "ORVANTA";

std::string NewUID() {
  char uid[100];
  return dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
}

std::string Join(const std::vector<std::string>& values) {
  std::string out;
  for (const std::string& v : values) out += (out.empty() ? "" : "\\") + v;
  return out;
}

// One study of two series (CT and MR), plus a second study, all stored in Orthanc.
struct OrthancWithStudies : ::testing::Test {
  int reportPort = FreeLoopbackPort();
  std::unique_ptr<peer::OrthancPeer> orthanc;
  std::string study = NewUID(), otherStudy = NewUID();
  std::string seriesCT = NewUID(), seriesMR = NewUID();
  std::vector<std::string> ct, mr, other;
  std::map<std::string, std::string> byUID;  // SOP Instance UID -> original file

  void SetUp() override {
    fs::path ctSource = orvanta::test::PydicomFile("CT_small.dcm");
    fs::path mrSource = orvanta::test::PydicomFile("MR_small.dcm");
    if (ctSource.empty() || mrSource.empty()) GTEST_SKIP() << "pydicom test files not installed";
    fs::path dir = MakeTempDir("studies");
    ct = peer::MakeInstances(ctSource, dir / "ct", 4, study, seriesCT);
    mr = peer::MakeInstances(mrSource, dir / "mr", 3, study, seriesMR);
    other = peer::MakeInstances(ctSource, dir / "other", 2, otherStudy, NewUID());
    ASSERT_EQ(ct.size() + mr.size() + other.size(), 9u);
    for (const auto* list : {&ct, &mr, &other})
      for (const std::string& f : *list) byUID[peer::SopInstanceUID(f)] = f;

    orthanc = std::make_unique<peer::OrthancPeer>(kOurAE, reportPort);
    ASSERT_TRUE(orthanc->Ready()) << orthanc->process->Log();
    SOStoreSCU store;
    ASSERT_TRUE(store.InitSCU("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, nullptr));
    std::vector<std::string> all = ct, sent;
    all.insert(all.end(), mr.begin(), mr.end());
    all.insert(all.end(), other.begin(), other.end());
    ASSERT_TRUE(store.SendFiles(all, sent, true));
    ASSERT_EQ(sent, all);
  }

  SODcmReferencedSOP Ref(const std::string& file) {
    DcmFileFormat f;
    f.loadFile(file.c_str());
    OFString cls, inst;
    f.getDataset()->findAndGetOFString(DCM_SOPClassUID, cls);
    f.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, inst);
    return {cls.c_str(), inst.c_str()};
  }
};

// Keeps what arrives as files and the counters of every progress report.
struct Receiver : ISODcmGetSCUCallback {
  fs::path dir = MakeTempDir("received");
  std::vector<SODcmGetProgress> progress;
  std::vector<std::string> uids;
  std::function<void()> onFile;
  bool keep = true;  // what the callback answers
  void OnProgress(void*, const SODcmGetProgress* counters) override { progress.push_back(*counters); }
  bool OnFileReceived(SODcmFile* file) override {
    if (!keep) return false;
    std::string uid;
    file->GetDataset()->GetString(0x00080018, uid);
    file->SaveFile((dir / (uid + ".dcm")).c_str(), true);
    uids.push_back(uid);
    if (onFile) onFile();
    return true;
  }
};

TEST_F(OrthancWithStudies, GetAtImageAndSeriesLevelBringsTheOriginals) {
  struct Case {
    const char* level;
    unsigned long tag;
    std::vector<std::string> values;
    std::vector<std::string> expectedFiles;
  };
  std::vector<Case> cases{
      {"IMAGE", 0x00080018, {peer::SopInstanceUID(ct[0]), peer::SopInstanceUID(ct[2]), peer::SopInstanceUID(mr[1])},
       {ct[0], ct[2], mr[1]}},
      {"SERIES", 0x0020000E, {seriesCT, seriesMR}, {ct[0], ct[1], ct[2], ct[3], mr[0], mr[1], mr[2]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    SOGetSCU get;
    Receiver receiver;
    get.SetCallback(&receiver);
    ASSERT_TRUE(get.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, nullptr));
    SODcmDataset keys;
    keys.SetString(0x00080052, c.level);
    keys.SetString(c.tag, Join(c.values));
    std::vector<SODcmReferencedSOP> received;
    ASSERT_TRUE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received)) << orthanc->process->Log();

    std::set<std::string> want, got;
    for (const std::string& f : c.expectedFiles) want.insert(peer::SopInstanceUID(f));
    for (const SODcmReferencedSOP& r : received) got.insert(r.sopInstanceUID);
    EXPECT_EQ(got, want);
    EXPECT_EQ(received.size(), c.expectedFiles.size());
    EXPECT_EQ(std::set<std::string>(receiver.uids.begin(), receiver.uids.end()), want);
    for (const std::string& uid : want)
      EXPECT_TRUE(peer::SameContent(byUID[uid], receiver.dir / (uid + ".dcm"))) << uid;
    ASSERT_FALSE(receiver.progress.empty());
    EXPECT_EQ(receiver.progress.back().remaining, 0);
    EXPECT_EQ(receiver.progress.back().completed, static_cast<int>(want.size()));
    EXPECT_EQ(receiver.progress.back().failed, 0);
  }

  // Orthanc answers keys that match nothing with a failure status, and so does the request.
  SOGetSCU get;
  ASSERT_TRUE(get.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, nullptr));
  SODcmDataset keys;
  keys.SetString(0x00080052, "SERIES");
  keys.SetString(0x0020000E, NewUID());
  std::vector<SODcmReferencedSOP> received;
  EXPECT_FALSE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received));
  EXPECT_TRUE(received.empty());
  // An unknown model and a node that is down are failures.
  EXPECT_FALSE(get.RequestGet(7, &keys, received));
  ASSERT_TRUE(get.Init("127.0.0.1", FreeLoopbackPort(), peer::OrthancPeer::kAETitle, kOurAE, nullptr));
  EXPECT_FALSE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received));
}

// Objects the caller cannot keep fail their sub-operations: the node counts them as failed and
// they are not among the received ones.
TEST_F(OrthancWithStudies, ObjectsTheCallerCannotKeepFailAtTheNode) {
  SOGetSCU get;
  Receiver receiver;
  receiver.keep = false;
  get.SetCallback(&receiver);
  ASSERT_TRUE(get.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, nullptr));
  SODcmDataset keys;
  keys.SetString(0x00080052, "SERIES");
  keys.SetString(0x0020000E, seriesCT);
  std::vector<SODcmReferencedSOP> received;
  get.RequestGet(SODcmQRModel_StudyRoot, &keys, received);
  EXPECT_TRUE(received.empty());
  ASSERT_FALSE(receiver.progress.empty()) << orthanc->process->Log();
  EXPECT_EQ(receiver.progress.back().failed, 4);
  EXPECT_EQ(receiver.progress.back().completed, 0);
}

TEST_F(OrthancWithStudies, CancelledGetIsAFailure) {
  SOGetSCU get;
  Receiver receiver;
  std::atomic<bool> first{false};
  receiver.onFile = [&] { first = true; };
  get.SetCallback(&receiver);
  ASSERT_TRUE(get.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, nullptr));
  std::thread canceller([&] {
    while (!first) std::this_thread::yield();
    get.Cancel();
  });
  SODcmDataset keys;
  keys.SetString(0x00080052, "STUDY");
  keys.SetString(0x0020000D, study);
  std::vector<SODcmReferencedSOP> received;
  EXPECT_FALSE(get.RequestGet(SODcmQRModel_StudyRoot, &keys, received));
  canceller.join();
  EXPECT_GE(received.size(), 1u);
}

TEST_F(OrthancWithStudies, CommitmentAnsweredOnTheNodesOwnAssociation) {
  SOCommitSCU commit;
  ASSERT_TRUE(commit.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE,
                          std::to_string(reportPort).c_str()));
  std::vector<SODcmReferencedSOP> refs{Ref(ct[0]), Ref(mr[2]), Ref(other[1])};
  SODcmReferencedSOP unknown{UID_CTImageStorage, NewUID()};
  refs.push_back(unknown);
  SODcmCommitResult result;
  ASSERT_TRUE(commit.RequestCommit(nullptr, refs, result, nullptr, true, 20)) << orthanc->process->Log();
  EXPECT_FALSE(result.transactionUID.empty());
  std::set<std::string> committed, failed;
  for (const auto& r : result.success) committed.insert(r.sopInstanceUID);
  for (const auto& r : result.failed) failed.insert(r.sopInstanceUID);
  EXPECT_EQ(committed, (std::set<std::string>{refs[0].sopInstanceUID, refs[1].sopInstanceUID, refs[2].sopInstanceUID}));
  EXPECT_EQ(failed, std::set<std::string>{unknown.sopInstanceUID});

  // A study query (Study Instance UID and an empty list) is answered by the consultation
  // service's nodes; a standard node such as this one lists nothing for it.
  SODcmDataset query;
  query.SetString(0x0020000D, study);
  SODcmCommitResult held;
  if (commit.RequestCommit(&query, {}, held, nullptr, true, 10)) EXPECT_TRUE(held.success.empty());

  // Without the port for the node's own association the answer never reaches us: a failure.
  SOCommitSCU deaf;
  ASSERT_TRUE(deaf.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, ""));
  SODcmCommitResult none;
  EXPECT_FALSE(deaf.RequestCommit(nullptr, {refs[0]}, none, nullptr, true, 3));
  EXPECT_TRUE(none.success.empty());
  for (const char* bad : {"0", "70000", "12ab", "-1"})
    EXPECT_FALSE(deaf.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, bad)) << bad;
}

// The station's listener on the port the node knows: requests that name no port of their own
// get their answers there, each its own (matched by transaction), even side by side; without
// the listener the same request gets none.
TEST_F(OrthancWithStudies, StationListenerTakesAnswersForRequestsSideBySide) {
  struct Listening {
    explicit Listening(int port) { ok = SOCommitSCU::StartStationListener(kOurAE, port); }
    ~Listening() { SOCommitSCU::StopStationListener(); }
    bool ok;
  } listening(reportPort);
  ASSERT_TRUE(listening.ok);
  EXPECT_EQ(SOCommitSCU::StationListenerPort(), reportPort);
  EXPECT_EQ(SOCommitSCU::StationListenerAETitle(), kOurAE);
  EXPECT_FALSE(SOCommitSCU::StartStationListener("", reportPort));
  ASSERT_TRUE(SOCommitSCU::StartStationListener(kOurAE, reportPort));

  const std::vector<std::vector<std::string>> parts{ct, mr, other};
  std::vector<SODcmCommitResult> results(parts.size());
  std::vector<int> answered(parts.size(), 0);
  std::vector<std::thread> requests;
  for (size_t i = 0; i < parts.size(); ++i) {
    requests.emplace_back([&, i] {
      std::vector<SODcmReferencedSOP> refs;
      for (const std::string& file : parts[i]) refs.push_back(Ref(file));
      SOCommitSCU commit;
      answered[i] = commit.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, "") &&
                    commit.RequestCommit(nullptr, refs, results[i], nullptr, true, 20);
    });
  }
  for (std::thread& request : requests) request.join();
  for (size_t i = 0; i < parts.size(); ++i) {
    ASSERT_TRUE(answered[i]) << i << orthanc->process->Log();
    std::vector<std::string> committed;
    for (const auto& r : results[i].success) committed.push_back(r.sopInstanceUID);
    std::vector<std::string> expected;
    for (const std::string& file : parts[i]) expected.push_back(Ref(file).sopInstanceUID);
    std::sort(committed.begin(), committed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(committed, expected) << i;
    EXPECT_TRUE(results[i].failed.empty()) << i;
  }

  // Orthanc took every report as delivered: our answers carry what it checks.
  EXPECT_EQ(orthanc->process->Log().find("N-EVENT-REPORT"), std::string::npos) << orthanc->process->Log();

  SOCommitSCU::StopStationListener();
  EXPECT_EQ(SOCommitSCU::StationListenerPort(), 0);
  SOCommitSCU deaf;
  ASSERT_TRUE(deaf.Init("127.0.0.1", orthanc->port, peer::OrthancPeer::kAETitle, kOurAE, ""));
  SODcmCommitResult none;
  EXPECT_FALSE(deaf.RequestCommit(nullptr, {Ref(ct[0])}, none, nullptr, true, 3));
}

}  // namespace
