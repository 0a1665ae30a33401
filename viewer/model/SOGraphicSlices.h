#pragma once

#include <vector>

#include "SODcmImageProject.h"
#include "SOGraphic.h"
#include "SOPoint3F.h"

// Parallel, equally spaced slab lines of equal length that plan oblique MPR slabs ("SLICES").
// The geometry lives in patient millimetres in the values record and is projected onto the
// image whenever it is drawn; the points only seed it. Every change of the description is
// told to the object callbacks.
class SOGraphicSlices : public SOGraphic {
 public:
  SOGraphicSlices(double thickness, double spacing);

  bool SetPoints(const SOArray<SOPointF>& points) override;
  void SetImageObject(ISOImageObject* imageObject) override;
  bool SetData(const SOGraphicData& data) override;
  bool CheckPoints(const SOArray<SOPointF>& points) override;
  void Calculate() override { ResetValues(); }
  bool UpdateLabel() override;
  bool UpdateHitRegions() override;
  bool MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY, float x,
                  float y, SOGraphicData* out) override;
  void OnDragStart(int part, int handle, float startX, float startY) override;
  void DrawShape(HDC hdc) override;

  bool ImageToPatient(const SOPointF& image, SOPoint3F& patient);
  bool PatientToImage(const SOPoint3F& patient, SOPointF& image);
  // Seeds the geometry from the points and the image.
  void UpdateGeometry();

 private:
  // The bound image's geometry, false when no DICOM object is bound.
  bool GetProjection(SODcmImageProject& project);
  struct Segment {
    int x1, y1, x2, y2;
  };
  // The FOV of another slab-lines graphic of the image, else 3/4 of the image width in mm.
  void TakeFov();
  SOPoint3F ToPatient(const SOPointF& image);

  std::vector<Segment> segments_;
  SOGraphicValues dragStartValues_;
};

void NormalizeVector3D(double* v);
void CrossVector3D(const double* a, const double* b, double* out);
