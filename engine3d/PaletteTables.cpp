#include "PaletteTables.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

void FreeLabel(VolumeLabelPalette*& label) {
  if (!label) return;
  delete[] label->rgb;
  delete[] label->alpha;
  delete label;
  label = nullptr;
}

uint8_t Channel(uint32_t color, int shift) {
  return uint8_t((color >> shift) & 0xFF);
}

}  // namespace

int16_t ShiftValue(int16_t value, int delta) {
  return int16_t(std::clamp<int64_t>(int64_t(value) + delta, INT16_MIN, INT16_MAX));
}

bool BuildLabelPalette(VolumePalette& palette, const V3Palette& points, int label) {
  if (points.points.count < 2 || !points.points.data || label < 0 || label > 63) return false;
  // Ascending by value; the first point of a given value wins.
  std::vector<V3PalettePoint> sorted;
  for (uint32_t i = 0; i < points.points.count; ++i) {
    const V3PalettePoint& p = points.points.data[i];
    auto at = std::find_if(sorted.begin(), sorted.end(),
                           [&](const V3PalettePoint& q) { return q.value >= p.value; });
    if (at != sorted.end() && at->value == p.value) continue;
    sorted.insert(at, p);
  }
  if (sorted.size() < 2) return false;

  auto* table = new (std::nothrow) VolumeLabelPalette{};
  if (!table) return false;
  table->minValue = sorted.front().value;
  table->maxValue = sorted.back().value;
  table->count = uint32_t(table->maxValue - table->minValue + 1);
  table->rgb = new (std::nothrow) uint8_t[table->count * 3];
  table->alpha = new (std::nothrow) float[table->count];
  if (!table->rgb || !table->alpha) {
    FreeLabel(table);
    return false;
  }
  table->visible = points.visible;
  table->opacity = points.opacity;
  table->ambient = points.ambient;
  table->diffuse = points.diffuse;
  table->specular = points.specular;
  for (size_t k = 0; k + 1 < sorted.size(); ++k) {
    const V3PalettePoint& p = sorted[k];
    const V3PalettePoint& q = sorted[k + 1];
    for (int v = p.value; v <= q.value; ++v) {
      const float u = float(v - p.value) / float(q.value - p.value);
      const int at = v - table->minValue;
      table->alpha[at] = p.alpha + (q.alpha - p.alpha) * u;
      for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;  // red, green, blue of 0x00RRGGBB
        const float pc = Channel(p.color, shift), qc = Channel(q.color, shift);
        table->rgb[3 * at + c] = uint8_t(int((qc - pc) * u + pc + 0.5f));
      }
    }
  }
  FreeLabel(palette.labels[label]);
  palette.labels[label] = table;
  return BuildOpacityTable(palette);
}

bool BuildOpacityTable(VolumePalette& palette) {
  int lo = 0, hi = -1;
  bool any = false;
  for (const VolumeLabelPalette* label : palette.labels) {
    if (!label || !label->visible) continue;
    lo = any ? std::min(lo, label->minValue) : label->minValue;
    hi = any ? std::max(hi, label->maxValue) : label->maxValue;
    any = true;
  }
  delete[] palette.opacity;
  palette.opacity = nullptr;
  if (!any) return true;
  const int count = hi - lo + 1;
  float* table = new (std::nothrow) float[count]();
  if (!table) return false;
  for (const VolumeLabelPalette* label : palette.labels) {
    if (!label || !label->visible) continue;
    for (uint32_t i = 0; i < label->count; ++i) table[label->minValue - lo + int(i)] += label->alpha[i];
  }
  palette.base = lo;
  palette.count = count;
  palette.opacity = table;
  return true;
}

void FreeVolumePalette(VolumePalette& palette) {
  for (VolumeLabelPalette*& label : palette.labels) FreeLabel(label);
  delete[] palette.opacity;
  palette.opacity = nullptr;
}
