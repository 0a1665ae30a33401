#include <gtest/gtest.h>

#include <cmath>

#include "SOCorvideDrag.h"
#include "SOImageWindow3D.h"
#include "SOImageWindowMPR.h"
#include "SOPluginDrag.h"
#include "SOPluginMPRCross.h"
#include "SOPluginMPRInfo.h"
#include "ViewerUiTestUtil.h"
#include "Visual3DTestUtil.h"

namespace {

double Angle(const double a[3], const double b[3]) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  return std::acos(std::clamp(dot, -1.0, 1.0));
}

// A 3D window of 200 x 100 (client 198 x 98 rendered) with a built test volume.
class Window3DTest : public testing::Test {
 protected:
  void SetUp() override {
    window.Create(frame.GetWindow(), 0, 0, 200, 100);
    window.MoveWindow(0, 0, 200, 100);
    window.SetVRBuilder(&builder);
    window.OnVolumeBuilt();
    builder.sizes.clear();
  }
  LRESULT Send(UINT msg, int x, int y, WPARAM keys = 0) {
    return SendMessageW(window.GetWindow(), msg, keys, MAKELPARAM(x, y));
  }
  // The rendered frame's right and down directions.
  void Axes(double right[3], double down[3]) {
    const double* o = builder.image.GetImageOrientationPatient();
    std::copy(o, o + 3, right);
    std::copy(o + 3, o + 6, down);
  }

  viewer_ui_test::Frame frame{400, 300};
  visual_test::TestVRBuilder builder;
  SOImageWindow3D window;
};

}  // namespace

TEST_F(Window3DTest, BuiltVolumeShowsAtTheWindowSizeAndTheBindingsAreTheDragTools) {
  EXPECT_EQ(window.GetSOImageObject(), &builder.image);
  EXPECT_EQ(window.GetUserData(0), static_cast<void*>(static_cast<IVRBuilder*>(&builder)));
  EXPECT_EQ(builder.image.GetRows(), 98);
  EXPECT_EQ(builder.image.GetColumns(), 198);
  SOPluginMgr& mgr = window.GetPluginMgr();
  EXPECT_STREQ(mgr.GetLButtonPlugin(), "ROTATE");
  EXPECT_STREQ(mgr.GetRButtonPlugin(), "WW");
  EXPECT_STREQ(mgr.GetMButtonPlugin(), "ZOOM");
  EXPECT_NE(mgr.GetPlugin("OVERINFO"), nullptr);
  EXPECT_NE(mgr.GetPlugin("GRAPHICS"), nullptr);

  // A second attach registers nothing twice; a resize renders at the new size.
  window.SetVRBuilder(&builder);
  EXPECT_EQ(builder.callbacks.size(), 1u);
  window.MoveWindow(0, 0, 120, 80);
  ASSERT_FALSE(builder.sizes.empty());
  EXPECT_EQ(builder.sizes.back(), std::make_pair(78, 118));

  // Leaving the builder leaves its image without an owner and its callback list.
  window.SetVRBuilder(nullptr);
  EXPECT_TRUE(builder.callbacks.empty());
  EXPECT_EQ(builder.image.ownerWindow, nullptr);
  EXPECT_EQ(window.GetUserData(0), nullptr);
}

TEST_F(Window3DTest, ImagingTypeSwapsTheRightButtonTool) {
  SOPluginMgr& mgr = window.GetPluginMgr();
  for (int type : {1, 0, 1, 0}) {
    window.OnImagingTypeChanged(type);
    ISOCtrlPlugin* ww = mgr.GetPlugin("WW");
    EXPECT_STREQ(mgr.GetRButtonPlugin(), "WW");
    if (type == 0) {
      ASSERT_NE(dynamic_cast<SOCorvideWW*>(ww), nullptr);
      // The colour tool shifts the transfer function and renders.
      builder.sizes.clear();
      Send(WM_RBUTTONDOWN, 50, 50, MK_RBUTTON);
      Send(WM_MOUSEMOVE, 50, 60, MK_RBUTTON);
      Send(WM_RBUTTONUP, 50, 60);
      EXPECT_EQ(builder.sizes.size(), 2u);
    } else {
      ASSERT_NE(dynamic_cast<SOPluginWW*>(ww), nullptr);
      // The grey tool windows the shown image.
      const double before = builder.image.GetImagePresentationState().windowWidth;
      Send(WM_RBUTTONDOWN, 50, 50, MK_RBUTTON);
      Send(WM_MOUSEMOVE, 80, 50, MK_RBUTTON);
      Send(WM_RBUTTONUP, 80, 50);
      EXPECT_NE(builder.image.GetImagePresentationState().windowWidth, before);
    }
  }
}

