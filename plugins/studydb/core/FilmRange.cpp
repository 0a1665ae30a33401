#include "FilmRange.h"

#include <algorithm>
#include <cctype>
#include <climits>

ImageRange MakeImageRange(SeriesRecord* series) {
  ImageRange range;
  range.series = series;
  range.end = series ? int(series->instances.size()) : 0;
  ApplyRange(range);
  return range;
}

void ApplyRange(ImageRange& range) {
  range.selected.clear();
  const int n = range.series ? int(range.series->instances.size()) : 0;
  if (range.start < 1) range.start = 1;
  if (range.start > n) range.start = n;
  if (range.end > n) range.end = n;
  if (range.end < range.start) range.end = range.start;
  if (range.interval < 1) range.interval = 1;
  if (n == 0) return;
  // Positions are counted in 64 bits, so a huge interval cannot wrap around.
  for (long long position = range.start - 1; position <= range.end - 1; position += range.interval)
    range.selected.push_back(&range.series->instances[size_t(position)]);
}

int ParseRangeNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) {
      value = INT_MAX + 1LL;
      break;
    }
  }
  if (negative) return value > INT_MAX ? INT_MIN : int(-value);
  return int(std::min<long long>(value, INT_MAX));
}
