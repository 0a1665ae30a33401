// The study database window and its dialogs as users see them, for the shots tool.

#include "Shots.h"
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
