// Thumbnails of DICOM images as bitmaps of the window layer.

#include <algorithm>
#include <cstring>
#include <vector>

#include "SODcmFile.h"
#include "SODcmTags.h"
#include "SODcmUtil.h"
#include "SOGdi.h"

namespace {

// The first window the image offers for frame 0: the enhanced per-frame one, then the top level.
bool FirstWindow(const SODcmDataset& ds, double& center, double& width) {
  int frames = 0;
  SODcmDataset group, voi;
  if (ds.GetInt32(dcmtag::NumberOfFrames, frames) &&
      ds.GetSequenceItem(dcmtag::PerFrameFunctionalGroupsSequence, 0, group) &&
      group.GetSequenceItem(dcmtag::FrameVOILUTSequence, 0, voi) &&
      voi.GetFloat64(dcmtag::WindowCenter, center) && voi.GetFloat64(dcmtag::WindowWidth, width) &&
      width >= 1)
    return true;
  return ds.GetFloat64(dcmtag::WindowCenter, center) && ds.GetFloat64(dcmtag::WindowWidth, width) &&
         width >= 1;
}

}  // namespace

HGDIOBJ__* SODcmUtil::CreateBitmap(const char* path, int width, int height) {
  if (!path || width <= 0 || height <= 0 || width > 4096 || height > 4096) return nullptr;
  SODcmFile file;
  DcmImageInputData frame;
  if (!file.LoadFile(path, false) || !GetImageInputData(file.GetDataset(), frame, 0)) return nullptr;
  // Fit the image into the bitmap, keeping its aspect, centred on black.
  double scale = std::min(double(width) / frame.columns, double(height) / frame.rows);
  int fitWidth = std::max(1, int(frame.columns * scale)), fitHeight = std::max(1, int(frame.rows * scale));
  DcmImageInputData fitted;
  if (!ZoomImagePixelData(frame, fitted, fitWidth, fitHeight)) return nullptr;

  std::vector<unsigned char> bgra(size_t(width) * height * 4, 0);
  const int left = (width - fitWidth) / 2, top = (height - fitHeight) / 2;
  auto put = [&](int x, int y, unsigned char r, unsigned char g, unsigned char b) {
    unsigned char* p = &bgra[(size_t(top + y) * width + left + x) * 4];
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = 255;
  };
  if (fitted.type == DCM_PIXEL_RGB24) {
    for (int y = 0; y < fitHeight; ++y)
      for (int x = 0; x < fitWidth; ++x) {
        const unsigned char* s = fitted.data.data + (size_t(y) * fitWidth + x) * 3;
        put(x, y, s[0], s[1], s[2]);
      }
  } else {
    double center = 0, windowWidth = 0;  // no window: the frame's own range
    FirstWindow(*file.GetDataset(), center, windowWidth);
    const size_t stride = (size_t(fitWidth) + 3) & ~size_t(3);
    std::vector<unsigned char> grey(stride * fitHeight);
    if (!SetBitmapData8Bits(grey.data(), fitted, center, windowWidth, false, false)) return nullptr;
    for (int y = 0; y < fitHeight; ++y)
      for (int x = 0; x < fitWidth; ++x) {
        unsigned char v = grey[y * stride + x];
        put(x, y, v, v, v);
      }
  }
  BITMAPINFO info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  std::memcpy(bits, bgra.data(), bgra.size());
  return bitmap;
}
