// Loads a folder (or a generated sphere phantom) into the 3D/MPR control offscreen, sets a
// layout, rendering mode, palette, crop box, slab or cut, injects drags and saves the control as a
// PNG. A test tool: it drives the real control through its interface and window messages.
//
// visual_shot (--folder DIR | --phantom DIR [--phantom-size N] | --ct DIR [--ct-slices N])
//   [--layout 0|1|2] [--oblique] [--render-mode M] [--preset P] [--imaging T]
//   [--crop X0,Y0,Z0,X1,Y1,Z1] [--slab TYPE,THICKNESS] [--cut] [--box] [--planes3d] [--rotate H,V]
//   [--tool3d NAME] [--drag3d X1,Y1:X2,Y2[:X3,Y3...] ...] [--size WxH] --out FILE.png
// --ct writes a CT series with the test fixtures' writer (shuffled instance numbers, unequal
// spacings) and loads it.
// --crop takes fractions (0 to 1) of the volume's bounding box. --slab adds three slab lines on
// the sagittal image and shows the second one's slab in the oblique pane. --cut cuts the left half of the 3D view away.
// --box and --planes3d show the 3D window's crop box and MPR planes; --rotate turns the view by
// H and V radians first.
// Drags go to the 3D window in its client coordinates with the named left tool (ROTATE by
// default; 3DBox drags a face, CUT draws a contour along the points); the size of the rendering
// during and after each drag, the visible box and the number of cut voxels are printed.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DicomFixtures.h"
#include "Engine3D.h"
#include "HostFrame.h"
#include "ISOVisualCtrl.h"
#include "Lumexa.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow3D.h"
#include "SOVisualWindow.h"
#include "SOWin32.h"
#include "VisualPhantom.h"

namespace {

struct Options {
  std::string folder, phantom, ct;
  int phantomSize = 128, ctSlices = 24;
  bool box = false, planes3d = false;
  float rotateH = 0, rotateV = 0;
  int layout = 0;
  bool oblique = false;
  int renderMode = 0, preset = -1, imaging = 0;
  bool crop = false;
  float cropBox[6] = {0, 0, 0, 1, 1, 1};
  bool slab = false;
  int slabType = 2;
  float slabThickness = 10;
  bool cut = false;
  std::string tool3d = "ROTATE";
  std::vector<std::vector<POINT>> drags;
  int width = 800, height = 600;
  std::string out;
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--oblique") {
      o.oblique = true;
      continue;
    }
    if (a == "--cut") {
      o.cut = true;
      continue;
    }
    if (a == "--box" || a == "--planes3d") {
      (a == "--box" ? o.box : o.planes3d) = true;
      continue;
    }
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) return false;
    ++i;
    if (a == "--folder") o.folder = v;
    else if (a == "--phantom") o.phantom = v;
    else if (a == "--phantom-size") o.phantomSize = std::atoi(v);
    else if (a == "--ct") o.ct = v;
    else if (a == "--rotate") {
      if (std::sscanf(v, "%f,%f", &o.rotateH, &o.rotateV) != 2) return false;
    }
    else if (a == "--ct-slices") o.ctSlices = std::atoi(v);
    else if (a == "--layout") o.layout = std::atoi(v);
    else if (a == "--render-mode") o.renderMode = std::atoi(v);
    else if (a == "--preset") o.preset = std::atoi(v);
    else if (a == "--imaging") o.imaging = std::atoi(v);
    else if (a == "--crop") {
      float* b = o.cropBox;
      if (std::sscanf(v, "%f,%f,%f,%f,%f,%f", b, b + 1, b + 2, b + 3, b + 4, b + 5) != 6) return false;
      o.crop = true;
    } else if (a == "--slab") {
      if (std::sscanf(v, "%d,%f", &o.slabType, &o.slabThickness) != 2) return false;
      o.slab = true;
    } else if (a == "--tool3d") o.tool3d = v;
    else if (a == "--drag3d") {
      std::vector<POINT> path;
      for (const char* c = v; c && *c;) {
        POINT p{};
        if (std::sscanf(c, "%d,%d", &p.x, &p.y) != 2) return false;
        path.push_back(p);
        c = std::strchr(c, ':');
        if (c) ++c;
      }
      if (path.size() < 2) return false;
      o.drags.push_back(std::move(path));
    } else if (a == "--size") {
      if (std::sscanf(v, "%dx%d", &o.width, &o.height) != 2) return false;
    } else if (a == "--out") o.out = v;
    else return false;
  }
  return !o.out.empty() && (!o.folder.empty() || !o.phantom.empty() || !o.ct.empty());
}

void PrintSize(const char* when, SOVisualWindow& ctrl) {
  SOImageObjectEx* image = ctrl.GetVRBuilder().GetResultImage();
  DcmImageInputData* r = image ? image->GetOriginalImagePixelData() : nullptr;
  std::printf("%s: %dx%d\n", when, r ? r->columns : 0, r ? r->rows : 0);
}

