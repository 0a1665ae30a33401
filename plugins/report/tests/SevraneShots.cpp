// The report plug-in's windows and dialogs as users see them, for the shots tool.

#include <QImage>
#include <QPainter>

#include <memory>

#include "CaseDlg.h"
#include "CaseLibDlg.h"
#include "CaseLibrary.h"
#include "IWendrel.h"
#include "Jorvel.h"
#include "ReportDialogs.h"
#include "ReportTemplateStore.h"
#include "SODcmSR.h"
#include "SOWinQt.h"
#include "SettingWindow.h"
#include "SevraneWnd.h"
#include "Shots.h"
#include "TestSupport.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

struct Host : CWindowWnd {
  const wchar_t* GetWindowClassName() const override { return L"SevraneShotHost"; }
};

// Stores of the shot's own: the shipped templates and a few model cases.
struct Stores {
  explicit Stores(const shots::Context& ctx)
      : templates((ctx.programDir / "report" / "Template").string() + "/", (ctx.scratch / "imported").string() + "/"),
        cases((ctx.scratch / "case.db").string()) {
    Web_SetSettings({"http://127.0.0.1:" + std::to_string(orvanta::test::FreeLoopbackPort()), 300, 300});
    const CaseRecord samples[] = {
        {0, "CT", "CHEST", "Normal chest CT 胸部CT未见异常", "Both lungs are clear; no nodules or effusion. 双肺清晰，未见结节及积液。",
         "No abnormality. 未见异常。"},
        {0, "CT", "CHEST", "Pneumonia 肺炎", "Patchy consolidation in the right lower lobe. 右肺下叶斑片状实变影。",
         "Right lower lobe pneumonia. 右下肺炎。"},
        {0, "CT", "HEAD", "Normal head CT 头颅CT未见异常", "No intracranial haemorrhage or mass. 颅内未见出血及占位。",
         "Normal study. 未见异常。"},
        {0, "MR", "SPINE", "Disc bulge 椎间盘膨出", "L4/5 disc bulges posteriorly. 腰4/5椎间盘向后膨出。",
         "L4/5 disc bulge. 腰4/5椎间盘膨出。"},
    };
    for (CaseRecord c : samples) cases.AddLocalCase(c);
  }
  ReportTemplateStore templates;
  CaseLibrary cases;
};

std::unique_ptr<Stores> g_stores;
std::unique_ptr<Host> g_host;
std::unique_ptr<SOSevraneWnd> g_window;

HBITMAP Scan(int seed) {
  QImage image(320, 240, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(150, 150, 150));
  p.drawEllipse(QPointF(160, 120), 110 - seed * 10, 95);
  p.setBrush(QColor(60, 60, 60));
  p.drawEllipse(QPointF(120, 115), 35, 55);
  p.drawEllipse(QPointF(200, 115), 35, 55);
  p.setBrush(QColor(230, 230, 230));
  p.drawEllipse(QPointF(160, 150 + seed * 8), 18, 18);
  p.end();
  return SOWin::BitmapFromImage(image);
}

void CloseAll() {
  g_window.reset();
  g_host.reset();
  if (g_stores) g_stores->cases.WaitForFetches();
  g_stores.reset();
}

// The report window with one report open, its side panel and its pictures.
SOSevraneWnd* OpenWindow(const shots::Context& ctx) {
  CloseAll();
  g_stores = std::make_unique<Stores>(ctx);
  g_host = std::make_unique<Host>();
  HWND host = g_host->Create(nullptr, L"Report", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1280, 800);
  g_window = std::make_unique<SOSevraneWnd>(&g_stores->templates, &g_stores->cases);
  g_window->CreateWnd(host, 0, 0, 1280, 800);
  IWendrel* wendrel = g_window->GetWendrel();
  const std::filesystem::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  ISOReport* made = ct.empty() ? nullptr : wendrel->NewReportFromImage(ct.string().c_str());
  if (made) {
    SODcmSR copy;
    copy.Copy(*made->GetSR());
    wendrel->CloseReport(made);
    SROpenRequest request{&copy, "", false, true};
    g_window->OnCommand(SOCMD_OPEN_SR_FILEG, &request);
  }
  if (ISOReport* report = wendrel->GetActiveReport()) {
    report->SetValue(0x07211001, L"Both lungs are clear; no nodules, consolidation or pleural effusion.\n"
                                 L"双肺清晰，未见结节、实变及胸腔积液。");
    report->SetValue(0x07211002, L"No acute cardiopulmonary abnormality. 心肺未见急性异常。");
    std::wstring uid;
    report->GetValue(0x0020000D, uid);
    for (int i = 0; i < 2; ++i) {
      SRPictureData picture{SOWin::ToUtf8(uid), Scan(i)};
      g_window->OnCommand(SOCMD_SR_PICTURE, &picture);
      DeleteObject(picture.bitmap);
    }
  }
  SOWin::PumpEvents(30);
  return g_window.get();
}

shots::Window Shown(const shots::Context& ctx, const std::function<void(CPaintManagerUI&)>& act = nullptr) {
  SOSevraneWnd* window = OpenWindow(ctx);
  if (act) act(*window->GetPaintManager());
  SOWin::PumpEvents(30);
  return {g_host->GetHWND(), CloseAll};
}

