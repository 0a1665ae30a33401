#pragma once

// The GDI+ subset on QPainter/QImage: graphics on a DC or an image, bitmaps (32bpp ARGB,
// 24bpp RGB, 8bpp indexed with a 256-entry palette), pens, brushes, fonts in pixels, paths,
// regions, matrices, image attributes and the JPEG/BMP/PNG encoders.

#include <memory>
#include <vector>

#include "SOGdi.h"

namespace Gdiplus {

using REAL = float;
using ARGB = DWORD;
using PixelFormat = INT;
using GraphicsState = UINT;

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
};

constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0x000E200B;
constexpr UINT GetPixelFormatSize(PixelFormat f) {
  return (static_cast<UINT>(f) >> 8) & 0xFF;
}

enum SmoothingMode {
  SmoothingModeInvalid = -1,
  SmoothingModeDefault = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,
  SmoothingModeNone = 3,
  SmoothingModeAntiAlias = 4,
};
enum InterpolationMode {
  InterpolationModeInvalid = -1,
  InterpolationModeDefault = 0,
  InterpolationModeLowQuality = 1,
  InterpolationModeHighQuality = 2,
  InterpolationModeBilinear = 3,
  InterpolationModeBicubic = 4,
  InterpolationModeNearestNeighbor = 5,
  InterpolationModeHighQualityBilinear = 6,
  InterpolationModeHighQualityBicubic = 7,
};
enum PixelOffsetMode {
  PixelOffsetModeInvalid = -1,
  PixelOffsetModeDefault = 0,
  PixelOffsetModeHighSpeed = 1,
  PixelOffsetModeHighQuality = 2,
  PixelOffsetModeNone = 3,
  PixelOffsetModeHalf = 4,
};
enum TextRenderingHint {
  TextRenderingHintSystemDefault = 0,
  TextRenderingHintSingleBitPerPixelGridFit = 1,
  TextRenderingHintSingleBitPerPixel = 2,
  TextRenderingHintAntiAliasGridFit = 3,
  TextRenderingHintAntiAlias = 4,
  TextRenderingHintClearTypeGridFit = 5,
};
enum CompositingMode { CompositingModeSourceOver = 0, CompositingModeSourceCopy = 1 };
enum WrapMode {
  WrapModeTile = 0,
  WrapModeTileFlipX = 1,
  WrapModeTileFlipY = 2,
  WrapModeTileFlipXY = 3,
  WrapModeClamp = 4
};
enum DashStyle {
  DashStyleSolid = 0,
  DashStyleDash = 1,
  DashStyleDot = 2,
  DashStyleDashDot = 3,
  DashStyleDashDotDot = 4,
  DashStyleCustom = 5
};
enum MatrixOrder { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };
enum Unit {
  UnitWorld = 0,
  UnitDisplay = 1,
  UnitPixel = 2,
  UnitPoint = 3,
  UnitInch = 4,
  UnitDocument = 5,
  UnitMillimeter = 6
};
enum FontStyle {
  FontStyleRegular = 0,
  FontStyleBold = 1,
  FontStyleItalic = 2,
  FontStyleBoldItalic = 3,
  FontStyleUnderline = 4,
  FontStyleStrikeout = 8
};
enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };
enum StringTrimming {
  StringTrimmingNone = 0,
  StringTrimmingCharacter = 1,
  StringTrimmingWord = 2,
  StringTrimmingEllipsisCharacter = 3,
  StringTrimmingEllipsisWord = 4,
  StringTrimmingEllipsisPath = 5,
};
enum StringFormatFlags {
  StringFormatFlagsDirectionRightToLeft = 0x0001,
  StringFormatFlagsDirectionVertical = 0x0002,
  StringFormatFlagsNoFitBlackBox = 0x0004,
  StringFormatFlagsMeasureTrailingSpaces = 0x0800,
  StringFormatFlagsNoWrap = 0x1000,
  StringFormatFlagsLineLimit = 0x2000,
  StringFormatFlagsNoClip = 0x4000,
};
enum CombineMode {
  CombineModeReplace = 0,
  CombineModeIntersect = 1,
  CombineModeUnion = 2,
  CombineModeXor = 3,
  CombineModeExclude = 4,
  CombineModeComplement = 5
};
enum FillMode { FillModeAlternate = 0, FillModeWinding = 1 };
enum ColorAdjustType {
  ColorAdjustTypeDefault = 0,
  ColorAdjustTypeBitmap = 1,
  ColorAdjustTypeBrush = 2,
  ColorAdjustTypePen = 3,
  ColorAdjustTypeText = 4
};
enum ColorMatrixFlags {
  ColorMatrixFlagsDefault = 0,
  ColorMatrixFlagsSkipGrays = 1,
  ColorMatrixFlagsAltGray = 2
};
enum ImageLockMode { ImageLockModeRead = 1, ImageLockModeWrite = 2, ImageLockModeUserInputBuf = 4 };
enum PaletteFlags { PaletteFlagsHasAlpha = 1, PaletteFlagsGrayScale = 2, PaletteFlagsHalftone = 4 };
enum EncoderParameterValueType { EncoderParameterValueTypeLong = 4 };

