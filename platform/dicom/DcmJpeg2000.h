#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One JPEG 2000 frame (raw codestream or JP2 file) decoded with OpenJPEG.
struct DcmJ2KImage {
  int width = 0;
  int height = 0;
  int components = 0;
  int precision = 0;
  bool isSigned = false;
  std::vector<int32_t> samples;  // component-interleaved, width x height x components
};

// False when the data cannot be decoded or its components differ in size.
bool DecodeJpeg2000(const uint8_t* data, size_t size, DcmJ2KImage& image);
