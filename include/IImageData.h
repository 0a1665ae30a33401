#pragma once

#include <cstdint>

// Per-frame pixels and geometry of one DICOM object. The object that made it deletes it, so
// there is no destructor here. Frame numbers count from 0.
class IImageData {
 public:
  virtual short GetFrameCount() = 0;
  virtual unsigned short GetRows() = 0;
  virtual unsigned short GetColumns() = 0;
  // 0 MONOCHROME1, 1 MONOCHROME2, 2 RGB.
  virtual int GetPhotometric() = 0;
  virtual bool IsColor() = 0;
  // Decoded once and kept; the buffer belongs to the image data. Null when the frame does not
  // exist, is of the other kind or cannot be decoded.
  virtual short* GetFramePixelData(int frame) = 0;
  // 0x00RRGGBB words.
  virtual unsigned long* GetFramePixelDataRGB(int frame) = 0;
  // capacity counts values; false when it is below rows x columns.
  virtual bool CopyFramePixelData(short* buffer, unsigned capacity, int frame) = 0;
  virtual bool GetFrameWindow(double* center, double* width, int frame) = 0;
  virtual bool GetFramePixelSpacing(double* spacing2, int frame) = 0;
  virtual bool GetFrameImageOrientationPatient(double* orientation6, int frame) = 0;
  virtual bool GetFrameImagePositionPatient(double* position3, int frame) = 0;

 protected:
  ~IImageData() = default;
};
