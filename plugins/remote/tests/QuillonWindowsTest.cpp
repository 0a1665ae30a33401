// The plug-in window, its entry list and the order list windows, offscreen against the
// consultation service in process.

#include "TestSupport.h"
#include <filesystem>
#include <memory>
#include <thread>

#include "ClientOrder.h"
#include "HostWindow.h"
#include "ISOLumexa.h"
#include "JorvelJson.h"
#include "LinkWindows.h"
#include "QuillonWnd.h"
#include "RemoteWebSupport.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

// The host as the plug-in sees it: records the broadcasts.
struct RecordingHost : ISOExecuter {
  std::vector<std::pair<int, HWND>> broadcasts;
  bool HasPlugin(const wchar_t*) override { return false; }
  bool ActivatePlugin(const wchar_t*) override { return true; }
  bool SetStatusText(const char*) override { return true; }
  bool SendCommand(const wchar_t*, const char*, void*) override { return false; }
  // The login request carries its owner window as the data.
  bool Broadcast(int id, void* data, HWND) override {
    broadcasts.emplace_back(id, static_cast<HWND>(data));
    return true;
  }
  void SetBadge(ISOPlugin*, int) override {}
};

bool Pump(const std::function<bool()>& condition, int ms = 5000) { return SOWin::PumpUntil(condition, ms); }

// The window's own visibility (the test's host window is never shown).
bool IsShown(CWindowWnd* window) { return window && (GetWindowLongW(window->GetHWND(), GWL_STYLE) & WS_VISIBLE); }

DiagnosticRecord Record(const std::string& id, int64_t orderTime) {
  DiagnosticRecord record;
  record.id = id;
  record.orderNumber = "N" + id;
  record.state = "NEW";
  record.orderTime = orderTime;
  return record;
}

std::shared_ptr<OrderObject> MakeOrder(const std::string& id, int64_t orderTime) {
  auto order = std::make_shared<ClientOrder>(Gossamy::LocalDB());
  order->Update(Record(id, orderTime), false);
  return order;
}

}  // namespace

class QuillonWindowsTest : public RemoteWebTest {
 protected:
  void SetUp() override {
    RemoteWebTest::SetUp();
    orvanta::test::EnsureQtApp();
    const auto skins = orvanta::test::SourceRoot() /
                       "runtime" / "skin";
    CPaintManagerUI::SetResourcePath((skins.wstring() + L"/").c_str());
    host = MakeHostWindow(1200, 700);
  }
  void TearDown() override {
    if (plugin) plugin->LogoutUI();
    SOWin::PumpEvents(10);
    if (IsWindow(host)) DestroyWindow(host);
    SOWin::PumpEvents(10);
    plugin.reset();
    RemoteWebTest::TearDown();
  }

  // The plug-in window as the shell makes it; the test ends it after its host window, where the
  // program keeps a plug-in to the end.
  CQuillonWnd* OpenPlugin() {
    plugin = std::make_unique<CQuillonWnd>();
    plugin->SetExecuter(&executer);
    EXPECT_NE(plugin->CreateWnd(host, 0, 0, 1200, 700), nullptr);
    SOWin::PumpEvents(20);
    return plugin.get();
  }

  void LoginUser(const std::string& name) {
    WebError error;
    ASSERT_TRUE(GetJorvel()->Login(name.c_str(), "pw", &error)) << error.code;
  }

  RecordingHost executer;
  HWND host = nullptr;
  std::unique_ptr<CQuillonWnd> plugin;
};

TEST_F(QuillonWindowsTest, ConsultationRequestsAskForALoginFirst) {
  OpenPlugin();
  EXPECT_FALSE(plugin->OnMessage(SOMSG_SHARE_STUDY, nullptr, host));
  EXPECT_FALSE(plugin->OnMessage(SOMSG_LOGIN_REQUIRED, nullptr, host));
  EXPECT_TRUE(executer.broadcasts.empty());
  EXPECT_TRUE(plugin->OnMessage(SOMSG_REMOTE_DIAGNOSIS, nullptr, host));
  ASSERT_EQ(executer.broadcasts.size(), 1u);
  EXPECT_EQ(executer.broadcasts[0], std::make_pair(SOMSG_LOGIN_REQUIRED, host));
  // Logged in: answered without a login request; a request without a study opens nothing.
  LoginUser("client");
  EXPECT_TRUE(plugin->OnMessage(SOMSG_REMOTE_DIAGNOSIS, nullptr, host));
  EXPECT_EQ(executer.broadcasts.size(), 1u);
}

