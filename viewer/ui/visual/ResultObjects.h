#pragma once

// The DICOM file, object and image object that carry one result image of the MPR and VR builders.

#include <initializer_list>
#include <memory>

#include "DcmImageInputData.h"
#include "SODcmFile.h"
#include "SODcmObject.h"
#include "SOImageObjectEx.h"

namespace visual {

// The value the engines give the pixels of a plane or projection that lie outside the volume.
constexpr int16_t kOutsideVolume = -1024;

struct ResultImage {
  std::unique_ptr<SODcmFile> file;
  std::unique_ptr<SODcmObject> object;
  std::unique_ptr<SOImageObjectEx> image;
};

// A new file with the given attributes of source (each only when present there), an object on it
// and an image object showing its frame 0.
inline ResultImage MakeResultImage(SODcmFile* source, std::initializer_list<unsigned long> tags) {
  ResultImage r;
  r.file = std::make_unique<SODcmFile>();
  if (source)
    for (unsigned long tag : tags) r.file->GetDataset()->CopyAttribute(*source->GetDataset(), tag);
  r.object = std::make_unique<SODcmObject>();
  r.object->SetDcmFile(r.file.get(), 0);
  r.image = std::make_unique<SOImageObjectEx>();
  r.image->SetDcmObject(r.object.get(), 0);
  return r;
}

// Makes the image's own pixel record a 16-bit grey frame (rescale 1, 0) with a copy of pixels.
// The outside-volume fill is the record's padding, so an automatic window spans the volume's
// values only, as it spans a file's values without its padding.
inline void SetGreyRecord(SOImageObjectEx& image, const int16_t* pixels, int rows, int columns) {
  DcmImageInputData* record = image.GetOriginalImagePixelData();
  if (!record) return;
  // Planes follow one another at one size while the cross moves: the buffer stays then.
  const uint32_t bytes = static_cast<uint32_t>(rows) * columns * 2;
  if (record->type != DCM_PIXEL_GRAY16 || record->data.count != bytes || !record->data.owned) {
    record->Clear();
    record->type = DCM_PIXEL_GRAY16;
    record->data.Resize(bytes);
  }
  record->rows = static_cast<unsigned short>(rows);
  record->columns = static_cast<unsigned short>(columns);
  record->paddingLow = record->paddingHigh = kOutsideVolume;
  if (pixels) std::copy_n(reinterpret_cast<const unsigned char*>(pixels), record->data.count, record->data.data);
}

// Grey pixels into the object, keeping its buffer while the size holds.
inline void SetObjectGrey(SODcmObject& object, const int16_t* pixels, int rows, int columns) {
  SODcmObjectMembers& m = *object.GetMembers();
  const uint32_t n = static_cast<uint32_t>(rows) * columns;
  if (m.grey.pixels.count != n || !m.grey.pixels.owned) m.grey.pixels.Resize(n);
  m.rows = static_cast<unsigned short>(rows);
  m.columns = static_cast<unsigned short>(columns);
  m.grey.rows = rows;
  m.grey.columns = columns;
  std::copy_n(pixels, n, m.grey.pixels.data);
}

// Geometry of a plane image into the object: the first pixel's position, row then column
// direction, and (row spacing, column spacing).
inline void SetObjectGeometry(SODcmObject& object, const double corner[3], const double right[3], const double down[3],
                              double rowSpacing, double columnSpacing) {
  const double orientation[6] = {right[0], right[1], right[2], down[0], down[1], down[2]};
  const double spacing[2] = {rowSpacing, columnSpacing};
  object.SetImagePositionPatient(corner);
  object.SetImageOrientationPatient(orientation);
  object.SetPixelSpacing(spacing);
}

}  // namespace visual
