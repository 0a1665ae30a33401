#pragma once

// Entry points of the viewer library.

class ISOLumexa;
class ISOVisualCtrl;

// The 2D view control, without a window until ISOLumexa::Create; free it with ReleaseLumexa
// (null does nothing).
ISOLumexa* CreateLumexa();
void ReleaseLumexa(ISOLumexa* control);
extern "C" ISOLumexa* CreateLumexa_C();
extern "C" void ReleaseLumexa_C(ISOLumexa* control);

// The 3D/MPR control, without a window until ISOVisualCtrl::Create; free it with
// ReleaseVisualCtrl (null does nothing).
ISOVisualCtrl* CreateVisualCtrl();
void ReleaseVisualCtrl(ISOVisualCtrl* control);

// The text drawn over every image window that shows an image, from its next repaint on; an
// empty text hides it. UI thread only.
void SetForegroundText(const char* text);