struct GdiplusStartupInput {
  UINT GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput {
  void* NotificationHook = nullptr;
  void* NotificationUnhook = nullptr;
};
// Nothing to start on Qt; the token only has to be non-zero and balanced.
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

class Color {
 public:
  Color() = default;
  Color(BYTE r, BYTE g, BYTE b) : argb_(MakeARGB(255, r, g, b)) {}
  Color(BYTE a, BYTE r, BYTE g, BYTE b) : argb_(MakeARGB(a, r, g, b)) {}
  Color(ARGB argb) : argb_(argb) {}
  BYTE GetA() const { return static_cast<BYTE>(argb_ >> 24); }
  BYTE GetR() const { return static_cast<BYTE>(argb_ >> 16); }
  BYTE GetG() const { return static_cast<BYTE>(argb_ >> 8); }
  BYTE GetB() const { return static_cast<BYTE>(argb_); }
  BYTE GetAlpha() const { return GetA(); }
  BYTE GetRed() const { return GetR(); }
  BYTE GetGreen() const { return GetG(); }
  BYTE GetBlue() const { return GetB(); }
  ARGB GetValue() const { return argb_; }
  void SetValue(ARGB argb) { argb_ = argb; }
  void SetFromCOLORREF(COLORREF c) { argb_ = MakeARGB(255, GetRValue(c), GetGValue(c), GetBValue(c)); }
  COLORREF ToCOLORREF() const { return RGB(GetR(), GetG(), GetB()); }
  static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b) {
    return (static_cast<ARGB>(a) << 24) | (static_cast<ARGB>(r) << 16) | (static_cast<ARGB>(g) << 8) | b;
  }
  static constexpr ARGB Black = 0xFF000000;
  static constexpr ARGB White = 0xFFFFFFFF;
  static constexpr ARGB Transparent = 0x00FFFFFF;

 private:
  ARGB argb_ = 0xFF000000;
};

