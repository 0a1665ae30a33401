// GDI: objects, device contexts, blits, shapes, text, regions and DIBs on QPainter/QImage.

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPrinter>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "SOGdi.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

namespace sowin {
namespace {

// Live GDI objects and DCs. Objects and DCs may be made and used on any thread, one thread
// per object at a time, as in GDI; the sets are guarded by g_objMutex.
std::mutex g_objMutex;
std::unordered_set<GdiObject*> g_objects;
std::unordered_set<DCObj*> g_dcs;

GdiObject* StockObject(int index);

BitmapObj* DefaultBitmap() {
  static BitmapObj* bm = [] {
    BitmapObj* b = NewBitmap(1, 1, QImage::Format_RGB32, false, false);
    b->stock = true;
    b->image.fill(Qt::black);
    Register(b);
    return b;
  }();
  return bm;
}

DCState DefaultState() {
  DCState s;
  s.pen = static_cast<PenObj*>(StockObject(BLACK_PEN));
  s.brush = static_cast<BrushObj*>(StockObject(WHITE_BRUSH));
  s.font = static_cast<FontObj*>(StockObject(SYSTEM_FONT));
  return s;
}

QRect ToQRect(const RECT& r) {
  return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

QPen GdiPen(const PenObj* pen) {
  if (!pen || pen->style == PS_NULL) return Qt::NoPen;
  QPen p(FromColorRef(pen->color), std::max(pen->width, 1));
  p.setCapStyle(Qt::FlatCap);
  switch (pen->style) {
    case PS_DASH:
      p.setStyle(Qt::DashLine);
      break;
    case PS_DOT:
      p.setStyle(Qt::DotLine);
      break;
    case PS_DASHDOT:
      p.setStyle(Qt::DashDotLine);
      break;
    case PS_DASHDOTDOT:
      p.setStyle(Qt::DashDotDotLine);
      break;
    default:
      break;
  }
  return p;
}

QBrush GdiBrush(const BrushObj* brush) {
  if (!brush || brush->hollow) return Qt::NoBrush;
  return QBrush(FromColorRef(brush->color));
}

// Shapes in GDI cover right-1/bottom-1; QPainter's filled path with a pen adds a pixel.
QRectF ShapeRect(int l, int t, int r, int b, const QPen& pen) {
  const qreal inset = pen.style() == Qt::NoPen ? 0.0 : 0.5;
  return QRectF(l + inset, t + inset, r - l - 2 * inset, b - t - 2 * inset);
}

}  // namespace

QString ToQString(LPCWSTR text, int count) {
  if (!text) return QString();
  if (count < 0) count = static_cast<int>(std::wcslen(text));
  return QString::fromWCharArray(text, count);
}

QColor FromColorRef(COLORREF c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QString NormaliseBreaks(QString s) {
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1String("\n\r"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QString MapFace(const QString& face) {
  static const QString cjk = [] {
    for (const char* f : {"Noto Sans CJK SC", "WenQuanYi Micro Hei", "Noto Sans SC"})
      if (QFontDatabase::hasFamily(QString::fromLatin1(f))) return QString::fromLatin1(f);
    return QStringLiteral("Sans Serif");
  }();
  const QString f = face.trimmed().toLower();
  if (f.isEmpty() || f == "microsoft yahei" || f == "microsoft yahei ui" ||
      f == QString::fromUtf8("微软雅黑") || f == "microsoft sans serif" || f == "simsun" ||
      f == QString::fromUtf8("宋体") || f == "simhei" || f == QString::fromUtf8("黑体") ||
      f == "ms shell dlg" || f == "ms shell dlg 2")
    return cjk;
  if (f == "arial" || f == "tahoma" || f == "segoe ui" || f == "verdana" || f == "calibri")
    return QStringLiteral("Liberation Sans");
  if (f == "times new roman") return QStringLiteral("Liberation Serif");
  if (f == "courier new" || f == "consolas") return QStringLiteral("Liberation Mono");
  return face;
}

QFont FontFromLogFont(const LOGFONTW& lf) {
  QFont font(
      MapFace(QString::fromWCharArray(lf.lfFaceName, static_cast<int>(wcsnlen(lf.lfFaceName, LF_FACESIZE)))));
  int px = 12;
  if (lf.lfHeight < 0) {
    px = -lf.lfHeight;
  } else if (lf.lfHeight > 0) {
    // A positive height is the cell height (ascent + descent).
    QFont probe = font;
    probe.setPixelSize(100);
    const qreal cell = QFontMetricsF(probe).height();
    px = std::max(1, qRound(lf.lfHeight * 100.0 / (cell > 0 ? cell : 100.0)));
  }
  font.setPixelSize(px);
  if (lf.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight, 100, 900)));
  font.setItalic(lf.lfItalic);
  font.setUnderline(lf.lfUnderline);
  font.setStrikeOut(lf.lfStrikeOut);
  if (lf.lfQuality == NONANTIALIASED_QUALITY) font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

GdiObject* LookupObject(HGDIOBJ h) {
  auto* o = reinterpret_cast<GdiObject*>(h);
  std::lock_guard lock(g_objMutex);
  return o && g_objects.count(o) ? o : nullptr;
}

HGDIOBJ Register(GdiObject* obj) {
  std::lock_guard lock(g_objMutex);
  g_objects.insert(obj);
  return reinterpret_cast<HGDIOBJ>(obj);
}

BitmapObj* NewBitmap(int width, int height, QImage::Format format, bool dib, bool bottomUp) {
  auto* bm = new BitmapObj;
  width = std::max(width, 1);
  height = std::max(height, 1);
  const int bpp = format == QImage::Format_BGR888 ? 3 : 4;
  const qsizetype stride = ((static_cast<qsizetype>(width) * bpp + 3) / 4) * 4;
  bm->memory.reset(new uchar[stride * height]());
  bm->image = QImage(bm->memory.get(), width, height, stride, format);
  bm->dib = dib;
  bm->bottomUp = bottomUp;
  return bm;
}

DCObj* LookupDC(HDC hdc) {
  auto* dc = reinterpret_cast<DCObj*>(hdc);
  std::lock_guard lock(g_objMutex);
  return dc && g_dcs.count(dc) ? dc : nullptr;
}

HDC NewDC(DCObj* dc) {
  dc->state = DefaultState();
  if (dc->kind == DCObj::Kind::Memory) dc->bitmap = DefaultBitmap();
  std::lock_guard lock(g_objMutex);
  g_dcs.insert(dc);
  return reinterpret_cast<HDC>(dc);
}

QImage* TargetImage(DCObj* dc) {
  switch (dc->kind) {
    case DCObj::Kind::Window: {
      auto w = FindWindowObj(dc->hwnd);
      if (!w) return nullptr;
      EnsureBacking(*w);
      return &w->backing;
    }
    case DCObj::Kind::Memory:
      return dc->bitmap ? &dc->bitmap->image : nullptr;
    case DCObj::Kind::Screen:
      return &DefaultBitmap()->image;
    default:
      return nullptr;
  }
}

DCPainter::DCPainter(DCObj* dc) {
  if (!dc) return;
  QPainter* shared = dc->shared ? &**dc->shared : nullptr;
  if (shared || dc->kind == DCObj::Kind::Printer) {
    p_ = shared ? shared : dc->printerPainter.get();
    if (!p_ || !p_->isActive()) {
      p_ = nullptr;
      return;
    }
    p_->save();
  } else {
    QImage* img = TargetImage(dc);
    if (!img || img->isNull()) return;
    own_.emplace(img);
    p_ = &*own_;
  }
  if (dc->kind == DCObj::Kind::Memory && dc->bitmap && dc->bitmap->bottomUp) {
    base_.translate(0, dc->bitmap->image.height());
    base_.scale(1, -1);
  }
  // As in GDI, a printer DC's device coordinates start at the printable area's corner.
  if (dc->kind == DCObj::Kind::Printer && dc->printer) {
    const QRectF paper = Print()->paperRect(dc->printer.get());
    const QRectF page = Print()->pageRect(dc->printer.get());
    base_.translate(page.left() - paper.left(), page.top() - paper.top());
  }
  p_->setTransform(base_);
  if (dc->state.clip) p_->setClipRegion(*dc->state.clip, shared ? Qt::IntersectClip : Qt::ReplaceClip);
  base_.translate(dc->state.origin.x(), dc->state.origin.y());
  p_->setTransform(base_);
}

DCPainter::~DCPainter() {
  if (p_ && !own_) p_->restore();
}

void ApplyCursor(QWidget* widget, HCURSOR cursor) {
  if (!cursor)
    widget->setCursor(Qt::BlankCursor);
  else
    widget->setCursor(reinterpret_cast<CursorObj*>(cursor)->cursor);
}

namespace {

GdiObject* StockObject(int index) {
  static GdiObject* stock[DEFAULT_GUI_FONT + 1] = {};
  static std::once_flag once;
  std::call_once(once, [] {
    auto brush = [](COLORREF c, bool hollow) {
      auto* b = new BrushObj;
      b->color = c;
      b->hollow = hollow;
      return b;
    };
    auto pen = [](COLORREF c, int style) {
      auto* p = new PenObj;
      p->color = c;
      p->style = style;
      return p;
    };
    stock[WHITE_BRUSH] = brush(RGB(255, 255, 255), false);
    stock[LTGRAY_BRUSH] = brush(RGB(192, 192, 192), false);
    stock[GRAY_BRUSH] = brush(RGB(128, 128, 128), false);
    stock[DKGRAY_BRUSH] = brush(RGB(64, 64, 64), false);
    stock[BLACK_BRUSH] = brush(RGB(0, 0, 0), false);
    stock[NULL_BRUSH] = brush(0, true);
    stock[WHITE_PEN] = pen(RGB(255, 255, 255), PS_SOLID);
    stock[BLACK_PEN] = pen(0, PS_SOLID);
    stock[NULL_PEN] = pen(0, PS_NULL);
    for (int i : {SYSTEM_FONT, DEFAULT_GUI_FONT}) {
      auto* f = new FontObj;
      f->lf.lfHeight = -12;
      std::wcscpy(f->lf.lfFaceName, L"Microsoft YaHei");
      f->font = FontFromLogFont(f->lf);
      stock[i] = f;
    }
    for (GdiObject* o : stock)
      if (o) {
        o->stock = true;
        Register(o);
      }
  });
  return index >= 0 && index <= DEFAULT_GUI_FONT ? stock[index] : nullptr;
}

// Text layout shared by DrawTextW and its DT_CALCRECT form.
struct TextJob {
  QString text;
  int flags = 0;
  bool singleLine = false;
  bool ellipsis = false;
};

TextJob MakeTextJob(LPCWSTR text, int count, UINT format) {
  TextJob job;
  job.text = NormaliseBreaks(ToQString(text, count));
  job.singleLine = format & DT_SINGLELINE;
  if (job.singleLine) job.text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  job.flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
  if (job.singleLine && (format & DT_VCENTER))
    job.flags |= Qt::AlignVCenter;
  else if (job.singleLine && (format & DT_BOTTOM))
    job.flags |= Qt::AlignBottom;
  else
    job.flags |= Qt::AlignTop;
  if ((format & DT_WORDBREAK) && !job.singleLine) job.flags |= Qt::TextWordWrap;
  if (!(format & DT_NOPREFIX)) job.flags |= Qt::TextShowMnemonic;
  if (format & DT_EXPANDTABS) job.flags |= Qt::TextExpandTabs;
  job.ellipsis = format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS);
  return job;
}

}  // namespace
}  // namespace sowin

using namespace sowin;

// ---- Device contexts ----------------------------------------------------------------------

HDC GetDC(HWND hwnd) {
  auto* dc = new DCObj;
  if (hwnd) {
    if (!IsWindow(hwnd)) {
      delete dc;
      return nullptr;
    }
    dc->kind = DCObj::Kind::Window;
    dc->hwnd = hwnd;
  } else {
    dc->kind = DCObj::Kind::Screen;
  }
  return NewDC(dc);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return 0;
  // Drawing outside WM_PAINT shows at the next paint.
  if (dc->kind == DCObj::Kind::Window)
    if (auto w = FindWindowObj(hwnd ? hwnd : dc->hwnd); w && w->widget && IsUiThread()) w->widget->update();
  return DeleteDC(hdc);
}

HDC CreateCompatibleDC(HDC) {
  auto* dc = new DCObj;
  dc->kind = DCObj::Kind::Memory;
  return NewDC(dc);
}

BOOL DeleteDC(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  {
    std::lock_guard lock(g_objMutex);
    g_dcs.erase(dc);
  }
  auto unselect = [](GdiObject* o) {
    if (o && o->selectedIn > 0) --o->selectedIn;
  };
  unselect(dc->state.pen);
  unselect(dc->state.brush);
  unselect(dc->state.font);
  if (dc->kind == DCObj::Kind::Memory) unselect(dc->bitmap);
  dc->shared.reset();
  if (dc->printerPainter && dc->printerPainter->isActive()) dc->printerPainter->end();
  delete dc;
  return TRUE;
}

int SaveDC(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || dc->saved.empty()) return FALSE;
  const int n = static_cast<int>(dc->saved.size());
  const int index = saved < 0 ? n + saved : saved - 1;
  if (index < 0 || index >= n) return FALSE;
  dc->state = dc->saved[index];
  dc->saved.resize(index);
  return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return 0;
  if (dc->kind == DCObj::Kind::Printer && dc->printer) {
    const QPrinter* pr = dc->printer.get();
    const QRect paper = Print()->paperRect(pr).toRect();
    const QRect page = Print()->pageRect(pr).toRect();
    const int resolution = Print()->resolution(pr);
    switch (index) {
      case LOGPIXELSX:
      case LOGPIXELSY:
        return resolution;
      case PHYSICALWIDTH:
        return paper.width();
      case PHYSICALHEIGHT:
        return paper.height();
      case PHYSICALOFFSETX:
        return page.left() - paper.left();
      case PHYSICALOFFSETY:
        return page.top() - paper.top();
      case HORZRES:
        return page.width();
      case VERTRES:
        return page.height();
      case HORZSIZE:
        return qRound(page.width() * 25.4 / resolution);
      case VERTSIZE:
        return qRound(page.height() * 25.4 / resolution);
      case BITSPIXEL:
        return 24;
      default:
        return 0;
    }
  }
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    case BITSPIXEL:
      return 32;
    case HORZRES:
      return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
      return GetSystemMetrics(SM_CYSCREEN);
    case HORZSIZE:
      return qRound(GetSystemMetrics(SM_CXSCREEN) * 25.4 / 96);
    case VERTSIZE:
      return qRound(GetSystemMetrics(SM_CYSCREEN) * 25.4 / 96);
    default:
      return 0;
  }
}

