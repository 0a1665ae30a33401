// The 3D viewer as the program runs it: both viewer plug-ins loaded by the shell from the program
// folder, a CT series handed from the 2D viewer to the 3D viewer, then its pages and a capture,
// driven only through the host and the windows' skins.

#include <gtest/gtest.h>

#include "CCaptureDlg.h"
#include "CMainFrameWnd.h"
#include "FrameTestSupport.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "SeriesRecord.h"
#include "SOWinQt.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "ui/visual/SOVisualWindow.h"

using namespace DuiLib;
namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

CPaintManagerUI& PaintOf(HWND window) {
  auto* plugin =
      dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
  return *plugin->GetPaintManager();
}

// The visual control the plug-in window embeds: its child window of the control's class.
SOVisualWindow* VisualOf(HWND window) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring(name) != L"SOVisualWindowClass") continue;
    return dynamic_cast<SOVisualWindow*>(reinterpret_cast<SOWindowBase*>(GetWindowLongPtrW(child, GWLP_USERDATA)));
  }
  return nullptr;
}

bool Selected(CPaintManagerUI& pm, const wchar_t* name) {
  auto* option = dynamic_cast<COptionUI*>(pm.FindControl(name));
  return option && option->IsSelected();
}

// The first voxel value of the palette in use, or 0 when it has fewer than two points.
int FirstPoint(ISOVisualCtrl& ctrl) {
  V3Palette palette;
  if (!ctrl.GetPalette(palette) || palette.points.count < 2) return 0;
  return palette.points.data[0].value;
}

}  // namespace

