// The report control as users see it, and the off-screen page it prints, for the shots tool.

#include "IWendrel.h"
#include "SODcmSR.h"
#include "SOPrintWindow.h"
#include "SOUtil.h"
#include "SOWinQt.h"
#include "Shots.h"
#include "TestSupport.h"
#include "UIlib.h"

#include <QImage>
#include <QPainter>

#include <memory>

using namespace DuiLib;

namespace {

// A scan-like grey picture for the report's image boxes.
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

void FillReport(ISOReport* report) {
  report->SetValue(0x07211001,
                   L"Chest CT without contrast. Both lungs are clear; no nodules, consolidation or pleural "
                   L"effusion. The heart and great vessels are of normal size.\n胸部CT平扫：双肺清晰，未见结节、"
                   L"实变及胸腔积液。心脏及大血管形态大小正常。");
  report->SetValue(0x07211002, L"No acute cardiopulmonary abnormality. 心肺未见急性异常。");
  report->SetValue(0x07211004, L"Wang Wei 王伟");
  report->SetValue(0x00080060, L"CT");
  report->SetValue(0x00180015, L"CHEST");
  for (int i = 0; i < report->GetImageBoxCount(); ++i) {
    HBITMAP scan = Scan(i);
    report->SetImage(i, scan);
    DeleteObject(scan);
  }
}

void FillDocument(SODcmSR& sr) {
  SODcmDataset& ds = *sr.GetDataset();
  ds.SetString(0x00080005, "ISO_IR 192");
  ds.SetString(0x00100010, L"Zhang San 张三");
  ds.SetString(0x00100020, "P-00042");
  ds.SetString(0x00100040, "M");
  ds.SetString(0x00101010, "045Y");
  ds.SetString(0x00080020, "20240318");
  ds.SetString(0x00081040, L"Radiology 放射科");
  sr.SetFinding(L"Both lungs are clear. 双肺清晰。");
  sr.SetConclusion(L"Normal study. 未见异常。");
  sr.SetAuthorObserverName(L"Wang Wei 王伟");
}

}  // namespace

ORVANTA_SHOT("report/report_frame") {
  static std::unique_ptr<CWindowWnd> host;
  struct Host : CWindowWnd {
    const wchar_t* GetWindowClassName() const override { return L"WendrelShotHost"; }
  };
  host = std::make_unique<Host>();
  HWND hostWnd = host->Create(nullptr, L"Report", WS_POPUP | WS_VISIBLE, 0, 0, 0, 900, 820);
  IWendrel* wendrel = CreateWendrel();
  wendrel->Create(hostWnd, 0, 0, 900, 820);
  wendrel->SetTemplatePath((ctx.programDir / "skin" / "srctrl" / "default_template.xml").string().c_str());
  const std::filesystem::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  ISOReport* report = ct.empty() ? nullptr : wendrel->NewReportFromImage(ct.string().c_str());
  if (!report) {
    SODcmSR sr;
    FillDocument(sr);
    sr.GetDataset()->SetString(0x00080060, "SR");
    sr.GetDataset()->SetString(0x00080018, "1.2.826.0.1.3680043.10.1");
    report = wendrel->OpenReport(&sr);
  }
  if (report) {
    FillReport(report);
    report->Verify();
  }
  SOWin::PumpEvents(30);
  return {hostWnd, [wendrel] {
            ReleaseWendrel(wendrel);
            host.reset();
          }};
}

ORVANTA_SHOT("report/print_window") {
  auto* window = new wendrel::SOPrintWindow;
  window->CreatePrintWindow();
  SODcmSR sr;
  FillDocument(sr);
  // The page as printing fills it, shown at its own size.
  HDC dc = CreateCompatibleDC(nullptr);
  window->PrintDocument(dc, &sr, (ctx.programDir / "skin" / "srctrl" / "default_template.xml").string().c_str());
  DeleteDC(dc);
  window->PlacePage(1.0);
  return {window->GetHWND(), [window] { delete window; }};
}
