#pragma once

#include <string>

// The film and print settings of a printer as numbers: 1, 2, ... in the order DICOM lists
// their terms, 0 meaning "not set" (such a value is neither written nor sent).
enum class FilmEnum {
  Size,           // 8INX10IN, 8_5INX11IN, 10INX12IN, 10INX14IN, 11INX14IN, 11INX17IN, 14INX14IN,
                  // 14INX17IN, 24CMX24CM, 24CMX30CM, A4, A3
  Orientation,    // PORTRAIT, LANDSCAPE
  Format,         // GRAYSCALE, COLOR (kept as 0 and 1: 1 prints in colour)
  Medium,         // PAPER, CLEAR FILM, BLUE FILM, MAMMO CLEAR FILM, MAMMO BLUE FILM
  Priority,       // HIGH, MED, LOW
  Magnification,  // REPLICATE, BILINEAR, CUBIC, NONE
};

// The DICOM term of a value; false (text untouched) for 0 or a value out of range.
bool FilmEnumText(FilmEnum kind, int value, std::string& text);
// The value of a DICOM term; false (value untouched) for a term of another kind.
bool FilmEnumValue(FilmEnum kind, const char* text, int& value);
// Every term of a kind, in value order (the first is value 1, or 0 for the format).
const char* const* FilmEnumTerms(FilmEnum kind, int& count);