struct Point {
  Point() = default;
  Point(INT x, INT y) : X(x), Y(y) {}
  INT X = 0;
  INT Y = 0;
};
struct PointF {
  PointF() = default;
  PointF(REAL x, REAL y) : X(x), Y(y) {}
  PointF(const Point& p) : X(static_cast<REAL>(p.X)), Y(static_cast<REAL>(p.Y)) {}
  REAL X = 0;
  REAL Y = 0;
};
struct Size {
  Size() = default;
  Size(INT w, INT h) : Width(w), Height(h) {}
  INT Width = 0;
  INT Height = 0;
};
struct SizeF {
  SizeF() = default;
  SizeF(REAL w, REAL h) : Width(w), Height(h) {}
  REAL Width = 0;
  REAL Height = 0;
};
struct Rect {
  Rect() = default;
  Rect(INT x, INT y, INT w, INT h) : X(x), Y(y), Width(w), Height(h) {}
  INT GetLeft() const { return X; }
  INT GetTop() const { return Y; }
  INT GetRight() const { return X + Width; }
  INT GetBottom() const { return Y + Height; }
  BOOL Contains(INT x, INT y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
  INT X = 0;
  INT Y = 0;
  INT Width = 0;
  INT Height = 0;
};
struct RectF {
  RectF() = default;
  RectF(REAL x, REAL y, REAL w, REAL h) : X(x), Y(y), Width(w), Height(h) {}
  RectF(const Rect& r) : X(r.X), Y(r.Y), Width(r.Width), Height(r.Height) {}
  REAL GetLeft() const { return X; }
  REAL GetTop() const { return Y; }
  REAL GetRight() const { return X + Width; }
  REAL GetBottom() const { return Y + Height; }
  BOOL Contains(REAL x, REAL y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
  REAL X = 0;
  REAL Y = 0;
  REAL Width = 0;
  REAL Height = 0;
};

struct ColorPalette {
  UINT Flags = 0;
  UINT Count = 0;
  ARGB Entries[1] = {};  // Count entries; allocate sizeof(ColorPalette) + (Count - 1) * sizeof(ARGB)
};

struct BitmapData {
  UINT Width = 0;
  UINT Height = 0;
  INT Stride = 0;
  INT PixelFormat = 0;  // a PixelFormat value
  void* Scan0 = nullptr;
  UINT_PTR Reserved = 0;
};

struct ColorMatrix {
  REAL m[5][5] = {};
};

// Row-vector matrix: p' = p * M, elements m11 m12 m21 m22 dx dy. Operations default to
// MatrixOrderPrepend (the new operation is applied before the existing ones).
class Matrix {
 public:
  Matrix();
  Matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy);
  Matrix(const RectF& rect, const PointF* dstPlg);  // maps rect onto the parallelogram of 3 points
  ~Matrix();
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;
  Matrix* Clone() const;
  Status Reset();
  Status SetElements(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy);
  Status GetElements(REAL* m) const;
  REAL OffsetX() const;
  REAL OffsetY() const;
  Status Translate(REAL dx, REAL dy, MatrixOrder order = MatrixOrderPrepend);
  Status Scale(REAL sx, REAL sy, MatrixOrder order = MatrixOrderPrepend);
  Status Rotate(REAL angle, MatrixOrder order = MatrixOrderPrepend);
  Status RotateAt(REAL angle, const PointF& center, MatrixOrder order = MatrixOrderPrepend);
  Status Shear(REAL sx, REAL sy, MatrixOrder order = MatrixOrderPrepend);
  Status Multiply(const Matrix* m, MatrixOrder order = MatrixOrderPrepend);
  Status Invert();
  BOOL IsInvertible() const;
  BOOL IsIdentity() const;
  Status TransformPoints(PointF* pts, INT count = 1) const;
  Status TransformPoints(Point* pts, INT count = 1) const;
  Status TransformVectors(PointF* pts, INT count = 1) const;
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  friend class GraphicsPath;
  friend class Region;
  REAL m_[6];
};

class Brush {
 public:
  virtual ~Brush() = default;
  virtual Brush* Clone() const = 0;
  Status GetLastStatus() const { return Ok; }

 protected:
  friend class Graphics;
  friend class Pen;
  Brush() = default;
  virtual ARGB BrushColor() const = 0;
};

class SolidBrush : public Brush {
 public:
  explicit SolidBrush(const Color& color) : color_(color) {}
  Brush* Clone() const override { return new SolidBrush(color_); }
  Status GetColor(Color* color) const;
  Status SetColor(const Color& color);

