#pragma once

// Float point (image or screen coordinates).
struct SOPointF {
  float x = 0;
  float y = 0;
  bool operator==(const SOPointF&) const = default;
};