TEST_F(QuillonWindowsTest, LoginGivesOneRowAndTeamsAddRowsBehindIt) {
  OpenPlugin();
  auto* tabs = dynamic_cast<CTabLayoutUI*>(plugin->PaintManager().FindControl(L"mainTabLayout"));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCurSel(), 0);

  LoginUser("reporter");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  EXPECT_EQ(tabs->GetCurSel(), 1);
  CLinkWindow* myWindow = plugin->Entries()[0]->window;
  ASSERT_NE(myWindow, nullptr);
  EXPECT_TRUE(IsShown(myWindow));

  // Logging out and in again gives one own-orders window, not two.
  GetJorvel()->Logout();
  ASSERT_TRUE(Pump([&] { return plugin->Entries().empty() && tabs->GetCurSel() == 0; }));
  LoginUser("reporter");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  int ownWindows = 0;
  for (HWND child = GetWindow(plugin->GetHWND(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    ownWindows += std::wstring(name) == L"CLinkMyWindow";
  }
  EXPECT_EQ(ownWindows, 1);

  // A team created meanwhile: a new row at the end with its name; the own orders stay shown.
  const TeamRecord team = CreateTeam("Cardiology", "13800000002");
  MServer::Instance().PollNow();
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 2; }));
  EntryItemUI* row = plugin->Entries()[1];
  EXPECT_EQ(row->Text(), L"Cardiology");
  EXPECT_FALSE(row->Mark()->IsVisible());
  EXPECT_TRUE(IsShown(plugin->Entries()[0]->window));
  EXPECT_FALSE(IsShown(row->window));

  // Blocked by the service: the row shows its mark, the team window its label.
  service.Admin("SetTeam", {{"teamId", team.id}, {"state", "BLOCKED"}});
  MServer::Instance().PollNow();
  ASSERT_TRUE(Pump([&] { return row->Mark()->IsVisible(); })) << LinkManager::Instance().Teams()[0]->IsBlocked();
  auto* teamWindow = dynamic_cast<CLinkTeamWindow*>(row->window);
  ASSERT_NE(teamWindow, nullptr);
  ASSERT_TRUE(Pump([&] {
    CControlUI* label = teamWindow->GetPaintManager()->FindControl(L"team_blocked_label");
    return label && label->IsVisible();
  }));

  // The team window: one at a time, and not again within a second of its opening.
  teamWindow->OpenTeamWnd();
  CTeamWnd* info = teamWindow->TeamWnd();
  ASSERT_NE(info, nullptr);
  teamWindow->OpenTeamWnd();
  EXPECT_EQ(teamWindow->TeamWnd(), info);
  DestroyWindow(info->GetHWND());
  EXPECT_EQ(teamWindow->TeamWnd(), nullptr);
  teamWindow->OpenTeamWnd();
  EXPECT_EQ(teamWindow->TeamWnd(), nullptr);

  // Selecting the row shows its window alone; a resize of the panel moves the hidden one too.
  row->Option()->Selected(true, true);
  EXPECT_TRUE(IsShown(row->window));
  EXPECT_FALSE(IsShown(plugin->Entries()[0]->window));
  MoveWindow(plugin->GetHWND(), 0, 0, 900, 500, TRUE);
  SOWin::PumpEvents(20);
  const RECT panel = plugin->PaintManager().FindControl(L"mainPanel")->GetPos();
  for (EntryItemUI* entry : plugin->Entries()) {
    RECT rc;
    GetWindowRect(entry->window->GetHWND(), &rc);
    EXPECT_EQ(rc.right - rc.left, panel.right - panel.left);
    EXPECT_EQ(rc.bottom - rc.top, panel.bottom - panel.top);
  }
}

