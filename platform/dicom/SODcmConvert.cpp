#include "SODcmConvert.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

std::string_view Trim(const char* text) {
  std::string_view s(text ? text : "");
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// Parses exactly `n` digits at `pos`.
bool Digits(std::string_view s, size_t pos, size_t n, int& value) {
  if (pos + n > s.size()) return false;
  value = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

template <typename Enum, size_t N>
bool FromText(const char* text, const char* const (&names)[N], Enum& value) {
  std::string_view s = Trim(text);
  for (size_t i = 0; i < N; ++i)
    if (s == names[i]) {
      value = static_cast<Enum>(i);
      return true;
    }
  return false;
}

template <typename Enum, size_t N>
bool ToText(Enum value, const char* const (&names)[N], std::string& text) {
  int i = static_cast<int>(value);
  if (i < 0 || static_cast<size_t>(i) >= N) return false;
  text = names[i];
  return true;
}

const char* const kFilmSizes[] = {"8INX10IN",  "14INX17IN", "8_5INX11IN", "10INX12IN", "10INX14IN", "11INX14IN",
                                  "11INX17IN", "14INX14IN", "24CMX24CM",  "24CMX30CM", "A4",        "A3"};
const char* const kOrientations[] = {"LANDSCAPE", "PORTRAIT"};
const char* const kFilmFormats[] = {"GRAYSCALE", "COLOR"};
const char* const kMediums[] = {"BLUE FILM", "CLEAR FILM", "MAMMO BLUE FILM", "MAMMO CLEAR FILM", "PAPER"};
const char* const kPriorities[] = {"HIGH", "LOW", "MED"};
const char* const kMagnifications[] = {"BILINEAR", "CUBIC", "NONE", "REPLICATE"};
const char* const kPrintStatus[] = {"PENDING", "QUEUED", "PRINTING", "DONE", "FAILURE"};

}  // namespace

bool SODcmConvert::Convert(const char* text, SODcmAge& age) {
  std::string_view s = Trim(text);
  size_t digits = 0;
  while (digits < s.size() && std::isdigit(static_cast<unsigned char>(s[digits]))) ++digits;
  if (digits == 0 || digits > 3) return false;
  int number = 0;
  Digits(s, 0, digits, number);
  std::string_view rest = s.substr(digits);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  std::string unit = "Y";
  if (!rest.empty()) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(rest.front())));
    if (rest.size() != 1 || !std::strchr("YMWD", c)) return false;
    unit = std::string(1, c);
  }
  age.number = number;
  age.unit = unit;
  return true;
}

bool SODcmConvert::Convert(const SODcmAge& age, std::string& text) {
  if (age.number < 0 || age.number > 999 || age.unit.size() != 1 || !std::strchr("YMWD", age.unit[0])) return false;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d%c", age.number, age.unit[0]);
  text = buf;
  return true;
}

bool SODcmConvert::Convert(const char* text, SODcmDate& date) {
  std::string_view s = Trim(text);
  int y, m, d;
  bool ok = false;
  if (s.size() == 8) {
    ok = Digits(s, 0, 4, y) && Digits(s, 4, 2, m) && Digits(s, 6, 2, d);
  } else if (s.size() == 10 && s[4] == s[7] && (s[4] == '.' || s[4] == '-' || s[4] == '/')) {
    ok = Digits(s, 0, 4, y) && Digits(s, 5, 2, m) && Digits(s, 8, 2, d);
  }
  if (!ok || !ValidDate(y, m, d)) return false;
  date.year = y;
  date.month = m;
  date.day = d;
  return true;
}

bool SODcmConvert::Convert(const SODcmDate& date, std::string& text) {
  if (!ValidDate(date.year, date.month, date.day) || date.year > 9999) return false;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day);
  text = buf;
  return true;
}

bool SODcmConvert::Convert(const char* text, SODcmTime& time) {
  std::string_view s = Trim(text);
  int h = 0, m = 0, sec = 0, ms = 0;
  size_t pos = 0;
  bool colons = s.size() >= 5 && s[2] == ':';
  if (!Digits(s, 0, 2, h)) return false;
  pos = 2;
  auto part = [&](int& value) {
    if (colons) {
      if (pos >= s.size() || s[pos] != ':') return false;
      ++pos;
    }
    if (!Digits(s, pos, 2, value)) return false;
    pos += 2;
    return true;
  };
  if (pos < s.size() && !part(m)) return false;
  if (pos < s.size() && s[pos] != '.' && !part(sec)) return false;
  if (pos < s.size()) {
    if (s[pos] != '.') return false;
    ++pos;
    int scale = 100;
    size_t digits = 0;
    for (; pos < s.size(); ++pos, ++digits) {
      if (!std::isdigit(static_cast<unsigned char>(s[pos])) || digits >= 6) return false;
      ms += (s[pos] - '0') * scale;
      scale /= 10;
    }
  }
  if (h > 23 || m > 59 || sec > 60) return false;
  time.hour = h;
  time.minute = m;
  time.second = sec;
  time.millisecond = ms;
  return true;
}

bool SODcmConvert::Convert(const SODcmTime& time, std::string& text) {
  if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
      time.second > 60 || time.millisecond < 0 || time.millisecond > 999)
    return false;
  char buf[24];
  if (time.millisecond)
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.%03d", time.hour, time.minute, time.second, time.millisecond);
  else
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", time.hour, time.minute, time.second);
  text = buf;
  return true;
}

bool SODcmConvert::Convert(const char* text, SODcmFilmSizeID& value) { return FromText(text, kFilmSizes, value); }
bool SODcmConvert::Convert(SODcmFilmSizeID value, std::string& text) { return ToText(value, kFilmSizes, text); }
bool SODcmConvert::Convert(const char* text, SODcmFilmOrientation& value) { return FromText(text, kOrientations, value); }
bool SODcmConvert::Convert(SODcmFilmOrientation value, std::string& text) { return ToText(value, kOrientations, text); }
bool SODcmConvert::Convert(const char* text, SODcmFilmFormat& value) { return FromText(text, kFilmFormats, value); }
bool SODcmConvert::Convert(SODcmFilmFormat value, std::string& text) { return ToText(value, kFilmFormats, text); }
bool SODcmConvert::Convert(const char* text, SODcmMediumType& value) { return FromText(text, kMediums, value); }
bool SODcmConvert::Convert(SODcmMediumType value, std::string& text) { return ToText(value, kMediums, text); }
bool SODcmConvert::Convert(const char* text, SODcmPrintPriority& value) { return FromText(text, kPriorities, value); }
bool SODcmConvert::Convert(SODcmPrintPriority value, std::string& text) { return ToText(value, kPriorities, text); }
bool SODcmConvert::Convert(const char* text, SODcmMagnificationType& value) {
  return FromText(text, kMagnifications, value);
}
bool SODcmConvert::Convert(SODcmMagnificationType value, std::string& text) {
  return ToText(value, kMagnifications, text);
}
bool SODcmConvert::Convert(const char* text, SODcmPrintStatus& value) { return FromText(text, kPrintStatus, value); }
bool SODcmConvert::Convert(SODcmPrintStatus value, std::string& text) { return ToText(value, kPrintStatus, text); }
