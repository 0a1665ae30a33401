#include "SODcmUtil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <vector>

namespace {

bool IsGrey(const DcmImageInputData& d) {
  return d.type != DCM_PIXEL_NONE && d.type != DCM_PIXEL_RGB24 && d.type != DCM_PIXEL_ARGB32;
}

size_t PixelCount(const DcmImageInputData& d) { return size_t(d.rows) * d.columns; }

size_t BytesPerPixel(int type) {
  return type == DCM_PIXEL_RGB24 ? 3 : type == DCM_PIXEL_ARGB32 ? 4 : type == DCM_PIXEL_NONE ? 0 : 2;
}

bool HasWholeFrame(const DcmImageInputData& d) {
  size_t bytes = BytesPerPixel(d.type);
  return bytes && d.data.data && PixelCount(d) > 0 && d.data.count >= PixelCount(d) * bytes;
}

const int16_t* GreyValues(const DcmImageInputData& d) { return reinterpret_cast<const int16_t*>(d.data.data); }

}  // namespace

bool SODcmUtil::GetImagePixelData(const DcmImageInputData& input, DcmImagePixelData& out) {
  if (!IsGrey(input) || !HasWholeFrame(input)) return false;
  size_t n = PixelCount(input);
  out.Resize(static_cast<uint32_t>(n));
  std::memcpy(out.data, input.data.data, n * 2);
  return true;
}

bool SODcmUtil::GetImagePixelData(const DcmImageInputData& input, short* buffer, unsigned capacity) {
  if (!buffer || !IsGrey(input) || !HasWholeFrame(input) || capacity < PixelCount(input)) return false;
  std::memcpy(buffer, input.data.data, PixelCount(input) * 2);
  return true;
}

bool SODcmUtil::GetImagePixelData(const DcmImageInputData& input, DcmImagePixelDataRGB& out) {
  if (IsGrey(input) || !HasWholeFrame(input)) return false;
  size_t n = PixelCount(input);
  out.Resize(static_cast<uint32_t>(n));
  const unsigned char* src = input.data.data;
  if (input.type == DCM_PIXEL_RGB24) {
    for (size_t i = 0; i < n; ++i, src += 3) out.data[i] = (unsigned long)src[0] << 16 | src[1] << 8 | src[2];
  } else {
    for (size_t i = 0; i < n; ++i, src += 4) out.data[i] = (unsigned long)src[1] << 16 | src[2] << 8 | src[3];
  }
  return true;
}

bool SODcmUtil::ZoomImagePixelData(const DcmImageInputData& input, DcmImageInputData& out, int columns, int rows) {
  if (!HasWholeFrame(input) || columns <= 0 || rows <= 0 || columns > 65535 || rows > 65535) return false;
  DcmImageInputData zoomed;
  zoomed.type = input.type;
  zoomed.rows = static_cast<unsigned short>(rows);
  zoomed.columns = static_cast<unsigned short>(columns);
  zoomed.intercept = input.intercept;
  zoomed.slope = input.slope;
  zoomed.monochrome1 = input.monochrome1;
  zoomed.paddingLow = input.paddingLow;
  zoomed.paddingHigh = input.paddingHigh;
  const size_t channels = IsGrey(input) ? 1 : BytesPerPixel(input.type);
  zoomed.data.Resize(static_cast<uint32_t>(size_t(rows) * columns * BytesPerPixel(input.type)));
  const int srcW = input.columns, srcH = input.rows;
  // Pixel centres map onto pixel centres; samples outside clamp to the edge.
  const double sx = double(srcW) / columns, sy = double(srcH) / rows;
  std::vector<int> x0(columns), x1(columns);
  std::vector<float> fx(columns);
  for (int x = 0; x < columns; ++x) {
    double p = std::clamp((x + 0.5) * sx - 0.5, 0.0, double(srcW - 1));
    x0[x] = int(p);
    x1[x] = std::min(x0[x] + 1, srcW - 1);
    fx[x] = float(p - x0[x]);
  }
  const bool grey = IsGrey(input), padded = input.paddingLow <= input.paddingHigh;
  for (int y = 0; y < rows; ++y) {
    double p = std::clamp((y + 0.5) * sy - 0.5, 0.0, double(srcH - 1));
    int y0 = int(p), y1 = std::min(y0 + 1, srcH - 1);
    float fy = float(p - y0);
    for (int x = 0; x < columns; ++x) {
      for (size_t c = 0; c < channels; ++c) {
        auto at = [&](int yy, int xx) -> float {
          size_t i = (size_t(yy) * srcW + xx) * channels + c;
          return IsGrey(input) ? float(GreyValues(input)[i]) : float(input.data.data[i]);
        };
        if (grey && padded && (input.IsPadding(int(at(y0, x0[x]))) || input.IsPadding(int(at(y0, x1[x]))) ||
                               input.IsPadding(int(at(y1, x0[x]))) || input.IsPadding(int(at(y1, x1[x]))))) {
          // Padding is no value to blend with: near it the nearest sample is taken.
          const int ny = fy < 0.5f ? y0 : y1, nx = fx[x] < 0.5f ? x0[x] : x1[x];
          reinterpret_cast<int16_t*>(zoomed.data.data)[size_t(y) * columns + x] = static_cast<int16_t>(at(ny, nx));
          continue;
        }
        float top = at(y0, x0[x]) + (at(y0, x1[x]) - at(y0, x0[x])) * fx[x];
        float bottom = at(y1, x0[x]) + (at(y1, x1[x]) - at(y1, x0[x])) * fx[x];
        float v = top + (bottom - top) * fy;
        size_t o = (size_t(y) * columns + x) * channels + c;
        if (IsGrey(input))
          reinterpret_cast<int16_t*>(zoomed.data.data)[o] = static_cast<int16_t>(std::lround(v));
        else
          zoomed.data.data[o] = static_cast<unsigned char>(std::lround(v));
      }
    }
  }
  out = std::move(zoomed);
  return true;
}

