#pragma once

#include <functional>

#include "SOWin32.h"

// Paints a window double-buffered: draw gets a memory context of the client size, which is
// then copied to the window in one blit.
void PaintBuffered(HWND hwnd, const std::function<void(HDC hdc, const RECT& client)>& draw);

// Fills rect of hdc with a 32-bit ARGB colour.
void FillArgb(HDC hdc, const RECT& rect, unsigned long argb);
