// The 2D viewer's windows as users see them, for the shots tool.

#include "CCaptureDlg.h"
#include "DicomFixtures.h"
#include "ISODcmObject.h"
#include "SODcmFile.h"
#include "SOGdi.h"
#include "SOTessalyWnd.h"
#include "StudySeriesList.h"
#include "Shots.h"
#include "UITestDriver.h"
#include "VelstromWnd.h"
#include "ViewerLayout.h"
#include "tools/HostFrame.h"
#include "tools/LoadWaiter.h"

using namespace DuiLib;
namespace fx = orvanta::fixtures;

namespace {

// A CT study of two series under a Chinese patient name, in the shot's scratch folder.
fx::WrittenSeries WriteStudy(const shots::Context& ctx) {
  fx::CtSeriesOptions options;
  options.slices = 12;
  options.patientName = "王^小明";
  const auto first = fx::WriteCtSeries(ctx.scratch / "1", options);
  options.slices = 3;
  options.studyUid = first.studyUid;
  fx::WriteCtSeries(ctx.scratch / "2", options);
  for (const auto& dir : {ctx.scratch / "1", ctx.scratch / "2"})
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      SODcmFile dcm;
      if (!dcm.LoadFile(entry.path().c_str(), true)) continue;
      dcm.GetDataset()->SetString(0x00080005, "ISO_IR 192");
      dcm.GetDataset()->SetString(0x00100010, "王^小明");
      dcm.GetDataset()->SetString(0x00080020, "20240131");
      dcm.GetDataset()->SetString(0x00080030, "093015");
      dcm.GetDataset()->SetString(0x0008103E, dir.filename() == "1" ? "胸部 平扫 Chest" : "Scout");
      dcm.SaveFile(entry.path().c_str());
    }
  return first;
}

struct Opened {
  HostFrame* frame;
  SOTessalyWnd* window;
};

Opened OpenViewer(const shots::Context& ctx) {
  WriteStudy(ctx);
  auto* frame = new HostFrame(1200, 760);
  auto* window = new SOTessalyWnd;
  window->CreateWnd(frame->GetWindow(), 0, 0, 1200, 760);
  LoadWaiter waiter;
  window->GetLumexa()->RegisterCallback(&waiter);
  window->OnCommand("LOADDIR", const_cast<char*>(ctx.scratch.c_str()));
  SOWin::PumpUntil([&] { return waiter.finished > 0 && window->GetList()->PendingThumbnails() == 0; }, 20000);
  window->GetLumexa()->UnRegisterCallback(&waiter);
  SOWin::PumpEvents(100);
  return {frame, window};
}

}  // namespace

ORVANTA_SHOT("2d/main") {
  Opened o = OpenViewer(ctx);
  return {o.frame->GetWindow(), [o] {
            DestroyWindow(o.window->GetHWND());
            delete o.window;
            delete o.frame;
          }};
}

ORVANTA_SHOT("2d/capture_dlg") {
  Opened o = OpenViewer(ctx);
  o.window->GetLumexa()->ActivateSeriesWnd(0);
  ISOImageObject* image = nullptr;
  HBITMAP bitmap = o.window->GetLumexa()->Capture(0, &image);
  UITest::OnModal(L"CCaptureDlg", [&ctx](CWindowWnd* w) {
    auto& pm = *dynamic_cast<CCaptureDlg*>(w)->GetPaintManager();
    UITest::Click(pm, L"formatPngOpt");
    UITest::SetText(pm, L"imagePathEdit", L"/home/user/图像");
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  CCaptureDlg::Run(o.window->GetHWND(), bitmap, image ? image->GetDcmObject() : nullptr, nullptr,
                   L"2d/capture_dlg.xml");
  DeleteObject(bitmap);
  DestroyWindow(o.window->GetHWND());
  delete o.window;
  delete o.frame;
  return {};
}

ORVANTA_SHOT("2d/layout") {
  auto* picker = new ViewerLayout;
  HWND hwnd = picker->Create(nullptr, nullptr, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 100, 100, 100, 120);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(53, 30));
  return {hwnd, [hwnd] { DestroyWindow(hwnd); }};
}

ORVANTA_SHOT("velstrom/main") {
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 64;
  const auto file = fx::WriteCtSeries(ctx.scratch, options).files[0];
  SODcmFile dcm;
  if (dcm.LoadFile(file.c_str(), true)) {
    dcm.GetDataset()->SetString(0x00080005, "ISO_IR 192");
    dcm.GetDataset()->SetString(0x00100010, "王^小明");
    dcm.GetDataset()->SetString(0x0008103E, "胸部 平扫");
    dcm.SaveFile(file.c_str());
  }
  auto* window = new VelstromWnd(file.string());
  window->Create(nullptr, L"Velstrom", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 0, 0, 0);
  UITest::SetText(*window->GetPaintManager(), L"searchEdit", L"0010");
  const HWND hwnd = window->GetHWND();
  return {hwnd, [window, hwnd] {
            DestroyWindow(hwnd);
            delete window;
          }};
}
