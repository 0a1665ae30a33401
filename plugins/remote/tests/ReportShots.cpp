// The consultation report editor and its content panel for the shots tool: a consultation
// service in process with a reading team, one order whose images are in the team's store, and
// an order node that refuses (so a submit shows the error page).

#include <filesystem>

#include "ConsultFixture.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "HostWindow.h"
#include "IArchiveDB.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "LinkManager.h"
#include "MServer.h"
#include "RemoteSession.h"
#include "ReportDlg.h"
#include "SODcmSR.h"
#include "Shots.h"
#include "TeamLink.h"
#include "TeamOrder.h"
#include "UITestDriver.h"
#include "Waiting.h"

using namespace DuiLib;

namespace {

const wchar_t kFindingText[] =
    L"右肺上叶尖段见一约 8 mm 磨玻璃结节，边界清楚；纵隔内未见肿大淋巴结。\n"
    L"Ground-glass nodule of about 8 mm in the apical right upper lobe; no enlarged mediastinal nodes.";
const wchar_t kConclusionText[] = L"右肺上叶磨玻璃结节，建议 6 个月后复查。";

struct ReportDemo {
  ConsultFixture service;
  TeamRecord team;
};

// Started once for the tool's run; the web client is pointed at it again for every shot.
ReportDemo& TheReportDemo() {
  static ReportDemo* demo = [] {
    auto* d = new ReportDemo;
    d->service.Start();
    Web_SetSettings({d->service.BaseUrl(), 2000, 5000});
    d->service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", 9}});
    d->service.AddUser("client", "pw", "13800000001", "仁和县人民医院");
    d->service.AddUser("reporter", "pw", "13800000002", "李医生");
    d->service.AddUser("verifier", "pw", "13800000003", "王医生");
    WebError error;
    GetJorvel()->Login("verifier", "pw", &error);
    const JorvelUserInfo verifier = *GetJorvel()->GetUserInfo();
    GetJorvel()->Login("reporter", "pw", &error);
    const std::string mobile = "13800000002";
    Web_VerifyCode(&mobile, &error);
    Web_TeamCreate("胸部影像会诊组", "Chest CT", mobile, d->service.SmsCode(mobile), &d->team, &error);
    std::vector<JorvelUserInfo> users{verifier};
    Web_TeamMemberAdd(d->team.id, &users, &d->team, &error);
    for (const MemberRecord& member : std::vector<MemberRecord>(d->team.members)) {
      if (member.user.id == verifier.id) Web_MemberSetPermission(member.id, false, true, &d->team, &error);
      if (member.user.userName == "reporter") Web_MemberSetSignedName(member.id, "李明", &d->team, &error);
    }

    GetJorvel()->Login("client", "pw", &error);
    const std::string studyUID = "1.2.826.0.1.3680043.2.1125.501";
    DiagnosticCreateRequest request;
    request.teamId = d->team.id;
    request.modalities = "CT";
    request.patientName = "王芳";
    request.patientID = "P501";
    request.patientSex = "F";
    request.patientAge = "067Y";
    request.studyDate = "20251210";
    request.studyUID = studyUID;
    request.seriesUIDs = {studyUID + ".1"};
    request.imageCount = 2;
    DiagnosticRecord order;
    if (Web_DiagnosticCreate(&request, &order, &error)) Web_DiagnosticActivate(order.id, &order, &error);

    orvanta::fixtures::CtSeriesOptions options;
    options.slices = 2;
    options.rows = options.columns = 32;
    options.patientId = "P501";
    options.patientName = "Wang^Fang";
    options.studyUid = studyUID;
    options.seriesUid = studyUID + ".1";
    const auto folder = std::filesystem::temp_directory_path() / "orvanta_report_shots";
    std::filesystem::create_directories(folder);
    const auto series = orvanta::fixtures::WriteCtSeries(folder, options);
    IKelvast* store = Gossamy::ArchiveDB()->OpenStore("CONSULT", nullptr);
    for (const auto& file : series.files) store->QueueFilePath(file.string().c_str());
    store->CommitQueue();
    Gossamy::ArchiveDB()->ReleaseStore(store);
    GetJorvel()->Logout();
    return d;
  }();
  Web_SetSettings({demo->service.BaseUrl(), 2000, 5000});
  return *demo;
}

// The demo order as the user's team holds it after a poll.
std::shared_ptr<TeamOrder> OrderAs(const char* user) {
  TheReportDemo();
  WebError error;
  GetJorvel()->Login(user, "pw", &error);
  const JorvelUserInfo me = *GetJorvel()->GetUserInfo();
  RemoteSession::SetCurrentUser(me);
  MServer::Instance().SetUser(me);
  MServer::Instance().Poll();
  std::shared_ptr<TeamLink> link = LinkManager::Instance().Find(TheReportDemo().team.id);
  if (!link || link->Orders().empty()) return nullptr;
  return std::dynamic_pointer_cast<TeamOrder>(link->Orders()[0]);
}

void LogOut() {
  GetJorvel()->Logout();
  MServer::Instance().Stop();
  RemoteSession::SetCurrentUser(JorvelUserInfo());
}

// An editor over a host window, its edits taken at once; closed without asking (and so
// unlocking as it goes).
struct Editor {
  shots::Window window;
  CReportDlg* editor = nullptr;
};

Editor OpenEditor(int mode, const std::shared_ptr<TeamOrder>& order, bool writeTexts) {
  if (!order) return {};
  CReportDlg::SetBindDelay(0);
  HWND host = MakeHostWindow(1190, 760);
  CReportDlg* editor = CReportDlg::Open(mode, order, host, L"CReportDlg");
  if (!editor) {
    DestroyWindow(host);
    return {};
  }
  SOWin::PumpEvents(30);
  if (writeTexts) {
    CPaintManagerUI& pm = *editor->GetPaintManager();
    UITest::SetText(pm, L"findingEdit", kFindingText);
    UITest::SetText(pm, L"conclusionEdit", kConclusionText);
    UITest::KillFocus(pm);
  }
  const HWND hwnd = editor->GetHWND();
  return {{hwnd,
           [hwnd, host] {
             DestroyWindow(hwnd);
             DestroyWindow(host);
             SOWin::PumpEvents(20);
             LogOut();
           }},
          editor};
}

}  // namespace

