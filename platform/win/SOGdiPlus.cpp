// The GDI+ subset on QPainter. Coordinates follow GDI+: with the default pixel offset mode a
// pixel's centre sits on the integer coordinate, so shapes are drawn half a pixel further on
// than Qt would; PixelOffsetModeHalf is Qt's own model.

#include "SOGdiPlus.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>

#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, 8) == 0;
}

namespace Gdiplus {
namespace {

QTransform ToQ(const REAL* m) {
  return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}
void FromQ(const QTransform& t, REAL* m) {
  m[0] = static_cast<REAL>(t.m11());
  m[1] = static_cast<REAL>(t.m12());
  m[2] = static_cast<REAL>(t.m21());
  m[3] = static_cast<REAL>(t.m22());
  m[4] = static_cast<REAL>(t.dx());
  m[5] = static_cast<REAL>(t.dy());
}
// Prepend: the new operation acts first (p * op * M); append: last.
QTransform Combine(const QTransform& current, const QTransform& op, MatrixOrder order) {
  return order == MatrixOrderPrepend ? op * current : current * op;
}
QColor ToQColor(ARGB c) {
  return QColor::fromRgba(c);
}
QRectF ToQ(const RectF& r) {
  return QRectF(r.X, r.Y, r.Width, r.Height);
}

QImage::Format QtFormat(PixelFormat f) {
  switch (f) {
    case PixelFormat8bppIndexed:
      return QImage::Format_Indexed8;
    case PixelFormat24bppRGB:
      return QImage::Format_BGR888;
    case PixelFormat32bppRGB:
      return QImage::Format_RGB32;
    case PixelFormat32bppARGB:
      return QImage::Format_ARGB32;
    case PixelFormat32bppPARGB:
      return QImage::Format_ARGB32_Premultiplied;
    default:
      return QImage::Format_Invalid;
  }
}
PixelFormat FromQtFormat(QImage::Format f) {
  switch (f) {
    case QImage::Format_Indexed8:
      return PixelFormat8bppIndexed;
    case QImage::Format_BGR888:
      return PixelFormat24bppRGB;
    case QImage::Format_RGB32:
      return PixelFormat32bppRGB;
    case QImage::Format_ARGB32_Premultiplied:
      return PixelFormat32bppPARGB;
    default:
      return PixelFormat32bppARGB;
  }
}
// Decoded files keep 8-bit palettes and 24-bit pixels; everything else becomes 32bpp ARGB.
QImage Normalise(const QImage& img) {
  switch (img.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_BGR888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      return img;
    case QImage::Format_RGB888:
      return img.convertToFormat(QImage::Format_BGR888);
    default:
      return img.convertToFormat(QImage::Format_ARGB32);
  }
}

QVector<QRgb> GreyRamp() {
  QVector<QRgb> t(256);
  for (int i = 0; i < 256; ++i) t[i] = qRgb(i, i, i);
  return t;
}

QString Text(const WCHAR* text, INT length) {
  return NormaliseBreaks(ToQString(text, length < 0 ? -1 : length));
}

int AlignFlags(const StringFormat* f) {
  int flags = 0;
  const StringAlignment h = f ? f->GetAlignment() : StringAlignmentNear;
  const StringAlignment v = f ? f->GetLineAlignment() : StringAlignmentNear;
  flags |= h == StringAlignmentCenter ? Qt::AlignHCenter
           : h == StringAlignmentFar  ? Qt::AlignRight
                                      : Qt::AlignLeft;
  flags |= v == StringAlignmentCenter ? Qt::AlignVCenter
           : v == StringAlignmentFar  ? Qt::AlignBottom
                                      : Qt::AlignTop;
  if (!f || !(f->GetFormatFlags() & StringFormatFlagsNoWrap)) flags |= Qt::TextWordWrap;
  return flags;
}

const GUID kBmpClsid{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const GUID kJpegClsid{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const GUID kPngClsid{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

const char* EncoderFormat(const CLSID* clsid) {
  if (!clsid) return nullptr;
  if (*clsid == kBmpClsid) return "BMP";
  if (*clsid == kJpegClsid) return "JPG";
  if (*clsid == kPngClsid) return "PNG";
  return nullptr;
}

int Quality(const EncoderParameters* params) {
  if (!params) return 75;
  for (UINT i = 0; i < params->Count; ++i) {
    const EncoderParameter& p = params->Parameter[i];
    if (p.Guid == EncoderQuality && p.Type == EncoderParameterValueTypeLong && p.NumberOfValues >= 1 &&
        p.Value)
      return static_cast<int>(std::min<ULONG>(*static_cast<const ULONG*>(p.Value), 100));
  }
  return 75;
}

// Colour key first (keyed pixels become transparent), then the colour matrix.
QImage ApplyAttributes(const QImage& src, bool hasKey, ARGB low, ARGB high, bool hasMatrix,
                       const ColorMatrix& m) {
  QImage img = src.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      QRgb c = line[x];
      if (hasKey) {
        const auto in = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
        if (in(qRed(c), (low >> 16) & 0xFF, (high >> 16) & 0xFF) &&
            in(qGreen(c), (low >> 8) & 0xFF, (high >> 8) & 0xFF) && in(qBlue(c), low & 0xFF, high & 0xFF)) {
          line[x] = 0;
          continue;
        }
      }
      if (hasMatrix) {
        const float v[4] = {qRed(c) / 255.f, qGreen(c) / 255.f, qBlue(c) / 255.f, qAlpha(c) / 255.f};
        float o[4];
        for (int j = 0; j < 4; ++j)
          o[j] = v[0] * m.m[0][j] + v[1] * m.m[1][j] + v[2] * m.m[2][j] + v[3] * m.m[3][j] + m.m[4][j];
        const auto b = [](float f) { return std::clamp(static_cast<int>(std::lround(f * 255.f)), 0, 255); };
        c = qRgba(b(o[0]), b(o[1]), b(o[2]), b(o[3]));
      }
      line[x] = c;
    }
  }
  return img;
}

}  // namespace

// ---- Startup ------------------------------------------------------------------------------

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput*) {
  static std::atomic<ULONG_PTR> next{1};
  if (!token || !input) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  *token = next.fetch_add(1);
  return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}

// ---- Matrix -------------------------------------------------------------------------------

Matrix::Matrix() : m_{1, 0, 0, 1, 0, 0} {}
Matrix::Matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy) : m_{m11, m12, m21, m22, dx, dy} {}
Matrix::Matrix(const RectF& rect, const PointF* dst) : m_{1, 0, 0, 1, 0, 0} {
  if (!dst || rect.Width == 0 || rect.Height == 0) return;
  const REAL sx = 1 / rect.Width, sy = 1 / rect.Height;
  QTransform unit(sx, 0, 0, sy, -rect.X * sx, -rect.Y * sy);
  QTransform plg(dst[1].X - dst[0].X, dst[1].Y - dst[0].Y, dst[2].X - dst[0].X, dst[2].Y - dst[0].Y, dst[0].X,
                 dst[0].Y);
  FromQ(unit * plg, m_);
}
Matrix::~Matrix() = default;
Matrix* Matrix::Clone() const {
  return new Matrix(m_[0], m_[1], m_[2], m_[3], m_[4], m_[5]);
}
Status Matrix::Reset() {
  FromQ(QTransform(), m_);
  return Ok;
}
Status Matrix::SetElements(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy) {
  m_[0] = m11, m_[1] = m12, m_[2] = m21, m_[3] = m22, m_[4] = dx, m_[5] = dy;
  return Ok;
}
Status Matrix::GetElements(REAL* m) const {
  if (!m) return InvalidParameter;
  std::copy(m_, m_ + 6, m);
  return Ok;
}
REAL Matrix::OffsetX() const {
  return m_[4];
}
REAL Matrix::OffsetY() const {
  return m_[5];
}
Status Matrix::Translate(REAL dx, REAL dy, MatrixOrder order) {
  FromQ(Combine(ToQ(m_), QTransform::fromTranslate(dx, dy), order), m_);
  return Ok;
}
Status Matrix::Scale(REAL sx, REAL sy, MatrixOrder order) {
  FromQ(Combine(ToQ(m_), QTransform::fromScale(sx, sy), order), m_);
  return Ok;
}
Status Matrix::Rotate(REAL angle, MatrixOrder order) {
  FromQ(Combine(ToQ(m_), QTransform().rotate(angle), order), m_);
  return Ok;
}
Status Matrix::RotateAt(REAL angle, const PointF& c, MatrixOrder order) {
  const QTransform op = QTransform::fromTranslate(-c.X, -c.Y) * QTransform().rotate(angle) *
                        QTransform::fromTranslate(c.X, c.Y);
  FromQ(Combine(ToQ(m_), op, order), m_);
  return Ok;
}
Status Matrix::Shear(REAL sx, REAL sy, MatrixOrder order) {
  FromQ(Combine(ToQ(m_), QTransform(1, sy, sx, 1, 0, 0), order), m_);
  return Ok;
}
Status Matrix::Multiply(const Matrix* m, MatrixOrder order) {
  if (!m) return InvalidParameter;
  FromQ(Combine(ToQ(m_), ToQ(m->m_), order), m_);
  return Ok;
}
Status Matrix::Invert() {
  bool ok = false;
  const QTransform inv = ToQ(m_).inverted(&ok);
  if (!ok) return InvalidParameter;
  FromQ(inv, m_);
  return Ok;
}
BOOL Matrix::IsInvertible() const {
  return ToQ(m_).isInvertible();
}
BOOL Matrix::IsIdentity() const {
  return ToQ(m_).isIdentity();
}
Status Matrix::TransformPoints(PointF* pts, INT count) const {
  if (!pts || count < 0) return InvalidParameter;
  const QTransform t = ToQ(m_);
  for (INT i = 0; i < count; ++i) {
    const QPointF p = t.map(QPointF(pts[i].X, pts[i].Y));
    pts[i] = PointF(static_cast<REAL>(p.x()), static_cast<REAL>(p.y()));
  }
  return Ok;
}
Status Matrix::TransformPoints(Point* pts, INT count) const {
  if (!pts || count < 0) return InvalidParameter;
  const QTransform t = ToQ(m_);
  for (INT i = 0; i < count; ++i) {
    const QPointF p = t.map(QPointF(pts[i].X, pts[i].Y));
    pts[i] = Point(static_cast<INT>(std::lround(p.x())), static_cast<INT>(std::lround(p.y())));
  }
  return Ok;
}
Status Matrix::TransformVectors(PointF* pts, INT count) const {
  if (!pts || count < 0) return InvalidParameter;
  const QTransform t(m_[0], m_[1], m_[2], m_[3], 0, 0);
  for (INT i = 0; i < count; ++i) {
    const QPointF p = t.map(QPointF(pts[i].X, pts[i].Y));
    pts[i] = PointF(static_cast<REAL>(p.x()), static_cast<REAL>(p.y()));
  }
  return Ok;
}

