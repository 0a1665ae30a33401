#pragma once

#include "SOData.h"

// Pixel type codes of a DcmImageInputData.
enum DcmPixelType {
  DCM_PIXEL_NONE = 0,
  DCM_PIXEL_GRAY16 = 2,  // signed 16-bit grey values, one per pixel
  DCM_PIXEL_RGB24 = 9,   // R, G, B bytes per pixel, rows packed at 3 x columns
  DCM_PIXEL_ARGB32 = 10, // A, R, G, B bytes per pixel, rows packed at 4 x columns
};

// One frame's pixels at native or resampled size.
// Grey values are stored values mapped into 16 signed bits: for unsigned data above 32767 the
// stored value minus 32768 is kept and the intercept raised by 32768 x slope, so that
// value x slope + intercept is always the modality value.
struct DcmImageInputData {
  int type = DCM_PIXEL_NONE;
  SOData<unsigned char> data;
  unsigned short rows = 0;
  unsigned short columns = 0;
  double intercept = 0;
  double slope = 1.0;
  // MONOCHROME1: low values are shown bright; windowing inverts for it.
  bool monochrome1 = false;
  // Grey values paddingLow..paddingHigh (as held in `data`) mark pixels outside the image (Pixel
  // Padding Value up to Pixel Padding Range Limit); none when paddingLow > paddingHigh.
  int paddingLow = 1;
  int paddingHigh = 0;

  bool IsPadding(int value) const { return value >= paddingLow && value <= paddingHigh; }

  void Clear() { *this = DcmImageInputData(); }
};

// A decoded grey frame: rows x columns signed 16-bit values (see DcmImageInputData).
using DcmImagePixelData = SOData<short>;
// A decoded colour frame: rows x columns words 0x00RRGGBB.
using DcmImagePixelDataRGB = SOData<unsigned long>;