HWND WindowFromDC(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc && dc->kind == DCObj::Kind::Window ? dc->hwnd : nullptr;
}

// ---- Objects ------------------------------------------------------------------------------

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  DCObj* dc = LookupDC(hdc);
  GdiObject* o = LookupObject(obj);
  if (!dc || !o) return nullptr;
  GdiObject* old = nullptr;
  switch (o->kind) {
    case GdiObject::Kind::Pen:
      old = dc->state.pen;
      dc->state.pen = static_cast<PenObj*>(o);
      break;
    case GdiObject::Kind::Brush:
      old = dc->state.brush;
      dc->state.brush = static_cast<BrushObj*>(o);
      break;
    case GdiObject::Kind::Font:
      old = dc->state.font;
      dc->state.font = static_cast<FontObj*>(o);
      break;
    case GdiObject::Kind::Bitmap:
      if (dc->kind != DCObj::Kind::Memory) return nullptr;
      // A bitmap lives in one DC at a time.
      if (o->selectedIn > 0 && o != dc->bitmap && !o->stock) return nullptr;
      old = dc->bitmap;
      dc->bitmap = static_cast<BitmapObj*>(o);
      break;
    case GdiObject::Kind::Region:
      SelectClipRgn(hdc, obj);
      return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(SIMPLEREGION));
  }
  ++o->selectedIn;
  if (old && old->selectedIn > 0) --old->selectedIn;
  return reinterpret_cast<HGDIOBJ>(old);
}

