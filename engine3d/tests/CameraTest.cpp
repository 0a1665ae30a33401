#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Camera.h"

namespace {

void ExpectVector(const CameraVector& v, double x, double y, double z, double tol = 1e-6) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

double Length(const CameraVector& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

template <typename C>
void ExpectFrameInvariants(const C& cam) {
  const CameraVector &d = cam.GetDirection(), &u = cam.GetViewUp(), &r = cam.GetRight(), &dn = cam.GetDown();
  for (const CameraVector* v : {&d, &u, &r, &dn}) EXPECT_NEAR(Length(*v), 1.0, 1e-9);
  ExpectVector(r, d.y * u.z - d.z * u.y, d.z * u.x - d.x * u.z, d.x * u.y - d.y * u.x, 1e-9);
  ExpectVector(dn, -u.x, -u.y, -u.z, 1e-9);
}

TEST(Camera, Defaults) {
  OrthographicCamera ortho;
  ExpectVector(ortho.GetPosition(), 0, -1, 0);
  ExpectVector(ortho.GetDirection(), 0, 1, 0);
  ExpectVector(ortho.GetViewUp(), 0, 0, 1);
  ExpectVector(ortho.GetRight(), 1, 0, 0);
  ExpectVector(ortho.GetDown(), 0, 0, -1);
  PerspectiveCamera persp;
  double w, h;
  persp.GetViewport(&w, &h);
  EXPECT_NEAR(w, 2.0, 1e-6);
  EXPECT_NEAR(h, 2.0, 1e-6);
}

TEST(Camera, RandomRotationsKeepAnOrthonormalFrame) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> angle(-3.2f, 3.2f);
  OrthographicCamera ortho;
  PerspectiveCamera persp;
  for (int i = 0; i < 200; ++i) {
    const int op = i % 3;
    const float a = angle(rng);
    if (op == 0) ortho.RotateH(a), persp.RotateH(a);
    if (op == 1) ortho.RotateV(a), persp.RotateV(a);
    if (op == 2) ortho.RotateScreen(a), persp.RotateScreen(a);
    ExpectFrameInvariants(ortho);
    ExpectFrameInvariants(persp);
  }
  // Orbiting keeps the eye at its distance from the focal point.
  EXPECT_NEAR(ortho.GetDistance(), 1.0, 1e-6);
}

struct StandardView {
  void (OrthographicCamera::*rotate)();
  CameraVector eye, up, right, down;
};

TEST(Camera, StandardViewsOfTheOrthographicCamera) {
  const StandardView views[] = {
      {&OrthographicCamera::RotateToAxial, {10, 20, 25}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}},
      {&OrthographicCamera::RotateToZ, {10, 20, 25}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}},
      {&OrthographicCamera::RotateToCoronal, {10, 15, 30}, {0, 0, 1}, {1, 0, 0}, {0, 0, -1}},
      {&OrthographicCamera::RotateToY, {10, 15, 30}, {0, 0, 1}, {1, 0, 0}, {0, 0, -1}},
      {&OrthographicCamera::RotateToSagittal, {15, 20, 30}, {0, 0, 1}, {0, 1, 0}, {0, 0, -1}},
      {&OrthographicCamera::RotateToX, {15, 20, 30}, {0, -1, 0}, {0, 0, 1}, {0, 1, 0}},
  };
  for (const StandardView& v : views) {
    OrthographicCamera cam;
    cam.SetFocalPoint({10, 20, 30});
    cam.SetPosition({10, 20, 35});  // d = 5
    (cam.*v.rotate)();
    ExpectVector(cam.GetPosition(), v.eye.x, v.eye.y, v.eye.z);
    ExpectVector(cam.GetViewUp(), v.up.x, v.up.y, v.up.z);
    ExpectVector(cam.GetRight(), v.right.x, v.right.y, v.right.z);
    ExpectVector(cam.GetDown(), v.down.x, v.down.y, v.down.z);
  }
  // Already axial: unchanged.
  OrthographicCamera cam;
  cam.SetFocalPoint({10, 20, 30});
  cam.SetPosition({10, 20, 35});
  cam.RotateToAxial();
  cam.RotateToAxial();
  ExpectVector(cam.GetPosition(), 10, 20, 25);
  cam.RotateToBack();
  ExpectVector(cam.GetPosition(), 10, 20, 35);
  ExpectVector(cam.GetDirection(), 0, 0, -1);
}

TEST(Camera, PerspectiveTurnsAboutItsEye) {
  PerspectiveCamera cam;
  cam.SetPosition({1, 2, 3});
  cam.RotateToZ();
  ExpectVector(cam.GetPosition(), 1, 2, 3);
  ExpectVector(cam.GetDirection(), 0, 0, 1);
  cam.RotateToBack();
  ExpectVector(cam.GetDirection(), 0, 0, -1);
  ExpectVector(cam.GetViewUp(), 0, -1, 0);
  cam.RotateToX();
  ExpectVector(cam.GetDirection(), 1, 0, 0);
  cam.Step(2.5f);
  ExpectVector(cam.GetPosition(), 3.5, 2, 3);
  cam.SetFocalPoint({100, 100, 100});  // ignored
  ExpectVector(cam.GetDirection(), 1, 0, 0);
}

TEST(Camera, DegenerateFrames) {
  OrthographicCamera cam;
  cam.SetFocalPoint(cam.GetPosition());  // focal onto the eye: the frame stays
  ExpectVector(cam.GetDirection(), 0, 1, 0);
  ExpectVector(cam.GetRight(), 1, 0, 0);
  EXPECT_LT(cam.GetDistance(), 1e-4);

  OrthographicCamera up;
  up.RotateV(float(M_PI / 2));  // looking along view-up: re-derived from right, no flip
  ExpectVector(up.GetDirection(), 0, 0, -1, 1e-6);
  ExpectVector(up.GetViewUp(), 0, 1, 0, 1e-6);
  ExpectVector(up.GetRight(), 1, 0, 0, 1e-6);
}

TEST(Camera, Viewports) {
  OrthographicCamera ortho;
  EXPECT_FALSE(ortho.SetViewport(0, 1));
  ASSERT_TRUE(ortho.SetViewport(200, 100));
  ortho.Zoom(0.5f);
  double w, h;
  ortho.GetViewport(&w, &h);
  EXPECT_DOUBLE_EQ(w, 100);
  EXPECT_DOUBLE_EQ(h, 50);
  ortho.Zoom(0);
  ortho.GetViewport(&w, &h);
  EXPECT_DOUBLE_EQ(w, 100);

  PerspectiveCamera persp;
  EXPECT_FALSE(persp.SetViewport(10, 10));
  EXPECT_FALSE(persp.SetViewAngle(0));
  EXPECT_FALSE(persp.SetViewAngle(180));
  EXPECT_TRUE(persp.SetViewAngle(179.9f));
  ASSERT_TRUE(persp.SetViewAngle(60));
  ASSERT_TRUE(persp.SetAspectRatio(2));
  EXPECT_FALSE(persp.SetAspectRatio(0));
  persp.GetViewport(&w, &h);
  EXPECT_NEAR(h, 2 * std::tan(M_PI / 6), 1e-6);
  EXPECT_NEAR(w, 2 * h, 1e-6);
  double corner[3];
  persp.GetScreenCorner(corner);
  // From the default frame: eye (0,-1,0), right +x, down -z.
  EXPECT_NEAR(corner[0], -w / 2, 1e-6);
  EXPECT_NEAR(corner[2], h / 2, 1e-6);
}

}  // namespace