TEST(CorvideInTheProgram, SeriesFromThe2DViewerShowsVRWithBoneThenMPRVEAndBackAndCapturesIntoTheStore) {
  orvanta::test::EnsureQtApp();
  ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
  Gossamy::ReleaseArchiveDB();
  Gossamy::SetStorePath(orvanta::test::MakeTempDir("store").c_str());
  // The program folder of the build, with the plug-ins, skins, catalogs and colours.
  const fs::path dir = orvanta::test::ProgramFolder();
  auto frame = orvanta::test::StartFrame(dir, {"libTessaly.so", "libCorvide.so"});
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 2u);
  const HWND viewer2d = frame->GetPlugins()[0].window;
  const HWND viewer3d = frame->GetPlugins()[1].window;
  ASSERT_EQ(frame->GetPlugins()[1].name, L"Corvide");
  CPaintManagerUI& pm2d = PaintOf(viewer2d);
  CPaintManagerUI& pm = PaintOf(viewer3d);
  SOVisualWindow* ctrl = VisualOf(viewer3d);
  ASSERT_NE(ctrl, nullptr);
  auto* pages = dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"tabLayout"));
  ASSERT_NE(pages, nullptr);

  // A CT volume of 24 slices in the 2D viewer, its row chosen.
  fx::CtSeriesOptions ct;
  ct.slices = 24;
  ct.rows = ct.columns = 64;
  ct.patientName = "Doe^John";
  const auto series = fx::WriteCtSeries(orvanta::test::MakeTempDir("ct"), ct);
  std::string folder = series.files[0].parent_path().string();
  ASSERT_TRUE(frame->SendCommand(L"Tessaly", "LOADDIR", folder.data()));
  auto* list = dynamic_cast<CContainerUI*>(pm2d.FindControl(L"studySeriesList"));
  ASSERT_NE(list, nullptr);
  auto rowOf = [&](int i) { return dynamic_cast<CContainerUI*>(list->GetItemAt(i)); };
  // Loaded once the series row counts all its images.
  ASSERT_TRUE(SOWin::PumpUntil(
      [&] {
        CContainerUI* r = list->GetCount() == 2 ? rowOf(1) : nullptr;
        auto* counts = r ? dynamic_cast<CContainerUI*>(r->GetItemAt(3)) : nullptr;
        return counts && counts->GetItemAt(1) && std::wstring(counts->GetItemAt(1)->GetText()) == L"24";
      },
      20000));
  auto* row = dynamic_cast<COptionUI*>(rowOf(1)->GetItemAt(0));
  ASSERT_NE(row, nullptr);
  ASSERT_TRUE(UITest::Click(row));
  SOWin::PumpEvents(20);
  ASSERT_TRUE(pm2d.FindControl(L"3DBtn")->IsEnabled());

  // The hand-off: the 3D viewer comes to the front and builds the whole series into a volume
  // shown in VR with the bone colours.
  const int builds = ctrl->GetVolumeBuilds();
  ASSERT_TRUE(UITest::Click(pm2d, L"3DBtn"));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return ctrl->GetVolumeBuilds() > builds; }, 30000));
  SOWin::PumpEvents(50);
  EXPECT_TRUE(IsWindowVisible(viewer3d));
  EXPECT_FALSE(IsWindowVisible(viewer2d));
  EXPECT_EQ(ctrl->GetObjectCount(), 24);
  EXPECT_NE(ctrl->GetImageObject(4), nullptr);
  EXPECT_TRUE(Selected(pm, L"vrIcon"));
  EXPECT_EQ(pages->GetCurSel(), 0);
  EXPECT_TRUE(ctrl->Is3DViewShown());
  EXPECT_EQ(ctrl->GetVRBuilder().GetRenderMode(), 0);
  EXPECT_EQ(FirstPoint(*ctrl), 145);  // "Bone"

  // MPR puts the oblique pane in the 3D view's place; VE flies through with the endoscopy
  // colours; VR again restores the bone colours.
  struct Step {
    const wchar_t* button;
    const wchar_t* icon;
    int page;
    bool shown3D;
    int mode;
    int firstPoint;
  };
  const Step steps[] = {{L"mprBtn", L"mprIcon", 1, false, 0, 145},
                        {L"veBtn", L"veIcon", 2, true, 1, -769},
                        {L"vrBtn", L"vrIcon", 0, true, 0, 145}};
  for (const Step& s : steps) {
    SCOPED_TRACE(SOWin::ToUtf8(s.button));
    ASSERT_TRUE(UITest::Click(pm, s.button));
    SOWin::PumpEvents(20);
    EXPECT_TRUE(Selected(pm, s.icon));
    EXPECT_EQ(pages->GetCurSel(), s.page);
    EXPECT_EQ(ctrl->Is3DViewShown() != 0, s.shown3D);
    EXPECT_EQ(ctrl->GetVRBuilder().GetRenderMode(), s.mode);
    EXPECT_EQ(FirstPoint(*ctrl), s.firstPoint);
  }

  // The camera button captures the whole control into the dialog, which stores it in the
  // series' study as the first free capture series.
  int dialogs = 0;
  UITest::OnModal(L"CCaptureDlg", [&](CWindowWnd* w) {
    ++dialogs;
    auto& dpm = *dynamic_cast<CCaptureDlg*>(w)->GetPaintManager();
    UITest::Click(dpm, L"toLocalOpt");
    UITest::Click(dpm, L"confirmBtn");
    SOWin::PumpEvents(10);
    if (IsWindow(w->GetHWND())) dynamic_cast<CCaptureDlg*>(w)->Close(IDCANCEL);
  });
  // The icon lies under its arrow button's area: the click lands where the icon shows.
  const RECT icon = pm.FindControl(L"cameraIcon")->GetPos();
  ASSERT_TRUE(UITest::ClickAt(pm, POINT{(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2}));
  SOWin::PumpEvents(20);
  EXPECT_EQ(dialogs, 1);
  std::vector<SeriesRecord> stored;
  ASSERT_TRUE(Gossamy::LocalDB()->GetAllSeriesRecords(stored, true));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].studyUID, series.studyUid);
  EXPECT_EQ(stored[0].seriesNumber, "50001");
  ASSERT_EQ(stored[0].instances.size(), 1u);

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  Gossamy::ReleaseArchiveDB();
}
