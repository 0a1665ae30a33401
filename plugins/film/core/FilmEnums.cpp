#include "FilmEnums.h"

#include <cstring>
#include <iterator>

namespace {

const char* const kSizes[] = {"8INX10IN",  "8_5INX11IN", "10INX12IN", "10INX14IN", "11INX14IN", "11INX17IN",
                              "14INX14IN", "14INX17IN",  "24CMX24CM", "24CMX30CM", "A4",        "A3"};
const char* const kOrientations[] = {"PORTRAIT", "LANDSCAPE"};
const char* const kFormats[] = {"GRAYSCALE", "COLOR"};
const char* const kMediums[] = {"PAPER", "CLEAR FILM", "BLUE FILM", "MAMMO CLEAR FILM", "MAMMO BLUE FILM"};
const char* const kPriorities[] = {"HIGH", "MED", "LOW"};
const char* const kMagnifications[] = {"REPLICATE", "BILINEAR", "CUBIC", "NONE"};

struct Terms {
  const char* const* terms;
  int count;
  int first;  // the value of terms[0]
};

Terms TermsOf(FilmEnum kind) {
  switch (kind) {
    case FilmEnum::Size: return {kSizes, static_cast<int>(std::size(kSizes)), 1};
    case FilmEnum::Orientation: return {kOrientations, static_cast<int>(std::size(kOrientations)), 1};
    case FilmEnum::Format: return {kFormats, static_cast<int>(std::size(kFormats)), 0};
    case FilmEnum::Medium: return {kMediums, static_cast<int>(std::size(kMediums)), 1};
    case FilmEnum::Priority: return {kPriorities, static_cast<int>(std::size(kPriorities)), 1};
    case FilmEnum::Magnification: return {kMagnifications, static_cast<int>(std::size(kMagnifications)), 1};
  }
  return {nullptr, 0, 0};
}

}  // namespace

bool FilmEnumText(FilmEnum kind, int value, std::string& text) {
  Terms t = TermsOf(kind);
  int index = value - t.first;
  if (index < 0 || index >= t.count) return false;
  text = t.terms[index];
  return true;
}

bool FilmEnumValue(FilmEnum kind, const char* text, int& value) {
  if (!text) return false;
  Terms t = TermsOf(kind);
  for (int i = 0; i < t.count; ++i)
    if (std::strcmp(text, t.terms[i]) == 0) {
      value = i + t.first;
      return true;
    }
  return false;
}

const char* const* FilmEnumTerms(FilmEnum kind, int& count) {
  Terms t = TermsOf(kind);
  count = t.count;
  return t.terms;
}
