#pragma once

#include <QImage>
#include <cstdint>
#include <cstring>
#include <string>

#include "SOGdi.h"

// A memory device context over a 32-bit top-down bitmap, for drawing without a window.
class RenderSurface {
 public:
  RenderSurface(int width, int height, uint32_t background = 0xFF000000) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    hdc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(hdc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    previous_ = SelectObject(hdc_, bitmap_);
    for (int i = 0; i < width * height; ++i) bits_[i] = background;
  }
  ~RenderSurface() {
    SelectObject(hdc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(hdc_);
  }
  RenderSurface(const RenderSurface&) = delete;
  RenderSurface& operator=(const RenderSurface&) = delete;

  HDC dc() const { return hdc_; }
  RECT rect() const { return RECT{0, 0, width_, height_}; }
  // 0xAARRGGBB of pixel (x, y).
  uint32_t At(int x, int y) const { return bits_[y * width_ + x]; }
  int Gray(int x, int y) const { return At(x, y) & 0xFF; }
  bool SavePng(const std::string& path) const {
    QImage image(reinterpret_cast<const uchar*>(bits_), width_, height_, width_ * 4, QImage::Format_ARGB32);
    return image.save(QString::fromStdString(path), "PNG");
  }

 private:
  int width_;
  int height_;
  HDC hdc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};
