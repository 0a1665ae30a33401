// The 3D/MPR control as users see it, for the shots tool: a sphere phantom in layout 0 with the
// three MPR panes and the rendering, and in layout 1 with a MIP slab in the oblique pane.

#include "tools/HostFrame.h"
#include "Lumexa.h"
#include "SOVisualWindow.h"
#include "Shots.h"
#include "tools/VisualPhantom.h"

namespace {

SOVisualWindow* LoadPhantom(const shots::Context& ctx, HostFrame* frame, int layout) {
  visual_phantom::Write(ctx.scratch / "phantom", 64, 64, 2.0, {}, "张^三");
  auto* ctrl = static_cast<SOVisualWindow*>(CreateVisualCtrl());
  ctrl->Create(frame->GetWindow(), 0, 0, 800, 600);
  ctrl->SetLayout(layout);
  const int builds = ctrl->GetVolumeBuilds();
  ctrl->LoadFolder((ctx.scratch / "phantom").c_str());
  SOWin::PumpUntil([&] { return ctrl->GetVolumeBuilds() > builds; }, 120000);
  return ctrl;
}

}  // namespace

ORVANTA_SHOT("viewer/visual_layout0") {
  auto* frame = new HostFrame(800, 600);
  SOVisualWindow* ctrl = LoadPhantom(ctx, frame, 0);
  ctrl->SetColorPreset(0);
  SOWin::PumpUntil([&] { return !ctrl->IsRenderingInBackground(); }, 120000);
  return {frame->GetWindow(), [ctrl, frame] {
            ReleaseVisualCtrl(ctrl);
            delete frame;
          }};
}

ORVANTA_SHOT("viewer/visual_slab") {
  auto* frame = new HostFrame(800, 600);
  SOVisualWindow* ctrl = LoadPhantom(ctx, frame, 1);
  ctrl->SetSlabType(2);
  ctrl->AddSlices(3);
  ctrl->SetSlicesThickness(20);
  ctrl->GetMPRBuilder().NextSlab();
  ctrl->Show3DView(false);
  return {frame->GetWindow(), [ctrl, frame] {
            ReleaseVisualCtrl(ctrl);
            delete frame;
          }};
}
