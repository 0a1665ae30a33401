#pragma once

#include <string>

// A calendar date.
struct SODate {
  int year = 0;
  int month = 0;
  int day = 0;

  // Today in local time.
  static SODate Now();
  // printf-style with year, month and day as three int arguments.
  std::string toString(const char* format = "%04d-%02d-%02d") const;
  auto operator<=>(const SODate&) const = default;
};