// ---- Brushes, pens, fonts, formats --------------------------------------------------------

Status SolidBrush::GetColor(Color* color) const {
  if (!color) return InvalidParameter;
  *color = color_;
  return Ok;
}
Status SolidBrush::SetColor(const Color& color) {
  color_ = color;
  return Ok;
}

Pen::Pen(const Color& color, REAL width) : color_(color), width_(width) {}
Pen::Pen(const Brush* brush, REAL width)
    : color_(brush ? Color(brush->BrushColor()) : Color()), width_(width) {}
Pen* Pen::Clone() const {
  auto* p = new Pen(color_, width_);
  p->dash_ = dash_;
  p->pattern_ = pattern_;
  return p;
}
Status Pen::SetColor(const Color& color) {
  color_ = color;
  return Ok;
}
Status Pen::GetColor(Color* color) const {
  if (!color) return InvalidParameter;
  *color = color_;
  return Ok;
}
Status Pen::SetWidth(REAL width) {
  width_ = width;
  return Ok;
}
Status Pen::SetDashStyle(DashStyle style) {
  dash_ = style;
  return Ok;
}
Status Pen::SetDashPattern(const REAL* pattern, INT count) {
  if (!pattern || count <= 0) return InvalidParameter;
  pattern_.assign(pattern, pattern + count);
  dash_ = DashStyleCustom;
  return Ok;
}

FontFamily::FontFamily() = default;
FontFamily::FontFamily(const WCHAR* name, void*) : name_(name ? name : L"") {}
Status FontFamily::GetFamilyName(WCHAR* name, WORD) const {
  if (!name) return InvalidParameter;
  const size_t n = std::min<size_t>(name_.size(), LF_FACESIZE - 1);
  std::copy_n(name_.begin(), n, name);
  name[n] = 0;
  return Ok;
}
BOOL FontFamily::IsAvailable() const {
  return !name_.empty();
}
const FontFamily* FontFamily::GenericSansSerif() {
  static const FontFamily f(L"Microsoft Sans Serif");
  return &f;
}

Font::Font(const WCHAR* familyName, REAL emSize, INT style, Unit unit)
    : family_(familyName ? familyName : L""), size_(emSize), style_(style), unit_(unit) {}
Font::Font(const FontFamily* family, REAL emSize, INT style, Unit unit)
    : family_(family ? family->name_ : L""), size_(emSize), style_(style), unit_(unit) {}
Font::Font(HDC hdc, HFONT font) : size_(12), style_(FontStyleRegular), unit_(UnitPixel) {
  (void)hdc;
  LOGFONTW lf;
  if (GetObjectW(font, sizeof(lf), &lf)) {
    family_ = lf.lfFaceName;
    size_ = static_cast<REAL>(std::abs(lf.lfHeight ? lf.lfHeight : 12));
    style_ = (lf.lfWeight >= FW_BOLD ? FontStyleBold : 0) | (lf.lfItalic ? FontStyleItalic : 0) |
             (lf.lfUnderline ? FontStyleUnderline : 0) | (lf.lfStrikeOut ? FontStyleStrikeout : 0);
  }
}
Font::Font(HDC hdc) : Font(hdc, reinterpret_cast<HFONT>(GetCurrentObject(hdc, OBJ_FONT))) {}
Font::~Font() = default;
Font* Font::Clone() const {
  return new Font(family_.c_str(), size_, style_, unit_);
}
REAL Font::GetHeight(REAL dpi) const {
  QFont f(MapFace(QString::fromStdWString(family_)));
  const REAL px = unit_ == UnitPoint        ? size_ * dpi / 72
                  : unit_ == UnitInch       ? size_ * dpi
                  : unit_ == UnitMillimeter ? size_ * dpi / 25.4f
                                            : size_;
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
  return static_cast<REAL>(QFontMetricsF(f).lineSpacing());
}
Status Font::GetFamily(FontFamily* family) const {
  if (!family) return InvalidParameter;
  *family = FontFamily(family_.c_str());
  return Ok;
}

StringFormat::StringFormat(INT flags, WORD) : flags_(flags) {}
StringFormat::StringFormat(const StringFormat* format)
    : flags_(format ? format->flags_ : 0),
      align_(format ? format->align_ : StringAlignmentNear),
      lineAlign_(format ? format->lineAlign_ : StringAlignmentNear),
      trimming_(format ? format->trimming_ : StringTrimmingCharacter) {}
const StringFormat* StringFormat::GenericDefault() {
  static const StringFormat f;
  return &f;
}
const StringFormat* StringFormat::GenericTypographic() {
  static const StringFormat f(StringFormatFlagsNoClip | StringFormatFlagsNoFitBlackBox);
  return &f;
}
Status StringFormat::SetAlignment(StringAlignment a) {
  align_ = a;
  return Ok;
}
Status StringFormat::SetLineAlignment(StringAlignment a) {
  lineAlign_ = a;
  return Ok;
}
Status StringFormat::SetFormatFlags(INT flags) {
  flags_ = flags;
  return Ok;
}
Status StringFormat::SetTrimming(StringTrimming t) {
  trimming_ = t;
  return Ok;
}

// ---- Paths and regions --------------------------------------------------------------------

struct GraphicsPath::Impl {
  QPainterPath path;
  bool open = false;  // the last figure takes further lines
  void Line(const QPointF& a, const QPointF& b) {
    if (open)
      path.lineTo(a);
    else
      path.moveTo(a);
    path.lineTo(b);
    open = true;
  }
  void Closed(const QPainterPath& figure) {
    path.addPath(figure);
    open = false;
  }
};

