#pragma once

class SOImageWindow;

// What the MPR image windows' tools report; the 3D/MPR control implements it.
class ISOMPRImageWindowCallback {
 public:
  // The cross was dragged to that patient point (mm).
  virtual void OnCrossMoved(SOImageWindow* window, const float point[3]) = 0;
  // 0 single plane, 1 average, 2 MIP, 3 MinIP.
  virtual void OnSlabTypeChanged(SOImageWindow* window, int type) = 0;
  virtual void OnSlabThicknessChanged(SOImageWindow* window, float thickness) = 0;

 protected:
  ~ISOMPRImageWindowCallback() = default;
};