BOOL DeleteObject(HGDIOBJ obj) {
  GdiObject* o = LookupObject(obj);
  if (!o || o->stock || o->selectedIn > 0) return FALSE;
  {
    std::lock_guard lock(g_objMutex);
    g_objects.erase(o);
  }
  delete o;
  return TRUE;
}

HGDIOBJ GetStockObject(int index) {
  return reinterpret_cast<HGDIOBJ>(StockObject(index));
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return reinterpret_cast<HGDIOBJ>(dc->state.pen);
    case OBJ_BRUSH:
      return reinterpret_cast<HGDIOBJ>(dc->state.brush);
    case OBJ_FONT:
      return reinterpret_cast<HGDIOBJ>(dc->state.font);
    case OBJ_BITMAP:
      return reinterpret_cast<HGDIOBJ>(dc->bitmap);
    default:
      return nullptr;
  }
}

int GetObjectW(HGDIOBJ obj, int size, LPVOID out) {
  GdiObject* o = LookupObject(obj);
  if (!o) return 0;
  if (auto* bm = dynamic_cast<BitmapObj*>(o)) {
    BITMAP b;
    b.bmWidth = bm->image.width();
    b.bmHeight = bm->image.height();
    b.bmWidthBytes = static_cast<LONG>(bm->image.bytesPerLine());
    b.bmBitsPixel = static_cast<WORD>(bm->image.depth());
    b.bmBits = bm->dib ? bm->memory.get() : nullptr;
    if (!out) return bm->dib ? sizeof(DIBSECTION) : sizeof(BITMAP);
    if (bm->dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
      auto* ds = static_cast<DIBSECTION*>(out);
      *ds = DIBSECTION{};
      ds->dsBm = b;
      ds->dsBmih.biWidth = b.bmWidth;
      ds->dsBmih.biHeight = bm->bottomUp ? b.bmHeight : -b.bmHeight;
      ds->dsBmih.biBitCount = b.bmBitsPixel;
      ds->dsBmih.biSizeImage = static_cast<DWORD>(b.bmWidthBytes * b.bmHeight);
      return sizeof(DIBSECTION);
    }
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    *static_cast<BITMAP*>(out) = b;
    return sizeof(BITMAP);
  }
  if (auto* f = dynamic_cast<FontObj*>(o)) {
    if (!out) return sizeof(LOGFONTW);
    if (size < static_cast<int>(sizeof(LOGFONTW))) return 0;
    *static_cast<LOGFONTW*>(out) = f->lf;
    return sizeof(LOGFONTW);
  }
  return 0;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  auto* p = new PenObj;
  p->style = style;
  p->width = width;
  p->color = color;
  return Register(p);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new BrushObj;
  b->color = color;
  return Register(b);
}

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
  if (!lf) return nullptr;
  auto* f = new FontObj;
  f->lf = *lf;
  f->font = FontFromLogFont(*lf);
  return Register(f);
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName) {
  LOGFONTW lf;
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName) wcsncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
  return CreateFontIndirectW(&lf);
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  return Register(NewBitmap(width, height, QImage::Format_RGB32, false, false));
}

