#include "internal/UIRender.h"

#include "UIManager.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace DuiLib {

CPaintScope::CPaintScope(HDC hDC, const CPaintManagerUI* manager) : dc_(hDC) {
  if (!dc_.Painter() || !dc_.IsOutermost()) return;
  dc_.Painter()->setRenderHint(QPainter::TextAntialiasing);
  if (manager && manager->GetZoomRatio() != 1.0) dc_.Painter()->scale(manager->GetZoomRatio(), manager->GetZoomRatio());
}

namespace CRenderEngine {

bool IntersectRect(RECT& out, const RECT& a, const RECT& b) {
  out.left = std::max(a.left, b.left);
  out.top = std::max(a.top, b.top);
  out.right = std::min(a.right, b.right);
  out.bottom = std::min(a.bottom, b.bottom);
  if (IsEmptyRect(out)) {
    out = RECT{};
    return false;
  }
  return true;
}

static QPainterPath RoundPath(const QRectF& r, SIZE round) {
  QPainterPath path;
  path.addRoundedRect(r, round.cx / 2.0, round.cy / 2.0);
  return path;
}

void DrawColor(QPainter& painter, const RECT& rc, DWORD color, SIZE round) {
  if ((color >> 24) == 0 || IsEmptyRect(rc)) return;
  if (round.cx > 0 || round.cy > 0) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(RoundPath(QRectF(ToRect(rc)), round), ToColor(color));
    painter.restore();
  } else {
    painter.fillRect(ToRect(rc), ToColor(color));
  }
}

void DrawBorder(QPainter& painter, const RECT& rc, int size, DWORD color, SIZE round) {
  if (size <= 0 || (color >> 24) == 0 || IsEmptyRect(rc)) return;
  painter.save();
  QPen pen(ToColor(color));
  pen.setWidthF(size);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  double half = size / 2.0;
  QRectF r(rc.left + half, rc.top + half, rc.right - rc.left - size, rc.bottom - rc.top - size);
  if (round.cx > 0 || round.cy > 0) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPath(RoundPath(r, round));
  } else {
    painter.drawRect(r);
  }
  painter.restore();
}

namespace {

struct ImageSpec {
  std::wstring file;
  RECT source{};
  RECT corner{};
  RECT dest{};
  bool hasSource = false;
  bool hasDest = false;
  int fade = 255;
  bool hole = false;
  bool xtiled = false;
  bool ytiled = false;
};

// Reads name='value' pairs; a text without '=' is a plain file name.
void ParseSpec(const wchar_t* text, ImageSpec& desc) {
  std::wstring s = text ? text : L"";
  if (s.find(L'=') == std::wstring::npos) {
    desc.file = s;
    return;
  }
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == L' ') ++i;
    size_t eq = s.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring key = s.substr(i, eq - i);
    while (!key.empty() && key.back() == L' ') key.pop_back();
    size_t q = eq + 1;
    while (q < s.size() && s[q] == L' ') ++q;
    if (q >= s.size()) break;
    wchar_t quote = s[q];
    size_t end;
    std::wstring value;
    if (quote == L'\'' || quote == L'"') {
      end = s.find(quote, q + 1);
      if (end == std::wstring::npos) end = s.size();
      value = s.substr(q + 1, end - q - 1);
      i = end + 1;
    } else {
      end = s.find(L' ', q);
      if (end == std::wstring::npos) end = s.size();
      value = s.substr(q, end - q);
      i = end;
    }
    if (key == L"file" || key == L"res")
      desc.file = value;
    else if (key == L"source") {
      desc.source = ParseRect(value.c_str());
      desc.hasSource = true;
    } else if (key == L"corner")
      desc.corner = ParseRect(value.c_str());
    else if (key == L"dest") {
      desc.dest = ParseRect(value.c_str());
      desc.hasDest = true;
    } else if (key == L"fade")
      desc.fade = int(wcstol(value.c_str(), nullptr, 10));
    else if (key == L"hole")
      desc.hole = value == L"true";
    else if (key == L"xtiled")
      desc.xtiled = value == L"true";
    else if (key == L"ytiled")
      desc.ytiled = value == L"true";
  }
}

void DrawPart(QPainter& p, const QImage& img, const QRect& dst, const QRect& src, bool xtiled, bool ytiled) {
  if (dst.isEmpty() || src.isEmpty()) return;
  if (xtiled || ytiled) {
    QImage part = img.copy(src);
    int w = xtiled ? part.width() : dst.width(), h = ytiled ? part.height() : dst.height();
    for (int y = dst.top(); y <= dst.bottom(); y += h)
      for (int x = dst.left(); x <= dst.right(); x += w) {
        QRect cell(x, y, std::min(w, dst.right() + 1 - x), std::min(h, dst.bottom() + 1 - y));
        p.drawImage(
            cell, part,
            QRect(0, 0, xtiled ? cell.width() : part.width(), ytiled ? cell.height() : part.height()));
      }
    return;
  }
  p.drawImage(dst, img, src);
}

}  // namespace

