#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

#include "Engine3D.h"
#include "RenderSurface.h"
#include "SOCorvideBox.h"
#include "SOCorvideCut.h"
#include "SOCorvideMPR.h"
#include "SOCorvideOrient.h"
#include "SOImageWindow3D.h"
#include "SOMPRGeometry.h"
#include "ViewerUiTestUtil.h"
#include "Visual3DTestUtil.h"

namespace {

// A 3D window of 300 x 300 over a built 64 mm ball volume, turned so that three faces of the
// box face the viewer.
class Tool3DTest : public testing::Test {
 protected:
  void SetUp() override {
    builder.emplace(64);
    window.Create(frame.GetWindow(), 0, 0, 300, 300);
    window.MoveWindow(0, 0, 300, 300);
    window.SetVRBuilder(&*builder);
    window.OnVolumeBuilt();
  }
  void TearDown() override { window.SetVRBuilder(nullptr); }
  void Turn(void (Engine3D::*to)(), float h, float v) {
    Engine3D* e = builder->GetEngine();
    (e->*to)();
    e->RotateH(h);
    e->RotateV(v);
    builder->Render();
  }
  LRESULT Send(UINT msg, int x, int y, WPARAM keys = 0) {
    return SendMessageW(window.GetWindow(), msg, keys, MAKELPARAM(x, y));
  }
  // Window position of a patient point through the shown rendering.
  SOPoint Screen(const double p[3]) {
    SODcmImageProject project;
    double s[2] = {0, 0};
    EXPECT_TRUE(ImageProjectOf(window.GetDataObject(), project));
    EXPECT_TRUE(PatientToScreen(&window, project, p, s));
    return {static_cast<int>(std::lround(s[0])), static_cast<int>(std::lround(s[1]))};
  }
  void VisibleBox(float min[3], float max[3]) { builder->GetEngine()->GetVisibleBox(min, max); }
  template <typename T>
  T* Tool(const char* name) {
    return dynamic_cast<T*>(window.GetPluginMgr().GetPlugin(name));
  }

  viewer_ui_test::Frame frame{400, 400};
  std::optional<visual_test::TestVRBuilder> builder;
  SOImageWindow3D window;
};

}  // namespace

TEST_F(Tool3DTest, BoxFaceDragCropsWithinTheBoundsAndKeepsItsThickness) {
  Turn(&Engine3D::RotateToCoronal, 0.5f, 0.4f);
  auto* box = Tool<SOCorvideBox>("3DBox");
  ASSERT_NE(box, nullptr);
  window.EnablePlugin("3DBox", true, true);
  float bmin[3], bmax[3];
  builder->GetEngine()->GetBoundingBox(bmin, bmax);

  // The x face turned to the viewer, and its opposite.
  double n[3];
  ViewDirectionOf(builder->image.GetImageOrientationPatient(), n);
  const bool minFront = n[0] > 0;
  const int face = minFront ? 2 : 3;
  auto faceCentre = [&](bool atMin) {
    float min[3], max[3];
    VisibleBox(min, max);
    const double p[3] = {atMin ? min[0] : max[0], (min[1] + max[1]) / 2.0, (min[2] + max[2]) / 2.0};
    return Screen(p);
  };
  const SOPoint from = faceCentre(minFront), to = faceCentre(!minFront);
  Send(WM_MOUSEMOVE, from.x, from.y);
  ASSERT_EQ(box->GetHover(), face);

  // A tenth of the way across moves the face a tenth of the extent.
  const float extent = bmax[0] - bmin[0];
  const SOPoint tenth{from.x + (to.x - from.x) / 10, from.y + (to.y - from.y) / 10};
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, from.x, from.y, MK_LBUTTON) == 0);
  EXPECT_FALSE(builder->interacting) << "the box, not ROTATE, took the press";
  Send(WM_MOUSEMOVE, tenth.x, tenth.y, MK_LBUTTON);
  float min[3], max[3];
  VisibleBox(min, max);
  const float moved = minFront ? min[0] - bmin[0] : bmax[0] - max[0];
  EXPECT_NEAR(moved, extent / 10, 1.5);

  // Further in than 20 mm from the opposite face is refused; so is beyond the volume.
  Send(WM_MOUSEMOVE, to.x, to.y, MK_LBUTTON);
  float after[3], afterMax[3];
  VisibleBox(after, afterMax);
  EXPECT_EQ(after[0], min[0]);
  EXPECT_EQ(afterMax[0], max[0]);
  Send(WM_MOUSEMOVE, from.x - (to.x - from.x), from.y - (to.y - from.y), MK_LBUTTON);
  VisibleBox(after, afterMax);
  EXPECT_GE(after[0], bmin[0]);
  EXPECT_LE(afterMax[0], bmax[0]);
  Send(WM_LBUTTONUP, from.x, from.y);
  EXPECT_GE(afterMax[0] - after[0], 20.0f);

  // A drag that leaves 30 mm to the opposite face is taken; one that would leave 10 is refused.
  auto thickness = [&] {
    float lo[3], hi[3];
    VisibleBox(lo, hi);
    return hi[0] - lo[0];
  };
  for (const auto& [remaining, expected] : {std::pair{30.0f, 30.0f}, std::pair{10.0f, 30.0f}}) {
    SCOPED_TRACE(remaining);
    const SOPoint p = faceCentre(minFront), q = faceCentre(!minFront);
    const float g = (thickness() - remaining) / thickness();
    const SOPoint r{p.x + static_cast<int>(std::lround((q.x - p.x) * g)),
                    p.y + static_cast<int>(std::lround((q.y - p.y) * g))};
    Send(WM_MOUSEMOVE, p.x, p.y);
    ASSERT_EQ(box->GetHover(), face);
    Send(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Send(WM_MOUSEMOVE, r.x, r.y, MK_LBUTTON);
    Send(WM_LBUTTONUP, r.x, r.y);
    EXPECT_NEAR(thickness(), expected, 2.0f);
  }
}

