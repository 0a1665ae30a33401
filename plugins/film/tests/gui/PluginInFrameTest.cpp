// The film plug-in loaded by the program's frame from its library, driven through the host and
// its own window as a user would: two studies sent by broadcast, a printer added through the
// settings, and a print that reaches DCMTK's print server.

#include "CMainFrameWnd.h"
#include "DicomFixtures.h"
#include "FilmGuiSupport.h"
#include "FrameTestSupport.h"
#include "FilmFile.h"
#include "Gossamy.h"
#include "PrintScp.h"
#include "SODcmFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace DuiLib;
using namespace filmgui;

namespace {

// A program folder with the build's film plug-in, skins and catalogs.
std::vector<fs::path> FilmFiles() {
  std::vector<fs::path> out;
  const fs::path folder = fs::path(Gossamy::GetConfigPath()) / "Films";
  if (fs::exists(folder))
    for (const auto& entry : fs::directory_iterator(folder)) out.push_back(entry.path());
  return out;
}

TEST(FilmPluginInFrame, TwoStudiesGiveTwoTabsAndAPrintReachesThePrinter) {
  UseProgramFolder("zh_CN");
  peer::PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  fs::remove(fs::path(Gossamy::GetConfigPath()) / "printer.xml");

  const fs::path dir = orvanta::test::ProgramWithPlugins({"libBrenvik.so"});
  auto frame = orvanta::test::StartFrame(dir, {"libBrenvik.so"}, 20);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 1u);
  EXPECT_EQ(frame->GetPlugins()[0].name, L"Brenvik");
  HWND window = frame->GetPlugins()[0].window;
  auto* plugin = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
  ASSERT_NE(plugin, nullptr);
  CPaintManagerUI& pm = *plugin->GetPaintManager();
  auto* tabs = dynamic_cast<CContainerUI*>(pm.FindControl(L"filmTabHeadr"));
  ASSERT_NE(tabs, nullptr);

  // An empty list does nothing; two studies give two tabs, the second selected.
  std::vector<std::string> none;
  frame->Broadcast(SOMSG_FILM_FILES, &none, nullptr);
  std::vector<std::string> files;
  for (int s = 0; s < 2; ++s) {
    fx::CtSeriesOptions o;
    o.slices = 3;
    o.rows = o.columns = 64;
    o.patientName = s == 0 ? "First^Study" : "Second^Study";
    for (const fs::path& f : fx::WriteCtSeries(orvanta::test::MakeTempDir("study"), o).files) files.push_back(f.string());
  }
  frame->Broadcast(SOMSG_FILM_FILES, &files, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return tabs->GetCount() == 2; }));
  UITest::ProcessEvents(200);
  EXPECT_TRUE(tabs->IsVisible());
  auto tabSelected = [&](int i) {
    auto* option = dynamic_cast<COptionUI*>(dynamic_cast<CContainerUI*>(tabs->GetItemAt(i))->GetItemAt(0));
    return option && option->IsSelected();
  };
  EXPECT_TRUE(tabSelected(1));
  EXPECT_FALSE(tabSelected(0));

  // No printer yet: the message, and nothing generated.
  Boxes boxes;
  UITest::Click(pm, L"printAllBtn");
  EXPECT_EQ(boxes.Last(), L"请选择打印机！");
  UITest::ProcessEvents(100);
  EXPECT_TRUE(FilmFiles().empty());

  // A printer added through the settings shows in the printer combo at once.
  UITest::OnModal(L"SOSettingDlg", [&](CWindowWnd* settings) {
    UITest::OnModal(L"SOPrinterAddDlg", [&](CWindowWnd* add) {
      CPaintManagerUI& form = PM(add);
      UITest::SetText(form, L"printerNameEdit", L"胶片机");
      UITest::SetText(form, L"addrEdit", L"127.0.0.1");
      UITest::SetText(form, L"portEdit", std::to_wstring(scp.port).c_str());
      UITest::SetText(form, L"calledAEEdit", L"PRINTSCP");
      UITest::SetText(form, L"callingAEEdit", L"ORVANTA");
      UITest::SelectItem(form, L"filmSizeCombo", 7);  // 14INX17IN
      UITest::Click(form, L"confirmBtn");
    });
    UITest::Click(PM(settings), L"addPrinterBtn");
    const size_t before = boxes.texts.size();
    UITest::Click(PM(settings), L"connectTestBtn");
    EXPECT_TRUE(PumpUntil([&] { return boxes.texts.size() > before; }));
    EXPECT_EQ(boxes.Last(), L"连接成功！");
    settings->Close(IDOK);
  });
  UITest::Click(pm, L"settingBtn");
  EXPECT_EQ(Text(pm, L"printerCombo"), L"胶片机");

  // Print the current film: one film file, printed, marked DONE, and the printer has it.
  UITest::Click(pm, L"printCurrentBtn");
  ASSERT_TRUE(PumpUntil([&] {
    std::vector<fs::path> films = FilmFiles();
    if (films.size() != 1) return false;
    SODcmFile film;
    std::string status;
    return film.LoadFile(films[0].c_str()) && film.GetDataset()->GetString(filmfile::kExecutionStatus, status) &&
           status == "DONE";
  }, 120000)) << scp.process->Log();
  EXPECT_EQ(scp.Stored("HG_").size(), 1u);
  // The frame's status line says the film went out.
  CPaintManagerUI& framePm = *frame->GetPaintManager();
  EXPECT_TRUE(PumpUntil([&] { return Text(framePm, L"statusTextLabel") == L"胶片已打印。"; }, 5000))
      << SOWin::ToUtf8(Text(framePm, L"statusTextLabel"));
  SODcmFile film;
  ASSERT_TRUE(film.LoadFile(FilmFiles()[0].c_str()));
  std::string text;
  EXPECT_TRUE(film.GetDataset()->GetString(filmfile::kCalledAE, text) && text == "PRINTSCP");
  EXPECT_TRUE(film.GetDataset()->GetString(0x20100050, text) && text == "14INX17IN");

  // Closing the other study's tab removes only that study.
  auto* secondClose = dynamic_cast<CContainerUI*>(tabs->GetItemAt(0))->GetItemAt(1);
  ASSERT_TRUE(UITest::Click(secondClose));
  UITest::ProcessEvents(50);
  EXPECT_EQ(tabs->GetCount(), 1);

  ::DestroyWindow(frame->GetHWND());
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}

}  // namespace
