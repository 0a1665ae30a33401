#include "ClientOrder.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "PatientRecord.h"
#include "RemoteWebSupport.h"
#include "TeamOrder.h"

namespace {

PatientRecord StoredStudy(const std::string& studyUID) {
  IKelvast* store = Gossamy::LocalDB();
  PatientRecord row;
  store->GetPatientRecord(store->GetPatientSID("P1", studyUID).c_str(), row, false);
  return row;
}

const MemberRecord* MemberOf(const TeamRecord& team, const std::string& userId) {
  for (const MemberRecord& m : team.members)
    if (m.user.id == userId) return &m;
  return nullptr;
}

}  // namespace

// Client A sends a study to reporter B's PRIVATE team that white-lists A; B locks and reports,
// C verifies, and A's poll sees the report to fetch.
TEST_F(RemoteWebTest, ConsultationRoadAcrossThreeUsers) {
  JorvelUserInfo b = Login("reporter");
  TeamRecord created = CreateTeam("Remote Reading", "13800000002");

  // The team and its first order page arrive in one poll.
  MServer::Instance().Poll();
  std::vector<std::shared_ptr<TeamLink>> teams = LinkManager::Instance().Teams();
  ASSERT_EQ(teams.size(), 1u);
  std::shared_ptr<TeamLink> team = teams[0];
  EXPECT_EQ(team->GetName(), "Remote Reading");
  EXPECT_FALSE(team->Me().id.empty());
  EXPECT_TRUE(team->ListsLoaded());

  LinkEvents events;
  team->AddCallback(&events);
  ASSERT_TRUE(team->UpdateType("PRIVATE"));
  ASSERT_TRUE(team->UpdateInstName("City Hospital"));
  EXPECT_EQ(team->Team().serviceType, "PRIVATE");
  EXPECT_EQ(events.changed, 2);
  // A refused call changes nothing and hands back the service's code.
  WebError refused;
  EXPECT_FALSE(team->UpdateName("", &refused));
  EXPECT_FALSE(refused.code.empty());
  EXPECT_EQ(team->GetName(), "Remote Reading");
  EXPECT_EQ(events.changed, 2);

  JorvelUserInfo a = FindUser("client"), c = FindUser("verifier");
  ASSERT_TRUE(team->AddMember(&c));
  const TeamRecord teamNow = team->Team();
  const MemberRecord* cMember = MemberOf(teamNow, c.id);
  ASSERT_NE(cMember, nullptr);
  std::string cMembership = cMember->id;
  ASSERT_TRUE(team->SetPermission(&cMembership, false, true));
  ASSERT_TRUE(team->SetSignedName(&cMembership, "Dr. C"));
  EXPECT_EQ(MemberOf(team->Team(), c.id)->signedName, "Dr. C");
  EXPECT_TRUE(MemberOf(team->Team(), c.id)->verifyPermit);
  ASSERT_TRUE(team->WhiteListAdd(&a));
  ASSERT_EQ(team->WhiteList().size(), 1u);
  EXPECT_EQ(team->WhiteList()[0].user.id, a.id);
  team->RemoveCallback(&events);

  // A: the order for a local study; its upload ends and the order is activated.
  Login("client");
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.77.1";
  StoreLocalStudy(studyUID);
  ASSERT_EQ(StoredStudy(studyUID).studyUID, studyUID);
  DiagnosticRecord answer = CreateOrder(created.id, studyUID);
  std::shared_ptr<MyLink> mine = MyLink::Instance();
  mine->AddOrUpdateOrder(answer, false);
  ASSERT_EQ(mine->Orders().size(), 1u);
  auto order = std::dynamic_pointer_cast<ClientOrder>(mine->Orders()[0]);
  ASSERT_TRUE(order);
  EXPECT_EQ(StoredStudy(studyUID).remoteID, answer.orderNumber);
  EXPECT_EQ(StoredStudy(studyUID).remoteState, 1);

  OrderEvents orderEvents;
  order->AddObserver(&orderEvents);
  DCMUpload upload;
  upload.key = answer.study.transferKey;
  DCMFinish finish{1, 1, 1};
  order->OnUploadFinished(&upload, &finish);
  ASSERT_TRUE(WaitUntil([&] { return orderEvents.Count("upload-finished") == 1; }));
  EXPECT_EQ(order->Record().state, "WAITING");
  EXPECT_EQ(StoredStudy(studyUID).remoteState, 2);

  // B: the order shows up in the team's list; B locks it.
  Login("reporter");
  order->RemoveObserver(&orderEvents);
  EXPECT_TRUE(mine->Orders().empty()) << "the client's orders are gone after the user changed";
  MServer::Instance().Poll();
  team = LinkManager::Instance().Teams().at(0);
  ASSERT_EQ(team->Orders().size(), 1u);
  auto teamOrder = std::dynamic_pointer_cast<TeamOrder>(team->Orders()[0]);
  ASSERT_TRUE(teamOrder);
  EXPECT_EQ(teamOrder->Record().state, "WAITING");
  EXPECT_TRUE(teamOrder->CanEdit());
  EXPECT_EQ(teamOrder->GetLockState(), 0);
  ASSERT_TRUE(teamOrder->Lock());
  EXPECT_EQ(teamOrder->GetLockState(), 1);
  EXPECT_EQ(teamOrder->GetLockOwnerName(), "Reporter B");
  EXPECT_EQ(teamOrder->Record().state, "PROCESSING");

  // Without a report file nothing is sent and the service is not asked.
  service.Admin("ClearRequests");
  WebError error;
  EXPECT_FALSE(teamOrder->Report(&error));
  EXPECT_EQ(Count("DiagnosticReport"), 0);

  DiagnosticReportRequest report{"Reporter B", "", "finding text", "conclusion text", "1.2.3.99"};
  DiagnosticRecord reported;
  ASSERT_TRUE(Web_DiagnosticReport(teamOrder->Record().id, &report, &reported, &error));

  // C verifies; the lock is B's, so C's team order sees it held by another member.
  Login("verifier");
  MServer::Instance().Poll();
  auto cOrder = std::dynamic_pointer_cast<TeamOrder>(LinkManager::Instance().Teams().at(0)->Orders().at(0));
  EXPECT_EQ(cOrder->GetLockState(), 2);
  EXPECT_FALSE(cOrder->CanEdit());
  EXPECT_TRUE(cOrder->CanVerify());
  EXPECT_EQ(cOrder->GetReporterName(), "Reporter B");
  Login("reporter");
  MServer::Instance().Poll();
  ASSERT_TRUE(std::dynamic_pointer_cast<TeamOrder>(LinkManager::Instance().Teams().at(0)->Orders().at(0))->UnLock());
  Login("verifier");
  DiagnosticRecord verified;
  ASSERT_TRUE(Web_DiagnosticVerify(reported.id, &report, &verified, &error)) << error.code;

  // A: the poll brings the verified order; the study has a report to fetch, and one automatic
  // fetch runs (it fails here: the node is closed).
  Login("client");
  MServer::Instance().Poll();
  ASSERT_EQ(mine->Orders().size(), 1u);
  order = std::dynamic_pointer_cast<ClientOrder>(mine->Orders()[0]);
  EXPECT_EQ(order->Record().state, "VERIFIED");
  EXPECT_EQ(StoredStudy(studyUID).remoteState, 3);
  EXPECT_TRUE(order->NeedsReportDownload());
  EXPECT_EQ(order->GetFinding(), "finding text");
  std::string path;
  EXPECT_FALSE(order->GetReportPath(path));
}

