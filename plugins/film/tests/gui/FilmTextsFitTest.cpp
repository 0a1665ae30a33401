// Every text of the film windows fits its control, in each language.

#include "FilmGuiSupport.h"
#include "FilmTestFiles.h"
#include "FilmWindows.h"
#include "SOFilmSettingDlg.h"
#include "SOPluginFilmWnd.h"
#include "SOPrintQueueDlg.h"
#include "SOPrinterAddDlg.h"
#include "SkinTextCheck.h"

#include <gtest/gtest.h>

#include <memory>

using namespace DuiLib;
using namespace filmgui;

namespace {

class FilmTexts : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { UseProgramFolder(GetParam()); }
  void TearDown() override { ui_setlocal(0, "en_US"); }

  template <class Dialog>
  std::vector<std::string> Overflowing(Dialog& dialog, const wchar_t* windowClass) {
    std::vector<std::string> found{"<not opened>"};
    UITest::OnModal(windowClass, [&](CWindowWnd* w) {
      PM(w).UpdateLayout();
      found = shelltest::OverflowingTexts(PM(w));
      w->Close(IDOK);
    });
    brenvik::RunModal(dialog, nullptr, windowClass);
    return found;
  }
};

TEST_P(FilmTexts, FitTheirControls) {
  const auto dir = orvanta::test::MakeTempDir("texts");
  PrinterConfig config((dir / "printer.xml").string());
  ASSERT_TRUE(config.Add(filmtest::Printer(104)));
  SOPrintQueue queue((dir / "Films").string());

  brenvik::SOSettingDlg settings(&config);
  EXPECT_EQ(Overflowing(settings, L"SOSettingDlg"), std::vector<std::string>{});
  brenvik::SOPrinterAddDlg add(&config);
  EXPECT_EQ(Overflowing(add, L"SOPrinterAddDlg"), std::vector<std::string>{});
  brenvik::SOPrintQueueDlg jobs(&queue);
  EXPECT_EQ(Overflowing(jobs, L"SOPrintQueueDlg"), std::vector<std::string>{});

  auto window = std::make_unique<brenvik::SOPluginFilmWnd>(&config, &queue);
  HWND hwnd = window->Create(nullptr, L"SOPluginFilmWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  ASSERT_NE(hwnd, nullptr);
  window->GetPaintManager()->UpdateLayout();
  EXPECT_EQ(shelltest::OverflowingTexts(*window->GetPaintManager()), std::vector<std::string>{});
  ::DestroyWindow(hwnd);
}

INSTANTIATE_TEST_SUITE_P(Languages, FilmTexts, testing::Values("zh_CN", "zh_TW", "en_US"));

}  // namespace