HBITMAP CreateBitmap(int width, int height, UINT, UINT bitCount, const void* bits) {
  if (width <= 0 || height <= 0 || (bitCount != 32 && bitCount != 24)) return nullptr;
  BitmapObj* bm =
      NewBitmap(width, height, bitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32, false, false);
  if (bits) {
    // Device-dependent rows are word (2-byte) aligned.
    const int srcStride = ((width * static_cast<int>(bitCount) / 8) + 1) / 2 * 2;
    for (int y = 0; y < height; ++y)
      std::memcpy(bm->image.scanLine(y), static_cast<const uchar*>(bits) + y * srcStride,
                  width * bitCount / 8);
  }
  return Register(bm);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || (h.biBitCount != 32 && h.biBitCount != 24)) return nullptr;
  if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return nullptr;
  BitmapObj* bm =
      NewBitmap(h.biWidth, std::abs(h.biHeight),
                h.biBitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32, true, h.biHeight > 0);
  if (bits) *bits = bm->memory.get();
  return Register(bm);
}

HANDLE CopyImage(HANDLE image, UINT type, int cx, int cy, UINT flags) {
  auto* src = Lookup<BitmapObj>(reinterpret_cast<HGDIOBJ>(image), GdiObject::Kind::Bitmap);
  if (!src || type != IMAGE_BITMAP) return nullptr;
  const int w = cx > 0 ? cx : src->image.width();
  const int h = cy > 0 ? cy : src->image.height();
  BitmapObj* bm =
      NewBitmap(w, h, src->image.format(), (flags & LR_CREATEDIBSECTION) || src->dib, src->bottomUp);
  {
    QPainter p(&bm->image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, w, h), src->image);
  }
  return Register(bm);
}

