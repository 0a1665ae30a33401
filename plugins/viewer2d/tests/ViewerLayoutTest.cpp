// The grid picker: what a click picks, and closing without an answer.

#include "TessalyTestUtil.h"
#include "ViewerLayout.h"

using namespace DuiLib;
using namespace tessalytest;

namespace {

struct Picked {
  int fired = 0;
  ViewerLayout::Grid grid;
};

// Opens a picker over the viewer's window; the answer lands in `picked`.
HWND OpenPicker(HWND owner, Picked& picked, ViewerLayout** out = nullptr) {
  auto* picker = new ViewerLayout;
  HWND hwnd = picker->Create(owner, nullptr, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 10, 10, 100, 120);
  picker->OnPick += CDelegateBase(
      [&picked](void* p) {
        ++picked.fired;
        picked.grid = *static_cast<ViewerLayout::Grid*>(p);
        return true;
      },
      &picked, "picked");
  if (out) *out = picker;
  return hwnd;
}

}  // namespace

TEST_F(Viewer, APickerClickPicksTheSweptGridAndClosesIt) {
  // The skin's field: 4 columns of 22-pixel tiles from (4, 4).
  struct {
    int x, y;
    int rows, columns;
  } cases[] = {
      {30, 30, 2, 2},    // covers tiles 0, 1, 4 and 5
      {76, 30, 2, 4},    //
      {1, 1, 1, 1},      // above and left of the first tile
      {-5, -5, 1, 1},    // signed coordinates
      {99, 119, 5, 4},   // the whole field
      {53, 100, 5, 3},
  };
  for (const auto& c : cases) {
    Picked picked;
    HWND hwnd = OpenPicker(window->GetHWND(), picked);
    ASSERT_NE(hwnd, nullptr);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(c.x, c.y));
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, c.y));
    SOWin::PumpEvents(10);
    EXPECT_EQ(picked.fired, 1) << c.x << "," << c.y;
    EXPECT_EQ(picked.grid.rows, c.rows) << c.x << "," << c.y;
    EXPECT_EQ(picked.grid.columns, c.columns) << c.x << "," << c.y;
    EXPECT_FALSE(IsWindow(hwnd));
  }
  // Losing the focus closes it without an answer.
  Picked picked;
  HWND hwnd = OpenPicker(window->GetHWND(), picked);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(40, 40));
  SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
  SOWin::PumpEvents(10);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(picked.fired, 0);
}

TEST_F(Viewer, TheSeriesGridButtonOpensThePickerAndAppliesItsAnswer) {
  const fs::path dir = orvanta::test::MakeTempDir("picker");
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 2;
  options.rows = options.columns = 16;
  orvanta::fixtures::WriteCtSeries(dir, options);
  LoadDir(dir);
  Click(L"seriesLayoutIcon");
  HWND picker = FindWindowW(L"ViewerLayout", nullptr);
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(UITest::ClickWindow(picker, POINT{53, 30}));
  SOWin::PumpUntil([&] { return Lumexa()->GetSeriesWndCount() == 6; }, 2000);
  EXPECT_EQ(Lumexa()->GetSeriesWndCount(), 6);
}
