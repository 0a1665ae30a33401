// The consultation plug-in as the program runs it: the shell's frame loads libQuillon.so (and the
// viewer plug-in that opens an order's images) from a program folder; the test reaches the
// plug-in only through the host, the web service in process and the windows' skins.

#include <gtest/gtest.h>

#include <fstream>

#include "CMainFrameWnd.h"
#include "ConsultFixture.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "ProgramWindows.h"
#include "FrameTestSupport.h"
#include "TestSupport.h"
#include "UITestDriver.h"

using namespace DuiLib;
namespace fs = std::filesystem;

namespace {

CListUI* ListOf(WindowImplBase* window, const wchar_t* name) {
  return window ? dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(name)) : nullptr;
}

int Rows(WindowImplBase* window) {
  CListUI* list = ListOf(window, L"orderList");
  return list ? list->GetCount() : -1;
}

bool Shown(WindowImplBase* window) { return window && (GetWindowLongW(window->GetHWND(), GWL_STYLE) & WS_VISIBLE); }

bool Visible(WindowImplBase* window, const wchar_t* name) {
  CControlUI* control = window ? window->GetPaintManager()->FindControl(name) : nullptr;
  return control && control->IsVisible();
}

bool Pump(const std::function<bool()>& condition, int ms = 8000) { return SOWin::PumpUntil(condition, ms); }

void Login(const char* user) {
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login(user, "pw", &error)) << error.code;
}

DiagnosticRecord Order(const std::string& teamId, const std::string& patientID, const std::string& studyUID) {
  DiagnosticCreateRequest request;
  request.teamId = teamId;
  request.modalities = "CT";
  request.patientName = "Patient " + patientID;
  request.patientID = patientID;
  request.patientSex = "M";
  request.patientAge = "050Y";
  request.studyUID = studyUID;
  request.seriesUIDs = {studyUID + ".1"};
  request.imageCount = 3;
  DiagnosticRecord answer;
  WebError error;
  EXPECT_TRUE(Web_DiagnosticCreate(&request, &answer, &error)) << error.code;
  return answer;
}

}  // namespace