namespace {
// Copies rows between a bitmap and caller memory in DIB layout (32 or 24 bits).
int TransferDIB(BitmapObj* bm, UINT start, UINT lines, void* bits, const BITMAPINFOHEADER& h, bool toCaller) {
  if (h.biBitCount != 32 && h.biBitCount != 24) return 0;
  const QImage picture = bm->Picture();
  const int width = std::min<int>(h.biWidth, picture.width());
  const int height = picture.height();
  const int bpp = h.biBitCount / 8;
  const int stride = ((h.biWidth * bpp) + 3) / 4 * 4;
  const bool bottomUp = h.biHeight > 0;
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  QImage edited = toCaller ? QImage() : rgb.copy();
  int done = 0;
  for (UINT i = 0; i < lines; ++i) {
    const int row = static_cast<int>(start + i);  // DIB scan line index
    if (row >= height) break;
    const int y = bottomUp ? height - 1 - row : row;
    auto* mem = static_cast<uchar*>(bits) + static_cast<size_t>(i) * stride;
    if (toCaller) {
      const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
      for (int x = 0; x < width; ++x) {
        mem[x * bpp] = static_cast<uchar>(qBlue(line[x]));
        mem[x * bpp + 1] = static_cast<uchar>(qGreen(line[x]));
        mem[x * bpp + 2] = static_cast<uchar>(qRed(line[x]));
        if (bpp == 4) mem[x * bpp + 3] = 0;
      }
    } else {
      auto* line = reinterpret_cast<QRgb*>(edited.scanLine(y));
      for (int x = 0; x < width; ++x) line[x] = qRgb(mem[x * bpp + 2], mem[x * bpp + 1], mem[x * bpp]);
    }
    ++done;
  }
  if (!toCaller) {
    const QImage back = bm->bottomUp ? edited.mirrored() : edited;
    QPainter p(&bm->image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, back);
  }
  return done;
}
}  // namespace

int GetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT) {
  auto* bm = Lookup<BitmapObj>(bitmap, GdiObject::Kind::Bitmap);
  if (!bm || !info) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!bits) {
    h.biWidth = bm->image.width();
    h.biHeight = bm->image.height();
    h.biPlanes = 1;
    if (h.biBitCount == 0) h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(((h.biWidth * h.biBitCount / 8 + 3) / 4 * 4) * h.biHeight);
    return 1;
  }
  return TransferDIB(bm, start, lines, bits, h, true);
}

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT) {
  auto* bm = Lookup<BitmapObj>(bitmap, GdiObject::Kind::Bitmap);
  if (!bm || !info || !bits) return 0;
  return TransferDIB(bm, start, lines, const_cast<void*>(bits), info->bmiHeader, false);
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT, DWORD) {
  if (!info || !bits) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || (h.biBitCount != 32 && h.biBitCount != 24)) return 0;
  const int height = std::abs(h.biHeight);
  const int stride = ((h.biWidth * h.biBitCount / 8) + 3) / 4 * 4;
  QImage img(static_cast<const uchar*>(bits), h.biWidth, height, stride,
             h.biBitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
  if (h.biHeight > 0) img = img.mirrored();
  DCPainter p(LookupDC(hdc));
  if (!p.Active()) return 0;
  p->setRenderHint(QPainter::SmoothPixmapTransform, LookupDC(hdc)->state.stretchMode == STRETCH_HALFTONE);
  p->drawImage(QRectF(xDest, yDest, destWidth, destHeight), img, QRectF(xSrc, ySrc, srcWidth, srcHeight));
  return srcHeight;
}

// ---- Blits --------------------------------------------------------------------------------

BOOL StretchBlt(HDC dest, int xDest, int yDest, int wDest, int hDest, HDC src, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop) {
  DCObj* d = LookupDC(dest);
  if (!d) return FALSE;
  rop &= ~CAPTUREBLT;
  if (rop == BLACKNESS || rop == WHITENESS || rop == PATCOPY) {
    DCPainter p(d);
    if (!p.Active()) return FALSE;
    p->setCompositionMode(QPainter::CompositionMode_Source);
    const QColor c = rop == BLACKNESS   ? QColor(Qt::black)
                     : rop == WHITENESS ? QColor(Qt::white)
                                        : FromColorRef(d->state.brush->color);
    p->fillRect(QRect(xDest, yDest, wDest, hDest), c);
    return TRUE;
  }
  DCObj* s = LookupDC(src);
  // A window's DC reads what the window shows, children included, as the screen would
  // (but also when the window is hidden or covered).
  QImage tree;
  if (s && s->kind == DCObj::Kind::Window) tree = RenderTree(s->hwnd);
  QImage* srcImage = !tree.isNull() ? &tree : s ? TargetImage(s) : nullptr;
  if (!srcImage) return FALSE;
  QRect srcRect(xSrc + s->state.origin.x(), ySrc + s->state.origin.y(), wSrc, hSrc);
  const bool bottomUp = s->kind == DCObj::Kind::Memory && s->bitmap && s->bitmap->bottomUp;
  // A plain blit from another image, inside its bounds, draws straight from it: a double-buffered
  // paint does this every frame, and copying the buffer out first costs as much again.
  const QImage* destImage = d->kind == DCObj::Kind::Printer ? nullptr : TargetImage(d);
  const bool direct = !bottomUp && wSrc > 0 && hSrc > 0 && wDest > 0 && hDest > 0 &&
                      srcImage->rect().contains(srcRect) &&
                      (!destImage || destImage->constBits() != srcImage->constBits());
  QImage part;
  if (!direct) {
    // Take the source rectangle out first: source and destination may be the same image.
    part = srcImage->copy(srcRect.normalized());
    if (bottomUp) {
      const int h = srcImage->height();
      part = srcImage
                 ->copy(QRect(srcRect.x(), h - srcRect.y() - srcRect.height(), srcRect.width(),
                              srcRect.height()))
                 .mirrored();
    }
    part = part.mirrored((wSrc < 0) != (wDest < 0), (hSrc < 0) != (hDest < 0));
    srcRect = part.rect();
  }
  DCPainter p(d);
  if (!p.Active()) return FALSE;
  switch (rop) {
    case SRCCOPY:
      p->setCompositionMode(QPainter::CompositionMode_Source);
      break;
    case SRCAND:
      p->setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      break;
    case SRCPAINT:
      p->setCompositionMode(QPainter::RasterOp_SourceOrDestination);
      break;
    case SRCINVERT:
      p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      break;
    case NOTSRCCOPY:
      p->setCompositionMode(QPainter::RasterOp_NotSource);
      break;
    default:
      return FALSE;
  }
  p->setRenderHint(QPainter::SmoothPixmapTransform, d->state.stretchMode == STRETCH_HALFTONE);
  p->drawImage(QRect(QPoint(xDest, yDest), QSize(std::abs(wDest), std::abs(hDest)))
                   .translated(wDest < 0 ? wDest : 0, hDest < 0 ? hDest : 0),
               direct ? *srcImage : part, srcRect);
  return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
  return StretchBlt(dest, x, y, cx, cy, src, x1, y1, cx, cy, rop);
}