GraphicsPath::GraphicsPath(FillMode mode) : d_(std::make_unique<Impl>()) {
  SetFillMode(mode);
}
GraphicsPath::~GraphicsPath() = default;
GraphicsPath* GraphicsPath::Clone() const {
  auto* p = new GraphicsPath;
  *p->d_ = *d_;
  return p;
}
Status GraphicsPath::Reset() {
  const Qt::FillRule rule = d_->path.fillRule();
  *d_ = Impl{};
  d_->path.setFillRule(rule);
  return Ok;
}
Status GraphicsPath::SetFillMode(FillMode mode) {
  d_->path.setFillRule(mode == FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
  return Ok;
}
Status GraphicsPath::StartFigure() {
  d_->open = false;
  return Ok;
}
Status GraphicsPath::CloseFigure() {
  if (d_->open) d_->path.closeSubpath();
  d_->open = false;
  return Ok;
}
Status GraphicsPath::AddLine(REAL x1, REAL y1, REAL x2, REAL y2) {
  d_->Line(QPointF(x1, y1), QPointF(x2, y2));
  return Ok;
}
Status GraphicsPath::AddLine(const PointF& a, const PointF& b) {
  return AddLine(a.X, a.Y, b.X, b.Y);
}
Status GraphicsPath::AddLines(const PointF* pts, INT count) {
  if (!pts || count < 2) return InvalidParameter;
  for (INT i = 1; i < count; ++i) AddLine(pts[i - 1], pts[i]);
  return Ok;
}
Status GraphicsPath::AddLines(const Point* pts, INT count) {
  if (!pts || count < 2) return InvalidParameter;
  for (INT i = 1; i < count; ++i) AddLine(PointF(pts[i - 1]), PointF(pts[i]));
  return Ok;
}
Status GraphicsPath::AddRectangle(const RectF& r) {
  QPainterPath f;
  f.addRect(ToQ(r));
  d_->Closed(f);
  return Ok;
}
Status GraphicsPath::AddRectangle(const Rect& r) {
  return AddRectangle(RectF(r));
}
Status GraphicsPath::AddEllipse(REAL x, REAL y, REAL w, REAL h) {
  QPainterPath f;
  f.addEllipse(QRectF(x, y, w, h));
  d_->Closed(f);
  return Ok;
}
Status GraphicsPath::AddEllipse(const RectF& r) {
  return AddEllipse(r.X, r.Y, r.Width, r.Height);
}
Status GraphicsPath::AddPolygon(const PointF* pts, INT count) {
  if (!pts || count < 3) return InvalidParameter;
  QPolygonF poly;
  for (INT i = 0; i < count; ++i) poly << QPointF(pts[i].X, pts[i].Y);
  QPainterPath f;
  f.addPolygon(poly);
  f.closeSubpath();
  d_->Closed(f);
  return Ok;
}
Status GraphicsPath::AddPolygon(const Point* pts, INT count) {
  if (!pts || count < 3) return InvalidParameter;
  std::vector<PointF> f(pts, pts + count);
  return AddPolygon(f.data(), count);
}
Status GraphicsPath::AddArc(REAL x, REAL y, REAL w, REAL h, REAL startAngle, REAL sweepAngle) {
  // GDI+ angles run clockwise on screen; Qt's run counter-clockwise.
  const QRectF r(x, y, w, h);
  if (!d_->open) {
    d_->path.arcMoveTo(r, -startAngle);
  } else {
    QPainterPath probe;
    probe.arcMoveTo(r, -startAngle);
    d_->path.lineTo(probe.currentPosition());
  }
  d_->path.arcTo(r, -startAngle, -sweepAngle);
  d_->open = true;
  return Ok;
}
Status GraphicsPath::AddBezier(const PointF& p1, const PointF& p2, const PointF& p3, const PointF& p4) {
  if (d_->open)
    d_->path.lineTo(p1.X, p1.Y);
  else
    d_->path.moveTo(p1.X, p1.Y);
  d_->path.cubicTo(p2.X, p2.Y, p3.X, p3.Y, p4.X, p4.Y);
  d_->open = true;
  return Ok;
}
Status GraphicsPath::AddPath(const GraphicsPath* path, BOOL connect) {
  if (!path) return InvalidParameter;
  if (connect && d_->open && !path->d_->path.isEmpty())
    d_->path.connectPath(path->d_->path);
  else
    d_->path.addPath(path->d_->path);
  d_->open = path->d_->open;
  return Ok;
}
Status GraphicsPath::Transform(const Matrix* m) {
  if (!m) return InvalidParameter;
  d_->path = ToQ(m->m_).map(d_->path);
  return Ok;
}
Status GraphicsPath::GetBounds(RectF* bounds, const Matrix* m, const Pen* pen) const {
  if (!bounds) return InvalidParameter;
  QRectF b = (m ? ToQ(m->m_).map(d_->path) : d_->path).boundingRect();
  if (pen) b.adjust(-pen->GetWidth() / 2, -pen->GetWidth() / 2, pen->GetWidth() / 2, pen->GetWidth() / 2);
  *bounds = RectF(static_cast<REAL>(b.x()), static_cast<REAL>(b.y()), static_cast<REAL>(b.width()),
                  static_cast<REAL>(b.height()));
  return Ok;
}
INT GraphicsPath::GetPointCount() const {
  return d_->path.elementCount();
}
BOOL GraphicsPath::IsVisible(REAL x, REAL y, const Graphics*) const {
  return d_->path.contains(QPointF(x, y));
}
BOOL GraphicsPath::IsOutlineVisible(REAL x, REAL y, const Pen* pen, const Graphics*) const {
  QPainterPathStroker stroker;
  stroker.setWidth(pen ? std::max<REAL>(pen->GetWidth(), 1) : 1);
  return stroker.createStroke(d_->path).contains(QPointF(x, y));
}

struct Region::Impl {
  QPainterPath path;
  bool infinite = true;
  static QPainterPath Everything() {
    QPainterPath p;
    p.addRect(QRectF(-4194304, -4194304, 8388608, 8388608));
    return p;
  }
  QPainterPath Path() const { return infinite ? Everything() : path; }
  void Combine(const QPainterPath& other, CombineMode mode) {
    const QPainterPath mine = Path();
    switch (mode) {
      case CombineModeIntersect:
        path = mine.intersected(other);
        break;
      case CombineModeUnion:
        path = mine.united(other);
        break;
      case CombineModeXor:
        path = mine.united(other).subtracted(mine.intersected(other));
        break;
      case CombineModeExclude:
        path = mine.subtracted(other);
        break;
      case CombineModeComplement:
        path = other.subtracted(mine);
        break;
      default:
        path = other;
        break;
    }
    infinite = false;
  }
};

namespace {
QPainterPath RectPath(const QRectF& r) {
  QPainterPath p;
  p.addRect(r);
  return p;
}
}  // namespace

Region::Region() : d_(std::make_unique<Impl>()) {}
Region::Region(const RectF& r) : Region() {
  d_->infinite = false;
  d_->path = RectPath(ToQ(r));
}
Region::Region(const Rect& r) : Region(RectF(r)) {}
Region::Region(const GraphicsPath* path) : Region() {
  d_->infinite = false;
  if (path) d_->path = path->d_->path;
}
Region::Region(HRGN hrgn) : Region() {
  d_->infinite = false;
  if (auto* r = Lookup<RegionObj>(hrgn, GdiObject::Kind::Region)) d_->path.addRegion(r->region);
}
Region::~Region() = default;
Region* Region::Clone() const {
  auto* r = new Region;
  *r->d_ = *d_;
  return r;
}
Status Region::MakeInfinite() {
  *d_ = Impl{};
  return Ok;
}
Status Region::MakeEmpty() {
  d_->infinite = false;
  d_->path = QPainterPath();
  return Ok;
}
Status Region::Intersect(const RectF& r) {
  d_->Combine(RectPath(ToQ(r)), CombineModeIntersect);
  return Ok;
}
Status Region::Intersect(const Rect& r) {
  return Intersect(RectF(r));
}
Status Region::Intersect(const GraphicsPath* p) {
  if (!p) return InvalidParameter;
  d_->Combine(p->d_->path, CombineModeIntersect);
  return Ok;
}
Status Region::Intersect(const Region* r) {
  if (!r) return InvalidParameter;
  d_->Combine(r->d_->Path(), CombineModeIntersect);
  return Ok;
}
Status Region::Union(const RectF& r) {
  d_->Combine(RectPath(ToQ(r)), CombineModeUnion);
  return Ok;
}
Status Region::Union(const Rect& r) {
  return Union(RectF(r));
}
Status Region::Union(const GraphicsPath* p) {
  if (!p) return InvalidParameter;
  d_->Combine(p->d_->path, CombineModeUnion);
  return Ok;
}
Status Region::Union(const Region* r) {
  if (!r) return InvalidParameter;
  d_->Combine(r->d_->Path(), CombineModeUnion);
  return Ok;
}
Status Region::Xor(const RectF& r) {
  d_->Combine(RectPath(ToQ(r)), CombineModeXor);
  return Ok;
}
Status Region::Xor(const Rect& r) {
  return Xor(RectF(r));
}
Status Region::Xor(const GraphicsPath* p) {
  if (!p) return InvalidParameter;
  d_->Combine(p->d_->path, CombineModeXor);
  return Ok;
}
Status Region::Xor(const Region* r) {
  if (!r) return InvalidParameter;
  d_->Combine(r->d_->Path(), CombineModeXor);
  return Ok;
}
Status Region::Exclude(const RectF& r) {
  d_->Combine(RectPath(ToQ(r)), CombineModeExclude);
  return Ok;
}
Status Region::Exclude(const Rect& r) {
  return Exclude(RectF(r));
}
Status Region::Exclude(const GraphicsPath* p) {
  if (!p) return InvalidParameter;
  d_->Combine(p->d_->path, CombineModeExclude);
  return Ok;
}
Status Region::Exclude(const Region* r) {
  if (!r) return InvalidParameter;
  d_->Combine(r->d_->Path(), CombineModeExclude);
  return Ok;
}
Status Region::Translate(REAL dx, REAL dy) {
  if (!d_->infinite) d_->path.translate(dx, dy);
  return Ok;
}
Status Region::Transform(const Matrix* m) {
  if (!m) return InvalidParameter;
  if (!d_->infinite) d_->path = ToQ(m->m_).map(d_->path);
  return Ok;
}
BOOL Region::IsVisible(REAL x, REAL y, const Graphics*) const {
  return d_->infinite || d_->path.contains(QPointF(x, y));
}
BOOL Region::IsVisible(const PointF& p, const Graphics* g) const {
  return IsVisible(p.X, p.Y, g);
}
// An integer point names the pixel, which is hit when the region covers its centre.
BOOL Region::IsVisible(INT x, INT y, const Graphics* g) const {
  return IsVisible(x + 0.5f, y + 0.5f, g);
}
BOOL Region::IsVisible(const Point& p, const Graphics* g) const {
  return IsVisible(p.X, p.Y, g);
}
BOOL Region::IsEmpty(const Graphics*) const {
  return !d_->infinite && d_->path.boundingRect().isEmpty();
}
BOOL Region::IsInfinite(const Graphics*) const {
  return d_->infinite;
}
Status Region::GetBounds(RectF* rect, const Graphics*) const {
  if (!rect) return InvalidParameter;
  const QRectF b = d_->Path().boundingRect();
  *rect = RectF(static_cast<REAL>(b.x()), static_cast<REAL>(b.y()), static_cast<REAL>(b.width()),
                static_cast<REAL>(b.height()));
  return Ok;
}
Status Region::GetBounds(Rect* rect, const Graphics* g) const {
  RectF f;
  if (!rect || GetBounds(&f, g) != Ok) return InvalidParameter;
  *rect = Rect(static_cast<INT>(std::floor(f.X)), static_cast<INT>(std::floor(f.Y)),
               static_cast<INT>(std::ceil(f.Width)), static_cast<INT>(std::ceil(f.Height)));
  return Ok;
}

// ---- Image attributes ---------------------------------------------------------------------

ImageAttributes::ImageAttributes() = default;
ImageAttributes::~ImageAttributes() = default;
Status ImageAttributes::SetColorKey(const Color& low, const Color& high, ColorAdjustType) {
  hasKey_ = true;
  keyLow_ = low.GetValue();
  keyHigh_ = high.GetValue();
  return Ok;
}
Status ImageAttributes::ClearColorKey(ColorAdjustType) {
  hasKey_ = false;
  return Ok;
}
Status ImageAttributes::SetWrapMode(WrapMode, const Color&, BOOL) {
  return Ok;
}
Status ImageAttributes::SetColorMatrix(const ColorMatrix* matrix, ColorMatrixFlags, ColorAdjustType) {
  if (!matrix) return InvalidParameter;
  hasMatrix_ = true;
  matrix_ = *matrix;
  return Ok;
}
Status ImageAttributes::ClearColorMatrix(ColorAdjustType) {
  hasMatrix_ = false;
  return Ok;
}

// ---- Encoders -----------------------------------------------------------------------------

const GUID EncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

namespace {
const ImageCodecInfo* Encoders() {
  static const ImageCodecInfo list[3] = {
      {kBmpClsid, GUID{}, L"Built-in BMP Codec", nullptr, L"BMP", L"*.BMP;*.DIB;*.RLE", L"image/bmp"},
      {kJpegClsid, GUID{}, L"Built-in JPEG Codec", nullptr, L"JPEG", L"*.JPG;*.JPEG;*.JPE;*.JFIF",
       L"image/jpeg"},
      {kPngClsid, GUID{}, L"Built-in PNG Codec", nullptr, L"PNG", L"*.PNG", L"image/png"},
  };
  return list;
}
}  // namespace

Status GetImageEncodersSize(UINT* numEncoders, UINT* size) {
  if (!numEncoders || !size) return InvalidParameter;
  *numEncoders = 3;
  *size = 3 * sizeof(ImageCodecInfo);
  return Ok;
}

Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
  if (!encoders || numEncoders != 3 || size < 3 * sizeof(ImageCodecInfo)) return InvalidParameter;
  std::copy_n(Encoders(), 3, encoders);
  return Ok;
}

}  // namespace Gdiplus

