#pragma once

// Inside the skin engine: the painter controls draw with, and drawing helpers shared by the
// controls (colours, borders, skin images, text).

#include "SOWinQt.h"
#include "UIDefs.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

namespace DuiLib {

class CPaintManagerUI;
struct TImageInfo;

// The painter a control draws with on a DC. Every control painted on the DC while a scope is
// open shares its painter (SOWin::DCPaintScope), so a tree paints with one painter whatever
// control the caller starts from; the outermost scope scales skin coordinates by the manager's
// zoom. False when the DC has nothing to paint on.
class CPaintScope {
 public:
  CPaintScope(HDC hDC, const CPaintManagerUI* manager);
  explicit operator bool() const { return dc_.Painter() != nullptr; }
  QPainter& operator*() const { return *dc_.Painter(); }
  QPainter* operator->() const { return dc_.Painter(); }

 private:
  SOWin::DCPaintScope dc_;
};

namespace CRenderEngine {

// The manager's font `index` (-1 or out of range: its default font; no manager: a plain font).
const QFont& FontOf(const CPaintManagerUI* manager, int index);
// The picture of an image the manager holds; null for a null info.
const QImage* PictureOf(const TImageInfo* info);


inline QColor ToColor(DWORD argb) {
  return QColor((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, (argb >> 24) & 0xFF);
}
inline QRect ToRect(const RECT& rc) {
  return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}
inline QString ToQString(const wchar_t* s) {
  return QString::fromWCharArray(s ? s : L"");
}
inline bool IsEmptyRect(const RECT& rc) {
  return rc.right <= rc.left || rc.bottom <= rc.top;
}
bool IntersectRect(RECT& out, const RECT& a, const RECT& b);

void DrawColor(QPainter& painter, const RECT& rc, DWORD color, SIZE round = SIZE{});
void DrawBorder(QPainter& painter, const RECT& rc, int size, DWORD color, SIZE round = SIZE{});
// An image attribute: a file name, or "file='a.png' source='l,t,r,b' corner='l,t,r,b'
// dest='l,t,r,b' fade='0..255' xtiled='true' ytiled='true' hole='true'". `corner` keeps the
// source's edges unscaled (nine-slice); `dest` is relative to rcItem. False when the image
// cannot be loaded.
bool DrawImageString(QPainter& painter, CPaintManagerUI* manager, const RECT& rcItem, const wchar_t* image,
                     const wchar_t* modify = nullptr);
// Text with the manager's font `font` (-1: default) and DT_*_UI style flags.
void DrawText(QPainter& painter, CPaintManagerUI* manager, const RECT& rc, const QString& text, DWORD color,
              int font, UINT style);
// The size `text` needs in `font`; wrapped at `width` when width > 0.
SIZE MeasureText(CPaintManagerUI* manager, const QString& text, int font, int width = 0);

}  // namespace CRenderEngine
}  // namespace DuiLib
