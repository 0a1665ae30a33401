#include "ColorPanel.h"

#include "SOWinQt.h"
#include "TestSupport.h"
#include "UIGettext.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;
using namespace DuiLib;

namespace {

class ColorPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    const fs::path bin = orvanta::test::ProgramFolder();
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((bin / "skin").string() + "/").c_str());
    colors = bin / "colors";
  }

  corvide::ColorPanel* Open(const TissuePresetStore* store) {
    corvide::ColorPanel* panel = corvide::ColorPanel::Open(
        nullptr, POINT{20, 20}, [this](const V3Palette& p) { applied.emplace_back(p); }, store);
    EXPECT_NE(panel, nullptr);
    hwnd = panel ? panel->GetHWND() : nullptr;
    UITest::ProcessEvents(20);
    return panel;
  }

  CTileLayoutUI* Tiles(corvide::ColorPanel* panel) {
    return dynamic_cast<CTileLayoutUI*>(panel->GetPaintManager()->FindControl(L"tileLayout"));
  }

  // Closed and freed: the window is gone once the posted close has run.
  bool Closed() {
    UITest::ProcessEvents(30);
    return !::IsWindow(hwnd);
  }

  fs::path colors;
  std::vector<V3Palette> applied;
  HWND hwnd = nullptr;
};

}  // namespace

// One tile per preset, in order, with its name and picture; a click where a tile shows applies
// that preset and closes the panel.
TEST_F(ColorPanelTest, TileClickAppliesItsPresetAndCloses) {
  TissuePresetStore store((colors / "colors.xml").string(), (colors / "images").string() + "/");
  corvide::ColorPanel* panel = Open(&store);
  ASSERT_NE(panel, nullptr);
  CTileLayoutUI* tiles = Tiles(panel);
  ASSERT_NE(tiles, nullptr);
  ASSERT_EQ(tiles->GetCount(), 4);
  const wchar_t* names[] = {L"Bone", L"Skin", L"Lung", L"Trans"};
  for (int i = 0; i < 4; ++i) {
    auto* tile = dynamic_cast<CContainerUI*>(tiles->GetItemAt(i));
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(std::wstring(tile->GetItemAt(0)->GetText()), names[i]);
    EXPECT_EQ(tile->GetItemAt(0)->GetTag(), UINT_PTR(i));
    EXPECT_EQ(std::wstring(tile->GetItemAt(1)->GetBkImage()), SOWin::FromUtf8(store.Presets()[i].thumbnail));
  }
  // The mouse on the third tile's picture: the click reaches the tile below it.
  ASSERT_TRUE(UITest::Click(tiles->GetItemAt(2)));
  EXPECT_TRUE(Closed());
  ASSERT_EQ(applied.size(), 1u);
  ASSERT_EQ(applied[0].points.count, 3u);
  EXPECT_EQ(applied[0].points.data[0].value, -829);
  EXPECT_EQ(applied[0].points.data[2].color, 0x800080u);
}

// Without a colors file the panel offers the built-in presets.
TEST_F(ColorPanelTest, NoColorsFileOffersBuiltIns) {
  TissuePresetStore store((colors / "missing.xml").string(), (colors / "images").string() + "/");
  corvide::ColorPanel* panel = Open(&store);
  ASSERT_NE(panel, nullptr);
  CTileLayoutUI* tiles = Tiles(panel);
  ASSERT_NE(tiles, nullptr);
  std::vector<std::wstring> shown;
  for (int i = 0; i < tiles->GetCount(); ++i)
    shown.emplace_back(dynamic_cast<CContainerUI*>(tiles->GetItemAt(i))->GetItemAt(0)->GetText());
  EXPECT_EQ(shown, (std::vector<std::wstring>{L"Bone", L"Skin", L"Lung", L"Trans"}));
  panel->Close();
  EXPECT_TRUE(Closed());
}

// Losing the focus, or a tag that names no preset, closes the panel and leaves the palette.
TEST_F(ColorPanelTest, ClosesWithoutApplying) {
  TissuePresetStore store((colors / "colors.xml").string(), (colors / "images").string() + "/");
  corvide::ColorPanel* panel = Open(&store);
  ASSERT_NE(panel, nullptr);
  ::SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
  EXPECT_TRUE(Closed());

  panel = Open(&store);
  ASSERT_NE(panel, nullptr);
  panel->OnTileClick(4);
  EXPECT_TRUE(Closed());
  EXPECT_TRUE(applied.empty());
}
