#pragma once

// Float point in space (patient millimetres).
struct SOPoint3F {
  float x = 0;
  float y = 0;
  float z = 0;
  bool operator==(const SOPoint3F&) const = default;
};