TEST_F(RemoteWebTest, PagesOfTwentyAndHasMore) {
  Login("reporter");
  TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  for (int i = 0; i < 25; ++i) CreateOrder(team.id, "1.2.3." + std::to_string(i));

  std::shared_ptr<MyLink> mine = MyLink::Instance();
  LinkEvents events;
  mine->AddCallback(&events);
  service.Admin("ClearRequests");
  ASSERT_TRUE(mine->Update());
  EXPECT_EQ(mine->Orders().size(), 20u);
  EXPECT_TRUE(mine->HasMore());
  EXPECT_EQ(events.added, 20);
  // The first page ends like a page load: the lists learn that more pages may follow.
  EXPECT_EQ(events.Finished(), 1);

  ASSERT_TRUE(mine->LoadMore());
  ASSERT_TRUE(WaitUntil([&] { return events.Finished() == 2; }));
  std::vector<std::shared_ptr<OrderObject>> orders = mine->Orders();
  ASSERT_EQ(orders.size(), 25u);
  EXPECT_FALSE(mine->HasMore());
  for (size_t i = 1; i < orders.size(); ++i)
    EXPECT_GT(std::stoll(orders[i - 1]->Record().id), std::stoll(orders[i]->Record().id));
  auto requests = service.Admin("Requests").at("requests");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].at("args").value("startId", "?"), "");
  EXPECT_EQ(requests[1].at("args").value("startId", "?"), std::to_string(std::stoll(orders[19]->Record().id) - 1));

  // A repeated record updates the listed order in place.
  ASSERT_TRUE(mine->Update());
  EXPECT_EQ(mine->Orders().size(), 25u);
  EXPECT_EQ(events.added, 25);
  mine->RemoveCallback(&events);
}

