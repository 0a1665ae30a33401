#pragma once

#include <string>

// A time of day.
struct SOTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  // Now in local time.
  static SOTime Now();
  // printf-style with hour, minute and second as three int arguments.
  std::string toString(const char* format = "%02d:%02d:%02d") const;
  auto operator<=>(const SOTime&) const = default;
};
