#include "FieldClamp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string ClampField(const std::string& text, bool integer, double low, double high) {
  double value = integer ? static_cast<double>(std::strtol(text.c_str(), nullptr, 10)) : std::strtod(text.c_str(), nullptr);
  if (std::isnan(value) || value < low) value = low;
  if (value > high) value = high;
  char out[32];
  if (integer)
    std::snprintf(out, sizeof out, "%d", static_cast<int>(value));
  else
    std::snprintf(out, sizeof out, "%.1f", value);
  return out;
}