int SetStretchBltMode(HDC hdc, int mode) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return 0;
  const int old = dc->state.stretchMode;
  dc->state.stretchMode = mode;
  return old;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  return StretchBlt(hdc, x, y, w, h, nullptr, 0, 0, w, h, rop);
}

// ---- Colours and modes --------------------------------------------------------------------

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.textColor, color);
}
COLORREF GetTextColor(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc ? dc->state.textColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.bkColor, color);
}
COLORREF GetBkColor(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc ? dc->state.bkColor : CLR_INVALID;
}
int SetBkMode(HDC hdc, int mode) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->state.bkMode, mode);
}
int GetBkMode(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc ? dc->state.bkMode : 0;
}

// ---- Shapes -------------------------------------------------------------------------------

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  DCObj* dc = LookupDC(hdc);
  auto* b = Lookup<BrushObj>(brush, GdiObject::Kind::Brush);
  if (!dc || !rect || !b) return 0;
  DCPainter p(dc);
  if (!p.Active()) return 0;
  if (!b->hollow) p->fillRect(ToQRect(*rect), FromColorRef(b->color));
  return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  DCObj* dc = LookupDC(hdc);
  auto* b = Lookup<BrushObj>(brush, GdiObject::Kind::Brush);
  if (!dc || !rect || !b) return 0;
  DCPainter p(dc);
  if (!p.Active()) return 0;
  const QRect r = ToQRect(*rect);
  if (b->hollow || r.isEmpty()) return 1;
  const QColor c = FromColorRef(b->color);
  p->fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
  p->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
  p->fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
  p->fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
  return 1;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = POINT{dc->state.pos.x(), dc->state.pos.y()};
  dc->state.pos = QPoint(x, y);
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  {
    DCPainter p(dc);
    if (!p.Active()) return FALSE;
    p->setPen(GdiPen(dc->state.pen));
    // GDI leaves out the end point.
    const QPointF a = dc->state.pos, b(x, y);
    const QPointF d = b - a;
    const qreal len = std::hypot(d.x(), d.y());
    if (len > 0) p->drawLine(a, p->pen().widthF() <= 1.0 ? b - d / len : b);
  }
  dc->state.pos = QPoint(x, y);
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
  if (!points || count < 2) return FALSE;
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  const QPoint saved = dc->state.pos;
  dc->state.pos = QPoint(points[0].x, points[0].y);
  for (int i = 1; i < count; ++i) LineTo(hdc, points[i].x, points[i].y);
  dc->state.pos = saved;
  return TRUE;
}

// Outlines with the DC's pen and fills with its brush, as the GDI shape calls do.
template <class Draw>
BOOL DrawShape(HDC hdc, Draw draw) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  DCPainter p(dc);
  if (!p.Active()) return FALSE;
  const QPen pen = GdiPen(dc->state.pen);
  p->setPen(pen);
  p->setBrush(GdiBrush(dc->state.brush));
  draw(*p, pen);
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
  if (!points || count < 2) return FALSE;
  return DrawShape(hdc, [&](QPainter& p, const QPen&) {
    QPolygonF poly;
    for (int i = 0; i < count; ++i) poly << QPointF(points[i].x + 0.5, points[i].y + 0.5);
    p.drawPolygon(poly);
  });
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return DrawShape(hdc, [&](QPainter& p, const QPen& pen) { p.drawRect(ShapeRect(left, top, right, bottom, pen)); });
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return DrawShape(hdc,
                   [&](QPainter& p, const QPen& pen) { p.drawEllipse(ShapeRect(left, top, right, bottom, pen)); });
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  return DrawShape(hdc, [&](QPainter& p, const QPen& pen) {
    p.drawRoundedRect(ShapeRect(left, top, right, bottom, pen), width / 2.0, height / 2.0);
  });
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return CLR_INVALID;
  DCPainter p(dc);
  if (!p.Active()) return CLR_INVALID;
  p->setCompositionMode(QPainter::CompositionMode_Source);
  p->fillRect(QRect(x, y, 1, 1), FromColorRef(color));
  return color;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  DCObj* dc = LookupDC(hdc);
  QImage* img = dc ? TargetImage(dc) : nullptr;
  if (!img) return CLR_INVALID;
  x += dc->state.origin.x();
  y += dc->state.origin.y();
  if (dc->kind == DCObj::Kind::Memory && dc->bitmap && dc->bitmap->bottomUp) y = img->height() - 1 - y;
  if (!img->valid(x, y)) return CLR_INVALID;
  const QRgb c = img->pixel(x, y);
  return RGB(qRed(c), qGreen(c), qBlue(c));
}