// A poll the service does not answer shows in the side bar until one is answered again.
TEST_F(QuillonWindowsTest, ServiceFailureShowsInTheSideBarUntilItAnswers) {
  OpenPlugin();
  LoginUser("client");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  CControlUI* failure = plugin->PaintManager().FindControl(L"serviceErrorText");
  ASSERT_NE(failure, nullptr);
  const std::string url = service.BaseUrl();
  const int port = std::stoi(url.substr(url.rfind(':') + 1));
  service.Stop();
  MServer::Instance().Poll();
  ASSERT_TRUE(Pump([&] { return failure->IsVisible(); }));
  EXPECT_NE(std::wstring(failure->GetText().GetData()).find(L"did not answer"), std::wstring::npos);
  ASSERT_GT(service.Start(port), 0);
  MServer::Instance().Poll();
  EXPECT_TRUE(Pump([&] { return !failure->IsVisible(); }));
}

// The team's list fills from the first poll after login; after the service started over on its
// stored data, the Refresh button loads each list from its first page: rows take the service's
// states, and rows of orders it no longer lists go.
TEST_F(QuillonWindowsTest, FirstPollFillsTheTeamAndRefreshShowsWhatARestartedServiceHas) {
  OpenPlugin();
  ShowWindow(host, SW_SHOW);  // the refresh is clicked as the user does
  Login("reporter");
  const TeamRecord team = CreateTeam("Chest", "13800000002");
  Login("client");
  const DiagnosticRecord first = CreateOrder(team.id, "1.2.81");
  const DiagnosticRecord second = CreateOrder(team.id, "1.2.82");
  GetJorvel()->Logout();
  ASSERT_TRUE(Pump([&] { return plugin->Entries().empty(); }));

  LoginUser("reporter");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 2 && plugin->Entries()[1]->window->Items().size() == 2; }))
      << "the team's orders come without a refresh";

  LoginUser("client");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1 && plugin->Entries()[0]->window->Items().size() == 2; }));
  CLinkWindow* mine = plugin->Entries()[0]->window;
  auto stateOf = [&](const std::string& id) {
    for (OrderUI* item : mine->Items())
      if (item->OrderId() == id && item->Order()) return item->Order()->Record().state;
    return std::string("<no row>");
  };
  for (const char* state : {"WAITING", "REPORTED"}) service.Admin("SetOrderState", {{"id", first.id}, {"state", state}});
  MServer::Instance().Poll();
  ASSERT_TRUE(Pump([&] { return stateOf(first.id) == "REPORTED"; }));

  // Restarted between two polls: asked for the changes since a stamp it forgot, the service has
  // none; the user's refresh loads the lists again.
  service.Admin("StartOver");
  service.Admin("SetOrderState", {{"id", first.id}, {"state", "REJECTED"}});
  CControlUI* refresh = plugin->PaintManager().FindControl(L"updateBtn");
  ASSERT_NE(refresh, nullptr);
  ASSERT_TRUE(UITest::Click(refresh));
  EXPECT_TRUE(Pump([&] { return stateOf(first.id) == "REJECTED"; })) << stateOf(first.id);
  EXPECT_EQ(stateOf(second.id), "NEW");

  // The service lists the second order alone now.
  std::vector<DiagnosticRecord> listed;
  int stamp = 0;
  WebError error;
  ASSERT_TRUE(Web_DiagnosticListOfMy(&listed, "", 20, &stamp, &error));
  std::erase_if(listed, [&](const DiagnosticRecord& record) { return record.id != second.id; });
  service.Admin("ScriptNext", {{"operation", "DiagnosticListOfMy"},
                               {"body", nlohmann::json{{"ok", true}, {"records", listed}, {"stamp", stamp}}.dump()}});
  ASSERT_TRUE(UITest::Click(refresh));
  EXPECT_TRUE(Pump([&] { return mine->Items().size() == 1; })) << mine->Items().size();
  EXPECT_EQ(stateOf(second.id), "NEW");
}