bool DrawImageString(QPainter& painter, CPaintManagerUI* manager, const RECT& rcItem, const wchar_t* image,
                     const wchar_t* modify) {
  if (!manager || !image || !*image) return false;
  ImageSpec desc;
  ParseSpec(image, desc);
  if (modify) ParseSpec(modify, desc);
  const QImage* picture = PictureOf(manager->GetImage(desc.file.c_str()));
  if (!picture || picture->isNull()) return false;
  const QImage& img = *picture;
  QRect src = desc.hasSource ? ToRect(desc.source) : img.rect();
  src = src.intersected(img.rect());
  RECT d = rcItem;
  if (desc.hasDest) {
    d.left = rcItem.left + desc.dest.left;
    d.top = rcItem.top + desc.dest.top;
    d.right = rcItem.left + desc.dest.right;
    d.bottom = rcItem.top + desc.dest.bottom;
  }
  QRect dst = ToRect(d);
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (desc.fade < 255) painter.setOpacity(std::max(0, desc.fade) / 255.0);
  const RECT& c = desc.corner;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    DrawPart(painter, img, dst, src, desc.xtiled, desc.ytiled);
  } else {
    // Nine slices: corners unscaled, edges stretched in one direction, centre in both.
    int sx[4] = {src.left(), src.left() + int(c.left), src.right() + 1 - int(c.right), src.right() + 1};
    int sy[4] = {src.top(), src.top() + int(c.top), src.bottom() + 1 - int(c.bottom), src.bottom() + 1};
    int dx[4] = {dst.left(), dst.left() + int(c.left), dst.right() + 1 - int(c.right), dst.right() + 1};
    int dy[4] = {dst.top(), dst.top() + int(c.top), dst.bottom() + 1 - int(c.bottom), dst.bottom() + 1};
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col) {
        if (desc.hole && row == 1 && col == 1) continue;
        QRect s(QPoint(sx[col], sy[row]), QPoint(sx[col + 1] - 1, sy[row + 1] - 1));
        QRect t(QPoint(dx[col], dy[row]), QPoint(dx[col + 1] - 1, dy[row + 1] - 1));
        DrawPart(painter, img, t, s, desc.xtiled && row == 1 && col == 1,
                 desc.ytiled && row == 1 && col == 1);
      }
  }
  painter.restore();
  return true;
}

static int QtFlags(UINT style) {
  int f = 0;
  if (style & DT_CENTER_UI)
    f |= Qt::AlignHCenter;
  else if (style & DT_RIGHT_UI)
    f |= Qt::AlignRight;
  else
    f |= Qt::AlignLeft;
  if (style & DT_VCENTER_UI)
    f |= Qt::AlignVCenter;
  else if (style & DT_BOTTOM_UI)
    f |= Qt::AlignBottom;
  else
    f |= Qt::AlignTop;
  if ((style & DT_WORDBREAK_UI) && !(style & DT_SINGLELINE_UI)) f |= Qt::TextWordWrap;
  return f;
}

void DrawText(QPainter& painter, CPaintManagerUI* manager, const RECT& rc, const QString& text, DWORD color,
              int font, UINT style) {
  if (text.isEmpty() || IsEmptyRect(rc)) return;
  painter.save();
  QFont f = FontOf(manager, font);
  painter.setFont(f);
  painter.setPen(ToColor(color ? color : 0xFF000000));
  QRect r = ToRect(rc);
  QString shown = text;
  if (style & DT_SINGLELINE_UI) {
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (style & DT_END_ELLIPSIS_UI) shown = QFontMetrics(f).elidedText(shown, Qt::ElideRight, r.width());
  }
  painter.setClipRect(r, Qt::IntersectClip);
  painter.drawText(r, QtFlags(style), shown);
  painter.restore();
}

SIZE MeasureText(CPaintManagerUI* manager, const QString& text, int font, int width) {
  QFontMetrics fm(FontOf(manager, font));
  QRect r = width > 0 ? fm.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text)
                      : fm.boundingRect(QRect(0, 0, 100000, 100000), 0, text);
  SIZE sz;
  sz.cx = r.width();
  sz.cy = std::max(r.height(), fm.height());
  return sz;
}

}  // namespace CRenderEngine
}  // namespace DuiLib
