#pragma once

#include "SOWin32.h"

// One double-buffered WM_PAINT: begins the paint, hands out a memory context of the given
// size filled with black, and at the end copies it to the window and frees everything. A window
// that repaints often passes a bitmap slot of its own: its bitmap is kept for the next paint of
// the same size (the owner frees it with DeleteObject).
class SOBufferedPaint {
 public:
  SOBufferedPaint(HWND hwnd, int width, int height, HBITMAP* keep = nullptr);
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
  bool kept_ = false;
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