 private:
  ARGB BrushColor() const override { return color_.GetValue(); }
  Color color_;
};

class Pen {
 public:
  Pen(const Color& color, REAL width = 1.0f);
  Pen(const Brush* brush, REAL width = 1.0f);
  Pen* Clone() const;
  Status SetColor(const Color& color);
  Status GetColor(Color* color) const;
  Status SetWidth(REAL width);
  REAL GetWidth() const { return width_; }
  Status SetDashStyle(DashStyle style);
  DashStyle GetDashStyle() const { return dash_; }
  // Custom dashes in multiples of the pen width, as DashStyleCustom.
  Status SetDashPattern(const REAL* pattern, INT count);
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  friend class GraphicsPath;
  Color color_;
  REAL width_;
  DashStyle dash_ = DashStyleSolid;
  std::vector<REAL> pattern_;
};

class FontFamily {
 public:
  FontFamily();
  FontFamily(const WCHAR* name, void* fontCollection = nullptr);
  Status GetFamilyName(WCHAR* name, WORD language = 0) const;  // name holds LF_FACESIZE chars
  BOOL IsAvailable() const;
  static const FontFamily* GenericSansSerif();
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Font;
  std::wstring name_;
};

// Fonts name Windows faces; "Microsoft YaHei" and friends map to the installed CJK and
// Liberation faces.
class Font {
 public:
  Font(const WCHAR* familyName, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
  Font(const FontFamily* family, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
  Font(HDC hdc, HFONT font);
  Font(HDC hdc);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  Font* Clone() const;
  REAL GetSize() const { return size_; }
  INT GetStyle() const { return style_; }
  Unit GetUnit() const { return unit_; }
  REAL GetHeight(REAL dpi) const;
  Status GetFamily(FontFamily* family) const;
  BOOL IsAvailable() const { return TRUE; }
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  std::wstring family_;
  REAL size_;
  INT style_;
  Unit unit_;
};

class StringFormat {
 public:
  StringFormat(INT flags = 0, WORD language = 0);
  StringFormat(const StringFormat* format);
  static const StringFormat* GenericDefault();
  static const StringFormat* GenericTypographic();
  Status SetAlignment(StringAlignment a);
  StringAlignment GetAlignment() const { return align_; }
  Status SetLineAlignment(StringAlignment a);
  StringAlignment GetLineAlignment() const { return lineAlign_; }
  Status SetFormatFlags(INT flags);
  INT GetFormatFlags() const { return flags_; }
  Status SetTrimming(StringTrimming t);
  StringTrimming GetTrimming() const { return trimming_; }
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  INT flags_;
  StringAlignment align_ = StringAlignmentNear;
  StringAlignment lineAlign_ = StringAlignmentNear;
  StringTrimming trimming_ = StringTrimmingCharacter;
};

class GraphicsPath {
 public:
  explicit GraphicsPath(FillMode mode = FillModeAlternate);
  ~GraphicsPath();
  GraphicsPath(const GraphicsPath&) = delete;
  GraphicsPath& operator=(const GraphicsPath&) = delete;
  GraphicsPath* Clone() const;
  Status Reset();
  Status SetFillMode(FillMode mode);
  Status StartFigure();
  Status CloseFigure();
  Status AddLine(REAL x1, REAL y1, REAL x2, REAL y2);
  Status AddLine(const PointF& a, const PointF& b);
  Status AddLines(const PointF* pts, INT count);
  Status AddLines(const Point* pts, INT count);
  Status AddRectangle(const RectF& r);
  Status AddRectangle(const Rect& r);
  Status AddEllipse(REAL x, REAL y, REAL w, REAL h);
  Status AddEllipse(const RectF& r);
  Status AddPolygon(const PointF* pts, INT count);
  Status AddPolygon(const Point* pts, INT count);
  Status AddArc(REAL x, REAL y, REAL w, REAL h, REAL startAngle, REAL sweepAngle);
  Status AddBezier(const PointF& p1, const PointF& p2, const PointF& p3, const PointF& p4);
  Status AddPath(const GraphicsPath* path, BOOL connect);
  Status Transform(const Matrix* m);
  Status GetBounds(RectF* bounds, const Matrix* m = nullptr, const Pen* pen = nullptr) const;
  INT GetPointCount() const;
  BOOL IsVisible(REAL x, REAL y, const class Graphics* g = nullptr) const;
  BOOL IsOutlineVisible(REAL x, REAL y, const Pen* pen, const class Graphics* g = nullptr) const;
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  friend class Region;
  struct Impl;
  std::unique_ptr<Impl> d_;
};

class Region {
 public:
  Region();  // infinite
  explicit Region(const RectF& r);
  explicit Region(const Rect& r);
  explicit Region(const GraphicsPath* path);
  explicit Region(HRGN hrgn);
  ~Region();
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  Region* Clone() const;
  Status MakeInfinite();
  Status MakeEmpty();
  Status Intersect(const RectF& r);
  Status Intersect(const Rect& r);
  Status Intersect(const GraphicsPath* path);
  Status Intersect(const Region* region);
  Status Union(const RectF& r);
  Status Union(const Rect& r);
  Status Union(const GraphicsPath* path);
  Status Union(const Region* region);
  Status Xor(const RectF& r);
  Status Xor(const Rect& r);
  Status Xor(const GraphicsPath* path);
  Status Xor(const Region* region);
  Status Exclude(const RectF& r);
  Status Exclude(const Rect& r);
  Status Exclude(const GraphicsPath* path);
  Status Exclude(const Region* region);
  Status Translate(REAL dx, REAL dy);
  Status Transform(const Matrix* m);
  BOOL IsVisible(REAL x, REAL y, const class Graphics* g = nullptr) const;
  BOOL IsVisible(const PointF& p, const class Graphics* g = nullptr) const;
  BOOL IsVisible(INT x, INT y, const class Graphics* g = nullptr) const;
  BOOL IsVisible(const Point& p, const class Graphics* g = nullptr) const;
  BOOL IsEmpty(const class Graphics* g) const;
  BOOL IsInfinite(const class Graphics* g) const;
  Status GetBounds(RectF* rect, const class Graphics* g) const;
  Status GetBounds(Rect* rect, const class Graphics* g) const;
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  struct Impl;
  std::unique_ptr<Impl> d_;
};

class ImageAttributes {
 public:
  ImageAttributes();
  ~ImageAttributes();
  ImageAttributes(const ImageAttributes&) = delete;
  ImageAttributes& operator=(const ImageAttributes&) = delete;
  // Pixels whose every channel lies within [low, high] become transparent before drawing.
  Status SetColorKey(const Color& low, const Color& high, ColorAdjustType type = ColorAdjustTypeDefault);
  Status ClearColorKey(ColorAdjustType type = ColorAdjustTypeDefault);
  // Edges are never blended with what lies beyond the image, which is what WrapModeTileFlipXY
  // gives when an image is drawn whole; other modes draw the same.
  Status SetWrapMode(WrapMode wrap, const Color& color = Color(), BOOL clamp = FALSE);
  Status SetColorMatrix(const ColorMatrix* matrix, ColorMatrixFlags flags = ColorMatrixFlagsDefault,
                        ColorAdjustType type = ColorAdjustTypeDefault);
  Status ClearColorMatrix(ColorAdjustType type = ColorAdjustTypeDefault);
  Status GetLastStatus() const { return Ok; }

 private:
  friend class Graphics;
  bool hasKey_ = false;
  ARGB keyLow_ = 0;
  ARGB keyHigh_ = 0;
  bool hasMatrix_ = false;
  ColorMatrix matrix_;
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName = nullptr;
  const WCHAR* DllName = nullptr;
  const WCHAR* FormatDescription = nullptr;
  const WCHAR* FilenameExtension = nullptr;
  const WCHAR* MimeType = nullptr;
  DWORD Flags = 0;
  DWORD Version = 1;
  DWORD SigCount = 0;
  DWORD SigSize = 0;
  const BYTE* SigPattern = nullptr;
  const BYTE* SigMask = nullptr;
};
// Encoders: "image/bmp", "image/jpeg", "image/png" (in that order).
Status GetImageEncodersSize(UINT* numEncoders, UINT* size);
Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);

extern const GUID EncoderQuality;
struct EncoderParameter {
  GUID Guid;
  ULONG NumberOfValues = 0;
  ULONG Type = 0;
  void* Value = nullptr;
};
struct EncoderParameters {
  UINT Count = 0;
  EncoderParameter Parameter[1];
};

}  // namespace Gdiplus

// A growable in-memory stream, for encoding into memory (CreateStreamOnHGlobal).
struct IStream {
  virtual ~IStream() = default;
  virtual HRESULT Read(void* buffer, ULONG bytes, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) = 0;
  // origin: STREAM_SEEK_SET, _CUR or _END.
  virtual HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) = 0;
  virtual ULONGLONG Size() const = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
// hGlobal must be null (a fresh stream); the stream starts with one reference.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL deleteOnRelease, IStream** stream);

namespace Gdiplus {

class Image {
 public:
  virtual ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  static Image* FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
  UINT GetWidth() const;
  UINT GetHeight() const;
  PixelFormat GetPixelFormat() const;
  Status GetPhysicalDimension(SizeF* size) const;
  INT GetPaletteSize() const;
  Status GetPalette(ColorPalette* palette, INT size) const;
  Status SetPalette(const ColorPalette* palette);
  // Encoders by CLSID from GetImageEncoders; EncoderQuality (0..100) applies to JPEG.
  Status Save(const WCHAR* filename, const CLSID* clsid, const EncoderParameters* params = nullptr);
  Status Save(IStream* stream, const CLSID* clsid, const EncoderParameters* params = nullptr);
  Image* Clone() const;
  Status GetLastStatus() const { return status_; }

