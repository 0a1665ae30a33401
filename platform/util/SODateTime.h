#pragma once

#include <string>

#include "SODate.h"
#include "SOTime.h"

// A date with a time of day; ordered by date, then time.
struct SODateTime {
  SODate date;
  SOTime time;

  static SODateTime Now();
  // "YYYY-MM-DD HH:MM:SS".
  std::string toString() const;
  auto operator<=>(const SODateTime&) const = default;
};