TEST_F(QuillonWindowsTest, OrdersAreListedNewestFirstAndTheViewStaysPut) {
  OpenPlugin();
  LoginUser("client");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  CLinkWindow* window = plugin->Entries()[0]->window;
  auto ids = [&] {
    std::vector<std::string> out;
    for (OrderUI* item : window->Items()) out.push_back(item->OrderId());
    return out;
  };
  // Times 300 > 200 > 100 arriving as 200, 100, 300; a second 200 goes behind the first.
  window->AddOrder(MakeOrder("2", 200));
  window->AddOrder(MakeOrder("1", 100));
  window->AddOrder(MakeOrder("3", 300));
  window->AddOrder(MakeOrder("4", 200));
  EXPECT_EQ(ids(), (std::vector<std::string>{"3", "2", "4", "1"}));
  // The same id again rebinds its row.
  window->AddOrder(MakeOrder("2", 200));
  EXPECT_EQ(ids().size(), 4u);
  auto* list = dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(L"orderList"));
  ASSERT_NE(list, nullptr);
  for (size_t i = 0; i < window->Items().size(); ++i)
    EXPECT_EQ(list->GetItemIndex(window->Items()[i]->Root()), int(i));

  // Enough rows to scroll; older orders go in below and the rows in view stay in view.
  const int shown = list->GetScrollPos().cy;
  for (int i = 10; i < 40; ++i) window->AddOrder(MakeOrder(std::to_string(i), 50));
  list->SetPos(list->GetPos(), true);
  ASSERT_GT(list->GetScrollRange().cy, shown);
  EXPECT_EQ(list->GetScrollPos().cy, shown);
  // Scrolled to the bottom, a newer order inserted above keeps it there.
  list->SetScrollPos(SIZE{0, list->GetScrollRange().cy});
  const int before = list->GetScrollPos().cy;
  CControlUI* lastRow = window->Items().back()->Root();
  const int lastTop = lastRow->GetPos().top;
  window->AddOrder(MakeOrder("99", 1000));
  list->SetPos(list->GetPos(), true);
  EXPECT_GT(list->GetScrollPos().cy, before);
  EXPECT_EQ(lastRow->GetPos().top, lastTop);

  // "itemselect" with nothing selected picks the first row's order.
  TNotifyUI msg;
  msg.pSender = list;
  msg.sType = L"itemselect";
  window->Notify(msg);
  EXPECT_EQ(window->SelectedOrder(), window->Items()[0]->Order());
}

TEST_F(QuillonWindowsTest, OrdersOfALogoutNeverReachTheNextUsersList) {
  OpenPlugin();
  Login("reporter");
  const TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  for (int i = 0; i < 3; ++i) CreateOrder(team.id, "1.2.3." + std::to_string(i));
  GetJorvel()->Logout();
  LoginUser("client");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1 && plugin->Entries()[0]->window->Items().size() == 3; }));

  // An order reaches the list while the logout and the next login are already under way: it
  // is posted for the client's window and must not land in the next user's.
  DiagnosticRecord late = Record("777", 9999);
  late.creator = RemoteSession::CurrentUser();
  MyLink::Instance()->AddOrUpdateOrder(late, true);
  plugin->LogoutUI();
  LoginUser("verifier");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1 && RemoteSession::CurrentUser().userName == "verifier"; }));
  SOWin::PumpEvents(100);
  EXPECT_TRUE(plugin->Entries()[0]->window->Items().empty());
}

// The plug-in window goes while a user is logged in, so it never hears the logout: the user who
// logs in to the next plug-in window sees their own orders only.
TEST_F(QuillonWindowsTest, ANewPluginWindowShowsNoOrdersOfTheUserBefore) {
  OpenPlugin();
  Login("reporter");
  const TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  for (int i = 0; i < 2; ++i) CreateOrder(team.id, "1.2.4." + std::to_string(i));
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1 && plugin->Entries()[0]->window->Items().size() == 2; }));
  DestroyWindow(plugin->GetHWND());
  SOWin::PumpEvents(20);
  GetJorvel()->Logout();

  OpenPlugin();
  LoginUser("verifier");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  MServer::Instance().Poll();
  SOWin::PumpEvents(100);
  EXPECT_TRUE(plugin->Entries()[0]->window->Items().empty());
  EXPECT_TRUE(MyLink::Instance()->Orders().empty());
}