namespace {

// The linear VOI function of DICOM as an affine map of the stored value, clamped to 0..255:
// x <= c - 0.5 - (w - 1) / 2 gives 0, x > c - 0.5 + (w - 1) / 2 gives 255.
struct WindowMap {
  float scale = 0, offset = 0;
  // Written the same way wherever it is applied, so every path gives the same levels.
  unsigned char operator()(int16_t value) const {
    float y = value * scale + offset;
    y = y < 0.0f ? 0.0f : y;
    y = y > 255.0f ? 255.0f : y;
    return static_cast<unsigned char>(static_cast<int>(y + 0.5f));
  }
};

// The window spanning the frame's values, padding left out (unless nothing else is left).
void AutomaticWindow(const DcmImageInputData& input, bool storedValues, double& center, double& width) {
  const size_t n = PixelCount(input);
  const int16_t* values = GreyValues(input);
  const double slope = storedValues ? 1.0 : input.slope;
  const double intercept = storedValues ? 0.0 : input.intercept;
  int lo = 32767, hi = -32768;
  for (size_t i = 0; i < n; ++i) {
    if (input.IsPadding(values[i])) continue;
    lo = std::min<int>(lo, values[i]);
    hi = std::max<int>(hi, values[i]);
  }
  if (lo > hi) {
    lo = input.paddingLow;
    hi = input.paddingHigh;
  }
  const double a = lo * slope + intercept, b = hi * slope + intercept;
  center = (a + b) / 2;
  width = std::max(1.0, std::fabs(b - a));
}

WindowMap MapWindow(const DcmImageInputData& input, double center, double width, bool invert,
                    bool storedValues) {
  const double slope = storedValues ? 1.0 : input.slope;
  const double intercept = storedValues ? 0.0 : input.intercept;
  if (width < 1) AutomaticWindow(input, storedValues, center, width);
  const bool flip = invert != input.monochrome1;
  WindowMap map;
  if (width > 1) {
    map.scale = static_cast<float>(slope * 255.0 / (width - 1));
    map.offset = static_cast<float>((intercept - center + 0.5) * 255.0 / (width - 1) + 127.5);
  } else {
    // A width of 1 is a threshold at the centre.
    map.scale = slope >= 0 ? 1e9f : -1e9f;
    map.offset = static_cast<float>(((intercept - center + 0.5) / std::max(std::fabs(slope), 1e-12)) * 1e9);
  }
  if (flip) {
    map.scale = -map.scale;
    map.offset = 255.0f - map.offset;
  }
  return map;
}

// Colours of every stored value (indexed by the value as uint16) for one window and palette.
struct ColourTable {
  WindowMap map;
  uint32_t palette[256];
  std::vector<uint32_t> colours;
};

// The tables this thread made last, newest first: a drag re-windows the shown frames with one
// window, paging shows new frames with the same one.
const uint32_t* ColoursFor(const WindowMap& map, const uint32_t palette[256]) {
  constexpr size_t kKept = 4;
  thread_local std::vector<ColourTable> tables;
  auto same = [&](const ColourTable& t) {
    return t.map.scale == map.scale && t.map.offset == map.offset &&
           std::memcmp(t.palette, palette, sizeof(t.palette)) == 0;
  };
  auto it = std::find_if(tables.begin(), tables.end(), same);
  if (it == tables.end()) {
    ColourTable table;
    if (tables.size() >= kKept) {
      table.colours = std::move(tables.back().colours);  // memory already touched
      tables.pop_back();
    }
    table.map = map;
    std::memcpy(table.palette, palette, sizeof(table.palette));
    table.colours.resize(65536);
    unsigned char levels[65536];
    for (int i = 0; i < 65536; ++i) levels[i] = map(static_cast<int16_t>(i));
    for (int i = 0; i < 65536; ++i) table.colours[i] = palette[levels[i]];
    tables.insert(tables.begin(), std::move(table));
  } else if (it != tables.begin()) {
    std::rotate(tables.begin(), it, it + 1);
  }
  return tables.front().colours.data();
}

}  // namespace

