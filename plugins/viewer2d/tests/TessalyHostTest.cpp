// The plug-in as the program runs it: loaded by the shell from the program folder, driven only
// through the host and the window's skin.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <fstream>

#include "CMainFrameWnd.h"
#include "DicomFixtures.h"
#include "FrameTestSupport.h"
#include "SOGdi.h"
#include "SOWinQt.h"
#include "TestSupport.h"
#include "UITestDriver.h"

using namespace DuiLib;
namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

CContainerUI* Row(CContainerUI* list, int i) {
  return dynamic_cast<CContainerUI*>(list->GetItemAt(i));
}

std::wstring TextOf(CControlUI* c) {
  return c ? std::wstring(c->GetText().GetData()) : L"<none>";
}

}  // namespace

TEST(TessalyInTheProgram, LoadDirShowsTheStudyItsSeriesAndTheFirstSeries) {
  orvanta::test::EnsureQtApp();
  ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
  const fs::path dir = orvanta::test::ProgramWithPlugins({"libTessaly.so"});
  auto frame = orvanta::test::StartFrame(dir, {"libTessaly.so"});
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 1u);
  EXPECT_EQ(frame->GetPlugins()[0].name, L"Tessaly");
  auto* plugin = dynamic_cast<WindowImplBase*>(
      reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(frame->GetPlugins()[0].window, GWLP_USERDATA)));
  ASSERT_NE(plugin, nullptr);
  CPaintManagerUI& pm = *plugin->GetPaintManager();
  auto* list = dynamic_cast<CContainerUI*>(pm.FindControl(L"studySeriesList"));
  ASSERT_NE(list, nullptr);

  // A CT study of a volume series and a 3-slice series, in nested folders.
  const fs::path data = orvanta::test::MakeTempDir("ctstudy");
  fx::CtSeriesOptions ct;
  ct.slices = 12;
  ct.rows = ct.columns = 48;
  ct.patientName = "Doe^Jane";
  const auto volume = fx::WriteCtSeries(data / "1", ct);
  ct.slices = 3;
  ct.studyUid = volume.studyUid;
  const auto thin = fx::WriteCtSeries(data / "2" / "x", ct);

  std::string loaddir = data.string();
  EXPECT_FALSE(frame->SendCommand(L"Tessaly", "LOADDIR", volume.files[0].string().data()));
  EXPECT_FALSE(frame->SendCommand(L"Tessaly", "LOADFILES", loaddir.data()));
  ASSERT_TRUE(frame->SendCommand(L"Tessaly", "LOADDIR", loaddir.data()));
  // The list holds the study row, then both series rows with thumbnails and counts.
  ASSERT_TRUE(SOWin::PumpUntil(
      [&] { return list->GetCount() == 3 && TextOf(Row(Row(list, 2), 3)->GetItemAt(1)) == L"3"; }, 20000));
  SOWin::PumpEvents(50);
  EXPECT_EQ(TextOf(Row(Row(list, 0), 2)->GetItemAt(1)), L"Doe^Jane");
  EXPECT_EQ(TextOf(Row(Row(list, 1), 3)->GetItemAt(1)), L"12");
  // Thumbnails are made on their own thread and arrive after the rows.
  for (const auto* series : {&volume, &thin})
    EXPECT_TRUE(SOWin::PumpUntil(
        [&] { return pm.GetImage(SOWin::FromUtf8(series->seriesUid).c_str()) != nullptr; }, 20000))
        << series->seriesUid;
  // The first series is painted in the view.
  const RECT panel = pm.FindControl(L"lumexaPanel")->GetPos();
  HBITMAP capture = SOWin::CaptureWindow(frame->GetPlugins()[0].window);
  ASSERT_NE(capture, nullptr);
  const QImage shown = SOWin::ImageOf(capture)->copy();
  DeleteObject(capture);
  ASSERT_GE(shown.width(), panel.right);
  ASSERT_GE(shown.height(), panel.bottom);
  int lit = 0;
  for (int y = panel.top; y < panel.bottom; y += 4)
    for (int x = panel.left; x < panel.right; x += 4) lit += qGray(shown.pixel(x, y)) > 40;
  EXPECT_GT(lit, 100);
  // Choosing a row shows its series and sets the hand-off buttons: the volume offers 3D, the
  // 3-slice series never does.
  struct {
    int row;
    bool threeD;
  } rows[] = {{1, true}, {2, false}};
  for (const auto& r : rows) {
    auto* option = dynamic_cast<COptionUI*>(Row(list, r.row)->GetItemAt(0));
    ASSERT_NE(option, nullptr);
    ASSERT_TRUE(UITest::Click(option));
    SOWin::PumpEvents(20);
    EXPECT_TRUE(option->IsSelected());
    EXPECT_EQ(pm.FindControl(L"3DBtn")->IsEnabled(), r.threeD) << r.row;
    EXPECT_TRUE(pm.FindControl(L"filmBtn")->IsEnabled());
  }

  // "Show DICOM tags" in the tag button's menu starts the program beside the plug-in, with the
  // shown file (of the series chosen last) as one argument.
  const fs::path tags = dir / "tags.txt";
  {
    std::ofstream script(dir / "Velstrom");
    script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" << tags.string() << ".part'\nmv '" << tags.string()
           << ".part' '" << tags.string() << "'\n";
  }
  fs::permissions(dir / "Velstrom", fs::perms::owner_all);
  int menus = 0;
  SOWin::SetPopupMenuHook([&](HMENU menu, int, int, HWND) {
    ++menus;
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    return 2u;
  });
  const RECT tagBtn = pm.FindControl(L"tagDownBtn")->GetPos();
  ASSERT_TRUE(UITest::ClickAt(pm, POINT{tagBtn.right - 4, (tagBtn.top + tagBtn.bottom) / 2}));
  SOWin::SetPopupMenuHook({});
  EXPECT_EQ(menus, 1);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return fs::exists(tags); }, 10000));
  std::vector<std::string> args;
  std::ifstream in(tags);
  for (std::string line; std::getline(in, line);) args.push_back(line);
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], "2");
  EXPECT_EQ(args[1], "ORVANTA_DICOM_TAGS");
  EXPECT_NE(std::find(thin.files.begin(), thin.files.end(), fs::path(args[2])), thin.files.end()) << args[2];

  // An empty view-files broadcast keeps what is shown.
  std::vector<std::string> none;
  frame->Broadcast(0x50001, &none, nullptr);
  SOWin::PumpEvents(50);
  EXPECT_EQ(list->GetCount(), 3);

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}