namespace {

// Series of `slices` images each in one local study of patient P1.
void StoreSeries(const std::string& studyUID, const std::vector<int>& slices) {
  IKelvast* store = Gossamy::LocalDB();
  for (size_t i = 0; i < slices.size(); ++i) {
    orvanta::fixtures::CtSeriesOptions options;
    options.slices = slices[i];
    options.rows = options.columns = 16;
    options.patientId = "P1";
    options.studyUid = studyUID;
    options.seriesUid = studyUID + "." + std::to_string(i + 1);
    auto series = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("series"), options);
    for (const auto& file : series.files) store->QueueFilePath(file.string().c_str());
  }
  store->CommitQueue();
}

// The order's series are the study's .1, .2 and .3.
std::shared_ptr<OrderObject> MakeStudyOrder(const std::string& id, const std::string& studyUID) {
  DiagnosticRecord record = Record(id, 100);
  record.patientName = "Wang Fang";
  record.patientSex = "F";
  record.patientAge = "045Y";
  record.comments = "Cough for two weeks";
  record.study.patientID = "P1";
  record.study.studyUID = studyUID;
  for (const char* suffix : {".1", ".2", ".3"}) record.study.seriesUIDs.push_back(studyUID + suffix);
  auto order = std::make_shared<ClientOrder>(Gossamy::LocalDB());
  order->Update(record, false);
  return order;
}

std::wstring Text(CSeriesListWnd* panel, const wchar_t* name) {
  CControlUI* control = panel->GetPaintManager()->FindControl(name);
  return control ? std::wstring(control->GetText().GetData()) : L"<missing>";
}

std::vector<std::wstring> FileCounts(CListUI* list) {
  std::vector<std::wstring> counts;
  for (int i = 0; i < list->GetCount(); ++i)
    counts.push_back(static_cast<CListTextElementUI*>(list->GetItemAt(i))->GetText(1));
  return counts;
}

int ShownImages(CSeriesListWnd* panel) {
  ISOSeriesWnd* series = panel->View() ? panel->View()->GetSeriesWnd(0) : nullptr;
  return series ? series->GetImageObjectCount() : -1;
}

}  // namespace