// ---- Text ---------------------------------------------------------------------------------

int DrawTextW(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !text || !rect) return 0;
  const TextJob job = MakeTextJob(text, count, format);
  const QFont font = dc->state.font ? dc->state.font->font : QFont();
  const QFontMetricsF fm(font);
  const QRectF box(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  QString shown = job.text;
  if (job.ellipsis) {
    QStringList lines = shown.split(QLatin1Char('\n'));
    for (QString& line : lines)
      line = fm.elidedText(line, Qt::ElideRight, box.width(), job.flags & Qt::TextShowMnemonic);
    shown = lines.join(QLatin1Char('\n'));
  }
  const QRectF layout =
      (format & DT_CALCRECT)
          ? QRectF(box.left(), box.top(), (job.flags & Qt::TextWordWrap) ? box.width() : 1e6, 1e6)
          : box;
  const QRectF bounds = fm.boundingRect(layout, job.flags, shown);
  if (format & DT_CALCRECT) {
    rect->right = rect->left + static_cast<LONG>(std::ceil(bounds.width()));
    rect->bottom = rect->top + static_cast<LONG>(std::ceil(bounds.height()));
    return static_cast<int>(std::ceil(bounds.height()));
  }
  DCPainter p(dc);
  if (!p.Active()) return 0;
  if (!(format & DT_NOCLIP)) p->setClipRect(box, Qt::IntersectClip);
  if (dc->state.bkMode == OPAQUE) p->fillRect(bounds, FromColorRef(dc->state.bkColor));
  p->setFont(font);
  p->setPen(FromColorRef(dc->state.textColor));
  p->drawText(box, job.flags, shown);
  return static_cast<int>(std::ceil(bounds.height()));
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !text) return FALSE;
  const QString s = ToQString(text, count);
  const QFont font = dc->state.font ? dc->state.font->font : QFont();
  const QFontMetricsF fm(font);
  DCPainter p(dc);
  if (!p.Active()) return FALSE;
  if (dc->state.bkMode == OPAQUE)
    p->fillRect(QRectF(x, y, fm.horizontalAdvance(s), fm.height()), FromColorRef(dc->state.bkColor));
  p->setFont(font);
  p->setPen(FromColorRef(dc->state.textColor));
  p->drawText(QPointF(x, y + fm.ascent()), s);
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !text || !size) return FALSE;
  const QFontMetricsF fm(dc->state.font ? dc->state.font->font : QFont());
  size->cx = static_cast<LONG>(std::ceil(fm.horizontalAdvance(ToQString(text, count))));
  size->cy = static_cast<LONG>(std::ceil(fm.height()));
  return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* tm) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !tm) return FALSE;
  const QFont font = dc->state.font ? dc->state.font->font : QFont();
  const QFontMetrics fm(font);
  tm->tmAscent = fm.ascent();
  tm->tmDescent = fm.descent();
  tm->tmHeight = fm.height();
  tm->tmInternalLeading = fm.height() - font.pixelSize();
  tm->tmExternalLeading = fm.leading();
  tm->tmAveCharWidth = fm.averageCharWidth();
  tm->tmMaxCharWidth = fm.maxWidth();
  tm->tmWeight = font.weight();
  return TRUE;
}

// ---- Regions ------------------------------------------------------------------------------

