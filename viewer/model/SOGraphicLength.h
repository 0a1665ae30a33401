#pragma once

#include "SOGraphic.h"

// The distance between two points in millimetres ("LENGTH").
class SOGraphicLength : public SOGraphic {
 public:
  SOGraphicLength() : SOGraphic("LENGTH", 2) {}

  bool CheckPoints(const SOArray<SOPointF>& points) override { return points.GetLength() == 2; }
  void Calculate() override;
  bool UpdateLabel() override;
  bool UpdateHitRegions() override;
  bool MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY, float x,
                  float y, SOGraphicData* out) override;
  void DrawShape(HDC hdc) override;

 private:
  SOPointF screen_[2];
};

// The angle at point 1 between the arms to points 0 and 2, in degrees ("ANGLE"). Handles:
// 0 at point 0, 1 at point 2, 2 at the vertex.
class SOGraphicAngle : public SOGraphic {
 public:
  SOGraphicAngle() : SOGraphic("ANGLE", 3) {}

  bool CheckPoints(const SOArray<SOPointF>& points) override { return points.GetLength() == 3; }
  void Calculate() override;
  bool UpdateLabel() override;
  bool UpdateHitRegions() override;
  bool MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY, float x,
                  float y, SOGraphicData* out) override;
  void DrawShape(HDC hdc) override;

  // While the user draws: start dragging point 2 (or point 0) from the screen point.
  void PlaceThirdPoint(int x, int y);
  void PlaceFirstPoint(int x, int y);

 private:
  void PlacePoint(int point, int handle, int x, int y);
  SOPointF screen_[3];
};
