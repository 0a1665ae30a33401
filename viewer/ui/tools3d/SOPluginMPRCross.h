#pragma once

#include "ISOCtrlPlugin.h"

// "MPRCROSS": the traces of the two other orthogonal planes through the cross point of an
// axial, coronal or sagittal MPR image, drawn across the window. Dragging a trace, or both
// near their crossing, reports the moved cross point to the window's MPR callback; the
// control then rebuilds the planes.
class SOPluginMPRCross : public ISOCtrlPlugin {
 public:
  enum View { kNone = 0, kAxial = 1, kCoronal = 2, kSagittal = 3 };
  enum Part { kNoPart = 0, kCentre = 1, kHorizontal = 2, kVertical = 3 };

  bool IsAlwaysActive() override { return true; }
  const char* GetName() override { return "MPRCROSS"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;

  // Set by the last draw.
  int GetViewKind() const { return view_; }
  int GetHoverPart() const { return hover_; }
  // Stores the part under (x, y) (repainting when it changed); true when one is.
  bool HitTest(int x, int y);

 private:
  struct Box {
    float x = 0, y = 0, w = 0, h = 0;
    bool Contains(float px, float py) const { return w > 0 && h > 0 && px >= x && px < x + w && py >= y && py < y + h; }
  };

  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
  bool dragging_ = false;
  int hover_ = kNoPart;
  int view_ = kNone;
  Box square_, horizontal_, vertical_;  // the centre zone is the bands inside the square
};
