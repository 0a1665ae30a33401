// The study database window and its dialogs as users see them, for the shots tool.

#include "Shots.h"
#include "CFilmDlg.h"
#include "SettingsDialogs.h"
#include "StudyDialogs.h"
#include "UITestDriver.h"
#include "tests/StudyWindowHarness.h"

using namespace DuiLib;
using namespace studytest;

namespace {

// A store of a few studies in the shot's scratch folder; one with two reports.
IKelvast* ShotStore(const shots::Context& ctx) {
  IKelvast* store = BuildDB((ctx.scratch / "store").c_str());
  AddStudy(store, ctx.scratch / "a", {"CT20240301", "Zhang^Wei", 2, 6, 2});
  AddStudy(store, ctx.scratch / "b", {"CT20240302", "Li^Na", 1, 4});
  AddStudy(store, ctx.scratch / "c", {"CT20240303", "Wang^Fang", 3, 3});
  return store;
}

RecordingHost& ShotHost() {
  static RecordingHost host;
  return host;
}

// Opens a modal dialog with `open` and saves it from inside its loop, then closes it.
template <class Open>
shots::Window SaveModal(const shots::Context& ctx, const wchar_t* windowClass, Open open) {
  UITest::OnModal(windowClass, [&ctx](CWindowWnd* w) {
    SOWin::PumpEvents(30);
    ctx.save(w->GetHWND());
    w->Close(IDCANCEL);
  });
  open();
  return {};
}

}  // namespace

ORVANTA_SHOT("db/study_window") {
  ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage");
  IKelvast* store = ShotStore(ctx);
  auto* window = OpenStudyWindow(store, &ShotHost(), 1180, 720);
  UITest::SelectItem(*window->GetPaintManager(), L"studyList", 0);
  SOWin::PumpEvents(400);
  return {window->GetHWND(), [window, store] {
            CloseStudyWindow(window);
            ReleaseDB(store);
          }};
}

ORVANTA_SHOT("db/send_dialog") {
  ArchiveConfig& config = ArchiveConfig::Instance();
  config.AddRemote({"PACS", "PACS_SCP", "192.168.1.20", 104});
  config.AddRemote({"影像归档", "ARCHIVE", "192.168.1.21", 11112});
  config.AddRemote({"Workstation 2", "WS2", "ws2.local", 4006});
  SaveModal(ctx, L"SOSendDlg", [] {
    tabrisk::SOSendDlg dialog;
    dialog.Create(nullptr, L"SOSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  });
  while (config.RemoveRemote(0)) {
  }
  return {};
}

ORVANTA_SHOT("db/report_dialog") {
  IKelvast* store = BuildDB((ctx.scratch / "store").c_str());
  const std::string id = AddStudy(store, ctx.scratch / "a", {"CT20240301", "Zhang^Wei", 1, 2, 3});
  PatientRecord record;
  store->GetPatientRecord(id.c_str(), record, false);
  SaveModal(ctx, L"CReportDialog", [&] {
    tabrisk::CReportDialog dialog(record, store, &ShotHost());
    dialog.Create(nullptr, L"CReportDialog", 0x80C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  });
  ReleaseDB(store);
  return {};
}

ORVANTA_SHOT("db/support_dialog") {
  return SaveModal(ctx, L"SupportDlg", [] {
    tabrisk::SupportDlg dialog;
    dialog.Create(nullptr, L"SupportDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  });
}

ORVANTA_SHOT("db/remote_node_dialog") {
  UITest::OnModal(L"SORemoteDlg", [&ctx](CWindowWnd* w) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(w)->GetPaintManager();
    UITest::SetText(pm, L"nameEdit", L"影像归档");
    UITest::SetText(pm, L"addrEdit", L"192.168.1.21");
    UITest::SetText(pm, L"portEdit", L"11112");
    UITest::SetText(pm, L"calledAEEdit", L"ARCHIVE");
    UITest::KillFocus(pm);
    ctx.save(w->GetHWND());
    w->Close(IDCANCEL);
  });
  tabrisk::SORemoteDlg dialog;
  dialog.Create(nullptr, L"SORemoteDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  dialog.ShowModal();
  return {};
}

// The settings on one of their pages, with two remote nodes.
static shots::Window SettingsShot(const shots::Context& ctx, bool remotePage) {
  ArchiveConfig& config = ArchiveConfig::Instance();
  config.AddRemote({"PACS", "PACS_SCP", "192.168.1.20", 104});
  config.AddRemote({"影像归档", "ARCHIVE", "192.168.1.21", 11112});
  UITest::OnModal(L"SOSettingDlg", [&ctx, remotePage](CWindowWnd* w) {
    if (remotePage) UITest::Click(*static_cast<WindowImplBase*>(w)->GetPaintManager(), L"remoteOpt");
    SOWin::PumpEvents(30);
    ctx.save(w->GetHWND());
    w->Close(IDCANCEL);
  });
  {
    tabrisk::SOSettingDlg dialog;
    dialog.Create(nullptr, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  }
  while (config.RemoveRemote(0)) {
  }
  return {};
}

ORVANTA_SHOT("db/settings_general") { return SettingsShot(ctx, false); }
ORVANTA_SHOT("db/settings_remote_nodes") { return SettingsShot(ctx, true); }

ORVANTA_SHOT("db/cloud_send_dialog") {
  ArchiveConfig& config = ArchiveConfig::Instance();
  config.AddCloudDevice("123456789");
  config.AddCloudDevice("987654321");
  SaveModal(ctx, L"CloudSendDlg", [] {
    tabrisk::CloudSendDlg dialog;
    dialog.Create(nullptr, L"CloudSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  });
  while (config.RemoveCloudDevice(0)) {
  }
  return {};
}

ORVANTA_SHOT("db/film_dialog") {
  IKelvast* store = BuildDB((ctx.scratch / "store").c_str());
  const std::string id = AddStudy(store, ctx.scratch / "a", {"CT20240301", "Zhang^Wei", 3, 8});
  PatientRecord record;
  store->GetPatientRecord(id.c_str(), record, true);
  UITest::OnModal(L"CFilmDlg", [&ctx](CWindowWnd* w) {
    UITest::Click(*static_cast<WindowImplBase*>(w)->GetPaintManager(), L"2X2Btn");
    SOWin::PumpEvents(400);
    ctx.save(w->GetHWND());
    w->Close(IDCANCEL);
  });
  {
    tabrisk::CFilmDlg dialog(record);
    dialog.Create(nullptr, L"CFilmDlg", 0x00CF0000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
  }
  ReleaseDB(store);
  return {};
}
