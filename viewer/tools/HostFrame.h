#pragma once

#include "SOWin32.h"
#include "SOWindowBase.h"

// A plain visible top-level window to hold a viewer control in tools and benchmarks.
class HostFrame : public SOWindowBase {
 public:
  HostFrame(int cx, int cy) {
    Create(nullptr, 0, 0, cx, cy);
    // Shown windows paint synchronously once the platform has exposed them.
    SOWin::PumpEvents(20);
  }
  ~HostFrame() override { DestroyOwnWindow(); }
  const wchar_t* GetWindowClassName() override { return L"ViewerHostFrame"; }
  DWORD GetWindowClassStyle() override { return 0; }
  const wchar_t* GetWindowName() override { return L"Viewer"; }
  DWORD GetWndStyle() override { return WS_POPUP | WS_VISIBLE; }
};
