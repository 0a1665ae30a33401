// The consultation road in the running program, with the orders' DICOM node Orthanc at its
// defaults or the program's own receiving service: the client's upload activates the order
// (Orthanc answers the commitment on an association of its own, to the listener the study
// database starts), the reporter downloads the images, writes and submits the report, verifies
// it, and the client gets the verified version (each version is an instance of its own, as
// Orthanc keeps the first copy of one).

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "ConsultFixture.h"
#include "DicomFixtures.h"
#include "FrameTestSupport.h"
#include "Gossamy.h"
#include "IArchiveDB.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "OrthancPeer.h"
#include "ProgramWindows.h"
#include "SODcmDataset.h"
#include "SODcmSR.h"
#include "TestSupport.h"
#include "UITestDriver.h"

using namespace DuiLib;
namespace fs = std::filesystem;

namespace {

WindowImplBase* FirstChild(HWND parent, const std::wstring& windowClass) {
  const std::vector<WindowImplBase*> children = Children(parent, windowClass);
  return children.empty() ? nullptr : children[0];
}

bool Pump(const std::function<bool()>& condition, int ms = 15000) {
  return SOWin::PumpUntil(condition, ms);
}

// Every DICOM file Orthanc keeps (it stores them uncompressed, one file each).
std::vector<fs::path> StoredFiles(const fs::path& storage) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(storage, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(it->path());
  return files;
}

// The order's row of a list window, once the window shows it.
CContainerUI* RowOf(HWND pluginHwnd, const wchar_t* windowClass, const std::string& orderNumber) {
  const std::wstring number(orderNumber.begin(), orderNumber.end());
  CContainerUI* found = nullptr;
  Pump([&] {
    WindowImplBase* window = FirstChild(pluginHwnd, windowClass);
    auto* list =
        window ? dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(L"orderList")) : nullptr;
    for (int i = 0; list && !found && i < list->GetCount(); ++i) {
      auto* row = dynamic_cast<CContainerUI*>(list->GetItemAt(i));
      auto* cells = row ? dynamic_cast<CContainerUI*>(row->GetItemAt(0)) : nullptr;
      if (cells && cells->GetItemAt(0) && cells->GetItemAt(0)->GetText() == number.c_str()) found = cells;
    }
    return found != nullptr;
  });
  return found;
}

// A left click as the user makes it, on the control's window.
void UserClick(HWND, CControlUI* control) {
  ASSERT_NE(control, nullptr);
  ASSERT_TRUE(UITest::Click(control));
}

// A button of a row's action cell.
CButtonUI* RowButton(CContainerUI* cells, int cell, int index) {
  auto* actions = cells ? dynamic_cast<CContainerUI*>(cells->GetItemAt(cell)) : nullptr;
  return actions ? dynamic_cast<CButtonUI*>(actions->GetItemAt(index)) : nullptr;
}

// Opens the editor with a click on a row's button of the list window, lets `work` fill it and
// press its button, and waits for the successful submit to close it.
void RunEditor(HWND list, CButtonUI* opener, const std::function<void(HWND, CPaintManagerUI&)>& work) {
  ASSERT_NE(opener, nullptr);
  ASSERT_TRUE(Pump([&] { return opener->IsVisible(); }, 30000));
  UserClick(list, opener);
  HWND editorHwnd = nullptr;
  ASSERT_TRUE(Pump([&] { return (editorHwnd = FindWindowW(L"CReportDlg", nullptr)) != nullptr; }));
  WindowImplBase* editor = WindowOf(editorHwnd);
  ASSERT_NE(editor, nullptr);
  UITest::ProcessEvents(400);  // the editor takes its edits a moment after it opens
  work(editorHwnd, *editor->GetPaintManager());
  ASSERT_TRUE(Pump([&] { return !IsWindow(editorHwnd); }, 30000)) << "a successful submit closes the editor";
}

// The study database's settings for the whole test program (the plug-in reads them once): its
// receiving service and its commitment listener on free ports.
struct StationPorts {
  int service = orvanta::test::FreeLoopbackPort();
  int listener = orvanta::test::FreeLoopbackPort();
};

