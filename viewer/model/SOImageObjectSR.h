#pragma once

#include <vector>

#include "SOImageObject.h"

// One printed page of a structured report, shown like a frame; its frame index is the page.
class SOImageObjectSR : public SOImageObject {
 public:
  void ResetImagePresentationState() override;
  DcmImageInputData* GetOriginalImagePixelData() override;
};

// The image objects of a DICOM object: one per frame present of an image, one per page of a
// report ("SR"), none otherwise. The caller owns them.
std::vector<SOImageObject*> CreateImageObjects(ISODcmObject* object);
