#pragma once

#include "SOMatrix2R2C.h"

class ISODcmObject;
class ISOGraphicMgr;
class ISOOverlayMgr;
class SOImageObject;
struct DcmImageInputData;

// Colour table of grey pixels: the DICOM toolkit's tables for 1 to 4.
enum SOColorPalette {
  SOColorPaletteGray = 0,
  SOColorPaletteHotIron,
  SOColorPalettePET,
  SOColorPaletteHotMetalBlue,
  SOColorPalettePET20Step
};

// What the user changes on one shown frame.
struct SOImagePresentationState {
  bool invert = false;
  SOMatrix2R2C matrix;     // quarter turns and mirrors, with the pixel-aspect correction in m00
  double windowWidth = 0;  // at least 1 once set; 0 means no window known
  double windowCenter = 0;
  float zoom = 1;  // 0.1 to 20
  float panX = 0;  // image centre offset in fractions of the render rectangle's width
  float panY = 0;  // and height
  SOColorPalette palette = SOColorPaletteGray;
};

// Codes of OnImageObjectUpdated. A change always sends SOImageDataUpdated first.
enum SOImageObjectEvent {
  SOImageDataUpdated = 1,
  SOImageWWUpdated = 2,
  SOImageZoomUpdated = 3,
  SOImagePanUpdated = 4,
  SOImageRotateUpdated = 5,  // parameter 1 anticlockwise, 0 clockwise
  SOImageFlipXUpdated = 6,
  SOImageFlipYUpdated = 7,
};

// Called synchronously on the thread that changed the image object.
class ISOImageObjectCallback {
 public:
  virtual void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) = 0;

 protected:
  ~ISOImageObjectCallback() = default;
};

// One displayable frame of a DICOM object with its presentation state.
class ISOImageObject {
 public:
  virtual ISODcmObject* GetDcmObject() = 0;
  virtual const SOImagePresentationState& GetImagePresentationState() = 0;
  virtual void Reset() = 0;
  virtual void Zoom(float zoom) = 0;
  virtual void Rotate(bool anticlockwise) = 0;
  virtual void FlipX() = 0;
  virtual void FlipY() = 0;
  virtual void Pan(float x, float y) = 0;
  virtual void Inverse() = 0;
  virtual void SetColorPalette(SOColorPalette palette) = 0;
  virtual void WW(double center, double width) = 0;
  virtual void ResetWW() = 0;
  virtual void ResetTransfer() = 0;
  virtual void SetSelected(bool selected) = 0;
  virtual bool IsSelected() = 0;
  virtual unsigned short GetColumns() const = 0;
  virtual unsigned short GetRows() const = 0;
  virtual const double* GetImageOrientationPatient() = 0;
  virtual const double* GetImagePositionPatient() = 0;
  virtual const double* GetPixelSpacing() = 0;
  // The frame's stored grey values (no rescale), Columns per row.
  virtual short* GetPixelData() = 0;
  virtual bool HasPixelData() = 0;
  virtual ISOGraphicMgr* GetGraphicMgr() = 0;
  virtual ISOOverlayMgr* GetOverlayMgr() = 0;
  virtual void ResetImagePresentationState() = 0;
  // The frame at native size, fetched once per binding; type code 0 when unreadable.
  virtual DcmImageInputData* GetOriginalImagePixelData() = 0;

 protected:
  ~ISOImageObject() = default;
};
