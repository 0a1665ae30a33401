#include "SOBufferedPaint.h"

#include <algorithm>

#include "SOGdi.h"
#include "SOGdiPlus.h"

SOPaintBitmap::~SOPaintBitmap() {
  if (bitmap_) ::DeleteObject(bitmap_);
}

SOBufferedPaint::SOBufferedPaint(HWND hwnd, int width, int height, SOPaintBitmap& keep)
    : hwnd_(hwnd), width_(std::max(1, width)), height_(std::max(1, height)) {
  hdc_ = ::BeginPaint(hwnd_, &ps_);
  mem_ = ::CreateCompatibleDC(hdc_);
  BITMAP info{};
  if (keep.bitmap_ && (!::GetObjectW(keep.bitmap_, sizeof(info), &info) || info.bmWidth != width_ ||
                       info.bmHeight != height_)) {
    ::DeleteObject(keep.bitmap_);
    keep.bitmap_ = nullptr;
  }
  if (!keep.bitmap_) keep.bitmap_ = ::CreateCompatibleBitmap(hdc_, width_, height_);
  bitmap_ = keep.bitmap_;
  old_ = ::SelectObject(mem_, bitmap_);
  Gdiplus::Graphics g(mem_);
  Gdiplus::SolidBrush black(Gdiplus::Color(0xFF000000));
  g.FillRectangle(&black, 0, 0, width_, height_);
}

SOBufferedPaint::~SOBufferedPaint() {
  ::BitBlt(hdc_, 0, 0, width_, height_, mem_, 0, 0, SRCCOPY);
  ::SelectObject(mem_, old_);
  ::DeleteDC(mem_);
  ::EndPaint(hwnd_, &ps_);
}

HBITMAP CaptureWindowBitmap(HWND window, int inset) {
  RECT r{};
  if (!window || !::GetWindowRect(window, &r)) return nullptr;
  const int w = r.right - r.left - 2 * inset;
  const int h = r.bottom - r.top - 2 * inset;
  if (w <= 0 || h <= 0) return nullptr;
  HBITMAP whole = SOWin::CaptureWindow(window);
  if (!whole || inset == 0) return whole;
  HDC screen = ::GetDC(nullptr);
  HDC from = ::CreateCompatibleDC(screen);
  HDC to = ::CreateCompatibleDC(screen);
  HBITMAP part = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ oldFrom = ::SelectObject(from, whole);
  HGDIOBJ oldTo = ::SelectObject(to, part);
  ::BitBlt(to, 0, 0, w, h, from, inset, inset, SRCCOPY);
  ::SelectObject(from, oldFrom);
  ::SelectObject(to, oldTo);
  ::DeleteDC(from);
  ::DeleteDC(to);
  ::ReleaseDC(nullptr, screen);
  ::DeleteObject(whole);
  return part;
}

bool CopyBitmapToClipboard(HBITMAP bitmap) {
  if (!bitmap) return false;
  if (!::OpenClipboard(nullptr)) {
    ::DeleteObject(bitmap);
    return false;
  }
  ::EmptyClipboard();
  const bool placed = ::SetClipboardData(CF_BITMAP, bitmap) != nullptr;
  ::CloseClipboard();
  if (!placed) ::DeleteObject(bitmap);
  return placed;
}
