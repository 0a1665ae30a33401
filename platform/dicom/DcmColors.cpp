#include "DcmColors.h"

#include <cmath>
#include <initializer_list>
#include <utility>

namespace {

using Knots = std::initializer_list<std::pair<int, int>>;

// One channel through straight segments between (index, value) knots.
void Linear(std::vector<unsigned char>& table, int channel, Knots knots) {
  auto prev = *knots.begin();
  for (const auto& next : knots) {
    for (int i = prev.first; i <= next.first; ++i) {
      double t = next.first == prev.first ? 0 : double(i - prev.first) / (next.first - prev.first);
      table[i * 3 + channel] = static_cast<unsigned char>(std::lround(prev.second + t * (next.second - prev.second)));
    }
    prev = next;
  }
}

// One channel in flat bands: each (start, value) holds until the next start.
void Steps(std::vector<unsigned char>& table, int channel, Knots bands) {
  for (auto it = bands.begin(); it != bands.end(); ++it) {
    int end = std::next(it) == bands.end() ? 256 : std::next(it)->first;
    for (int i = it->first; i < end; ++i) table[i * 3 + channel] = static_cast<unsigned char>(it->second);
  }
}

std::vector<unsigned char> Table(void (*fill)(std::vector<unsigned char>&, int, Knots), Knots red, Knots green,
                                 Knots blue) {
  std::vector<unsigned char> table(768);
  fill(table, 0, red);
  fill(table, 1, green);
  fill(table, 2, blue);
  return table;
}

}  // namespace

namespace DcmColors {

const std::vector<unsigned char> HotIron =
    Table(Linear, {{0, 0}, {127, 254}, {128, 255}, {255, 255}}, {{0, 0}, {128, 0}, {254, 252}, {255, 255}},
          {{0, 0}, {191, 0}, {254, 252}, {255, 255}});

const std::vector<unsigned char> PET =
    Table(Linear, {{0, 0}, {63, 0}, {64, 1}, {192, 255}, {255, 255}}, {{0, 0}, {63, 128}, {128, 0}, {255, 255}},
          {{0, 0}, {128, 255}, {192, 0}, {255, 255}});

const std::vector<unsigned char> HotMetalBlue =
    Table(Linear, {{0, 0}, {85, 0}, {104, 55}, {120, 93}, {153, 190}, {170, 255}, {255, 255}},
          {{0, 0}, {119, 0}, {240, 228}, {255, 255}},
          {{0, 0}, {59, 116}, {102, 200}, {119, 150}, {136, 50}, {153, 0}, {170, 0}, {240, 206}, {255, 255}});

const std::vector<unsigned char> PET20Step =
    Table(Steps,
          {{0, 0}, {13, 96}, {26, 48}, {51, 80}, {64, 96}, {77, 112}, {90, 128}, {102, 48}, {128, 80}, {141, 64},
           {153, 224}, {166, 208}, {204, 192}, {217, 176}, {230, 255}},
          {{0, 0}, {26, 48}, {51, 80}, {64, 96}, {77, 112}, {90, 128}, {102, 96}, {115, 144}, {128, 192}, {141, 224},
           {166, 208}, {179, 176}, {192, 144}, {204, 96}, {217, 48}, {230, 0}, {243, 255}},
          {{0, 0}, {13, 80}, {39, 112}, {51, 128}, {64, 176}, {77, 192}, {90, 224}, {102, 48}, {128, 80}, {141, 64},
           {153, 80}, {166, 96}, {179, 64}, {192, 0}, {243, 255}});

}  // namespace DcmColors
