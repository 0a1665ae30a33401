#pragma once

#include "PatientRecord.h"

#include <string>
#include <vector>

// The images of one series chosen for film: every interval-th image from start to end (1-based).
struct ImageRange {
  SeriesRecord* series = nullptr;
  int start = 1;
  int end = 1;
  int interval = 1;
  bool checked = true;
  std::vector<InstanceRecord*> selected;
};

// A range of every image of the series, all chosen.
ImageRange MakeImageRange(SeriesRecord* series);

// Clamps start, end and interval to the series (start and end into 1..n, end not before
// start, interval at least 1) and chooses the images again.
void ApplyRange(ImageRange& range);

// A number typed into a range edit: leading blanks and a sign allowed, digits up to the first
// other character; beyond int's range it saturates instead of overflowing; 0 for no digits.
int ParseRangeNumber(const std::string& text);
