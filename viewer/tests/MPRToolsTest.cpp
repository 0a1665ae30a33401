#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "LumexaModule.h"
#include "SOImageWindowMPR.h"
#include "SOPluginMPRCross.h"
#include "SOPluginMPRInfo.h"
#include "UITestDriver.h"
#include "ViewerUiTestUtil.h"
#include "Visual3DTestUtil.h"

namespace {

const double kAxial[6] = {1, 0, 0, 0, 1, 0};
const double kCoronal[6] = {1, 0, 0, 0, 0, -1};
const double kSagittal[6] = {0, 1, 0, 0, 0, -1};
const double kOblique[6] = {0.7071, 0.7071, 0, 0, 0, -1};
const double kCross[3] = {50, 60, 70};

struct Recorder : ISOMPRImageWindowCallback {
  void OnCrossMoved(SOImageWindow* w, const float p[3]) override {
    window = w;
    points.push_back({p[0], p[1], p[2]});
    inViewDrag = LumexaInViewDrag();
  }
  void OnSlabTypeChanged(SOImageWindow*, int type) override { types.push_back(type); }
  void OnSlabThicknessChanged(SOImageWindow*, float t) override { thicknesses.push_back(t); }
  bool inViewDrag = false;
  SOImageWindow* window = nullptr;
  std::vector<std::array<float, 3>> points;
  std::vector<int> types;
  std::vector<float> thicknesses;
};

// A 202 x 202 MPR window showing a 100 mm plane through the cross point: the cross sits at
// the middle, about 2 px per mm.
class MPRToolTest : public testing::Test {
 protected:
  void Show(const double orientation[6]) {
    // The window lets the old plane go before it is freed.
    auto next = std::make_unique<visual_test::PlaneImage>(orientation, kCross);
    if (!window.GetWindow()) {
      window.Create(frame.GetWindow(), 0, 0, 202, 202);
      window.MoveWindow(0, 0, 202, 202);
      window.SetMPRCallback(&recorder);
    }
    window.SetImageObject(&next->image, 0);
    plane = std::move(next);
    window.UpdateWindow();
    cross = dynamic_cast<SOPluginMPRCross*>(window.GetPluginMgr().GetPlugin("MPRCROSS"));
    ASSERT_NE(cross, nullptr);
  }
  LRESULT Send(UINT msg, int x, int y, WPARAM keys = 0) {
    return SendMessageW(window.GetWindow(), msg, keys, MAKELPARAM(x, y));
  }

  viewer_ui_test::Frame frame{400, 300};
  Recorder recorder;
  std::unique_ptr<visual_test::PlaneImage> plane;
  SOImageWindowMPR window;
  SOPluginMPRCross* cross = nullptr;
};

}  // namespace

