// Loads DICOM files into the 2D view control offscreen, sets a layout and a mouse mode,
// injects drags and wheel steps as window messages, waits for the load to finish and saves the
// control as a PNG. A test tool: it drives the real control through its messages.
//
// viewer2d_shot (--folder DIR | --file PATH ...) [--layout RxC] [--mode none|ww|zoom|pan|value|
//   rectangle|ellipse|length|angle] [--drag X1,Y1:X2,Y2 ...] [--wheel N] [--second]
//   [--size WxH] --out FILE.png
// Drags and wheel steps go to image window 0 of series window 0, in its client coordinates.
// --second activates series window 1 and shows there the first series not shown in window 0.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ISOLumexa.h"
#include "LoadWaiter.h"
#include "Lumexa.h"
#include "SOImageWindow.h"
#include "SOMainWindow.h"
#include "HostFrame.h"
#include "SOWin32.h"

namespace {

struct Options {
  std::string folder;
  std::vector<std::string> files;
  int rows = 1, cols = 1;
  int mode = 0;
  std::vector<std::pair<POINT, POINT>> drags;
  int wheel = 0;
  bool second = false;
  int width = 800, height = 600;
  std::string out;
};

int ModeOf(const std::string& name) {
  static const char* const kNames[] = {"none", "ww", "zoom", "pan", "value", "rectangle", "ellipse", "length", "angle"};
  for (int i = 0; i < 9; ++i) {
    if (name == kNames[i]) return i;
  }
  return -1;
}

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--second") {
      o.second = true;
      continue;
    }
    if (!v) return false;
    ++i;
    if (a == "--folder") o.folder = v;
    else if (a == "--file") o.files.push_back(v);
    else if (a == "--layout") {
      if (std::sscanf(v, "%dx%d", &o.rows, &o.cols) != 2) return false;
    } else if (a == "--mode") {
      o.mode = ModeOf(v);
      if (o.mode < 0) return false;
    } else if (a == "--drag") {
      POINT p{}, q{};
      if (std::sscanf(v, "%d,%d:%d,%d", &p.x, &p.y, &q.x, &q.y) != 4) return false;
      o.drags.push_back({p, q});
    } else if (a == "--wheel") o.wheel = std::atoi(v);
    else if (a == "--size") {
      if (std::sscanf(v, "%dx%d", &o.width, &o.height) != 2) return false;
    } else if (a == "--out") o.out = v;
    else return false;
  }
  return !o.out.empty() && (!o.folder.empty() || !o.files.empty());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: viewer2d_shot (--folder DIR | --file PATH ...) [--layout RxC] [--mode M] "
                         "[--drag X1,Y1:X2,Y2] [--wheel N] [--second] [--size WxH] --out FILE.png\n");
    return 2;
  }
  ISOLumexa* control = CreateLumexa();
  LoadWaiter waiter;
  control->RegisterCallback(&waiter);
  HostFrame frame(o.width, o.height);
  if (!control->Create(frame.GetWindow(), 0, 0, o.width, o.height, true)) return 1;
  control->SetSeriesLayout(o.rows, o.cols);
  control->SetMouseMode2D(static_cast<SOMouseMode2D>(o.mode));
  SOWin::PumpEvents(20);
  bool started = false;
  if (!o.folder.empty()) {
    started = control->LoadFolder(o.folder.c_str(), -1);
  } else {
    SOArray<SOString> paths;
    for (const auto& f : o.files) paths.Add(SOString(f.c_str()));
    started = control->LoadFiles(&paths);
  }
  if (!started || !SOWin::PumpUntil([&] { return waiter.finished > 0; }, 120000)) {
    std::fprintf(stderr, "viewer2d_shot: the load did not finish\n");
    ReleaseLumexa(control);
    return 1;
  }
  if (o.second && control->GetSeriesWndCount() > 1) {
    auto* main = static_cast<SOMainWindow*>(control);
    SOImageObject* first = main->GetSeriesWindow(0)->GetImageObject(0);
    const char* shown = first ? first->GetDcmObject()->GetSeriesInstanceUID() : "";
    ISODcmDataCenter* dc = control->GetDataCenter();
    for (int s = 0; s < dc->GetStudyCount(); ++s) {
      ISODcmStudy* study = dc->GetStudyAt(s);
      for (int k = 0; k < study->GetSeriesCount(); ++k) {
        const char* uid = study->GetSeriesAt(k)->GetSeriesInstanceUID();
        if (uid && std::strcmp(uid, shown) != 0) {
          control->ActivateSeriesWnd(1);
          control->ShowSeries(uid);
          s = dc->GetStudyCount();
          break;
        }
      }
    }
  }
  HWND cell = control->GetSeriesWnd(0)->GetImageWnd(0)->GetHWND();
  for (const auto& [p, q] : o.drags) {
    SendMessageW(cell, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    for (int step = 1; step <= 8; ++step) {
      const int x = p.x + (q.x - p.x) * step / 8, y = p.y + (q.y - p.y) * step / 8;
      SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
    }
    SendMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(q.x, q.y));
  }
  for (int i = 0; i < std::abs(o.wheel); ++i)
    SendMessageW(cell, WM_MOUSEWHEEL, MAKEWPARAM(0, o.wheel > 0 ? -120 : 120), 0);
  SOWin::PumpEvents(20);
  const bool saved = SOWin::SaveWindowImage(control->GetHWND(), o.out);
  ReleaseLumexa(control);
  if (!saved) {
    std::fprintf(stderr, "viewer2d_shot: cannot write %s\n", o.out.c_str());
    return 1;
  }
  return 0;
}