TEST_F(Tool3DTest, BoxIgnoresEdgesEdgeOnFacesAndStaysOutOfTheWayWhenOffOrInPerspective) {
  auto* box = Tool<SOCorvideBox>("3DBox");
  window.EnablePlugin("3DBox", true, true);
  float min0[3], max0[3], min[3], max[3];
  VisibleBox(min0, max0);

  // Seen straight along y the y faces' centres coincide on screen: a drag there moves nothing.
  Turn(&Engine3D::RotateToCoronal, 0, 0);
  const double centre[3] = {(min0[0] + max0[0]) / 2, min0[1], (min0[2] + max0[2]) / 2};
  const SOPoint c = Screen(centre);
  Send(WM_MOUSEMOVE, c.x, c.y);
  ASSERT_GE(box->GetHover(), 4);
  Send(WM_LBUTTONDOWN, c.x, c.y, MK_LBUTTON);
  Send(WM_MOUSEMOVE, c.x + 30, c.y + 30, MK_LBUTTON);
  Send(WM_LBUTTONUP, c.x + 30, c.y + 30);
  VisibleBox(min, max);
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(min[a], min0[a]);
    EXPECT_EQ(max[a], max0[a]);
  }

  // An edge shows the hand but does not drag.
  Turn(&Engine3D::RotateToCoronal, 0.5f, 0.4f);
  double n[3];
  ViewDirectionOf(builder->image.GetImageOrientationPatient(), n);
  // The edge between the front x face and the front y face.
  const double edge[3] = {n[0] > 0 ? min0[0] : max0[0], n[1] > 0 ? min0[1] : max0[1], (min0[2] + max0[2]) / 2};
  const SOPoint e = Screen(edge);
  Send(WM_MOUSEMOVE, e.x, e.y);
  ASSERT_EQ(box->GetHover(), 1);
  Send(WM_LBUTTONDOWN, e.x, e.y, MK_LBUTTON);
  Send(WM_MOUSEMOVE, e.x + 20, e.y, MK_LBUTTON);
  Send(WM_LBUTTONUP, e.x + 20, e.y);
  VisibleBox(min, max);
  EXPECT_EQ(min[0], min0[0]);
  EXPECT_EQ(max[0], max0[0]);

  // Off, or in perspective mode, the press goes to ROTATE.
  for (bool enabled : {false, true}) {
    window.EnablePlugin("3DBox", enabled, true);
    builder->renderMode = enabled ? 1 : 0;
    window.UpdateWindow();
    Send(WM_MOUSEMOVE, e.x, e.y);
    Send(WM_LBUTTONDOWN, e.x, e.y, MK_LBUTTON);
    EXPECT_TRUE(builder->interacting);
    Send(WM_LBUTTONUP, e.x, e.y);
  }
}

