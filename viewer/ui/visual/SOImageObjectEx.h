#pragma once

// The image type of the MPR and VR builders' results: an ordinary image object that also
// remembers the patient point it was made for, the slab it shows and the window it is shown in.

#include "SOImageObject.h"

class SOImageWindow;

class SOImageObjectEx : public SOImageObject {
 public:
  const double* GetPatientPoint() const { return point_; }
  void SetPatientPoint(const double point[3]) {
    for (int i = 0; i < 3; ++i) point_[i] = point[i];
  }
  int GetSlabType() const { return slabType_; }
  void SetSlabType(int type) { slabType_ = type; }
  float GetSlabThickness() const { return slabThickness_; }
  void SetSlabThickness(float thickness) { slabThickness_ = thickness; }
  // The window that shows the image (borrowed); the VR builder renders at its size.
  SOImageWindow* GetOwnerWindow() const { return owner_; }
  void SetOwnerWindow(SOImageWindow* window) { owner_ = window; }

 private:
  double point_[3] = {0, 0, 0};
  int slabType_ = 0;
  float slabThickness_ = 0;
  SOImageWindow* owner_ = nullptr;
};
