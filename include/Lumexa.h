#pragma once

// Entry points of the viewer library.

class ISOLumexa;

// The 2D view control, without a window until ISOLumexa::Create; free it with ReleaseLumexa
// (null does nothing).
ISOLumexa* CreateLumexa();
void ReleaseLumexa(ISOLumexa* control);
extern "C" ISOLumexa* CreateLumexa_C();
extern "C" void ReleaseLumexa_C(ISOLumexa* control);

// The text drawn over every image window that shows an image, from its next repaint on; an
// empty text hides it. UI thread only.
void SetForegroundText(const char* text);