// ---- Memory streams -----------------------------------------------------------------------

namespace {
class MemoryStream : public IStream {
 public:
  HRESULT Read(void* buffer, ULONG bytes, ULONG* read) override {
    const size_t n = std::min<size_t>(bytes, data_.size() - std::min(pos_, data_.size()));
    if (n) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return S_OK;
  }
  HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) override {
    if (pos_ + bytes > data_.size()) data_.resize(pos_ + bytes);
    if (bytes) std::memcpy(data_.data() + pos_, buffer, bytes);
    pos_ += bytes;
    if (written) *written = bytes;
    return S_OK;
  }
  HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) override {
    const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                          : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(pos_)
                                                      : static_cast<LONGLONG>(data_.size());
    if (origin > STREAM_SEEK_END || base + move < 0) return E_INVALIDARG;
    pos_ = static_cast<size_t>(base + move);
    if (newPosition) *newPosition = pos_;
    return S_OK;
  }
  ULONGLONG Size() const override { return data_.size(); }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
  std::atomic<ULONG> refs_{1};
};

QByteArray ReadAll(IStream* stream) {
  QByteArray bytes;
  if (!stream) return bytes;
  ULONGLONG pos = 0;
  stream->Seek(0, STREAM_SEEK_CUR, &pos);
  bytes.resize(static_cast<qsizetype>(stream->Size() - std::min(pos, stream->Size())));
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  bytes.resize(read);
  return bytes;
}
}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL, IStream** stream) {
  if (!stream || hGlobal) return E_INVALIDARG;
  *stream = new MemoryStream;
  return S_OK;
}