 protected:
  Image();
  friend class Graphics;
  struct Impl;
  std::unique_ptr<Impl> d_;
  Status status_ = Ok;
};

class Bitmap : public Image {
 public:
  Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);
  // Wraps the caller's pixels (kept alive by the caller), rows top-down, stride > 0.
  Bitmap(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0);
  Bitmap(const WCHAR* filename, BOOL useIcm = FALSE);
  Bitmap(IStream* stream, BOOL useIcm = FALSE);
  Bitmap(HBITMAP hbm, HPALETTE hpal);
  ~Bitmap() override;
  static Bitmap* FromHBITMAP(HBITMAP hbm, HPALETTE hpal);
  static Bitmap* FromFile(const WCHAR* filename, BOOL useIcm = FALSE);
  static Bitmap* FromStream(IStream* stream, BOOL useIcm = FALSE);
  // Our own: a bitmap whose pixels are left as the allocator gives them, for a caller that
  // writes every pixel before it draws (the constructor above clears them).
  static Bitmap* NewUncleared(INT width, INT height, PixelFormat format);
  Bitmap* Clone(const Rect& rect, PixelFormat format) const;
  Bitmap* Clone(INT x, INT y, INT w, INT h, PixelFormat format) const;
  Status LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* data);
  Status UnlockBits(BitmapData* data);
  Status GetPixel(INT x, INT y, Color* color) const;
  Status SetPixel(INT x, INT y, const Color& color);
  // A new 32-bit DIB section (the caller deletes it) with alpha composed over background.
  Status GetHBITMAP(const Color& background, HBITMAP* out);
  Status SetResolution(REAL dpiX, REAL dpiY);

