#pragma once

#include <vector>

#include "SOPointF.h"

// An integer rectangle: top-left corner and size.
struct SORectI {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  // Half-open: the right and bottom edges are outside.
  bool Contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

// A hit area in screen pixels: a union of polygons, rectangles and rectangular frames.
class SOHitRegion {
 public:
  void Clear() { shapes_.clear(); }
  void AddPolygon(std::vector<SOPointF> corners);
  void AddRect(const SORectI& rect);
  // The outer rectangle without the inner one.
  void AddFrame(const SORectI& outer, const SORectI& inner);
  bool Contains(int x, int y) const;

 private:
  struct Shape {
    std::vector<SOPointF> polygon;  // used when not empty
    SORectI outer;
    SORectI inner;  // empty for a plain rectangle
  };
  std::vector<Shape> shapes_;
};

// The band 10 pixels wide centred on the segment a-b (5 either side), as integer corners;
// empty for a segment of zero length.
std::vector<SOPointF> SegmentBand(SOPointF a, SOPointF b);