TEST_F(RemoteWebTest, PageLoadEndingAfterAClearIsDropped) {
  Login("reporter");
  TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  CreateOrder(team.id, "1.2.3.1");
  std::shared_ptr<MyLink> mine = MyLink::Instance();
  LinkEvents events;
  mine->AddCallback(&events);
  service.Admin("SetDelay", {{"ms", 300}});
  mine->LoadMore();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  mine->Clear();
  ASSERT_TRUE(WaitUntil([&] { return events.Finished() == 1; }));
  service.Admin("SetDelay", {{"ms", 0}});
  EXPECT_TRUE(mine->Orders().empty());
  EXPECT_EQ(events.added, 0);
  EXPECT_TRUE(mine->HasMore());
  mine->RemoveCallback(&events);
}

TEST_F(RemoteWebTest, PollerRefreshesOnlyWhatMovedAndOnlyForItsUser) {
  JorvelUserInfo b = Login("reporter");
  CreateTeam("Team", "13800000002");
  MServer& server = MServer::Instance();
  service.Admin("ClearRequests");
  server.Poll();
  EXPECT_EQ(Count("TeamListOfMine"), 1);
  EXPECT_EQ(Count("DiagnosticListOfTeam"), 1);
  int my, teamOrders, teams;
  server.Counters(my, teamOrders, teams);
  EXPECT_NE(teams, 0);

  // Unchanged counters: no list call, only the indicator.
  service.Admin("ClearRequests");
  server.Poll();
  server.Poll();
  EXPECT_EQ(Operations(), (std::vector<std::string>{"GetNotifyIndicator", "GetNotifyIndicator"}));

  // A counter is kept only when its refresh succeeded.
  NotifyIndicator moved{b.id, 3, teamOrders, teams};
  service.Admin("ScriptNext", {{"operation", "DiagnosticListOfMy"}, {"body", "{\"result\":\"false\",\"code\":\"10011\"}"}});
  server.Apply(moved);
  server.Counters(my, teamOrders, teams);
  EXPECT_EQ(my, 0);
  server.Apply(moved);
  server.Counters(my, teamOrders, teams);
  EXPECT_EQ(my, 3);

  // An indicator of another user is ignored.
  service.Admin("ClearRequests");
  server.Apply(NotifyIndicator{"someone-else", 9, 9, 9});
  EXPECT_TRUE(Operations().empty());
}

TEST_F(RemoteWebTest, TimerOfAStoppedPollerMakesNoCall) {
  Login("client");
  MServer& server = MServer::Instance();
  std::atomic<int> calls{0};
  server.SetIndicatorCall([&](NotifyIndicator*, WebError*) { return ++calls, false; });
  server.SetTimer(0);
  ASSERT_TRUE(WaitUntil([&] { return !server.TimerActive(); }));
  EXPECT_EQ(calls.load(), 0);

  server.SetInterval(20);
  server.Start(RemoteSession::CurrentUser());
  ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 2; }));
  server.Stop();
  int seen = calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(calls.load(), seen);
  EXPECT_FALSE(server.TimerActive());
  server.SetInterval(60000);
}