namespace Gdiplus {

// ---- Images -------------------------------------------------------------------------------

namespace {
// An 8-bit image's palette as 32-bit colours: premultiplied unless every entry is opaque, and
// indices past the palette opaque black, as in Qt's own conversion.
struct IndexedColours {
  explicit IndexedColours(const QImage& img) {
    const QList<QRgb> table = img.colorTable();
    for (int i = 0; i < 256; ++i) {
      lut[i] = i < table.size() ? table[i] : 0xFF000000u;
      opaque = opaque && qAlpha(lut[i]) == 255;
    }
    if (!opaque)
      for (QRgb& c : lut) c = qPremultiply(c);
    grey = opaque;
    for (int i = 0; grey && i < 256; ++i) grey = lut[i] == (0xFF000000u | 0x010101u * i);
  }
  // One row of indices as colours. Grey levels are computed in blocks of a fixed length, which
  // the compiler turns into vector code even at -O2.
  void Expand(const uchar* __restrict in, QRgb* __restrict out, int width) const {
    int x = 0;
    if (grey) {
      constexpr int kBlock = 16;
      for (; x + kBlock <= width; x += kBlock)
        for (int k = 0; k < kBlock; ++k) out[x + k] = 0xFF000000u | 0x010101u * in[x + k];
    }
    for (; x < width; ++x) out[x] = lut[in[x]];
  }
  QRgb lut[256];
  bool opaque = true;
  bool grey = false;
};

// Draws an opaque 8-bit image moved by whole pixels straight into the painter's 32-bit image:
// the pixels Qt would give, without a 32-bit copy of the image first. False when that does not
// apply and Qt must draw.
bool BlitIndexed(QPainter& p, const QImage& img, const QRect& src) {
  if (img.format() != QImage::Format_Indexed8 || p.device()->devType() != QInternal::Image ||
      p.opacity() != 1.0 ||
      (p.compositionMode() != QPainter::CompositionMode_SourceOver &&
       p.compositionMode() != QPainter::CompositionMode_Source))
    return false;
  auto* target = static_cast<QImage*>(p.device());
  const QImage::Format f = target->format();
  if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
    return false;
  const QTransform t = p.combinedTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
    return false;
  const IndexedColours colours(img);
  if (!colours.opaque) return false;
  const QPoint offset(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
  QRegion area = QRegion(src.translated(offset)) & target->rect();
  if (p.hasClipping()) area &= p.clipRegion().translated(offset);
  for (const QRect& r : area)
    for (int y = r.top(); y <= r.bottom(); ++y)
      colours.Expand(img.constScanLine(y - offset.y()) + (r.left() - offset.x()),
                     reinterpret_cast<QRgb*>(target->scanLine(y)) + r.left(), r.width());
  return true;
}
}  // namespace

// 32-bit copies of the 8-bit images this thread painted last, oldest first. A repaint of an
// unchanged bitmap (a pan, an overlay) reuses its copy; the budget bounds what the copies hold
// however many bitmaps live. It covers the cells of a page, not a series: a new copy past it
// takes over old memory, and fresh pages cost more to touch than re-expanding a frame.
struct DrawnCopy {
  quint64 image;    // Image::Impl::id
  quint64 changes;  // the image's change count the copy shows
  QImage pixels;
};
// Bitmaps may outlive the list (statics are destroyed after the main thread's thread-locals);
// the flag, needing no destructor, still answers then.
thread_local bool t_drawnCopiesGone = false;
struct DrawnCopies : std::vector<DrawnCopy> {
  ~DrawnCopies() { t_drawnCopiesGone = true; }
};
thread_local DrawnCopies t_drawnCopies;
constexpr qsizetype kDrawnCopiesBudget = qsizetype{16} << 20;

struct Image::Impl {
  Impl() {
    static std::atomic<quint64> next{1};
    id = next.fetch_add(1);
  }
  ~Impl() {
    if (!t_drawnCopiesGone)
      std::erase_if(t_drawnCopies, [this](const DrawnCopy& c) { return c.image == id; });
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  QImage img;
  quint64 id;
  // Counts changes to the pixels or palette, which make a painted copy stale. Memory the caller
  // wraps may change unseen, so its copy is made afresh for every paint.
  quint64 changes = 0;
  bool callerMemory = false;

  // The image as painting takes it: 8-bit images as 32-bit copies.
  QImage Drawable();
};

QImage Image::Impl::Drawable() {
  if (img.format() != QImage::Format_Indexed8 || t_drawnCopiesGone) return img;
  auto& copies = t_drawnCopies;
  auto it = std::find_if(copies.begin(), copies.end(), [this](const DrawnCopy& c) { return c.image == id; });
  DrawnCopy copy = it != copies.end() ? std::move(*it) : DrawnCopy{id, 0, QImage()};
  if (it != copies.end()) copies.erase(it);
  if (copy.pixels.isNull() || copy.changes != changes || callerMemory) {
    const IndexedColours colours(img);
    const QImage::Format format = colours.opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    if (copy.pixels.size() != img.size() || copy.pixels.format() != format) {
      copy.pixels = QImage();
      // With the budget spent, the oldest copy of the same size gives up its pixels: paging
      // through a series then writes into memory already mapped instead of fresh pages.
      qsizetype held = 0;
      for (const DrawnCopy& c : copies) held += c.pixels.sizeInBytes();
      if (held + qsizetype{4} * img.width() * img.height() > kDrawnCopiesBudget) {
        auto same = std::find_if(copies.begin(), copies.end(), [&](const DrawnCopy& c) {
          return c.pixels.size() == img.size() && c.pixels.format() == format;
        });
        if (same != copies.end()) {
          copy.pixels = std::move(same->pixels);
          copies.erase(same);
        }
      }
      if (copy.pixels.isNull()) copy.pixels = QImage(img.size(), format);
    }
    if (copy.pixels.isNull()) return img;  // no memory for the copy: Qt converts while it draws
    for (int y = 0; y < img.height(); ++y)
      colours.Expand(img.constScanLine(y), reinterpret_cast<QRgb*>(copy.pixels.scanLine(y)), img.width());
    copy.changes = changes;
  }
  copies.push_back(std::move(copy));
  qsizetype held = 0;
  for (const DrawnCopy& c : copies) held += c.pixels.sizeInBytes();
  for (auto old = copies.begin(); held > kDrawnCopiesBudget && old + 1 != copies.end();) {
    held -= old->pixels.sizeInBytes();
    old = copies.erase(old);
  }
  return copies.back().pixels;
}

Image::Image() : d_(std::make_unique<Impl>()) {}
Image::~Image() = default;

Image* Image::FromFile(const WCHAR* filename, BOOL) {
  return Bitmap::FromFile(filename);
}
UINT Image::GetWidth() const {
  return static_cast<UINT>(d_->img.width());
}
UINT Image::GetHeight() const {
  return static_cast<UINT>(d_->img.height());
}
PixelFormat Image::GetPixelFormat() const {
  return FromQtFormat(d_->img.format());
}
Status Image::GetPhysicalDimension(SizeF* size) const {
  if (!size) return InvalidParameter;
  *size = SizeF(static_cast<REAL>(d_->img.width()), static_cast<REAL>(d_->img.height()));
  return Ok;
}
INT Image::GetPaletteSize() const {
  const int n = d_->img.format() == QImage::Format_Indexed8 ? static_cast<int>(d_->img.colorCount()) : 0;
  return static_cast<INT>(sizeof(ColorPalette) + std::max(n - 1, 0) * sizeof(ARGB));
}
Status Image::GetPalette(ColorPalette* palette, INT size) const {
  if (!palette || size < GetPaletteSize()) return InvalidParameter;
  const QVector<QRgb> table = d_->img.colorTable();
  palette->Flags = 0;
  palette->Count = static_cast<UINT>(table.size());
  for (int i = 0; i < table.size(); ++i) palette->Entries[i] = table[i];
  return Ok;
}
Status Image::SetPalette(const ColorPalette* palette) {
  if (!palette || palette->Count == 0 || palette->Count > 256) return InvalidParameter;
  if (d_->img.format() != QImage::Format_Indexed8) return Ok;
  QVector<QRgb> table(256, qRgba(0, 0, 0, 255));
  for (UINT i = 0; i < palette->Count; ++i) table[static_cast<int>(i)] = palette->Entries[i];
  d_->img.setColorTable(table);
  ++d_->changes;
  return Ok;
}
Status Image::Save(const WCHAR* filename, const CLSID* clsid, const EncoderParameters* params) {
  const char* format = EncoderFormat(clsid);
  if (!filename || !format) return InvalidParameter;
  const QString path = QString::fromStdString(SOWin::NormalisePath(SOWin::ToUtf8(filename)));
  return d_->img.save(path, format, std::strcmp(format, "JPG") == 0 ? Quality(params) : -1) ? Ok : Win32Error;
}
Status Image::Save(IStream* stream, const CLSID* clsid, const EncoderParameters* params) {
  const char* format = EncoderFormat(clsid);
  if (!stream || !format) return InvalidParameter;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!d_->img.save(&buffer, format, std::strcmp(format, "JPG") == 0 ? Quality(params) : -1))
    return Win32Error;
  ULONG written = 0;
  stream->Write(bytes.constData(), static_cast<ULONG>(bytes.size()), &written);
  return written == static_cast<ULONG>(bytes.size()) ? Ok : Win32Error;
}
Image* Image::Clone() const {
  auto* b = new Bitmap(1, 1, PixelFormat32bppARGB);
  b->d_->img = d_->img.copy();
  return b;
}

// ---- Bitmaps ------------------------------------------------------------------------------

struct Bitmap::Lock {
  Rect rect;
  UINT flags = 0;
  PixelFormat format = 0;
  QImage temp;  // converted pixels when the caller asked for another format
  void* userBuffer = nullptr;
  INT userStride = 0;
};

Bitmap::~Bitmap() = default;

Bitmap::Bitmap(INT width, INT height, PixelFormat format) : Bitmap(width, height, format, Uncleared{}) {
  d_->img.fill(0);
}

Bitmap::Bitmap(INT width, INT height, PixelFormat format, Uncleared) {
  const QImage::Format f = QtFormat(format);
  if (width <= 0 || height <= 0 || f == QImage::Format_Invalid) {
    status_ = InvalidParameter;
    return;
  }
  d_->img = QImage(width, height, f);
  if (f == QImage::Format_Indexed8) d_->img.setColorTable(GreyRamp());
  if (d_->img.isNull()) status_ = OutOfMemory;
}

Bitmap* Bitmap::NewUncleared(INT width, INT height, PixelFormat format) {
  return new Bitmap(width, height, format, Uncleared{});
}

Bitmap::Bitmap(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0) {
  const QImage::Format f = QtFormat(format);
  if (width <= 0 || height <= 0 || f == QImage::Format_Invalid || (scan0 && stride <= 0)) {
    status_ = InvalidParameter;
    return;
  }
  d_->callerMemory = scan0 != nullptr;
  if (scan0)
    d_->img = QImage(scan0, width, height, stride, f);
  else
    d_->img = QImage(width, height, f);
  if (f == QImage::Format_Indexed8) d_->img.setColorTable(GreyRamp());
  if (!scan0) d_->img.fill(0);
}

Bitmap::Bitmap(const WCHAR* filename, BOOL) {
  const QImage img =
      filename ? SOWin::ReadImageFile(QString::fromStdString(SOWin::NormalisePath(SOWin::ToUtf8(filename))))
               : QImage();
  if (img.isNull()) {
    status_ = filename ? FileNotFound : InvalidParameter;
    return;
  }
  d_->img = Normalise(img);
}

Bitmap::Bitmap(IStream* stream, BOOL) {
  const QImage img = QImage::fromData(ReadAll(stream));
  if (img.isNull()) {
    status_ = UnknownImageFormat;
    return;
  }
  d_->img = Normalise(img);
}

Bitmap::Bitmap(HBITMAP hbm, HPALETTE) {
  auto* bm = Lookup<BitmapObj>(hbm, GdiObject::Kind::Bitmap);
  if (!bm) {
    status_ = InvalidParameter;
    return;
  }
  // GDI bitmaps carry no alpha, so the copy is 32bpp RGB (or 24bpp).
  const QImage pic = bm->Picture();
  d_->img = pic.format() == QImage::Format_BGR888 ? pic : pic.convertToFormat(QImage::Format_RGB32);
}

Bitmap* Bitmap::FromHBITMAP(HBITMAP hbm, HPALETTE hpal) {
  return new Bitmap(hbm, hpal);
}
Bitmap* Bitmap::FromFile(const WCHAR* filename, BOOL useIcm) {
  return new Bitmap(filename, useIcm);
}
Bitmap* Bitmap::FromStream(IStream* stream, BOOL useIcm) {
  return new Bitmap(stream, useIcm);
}

Bitmap* Bitmap::Clone(const Rect& rect, PixelFormat format) const {
  const QImage::Format f = QtFormat(format);
  if (f == QImage::Format_Invalid) return nullptr;
  auto* b = new Bitmap(1, 1, PixelFormat32bppARGB);
  QImage part = d_->img.copy(rect.X, rect.Y, rect.Width, rect.Height);
  b->d_->img = part.format() == f ? part : part.convertToFormat(f);
  return b;
}
Bitmap* Bitmap::Clone(INT x, INT y, INT w, INT h, PixelFormat format) const {
  return Clone(Rect(x, y, w, h), format);
}

Status Bitmap::LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* data) {
  if (!data || lock_) return !data ? InvalidParameter : WrongState;
  const Rect r = rect ? *rect : Rect(0, 0, d_->img.width(), d_->img.height());
  if (r.X < 0 || r.Y < 0 || r.Width <= 0 || r.Height <= 0 || r.X + r.Width > d_->img.width() ||
      r.Y + r.Height > d_->img.height())
    return InvalidParameter;
  const QImage::Format f = QtFormat(format);
  if (f == QImage::Format_Invalid ||
      (f == QImage::Format_Indexed8) != (d_->img.format() == QImage::Format_Indexed8))
    return InvalidParameter;
  auto lock = std::make_unique<Lock>();
  lock->rect = r;
  lock->flags = flags;
  lock->format = format;
  const int bpp = static_cast<int>(GetPixelFormatSize(format)) / 8;
  data->Width = static_cast<UINT>(r.Width);
  data->Height = static_cast<UINT>(r.Height);
  data->PixelFormat = format;
  if (flags & ImageLockModeUserInputBuf) {
    lock->userBuffer = data->Scan0;
    lock->userStride = data->Stride;
    if (!data->Scan0 || data->Stride < r.Width * bpp) return InvalidParameter;
    if (flags & ImageLockModeRead) {
      const QImage part = d_->img.copy(r.X, r.Y, r.Width, r.Height).convertToFormat(f);
      for (int y = 0; y < r.Height; ++y)
        std::memcpy(static_cast<uchar*>(data->Scan0) + static_cast<size_t>(y) * data->Stride,
                    part.constScanLine(y), static_cast<size_t>(r.Width) * bpp);
    }
  } else if (f == d_->img.format()) {
    data->Scan0 = d_->img.scanLine(r.Y) + static_cast<size_t>(r.X) * bpp;
    data->Stride = static_cast<INT>(d_->img.bytesPerLine());
  } else {
    lock->temp = d_->img.copy(r.X, r.Y, r.Width, r.Height).convertToFormat(f);
    data->Scan0 = lock->temp.bits();
    data->Stride = static_cast<INT>(lock->temp.bytesPerLine());
  }
  lock_ = std::move(lock);
  return Ok;
}

Status Bitmap::UnlockBits(BitmapData* data) {
  if (!data || !lock_) return !data ? InvalidParameter : WrongState;
  std::unique_ptr<Lock> lock = std::move(lock_);
  if (!(lock->flags & ImageLockModeWrite)) return Ok;
  ++d_->changes;
  const Rect& r = lock->rect;
  QImage written;
  if (lock->userBuffer) {
    written = QImage(static_cast<const uchar*>(lock->userBuffer), r.Width, r.Height, lock->userStride,
                     QtFormat(lock->format))
                  .copy();
  } else if (!lock->temp.isNull()) {
    written = lock->temp;
  } else {
    return Ok;  // written in place
  }
  if (d_->img.format() == QImage::Format_Indexed8) {
    for (int y = 0; y < r.Height; ++y)
      std::memcpy(d_->img.scanLine(r.Y + y) + r.X, written.constScanLine(y), r.Width);
    return Ok;
  }
  QPainter p(&d_->img);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(r.X, r.Y, written);
  return Ok;
}

Status Bitmap::GetPixel(INT x, INT y, Color* color) const {
  if (!color || !d_->img.valid(x, y)) return InvalidParameter;
  *color = Color(d_->img.pixel(x, y));
  return Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color& color) {
  if (!d_->img.valid(x, y) || d_->img.format() == QImage::Format_Indexed8) return InvalidParameter;
  d_->img.setPixel(x, y, color.GetValue());
  return Ok;
}

Status Bitmap::GetHBITMAP(const Color& background, HBITMAP* out) {
  if (!out) return InvalidParameter;
  QImage composed(d_->img.size(), QImage::Format_RGB32);
  composed.fill(ToQColor(background.GetValue() | 0xFF000000));
  {
    QPainter p(&composed);
    p.drawImage(0, 0, d_->Drawable());
  }
  *out = SOWin::BitmapFromImage(composed);
  return *out ? Ok : OutOfMemory;
}

Status Bitmap::SetResolution(REAL dpiX, REAL dpiY) {
  if (dpiX <= 0 || dpiY <= 0) return InvalidParameter;
  d_->img.setDotsPerMeterX(static_cast<int>(dpiX / 0.0254f));
  d_->img.setDotsPerMeterY(static_cast<int>(dpiY / 0.0254f));
  return Ok;
}

// ---- Graphics -----------------------------------------------------------------------------

struct Graphics::Impl {
  HDC hdc = nullptr;
  Image* image = nullptr;
  QTransform world;
  std::optional<QPainterPath> clip;  // in device space
  struct Saved {
    QTransform world;
    std::optional<QPainterPath> clip;
    SmoothingMode smoothing;
    InterpolationMode interpolation;
    PixelOffsetMode pixelOffset;
    TextRenderingHint textHint;
    CompositingMode compositing;
  };
  std::vector<Saved> saved;

