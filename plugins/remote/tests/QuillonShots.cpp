// The plug-in's windows as users see them, for the shots tool: a consultation service in
// process with a client hospital, a reading team and a handful of orders.

#include <cstdio>
#include <memory>

#include "ConsultFixture.h"
#include "DiagCreateDlg.h"
#include "DicomFixtures.h"
#include "HostWindow.h"
#include "IKelvast.h"
#include "ISOLumexa.h"
#include "MemberDialogs.h"
#include "TeamDialogs.h"
#include "TeamWnd.h"
#include "Jorvel.h"
#include "LinkManager.h"
#include "LinkWindows.h"
#include "MServer.h"
#include "QuillonWnd.h"
#include "SeriesListWnd.h"
#include "Shots.h"
#include "TestSupport.h"
#include "TeamLink.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

struct Demo {
  ConsultFixture service;
  TeamRecord team;
};

// Started once for the tool's run; every shot logs in as the user it shows, and points the web
// client at it again, since other windows' shots point it elsewhere.
Demo& TheDemo() {
  static Demo* demo = [] {
    auto* d = new Demo;
    d->service.Start();
    Web_SetSettings({d->service.BaseUrl(), 2000, 5000});
    d->service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", 9}});
    d->service.AddUser("client", "pw", "13800000001", "仁和县人民医院");
    d->service.AddUser("reporter", "pw", "13800000002", "李医生");
    WebError error;
    GetJorvel()->Login("reporter", "pw", &error);
    const std::string mobile = "13800000002";
    Web_VerifyCode(&mobile, &error);
    Web_TeamCreate("胸部影像会诊组", "Chest CT and radiographs", mobile, d->service.SmsCode(mobile), &d->team, &error);
    GetJorvel()->Login("client", "pw", &error);
    const struct {
      const char* name;
      const char* sex;
      const char* age;
      const char* modality;
      const char* state;
    } orders[] = {{"张伟", "M", "045Y", "CT", "NEW"},          {"李娜", "F", "032Y", "CT,MR", "WAITING"},
                  {"王芳", "F", "067Y", "MR", "VERIFIED"},     {"Chen Jie", "M", "008Y", "DX", "CANCELLED"},
                  {"赵磊", "M", "051Y", "CT", "FAILED"}};
    int64_t now = 1765400000;
    for (const auto& o : orders) {
      d->service.Admin("SetClock", {{"now", now += 3600}});
      DiagnosticCreateRequest request;
      request.teamId = d->team.id;
      request.modalities = o.modality;
      request.patientName = o.name;
      request.patientID = std::string("P") + std::to_string(now % 1000);
      request.patientSex = o.sex;
      request.patientAge = o.age;
      request.studyDate = "20251210";
      request.studyUID = "1.2.826.0.1." + std::to_string(now);
      request.seriesUIDs = {request.studyUID + ".1"};
      request.imageCount = 120;
      DiagnosticRecord answer;
      if (!Web_DiagnosticCreate(&request, &answer, &error)) {
        std::fprintf(stderr, "demo order not created: %s %s\n", error.code.c_str(), error.message.c_str());
        continue;
      }
      if (std::string(o.state) == "WAITING") {
        Web_DiagnosticActivate(answer.id, &answer, &error);
      } else if (std::string(o.state) != "NEW") {
        d->service.Admin("SetOrderState", {{"id", answer.id}, {"state", o.state}});
      }
    }
    // The balance ran low since: the team is asked to recharge.
    d->service.Admin("SetTeam", {{"teamId", d->team.id}, {"chargeMode", "PAID"}, {"platformFee", "20"}, {"totalAmount", "5"}});
    GetJorvel()->Logout();
    return d;
  }();
  Web_SetSettings({demo->service.BaseUrl(), 2000, 5000});
  return *demo;
}

struct Opened {
  HWND host = nullptr;
  // Shared with the shot's close; the window goes with the last copy, after its host.
  std::shared_ptr<CQuillonWnd> plugin;
};

