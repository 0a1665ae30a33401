#pragma once

// Integer pixel point.
struct SOPoint {
  int x = 0;
  int y = 0;
  bool operator==(const SOPoint&) const = default;
};