  // What is drawn decides the half-pixel shift: outlines always take it, fills only when
  // anti-aliased (Qt's aliased fills already cover x .. x+w-1), images and text never.
  enum class Kind { Plain, Stroke, Fill };

  // Runs fn with a painter set up for this graphics.
  template <class F>
  Status Paint(const Graphics& g, Kind kind, F&& fn) {
    std::optional<DCPainter> dcPainter;
    std::optional<QPainter> own;
    QPainter* p = nullptr;
    QTransform base;
    if (hdc) {
      dcPainter.emplace(LookupDC(hdc));
      if (!dcPainter->Active()) return InvalidParameter;
      p = &**dcPainter;
      base = dcPainter->Base();
    } else if (image && !image->d_->img.isNull() && image->d_->img.format() != QImage::Format_Indexed8) {
      own.emplace(&image->d_->img);
      p = &*own;
    } else {
      return InvalidParameter;
    }
    const bool aa = g.smoothing_ == SmoothingModeAntiAlias || g.smoothing_ == SmoothingModeHighQuality;
    p->setRenderHint(QPainter::Antialiasing, aa);
    p->setRenderHint(QPainter::SmoothPixmapTransform, g.interpolation_ != InterpolationModeNearestNeighbor);
    p->setRenderHint(QPainter::TextAntialiasing,
                     g.textHint_ != TextRenderingHintSingleBitPerPixel &&
                         g.textHint_ != TextRenderingHintSingleBitPerPixelGridFit);
    if (g.compositing_ == CompositingModeSourceCopy) p->setCompositionMode(QPainter::CompositionMode_Source);
    p->setTransform(base);
    if (clip) p->setClipPath(*clip, Qt::IntersectClip);
    const bool half = g.pixelOffset_ == PixelOffsetModeHalf || g.pixelOffset_ == PixelOffsetModeHighQuality;
    const bool shifted = !half && (kind == Kind::Stroke || (kind == Kind::Fill && aa));
    const QTransform shift = shifted ? QTransform::fromTranslate(0.5, 0.5) : QTransform();
    p->setTransform(world * shift * base);
    fn(*p);
    return Ok;
  }
};

namespace {
QPen MakePen(const Pen* pen) {
  const REAL w = pen->GetWidth();
  Color c;
  pen->GetColor(&c);
  QPen p(ToQColor(c.GetValue()), w <= 0 ? 1.0 : w);
  p.setCosmetic(w <= 0);
  p.setCapStyle(Qt::FlatCap);
  p.setJoinStyle(Qt::MiterJoin);
  QVector<qreal> dashes;
  switch (pen->GetDashStyle()) {
    case DashStyleDash:
      dashes = {3, 1};
      break;
    case DashStyleDot:
      dashes = {1, 1};
      break;
    case DashStyleDashDot:
      dashes = {3, 1, 1, 1};
      break;
    case DashStyleDashDotDot:
      dashes = {3, 1, 1, 1, 1, 1};
      break;
    default:
      break;
  }
  if (!dashes.isEmpty()) p.setDashPattern(dashes);
  return p;
}
}  // namespace

// Custom dash patterns need the pen's private pattern.
static QPen PenFor(const Pen* pen, const std::vector<REAL>& pattern) {
  QPen p = MakePen(pen);
  if (pen->GetDashStyle() == DashStyleCustom && !pattern.empty()) {
    QVector<qreal> dashes(pattern.begin(), pattern.end());
    if (dashes.size() % 2) dashes += dashes;
    p.setDashPattern(dashes);
  }
  return p;
}

Graphics::Graphics(HDC hdc) : d_(std::make_unique<Impl>()) {
  if (!LookupDC(hdc)) status_ = InvalidParameter;
  d_->hdc = hdc;
}

Graphics::Graphics(Image* image) : d_(std::make_unique<Impl>()) {
  // Like GDI+, indexed images take no graphics.
  if (!image || image->GetLastStatus() != Ok)
    status_ = InvalidParameter;
  else if (image->GetPixelFormat() == PixelFormat8bppIndexed)
    status_ = OutOfMemory;
  else
    d_->image = image;
}

Graphics* Graphics::FromHDC(HDC hdc) {
  return new Graphics(hdc);
}
Graphics* Graphics::FromImage(Image* image) {
  return new Graphics(image);
}
Graphics::~Graphics() = default;

Status Graphics::SetSmoothingMode(SmoothingMode mode) {
  smoothing_ = mode;
  return Ok;
}
Status Graphics::SetInterpolationMode(InterpolationMode mode) {
  interpolation_ = mode;
  return Ok;
}
Status Graphics::SetPixelOffsetMode(PixelOffsetMode mode) {
  pixelOffset_ = mode;
  return Ok;
}
Status Graphics::SetTextRenderingHint(TextRenderingHint hint) {
  textHint_ = hint;
  return Ok;
}
Status Graphics::SetCompositingMode(CompositingMode mode) {
  compositing_ = mode;
  return Ok;
}
Status Graphics::SetPageUnit(Unit unit) {
  return unit == UnitPixel || unit == UnitDisplay ? Ok : NotImplemented;
}

Status Graphics::SetTransform(const Matrix* m) {
  if (!m) return InvalidParameter;
  d_->world = ToQ(m->m_);
  return Ok;
}
Status Graphics::GetTransform(Matrix* m) const {
  if (!m) return InvalidParameter;
  FromQ(d_->world, m->m_);
  return Ok;
}
Status Graphics::ResetTransform() {
  d_->world = QTransform();
  return Ok;
}
Status Graphics::MultiplyTransform(const Matrix* m, MatrixOrder order) {
  if (!m) return InvalidParameter;
  d_->world = Combine(d_->world, ToQ(m->m_), order);
  return Ok;
}
Status Graphics::TranslateTransform(REAL dx, REAL dy, MatrixOrder order) {
  d_->world = Combine(d_->world, QTransform::fromTranslate(dx, dy), order);
  return Ok;
}
Status Graphics::ScaleTransform(REAL sx, REAL sy, MatrixOrder order) {
  d_->world = Combine(d_->world, QTransform::fromScale(sx, sy), order);
  return Ok;
}
Status Graphics::RotateTransform(REAL angle, MatrixOrder order) {
  d_->world = Combine(d_->world, QTransform().rotate(angle), order);
  return Ok;
}

namespace {
void CombineClip(std::optional<QPainterPath>& clip, const QPainterPath& device, CombineMode mode) {
  if (mode == CombineModeReplace || (!clip && mode == CombineModeIntersect)) {
    clip = device;
    return;
  }
  if (!clip && mode == CombineModeUnion) return;  // still everything
  QPainterPath mine;
  if (clip)
    mine = *clip;
  else
    mine.addRect(QRectF(-4194304, -4194304, 8388608, 8388608));
  switch (mode) {
    case CombineModeIntersect:
      clip = mine.intersected(device);
      break;
    case CombineModeUnion:
      clip = mine.united(device);
      break;
    case CombineModeXor:
      clip = mine.united(device).subtracted(mine.intersected(device));
      break;
    case CombineModeExclude:
      clip = mine.subtracted(device);
      break;
    case CombineModeComplement:
      clip = device.subtracted(mine);
      break;
    default:
      clip = device;
      break;
  }
}
}  // namespace

Status Graphics::SetClip(const RectF& r, CombineMode mode) {
  CombineClip(d_->clip, d_->world.map(RectPath(ToQ(r))), mode);
  return Ok;
}
Status Graphics::SetClip(const Rect& r, CombineMode mode) {
  return SetClip(RectF(r), mode);
}
Status Graphics::SetClip(const GraphicsPath* path, CombineMode mode) {
  if (!path) return InvalidParameter;
  CombineClip(d_->clip, d_->world.map(path->d_->path), mode);
  return Ok;
}
Status Graphics::SetClip(const Region* region, CombineMode mode) {
  if (!region) return InvalidParameter;
  if (region->d_->infinite && mode == CombineModeReplace) {
    d_->clip.reset();
    return Ok;
  }
  CombineClip(d_->clip, d_->world.map(region->d_->Path()), mode);
  return Ok;
}
Status Graphics::IntersectClip(const RectF& r) {
  return SetClip(r, CombineModeIntersect);
}
Status Graphics::IntersectClip(const Rect& r) {
  return SetClip(r, CombineModeIntersect);
}
Status Graphics::ResetClip() {
  d_->clip.reset();
  return Ok;
}
Status Graphics::GetClip(Region* region) const {
  if (!region) return InvalidParameter;
  if (!d_->clip) return region->MakeInfinite();
  region->d_->infinite = false;
  region->d_->path = d_->world.inverted().map(*d_->clip);
  return Ok;
}
Status Graphics::GetClipBounds(RectF* rect) const {
  Region r;
  GetClip(&r);
  return r.GetBounds(rect, this);
}

GraphicsState Graphics::Save() {
  d_->saved.push_back(
      {d_->world, d_->clip, smoothing_, interpolation_, pixelOffset_, textHint_, compositing_});
  return static_cast<GraphicsState>(d_->saved.size());
}
Status Graphics::Restore(GraphicsState state) {
  if (state == 0 || state > d_->saved.size()) return InvalidParameter;
  const Impl::Saved s = d_->saved[state - 1];
  d_->saved.resize(state - 1);
  d_->world = s.world;
  d_->clip = s.clip;
  smoothing_ = s.smoothing;
  interpolation_ = s.interpolation;
  pixelOffset_ = s.pixelOffset;
  textHint_ = s.textHint;
  compositing_ = s.compositing;
  return Ok;
}

Status Graphics::Clear(const Color& color) {
  return status_ = d_->Paint(*this, Impl::Kind::Plain, [&](QPainter& p) {
    p.resetTransform();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRect(0, 0, p.device()->width(), p.device()->height()), ToQColor(color.GetValue()));
  });
}

