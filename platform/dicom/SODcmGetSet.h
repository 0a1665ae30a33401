#pragma once

#include "SOData.h"

class SODcmDataset;

// Photometric interpretations of the image pixel module.
enum SODcmPhotometric {
  PHOTOMETRIC_UNKNOWN = 0,
  PHOTOMETRIC_MONOCHROME1 = 1,
  PHOTOMETRIC_MONOCHROME2 = 2,
  PHOTOMETRIC_PALETTE_COLOR = 3,
  PHOTOMETRIC_RGB = 4,
  PHOTOMETRIC_YBR_FULL = 5,
  PHOTOMETRIC_YBR_FULL_422 = 6,
};

// The image pixel module with its native (uncompressed) pixel data, all frames one after another.
struct SODcmImagePixel {
  unsigned short samplesPerPixel = 1;
  int photometric = PHOTOMETRIC_MONOCHROME2;
  unsigned short rows = 0;
  unsigned short columns = 0;
  unsigned short bitsAllocated = 8;
  unsigned short bitsStored = 8;
  unsigned short highBit = 7;
  int numberOfFrames = 1;
  SOData<unsigned char> pixelData;
  unsigned short pixelRepresentation = 0;  // 0 unsigned, 1 signed
};

class SODcmGetSet {
 public:
  // Reads the module; the pixel bytes are borrowed from the dataset (valid while it lives).
  // False when an attribute is missing or the pixel data are encapsulated.
  static bool Get(const SODcmDataset& dataset, SODcmImagePixel& pixel);
  // Writes the module (Planar Configuration 0 for colour); false when the pixel data hold fewer
  // bytes than rows x columns x samples x frames need.
  static bool Set(SODcmDataset& dataset, const SODcmImagePixel& pixel);
  // Writes the module of an 8-bit record with zero-filled pixel data of the size it needs and
  // returns those bytes to be filled in place, sparing a copy of large images; pixel.pixelData
  // is not read. Null on the faults Set refuses, other bit depths or more than 4 GB.
  static unsigned char* Create(SODcmDataset& dataset, const SODcmImagePixel& pixel);
};
