// The 2D view control as users see it, for the shots tool.

#include <filesystem>

#include "ISOLumexa.h"
#include "Lumexa.h"
#include "SODcmFile.h"
#include "Shots.h"
#include "tools/HostFrame.h"

namespace fs = std::filesystem;

namespace {

const char kTestFiles[] = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

// A copy of a shipped test file with a patient name of our choosing, in UTF-8.
fs::path Copy(const shots::Context& ctx, const char* name, const char* patient) {
  const fs::path to = ctx.scratch / name;
  SODcmFile dcm;
  if (!dcm.LoadFile((std::string(kTestFiles) + name).c_str(), true)) return {};
  dcm.GetDataset()->SetString(0x00080005, "ISO_IR 192");
  dcm.GetDataset()->SetString(0x00100010, patient);
  return dcm.SaveFile(to.c_str()) ? to : fs::path();
}

}  // namespace

ORVANTA_SHOT("viewer/lumexa_2x2") {
  const fs::path ct = Copy(ctx, "CT_small.dcm", "张^三");
  const fs::path mr = Copy(ctx, "MR_small.dcm", "DOE^JOHN");
  auto* frame = new HostFrame(800, 600);
  ISOLumexa* control = CreateLumexa();
  control->Create(frame->GetWindow(), 0, 0, 800, 600, true);
  control->SetSeriesLayout(2, 2);
  control->LoadFile(ct.c_str(), 0);
  control->LoadFile(mr.c_str(), 1);
  control->ActivateSeriesWnd(0);
  control->SetMouseMode2D(SOMouseModeLength);
  HWND cell = control->GetSeriesWnd(0)->GetImageWnd(0)->GetHWND();
  SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 150));
  for (int x = 130; x <= 260; x += 10) SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 150));
  SendMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(260, 150));
  return {frame->GetWindow(), [control, frame] {
            ReleaseLumexa(control);
            delete frame;
          }};
}