namespace {
HRGN NewRegion(const QRegion& r) {
  auto* obj = new RegionObj;
  obj->region = r;
  return Register(obj);
}
int RegionKind(const QRegion& r) {
  return r.isEmpty() ? NULLREGION : r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return NewRegion(QRegion(QRect(left, top, right - left, bottom - top).normalized()));
}
HRGN CreateRectRgnIndirect(const RECT* rect) {
  return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : nullptr;
}
HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
  return NewRegion(QRegion(QRect(left, top, right - left, bottom - top).normalized(), QRegion::Ellipse));
}
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int w, int h) {
  QPainterPath path;
  path.addRoundedRect(QRectF(left, top, right - left, bottom - top), w / 2.0, h / 2.0);
  return NewRegion(QRegion(path.toFillPolygon().toPolygon()));
}
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
  if (!points || count < 3) return nullptr;
  QPolygon poly;
  for (int i = 0; i < count; ++i) poly << QPoint(points[i].x, points[i].y);
  return NewRegion(QRegion(poly, fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  auto* d = Lookup<RegionObj>(dest, GdiObject::Kind::Region);
  auto* a = Lookup<RegionObj>(src1, GdiObject::Kind::Region);
  auto* b = Lookup<RegionObj>(src2, GdiObject::Kind::Region);
  if (!d || !a || (mode != RGN_COPY && !b)) return RGN_ERROR;
  switch (mode) {
    case RGN_AND:
      d->region = a->region & b->region;
      break;
    case RGN_OR:
      d->region = a->region | b->region;
      break;
    case RGN_XOR:
      d->region = a->region ^ b->region;
      break;
    case RGN_DIFF:
      d->region = a->region - b->region;
      break;
    case RGN_COPY:
      d->region = a->region;
      break;
    default:
      return RGN_ERROR;
  }
  return RegionKind(d->region);
}

BOOL PtInRegion(HRGN region, int x, int y) {
  auto* r = Lookup<RegionObj>(region, GdiObject::Kind::Region);
  return r && r->region.contains(QPoint(x, y)) ? TRUE : FALSE;
}

int GetRgnBox(HRGN region, RECT* rect) {
  auto* r = Lookup<RegionObj>(region, GdiObject::Kind::Region);
  if (!r || !rect) return RGN_ERROR;
  const QRect b = r->region.boundingRect();
  *rect = RECT{b.left(), b.top(), b.left() + b.width(), b.top() + b.height()};
  return RegionKind(r->region);
}

BOOL OffsetRgn(HRGN region, int x, int y) {
  auto* r = Lookup<RegionObj>(region, GdiObject::Kind::Region);
  if (!r) return FALSE;
  r->region.translate(x, y);
  return TRUE;
}

int SelectClipRgn(HDC hdc, HRGN region) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return RGN_ERROR;
  auto* r = Lookup<RegionObj>(region, GdiObject::Kind::Region);
  if (!r) {
    dc->state.clip.reset();
    return SIMPLEREGION;
  }
  dc->state.clip = r->region;
  return RegionKind(r->region);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return RGN_ERROR;
  QRegion r(QRect(left, top, right - left, bottom - top).translated(dc->state.origin));
  dc->state.clip = dc->state.clip ? (*dc->state.clip & r) : r;
  return RegionKind(*dc->state.clip);
}

int GetClipBox(HDC hdc, RECT* rect) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !rect) return RGN_ERROR;
  QImage* img = TargetImage(dc);
  QRect box = img ? img->rect() : QRect();
  if (dc->state.clip) box &= dc->state.clip->boundingRect();
  box.translate(-dc->state.origin);
  *rect = RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
  return box.isEmpty() ? NULLREGION : SIMPLEREGION;
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* previous) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = POINT{dc->state.origin.x(), dc->state.origin.y()};
  dc->state.origin = QPoint(x, y);
  return TRUE;
}

BOOL GetViewportOrgEx(HDC hdc, POINT* origin) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !origin) return FALSE;
  *origin = POINT{dc->state.origin.x(), dc->state.origin.y()};
  return TRUE;
}

// ---- Rectangles ---------------------------------------------------------------------------

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* rect) {
  return SetRect(rect, 0, 0, 0, 0);
}
BOOL IsRectEmpty(const RECT* rect) {
  return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}
BOOL PtInRect(const RECT* rect, POINT pt) {
  return rect && pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top && pt.y < rect->bottom;
}
BOOL InflateRect(RECT* rect, int dx, int dy) {
  if (!rect) return FALSE;
  *rect = RECT{rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
  return TRUE;
}
BOOL OffsetRect(RECT* rect, int dx, int dy) {
  if (!rect) return FALSE;
  *rect = RECT{rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
  return TRUE;
}
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b) {
  if (!dest || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *dest = RECT{};
    return FALSE;
  }
  *dest = r;
  return TRUE;
}
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b) {
  if (!dest || !a || !b) return FALSE;
  if (IsRectEmpty(a))
    *dest = *b;
  else if (IsRectEmpty(b))
    *dest = *a;
  else
    *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                 std::max(a->bottom, b->bottom)};
  return !IsRectEmpty(dest);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL CopyRect(RECT* dest, const RECT* src) {
  if (!dest || !src) return FALSE;
  *dest = *src;
  return TRUE;
}

// ---- Qt bridges ---------------------------------------------------------------------------

namespace SOWin {

QPaintDevice* PaintDeviceOf(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return nullptr;
  if (dc->kind == DCObj::Kind::Printer) return dc->printer.get();
  return TargetImage(dc);
}

QPoint ViewportOrigin(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc ? dc->state.origin : QPoint();
}

DCPaintScope::DCPaintScope(HDC hdc) : hdc_(hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc) return;
  if (dc->shared) {
    painter_ = &**dc->shared;
    painter_->save();
    return;
  }
  auto painter = std::make_unique<DCPainter>(dc);
  if (!painter->Active()) return;
  painter_ = &**painter;
  dc->shared = std::move(painter);
  outermost_ = true;
}

DCPaintScope::~DCPaintScope() {
  if (!painter_) return;
  DCObj* dc = LookupDC(hdc_);
  // A DC deleted meanwhile took its painter with it.
  if (!dc || !dc->shared) return;
  if (outermost_)
    dc->shared.reset();
  else
    painter_->restore();
}

QImage* ImageOf(HBITMAP bitmap) {
  auto* bm = Lookup<BitmapObj>(bitmap, GdiObject::Kind::Bitmap);
  return bm ? &bm->image : nullptr;
}

HBITMAP BitmapFromImage(const QImage& image) {
  if (image.isNull()) return nullptr;
  BitmapObj* bm = NewBitmap(image.width(), image.height(), QImage::Format_RGB32, true, false);
  QPainter p(&bm->image);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, image.convertToFormat(QImage::Format_RGB32));
  p.end();
  return Register(bm);
}

}  // namespace SOWin
