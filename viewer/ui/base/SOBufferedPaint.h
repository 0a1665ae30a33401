#pragma once

#include "SOWin32.h"

// A window's paint bitmap, kept from one paint to the next of the same size: fresh memory for
// every paint costs more than the painting.
class SOPaintBitmap {
 public:
  SOPaintBitmap() = default;
  ~SOPaintBitmap();
  SOPaintBitmap(const SOPaintBitmap&) = delete;
  SOPaintBitmap& operator=(const SOPaintBitmap&) = delete;

 private:
  friend class SOBufferedPaint;
  HBITMAP bitmap_ = nullptr;
};

// One double-buffered WM_PAINT: begins the paint, hands out a memory context of the given
// size filled with black, and at the end copies it to the window and ends the paint. The
// memory context draws on the window's kept bitmap.
class SOBufferedPaint {
 public:
  SOBufferedPaint(HWND hwnd, int width, int height, SOPaintBitmap& keep);
  ~SOBufferedPaint();
  SOBufferedPaint(const SOBufferedPaint&) = delete;
  SOBufferedPaint& operator=(const SOBufferedPaint&) = delete;

  HDC dc() const { return mem_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC hdc_ = nullptr;
  HDC mem_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  int width_, height_;
};

// A copy of the window less inset pixels on each side, rendered from the window tree (so it
// holds the window even when covered, hidden or offscreen); the caller owns it. Null when the
// window has no area.
HBITMAP CaptureWindowBitmap(HWND window, int inset);
// Puts the bitmap on the clipboard, which takes it; false (the bitmap freed) when the clipboard
// cannot be opened or refuses it.
bool CopyBitmapToClipboard(HBITMAP bitmap);
