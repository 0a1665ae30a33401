// The 3D viewer window as users see it, for the shots tool.

#include "CCaptureDlg.h"
#include "DicomFixtures.h"
#include "SOCorvideWnd.h"
#include "Shots.h"
#include "UITestDriver.h"
#include "ui/visual/SOVisualWindow.h"

using namespace DuiLib;
namespace fx = orvanta::fixtures;

// The window as the program shows it before a series is loaded, on the VR page.
ORVANTA_SHOT("3d/main") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowVRPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}

// The MPR page's tools.
ORVANTA_SHOT("3d/main_mpr") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowMPRPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}

// The VE page's tools.
ORVANTA_SHOT("3d/main_ve") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowVEPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}

// The capture dialog over a loaded CT series, with a file format chosen.
ORVANTA_SHOT("3d/capture_dlg") {
  fx::CtSeriesOptions options;
  options.slices = 24;
  options.rows = options.columns = 96;
  const auto series = fx::WriteCtSeries(ctx.scratch / "ct", options);
  auto* window = new SOCorvideWnd();
  window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  auto* ctrl = static_cast<SOVisualWindow*>(window->Control());
  const int builds = ctrl->GetVolumeBuilds();
  std::string folder = (ctx.scratch / "ct").string();
  window->OnCommand("LOADDIR", folder.data());
  SOWin::PumpUntil([&] { return ctrl->GetVolumeBuilds() > builds; }, 60000);
  UITest::ProcessEvents(200);
  UITest::OnModal(L"CCaptureDlg", [&ctx](CWindowWnd* w) {
    auto& pm = *dynamic_cast<CCaptureDlg*>(w)->GetPaintManager();
    UITest::Click(pm, L"formatJpegOpt");
    UITest::SetText(pm, L"imagePathEdit", L"/home/user/图像");
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  window->CaptureView(5);
  delete window;
  return {};
}