TEST_F(Tool3DTest, CutTakesContoursOfFourPointsOrMore) {
  window.SetMouseLeft("CUT");
  auto* cut = Tool<SOCorvideCut>("CUT");
  ASSERT_NE(cut, nullptr);
  // A press that trembles by less than 2 px draws nothing yet.
  Send(WM_LBUTTONDOWN, 100, 100, MK_LBUTTON);
  Send(WM_MOUSEMOVE, 101, 101, MK_LBUTTON);
  EXPECT_EQ(cut->GetContour().size(), 1u);
  Send(WM_MOUSEMOVE, 140, 100, MK_LBUTTON);
  Send(WM_MOUSEMOVE, 140, 140, MK_LBUTTON);
  Send(WM_LBUTTONUP, 140, 140);
  EXPECT_TRUE(builder->cuts.empty()) << "3 points are not a contour";

  const SOPoint path[] = {{100, 100}, {160, 100}, {160, 160}, {100, 160}};
  Send(WM_LBUTTONDOWN, path[0].x, path[0].y, MK_LBUTTON);
  for (const SOPoint& p : path) Send(WM_MOUSEMOVE, p.x, p.y, MK_LBUTTON);
  Send(WM_LBUTTONUP, path[3].x, path[3].y);
  ASSERT_EQ(builder->cuts.size(), 1u);
  // The contour reaches the builder in the rendering's pixels.
  const std::vector<SOPoint>& pixels = builder->cuts[0];
  ASSERT_EQ(pixels.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const double in[2] = {static_cast<double>(path[i].x), static_cast<double>(path[i].y)};
    double out[2];
    ASSERT_TRUE(window.ScreenToImageCoords(in, out));
    EXPECT_EQ(pixels[i].x, static_cast<int>(out[0]));
    EXPECT_EQ(pixels[i].y, static_cast<int>(out[1]));
  }
}

// Each plane is drawn in exactly one of the two passes, and only when enabled, with planes,
// outside perspective mode.
TEST_F(Tool3DTest, MPRPlanesAreDrawnOnceInTheRightPass) {
  const double point[3] = {31.5, 31.5, 31.5};
  const double axial[6] = {1, 0, 0, 0, 1, 0}, sagittal[6] = {0, 1, 0, 0, 0, -1}, coronal[6] = {1, 0, 0, 0, 0, -1};
  visual_test::PlaneImage a(axial, point, 64), s(sagittal, point, 64), c(coronal, point, 64);
  window.SetPlaneImages(&a.image, &c.image, &s.image);
  auto* planes = Tool<SOCorvideMPR>("3DMPR");
  ASSERT_NE(planes, nullptr);
  Turn(&Engine3D::RotateToCoronal, 0.5f, 0.4f);
  auto passes = [&]() {
    RenderSurface before(300, 300), after(300, 300);
    planes->DrawBefore(before.dc(), RECT{1, 1, 299, 299});
    planes->Draw(after.dc(), RECT{1, 1, 299, 299});
    auto drawn = [](const RenderSurface& r) {
      for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
          if (r.At(x, y) != 0xFF000000) return true;
      return false;
    };
    return std::make_pair(drawn(before), drawn(after));
  };
  EXPECT_EQ(passes(), std::make_pair(false, false)) << "off by default";
  planes->SetEnable(true);
  builder->renderMode = 0;
  EXPECT_EQ(passes(), std::make_pair(true, false));
  builder->renderMode = 1;
  EXPECT_EQ(passes(), std::make_pair(false, false));
  for (int mode = 2; mode <= 7; ++mode) {
    builder->renderMode = mode;
    const auto drawn = passes();
    EXPECT_NE(drawn.first, drawn.second) << "mode " << mode;
  }
  builder->renderMode = 0;
  window.SetPlaneImages(nullptr, nullptr, nullptr);
  EXPECT_EQ(passes(), std::make_pair(false, false));
}

TEST_F(Tool3DTest, CubeShowsTheFacesTurnedToTheViewer) {
  auto* cube = Tool<SOCorvideOrient>("3DOrient");
  ASSERT_NE(cube, nullptr);
  const double r = std::sqrt(0.5), q = std::sqrt(1.0 / 6);
  struct Case {
    double orientation[6];
    bool green, red, blue;
  };
  const Case cases[] = {
      {{1, 0, 0, 0, 0, -1}, false, true, false},       // from the front: A only
      {{0, 1, 0, 0, 0, -1}, false, false, true},       // from the side: R only
      {{r, -r, 0, -q, -q, -2 * q}, true, true, true},  // from a corner: three faces
  };
  for (const Case& c : cases) {
    builder->object.SetImageOrientationPatient(c.orientation);
    RenderSurface surface(300, 300, 0xFF404040);
    cube->Draw(surface.dc(), surface.rect());
    bool green = false, red = false, blue = false, outside = false;
    const RECT at = SOCorvideOrient::CubeRect(surface.rect());
    for (int y = 0; y < 300; ++y) {
      for (int x = 0; x < 300; ++x) {
        const uint32_t p = surface.At(x, y);
        const bool inside = x >= at.left && x < at.right && y >= at.top && y < at.bottom;
        if (!inside) {
          outside |= p != 0xFF404040;
          continue;
        }
        green |= p == 0xFF2A822A;
        red |= p == 0xFF822A2A;
        blue |= p == 0xFF2A2A82;
      }
    }
    EXPECT_FALSE(outside);
    EXPECT_EQ(green, c.green);
    EXPECT_EQ(red, c.red);
    EXPECT_EQ(blue, c.blue);
  }
}