bool SODcmUtil::GetAutomaticWindow(const DcmImageInputData& input, double& center, double& width) {
  if (!IsGrey(input) || !HasWholeFrame(input)) return false;
  AutomaticWindow(input, false, center, width);
  return true;
}

bool SODcmUtil::SetBitmapData8Bits(unsigned char* bits, const DcmImageInputData& input, double center,
                                   double width, bool invert, bool storedValues) {
  if (!bits || !IsGrey(input) || !HasWholeFrame(input)) return false;
  const WindowMap map = MapWindow(input, center, width, invert, storedValues);
  const size_t stride = (size_t(input.columns) + 3) & ~size_t(3);
  const int16_t* values = GreyValues(input);
  // Sizes in locals: the output bytes could alias the record, which would stop vectorising.
  const size_t rows = input.rows, columns = input.columns;
  for (size_t r = 0; r < rows; ++r) {
    const int16_t* __restrict src = values + r * columns;
    unsigned char* __restrict dst = bits + r * stride;
    for (size_t c = 0; c < columns; ++c) dst[c] = map(src[c]);
    std::memset(dst + columns, 0, stride - columns);
  }
  return true;
}

bool SODcmUtil::SetBitmapData32Bits(uint32_t* bits, size_t stride, const DcmImageInputData& input,
                                    double center, double width, bool invert, bool storedValues,
                                    const uint32_t colours[256]) {
  if (!bits || !colours || !IsGrey(input) || !HasWholeFrame(input) || stride < size_t(input.columns))
    return false;
  const uint32_t* table = ColoursFor(MapWindow(input, center, width, invert, storedValues), colours);
  const int16_t* values = GreyValues(input);
  const size_t rows = input.rows, columns = input.columns;
  for (size_t r = 0; r < rows; ++r) {
    const int16_t* __restrict src = values + r * columns;
    uint32_t* __restrict dst = bits + r * stride;
    for (size_t c = 0; c < columns; ++c) dst[c] = table[static_cast<uint16_t>(src[c])];
  }
  return true;
}

bool SODcmUtil::GetImagePixelValue(const DcmImageInputData& input, int x, int y, double& value) {
  if (!IsGrey(input) || !HasWholeFrame(input) || x < 0 || y < 0 || x >= input.columns || y >= input.rows)
    return false;
  value = GreyValues(input)[size_t(y) * input.columns + x] * input.slope + input.intercept;
  return true;
}

bool SODcmUtil::ImageToPatientCoords(const SODcmImageProject& project, const SOPointF& image, SOPoint3F& patient) {
  return project.ImageToPatientCoords(image, patient);
}

bool SODcmUtil::PatientToImageCoords(const SODcmImageProject& project, const SOPoint3F& patient, SOPointF& image) {
  return project.PatientToImageCoords(patient, image);
}

bool SODcmUtil::ImageNormalVector(const SODcmImageProject& project, SOPoint3F& normal) {
  return project.ImageNormalVector(normal);
}

// UIDs under the root 2.25 are a 128-bit random number written in decimal, unique without a
// registered organisation root.
std::string SODcmUtil::GenerateUID() {
  static std::mutex lock;
  static std::random_device device;
  static std::mt19937_64 engine(((uint64_t(device()) << 32) ^ device()) ^ uint64_t(std::time(nullptr)));
  unsigned __int128 value;
  {
    std::lock_guard<std::mutex> guard(lock);
    value = (static_cast<unsigned __int128>(engine() ^ device()) << 64) | (engine() ^ device());
  }
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(value % 10)));
    value /= 10;
  } while (value);
  return "2.25." + digits;
}

namespace {

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

}  // namespace

std::string SODcmUtil::GetCurrentDcmDate() {
  std::tm tm = LocalNow();
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

std::string SODcmUtil::GetCurrentDcmTime() {
  std::tm tm = LocalNow();
  char buf[16];
  std::strftime(buf, sizeof buf, "%H%M%S", &tm);
  return buf;
}
