#pragma once

// Drawing helpers shared by the controls: colours, borders, skin images, text.

#include "UIDefs.h"

#include <QColor>
#include <QRect>
#include <QString>

namespace DuiLib {

class CPaintManagerUI;

namespace CRenderEngine {

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
