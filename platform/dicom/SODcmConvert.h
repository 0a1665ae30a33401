#pragma once

#include <string>

#include "SODate.h"
#include "SODcmFilmTypes.h"
#include "SOTime.h"

using SODcmDate = SODate;
using SODcmTime = SOTime;

// An age split into its number and unit ("Y", "M", "W" or "D").
struct SODcmAge {
  int number = 0;
  std::string unit;
};

// DICOM strings to values and back. Reading answers false, with the output untouched, for a text
// it cannot read; writing answers false for a value outside its range.
class SODcmConvert {
 public:
  // Age strings: "045Y"; reading also takes "45Y", "45 Y" and a bare number (years).
  static bool Convert(const char* text, SODcmAge& age);
  static bool Convert(const SODcmAge& age, std::string& text);
  // Dates: "YYYYMMDD"; reading also takes "YYYY.MM.DD", "YYYY-MM-DD" and "YYYY/MM/DD".
  static bool Convert(const char* text, SODcmDate& date);
  static bool Convert(const SODcmDate& date, std::string& text);
  // Times: "HHMMSS" (with optional ".FFFFFF", minutes and seconds optional); reading also takes
  // "HH:MM:SS".
  static bool Convert(const char* text, SODcmTime& time);
  static bool Convert(const SODcmTime& time, std::string& text);

  static bool Convert(const char* text, SODcmFilmSizeID& value);
  static bool Convert(SODcmFilmSizeID value, std::string& text);
  static bool Convert(const char* text, SODcmFilmOrientation& value);
  static bool Convert(SODcmFilmOrientation value, std::string& text);
  static bool Convert(const char* text, SODcmFilmFormat& value);
  static bool Convert(SODcmFilmFormat value, std::string& text);
  static bool Convert(const char* text, SODcmMediumType& value);
  static bool Convert(SODcmMediumType value, std::string& text);
  static bool Convert(const char* text, SODcmPrintPriority& value);
  static bool Convert(SODcmPrintPriority value, std::string& text);
  static bool Convert(const char* text, SODcmMagnificationType& value);
  static bool Convert(SODcmMagnificationType value, std::string& text);
  static bool Convert(const char* text, SODcmPrintStatus& value);
  static bool Convert(SODcmPrintStatus value, std::string& text);
};