 private:
  struct Lock;
  struct Uncleared {};
  Bitmap(INT width, INT height, PixelFormat format, Uncleared);
  std::unique_ptr<Lock> lock_;
};

class Graphics {
 public:
  explicit Graphics(HDC hdc);
  explicit Graphics(Image* image);
  static Graphics* FromHDC(HDC hdc);
  static Graphics* FromImage(Image* image);
  ~Graphics();
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  Status SetSmoothingMode(SmoothingMode mode);
  SmoothingMode GetSmoothingMode() const { return smoothing_; }
  Status SetInterpolationMode(InterpolationMode mode);
  InterpolationMode GetInterpolationMode() const { return interpolation_; }
  Status SetPixelOffsetMode(PixelOffsetMode mode);
  PixelOffsetMode GetPixelOffsetMode() const { return pixelOffset_; }
  Status SetTextRenderingHint(TextRenderingHint hint);
  TextRenderingHint GetTextRenderingHint() const { return textHint_; }
  Status SetCompositingMode(CompositingMode mode);
  CompositingMode GetCompositingMode() const { return compositing_; }
  Status SetPageUnit(Unit unit);

  Status SetTransform(const Matrix* m);
  Status GetTransform(Matrix* m) const;
  Status ResetTransform();
  Status MultiplyTransform(const Matrix* m, MatrixOrder order = MatrixOrderPrepend);
  Status TranslateTransform(REAL dx, REAL dy, MatrixOrder order = MatrixOrderPrepend);
  Status ScaleTransform(REAL sx, REAL sy, MatrixOrder order = MatrixOrderPrepend);
  Status RotateTransform(REAL angle, MatrixOrder order = MatrixOrderPrepend);

  Status SetClip(const RectF& r, CombineMode mode = CombineModeReplace);
  Status SetClip(const Rect& r, CombineMode mode = CombineModeReplace);
  Status SetClip(const GraphicsPath* path, CombineMode mode = CombineModeReplace);
  Status SetClip(const Region* region, CombineMode mode = CombineModeReplace);
  Status IntersectClip(const RectF& r);
  Status IntersectClip(const Rect& r);
  Status ResetClip();
  Status GetClip(Region* region) const;
  Status GetClipBounds(RectF* rect) const;

  GraphicsState Save();
  Status Restore(GraphicsState state);

