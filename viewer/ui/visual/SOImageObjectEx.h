#pragma once

#include "SOImageObject.h"

class SOImageWindow;

// The image the MPR and VR builders make: an image object with the patient point it was made
// through and, for the oblique plane, its slab projection.
class SOImageObjectEx : public SOImageObject {
 public:
  double patientPoint[3] = {0, 0, 0};  // mm
  int slabType = 0;                    // 0 plane, 1 average, 2 MIP, 3 MinIP
  float slabThickness = 1.0f;          // mm
  SOImageWindow* ownerWindow = nullptr;  // borrowed; its client size is the VR render size
};
