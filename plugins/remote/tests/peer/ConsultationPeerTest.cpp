#include "ClientOrder.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IArchiveDB.h"
#include "IKelvast.h"
#include "OrthancPeer.h"
#include "RemoteWebSupport.h"
#include "SODcmDataset.h"
#include "SODcmSR.h"
#include "TeamOrder.h"

using namespace orvanta::fixtures;

namespace {

const std::string kStudyUID = "1.2.826.0.1.3680043.2.1125.77.2";

DCMUpload UploadTo(int port, const std::vector<fs::path>& files, const std::string& sopClass,
                   const std::vector<std::string>& sopUids) {
  DCMUpload upload;
  upload.key = "seed";
  upload.host = "127.0.0.1";
  upload.port = port;
  upload.callingAE = "ORVANTA";
  upload.calledAE = peer::OrthancPeer::kAETitle;
  for (size_t i = 0; i < files.size(); ++i) upload.files.push_back({sopClass, sopUids[i], files[i].string()});
  return upload;
}

std::shared_ptr<TeamOrder> OnlyTeamOrder() {
  auto teams = LinkManager::Instance().Teams();
  if (teams.size() != 1 || teams[0]->Orders().size() != 1) return nullptr;
  return std::dynamic_pointer_cast<TeamOrder>(teams[0]->Orders()[0]);
}

}  // namespace

// The consultation road with Orthanc as the order's DICOM node: the team's report document goes
// to the node with its private marker, and the client's poll fetches it into the client's store.
TEST_F(RemoteWebTest, ReportTravelsThroughTheNodeToTheClientStore) {
  peer::OrthancPeer orthanc("ORVANTA", orvanta::test::FreeLoopbackPort());
  ASSERT_TRUE(orthanc.Ready());
  service.Admin("SetNode", {{"aeTitle", peer::OrthancPeer::kAETitle}, {"host", "127.0.0.1"}, {"port", orthanc.port}});

  Login("reporter");
  TeamRecord created = CreateTeam("Remote Reading", "13800000002");
  MServer::Instance().Poll();
  std::shared_ptr<TeamLink> team = LinkManager::Instance().Teams().at(0);
  JorvelUserInfo a = FindUser("client"), c = FindUser("verifier");
  ASSERT_TRUE(team->UpdateType("PRIVATE"));
  ASSERT_TRUE(team->UpdateInstName("City Hospital"));
  ASSERT_TRUE(team->AddMember(&c));
  std::string cMembership;
  for (const MemberRecord& m : team->Team().members)
    if (m.user.id == c.id) cMembership = m.id;
  ASSERT_TRUE(team->SetPermission(&cMembership, false, true));
  ASSERT_TRUE(team->WhiteListAdd(&a));

  // A: a local study, its order, and the images on the node.
  Login("client");
  WrittenSeries series = StoreLocalStudy(kStudyUID);
  IKelvast* local = Gossamy::LocalDB();
  DiagnosticRecord answer = CreateOrder(created.id, kStudyUID);
  std::shared_ptr<MyLink> mine = MyLink::Instance();
  mine->AddOrUpdateOrder(answer, false);
  auto order = std::dynamic_pointer_cast<ClientOrder>(mine->Orders().at(0));
  ASSERT_TRUE(RemoteSession::NetworkStore()->SendNow(
      UploadTo(orthanc.port, series.files, "1.2.840.10008.5.1.4.1.1.2", series.sopUids)));
  OrderEvents events;
  order->AddObserver(&events);
  DCMUpload finishedUpload;
  finishedUpload.key = answer.study.transferKey;
  DCMFinish finish{1, 2, 2};
  order->OnUploadFinished(&finishedUpload, &finish);
  ASSERT_TRUE(WaitUntil([&] { return events.Count("upload-finished") == 1; }));
  order->RemoveObserver(&events);
  ASSERT_EQ(order->Record().state, "WAITING");

  // B: the images in the node's store, a new consultation report, stored, sent and reported.
  Login("reporter");
  MServer::Instance().Poll();
  std::shared_ptr<TeamOrder> teamOrder = OnlyTeamOrder();
  ASSERT_TRUE(teamOrder);
  IKelvast* nodeStore = teamOrder->Store();
  for (const auto& file : series.files) nodeStore->QueueFilePath(file.string().c_str());
  nodeStore->CommitQueue();
  ASSERT_TRUE(teamOrder->Lock());
  EXPECT_FALSE(teamOrder->FindReport());
  SODcmSR sr;
  ASSERT_TRUE(teamOrder->CreateReportSR(sr));
  std::string institution;
  sr.GetDataset()->GetString(0x00080080, institution);
  EXPECT_EQ(institution, "City Hospital");
  sr.SetFinding(L"肝脏形态正常");
  sr.SetConclusion(L"未见异常");
  sr.SetAuthorObserverName(L"Reporter B");
  ASSERT_TRUE(teamOrder->StoreReportFile(&sr));
  EXPECT_TRUE(teamOrder->FindReport());
  WebError error;
  ASSERT_TRUE(teamOrder->Report(&error)) << error.code;
  EXPECT_EQ(teamOrder->Record().state, "REPORTED");
  EXPECT_EQ(teamOrder->Record().reportFinding, "肝脏形态正常");
  ASSERT_TRUE(teamOrder->UnLock());

  // C verifies the report B stored.
  Login("verifier");
  MServer::Instance().Poll();
  teamOrder = OnlyTeamOrder();
  ASSERT_TRUE(teamOrder);
  ASSERT_TRUE(teamOrder->FindReport());
  ASSERT_TRUE(teamOrder->Verify(&error)) << error.code;
  EXPECT_EQ(teamOrder->Record().state, "VERIFIED");

  // A: the poll sees the verified order and fetches the report series from the node.
  Login("client");
  MServer::Instance().Poll();
  order = std::dynamic_pointer_cast<ClientOrder>(mine->Orders().at(0));
  ASSERT_TRUE(WaitUntil([&] { return !order->NeedsReportDownload(); }, 20000));
  PatientRecord row;
  local->GetPatientRecord(local->GetPatientSID("P1", kStudyUID).c_str(), row, false);
  EXPECT_EQ(row.remoteState, 3);
  std::string path;
  ASSERT_TRUE(order->GetReportPath(path));
  SODcmSR fetched;
  ASSERT_TRUE(fetched.LoadFile(path.c_str(), true));
  std::wstring finding;
  fetched.GetFinding(finding);
  EXPECT_EQ(finding, L"肝脏形态正常");
  std::string marker;
  fetched.GetDataset()->GetString(0x07391000, marker);
  EXPECT_EQ(marker, "TYPE_DIAG");
  ASSERT_TRUE(WaitUntil([&] { return order->Record().reportReceived; }));

  // C revises: A's next poll finds the stored report outdated.
  Login("verifier");
  MServer::Instance().Poll();
  teamOrder = OnlyTeamOrder();
  ASSERT_TRUE(teamOrder->FindReport());
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the service stamps whole seconds
  ASSERT_TRUE(teamOrder->Revise(&error)) << error.code;
  Login("client");
  MServer::Instance().Poll();
  order = std::dynamic_pointer_cast<ClientOrder>(mine->Orders().at(0));
  EXPECT_EQ(order->Record().state, "REVISED");
}
