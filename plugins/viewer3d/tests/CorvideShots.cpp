// The 3D viewer's windows as users see them, for the shots tool.

#include "ColorPanel.h"
#include "Shots.h"
#include "UITestDriver.h"

using namespace DuiLib;

ORVANTA_SHOT("3d/color_panel") {
  static std::unique_ptr<TissuePresetStore> store;
  const auto colors = ctx.programDir / "colors";
  store = std::make_unique<TissuePresetStore>((colors / "colors.xml").string(), (colors / "images").string() + "/");
  corvide::ColorPanel* panel = corvide::ColorPanel::Open(nullptr, POINT{0, 0}, nullptr, store.get());
  if (!panel) return {};
  UITest::ProcessEvents(50);
  HWND hwnd = panel->GetHWND();
  return {hwnd, [hwnd] { ::DestroyWindow(hwnd); }};
}

