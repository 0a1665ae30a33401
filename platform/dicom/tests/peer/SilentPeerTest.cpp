// A node that accepts the association and then never answers: every call gives up with
// false after its time-out, and Cancel ends a call at once. Also the storage commitment
// answer on the request's own association, from our receiving service.

#include "EveryCall.h"
#include "PeerFiles.h"
#include "PeerProcess.h"
#include "SOCommitSCU.h"
#include "SODcmSCP.h"
#include "SOGetSCU.h"
#include "SODcmDataset.h"
#include "SOStoreSCU.h"
#include "ScopedLimits.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmnet/scp.h>
#include <dcmtk/dcmnet/scu.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvanta::test::FreeLoopbackPort;

namespace {

// Accepts every association for the services we use, then sits on the first request
// until the test ends.
class SilentSCP : public DcmSCP {
 public:
  explicit SilentSCP(const std::atomic<bool>& stop) : stop_(stop) {
    DcmSCPConfig& config = getConfig();
    config.setConnectionBlockingMode(DUL_NOBLOCK);
    config.setConnectionTimeout(1);
    config.setAlwaysAcceptDefaultRole(OFTrue);
    OFList<OFString> ts;
    ts.push_back(UID_LittleEndianExplicitTransferSyntax);
    ts.push_back(UID_LittleEndianImplicitTransferSyntax);
    for (const char* uid : {UID_VerificationSOPClass, UID_CTImageStorage, UID_GETStudyRootQueryRetrieveInformationModel,
                            UID_StorageCommitmentPushModelSOPClass, UID_BasicGrayscalePrintManagementMetaSOPClass})
      config.addPresentationContext(uid, ts);
  }

 protected:
  OFCondition handleIncomingCommand(T_DIMSE_Message*, const DcmPresentationContextInfo&) override {
    while (!stop_) std::this_thread::sleep_for(20ms);
    return DIMSE_NODATAAVAILABLE;
  }
  OFBool stopAfterConnectionTimeout() override { return stop_.load(); }

 private:
  const std::atomic<bool>& stop_;
};

// One silent node per call, each on its own thread and port.
struct SilentNode {
  std::atomic<bool> stop{false};
  int port = FreeLoopbackPort();
  std::thread thread;
  SilentNode() {
    thread = std::thread([this] {
      SilentSCP scp(stop);
      scp.getConfig().setPort(static_cast<Uint16>(port));
      scp.listen();
    });
    for (int i = 0; i < 200 && !peer::Listening(port); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(peer::Listening(port));
  }
  ~SilentNode() {
    stop = true;
    thread.join();
  }
};

TEST(SilentPeer, EveryCallGivesUpWithFalse) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  sodcm::NetLimits limits;
  limits.dimse = 3;
  peer::ScopedLimits scoped(limits);
  SilentNode echoNode, storeNode, getNode, commitNode, printNode;

