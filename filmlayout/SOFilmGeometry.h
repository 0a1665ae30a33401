#pragma once

#include <cmath>
#include <cstdint>

#include "SOWin32.h"

// Sizes and rounding shared by the film rendering and the film windows.
namespace film {

// Films are composed at this resolution for text, whatever the screen's.
constexpr float kCanvasDpi = 96.0f;

// The first and last film size ids.
constexpr int kFirstFilmSize = 1;
constexpr int kLastFilmSize = 12;

inline bool FilmSizeValid(int id) {
  return id >= kFirstFilmSize && id <= kLastFilmSize;
}

// Width and height in inches (portrait sense) of a film size id; 0 x 0 for an unknown id.
void FilmSizeInches(int id, float& width, float& height);

// The film's pixel size at dpi, truncated: 0 x 0 for an unknown id.
void FilmSizePixels(int id, int dpi, int& width, int& height);

// Grey of a 0xAARRGGBB pixel, in integers: every grey level maps to itself.
inline unsigned char Luminance(unsigned int argb) {
  const unsigned int b = argb & 0xFF, g = (argb >> 8) & 0xFF, r = (argb >> 16) & 0xFF;
  return static_cast<unsigned char>((299 * r + 587 * g + 114 * b) / 1000);
}

// The film's grey bytes (width x height, row after row) from its top-down 32-bit canvas. A
// portrait canvas is width x height; a landscape one lies on its side (height x width) and is
// turned clockwise: out(r, c) = canvas(x = r, y = width - 1 - c).
void CanvasToGrey(const uint32_t* canvas, int width, int height, bool landscape, unsigned char* out);

// Rounds half away from zero, as the film geometry does everywhere.
inline int Round(float value) {
  return static_cast<int>(std::round(value));
}

// Where a session window shows the film in row i, column j of its rows x cols film layout: the
// largest rectangle of the film's aspect (turned for orientation 2) centred in its cell, the
// cell being its share of client less 10 pixels on each side.
RECT FilmWindowRect(const RECT& client, int rows, int cols, int i, int j, float widthInches, float heightInches,
                    int orientation);

}  // namespace film