const StationPorts& Station() {
  static const StationPorts ports = [] {
    StationPorts chosen;
    std::ofstream archive(std::string(Gossamy::GetConfigPath()) + "archive.xml");
    archive << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><SCP port=\"" << chosen.service
            << "\" AETitle=\"Storage\"/><Commit enable=\"1\" port=\"" << chosen.listener
            << "\" AETitle=\"ORVANTA\"/></Config>";
    return chosen;
  }();
  return ports;
}

// The DICOM node the orders go to, and the files it keeps.
struct Node {
  std::string aeTitle;
  int port = 0;
  std::function<std::vector<fs::path>()> files;
  std::function<std::string()> log;
};

// The three users' road, in the running program, through the node.
void ConsultationRoad(const Node& node, const std::string& studyUID) {
  orvanta::test::EnsureQtApp();
  ConsultFixture service;
  ASSERT_GT(service.Start(), 0);
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.Admin("SetNode", {{"aeTitle", node.aeTitle}, {"host", "127.0.0.1"}, {"port", node.port}});
  service.AddUser("client", "pw", "13800000001", "Client A");
  service.AddUser("reporter", "pw", "13800000002", "Reporter B");

  // Reporter B's team (B writes and verifies, signs as "Dr. B") and client A's new order of a
  // study A keeps.
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("reporter", "pw", &error));
  const std::string mobile = "13800000002";
  ASSERT_TRUE(Web_VerifyCode(&mobile, &error));
  TeamRecord team;
  ASSERT_TRUE(Web_TeamCreate("Chest Reading", "desc", mobile, service.SmsCode(mobile), &team, &error));
  ASSERT_TRUE(Web_TeamUpdateInstName(team.id, "City Hospital", &team, &error));
  ASSERT_EQ(team.members.size(), 1u);
  ASSERT_TRUE(Web_MemberSetSignedName(team.members[0].id, "Dr. B", &team, &error));
  ASSERT_TRUE(GetJorvel()->Login("client", "pw", &error));
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 20;
  ct.rows = ct.columns = 32;
  ct.patientId = "P1";
  ct.studyUid = studyUID;
  ct.seriesUid = studyUID + ".1";
  IKelvast* local = Gossamy::LocalDB();
  for (const auto& file : orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("study"), ct).files)
    local->QueueFilePath(file.string().c_str());
  local->CommitQueue();
  DiagnosticCreateRequest request;
  request.teamId = team.id;
  request.modalities = "CT";
  request.patientName = "Li^Na";
  request.patientID = "P1";
  request.patientAge = "045Y";
  request.studyDate = "20251210";
  request.studyUID = studyUID;
  request.seriesUIDs = {ct.seriesUid};
  request.imageCount = ct.slices;
  DiagnosticRecord order;
  ASSERT_TRUE(Web_DiagnosticCreate(&request, &order, &error)) << error.code;
  GetJorvel()->Logout();

  const std::vector<std::string> plugins{"libTabrisk.so", "libQuillon.so"};
  auto frame = orvanta::test::StartFrame(orvanta::test::ProgramWithPlugins(plugins), plugins);
  ASSERT_NE(frame, nullptr);
  HWND pluginHwnd = frame->GetPlugins().at(1).window;
  ASSERT_TRUE(frame->ActivatePlugin(L"Quillon"));

  // A: the row's upload button; Orthanc's commitment answer activates the order.
  ASSERT_TRUE(GetJorvel()->Login("client", "pw", &error));
  CContainerUI* clientRow = RowOf(pluginHwnd, L"CLinkMyWindow", order.orderNumber);
  ASSERT_NE(clientRow, nullptr);
  CButtonUI* upload = RowButton(clientRow, 10, 0);
  ASSERT_NE(upload, nullptr);
  ASSERT_TRUE(Pump([&] { return upload->IsVisible(); }));
  UserClick(FirstChild(pluginHwnd, L"CLinkMyWindow")->GetHWND(), upload);
  std::vector<DiagnosticRecord> mine;
  int stamp = 0;
  ASSERT_TRUE(Pump(
      [&] {
        mine.clear();
        stamp = 0;
        return Web_DiagnosticListOfMy(&mine, "", 20, &stamp, &error) && mine.size() == 1 &&
               mine[0].state == "WAITING";
      },
      60000))
      << node.log();

  // B picks the team in the side bar; its information opens from its button and closes when B
  // clicks elsewhere in the plug-in.
  ASSERT_TRUE(GetJorvel()->Login("reporter", "pw", &error));
  CContainerUI* teamRow = RowOf(pluginHwnd, L"CLinkTeamWindow", order.orderNumber);
  ASSERT_NE(teamRow, nullptr);
  WindowImplBase* teamList = FirstChild(pluginHwnd, L"CLinkTeamWindow");
  auto* entries =
      dynamic_cast<CContainerUI*>(WindowOf(pluginHwnd)->GetPaintManager()->FindControl(L"entry_list"));
  ASSERT_NE(entries, nullptr);
  ASSERT_TRUE(Pump([&] { return entries->GetCount() == 1; })) << entries->GetCount();
  auto* teamEntry =
      dynamic_cast<CContainerUI*>(dynamic_cast<CContainerUI*>(entries->GetItemAt(0))->GetItemAt(0));
  UserClick(pluginHwnd, teamEntry->GetItemAt(0));
  ASSERT_TRUE(Pump([&] { return IsWindowVisible(teamList->GetHWND()); }));
  UserClick(teamList->GetHWND(), teamList->GetPaintManager()->FindControl(L"team_info_button"));
  ASSERT_TRUE(Pump([&] { return FirstChild(teamList->GetHWND(), L"CTeamWnd") != nullptr; }));
  UserClick(teamList->GetHWND(), teamList->GetPaintManager()->FindControl(L"orderList"));
  EXPECT_TRUE(Pump([&] { return FirstChild(teamList->GetHWND(), L"CTeamWnd") == nullptr; }));

  // B: the row's download button fetches the images from Orthanc into the team's store.
  CButtonUI* download = RowButton(teamRow, 13, 0);
  ASSERT_NE(download, nullptr);
  ASSERT_TRUE(Pump([&] { return download->IsVisible(); }));
  UserClick(teamList->GetHWND(), download);
  CButtonUI* write = RowButton(teamRow, 13, 2);
  ASSERT_TRUE(Pump([&] { return write && write->IsVisible(); }, 60000)) << node.log();
  IKelvast* nodeStore = Gossamy::ArchiveDB()->OpenStore(node.aeTitle.c_str(), nullptr);
  ASSERT_NE(nodeStore, nullptr);
  std::vector<InstanceRecord> fetched;
  nodeStore->GetSeriesInstanceRecords({ct.seriesUid}, fetched);
  EXPECT_EQ(fetched.size(), size_t(ct.slices));
  Gossamy::ArchiveDB()->ReleaseStore(nodeStore);

  // B writes and submits, then verifies.
  RunEditor(teamList->GetHWND(), write, [](HWND editor, CPaintManagerUI& pm) {
    EXPECT_EQ(std::wstring(pm.FindControl(L"authorEdit")->GetText().GetData()), L"Dr. B");
    ASSERT_TRUE(UITest::SetText(pm, L"findingEdit", L"肝脏形态正常"));
    ASSERT_TRUE(UITest::SetText(pm, L"conclusionEdit", L"未见异常"));
    UserClick(editor, pm.FindControl(L"submitBtn"));
  });
  RunEditor(teamList->GetHWND(), RowButton(teamRow, 13, 4),
            [](HWND editor, CPaintManagerUI& pm) { UserClick(editor, pm.FindControl(L"verifyBtn")); });

  // The service has the verified report; Orthanc holds both versions, each with the
  // consultation marker.
  ASSERT_TRUE(GetJorvel()->Login("client", "pw", &error));
  mine.clear();
  stamp = 0;
  ASSERT_TRUE(Web_DiagnosticListOfMy(&mine, "", 20, &stamp, &error));
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].state, "VERIFIED");
  EXPECT_EQ(mine[0].reportFinding, "肝脏形态正常");
  EXPECT_EQ(mine[0].reportAuthorName, "Dr. B");
  EXPECT_FALSE(mine[0].locked) << "the editor let go of its lock when it closed";
  std::set<std::string> flags;
  for (const fs::path& file : node.files()) {
    SODcmSR sr;
    std::string modality;
    if (!sr.LoadFile(file.string().c_str(), true) || !sr.GetDataset()->GetString(0x00080060, modality) ||
        modality != "SR")
      continue;
    std::string creator, kind, institution, series, seriesUID, flag;
    SODcmDataset* dataset = sr.GetDataset();
    dataset->GetString(0x07390010, creator);
    dataset->GetString(0x07391000, kind);
    dataset->GetString(0x00080080, institution);
    dataset->GetString(0x00200011, series);
    dataset->GetString(0x0020000E, seriesUID);
    dataset->GetString(0x0040A493, flag);
    flags.insert(flag);
    EXPECT_EQ(creator, "Orvanta01");
    EXPECT_EQ(kind, "TYPE_DIAG");
    EXPECT_EQ(institution, "City Hospital");
    EXPECT_EQ(series.size(), 8u) << series;  // yyMMddNN
    EXPECT_EQ(seriesUID, mine[0].study.reportSeriesUID);
    std::wstring finding, conclusion, author;
    sr.GetFinding(finding);
    sr.GetConclusion(conclusion);
    sr.GetAuthorObserverName(author);
    EXPECT_EQ(finding, L"肝脏形态正常");
    EXPECT_EQ(conclusion, L"未见异常");
    EXPECT_EQ(author, L"Dr. B");
  }
  EXPECT_EQ(flags, (std::set<std::string>{"UNVERIFIED", "VERIFIED"}));

  // A: the poll brings the verified order, its report is fetched by itself, and the row offers
  // it: the verified version.
  clientRow = RowOf(pluginHwnd, L"CLinkMyWindow", order.orderNumber);
  ASSERT_NE(clientRow, nullptr);
  CButtonUI* open = RowButton(clientRow, 10, 2);
  ASSERT_TRUE(Pump([&] { return open && open->IsVisible(); }, 60000)) << node.log();
  std::vector<InstanceRecord> versions;
  local->GetSeriesInstanceRecords({mine[0].study.reportSeriesUID}, versions);
  ASSERT_FALSE(versions.empty());
  SODcmSR received;
  ASSERT_TRUE(received.LoadFile(versions.back().storePath.c_str(), true));
  std::string flag;
  received.GetDataset()->GetString(0x0040A493, flag);
  EXPECT_EQ(flag, "VERIFIED");

  GetJorvel()->Logout();
  ASSERT_TRUE(Pump([&] { return FirstChild(pluginHwnd, L"CLinkTeamWindow") == nullptr; }));
  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}

}  // namespace

TEST(QuillonInProgram, ConsultationRoadWithOrthancAtItsDefaultsAsTheNode) {
  peer::OrthancPeer orthanc("ORVANTA", Station().listener);
  ASSERT_TRUE(orthanc.Ready());
  ConsultationRoad(
      {peer::OrthancPeer::kAETitle, orthanc.port, [&] { return StoredFiles(orthanc.dir / "storage"); },
       [&] { return orthanc.process->Log(); }},
      "1.2.826.0.1.3680043.2.1125.95.1");
}

// The program's own receiving service as the node: what it receives goes into the local store.
TEST(QuillonInProgram, ConsultationRoadWithTheReceivingServiceAsTheNode) {
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.95.2";
  auto kept = [studyUID] {
    std::vector<InstanceRecord> instances;
    Gossamy::LocalDB()->GetStudyInstanceRecords({studyUID}, instances);
    std::vector<fs::path> files;
    for (const InstanceRecord& instance : instances) files.push_back(instance.storePath);
    return files;
  };
  ConsultationRoad({"CONSULT", Station().service, kept, [] { return std::string(); }}, studyUID);
}