  // All at once, so the test waits for one time-out, not five.
  std::vector<std::future<bool>> calls =
      peer::CallEveryService({echoNode.port, storeNode.port, getNode.port, commitNode.port, printNode.port}, ct, 5);
  // And our receiving service ends an association whose sender fell silent.
  auto receive = std::async(std::launch::async, [&] {
    struct Ends : ISODcmSCPCallback {
      std::atomic<int> count{0};
      bool OnStore(SODcmAssociationParams&, SODcmFile*) override { return true; }
      void OnStoreEnd(SODcmAssociationParams&) override { ++count; }
    } ends;
    SODcmSCP scp;
    const int port = FreeLoopbackPort();
    scp.InitSCP("ORVANTA", port);
    scp.SetCallback(&ends);
    std::thread service([&] { scp.StartSCP(); });
    for (int i = 0; i < 200 && !scp.IsRunning(); ++i) std::this_thread::sleep_for(10ms);
    DcmSCU sender;
    sender.setPeerHostName("127.0.0.1");
    sender.setPeerPort(static_cast<Uint16>(port));
    sender.setPeerAETitle("ORVANTA");
    OFList<OFString> ts;
    ts.push_back(UID_LittleEndianExplicitTransferSyntax);
    sender.addPresentationContext(UID_CTImageStorage, ts);
    Uint16 status = 0xFFFF;
    bool stored = sender.initNetwork().good() && sender.negotiateAssociation().good() &&
                  sender.sendSTORERequest(0, ct.c_str(), nullptr, status).good() && status == 0;
    for (int i = 0; i < 600 && ends.count == 0; ++i) std::this_thread::sleep_for(100ms);
    scp.Stop();
    service.join();
    return stored && ends.count == 1;
  });
  for (std::future<bool>& call : calls) EXPECT_FALSE(call.get());
  EXPECT_TRUE(receive.get());
}

TEST(SilentPeer, CancelEndsAGetOrSendThatWaitsOnTheNode) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  SilentNode getNode, storeNode;
  SOGetSCU get;
  SOStoreSCU store;
  get.Init("127.0.0.1", getNode.port, "SILENT", "ORVANTA", nullptr);
  store.InitSCU("127.0.0.1", storeNode.port, "SILENT", "ORVANTA", nullptr);
  auto getting = std::async(std::launch::async, [&] {
    SODcmDataset keys;
    keys.SetString(0x00080052, "STUDY");
    keys.SetString(0x0020000D, "1.2.3");
    std::vector<SODcmReferencedSOP> received;
    return get.RequestGet(SODcmQRModel_StudyRoot, &keys, received);
  });
  auto sending = std::async(std::launch::async, [&] {
    std::vector<std::string> sent;
    return store.SendFiles({ct.string()}, sent, true);
  });
  std::this_thread::sleep_for(1s);
  get.Cancel();
  store.Cancel();
  // Well before the 30 s the calls would otherwise wait for the node.
  ASSERT_EQ(getting.wait_for(15s), std::future_status::ready);
  ASSERT_EQ(sending.wait_for(15s), std::future_status::ready);
  EXPECT_FALSE(getting.get());
  EXPECT_FALSE(sending.get());
}

// Our receiving service answers commitment on the same association: the SCU takes that too.
struct CommitKeeper : ISODcmSCPCallback {
  std::set<std::string> held;
  bool OnCommit(SODcmAssociationParams&, const std::vector<SODcmReferencedSOP>& refs,
                SODcmCommitResult& result) override {
    for (const SODcmReferencedSOP& r : refs) (held.count(r.sopInstanceUID) ? result.success : result.failed).push_back(r);
    return true;
  }
};

TEST(SameAssociationCommit, AnswerOnTheRequestsAssociationIsTaken) {
  CommitKeeper keeper;
  keeper.held = {"1.2.3.1", "1.2.3.2"};
  SODcmSCP scp;
  int port = FreeLoopbackPort();
  ASSERT_TRUE(scp.InitSCP("KEEPER", port));
  scp.SetCallback(&keeper);
  std::thread service([&] { scp.StartSCP(); });
  for (int i = 0; i < 200 && !scp.IsRunning(); ++i) std::this_thread::sleep_for(10ms);

  SOCommitSCU commit;
  ASSERT_TRUE(commit.Init("127.0.0.1", port, "KEEPER", "ORVANTA", ""));
  SODcmCommitResult result;
  bool ok = commit.RequestCommit(nullptr, {{UID_CTImageStorage, "1.2.3.1"}, {UID_CTImageStorage, "1.2.3.9"},
                                           {UID_CTImageStorage, "1.2.3.2"}},
                                 result, "1.2.3.777", true, 10);
  scp.Stop();
  service.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(result.transactionUID, "1.2.3.777");
  ASSERT_EQ(result.success.size(), 2u);
  EXPECT_EQ(result.success[0].sopInstanceUID, "1.2.3.1");
  EXPECT_EQ(result.success[1].sopInstanceUID, "1.2.3.2");
  ASSERT_EQ(result.failed.size(), 1u);
  EXPECT_EQ(result.failed[0].sopInstanceUID, "1.2.3.9");
  EXPECT_EQ(result.failed[0].sopClassUID, UID_CTImageStorage);
}

}  // namespace
