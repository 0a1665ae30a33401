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

// The image a codestream declares (its SIZ segment), read without decoding anything.
struct DcmJ2KSize {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0;
  uint64_t tiles = 0;
};
// False when no well-formed SIZ segment opens the codestream (or the JP2 file's codestream box),
// or when its components differ in size.
bool ReadJpeg2000Size(const uint8_t* data, size_t size, DcmJ2KSize& out);

// Decodes a frame of `width` x `height` pixels of `components` samples. The codestream's own
// header is read first: one declaring another image is refused before the decoder allocates
// anything. False too when the data cannot be decoded.
bool DecodeJpeg2000(const uint8_t* data, size_t size, int width, int height, int components, DcmJ2KImage& image);