Status Graphics::DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
  if (!pen) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  });
}
Status Graphics::DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2) {
  return DrawLine(pen, static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2),
                  static_cast<REAL>(y2));
}
Status Graphics::DrawLine(const Pen* pen, const Point& a, const Point& b) {
  return DrawLine(pen, a.X, a.Y, b.X, b.Y);
}
Status Graphics::DrawLine(const Pen* pen, const PointF& a, const PointF& b) {
  return DrawLine(pen, a.X, a.Y, b.X, b.Y);
}
Status Graphics::DrawLines(const Pen* pen, const PointF* pts, INT count) {
  if (!pen || !pts || count < 2) return InvalidParameter;
  QPolygonF poly;
  for (INT i = 0; i < count; ++i) poly << QPointF(pts[i].X, pts[i].Y);
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.drawPolyline(poly);
  });
}
Status Graphics::DrawLines(const Pen* pen, const Point* pts, INT count) {
  if (!pts) return InvalidParameter;
  std::vector<PointF> f(pts, pts + std::max(count, 0));
  return DrawLines(pen, f.data(), count);
}

Status Graphics::DrawRectangle(const Pen* pen, REAL x, REAL y, REAL w, REAL h) {
  if (!pen) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(x, y, w, h));
  });
}
Status Graphics::DrawRectangle(const Pen* pen, INT x, INT y, INT w, INT h) {
  return DrawRectangle(pen, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w),
                       static_cast<REAL>(h));
}
Status Graphics::DrawRectangle(const Pen* pen, const Rect& r) {
  return DrawRectangle(pen, r.X, r.Y, r.Width, r.Height);
}
Status Graphics::DrawRectangle(const Pen* pen, const RectF& r) {
  return DrawRectangle(pen, r.X, r.Y, r.Width, r.Height);
}

Status Graphics::FillRectangle(const Brush* brush, REAL x, REAL y, REAL w, REAL h) {
  if (!brush) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Fill, [&](QPainter& p) {
    p.fillRect(QRectF(x, y, w, h), ToQColor(brush->BrushColor()));
  });
}
Status Graphics::FillRectangle(const Brush* brush, INT x, INT y, INT w, INT h) {
  return FillRectangle(brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w),
                       static_cast<REAL>(h));
}
Status Graphics::FillRectangle(const Brush* brush, const Rect& r) {
  return FillRectangle(brush, r.X, r.Y, r.Width, r.Height);
}
Status Graphics::FillRectangle(const Brush* brush, const RectF& r) {
  return FillRectangle(brush, r.X, r.Y, r.Width, r.Height);
}

Status Graphics::DrawEllipse(const Pen* pen, REAL x, REAL y, REAL w, REAL h) {
  if (!pen) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(x, y, w, h));
  });
}
Status Graphics::DrawEllipse(const Pen* pen, INT x, INT y, INT w, INT h) {
  return DrawEllipse(pen, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w),
                     static_cast<REAL>(h));
}
Status Graphics::DrawEllipse(const Pen* pen, const Rect& r) {
  return DrawEllipse(pen, r.X, r.Y, r.Width, r.Height);
}
Status Graphics::DrawEllipse(const Pen* pen, const RectF& r) {
  return DrawEllipse(pen, r.X, r.Y, r.Width, r.Height);
}

Status Graphics::FillEllipse(const Brush* brush, REAL x, REAL y, REAL w, REAL h) {
  if (!brush) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Fill, [&](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(brush->BrushColor()));
    p.drawEllipse(QRectF(x, y, w, h));
  });
}
Status Graphics::FillEllipse(const Brush* brush, INT x, INT y, INT w, INT h) {
  return FillEllipse(brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w),
                     static_cast<REAL>(h));
}
Status Graphics::FillEllipse(const Brush* brush, const RectF& r) {
  return FillEllipse(brush, r.X, r.Y, r.Width, r.Height);
}

Status Graphics::DrawPolygon(const Pen* pen, const PointF* pts, INT count) {
  if (!pen || !pts || count < 2) return InvalidParameter;
  QPolygonF poly;
  for (INT i = 0; i < count; ++i) poly << QPointF(pts[i].X, pts[i].Y);
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(poly);
  });
}
Status Graphics::DrawPolygon(const Pen* pen, const Point* pts, INT count) {
  if (!pts) return InvalidParameter;
  std::vector<PointF> f(pts, pts + std::max(count, 0));
  return DrawPolygon(pen, f.data(), count);
}
Status Graphics::FillPolygon(const Brush* brush, const PointF* pts, INT count) {
  if (!brush || !pts || count < 3) return InvalidParameter;
  QPolygonF poly;
  for (INT i = 0; i < count; ++i) poly << QPointF(pts[i].X, pts[i].Y);
  return status_ = d_->Paint(*this, Impl::Kind::Fill, [&](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(brush->BrushColor()));
    p.drawPolygon(poly, Qt::OddEvenFill);
  });
}
Status Graphics::FillPolygon(const Brush* brush, const Point* pts, INT count) {
  if (!pts) return InvalidParameter;
  std::vector<PointF> f(pts, pts + std::max(count, 0));
  return FillPolygon(brush, f.data(), count);
}
Status Graphics::DrawArc(const Pen* pen, REAL x, REAL y, REAL w, REAL h, REAL startAngle, REAL sweepAngle) {
  if (!pen) return InvalidParameter;
  GraphicsPath path;
  path.AddArc(x, y, w, h, startAngle, sweepAngle);
  return DrawPath(pen, &path);
}
Status Graphics::DrawPath(const Pen* pen, const GraphicsPath* path) {
  if (!pen || !path) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Stroke, [&](QPainter& p) {
    p.setPen(PenFor(pen, pen->pattern_));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path->d_->path);
  });
}
Status Graphics::FillPath(const Brush* brush, const GraphicsPath* path) {
  if (!brush || !path) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Fill,
                             [&](QPainter& p) { p.fillPath(path->d_->path, ToQColor(brush->BrushColor())); });
}
Status Graphics::FillRegion(const Brush* brush, const Region* region) {
  if (!brush || !region) return InvalidParameter;
  return status_ = d_->Paint(*this, Impl::Kind::Fill, [&](QPainter& p) {
    p.fillPath(region->d_->Path(), ToQColor(brush->BrushColor()));
  });
}

