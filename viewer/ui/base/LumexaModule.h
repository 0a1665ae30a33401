#pragma once

#include <string>

#include "SOWin32.h"

// The viewer library's instance token: every window class, window and library cursor uses it.
HINSTANCE LumexaModule();

// The text drawn over every image window that shows an image; empty hides it. UI thread only.
const std::wstring& LumexaForegroundText();

// One of the library's cursors, 104 to 113.
HCURSOR LumexaCursor(int id);

// A view drag (window, zoom or pan with a button held). While it goes on, image windows paint
// their image with quick scaling and are noted; when it ends, each window so painted that is
// still there repaints at once in full, so the picture left is the one painted without a drag.
// A wheel burst pages the same way between LumexaBeginViewDrag and LumexaPauseViewDrag, and its
// cells repaint in full at LumexaEndViewDrag once the wheel rests. UI thread only.
void LumexaBeginViewDrag();
void LumexaPauseViewDrag();
// repaints: a window its caller repaints in full right after (a drag's final rendering); it is
// left out of the repaint.
void LumexaEndViewDrag(HWND repaints = nullptr);
bool LumexaInViewDrag();
void LumexaNoteQuickPaint(HWND window);