TEST_F(RemoteWebTest, APollAskedForDuringAPollIsNotLost) {
  Login("client");
  MServer& server = MServer::Instance();
  std::mutex gate;
  std::unique_lock<std::mutex> closed(gate);
  std::atomic<int> calls{0};
  server.SetIndicatorCall([&](NotifyIndicator*, WebError*) {
    if (++calls == 1) std::lock_guard<std::mutex> wait(gate);  // the first poll waits for the gate
    return false;
  });
  server.Start(RemoteSession::CurrentUser());
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 1; }));
  server.PollNow();  // the refresh button, pressed while the first poll runs
  closed.unlock();
  EXPECT_TRUE(WaitUntil([&] { return calls.load() == 2; }, 2000));
  server.Stop();
}

TEST_F(RemoteWebTest, LogoutDuringAPollLeavesNoOrdersOfThePreviousUser) {
  Login("reporter");
  TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  for (int i = 0; i < 3; ++i) CreateOrder(team.id, "1.2.3." + std::to_string(i));
  MServer& server = MServer::Instance();
  service.Admin("SetDelay", {{"ms", 100}});
  server.Start(RemoteSession::CurrentUser());
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  server.Stop();  // waits for the poll under way, then clears
  service.Admin("SetDelay", {{"ms", 0}});
  EXPECT_TRUE(MyLink::Instance()->Orders().empty());
  EXPECT_TRUE(LinkManager::Instance().Teams().empty());
}

// The owner removes a member: the service is told the member's user id, and the member is gone.
TEST_F(RemoteWebTest, OwnerRemovesAMemberByTheirUserId) {
  Login("reporter");
  CreateTeam("Remote Reading", "13800000002");
  MServer::Instance().Poll();
  std::shared_ptr<TeamLink> team = LinkManager::Instance().Teams().at(0);
  JorvelUserInfo c = FindUser("verifier");
  ASSERT_TRUE(team->AddMember(&c));
  // Team() answers a copy: it must outlive the pointer into it.
  const TeamRecord record = team->Team();
  const MemberRecord* added = MemberOf(record, c.id);
  ASSERT_NE(added, nullptr);
  const MemberRecord member = *added;
  ASSERT_NE(member.id, member.user.id) << "the membership and the user must differ for this test";
  ASSERT_TRUE(team->DeleteMember(&member));
  EXPECT_EQ(MemberOf(team->Team(), c.id), nullptr);
}

// A study already under another consultation keeps that consultation's number and state when a
// second order of the same study is listed.
TEST_F(RemoteWebTest, AStudyUnderAnotherConsultationKeepsItsColumns) {
  Login("reporter");
  const TeamRecord team = CreateTeam("Remote Reading", "13800000002");
  Login("client");
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.77.31";
  StoreLocalStudy(studyUID);
  IKelvast* store = Gossamy::LocalDB();
  const std::string id = store->GetPatientSID("P1", studyUID);
  ASSERT_TRUE(store->SetPatientText(id.c_str(), "remoteID", "OTHER-7"));
  ASSERT_TRUE(store->SetPatientState(id.c_str(), "remoteState", 3));
  MyLink::Instance()->AddOrUpdateOrder(CreateOrder(team.id, studyUID), false);
  EXPECT_EQ(StoredStudy(studyUID).remoteID, "OTHER-7");
  EXPECT_EQ(StoredStudy(studyUID).remoteState, 3);
}

