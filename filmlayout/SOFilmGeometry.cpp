#include "SOFilmGeometry.h"

#include <algorithm>

namespace film {

namespace {

struct FilmSize {
  float width;
  float height;
};

// By id - 1: 8x10, 8.5x11, 10x12, 10x14, 11x14, 11x17, 14x14, 14x17 in, 24x24 cm, 24x30 cm,
// A4, A3.
constexpr FilmSize kFilmSizes[] = {{8, 10},          {8.5f, 11},       {10, 12},       {10, 14},
                                   {11, 14},         {11, 17},         {14, 14},       {14, 17},
                                   {9.4488f, 9.4488f}, {9.4488f, 11.811f}, {8.2677f, 11.693f}, {11.693f, 16.5354f}};

}  // namespace

void FilmSizeInches(int id, float& width, float& height) {
  if (id < kFirstFilmSize || id > kLastFilmSize) {
    width = height = 0;
    return;
  }
  width = kFilmSizes[id - 1].width;
  height = kFilmSizes[id - 1].height;
}

void FilmSizePixels(int id, int dpi, int& width, int& height) {
  float w = 0, h = 0;
  FilmSizeInches(id, w, h);
  width = static_cast<int>(static_cast<float>(dpi) * w);
  height = static_cast<int>(static_cast<float>(dpi) * h);
}

RECT FilmWindowRect(const RECT& client, int rows, int cols, int i, int j, float widthInches, float heightInches,
                    int orientation) {
  const int x = j * client.right / cols + client.left + 10, y = client.bottom * i / rows + client.top + 10;
  const int m = client.right / cols - 20, o = client.bottom / rows - 20;
  float width = static_cast<float>(m), height = static_cast<float>(o);
  if (m > 0 && o > 0 && widthInches > 0 && heightInches > 0) {
    const float aspect = orientation == 2 ? heightInches / widthInches : widthInches / heightInches;
    if (static_cast<float>(m) / static_cast<float>(o) >= aspect) {
      height = static_cast<float>(o);
      width = aspect * height;
    } else {
      width = static_cast<float>(m);
      height = width / aspect;
    }
  }
  const int left = static_cast<int>(x + (m - width) / 2), top = static_cast<int>(y + (o - height) / 2);
  return RECT{left, top, left + static_cast<int>(width), top + static_cast<int>(height)};
}

void CanvasToGrey(const uint32_t* canvas, int width, int height, bool landscape, unsigned char* out) {
  if (!landscape) {
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i) out[i] = Luminance(canvas[i]);
    return;
  }
  // In tiles, so both sides are read and written a cache line at a time.
  constexpr int kTile = 64;
  const int canvasWidth = height;
  for (int r0 = 0; r0 < height; r0 += kTile)
    for (int c0 = 0; c0 < width; c0 += kTile) {
      const int r1 = std::min(r0 + kTile, height), c1 = std::min(c0 + kTile, width);
      for (int c = c0; c < c1; ++c) {
        const uint32_t* row = canvas + static_cast<size_t>(width - 1 - c) * canvasWidth;
        for (int r = r0; r < r1; ++r) out[static_cast<size_t>(r) * width + c] = Luminance(row[r]);
      }
    }
}

}  // namespace film
