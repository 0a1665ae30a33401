// The 3D and MPR image windows with their tools, over a small ball volume, for the shots tool.

#include <memory>

#include "Engine3D.h"
#include "SOImageWindow3D.h"
#include "SOImageWindowMPR.h"
#include "SOPluginMPRInfo.h"
#include "Shots.h"
#include "Visual3DTestUtil.h"
#include "tools/HostFrame.h"

namespace {

const double kAxial[6] = {1, 0, 0, 0, 1, 0};
const double kCoronal[6] = {1, 0, 0, 0, 0, -1};
const double kSagittal[6] = {0, 1, 0, 0, 0, -1};
const double kOblique[6] = {0.7071, 0.7071, 0, 0, 0, -1};

struct MPRScene {
  HostFrame frame{600, 600};
  visual_test::PlaneImage planes[4];
  SOImageWindowMPR windows[4];
  MPRScene()
      : planes{{kAxial, kCentre, 64}, {kCoronal, kCentre, 64}, {kSagittal, kCentre, 64}, {kOblique, kCentre, 64}} {
    for (int i = 0; i < 4; ++i) {
      const int x = (i % 2) * 300, y = (i / 2) * 300;
      windows[i].Create(frame.GetWindow(), x, y, 300, 300);
      windows[i].MoveWindow(x, y, 300, 300);
    }
    // The oblique plane carries the slab labels in place of the cross.
    SOPluginMgr& oblique = windows[3].GetPluginMgr();
    oblique.RemovePlugin("MPRCROSS");
    oblique.RemovePlugin("OVERINFO");
    windows[3].InsertPlugin(0, new SOPluginMPRInfo);
    planes[3].image.slabType = 2;
    planes[3].image.slabThickness = 5.0f;
    for (int i = 0; i < 4; ++i) windows[i].SetImageObject(&planes[i].image, 0);
  }
  static constexpr double kCentre[3] = {31.5, 31.5, 31.5};
};

struct VRScene {
  HostFrame frame{400, 400};
  visual_test::TestVRBuilder builder{64};
  visual_test::PlaneImage axial{kAxial, MPRScene::kCentre, 64};
  visual_test::PlaneImage coronal{kCoronal, MPRScene::kCentre, 64};
  visual_test::PlaneImage sagittal{kSagittal, MPRScene::kCentre, 64};
  SOImageWindow3D window;
  VRScene() {
    window.Create(frame.GetWindow(), 0, 0, 400, 400);
    window.MoveWindow(0, 0, 400, 400);
    window.SetVRBuilder(&builder);
    window.SetPlaneImages(&axial.image, &coronal.image, &sagittal.image);
    window.OnVolumeBuilt();
    builder.GetEngine()->RotateToCoronal();
    builder.GetEngine()->RotateH(0.6f);
    builder.GetEngine()->RotateV(0.4f);
    builder.Render();
  }
  ~VRScene() { window.SetVRBuilder(nullptr); }
};

}  // namespace

ORVANTA_SHOT("viewer/mpr_windows") {
  auto* scene = new MPRScene;
  // Hover the coronal window's horizontal trace so it shows as grabbed.
  SendMessageW(scene->windows[1].GetWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(40, 150));
  return {scene->frame.GetWindow(), [scene] { delete scene; }};
}

ORVANTA_SHOT("viewer/vr_window") {
  auto* scene = new VRScene;
  scene->window.EnablePlugin("3DBox", true, false);
  scene->window.EnablePlugin("3DMPR", true, true);
  return {scene->frame.GetWindow(), [scene] { delete scene; }};
}

ORVANTA_SHOT("viewer/vr_cut") {
  auto* scene = new VRScene;
  scene->window.SetMouseLeft("CUT");
  HWND w = scene->window.GetWindow();
  // A contour still being drawn.
  const int path[][2] = {{120, 120}, {200, 90}, {280, 140}, {290, 230}, {220, 300}, {130, 260}};
  SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(path[0][0], path[0][1]));
  for (const auto& p : path) SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p[0], p[1]));
  return {scene->frame.GetWindow(), [scene] { delete scene; }};
}
