#pragma once

// Float rectangle: top-left corner and size.
struct SORectF {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  bool operator==(const SORectF&) const = default;
};