TEST_F(MPRToolTest, ViewKindAndHitAreas) {
  // The centre zone is the bands within 40 px of the crossing (at 101, 101).
  struct Case {
    const double* orientation;
    int view;
    int centre, farOnHorizontal, farOnVertical, fourOffVertical;
    int zoneEdge[4];  // 35 and 45 px right of the crossing, then 35 and 45 px below it
  };
  const Case cases[] = {
      {kAxial, 1, 1, 2, 3, 3, {1, 2, 1, 3}},
      {kCoronal, 2, 1, 2, 3, 3, {1, 2, 1, 3}},
      {kSagittal, 3, 1, 2, 3, 0, {1, 2, 1, 3}},  // the sagittal vertical band is 2 px each side
      {kOblique, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Show(c.orientation);
    EXPECT_EQ(cross->GetViewKind(), c.view);
    cross->HitTest(101, 101);
    EXPECT_EQ(cross->GetHoverPart(), c.centre);
    cross->HitTest(20, 101);
    EXPECT_EQ(cross->GetHoverPart(), c.farOnHorizontal);
    cross->HitTest(101, 20);
    EXPECT_EQ(cross->GetHoverPart(), c.farOnVertical);
    cross->HitTest(105, 20);
    EXPECT_EQ(cross->GetHoverPart(), c.fourOffVertical);
    const POINT edges[4] = {{136, 101}, {146, 101}, {101, 136}, {101, 146}};
    for (int k = 0; k < 4; ++k) {
      cross->HitTest(edges[k].x, edges[k].y);
      EXPECT_EQ(cross->GetHoverPart(), c.zoneEdge[k]) << k;
    }
  }
}

// Each trace keeps one coordinate constant; dragging it moves that coordinate only, dragging
// the crossing moves both.
TEST_F(MPRToolTest, DragsMoveTheCoordinatesOfTheGrabbedTraces) {
  struct Case {
    const double* orientation;
    int pressX, pressY;
    std::vector<int> moved;  // indices of the patient coordinates that change
  };
  const Case cases[] = {
      {kAxial, 20, 101, {1}},      {kAxial, 101, 20, {0}},      {kAxial, 101, 101, {0, 1}},
      {kCoronal, 20, 101, {2}},    {kCoronal, 101, 20, {0}},    {kCoronal, 101, 101, {0, 2}},
      {kSagittal, 20, 101, {2}},   {kSagittal, 101, 20, {1}},   {kSagittal, 101, 101, {1, 2}},
  };
  for (const Case& c : cases) {
    Show(c.orientation);
    recorder.points.clear();
    Send(WM_MOUSEMOVE, c.pressX, c.pressY);
    EXPECT_NE(Send(WM_LBUTTONDOWN, c.pressX, c.pressY, MK_LBUTTON), -1);
    Send(WM_MOUSEMOVE, c.pressX + 20, c.pressY + 20, MK_LBUTTON);
    Send(WM_LBUTTONUP, c.pressX + 20, c.pressY + 20);
    ASSERT_EQ(recorder.points.size(), 1u);
    EXPECT_EQ(recorder.window, &window);
    // The planes paint quickly while the cross moves; the release repaints them in full.
    EXPECT_TRUE(recorder.inViewDrag);
    EXPECT_FALSE(LumexaInViewDrag());
    for (int i = 0; i < 3; ++i) {
      const bool expected = std::find(c.moved.begin(), c.moved.end(), i) != c.moved.end();
      // 20 px is about 10 mm.
      EXPECT_EQ(std::fabs(recorder.points[0][i] - kCross[i]) > 5, expected) << "axis " << i;
    }
  }
  // Off the traces a press is not the cross's, and nothing is reported.
  Show(kAxial);
  recorder.points.clear();
  Send(WM_MOUSEMOVE, 30, 30);
  Send(WM_LBUTTONDOWN, 30, 30, MK_LBUTTON);
  Send(WM_MOUSEMOVE, 40, 40, MK_LBUTTON);
  Send(WM_LBUTTONUP, 40, 40);
  EXPECT_TRUE(recorder.points.empty());
}

TEST_F(MPRToolTest, InfoMenusReportTheChoice) {
  Show(kOblique);
  window.GetPluginMgr().RemovePlugin("MPRCROSS");
  window.GetPluginMgr().RemovePlugin("OVERINFO");
  auto* info = new SOPluginMPRInfo;
  ASSERT_TRUE(window.InsertPlugin(0, info));
  plane->image.slabType = 1;
  plane->image.slabThickness = 1.0f;
  window.UpdateWindow();

  int items = 0;
  UINT answer = 0;
  SOWin::SetPopupMenuHook([&](HMENU menu, int, int, HWND owner) {
    EXPECT_EQ(owner, window.GetWindow());
    items = GetMenuItemCount(menu);
    return answer;
  });
  auto click = [&](const Gdiplus::RectF& button) {
    const POINT at{static_cast<LONG>(button.X + button.Width / 2), static_cast<LONG>(button.Y + button.Height / 2)};
    ASSERT_TRUE(DuiLib::UITest::ClickWindow(window.GetWindow(), at));
  };
  answer = 4;  // "5.0"
  click(info->GetThicknessButton());
  EXPECT_EQ(items, 5);
  EXPECT_EQ(recorder.thicknesses, std::vector<float>{5.0f});
  answer = 2;  // "MIP"
  click(info->GetTypeButton());
  EXPECT_EQ(items, 3);
  EXPECT_EQ(recorder.types, std::vector<int>{2});
  answer = 0;  // dismissed
  click(info->GetTypeButton());
  EXPECT_EQ(recorder.types.size(), 1u);

  // The label follows the image once the control has applied the choice.
  plane->image.slabThickness = 5.0f;
  EXPECT_EQ(SOPluginMPRInfo::ThicknessText(plane->image.slabThickness), L"5.0mm");

  // Hidden corner texts take their labels and menus with them.
  items = 0;
  window.EnablePlugin("OVERINFO", false, true);
  click(info->GetTypeButton());
  EXPECT_EQ(items, 0);
  SOWin::SetPopupMenuHook({});
}
