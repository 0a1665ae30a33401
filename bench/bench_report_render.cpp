// Report rendering and printing: IWendrel::RenderTemplate of 20 templates (what the template
// settings page does on every reload) and one IWendrel::Print to PDF, against the skin engine
// painting the same control trees directly (build, lay out at the same zoom, paint onto the same
// kind of DC) in the same run. Rounds alternate which side goes first; the first is a warm-up.
//   bench_report_render [--rounds N]

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "IWendrel.h"
#include "SODcmSR.h"
#include "SOGdi.h"
#include "TestSupport.h"
#include "UIlib.h"

namespace fs = std::filesystem;
using namespace DuiLib;

namespace {

constexpr int kTemplates = 20;
constexpr int kMaxWidth = 400, kMaxHeight = 600;

// The default template with a different title each, so no two files are the same.
std::vector<std::string> WriteTemplates(const fs::path& programDir, const fs::path& dir) {
  std::ifstream in(programDir / "skin" / "srctrl" / "default_template.xml");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> paths;
  for (int i = 0; i < kTemplates; ++i) {
    std::string copy = text;
    const std::string title = "Imaging Diagnosis Report";
    copy.replace(copy.find(title), title.size(), "Report template " + std::to_string(i));
    paths.push_back((dir / ("template" + std::to_string(i) + ".xml")).string());
    std::ofstream(paths.back()) << copy;
  }
  return paths;
}

// The engine alone: the template's tree in a window-less manager that holds the report windows'
// fonts (made once, as the print window is), painted onto `dc` at `zoom`.
void PaintDirect(const std::string& path, HDC dc, double zoom, int width, int height) {
  static CPaintManagerUI* pm = [] {
    auto* manager = new CPaintManagerUI;
    CDialogBuilder fonts;
    manager->AttachDialog(fonts.Create(L"srctrl/sr_print_window.xml", (unsigned int)0, nullptr, manager));
    return manager;
  }();
  CDialogBuilder builder;
  CControlUI* root = builder.CreateFromAbsolutePath(fs::path(path).wstring().c_str());
  if (!root) return;
  pm->AttachDialog(root);
  pm->SetZoomRatio(zoom);
  pm->UpdateLayout(SIZE{width, height});
  // The root painted straight onto the page, as the report control paints it (no second
  // layout check on the way).
  root->DoPaint(dc, RECT{0, 0, width, height});
}

// The engine alone, as RenderTemplate's peer: the same size, a white DIB section, the same paint.
HBITMAP RenderDirect(const std::string& path) {
  const float w = 794, h = 1123;
  const int height = kMaxHeight, width = int((w / h) * float(kMaxHeight));
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  PaintDirect(path, dc, double(width) / w, width, height);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

bool PrintDirect(const std::string& path, const char* printer) {
  HDC dc = CreateDCA(nullptr, printer, nullptr, nullptr);
  DOCINFOW doc;
  doc.lpszDocName = L"DIRECT";
  bool ok = dc && StartDocW(dc, &doc) >= 1 && StartPage(dc) > 0;
  if (ok) {
    const double zoom = std::min(GetDeviceCaps(dc, HORZRES) / 794.0, GetDeviceCaps(dc, VERTRES) / 1123.0);
    PaintDirect(path, dc, zoom, int(794 * zoom), int(1123 * zoom));
    ok = EndPage(dc) > 0 && EndDoc(dc) > 0;
  }
  if (dc) DeleteDC(dc);
  return ok;
}

class Host : public CWindowWnd {
 public:
  const wchar_t* GetWindowClassName() const override { return L"BenchReportHost"; }
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = 9;
  if (argc == 3 && std::string(argv[1]) == "--rounds") rounds = std::max(2, std::atoi(argv[2]));
  orvanta::test::InitScratch();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  orvanta::test::EnsureQtApp();
  const fs::path programDir = orvanta::test::ProgramFolder();
  CPaintManagerUI::SetResourcePath(((programDir / "skin").wstring() + L"/").c_str());
  const fs::path dir = orvanta::test::MakeTempDir("report_render");
  const std::vector<std::string> templates = WriteTemplates(programDir, dir);
  SOWin::AddPdfPrinterForTest("Bench PDF", dir.string());

  Host host;
  HWND hostWnd = host.Create(nullptr, L"bench", WS_POPUP, 0, 0, 900, 800);
  IWendrel* wendrel = CreateWendrel();
  wendrel->Create(hostWnd, 0, 0, 900, 800);
  wendrel->SetTemplatePath(templates[0].c_str());
  SODcmSR sr;
  sr.GetDataset()->SetString(0x00080060, "SR");
  sr.GetDataset()->SetString(0x00080018, "1.2.826.0.1.3680043.10.99");
  sr.GetDataset()->SetString(0x00100010, L"Zhang San 张三");
  sr.SetFinding(L"Both lungs are clear. 双肺清晰。");
  if (!wendrel->OpenReport(&sr)) {
    std::fprintf(stderr, "bench_report_render: no report page (skins under %s?)\n", programDir.c_str());
    return 1;
  }

  auto oursRender = [&] {
    for (const std::string& path : templates) {
      int width = 0, height = 0;
      DeleteObject(wendrel->RenderTemplate(path.c_str(), &width, &height, kMaxWidth, kMaxHeight));
    }
  };
  auto peerRender = [&] {
    for (const std::string& path : templates) DeleteObject(RenderDirect(path));
  };
  auto oursPrint = [&] { wendrel->Print("Bench PDF"); };
  auto peerPrint = [&] { PrintDirect(templates[0], "Bench PDF"); };

  std::vector<double> renderOurs, renderPeer, printOurs, printPeer, renderRatio, printRatio;
  for (int round = 0; round < rounds; ++round) {
    double ro, rp, po, pp;
    if (round % 2 == 0) {
      ro = bench::Seconds(oursRender);
      rp = bench::Seconds(peerRender);
      po = bench::Seconds(oursPrint);
      pp = bench::Seconds(peerPrint);
    } else {
      rp = bench::Seconds(peerRender);
      ro = bench::Seconds(oursRender);
      pp = bench::Seconds(peerPrint);
      po = bench::Seconds(oursPrint);
    }
    if (round == 0) continue;  // warm-up: fonts, images and catalogs load on first use
    renderOurs.push_back(ro);
    renderPeer.push_back(rp);
    printOurs.push_back(po);
    printPeer.push_back(pp);
    renderRatio.push_back(ro / rp);
    printRatio.push_back(po / pp);
  }
  std::printf("RenderTemplate, %d templates at %dx%d: ours %.1f ms (%.1f ms a template), skin engine directly "
              "%.1f ms; ratio %.2f (median of %d rounds' ratios)\n",
              kTemplates, kMaxWidth, kMaxHeight, bench::Median(renderOurs) * 1e3,
              bench::Median(renderOurs) * 1e3 / kTemplates, bench::Median(renderPeer) * 1e3,
              bench::Median(renderRatio), rounds - 1);
  std::printf("Print to PDF, one page: ours %.1f ms, skin engine directly %.1f ms; ratio %.2f; load %.1f\n",
              bench::Median(printOurs) * 1e3, bench::Median(printPeer) * 1e3, bench::Median(printRatio),
              bench::LoadAverage());
  ReleaseWendrel(wendrel);
  DestroyWindow(hostWnd);
  orvanta::test::ShutdownScratch();
  return 0;
}
