// The film plug-in's window and dialogs as users see them, for the shots tool.

#include "BlockLayout.h"
#include "DicomFixtures.h"
#include "FilmTestFiles.h"
#include "FilmWindows.h"
#include "ISOPlugin.h"
#include "SOFilmSettingDlg.h"
#include "SOPluginFilmWnd.h"
#include "SOPrintQueueDlg.h"
#include "SOPrinterAddDlg.h"
#include "Shots.h"
#include "UITestDriver.h"

#include <memory>

namespace fx = orvanta::fixtures;
using namespace DuiLib;

namespace {

// Two printers in a configuration of the shot's own.
std::unique_ptr<PrinterConfig> Printers(const shots::Context& ctx) {
  auto config = std::make_unique<PrinterConfig>((ctx.scratch / "printer.xml").string());
  PrinterRecord dry = filmtest::Printer(10400, "Imager A");
  dry.isDefault = true;
  config->Add(dry);
  PrinterRecord laser = filmtest::Printer(104, "激光相机 2");
  laser.ip = "192.168.10.31";
  laser.calledAE = "LASER2";
  laser.filmSize = 11;
  laser.medium = 1;
  config->Add(laser);
  return config;
}

template <class Dialog>
shots::Window SaveModal(const shots::Context& ctx, Dialog& dialog, const wchar_t* windowClass,
                        std::function<void(CWindowWnd*)> prepare = nullptr) {
  UITest::OnModal(windowClass, [&ctx, prepare](CWindowWnd* w) {
    if (prepare) prepare(w);
    UITest::ProcessEvents(30);
    ctx.save(w->GetHWND());
    w->Close(IDOK);
  });
  brenvik::RunModal(dialog, nullptr, windowClass);
  return {};
}

}  // namespace

ORVANTA_SHOT("film/main") {
  static std::unique_ptr<PrinterConfig> config;
  config = Printers(ctx);
  for (int s = 0; s < 2; ++s) {
    fx::CtSeriesOptions options;
    options.slices = 6;
    options.rows = options.columns = 128;
    options.patientName = s == 0 ? "Wang^Fang" : "Li^Ming";
    options.patientId = "F00" + std::to_string(s);
    fx::WriteCtSeries(ctx.scratch / ("study" + std::to_string(s)), options);
  }
  auto window = std::make_shared<brenvik::SOPluginFilmWnd>(config.get(), nullptr);
  HWND hwnd = window->Create(nullptr, L"SOPluginFilmWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  std::vector<std::string> files;
  for (int s = 0; s < 2; ++s)
    for (const auto& entry : std::filesystem::directory_iterator(ctx.scratch / ("study" + std::to_string(s))))
      files.push_back(entry.path().string());
  window->OnMessage(SOMSG_FILM_FILES, &files, nullptr);
  for (int i = 0; i < 300 && window->GetOstrel()->GetSessionCount() < 2; ++i) UITest::ProcessEvents(20);
  UITest::ProcessEvents(300);
  window->GetOstrel()->SetImageLayout(2, 2, true);
  UITest::ProcessEvents(100);
  return {hwnd, [hwnd, window]() mutable {
            ::DestroyWindow(hwnd);
            window.reset();
          }};
}

ORVANTA_SHOT("film/settings") {
  auto config = Printers(ctx);
  brenvik::SOSettingDlg dialog(config.get());
  return SaveModal(ctx, dialog, L"SOSettingDlg");
}

ORVANTA_SHOT("film/add_printer") {
  auto config = Printers(ctx);
  brenvik::SOPrinterAddDlg dialog(config.get());
  if (!dialog.Create(nullptr, L"SOPrinterAddDlg", 0xCF0000, 0, 0, 0, 0, 0)) return {};
  dialog.CenterWindow();
  dialog.LoadPrinter(1);
  UITest::OnModal(L"SOPrinterAddDlg", [&ctx](CWindowWnd* w) {
    UITest::ProcessEvents(30);
    ctx.save(w->GetHWND());
    w->Close(IDOK);
  });
  dialog.ShowModal();
  return {};
}

ORVANTA_SHOT("film/print_queue") {
  const std::filesystem::path folder = ctx.scratch / "Films";
  std::filesystem::create_directories(folder);
  const char* states[] = {nullptr, "DONE", "FAILURE", "DONE"};
  for (int i = 0; i < 4; ++i) {
    auto film = filmtest::MakeFilm(filmtest::Printer(10400, "Imager A"), {.frames = 1 + i % 2});
    const std::string uid = SOUtil::GenerateUID();
    film->GetDataset()->SetString(0x00080018, uid);
    film->GetDataset()->SetString(0x00080023, "20250301");
    film->GetDataset()->SetString(0x00080033, ("1" + std::to_string(i) + "3000").c_str());
    if (states[i]) film->GetDataset()->SetString(filmfile::kExecutionStatus, states[i]);
    film->SaveFile((folder / uid).c_str(), false);
  }
  SOPrintQueue queue(folder.string());
  queue.WaitIdle();
  brenvik::SOPrintQueueDlg dialog(&queue);
  return SaveModal(ctx, dialog, L"SOPrintQueueDlg");
}

ORVANTA_SHOT("film/layout_picker") {
  brenvik::BlockLayout* picker = brenvik::BlockLayout::Open(nullptr, POINT{0, 0}, nullptr);
  if (!picker) return {};
  UITest::ProcessEvents(30);
  auto* tiles = dynamic_cast<CTileLayoutUI*>(picker->GetPaintManager()->FindControl(L"tileLayout"));
  if (tiles && tiles->GetCount() > 15) {
    const RECT pos = tiles->GetItemAt(6 * 2 + 3)->GetPos();
    ::SendMessageW(picker->GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(pos.left + 2, pos.top + 2));
  }
  HWND hwnd = picker->GetHWND();
  return {hwnd, [hwnd] { ::DestroyWindow(hwnd); }};
}