TEST(QuillonInProgram, OrdersTeamsAndTheConsultationRequestThroughTheHost) {
  orvanta::test::EnsureQtApp();
  ConsultFixture service;
  ASSERT_GT(service.Start(), 0);
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  // The order's node is a closed port: uploads fail at once and leave the orders as they are.
  service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", orvanta::test::FreeLoopbackPort()}});
  service.AddUser("client", "pw", "13800000001", "Client A");
  service.AddUser("reporter", "pw", "13800000002", "Reporter B");

  // The reporter's team; the client sends it 21 orders, one more than a page, and keeps the
  // newest one's study locally.
  WebError error;
  Login("reporter");
  const std::string mobile = "13800000002";
  ASSERT_TRUE(Web_VerifyCode(&mobile, &error));
  TeamRecord team;
  ASSERT_TRUE(Web_TeamCreate("Chest Reading", "desc", mobile, service.SmsCode(mobile), &team, &error));
  Login("client");
  for (int i = 0; i < 21; ++i) {
    service.Admin("SetClock", {{"now", 1765400000 + i * 60}});
    Order(team.id, "P" + std::to_string(i), "1.2.840.99." + std::to_string(i));
  }
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 3;
  ct.rows = ct.columns = 16;
  ct.patientId = "P20";
  ct.studyUid = "1.2.840.99.20";
  ct.seriesUid = ct.studyUid + ".1";
  IKelvast* store = Gossamy::LocalDB();
  for (const auto& file : orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("study"), ct).files)
    store->QueueFilePath(file.string().c_str());
  store->CommitQueue();
  GetJorvel()->Logout();

  const fs::path dir = orvanta::test::ProgramWithPlugins({"libQuillon.so", "libTessaly.so"});
  auto frame = orvanta::test::StartFrame(dir, {"libQuillon.so", "libTessaly.so"});
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 2u);
  EXPECT_EQ(frame->GetPlugins()[0].name, L"Quillon");
  HWND pluginHwnd = frame->GetPlugins()[0].window;
  WindowImplBase* plugin = WindowOf(pluginHwnd);
  ASSERT_NE(plugin, nullptr);
  CPaintManagerUI& pm = *plugin->GetPaintManager();
  auto* tabs = dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"mainTabLayout"));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCurSel(), 0);
  ASSERT_TRUE(frame->ActivatePlugin(L"Quillon"));

  // Logged in: the own orders, a page of 20 and the button for more; then all 21.
  Login("client");
  ASSERT_TRUE(Pump([&] { return Children(pluginHwnd, L"CLinkMyWindow").size() == 1; }));
  EXPECT_EQ(tabs->GetCurSel(), 1);
  WindowImplBase* mine = Children(pluginHwnd, L"CLinkMyWindow")[0];
  ASSERT_TRUE(Pump([&] { return Rows(mine) == 20 && Visible(mine, L"msg_more_container"); }))
      << Rows(mine) << " rows";
  ASSERT_TRUE(UITest::Click(*mine->GetPaintManager(), L"msg_more_button"));
  ASSERT_TRUE(Pump([&] { return Rows(mine) == 21 && !Visible(mine, L"msg_more_container"); }));

  // The newest order selected: the series panel shows its local series and patient.
  ASSERT_TRUE(UITest::SelectItem(*mine->GetPaintManager(), L"orderList", 0));
  ASSERT_TRUE(Visible(mine, L"seriesPanel"));
  std::vector<WindowImplBase*> panels = Children(mine->GetHWND(), L"CSeriesListWnd");
  ASSERT_EQ(panels.size(), 1u);
  ASSERT_TRUE(Pump([&] { return ListOf(panels[0], L"seriesList")->GetCount() == 1; }));
  EXPECT_EQ(std::wstring(panels[0]->GetPaintManager()->FindControl(L"orderPatientInfoLabel")->GetText().GetData()),
            L"Patient P20  M  50Y");

  // Opening the order shows its images in the viewer plug-in.
  WindowImplBase* viewer = WindowOf(frame->GetPlugins()[1].window);
  ASSERT_NE(viewer, nullptr);
  auto* studies = dynamic_cast<CContainerUI*>(viewer->GetPaintManager()->FindControl(L"studySeriesList"));
  ASSERT_NE(studies, nullptr);
  ASSERT_TRUE(UITest::ActivateItem(*mine->GetPaintManager(), L"orderList", 0));
  ASSERT_TRUE(Pump([&] { return studies->GetCount() == 2; }, 20000));
  EXPECT_TRUE(IsWindowVisible(viewer->GetHWND()));
  ASSERT_TRUE(frame->ActivatePlugin(L"Quillon"));

  // A consultation requested through the host: the dialog finds the team by its code and sends
  // the local study; the new order heads the list.
  PatientRecord study;
  ASSERT_TRUE(store->GetPatientRecord(store->GetPatientSID("P20", "1.2.840.99.20").c_str(), study, true));
  bool answered = false;
  UITest::OnModal(L"SOBuilderDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& dialog = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    UITest::SetText(dialog, L"teamSearchEdit", SOWin::FromUtf8(team.sid).c_str());
    UITest::Click(dialog, L"teamSearchBtn");
    Pump([&] { return static_cast<CListUI*>(dialog.FindControl(L"teamSearchList"))->GetCount() == 1; });
    UITest::Click(dialog, L"confirmBtn");
    answered = true;
  });
  EXPECT_TRUE(frame->Broadcast(0x10004, &study, frame->GetHWND()));
  ASSERT_TRUE(answered);
  ASSERT_TRUE(Pump([&] { return Rows(mine) == 22; }));
  nlohmann::json requests = service.Admin("Requests");
  int creates = 0;
  for (const auto& r : requests.at("requests")) creates += r.at("operation") == "DiagnosticCreate";
  EXPECT_EQ(creates, 22);

  // A team created from the side bar: the code sent by SMS, the team created, and with the poll
  // that follows its entry and its order list come up.
  bool created = false;
  UITest::OnModal(L"CTeamCreateDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& dialog = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    UITest::SetText(dialog, L"phoneEdit", L"13800000001");
    UITest::Click(dialog, L"verifyCodeSendBtn");
    UITest::SetText(dialog, L"teamNameEdit", L"县医院读片组");
    UITest::SetText(dialog, L"teamDescEdit", L"Reads for the county");
    UITest::SetText(dialog, L"verifyCodeEdit", SOWin::FromUtf8(service.SmsCode("13800000001")).c_str());
    UITest::Click(dialog, L"createBtn");
    created = true;
  });
  ASSERT_TRUE(UITest::Click(pm, L"createTeamBtn"));
  ASSERT_TRUE(created);
  ASSERT_TRUE(Pump([&] { return Children(pluginHwnd, L"CLinkTeamWindow").size() == 1; }));
  WindowImplBase* teamWindow = Children(pluginHwnd, L"CLinkTeamWindow")[0];
  EXPECT_EQ(std::wstring(teamWindow->GetPaintManager()->FindControl(L"team_title_label")->GetText().GetData()),
            L"县医院读片组");
  EXPECT_EQ(Rows(teamWindow), 0);
  EXPECT_TRUE(Shown(mine));
  EXPECT_FALSE(Shown(teamWindow));

  // Its entry shows its orders; the team's information opens beside them.
  auto* entries = dynamic_cast<CContainerUI*>(pm.FindControl(L"entry_list"));
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->GetCount(), 1);
  auto* entry = dynamic_cast<CContainerUI*>(entries->GetItemAt(0));
  auto* option = entry ? dynamic_cast<CContainerUI*>(entry->GetItemAt(0)) : nullptr;
  auto* choose = option ? dynamic_cast<COptionUI*>(option->GetItemAt(0)) : nullptr;
  ASSERT_NE(choose, nullptr);
  ASSERT_TRUE(UITest::Click(choose));
  SOWin::PumpEvents(20);
  EXPECT_TRUE(Shown(teamWindow));
  EXPECT_FALSE(Shown(mine));
  ASSERT_TRUE(UITest::Click(*teamWindow->GetPaintManager(), L"team_info_button"));
  EXPECT_EQ(Children(teamWindow->GetHWND(), L"CTeamWnd").size(), 1u);

  // Logged out: the lists go, the plug-in asks for a login again.
  GetJorvel()->Logout();
  ASSERT_TRUE(Pump([&] {
    return tabs->GetCurSel() == 0 && Children(pluginHwnd, L"CLinkMyWindow").empty() &&
           Children(pluginHwnd, L"CLinkTeamWindow").empty();
  }));

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}