ORVANTA_SHOT("remote/report_dlg") {
  return OpenEditor(CReportDlg::kWrite, OrderAs("reporter"), true).window;
}

// The verifier while the reporter holds the lock: everything read-only.
ORVANTA_SHOT("remote/report_dlg_locked") {
  if (std::shared_ptr<TeamOrder> own = OrderAs("reporter")) own->Lock();
  shots::Window window = OpenEditor(CReportDlg::kVerify, OrderAs("verifier"), false).window;
  std::function<void()> close = window.close;
  window.close = [close] {
    if (close) close();
    if (std::shared_ptr<TeamOrder> own = OrderAs("reporter")) own->UnLock();
    LogOut();
  };
  return window;
}

// A submit the order's node refuses: the overlay's error page.
ORVANTA_SHOT("remote/report_dlg_error") {
  Editor opened = OpenEditor(CReportDlg::kWrite, OrderAs("reporter"), true);
  if (!opened.editor) return {};
  UIX_Waiting::SetResultDelay(60000);
  CPaintManagerUI& pm = *opened.editor->GetPaintManager();
  UITest::Click(pm, L"submitBtn");
  CReportDlg* editor = opened.editor;
  SOWin::PumpUntil([editor] { return !editor->Busy(); }, 5000);
  SOWin::PumpEvents(20);
  std::function<void()> close = opened.window.close;
  opened.window.close = [close] {
    UIX_Waiting::SetResultDelay(1500);
    close();
  };
  return opened.window;
}

// The content panel on its own, filled from a report.
ORVANTA_SHOT("remote/report_content") {
  HWND host = MakeHostWindow(900, 700);
  auto* panel = new CSRContentWnd;
  if (!panel->Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0)) {
    DestroyWindow(host);
    return {};
  }
  SODcmSR sr;
  SODcmDataset* ds = sr.GetDataset();
  ds->SetString(0x00100010, L"王芳");
  ds->SetString(0x00100020, "P501");
  ds->SetString(0x00100040, "F");
  ds->SetString(0x00101010, "067Y");
  ds->SetString(0x00080020, "20251210");
  ds->SetString(0x0040A030, "20251211093000");
  sr.SetAcquisitionModality(L"CT");
  sr.SetFinding(kFindingText);
  sr.SetConclusion(kConclusionText);
  sr.SetAuthorObserverName(L"李明");
  sr.SetVerifyingObserverName(L"王医生");
  panel->FillFromSR(panel->AttributePanel(), &sr);
  panel->ShowWindow(true, false);
  SOWin::PumpEvents(20);
  const HWND hwnd = panel->GetHWND();
  return {hwnd, [panel, host] {
            DestroyWindow(panel->GetHWND());
            delete panel;
            DestroyWindow(host);
          }};
}