// ---- Text ---------------------------------------------------------------------------------

namespace {
QFont FontOf(const std::wstring& family, REAL size, INT style, Unit unit) {
  QFont f(MapFace(QString::fromStdWString(family)));
  REAL px = size;
  if (unit == UnitPoint)
    px = size * 96 / 72;
  else if (unit == UnitInch)
    px = size * 96;
  else if (unit == UnitMillimeter)
    px = size * 96 / 25.4f;
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
  f.setBold(style & FontStyleBold);
  f.setItalic(style & FontStyleItalic);
  f.setUnderline(style & FontStyleUnderline);
  f.setStrikeOut(style & FontStyleStrikeout);
  return f;
}
// An empty layout box (width or height 0) does not limit the text.
QRectF LayoutBox(const RectF& layout) {
  return QRectF(layout.X, layout.Y, layout.Width > 0 ? layout.Width : 1e6,
                layout.Height > 0 ? layout.Height : 1e6);
}
}  // namespace

Status Graphics::DrawString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                            const StringFormat* format, const Brush* brush) {
  if (!text || !font || !brush) return InvalidParameter;
  const QFont qf = FontOf(font->family_, font->size_, font->style_, font->unit_);
  const QString s = Text(text, length);
  const bool noClip = !format || (format->GetFormatFlags() & StringFormatFlagsNoClip) || layout.Width <= 0 ||
                      layout.Height <= 0;
  int flags = AlignFlags(format);
  if (layout.Width <= 0) flags &= ~Qt::TextWordWrap;
  return status_ = d_->Paint(*this, Impl::Kind::Plain, [&](QPainter& p) {
    const QRectF box = LayoutBox(layout);
    if (!noClip) p.setClipRect(box, Qt::IntersectClip);
    p.setFont(qf);
    p.setPen(ToQColor(brush->BrushColor()));
    p.drawText(box, flags, s);
  });
}

Status Graphics::DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                            const StringFormat* format, const Brush* brush) {
  // From a point, the alignment says where the point sits on the text.
  const REAL big = 1e6f;
  const StringAlignment h = format ? format->GetAlignment() : StringAlignmentNear;
  const StringAlignment v = format ? format->GetLineAlignment() : StringAlignmentNear;
  const REAL x = h == StringAlignmentNear     ? origin.X
                 : h == StringAlignmentCenter ? origin.X - big / 2
                                              : origin.X - big;
  const REAL y = v == StringAlignmentNear     ? origin.Y
                 : v == StringAlignmentCenter ? origin.Y - big / 2
                                              : origin.Y - big;
  StringFormat f(format);
  f.SetFormatFlags(f.GetFormatFlags() | StringFormatFlagsNoWrap | StringFormatFlagsNoClip);
  return DrawString(text, length, font, RectF(x, y, big, big), &f, brush);
}

Status Graphics::DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                            const Brush* brush) {
  return DrawString(text, length, font, origin, nullptr, brush);
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                               const StringFormat* format, RectF* bounds, INT* codepointsFitted,
                               INT* linesFilled) const {
  if (!text || !font || !bounds) return InvalidParameter;
  const QFont qf = FontOf(font->family_, font->size_, font->style_, font->unit_);
  const QString s = Text(text, length);
  int flags = (AlignFlags(format) & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)) | Qt::AlignLeft |
              Qt::AlignTop;
  if (layout.Width <= 0) flags &= ~Qt::TextWordWrap;
  const QRectF r = QFontMetricsF(qf).boundingRect(LayoutBox(layout), flags, s);
  *bounds = RectF(layout.X, layout.Y, static_cast<REAL>(r.width()), static_cast<REAL>(r.height()));
  if (codepointsFitted) *codepointsFitted = static_cast<INT>(s.size());
  if (linesFilled) *linesFilled = static_cast<INT>(s.count(QLatin1Char('\n')) + 1);
  return Ok;
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                               const StringFormat* format, RectF* bounds) const {
  return MeasureString(text, length, font, RectF(origin.X, origin.Y, 0, 0), format, bounds);
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                               RectF* bounds) const {
  return MeasureString(text, length, font, origin, nullptr, bounds);
}

// ---- Images -------------------------------------------------------------------------------

Status Graphics::DrawImage(Image* image, const PointF* pts, INT count, REAL srcX, REAL srcY, REAL srcW,
                           REAL srcH, Unit srcUnit, const ImageAttributes* attrs) {
  if (!image || !pts || (count != 3) || srcW == 0 || srcH == 0) return status_ = InvalidParameter;
  if (srcUnit != UnitPixel && srcUnit != UnitWorld && srcUnit != UnitDisplay) return status_ = NotImplemented;
  const QImage& full = image->d_->img;
  const QRect srcRect = QRectF(srcX, srcY, srcW, srcH).toAlignedRect().intersected(full.rect());
  QImage source;
  if (attrs && (attrs->hasKey_ || attrs->hasMatrix_))
    source = ApplyAttributes(full.copy(srcRect), attrs->hasKey_, attrs->keyLow_, attrs->keyHigh_,
                             attrs->hasMatrix_, attrs->matrix_);
  // Source pixels -> destination parallelogram (upper-left, upper-right, lower-left).
  // Divided in double, so a 1:1 draw maps exactly and the smooth filter leaves pixels alone.
  const double ax = (pts[1].X - pts[0].X) / double(srcW), ay = (pts[1].Y - pts[0].Y) / double(srcW);
  const double bx = (pts[2].X - pts[0].X) / double(srcH), by = (pts[2].Y - pts[0].Y) / double(srcH);
  const QTransform map(ax, ay, bx, by, pts[0].X - srcX * ax - srcY * bx, pts[0].Y - srcX * ay - srcY * by);
  // Whole source pixels with no clip path of ours may go straight into the target.
  const bool blit = source.isNull() && !d_->clip && QRectF(srcRect) == QRectF(srcX, srcY, srcW, srcH);
  return status_ = d_->Paint(*this, Impl::Kind::Plain, [&](QPainter& p) {
    p.setTransform(map, true);
    if (!source.isNull())
      p.drawImage(QRectF(srcRect), source);
    else if (!blit || !BlitIndexed(p, full, srcRect))
      p.drawImage(QRectF(srcX, srcY, srcW, srcH), image->d_->Drawable(), QRectF(srcX, srcY, srcW, srcH));
  });
}

Status Graphics::DrawImage(Image* image, const Point* pts, INT count, INT srcX, INT srcY, INT srcW, INT srcH,
                           Unit srcUnit, const ImageAttributes* attrs) {
  if (!pts || count != 3) return status_ = InvalidParameter;
  const PointF f[3] = {PointF(pts[0]), PointF(pts[1]), PointF(pts[2])};
  return DrawImage(image, f, count, static_cast<REAL>(srcX), static_cast<REAL>(srcY), static_cast<REAL>(srcW),
                   static_cast<REAL>(srcH), srcUnit, attrs);
}

Status Graphics::DrawImage(Image* image, const PointF* pts, INT count) {
  if (!image) return status_ = InvalidParameter;
  return DrawImage(image, pts, count, 0, 0, static_cast<REAL>(image->GetWidth()),
                   static_cast<REAL>(image->GetHeight()), UnitPixel);
}

Status Graphics::DrawImage(Image* image, const Point* pts, INT count) {
  if (!image) return status_ = InvalidParameter;
  return DrawImage(image, pts, count, 0, 0, static_cast<INT>(image->GetWidth()),
                   static_cast<INT>(image->GetHeight()), UnitPixel);
}

Status Graphics::DrawImage(Image* image, const RectF& dst, REAL srcX, REAL srcY, REAL srcW, REAL srcH,
                           Unit srcUnit, const ImageAttributes* attrs) {
  const PointF pts[3] = {PointF(dst.X, dst.Y), PointF(dst.X + dst.Width, dst.Y),
                         PointF(dst.X, dst.Y + dst.Height)};
  return DrawImage(image, pts, 3, srcX, srcY, srcW, srcH, srcUnit, attrs);
}

Status Graphics::DrawImage(Image* image, const Rect& dst, INT srcX, INT srcY, INT srcW, INT srcH,
                           Unit srcUnit, const ImageAttributes* attrs) {
  return DrawImage(image, RectF(dst), static_cast<REAL>(srcX), static_cast<REAL>(srcY),
                   static_cast<REAL>(srcW), static_cast<REAL>(srcH), srcUnit, attrs);
}

Status Graphics::DrawImage(Image* image, REAL x, REAL y, REAL w, REAL h) {
  if (!image) return status_ = InvalidParameter;
  return DrawImage(image, RectF(x, y, w, h), 0, 0, static_cast<REAL>(image->GetWidth()),
                   static_cast<REAL>(image->GetHeight()), UnitPixel);
}
Status Graphics::DrawImage(Image* image, INT x, INT y, INT w, INT h) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w),
                   static_cast<REAL>(h));
}
Status Graphics::DrawImage(Image* image, const Rect& dst) {
  return DrawImage(image, dst.X, dst.Y, dst.Width, dst.Height);
}
Status Graphics::DrawImage(Image* image, const RectF& dst) {
  return DrawImage(image, dst.X, dst.Y, dst.Width, dst.Height);
}
Status Graphics::DrawImage(Image* image, REAL x, REAL y) {
  if (!image) return status_ = InvalidParameter;
  return DrawImage(image, x, y, static_cast<REAL>(image->GetWidth()), static_cast<REAL>(image->GetHeight()));
}
Status Graphics::DrawImage(Image* image, INT x, INT y) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y));
}

}  // namespace Gdiplus