// The plug-in window in a plain host window of the main panel's size.
Opened OpenPlugin(const char* user) {
  TheDemo();
  Opened opened;
  opened.host = MakeHostWindow(1190, 680);
  ShowWindow(opened.host, SW_SHOW);
  opened.plugin = std::make_shared<CQuillonWnd>();
  opened.plugin->CreateWnd(opened.host, 0, 0, 1190, 680);
  if (user) {
    WebError error;
    GetJorvel()->Login(user, "pw", &error);
    SOWin::PumpUntil([&] { return !opened.plugin->Entries().empty(); }, 3000);
    // The first poll: the own orders and the teams with their orders.
    SOWin::PumpUntil(
        [&] {
          const auto& entries = opened.plugin->Entries();
          return entries.size() > 1 ? !entries.back()->window->Items().empty()
                                    : !entries.empty() && !entries[0]->window->Items().empty();
        },
        3000);
  }
  SOWin::PumpEvents(50);
  return opened;
}

void Close(const Opened& opened) {
  GetJorvel()->Logout();
  SOWin::PumpEvents(20);
  MServer::Instance().Stop();
  DestroyWindow(opened.host);
  SOWin::PumpEvents(20);
}

}  // namespace

ORVANTA_SHOT("remote/main_logged_out") {
  Opened opened = OpenPlugin(nullptr);
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

ORVANTA_SHOT("remote/my_orders") {
  Opened opened = OpenPlugin("client");
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

// The side bar after a poll the service did not answer.
ORVANTA_SHOT("remote/my_orders_service_failure") {
  Opened opened = OpenPlugin("client");
  MServer::Instance().SetIndicatorCall([](NotifyIndicator*, WebError* error) {
    error->code = "20000";
    return false;
  });
  MServer::Instance().Poll();
  MServer::Instance().SetIndicatorCall(nullptr);
  SOWin::PumpEvents(200);
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

// The order still to upload after its upload failed.
ORVANTA_SHOT("remote/my_orders_upload_failed") {
  Opened opened = OpenPlugin("client");
  CLinkWindow* window = opened.plugin->Entries().empty() ? nullptr : opened.plugin->Entries()[0]->window;
  if (window)
    for (OrderUI* item : window->Items())
      if (item->Order() && item->Order()->Record().state == "NEW") {
        DCMUpload upload;
        upload.key = item->Order()->Record().study.transferKey;
        DCMFinish failed{0, 0, 120};
        item->Order()->OnUploadFinished(&upload, &failed);
      }
  SOWin::PumpEvents(200);
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

ORVANTA_SHOT("remote/team_orders") {
  Opened opened = OpenPlugin("reporter");
  const auto& entries = opened.plugin->Entries();
  if (entries.size() > 1) entries[1]->Option()->Selected(true, true);
  SOWin::PumpEvents(50);
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

// The verified order selected: its series from the local store, the first one in the view, and
// the report summary.
ORVANTA_SHOT("remote/my_orders_series") {
  Opened opened = OpenPlugin("client");
  CLinkWindow* window = opened.plugin->Entries().empty() ? nullptr : opened.plugin->Entries()[0]->window;
  OrderUI* chosen = nullptr;
  if (window)
    for (OrderUI* item : window->Items())
      if (item->Order() && item->Order()->Record().patientName == "王芳") chosen = item;
  if (chosen) {
    OrderObject* order = chosen->Order();
    DiagnosticRecord record = order->Record();
    IKelvast* store = order->Store();
    const struct {
      int slices;
      const char* suffix;
    } series[] = {{12, ".1"}, {4, ".2"}};
    for (const auto& s : series) {
      orvanta::fixtures::CtSeriesOptions options;
      options.slices = s.slices;
      options.patientName = "Wang^Fang";
      options.patientId = record.study.patientID;
      options.studyUid = record.study.studyUID;
      options.seriesUid = record.study.studyUID + s.suffix;
      for (const auto& file : orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("shot"), options).files)
        store->QueueFilePath(file.string().c_str());
    }
    store->CommitQueue();
    record.study.seriesUIDs = {record.study.studyUID + ".1", record.study.studyUID + ".2"};
    record.comments = "右肺上叶结节复查，请对比去年 CT。";
    record.reportAuthorName = "李医生";
    record.reportVerifierName = "周主任";
    record.reportFinding = "右肺上叶见一磨玻璃结节，约 6 mm，边界清楚。";
    record.verifyConclusion = "右肺上叶磨玻璃结节，建议 6 个月后复查。";
    record.reportUpdatedTime = 1765420000;
    order->Update(record, false);
    auto* list = dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(L"orderList"));
    list->SelectItem(list->GetItemIndex(chosen->Root()), false, true);
    SOWin::PumpUntil(
        [&] {
          CSeriesListWnd* panel = window->SeriesWnd();
          ISOSeriesWnd* shown = panel && panel->View() ? panel->View()->GetSeriesWnd(0) : nullptr;
          return shown && shown->GetImageObjectCount() > 0;
        },
        3000);
    SOWin::PumpEvents(100);
  }
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

namespace {

PatientRecord DemoStudy() {
  PatientRecord study;
  study.id = "P0042_1.2.826.0.1.42";
  study.patientName = "张伟";
  study.patientID = "P0042";
  study.patientSex = "M";
  study.patientAge = "045Y";
  study.studyUID = "1.2.826.0.1.42";
  const struct {
    const char* number;
    const char* type;
    const char* modality;
    int images;
    const char* thickness;
  } series[] = {{"1", "ORIGINAL\\PRIMARY\\AXIAL", "CT", 245, "1.25"},
                {"2", "DERIVED\\SECONDARY\\REFORMATTED", "CT", 60, "5"},
                {"99", "", "SR", 1, ""}};
  for (const auto& s : series) {
    SeriesRecord record;
    record.seriesNumber = s.number;
    record.imageType = s.type;
    record.modality = s.modality;
    record.sliceThickness = s.thickness;
    record.seriesUID = study.studyUID + "." + s.number;
    record.instances.resize(s.images);
    study.series.push_back(record);
  }
  return study;
}

// The dialog saved from inside its loop; `prepare` sets it up first.
void SaveCreationDialog(const shots::Context& ctx, std::function<void(DiagCreateDlg*)> prepare) {
  TheDemo();
  UITest::OnModal(L"SOBuilderDlg", [&ctx, prepare](CWindowWnd* w) {
    auto* dialog = static_cast<DiagCreateDlg*>(w);
    if (prepare) prepare(dialog);
    SOWin::PumpEvents(30);
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  DiagCreateDlg::Run(DemoStudy(), nullptr, true);
}

}  // namespace

ORVANTA_SHOT("remote/diag_create_dlg") {
  SaveCreationDialog(ctx, [](DiagCreateDlg* dialog) {
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    pm.FindControl(L"commentsEdit")->SetText(L"Chest pain for 3 days; please compare with the CT of last year.");
  });
  return {};
}

ORVANTA_SHOT("remote/diag_create_searching") {
  SaveCreationDialog(ctx, [](DiagCreateDlg* dialog) {
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    pm.FindControl(L"teamSearchEdit")->SetText(L"T2046");
    pm.FindControl(L"teamSearchDeleteLikeBtn")->SetVisible(true);
    static_cast<CTabLayoutUI*>(pm.FindControl(L"teamSearchTabLayout"))->SelectItem(2, false);
  });
  return {};
}

ORVANTA_SHOT("remote/diag_create_waiting") {
  SaveCreationDialog(ctx, [](DiagCreateDlg* dialog) {
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    auto* layout = static_cast<CTabLayoutUI*>(pm.FindControl(L"waitingLayout"));
    layout->SelectItem(2, false);
    layout->SetVisible(true);
    pm.FindControl(L"waitingErrorLabel")->SetText(ui_gettext(L"Report upload failed!"));
  });
  return {};
}

namespace {

// A modal dialog of class windowClass saved from inside its loop after `prepare`.
void SaveModal(const shots::Context& ctx, const wchar_t* windowClass, std::function<void(WindowImplBase*)> prepare,
               const std::function<void()>& open) {
  TheDemo();
  UITest::OnModal(windowClass, [&ctx, prepare](CWindowWnd* w) {
    auto* dialog = static_cast<WindowImplBase*>(w);
    if (prepare) prepare(dialog);
    SOWin::PumpEvents(30);
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  open();
}

}  // namespace

ORVANTA_SHOT("remote/team_create_dlg") {
  SaveModal(
      ctx, L"CTeamCreateDlg",
      [](WindowImplBase* dialog) {
        CPaintManagerUI& pm = *dialog->GetPaintManager();
        pm.FindControl(L"teamNameEdit")->SetText(L"神经影像会诊组");
        pm.FindControl(L"teamDescEdit")->SetText(L"Brain MR and CT, answers within 24 hours.");
        pm.FindControl(L"phoneEdit")->SetText(L"13800000002");
        static_cast<CTeamCreateDlg*>(dialog)->OnTick();
        CControlUI* send = pm.FindControl(L"verifyCodeSendBtn");
        send->SetText(L"(42S)");
        send->SetEnabled(false);
      },
      [] { CTeamCreateDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("remote/team_create_dlg_error") {
  SaveModal(
      ctx, L"CTeamCreateDlg",
      [](WindowImplBase* dialog) {
        CPaintManagerUI& pm = *dialog->GetPaintManager();
        pm.FindControl(L"phoneEdit")->SetText(L"1281234567");
        UITest::Click(pm, L"verifyCodeSendBtn");
      },
      [] { CTeamCreateDlg::Run(nullptr); });
  return {};
}

ORVANTA_SHOT("remote/recharge_dlg") {
  SaveModal(ctx, L"CRechargeDlg", nullptr, [] { CRechargeDlg::Run(TheDemo().team, nullptr); });
  return {};
}

ORVANTA_SHOT("remote/recharge_dlg_code") {
  SaveModal(
      ctx, L"CRechargeDlg",
      [](WindowImplBase* dialog) {
        CPaintManagerUI& pm = *dialog->GetPaintManager();
        pm.FindControl(L"chargeAmountEdit")->SetText(L"200");
        UITest::Click(pm, L"nextStepBtn");
      },
      [] {
        WebError error;
        GetJorvel()->Login("reporter", "pw", &error);
        CRechargeDlg::Run(TheDemo().team, nullptr);
        GetJorvel()->Logout();
      });
  return {};
}

ORVANTA_SHOT("remote/recharge_dlg_paid") {
  SaveModal(
      ctx, L"CRechargeDlg",
      [](WindowImplBase* dialog) { SendMessageW(dialog->GetHWND(), CRechargeDlg::kPaidMessage, 0, 0); },
      [] { CRechargeDlg::Run(TheDemo().team, nullptr); });
  return {};
}

namespace {

// The reporter's team window inside the team's order list.
CTeamWnd* OpenTeamWindow(const Opened& opened) {
  const auto& entries = opened.plugin->Entries();
  if (entries.size() < 2) return nullptr;
  entries[1]->Option()->Selected(true, true);
  auto* teamWindow = dynamic_cast<CLinkTeamWindow*>(entries[1]->window);
  if (!teamWindow) return nullptr;
  teamWindow->OpenTeamWnd();
  SOWin::PumpEvents(30);
  return teamWindow->TeamWnd();
}

std::shared_ptr<TeamLink> DemoLink() {
  return LinkManager::Instance().Find(TheDemo().team.id);
}

}  // namespace

ORVANTA_SHOT("remote/team_info_wnd") {
  Opened opened = OpenPlugin("reporter");
  OpenTeamWindow(opened);
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

ORVANTA_SHOT("remote/team_info_black_list") {
  Opened opened = OpenPlugin("reporter");
  if (CTeamWnd* info = OpenTeamWindow(opened)) {
    UITest::Click(*info->GetPaintManager(), L"blackListBtn");
    SOWin::PumpEvents(20);
  }
  return {opened.plugin->GetHWND(), [opened] { Close(opened); }};
}

#define VALUE_DIALOG_SHOT(shot, Class)                                                    \
  ORVANTA_SHOT(shot) {                                                                  \
    Opened opened = OpenPlugin("reporter");                                             \
    if (auto link = DemoLink())                                                         \
      SaveModal(ctx, L"CValueUpdateDlg", nullptr, [link] {                              \
        Class dialog(link);                                                             \
        if (dialog.Create(nullptr, L## #Class, 0x86C80000, 0, 0, 0, 0, 0)) {            \
          dialog.CenterWindow();                                                        \
          dialog.ShowModal();                                                           \
        }                                                                               \
      });                                                                               \
    Close(opened);                                                                      \
    return {};                                                                          \
  }

VALUE_DIALOG_SHOT("remote/value_teamname_dlg", CValueUpdateDlg_TeamName)
VALUE_DIALOG_SHOT("remote/value_teamdesc_dlg", CValueUpdateDlg_TeamDesc)
VALUE_DIALOG_SHOT("remote/value_instname_dlg", CValueUpdateDlg_InstName)
VALUE_DIALOG_SHOT("remote/value_teamtype_dlg", CValueUpdateDlg_TeamType)
VALUE_DIALOG_SHOT("remote/value_member_nickname_dlg", CValueUpdateDlg_MemberSignedName)

ORVANTA_SHOT("remote/member_add_dlg") {
  Opened opened = OpenPlugin("reporter");
  if (auto link = DemoLink())
    SaveModal(
        ctx, L"CMemberAddDlg",
        [](WindowImplBase* dialog) {
          CPaintManagerUI& pm = *dialog->GetPaintManager();
          pm.FindControl(L"searchEdit")->SetText(L"client");
          UITest::Click(pm, L"searchBtn");
        },
        [link] {
          CMemberAddDlg dialog(link);
          if (dialog.Create(nullptr, L"CMemberAddDlg", 0x86C80000, 0, 0, 0, 0, 0)) {
            dialog.CenterWindow();
            dialog.ShowModal();
          }
        });
  Close(opened);
  return {};
}

ORVANTA_SHOT("remote/member_permit_dlg") {
  Opened opened = OpenPlugin("reporter");
  if (auto link = DemoLink())
    SaveModal(ctx, L"CMemberPermitDlg", nullptr, [link] {
      CMemberPermitDlg dialog(link, link->Me());
      if (dialog.Create(nullptr, L"CMemberPermitDlg", 0x86C80000, 0, 0, 0, 0, 0)) {
        dialog.CenterWindow();
        dialog.ShowModal();
      }
    });
  Close(opened);
  return {};
}

ORVANTA_SHOT("remote/member_info_wnd") {
  MemberRecord member;
  member.signedName = "李医生";
  member.editPermit = member.verifyPermit = true;
  member.user.userID = "100002";
  member.user.userName = "reporter";
  member.user.nickName = "Dr. Li";
  member.user.mobile = "13800000002";
  auto* card = new CMemberWnd(member);
  card->Create(nullptr, L"CMemberWnd", 0x80880000, 0, 0, 0, 0, 0);
  SOWin::PumpEvents(20);
  const HWND hwnd = card->GetHWND();
  return {hwnd, [card, hwnd] {
            DestroyWindow(hwnd);
            delete card;
          }};
}
