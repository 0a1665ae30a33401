// A team member's report written in the running program and submitted with Orthanc as the
// order's DICOM node: the row's write button opens the editor, the submit sends the consultation
// report to Orthanc and reports it to the service.
//
// The order's images are put into the team's store (named after the node) by the test: the
// network store's download first asks the node, by a storage commitment request that names only
// the study, to list what it holds of it; Orthanc answers a commitment request only for the
// instances it references, so a download from Orthanc finds nothing to fetch. That step is
// exercised against our consultation node in the peer tests.

#include <gtest/gtest.h>

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

bool Pump(const std::function<bool()>& condition, int ms = 15000) { return SOWin::PumpUntil(condition, ms); }

// Every DICOM file Orthanc keeps (it stores them uncompressed, one file each).
std::vector<fs::path> StoredFiles(const fs::path& storage) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(storage, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(it->path());
  return files;
}

}  // namespace

TEST(QuillonInProgram, ReportWrittenInTheEditorReachesOrthancAsTheOrdersNode) {
  orvanta::test::EnsureQtApp();
  peer::OrthancPeer orthanc("ORVANTA", orvanta::test::FreeLoopbackPort());
  ASSERT_TRUE(orthanc.Ready());
  ConsultFixture service;
  ASSERT_GT(service.Start(), 0);
  Web_SetSettings({service.BaseUrl(), 2000, 5000});
  service.Admin("SetNode", {{"aeTitle", peer::OrthancPeer::kAETitle}, {"host", "127.0.0.1"}, {"port", orthanc.port}});
  service.AddUser("client", "pw", "13800000001", "Client A");
  service.AddUser("reporter", "pw", "13800000002", "Reporter B");

  // Reporter B's team (B writes and verifies, signs as "Dr. B") and client A's active order.
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
  const std::string studyUID = "1.2.826.0.1.3680043.2.1125.95.1";
  DiagnosticCreateRequest request;
  request.teamId = team.id;
  request.modalities = "CT";
  request.patientName = "Li^Na";
  request.patientID = "P1";
  request.patientAge = "045Y";
  request.studyDate = "20251210";
  request.studyUID = studyUID;
  request.seriesUIDs = {studyUID + ".1"};
  DiagnosticRecord order;
  ASSERT_TRUE(Web_DiagnosticCreate(&request, &order, &error)) << error.code;
  ASSERT_TRUE(Web_DiagnosticActivate(order.id, &order, &error)) << error.code;
  GetJorvel()->Logout();

  // The images in the team's store, as a finished download leaves them.
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 2;
  ct.rows = ct.columns = 16;
  ct.patientId = "P1";
  ct.studyUid = studyUID;
  ct.seriesUid = studyUID + ".1";
  IKelvast* nodeStore = Gossamy::ArchiveDB()->OpenStore(peer::OrthancPeer::kAETitle, nullptr);
  ASSERT_NE(nodeStore, nullptr);
  for (const auto& file : orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("node"), ct).files)
    nodeStore->QueueFilePath(file.string().c_str());
  nodeStore->CommitQueue();
  nodeStore->SetValue("HasDownload", "true");
  Gossamy::ArchiveDB()->ReleaseStore(nodeStore);

  const fs::path dir = orvanta::test::ProgramWithPlugins({"libQuillon.so"});
  auto frame = orvanta::test::StartFrame(dir, {"libQuillon.so"});
  ASSERT_NE(frame, nullptr);
  HWND pluginHwnd = frame->GetPlugins().at(0).window;
  ASSERT_TRUE(frame->ActivatePlugin(L"Quillon"));

  // B chooses the team's entry: its list shows the order with its write button.
  ASSERT_TRUE(GetJorvel()->Login("reporter", "pw", &error));
  WindowImplBase* teamWindow = nullptr;
  CListUI* list = nullptr;
  CContainerUI* entries = nullptr;
  ASSERT_TRUE(Pump([&] {
    teamWindow = FirstChild(pluginHwnd, L"CLinkTeamWindow");
    list = teamWindow ? dynamic_cast<CListUI*>(teamWindow->GetPaintManager()->FindControl(L"orderList")) : nullptr;
    entries = dynamic_cast<CContainerUI*>(WindowOf(pluginHwnd)->GetPaintManager()->FindControl(L"entry_list"));
    return list && list->GetCount() == 1 && entries && entries->GetCount() == 1;
  }));
  auto* entry = dynamic_cast<CContainerUI*>(dynamic_cast<CContainerUI*>(entries->GetItemAt(0))->GetItemAt(0));
  ASSERT_TRUE(UITest::Click(entry->GetItemAt(0)));
  auto* cells = dynamic_cast<CContainerUI*>(dynamic_cast<CContainerUI*>(list->GetItemAt(0))->GetItemAt(0));
  ASSERT_NE(cells, nullptr);
  auto* write = dynamic_cast<CButtonUI*>(dynamic_cast<CContainerUI*>(cells->GetItemAt(13))->GetItemAt(2));
  ASSERT_NE(write, nullptr);
  ASSERT_TRUE(Pump([&] { return write->IsVisible(); }));
  ASSERT_TRUE(UITest::Click(write));

  // The editor: B's lock, signed name; the finding and conclusion typed, then submitted.
  HWND editorHwnd = nullptr;
  ASSERT_TRUE(Pump([&] { return (editorHwnd = FindWindowW(L"CReportDlg", nullptr)) != nullptr; }));
  WindowImplBase* editor = WindowOf(editorHwnd);
  ASSERT_NE(editor, nullptr);
  CPaintManagerUI& pm = *editor->GetPaintManager();
  UITest::ProcessEvents(400);  // the editor takes its edits a moment after it opens
  EXPECT_EQ(std::wstring(pm.FindControl(L"authorEdit")->GetText().GetData()), L"Dr. B");
  ASSERT_TRUE(UITest::SetText(pm, L"findingEdit", L"肝脏形态正常"));
  ASSERT_TRUE(UITest::SetText(pm, L"conclusionEdit", L"未见异常"));
  ASSERT_TRUE(UITest::Click(pm, L"submitBtn"));
  ASSERT_TRUE(Pump([&] { return !IsWindow(editorHwnd); }, 30000)) << "a successful submit closes the editor";

  // The service has the report; Orthanc holds the document with the consultation marker.
  ASSERT_TRUE(GetJorvel()->Login("client", "pw", &error));
  std::vector<DiagnosticRecord> mine;
  int stamp = 0;
  ASSERT_TRUE(Web_DiagnosticListOfMy(&mine, "", 20, &stamp, &error));
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].state, "REPORTED");
  EXPECT_EQ(mine[0].reportFinding, "肝脏形态正常");
  EXPECT_EQ(mine[0].reportAuthorName, "Dr. B");
  EXPECT_FALSE(mine[0].locked) << "the editor let go of its lock when it closed";
  int reports = 0;
  for (const fs::path& file : StoredFiles(orthanc.dir / "storage")) {
    SODcmSR sr;
    std::string modality;
    if (!sr.LoadFile(file.string().c_str(), true) || !sr.GetDataset()->GetString(0x00080060, modality) ||
        modality != "SR")
      continue;
    ++reports;
    std::string creator, kind, institution, series, seriesUID;
    SODcmDataset* dataset = sr.GetDataset();
    dataset->GetString(0x07390010, creator);
    dataset->GetString(0x07391000, kind);
    dataset->GetString(0x00080080, institution);
    dataset->GetString(0x00200011, series);
    dataset->GetString(0x0020000E, seriesUID);
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
  EXPECT_EQ(reports, 1);

  GetJorvel()->Logout();
  ASSERT_TRUE(Pump([&] { return FirstChild(pluginHwnd, L"CLinkTeamWindow") == nullptr; }));
  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}
