#pragma once

#include <memory>
#include <vector>

#include "DcmImageInputData.h"
#include "ISOImageObject.h"
#include "SOGdiPlus.h"
#include "SOGraphicMgr.h"
#include "SOOverlayMgr.h"

// The state of one SOImageObject.
struct SOImageObjectMembers {
  ISODcmObject* dcmObject = nullptr;  // borrowed
  unsigned long frame = 0;
  SOImagePresentationState state;
  std::vector<ISOImageObjectCallback*> callbacks;
  // Held by pointer: the manager's graphics measure on this image object.
  std::unique_ptr<SOGraphicMgr> graphicMgr;
  SOOverlayMgr overlayMgr;
  bool selected = false;
  bool primaryStale = true;
  bool originStale = true;
  std::unique_ptr<Gdiplus::Bitmap> primary;
  std::unique_ptr<Gdiplus::Bitmap> origin;
  std::unique_ptr<DcmImageInputData> zoomed;
  std::unique_ptr<DcmImageInputData> original;
};
