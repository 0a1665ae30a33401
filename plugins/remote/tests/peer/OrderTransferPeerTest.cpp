// An order's images through the plug-in's network store, framed by storage commitment, from the
// client to the node and from the node to the team: through Orthanc at its defaults, which
// answers commitment later on an association of its own to the station's listener, and through
// a consultation node of ours, which answers on the request's association and lists what it
// holds of a study.

#include "ClientOrder.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "OrthancPeer.h"
#include "RemoteWebSupport.h"
#include "SOCommitSCU.h"
#include "TeamOrder.h"
#include "TestPeer.h"

namespace {

// Counts the order's notifications that the transfers raise.
struct TransferEvents : IOrderObjectCallback {
  std::atomic<int> stored{0}, finished{0};
  void OnStudyFilesStored(OrderObject*) override { ++stored; }
  void OnDownloadFinished(OrderObject*) override { ++finished; }
};

class OrderTransferTest : public RemoteWebTest {
 protected:
  void TearDown() override {
    SOCommitSCU::StopStationListener();
    RemoteWebTest::TearDown();
  }

  // The reporter's team, with orders going to the node; the client is logged in after.
  TeamRecord TeamAtNode(const std::string& aeTitle, int port) {
    service.Admin("SetNode", {{"aeTitle", aeTitle}, {"host", "127.0.0.1"}, {"port", port}});
    Login("reporter");
    const TeamRecord team = CreateTeam("Remote Reading", "13800000002");
    Login("client");
    return team;
  }

  // The client's order of a local study, started as the creation dialog starts it: the images
  // are queued for upload. The client is logged in.
  std::shared_ptr<ClientOrder> StartOrder(const std::string& teamId, const std::string& studyUID) {
    StoreLocalStudy(studyUID);
    const DiagnosticRecord answer = CreateOrder(teamId, studyUID);
    MyLink::Instance()->AddOrUpdateOrder(answer, true);
    for (const auto& order : MyLink::Instance()->Orders())
      if (order->Record().id == answer.id) return std::dynamic_pointer_cast<ClientOrder>(order);
    return nullptr;
  }

  // The reporter's poll lists the team's one order; its download, run to its end, fills the
  // team's own store, named after the node.
  std::shared_ptr<TeamOrder> DownloadAsTeam() {
    Login("reporter");
    MServer::Instance().Poll();
    auto teams = LinkManager::Instance().Teams();
    if (teams.size() != 1 || teams[0]->Orders().size() != 1) return nullptr;
    auto teamOrder = std::dynamic_pointer_cast<TeamOrder>(teams[0]->Orders()[0]);
    if (!teamOrder || teamOrder->Store() == Gossamy::LocalDB() || !teamOrder->NeedsImageDownload()) return nullptr;
    TransferEvents events;
    teamOrder->AddObserver(&events);
    const bool finished = teamOrder->DownloadImages(false) && WaitUntil([&] { return events.finished == 1; }, 60000);
    teamOrder->RemoveObserver(&events);
    if (!finished || events.stored < 1) return nullptr;
    return teamOrder;
  }

  static int RemoteState(const std::string& studyUID) {
    IKelvast* local = Gossamy::LocalDB();
    PatientRecord row;
    local->GetPatientRecord(local->GetPatientSID("P1", studyUID).c_str(), row, false);
    return row.remoteState;
  }
};

}  // namespace

TEST_F(OrderTransferTest, UploadIsCommittedByANodeThatAnswersOnItsOwnAssociation) {
  const int answerPort = orvanta::test::FreeLoopbackPort();
  peer::OrthancPeer orthanc("ORVANTA", answerPort);
  ASSERT_TRUE(orthanc.Ready());
  ASSERT_TRUE(SOCommitSCU::StartStationListener("ORVANTA", answerPort));
  const TeamRecord team = TeamAtNode(peer::OrthancPeer::kAETitle, orthanc.port);

  // Committed after the send, the upload activates the order: the study waits for the team.
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.77.10";
  std::shared_ptr<ClientOrder> order = StartOrder(team.id, studyUID);
  ASSERT_TRUE(order);
  // The store's column follows the record.
  ASSERT_TRUE(WaitUntil([&] { return order->Record().state == "WAITING" && RemoteState(studyUID) == 2; }, 60000))
      << order->Record().state;
  EXPECT_EQ(order->Progress(), 100);
  EXPECT_EQ(Count("DiagnosticActivate"), 1);

  // The team's download: Orthanc lists nothing for a commitment query naming the study, so it
  // is asked what it holds by C-FIND, and every image comes.
  std::shared_ptr<TeamOrder> teamOrder = DownloadAsTeam();
  ASSERT_TRUE(teamOrder) << orthanc.process->Log();
  EXPECT_FALSE(teamOrder->NeedsImageDownload());
  PatientRecord study;
  ASSERT_TRUE(teamOrder->LoadLocalStudy(study));
  ASSERT_EQ(study.series.size(), 1u);
  EXPECT_EQ(study.series[0].instances.size(), 3u);
}

TEST_F(OrderTransferTest, TheTeamDownloadsWhatTheClientUploadedThroughTheConsultationNode) {
  netpeer::TestPeer node(orvanta::test::MakeTempDir("node"));
  const int port = orvanta::test::FreeLoopbackPort();
  ASSERT_TRUE(node.Start(port));
  const TeamRecord team = TeamAtNode("CONSULT", port);

  // Asked what it holds before the send and to commit it after: the order is activated.
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.77.11";
  std::shared_ptr<ClientOrder> order = StartOrder(team.id, studyUID);
  ASSERT_TRUE(order);
  ASSERT_TRUE(WaitUntil([&] { return order->Record().state == "WAITING" && RemoteState(studyUID) == 2; }, 30000))
      << order->Record().state;
  EXPECT_EQ(node.HeldUIDs().size(), 3u);
  EXPECT_EQ(node.GetCounters().commitRequests, 2);

  // The team's poll lists it; the download fills the team's own store, named after the node.
  std::shared_ptr<TeamOrder> teamOrder = DownloadAsTeam();
  ASSERT_TRUE(teamOrder);
  EXPECT_FALSE(teamOrder->NeedsImageDownload());
  PatientRecord study;
  ASSERT_TRUE(teamOrder->LoadLocalStudy(study));
  ASSERT_EQ(study.series.size(), 1u);
  EXPECT_EQ(study.series[0].instances.size(), 3u);
  EXPECT_EQ(node.GetCounters().getRequests, 1);

  // Downloaded again without a redownload: the node is asked, nothing is fetched twice.
  TransferEvents events;
  teamOrder->AddObserver(&events);
  ASSERT_TRUE(teamOrder->DownloadImages(false));
  ASSERT_TRUE(WaitUntil([&] { return events.finished == 1; }, 30000));
  teamOrder->RemoveObserver(&events);
  EXPECT_EQ(node.GetCounters().getRequests, 1);
}
