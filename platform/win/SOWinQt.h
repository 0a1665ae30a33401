#pragma once

// Bridges between this layer's handles and Qt, for code that hosts Qt widgets (edit boxes,
// other toolkits' windows) inside our windows or draws with QPainter directly.

#include "SOGdi.h"

class QWidget;
class QImage;
class QPaintDevice;
class QPoint;

namespace SOWin {

// The widget behind a window; null for an invalid handle.
QWidget* WidgetOf(HWND hwnd);
// The window a widget belongs to (the widget itself or its nearest ancestor that is one).
HWND HwndOf(QWidget* widget);
// Makes a foreign widget usable as a parent or owner handle. The handle lives until the widget
// is destroyed; messages sent to it go to DefWindowProcW.
HWND WrapWidget(QWidget* widget);

// The paint target of a DC (a bitmap's or window's image, or a printer) and its viewport origin.
// Null for an invalid DC or a memory DC without a bitmap.
QPaintDevice* PaintDeviceOf(HDC hdc);
QPoint ViewportOrigin(HDC hdc);
// The image of a bitmap (32-bit); null for another handle.
QImage* ImageOf(HBITMAP bitmap);
// A new bitmap (owned by the caller, freed with DeleteObject) holding a copy of image.
HBITMAP BitmapFromImage(const QImage& image);

}  // namespace SOWin