// The visible box and how many voxels the cuts took away.
void PrintVolumeState(SOVisualWindow& ctrl) {
  std::lock_guard lock(ctrl.GetVRBuilder().GetEngineLock());
  Engine3D* engine = ctrl.GetEngine3D();
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  engine->GetVisibleBox(lo, hi);
  std::printf("visible box: x %.1f..%.1f y %.1f..%.1f z %.1f..%.1f\n", lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]);
  size_t cut = 0;
  if (V3VolumeMark* mark = engine->GetMarkData())
    for (int z = 0; z < mark->dims[2]; ++z)
      if (mark->slices && mark->slices[z])
        for (size_t i = 0, n = size_t(mark->dims[0]) * mark->dims[1]; i < n; ++i) cut += mark->slices[z][i] != 0;
  std::printf("cut voxels: %zu\n", cut);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: visual_shot (--folder DIR | --phantom DIR [--phantom-size N] | --ct DIR [--ct-slices N]) "
                 "[--layout L] [--oblique] [--render-mode M] [--preset P] [--imaging T] [--crop X0,Y0,Z0,X1,Y1,Z1] "
                 "[--slab TYPE,THICKNESS] [--cut] [--box] [--planes3d] [--rotate H,V] [--tool3d NAME] [--drag3d X1,Y1:X2,Y2[:...]] "
                 "[--size WxH] --out FILE.png\n");
    return 2;
  }
  if (!o.phantom.empty()) {
    std::filesystem::create_directories(o.phantom);
    visual_phantom::Write(o.phantom, o.phantomSize, o.phantomSize, 1.0);
    o.folder = o.phantom;
  }
  if (!o.ct.empty()) {
    std::filesystem::create_directories(o.ct);
    orvanta::fixtures::CtSeriesOptions ct;
    ct.slices = o.ctSlices;
    orvanta::fixtures::WriteCtSeries(o.ct, ct);
    o.folder = o.ct;
  }
  auto* ctrl = static_cast<SOVisualWindow*>(CreateVisualCtrl());
  HostFrame frame(o.width, o.height);
  if (!ctrl->Create(frame.GetWindow(), 0, 0, o.width, o.height)) return 1;
  ctrl->SetLayout(o.layout);
  SOWin::PumpEvents(20);
  const int builds = ctrl->GetVolumeBuilds();
  ctrl->LoadFolder(o.folder.c_str());
  if (!SOWin::PumpUntil([&] { return ctrl->GetVolumeBuilds() > builds; }, 300000)) {
    std::fprintf(stderr, "visual_shot: the load did not finish\n");
    ReleaseVisualCtrl(ctrl);
    return 1;
  }
  if (!ctrl->GetImageObject(0)) std::fprintf(stderr, "visual_shot: the series made no volume\n");
  if (o.preset >= 0) ctrl->SetColorPreset(o.preset);
  SOWin::PumpUntil([&] { return !ctrl->IsRenderingInBackground(); }, 120000);
  if (o.renderMode) ctrl->SetRenderMode(o.renderMode);
  if (o.imaging) ctrl->SetImagingType(o.imaging);
  if (o.crop) {
    Engine3D* engine = ctrl->GetEngine3D();
    float lo[3], hi[3], box[6];
    {
      std::lock_guard lock(ctrl->GetVRBuilder().GetEngineLock());
      engine->GetBoundingBox(lo, hi);
      for (int i = 0; i < 3; ++i) {
        box[i] = lo[i] + (hi[i] - lo[i]) * o.cropBox[i];
        box[3 + i] = lo[i] + (hi[i] - lo[i]) * o.cropBox[3 + i];
      }
      engine->SetVisibleBox(box, box + 3);
    }
    ctrl->GetVRBuilder().Render();
  }
  if (o.slab) {
    ctrl->SetSlabType(o.slabType);
    // Three lines down the sagittal image; the second crosses the middle of the volume.
    ctrl->AddSlices(3);
    ctrl->SetSlicesThickness(o.slabThickness);
    ctrl->GetMPRBuilder().NextSlab();
  }
  if (o.slab || o.oblique) ctrl->Show3DView(false);
  if (o.cut) {
    SOImageObjectEx* image = ctrl->GetVRBuilder().GetResultImage();
    DcmImageInputData* r = image ? image->GetOriginalImagePixelData() : nullptr;
    if (r) ctrl->GetVRBuilder().CutContour({{0, 0}, {r->columns / 2, 0}, {r->columns / 2, r->rows - 1}, {0, r->rows - 1}});
  }
  if (o.rotateH != 0) ctrl->RotateH(o.rotateH);
  if (o.rotateV != 0) ctrl->RotateV(o.rotateV);
  if (o.box) ctrl->Show3DBox(true);
  if (o.planes3d) ctrl->Show3DMPR(true, true);
  HWND view = ctrl->Get3DWindow()->GetWindow();
  if (!o.drags.empty()) {
    ctrl->Set3DMouseLeft(o.tool3d.c_str());
    PrintVolumeState(*ctrl);
  }
  for (const std::vector<POINT>& path : o.drags) {
    const POINT first = path.front(), last = path.back();
    SendMessageW(view, WM_MOUSEMOVE, 0, MAKELPARAM(first.x, first.y));
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.x, first.y));
    for (size_t k = 1; k < path.size(); ++k) {
      const POINT p = path[k - 1], q = path[k];
      for (int step = 1; step <= 8; ++step) {
        const int x = p.x + (q.x - p.x) * step / 8, y = p.y + (q.y - p.y) * step / 8;
        SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
      }
    }
    PrintSize("during the drag", *ctrl);
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(last.x, last.y));
    PrintSize("after the release", *ctrl);
    PrintVolumeState(*ctrl);
  }
  SOWin::PumpEvents(20);
  const bool saved = SOWin::SaveWindowImage(ctrl->GetWindow(), o.out);
  ReleaseVisualCtrl(ctrl);
  if (!saved) {
    std::fprintf(stderr, "visual_shot: cannot write %s\n", o.out.c_str());
    return 1;
  }
  return 0;
}
