#pragma once

#include "SOPoint3F.h"
#include "SOPointF.h"

// The plane of an image in the patient coordinate system (millimetres). Image points are pixel
// coordinates: x the column, y the row, (0, 0) the centre of the first pixel.
struct SODcmImageProject {
  unsigned short rows = 0;
  unsigned short columns = 0;
  double orientation[6] = {1, 0, 0, 0, 1, 0};  // row direction, then column direction
  double position[3] = {0, 0, 0};              // centre of the first pixel
  double spacing[2] = {1, 1};                  // between rows, between columns

  // False when the orientation is degenerate or a spacing is not positive.
  bool ImageToPatientCoords(const SOPointF& image, SOPoint3F& patient) const;
  // Orthogonal projection of a patient point onto the plane.
  bool PatientToImageCoords(const SOPoint3F& patient, SOPointF& image) const;
  // The unit normal (row direction x column direction).
  bool ImageNormalVector(SOPoint3F& normal) const;
};