// A report in the store serves the order only when it is the version the record names; of the
// report series' instances (one per version) the newest, the highest numbered, is the report.
TEST_F(RemoteWebTest, StoredReportServesOnlyTheRecordsVersionNewestInstanceFirst) {
  Login("client");
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.77.32";
  StoreLocalStudy(studyUID);
  DiagnosticRecord record;
  record.id = "9001";
  record.orderNumber = "N9001";
  record.state = "VERIFIED";
  record.study.patientID = "P1";
  record.study.studyUID = studyUID;
  record.study.transferStatus = "COMPLETED";
  record.study.reportSeriesUID = studyUID + ".99";
  record.reportUpdatedTime = 1765400000;
  orvanta::fixtures::CtSeriesOptions versions;
  versions.slices = 2;
  versions.rows = versions.columns = 16;
  versions.patientId = "P1";
  versions.studyUid = studyUID;
  versions.seriesUid = record.study.reportSeriesUID;
  IKelvast* store = Gossamy::LocalDB();
  for (const auto& file : orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("versions"), versions).files)
    store->QueueFilePath(file.string().c_str());
  store->CommitQueue();
  std::vector<InstanceRecord> instances;
  ASSERT_TRUE(store->GetSeriesInstanceRecords({record.study.reportSeriesUID}, instances));
  ASSERT_EQ(instances.size(), 2u);
  const auto newest = std::max_element(instances.begin(), instances.end(), [](const auto& a, const auto& b) {
    return std::stoi(a.instanceNumber) < std::stoi(b.instanceNumber);
  });

  MyLink::Instance()->AddOrUpdateOrder(record, false);
  auto order = std::dynamic_pointer_cast<ClientOrder>(MyLink::Instance()->Orders().at(0));
  ASSERT_TRUE(order);
  struct Case {
    const char* stored;
    bool needsDownload;
  } cases[] = {{"1765399999", true}, {"1765400000", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(store->SetValue(record.study.reportSeriesUID.c_str(), c.stored));
    EXPECT_EQ(order->NeedsReportDownload(), c.needsDownload);
  }
  std::string path;
  ASSERT_TRUE(order->GetReportPath(path));
  EXPECT_EQ(path, newest->storePath);
}

// The poller tells its listener whether the service answered, with the service's code when it
// refused; once it answers again, every list is asked again, as after a restart its counters
// may have started over.
TEST_F(RemoteWebTest, PollerTellsWhenTheServiceFailsAndAsksEveryListAgainAfter) {
  Login("reporter");
  CreateTeam("Team", "13800000002");
  MServer& server = MServer::Instance();
  std::mutex mutex;
  std::vector<std::pair<bool, std::string>> told;
  server.SetStatusCall([&](bool answered, const WebError& error) {
    std::lock_guard<std::mutex> hold(mutex);
    told.emplace_back(answered, error.code);
  });
  struct Unset {
    ~Unset() { MServer::Instance().SetStatusCall(nullptr); }
  } unset;
  server.Poll();
  service.Admin("ScriptNext",
                {{"operation", "GetNotifyIndicator"}, {"body", "{\"result\":\"false\",\"code\":\"10011\"}"}});
  server.Poll();
  service.Admin("ClearRequests");
  server.Poll();
  std::lock_guard<std::mutex> hold(mutex);
  ASSERT_EQ(told.size(), 3u);
  EXPECT_TRUE(told[0].first);
  EXPECT_FALSE(told[1].first);
  EXPECT_FALSE(told[1].second.empty()) << "the failure carries the code the window shows";
  EXPECT_TRUE(told[2].first);
  EXPECT_EQ(Count("DiagnosticListOfMy"), 1);
  EXPECT_EQ(Count("TeamListOfMine"), 1);
  EXPECT_EQ(Count("DiagnosticListOfTeam"), 1);
}

// A service that comes back on its stored data with its change stamps started over: the poll
// after the failed one loads the lists from their first pages, so the order takes the state the
// service has now, not the one from before.
TEST_F(RemoteWebTest, AfterTheServiceStartsOverTheListsComeFromTheirFirstPages) {
  Login("reporter");
  const TeamRecord team = CreateTeam("Team", "13800000002");
  Login("client");
  const DiagnosticRecord order = CreateOrder(team.id, "1.2.77");
  for (const char* state : {"WAITING", "REPORTED"}) service.Admin("SetOrderState", {{"id", order.id}, {"state", state}});
  MServer& server = MServer::Instance();
  server.Poll();
  ASSERT_EQ(MyLink::Instance()->Orders().size(), 1u);
  ASSERT_EQ(MyLink::Instance()->Orders()[0]->Record().state, "REPORTED");

  const std::string url = service.BaseUrl();
  const int port = std::stoi(url.substr(url.rfind(':') + 1));
  service.Stop();
  server.Poll();
  service.Admin("StartOver");
  ASSERT_GT(service.Start(port), 0);
  service.Admin("SetOrderState", {{"id", order.id}, {"state", "REJECTED"}});
  server.Poll();
  ASSERT_EQ(MyLink::Instance()->Orders().size(), 1u);
  EXPECT_EQ(MyLink::Instance()->Orders()[0]->Record().state, "REJECTED");
}