// Saves a modal dialog from inside its loop, then closes it.
void SaveModal(const shots::Context& ctx, const wchar_t* windowClass,
               const std::function<void(WindowImplBase&)>& act = nullptr) {
  UITest::OnModal(windowClass, [&ctx, act](CWindowWnd* w) {
    if (act)
      if (auto* window = dynamic_cast<WindowImplBase*>(w)) act(*window);
    SOWin::PumpEvents(20);
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
}

// The window at a zoom chosen in the zoom chooser (its item's user data).
shots::Window Zoomed(const shots::Context& ctx, const wchar_t* ratio) {
  return Shown(ctx, [ratio](CPaintManagerUI& pm) {
    auto* zoom = dynamic_cast<CComboUI*>(pm.FindControl(L"zoomCombo"));
    for (int i = 0; zoom && i < zoom->GetCount(); ++i)
      if (std::wstring(zoom->GetItemAt(i)->GetUserData()) == ratio) UITest::SelectItem(pm, L"zoomCombo", i);
  });
}

}  // namespace

ORVANTA_SHOT("report/sevrane_window") {
  return Shown(ctx, [](CPaintManagerUI& pm) {
    UITest::Click(pm, L"editModeOpt");
    if (auto* list = dynamic_cast<CListUI*>(pm.FindControl(L"pictureList"))) list->SelectItem(0, false, false);
  });
}

// At 100% the page is taller than the view and scrolls; at 200% it is wider too.
ORVANTA_SHOT("report/sevrane_window_100") { return Zoomed(ctx, L"1"); }
ORVANTA_SHOT("report/sevrane_window_200") { return Zoomed(ctx, L"2"); }

ORVANTA_SHOT("report/complete_dialog") {
  OpenWindow(ctx);
  SaveModal(ctx, L"SOCompleteDlg");
  UITest::Click(*g_window->GetPaintManager(), L"completeBtn");
  CloseAll();
  return {};
}

ORVANTA_SHOT("report/verify_dialog") {
  OpenWindow(ctx);
  if (ISOReport* report = g_window->GetWendrel()->GetActiveReport()) report->Complete();
  g_window->UpdateButtons();
  SaveModal(ctx, L"SOVerifyDlg", [](WindowImplBase& dialog) {
    if (CControlUI* edit = dialog.GetPaintManager()->FindControl(L"verifyingObserverNameEdit"))
      edit->SetText(L"Zhao Min 赵敏");
  });
  UITest::Click(*g_window->GetPaintManager(), L"verifyBtn");
  CloseAll();
  return {};
}

// A machine without printers: printing goes to a PDF file. (Named to come before the shot that
// adds a printer to the process.)
ORVANTA_SHOT("report/pdf_print_dialog") {
  OpenWindow(ctx);
  SaveModal(ctx, L"SOPrintDlg");
  UITest::Click(*g_window->GetPaintManager(), L"printBtn");
  CloseAll();
  return {};
}

ORVANTA_SHOT("report/print_dialog") {
  OpenWindow(ctx);
  SOWin::AddPdfPrinterForTest("Office PDF", ctx.scratch.string());
  SOWin::SetDefaultPrinterForTest("Office PDF");
  SaveModal(ctx, L"SOPrintDlg");
  UITest::Click(*g_window->GetPaintManager(), L"printBtn");
  SOWin::SetDefaultPrinterForTest("");
  CloseAll();
  return {};
}

ORVANTA_SHOT("report/settings_institution") {
  return Shown(ctx, [](CPaintManagerUI& pm) {
    UITest::Click(pm, L"settingBtn");
    SOSettingWindow* setting = g_window->GetSettingWindow();
    UITest::SetText(*setting->GetPaintManager(), L"editInstitutionName", L"Radiology 放射科");
  });
}

ORVANTA_SHOT("report/settings_templates") {
  return Shown(ctx, [](CPaintManagerUI& pm) {
    UITest::Click(pm, L"settingBtn");
    CPaintManagerUI& setting = *g_window->GetSettingWindow()->GetPaintManager();
    UITest::Click(setting, L"templateOpt");
    SOWin::PumpEvents(20);
    if (CControlUI* tile = setting.FindControl(L"templateTileOpt")) UITest::Click(setting, L"templateTileOpt"), (void)tile;
  });
}

ORVANTA_SHOT("report/settings_cases") {
  return Shown(ctx, [](CPaintManagerUI& pm) {
    UITest::Click(pm, L"settingBtn");
    UITest::Click(*g_window->GetSettingWindow()->GetPaintManager(), L"caseLibraryOpt");
  });
}

ORVANTA_SHOT("report/case_library_dialog") {
  OpenWindow(ctx);
  SOCaseLibDlg::ForgetRememberedChoices();
  SaveModal(ctx, L"SOCaseLibDlg", [](WindowImplBase& dialog) {
    UITest::SelectItem(*dialog.GetPaintManager(), L"localList", 0);
  });
  UITest::Click(*g_window->GetPaintManager(), L"caselibBtn");
  CloseAll();
  return {};
}

ORVANTA_SHOT("report/case_editor") {
  OpenWindow(ctx);
  std::vector<CaseRecord> local;
  g_stores->cases.GetLocalCases(local);
  SaveModal(ctx, L"SOCaseDlg");
  SOCaseDlg dialog(local.empty() ? CaseRecord{} : local.back());
  RunReportDialog(dialog, g_host->GetHWND(), L"SOCaseDlg", kDialogStyle);
  CloseAll();
  return {};
}

ORVANTA_SHOT("report/case_editor_new") {
  OpenWindow(ctx);
  SaveModal(ctx, L"SOCaseDlg");
  SOCaseDlg dialog;
  RunReportDialog(dialog, g_host->GetHWND(), L"SOCaseDlg", kDialogStyle);
  CloseAll();
  return {};
}
