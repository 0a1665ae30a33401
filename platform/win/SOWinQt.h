#pragma once

// Bridges between this layer's handles and Qt, for code that hosts Qt widgets (edit boxes,
// other toolkits' windows) inside our windows or draws with QPainter directly.

#include "SOGdi.h"

class QWidget;
class QImage;
class QString;
class QPaintDevice;
class QPoint;
class QPainter;

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
// One painter for everything drawn on a DC while the scope lives: GDI and GDI+ calls on the
// DC draw through it (each with the DC's own origin and clip, inside the clip the painter has
// then), and code drawing with Qt paints with Painter(). It starts with the DC's origin and
// clip applied. A scope opened while another is open on the same DC shares its painter, saved
// on entry and restored on exit. The painter is null when the DC has nothing to paint on.
// Bitmaps selected into the DC meanwhile are not painted until the outermost scope closes.
class DCPaintScope {
 public:
  explicit DCPaintScope(HDC hdc);
  ~DCPaintScope();
  DCPaintScope(const DCPaintScope&) = delete;
  DCPaintScope& operator=(const DCPaintScope&) = delete;

  QPainter* Painter() const { return painter_; }
  // True for the scope that opened the painter.
  bool IsOutermost() const { return outermost_; }

 private:
  HDC hdc_ = nullptr;
  QPainter* painter_ = nullptr;
  bool outermost_ = false;
};

// The image of a bitmap (32-bit); null for another handle.
QImage* ImageOf(HBITMAP bitmap);
// A new bitmap (owned by the caller, freed with DeleteObject) holding a copy of image.
HBITMAP BitmapFromImage(const QImage& image);

// The image in a file, as QImage reads it; null when it does not read. A PNG is decoded
// without Qt loading its image plug-ins first.
QImage ReadImageFile(const QString& path);

}  // namespace SOWin
