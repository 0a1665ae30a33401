#pragma once

#include "SOGraphic.h"

// A region of interest spanned by two corner points, with pixel statistics in modality values
// and the area. Handles sit on the box corners: 0 (p0.x, p0.y), 1 (p1.x, p0.y), 2 (p0.x, p1.y),
// 3 (p1.x, p1.y).
class SOGraphicRegion : public SOGraphic {
 public:
  bool CheckPoints(const SOArray<SOPointF>& points) override { return points.GetLength() == 2; }
  void Calculate() override;
  bool UpdateLabel() override;
  bool UpdateHitRegions() override;
  bool MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY, float x,
                  float y, SOGraphicData* out) override;

 protected:
  SOGraphicRegion(const char* type, bool ellipse) : SOGraphic(type, 4), ellipse_(ellipse) {}
  SORectI box_;  // the screen box

 private:
  // The pixels of row y inside the shape over the box (x0, y0, w, h), by their centres; false
  // when none.
  bool RowSpan(int y, int x0, int y0, int w, int h, int& first, int& last) const;
  bool ellipse_;
};

class SOGraphicEllipse : public SOGraphicRegion {
 public:
  SOGraphicEllipse() : SOGraphicRegion("ELLIPSE", true) {}
  void DrawShape(HDC hdc) override;
};

class SOGraphicRectangle : public SOGraphicRegion {
 public:
  SOGraphicRectangle() : SOGraphicRegion("RECTANGLE", false) {}
  void DrawShape(HDC hdc) override;
};
