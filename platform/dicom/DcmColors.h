#pragma once

#include <vector>

// The well-known colour palettes: 256 entries, each R, G, B bytes (768 bytes).
namespace DcmColors {
extern const std::vector<unsigned char> HotIron;
extern const std::vector<unsigned char> PET;
extern const std::vector<unsigned char> HotMetalBlue;
extern const std::vector<unsigned char> PET20Step;
}  // namespace DcmColors