// The drag protocol: quarter-size renderings while a button is held, one full-size rendering
// after, whatever ends the drag.
TEST_F(Window3DTest, DragsRenderSmallThenFullOnReleaseOrLostCapture) {
  const std::pair<int, int> quarter{24, 49}, full{98, 198};
  struct Case {
    UINT down, up;
    WPARAM keys;
    int moveDy;  // 0: a move that does not change position
    size_t moveRenders;
  };
  const Case cases[] = {
      {WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 0, 0},  // ROTATE
      {WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 10, 1},
      {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, 0, 0},  // WW
      {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, 10, 1},
  };
  for (const Case& c : cases) {
    builder.sizes.clear();
    const int cancels = builder.cancels;
    Send(c.down, 50, 50, c.keys);
    EXPECT_TRUE(builder.interacting);
    EXPECT_EQ(builder.cancels, cancels + 1);
    EXPECT_TRUE(builder.sizes.empty()) << "a press does not render";
    Send(WM_MOUSEMOVE, 50, 50 + c.moveDy, c.keys);
    ASSERT_EQ(builder.sizes.size(), c.moveRenders);
    if (c.moveRenders) {
      EXPECT_EQ(builder.sizes.back(), quarter);
    }
    Send(c.up, 50, 50 + c.moveDy);
    EXPECT_FALSE(builder.interacting);
    EXPECT_EQ(builder.sizes.back(), full);
  }

  // ZOOM steps on every move, even one that stays put.
  Send(WM_MBUTTONDOWN, 50, 50, MK_MBUTTON);
  Send(WM_MOUSEMOVE, 50, 50, MK_MBUTTON);
  Send(WM_MOUSEMOVE, 50, 40, MK_MBUTTON);
  Send(WM_MBUTTONUP, 50, 40);
  EXPECT_EQ(builder.zooms, (std::vector<float>{0.0f, 10.0f}));

  // A release without a press renders nothing.
  builder.sizes.clear();
  Send(WM_LBUTTONUP, 50, 50);
  EXPECT_TRUE(builder.sizes.empty());

  // A second tool pressed during a drag does not cancel the phases again.
  const int cancels = builder.cancels;
  Send(WM_LBUTTONDOWN, 50, 50, MK_LBUTTON);
  Send(WM_RBUTTONDOWN, 50, 50, MK_LBUTTON | MK_RBUTTON);
  EXPECT_EQ(builder.cancels, cancels + 1);

  // The release is lost: another window takes the mouse. The drag still ends at full size.
  builder.sizes.clear();
  viewer_ui_test::Frame other{50, 50};
  ::SetCapture(other.GetWindow());
  EXPECT_FALSE(builder.interacting);
  ASSERT_FALSE(builder.sizes.empty());
  EXPECT_EQ(builder.sizes.back(), full);
  ::ReleaseCapture();
}

// A drag across the shorter side of the window (100 px) is a whole turn, about one axis per move.
TEST_F(Window3DTest, RotationTurnsAboutTheAxisOfTheLargerMove) {
  struct Case {
    int dx, dy;
    bool rightTurns;  // else the down direction turns
  };
  const Case cases[] = {{25, 3, true}, {-25, 0, true}, {2, 25, false}, {0, -25, false}};
  const RECT r = window.GetScreenRect();
  const double s = std::min(r.right - r.left, r.bottom - r.top);
  for (const Case& c : cases) {
    double right0[3], down0[3], right1[3], down1[3];
    Axes(right0, down0);
    Send(WM_LBUTTONDOWN, 60, 40, MK_LBUTTON);
    Send(WM_MOUSEMOVE, 60 + c.dx, 40 + c.dy, MK_LBUTTON);
    Send(WM_LBUTTONUP, 60 + c.dx, 40 + c.dy);
    Axes(right1, down1);
    const double expected = 3.14 * 2 * std::max(std::abs(c.dx), std::abs(c.dy)) / s;
    EXPECT_NEAR(Angle(c.rightTurns ? right0 : down0, c.rightTurns ? right1 : down1), expected, 0.01);
    EXPECT_NEAR(Angle(c.rightTurns ? down0 : right0, c.rightTurns ? down1 : right1), 0.0, 0.01);
  }
}

// A window laid out with no size has no turn per pixel: the drag leaves the view as it was.
TEST_F(Window3DTest, RotationInAnEmptyWindowTurnsNothing) {
  window.MoveWindow(0, 0, 0, 0);
  double right0[3], down0[3], right1[3], down1[3];
  Axes(right0, down0);
  Send(WM_LBUTTONDOWN, 0, 0, MK_LBUTTON);
  Send(WM_MOUSEMOVE, 30, 10, MK_LBUTTON);
  Send(WM_LBUTTONUP, 30, 10);
  Axes(right1, down1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(right1[i], right0[i]);
    EXPECT_EQ(down1[i], down0[i]);
  }
}

TEST(WindowMPR, CrossSitsSecondAndTheInfoToolTakesItsPlace) {
  SOImageWindowMPR window;
  EXPECT_NE(window.GetPluginMgr().GetPlugin("MPRCROSS"), nullptr);
  EXPECT_FALSE(window.InsertPlugin(0, nullptr));
  window.GetPluginMgr().RemovePlugin("MPRCROSS");
  window.GetPluginMgr().RemovePlugin("OVERINFO");
  auto* info = new SOPluginMPRInfo;
  EXPECT_TRUE(window.InsertPlugin(0, info));
  EXPECT_EQ(window.GetPluginMgr().GetPlugin("OVERINFO"), info);
}