  Status Clear(const Color& color);
  Status DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2);
  Status DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
  Status DrawLine(const Pen* pen, const Point& a, const Point& b);
  Status DrawLine(const Pen* pen, const PointF& a, const PointF& b);
  Status DrawLines(const Pen* pen, const PointF* pts, INT count);
  Status DrawLines(const Pen* pen, const Point* pts, INT count);
  Status DrawRectangle(const Pen* pen, INT x, INT y, INT w, INT h);
  Status DrawRectangle(const Pen* pen, REAL x, REAL y, REAL w, REAL h);
  Status DrawRectangle(const Pen* pen, const Rect& r);
  Status DrawRectangle(const Pen* pen, const RectF& r);
  Status FillRectangle(const Brush* brush, INT x, INT y, INT w, INT h);
  Status FillRectangle(const Brush* brush, REAL x, REAL y, REAL w, REAL h);
  Status FillRectangle(const Brush* brush, const Rect& r);
  Status FillRectangle(const Brush* brush, const RectF& r);
  Status DrawEllipse(const Pen* pen, INT x, INT y, INT w, INT h);
  Status DrawEllipse(const Pen* pen, REAL x, REAL y, REAL w, REAL h);
  Status DrawEllipse(const Pen* pen, const Rect& r);
  Status DrawEllipse(const Pen* pen, const RectF& r);
  Status FillEllipse(const Brush* brush, INT x, INT y, INT w, INT h);
  Status FillEllipse(const Brush* brush, REAL x, REAL y, REAL w, REAL h);
  Status FillEllipse(const Brush* brush, const RectF& r);
  Status DrawPolygon(const Pen* pen, const PointF* pts, INT count);
  Status DrawPolygon(const Pen* pen, const Point* pts, INT count);
  Status FillPolygon(const Brush* brush, const PointF* pts, INT count);
  Status FillPolygon(const Brush* brush, const Point* pts, INT count);
  Status DrawArc(const Pen* pen, REAL x, REAL y, REAL w, REAL h, REAL startAngle, REAL sweepAngle);
  Status DrawPath(const Pen* pen, const GraphicsPath* path);
  Status FillPath(const Brush* brush, const GraphicsPath* path);
  Status FillRegion(const Brush* brush, const Region* region);

  // length -1: up to the terminating zero. "\n\r" counts as one line break.
  Status DrawString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                    const StringFormat* format, const Brush* brush);
  Status DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                    const Brush* brush);
  Status DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                    const StringFormat* format, const Brush* brush);
  Status MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                       const StringFormat* format, RectF* bounds, INT* codepointsFitted = nullptr,
                       INT* linesFilled = nullptr) const;
  Status MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                       const StringFormat* format, RectF* bounds) const;
  Status MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin,
                       RectF* bounds) const;

  Status DrawImage(Image* image, INT x, INT y);
  Status DrawImage(Image* image, REAL x, REAL y);
  Status DrawImage(Image* image, INT x, INT y, INT w, INT h);
  Status DrawImage(Image* image, REAL x, REAL y, REAL w, REAL h);
  Status DrawImage(Image* image, const Rect& dst);
  Status DrawImage(Image* image, const RectF& dst);
  Status DrawImage(Image* image, const Rect& dst, INT srcX, INT srcY, INT srcW, INT srcH, Unit srcUnit,
                   const ImageAttributes* attrs = nullptr);
  Status DrawImage(Image* image, const RectF& dst, REAL srcX, REAL srcY, REAL srcW, REAL srcH, Unit srcUnit,
                   const ImageAttributes* attrs = nullptr);
  // Three points: the destination of the source's upper-left, upper-right and lower-left corners.
  Status DrawImage(Image* image, const Point* pts, INT count);
  Status DrawImage(Image* image, const PointF* pts, INT count);
  Status DrawImage(Image* image, const PointF* pts, INT count, REAL srcX, REAL srcY, REAL srcW, REAL srcH,
                   Unit srcUnit, const ImageAttributes* attrs = nullptr);
  Status DrawImage(Image* image, const Point* pts, INT count, INT srcX, INT srcY, INT srcW, INT srcH,
                   Unit srcUnit, const ImageAttributes* attrs = nullptr);

  Status Flush() { return Ok; }
  REAL GetDpiX() const { return 96.0f; }
  REAL GetDpiY() const { return 96.0f; }
  Status GetLastStatus() const { return status_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
  SmoothingMode smoothing_ = SmoothingModeDefault;
  InterpolationMode interpolation_ = InterpolationModeDefault;
  PixelOffsetMode pixelOffset_ = PixelOffsetModeDefault;
  TextRenderingHint textHint_ = TextRenderingHintSystemDefault;
  CompositingMode compositing_ = CompositingModeSourceOver;
  mutable Status status_ = Ok;
};

}  // namespace Gdiplus