TEST_F(QuillonWindowsTest, SeriesPanelFollowsTheSelectedOrderAndItsStoredFiles) {
  OpenPlugin();
  LoginUser("client");
  ASSERT_TRUE(Pump([&] { return plugin->Entries().size() == 1; }));
  CLinkWindow* window = plugin->Entries()[0]->window;
  StoreSeries("1.2.3.100", {1, 2, 3});
  StoreSeries("1.2.3.200", {2});
  auto a = MakeStudyOrder("1", "1.2.3.100");
  auto b = MakeStudyOrder("2", "1.2.3.200");
  auto empty = MakeStudyOrder("3", "1.2.3.300");
  window->AddOrder(a);
  window->AddOrder(b);
  window->AddOrder(empty);
  auto* orders = dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(L"orderList"));
  auto select = [&](const std::shared_ptr<OrderObject>& order) {
    for (OrderUI* item : window->Items())
      if (item->Order() == order.get()) orders->SelectItem(orders->GetItemIndex(item->Root()), false, true);
    SOWin::PumpEvents(20);
  };

  EXPECT_EQ(window->SeriesWnd(), nullptr);
  EXPECT_FALSE(window->GetPaintManager()->FindControl(L"seriesPanel")->IsVisible());
  select(a);
  EXPECT_TRUE(window->GetPaintManager()->FindControl(L"seriesPanel")->IsVisible());
  CSeriesListWnd* panel = window->SeriesWnd();
  ASSERT_NE(panel, nullptr);
  ASSERT_EQ(panel->Order(), a.get());
  auto* series = dynamic_cast<CListUI*>(panel->GetPaintManager()->FindControl(L"seriesList"));
  ASSERT_NE(series, nullptr);
  std::vector<std::wstring> counts = FileCounts(series);
  std::sort(counts.begin(), counts.end());
  EXPECT_EQ(counts, (std::vector<std::wstring>{L"1", L"2", L"3"}));
  EXPECT_EQ(static_cast<CListTextElementUI*>(series->GetItemAt(0))->GetText(2), std::wstring(L"CT"));
  EXPECT_EQ(series->GetCurSel(), 0);
  // No report yet: dashes and a lone line break; the age loses its leading zero.
  EXPECT_EQ(Text(panel, L"orderPatientInfoLabel"), L"Wang Fang  F  45Y");
  EXPECT_EQ(Text(panel, L"orderCommentLabel"), L"Cough for two weeks");
  for (const wchar_t* name : {L"orderReportAuthorNameLabel", L"orderReportVerifierNameLabel", L"orderReportUpdatedTimeLabel"})
    EXPECT_EQ(Text(panel, name), L"--") << name;
  EXPECT_EQ(Text(panel, L"orderReportRichEdit"), L"\n");
  const std::wstring firstCount = static_cast<CListTextElementUI*>(series->GetItemAt(0))->GetText(1);
  ASSERT_TRUE(Pump([&] { return ShownImages(panel) == std::stoi(firstCount); }));

  // The third row shown; the next order has one series, so its only row is selected.
  series->SelectItem(2, false, true);
  const std::wstring thirdCount = static_cast<CListTextElementUI*>(series->GetItemAt(2))->GetText(1);
  ASSERT_TRUE(Pump([&] { return ShownImages(panel) == std::stoi(thirdCount); }));
  select(b);
  ASSERT_EQ(panel->Order(), b.get());
  EXPECT_EQ(series->GetCount(), 1);
  EXPECT_EQ(series->GetCurSel(), 0);
  ASSERT_TRUE(Pump([&] { return ShownImages(panel) == 2; }));

  // A report arrives from a worker: the labels follow; the order no longer shown is ignored.
  DiagnosticRecord reported = b->Record();
  reported.reportAuthorName = "Reporter B";
  reported.reportFinding = "Clear lungs.";
  reported.verifyFinding = "Lungs are clear.";
  reported.reportConclusion = "Normal.";
  reported.reportUpdatedTime = 1700000000;
  std::thread([&] { b->Update(reported, true); }).join();
  ASSERT_TRUE(Pump([&] { return Text(panel, L"orderReportAuthorNameLabel") == L"Reporter B"; }));
  EXPECT_EQ(Text(panel, L"orderReportVerifierNameLabel"), L"--");
  EXPECT_EQ(Text(panel, L"orderReportUpdatedTimeLabel"), ui_time(1700000000));
  EXPECT_EQ(Text(panel, L"orderReportRichEdit"), L"Lungs are clear.\nNormal.");
  std::thread([&] { a->Update(a->Record(), true); panel->OnStudyFilesStored(a.get()); }).join();
  SOWin::PumpEvents(50);
  EXPECT_EQ(series->GetCount(), 1);

  // Images downloaded into the shown study: counts refilled, the patient line left as it was.
  DiagnosticRecord renamed = b->Record();
  renamed.patientName = "Li Lei";
  b->Update(renamed, false);
  StoreSeries("1.2.3.200", {2, 4});
  std::thread([&] { panel->OnStudyFilesStored(b.get()); }).join();
  ASSERT_TRUE(Pump([&] { return series->GetCount() == 2; }));
  counts = FileCounts(series);
  std::sort(counts.begin(), counts.end());
  EXPECT_EQ(counts, (std::vector<std::wstring>{L"2", L"4"}));
  EXPECT_EQ(Text(panel, L"orderPatientInfoLabel"), L"Wang Fang  F  45Y");

  // A study with nothing local: no rows, nothing shown.
  select(empty);
  EXPECT_EQ(series->GetCount(), 0);
  EXPECT_EQ(ShownImages(panel), 0);

  // Logout lets go of the order the panel observed.
  window->ReleaseLink();
  EXPECT_EQ(panel->Order(), nullptr);
}
