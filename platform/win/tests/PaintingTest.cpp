// Painting: a fixed GDI+ scene checked by pixel probes, GDI memory bitmaps and DIB layouts,
// windows drawn into PNG files, image encoders and the clipboard.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstring>
#include <filesystem>
#include <functional>

#include "SOGdiPlus.h"
#include "SOWinQt.h"
#include "WinTestUtil.h"

using namespace Gdiplus;
using namespace wintest;

namespace {

struct Rgb {
  int r, g, b;
};

// Nearest pixel within +-1 px whose colour is within tol of want.
bool Near(const QImage& img, int x, int y, Rgb want, int tol = 24) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      if (!img.valid(x + dx, y + dy)) continue;
      const QRgb c = img.pixel(x + dx, y + dy);
      if (std::abs(qRed(c) - want.r) <= tol && std::abs(qGreen(c) - want.g) <= tol &&
          std::abs(qBlue(c) - want.b) <= tol)
        return true;
    }
  return false;
}

bool Exactly(const QImage& img, int x, int y, Rgb want, int tol = 8) {
  const QRgb c = img.pixel(x, y);
  return std::abs(qRed(c) - want.r) <= tol && std::abs(qGreen(c) - want.g) <= tol &&
         std::abs(qBlue(c) - want.b) <= tol;
}

const CLSID* EncoderFor(const wchar_t* mime) {
  static std::vector<ImageCodecInfo> list;
  UINT n = 0, size = 0;
  GetImageEncodersSize(&n, &size);
  list.resize(n);
  GetImageEncoders(n, size, list.data());
  for (auto& e : list)
    if (std::wcscmp(e.MimeType, mime) == 0) return &e.Clsid;
  return nullptr;
}

QImage Saved(Bitmap& bmp, const std::filesystem::path& path) {
  EXPECT_EQ(bmp.Save(path.wstring().c_str(), EncoderFor(L"image/png")), Ok);
  return QImage(QString::fromStdString(path.string())).convertToFormat(QImage::Format_RGB32);
}

class Painting : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    ULONG_PTR t = 0;
    GdiplusStartupInput in;
    ASSERT_EQ(GdiplusStartup(&t, &in, nullptr), Ok);
    token = t;
    dir = orvanta::test::MakeTempDir("paint");
  }
  void TearDown() override { GdiplusShutdown(token); }
  ULONG_PTR token = 0;
  std::filesystem::path dir;
};

TEST_F(Painting, FixedSceneMatchesItsProbes) {
  Bitmap canvas(200, 200, PixelFormat32bppARGB);
  Graphics g(&canvas);
  ASSERT_EQ(g.GetLastStatus(), Ok);
  g.Clear(Color(255, 255, 255, 255));

  // Dashed frame: GDI+ dashes are 3 on, 1 off, in pen widths.
  Pen dashed(Color(255, 255, 0, 0), 1);
  dashed.SetDashStyle(DashStyleDash);
  g.DrawRectangle(&dashed, 10, 10, 180, 180);

  // An 8-bit palette image (left half index 1, right half index 2) turned by the world
  // transform: rotate first (prepended), then move.
  Bitmap indexed(20, 10, PixelFormat8bppIndexed);
  std::vector<BYTE> pal(sizeof(ColorPalette) + 255 * sizeof(ARGB));
  auto* palette = reinterpret_cast<ColorPalette*>(pal.data());
  palette->Count = 256;
  for (UINT i = 0; i < 256; ++i) palette->Entries[i] = Color::MakeARGB(255, 0, 0, 0);
  palette->Entries[1] = Color::MakeARGB(255, 0, 0, 255);
  palette->Entries[2] = Color::MakeARGB(255, 0, 160, 0);
  indexed.SetPalette(palette);
  BitmapData data;
  Rect all(0, 0, 20, 10);
  ASSERT_EQ(indexed.LockBits(&all, ImageLockModeWrite, PixelFormat8bppIndexed, &data), Ok);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) static_cast<BYTE*>(data.Scan0)[y * data.Stride + x] = x < 10 ? 1 : 2;
  indexed.UnlockBits(&data);
  g.SetInterpolationMode(InterpolationModeNearestNeighbor);
  g.TranslateTransform(100, 60);
  g.RotateTransform(90);
  g.DrawImage(&indexed, 0, 0);
  g.ResetTransform();

  // Three-point DrawImage: a yellow square sheared into a parallelogram.
  Bitmap yellow(10, 10, PixelFormat24bppRGB);
  {
    Graphics gy(&yellow);
    gy.Clear(Color(255, 255, 255, 0));
  }
  const Point plg[3] = {Point(120, 120), Point(160, 120), Point(130, 150)};
  g.DrawImage(&yellow, plg, 3);

  // Colour key: the black surround disappears, the red centre stays.
  Bitmap keyed(10, 10, PixelFormat32bppARGB);
  {
    Graphics gk(&keyed);
    gk.Clear(Color(255, 0, 0, 0));
    SolidBrush red(Color(255, 255, 0, 0));
    gk.FillRectangle(&red, 3, 3, 4, 4);
  }
  ImageAttributes attrs;
  attrs.SetColorKey(Color(0, 0, 0, 0), Color(255, 0, 0, 0));
  attrs.SetWrapMode(WrapModeTileFlipXY);
  g.DrawImage(&keyed, Rect(20, 150, 20, 20), 0, 0, 10, 10, UnitPixel, &attrs);

  // Alpha text and a pixel-exact fill.
  SolidBrush halfBlue(Color(128, 0, 0, 255));
  Font font(L"Microsoft YaHei", 16, FontStyleBold, UnitPixel);
  g.DrawString(L"Orvanta\n\rtext", -1, &font, RectF(20, 20, 70, 50), nullptr, &halfBlue);
  SolidBrush green(Color(255, 0, 128, 0));
  g.FillRectangle(&green, 50, 150, 10, 10);

  // An anti-aliased line sits on its pixel row by default and straddles two rows with
  // PixelOffsetModeHalf.
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  Pen black(Color(255, 0, 0, 0), 1);
  g.DrawLine(&black, 110.f, 30.f, 180.f, 30.f);
  g.SetPixelOffsetMode(PixelOffsetModeHalf);
  g.DrawLine(&black, 110.f, 40.f, 180.f, 40.f);

  const QImage img = Saved(canvas, dir / "scene.png");
  ASSERT_FALSE(img.isNull());
  const Rgb red{255, 0, 0}, white{255, 255, 255}, blue{0, 0, 255}, dgreen{0, 160, 0}, yel{255, 255, 0},
      green128{0, 128, 0};
  struct Probe {
    int x, y;
    Rgb want;
    bool exact;
  };
  const Probe probes[] = {
      // dashes along the top edge: 3 on, 1 off from the corner
      {10, 10, red, true},
      {11, 10, red, true},
      {12, 10, red, true},
      {13, 10, white, true},
      {14, 10, red, true},
      // the frame covers x..x+w
      {190, 100, red, false},
      {100, 190, red, false},
      {191, 100, white, true},
      {9, 100, white, true},
      // rotated palette image: x in [90,100), y in [60,80)
      {95, 64, blue, false},
      {95, 75, dgreen, false},
      {85, 65, white, true},
      {104, 65, white, true},
      {95, 84, white, true},
      // parallelogram
      {145, 135, yel, false},
      {128, 122, yel, false},
      {121, 148, white, true},
      {165, 122, white, true},
      // colour key
      {21, 151, white, true},
      {38, 168, white, true},
      {30, 160, red, false},
      // exact fill: 50..59 covered, 60 not
      {50, 150, green128, true},
      {59, 159, green128, true},
      {60, 155, white, true},
      {55, 160, white, true},
      {49, 155, white, true},
      // lines
      {140, 30, {0, 0, 0}, true},
      {140, 29, white, true},
      {140, 31, white, true},
  };
  for (const Probe& p : probes) {
    const bool ok = p.exact ? Exactly(img, p.x, p.y, p.want) : Near(img, p.x, p.y, p.want);
    EXPECT_TRUE(ok) << "probe " << p.x << "," << p.y << " is " << std::hex << img.pixel(p.x, p.y);
  }
  // The half-offset line spreads over rows 39 and 40 as mid grey.
  EXPECT_FALSE(Exactly(img, 140, 39, white, 20));
  EXPECT_FALSE(Exactly(img, 140, 40, {0, 0, 0}, 20));
  // The text shows, blended: nothing in its box is pure blue.
  int inked = 0, pure = 0;
  for (int y = 20; y < 70; ++y)
    for (int x = 20; x < 90; ++x) {
      inked += !Exactly(img, x, y, white, 4);
      pure += Exactly(img, x, y, blue, 4);
    }
  EXPECT_GT(inked, 50);
  EXPECT_EQ(pure, 0);
}

TEST_F(Painting, MatrixOrderAndRegions) {
  Matrix prepend;
  prepend.Translate(10, 0);
  prepend.Scale(2, 2);  // applied before the translation
  PointF p(1, 1);
  prepend.TransformPoints(&p);
  EXPECT_FLOAT_EQ(p.X, 12);
  EXPECT_FLOAT_EQ(p.Y, 2);
  Matrix append;
  append.Translate(10, 0);
  append.Scale(2, 2, MatrixOrderAppend);
  PointF q(1, 1);
  append.TransformPoints(&q);
  EXPECT_FLOAT_EQ(q.X, 22);
  EXPECT_FLOAT_EQ(q.Y, 2);
  EXPECT_EQ(append.Invert(), Ok);
  append.TransformPoints(&q);
  EXPECT_NEAR(q.X, 1, 1e-5);

  Region r(Rect(0, 0, 10, 10));
  r.Xor(Rect(5, 5, 10, 10));
  EXPECT_TRUE(r.IsVisible(2, 2));
  EXPECT_FALSE(r.IsVisible(7, 7));
  EXPECT_TRUE(r.IsVisible(12, 12));
  EXPECT_FALSE(r.IsVisible(20, 20));
  GraphicsPath circle;
  circle.AddEllipse(0.f, 0.f, 20.f, 20.f);
  Region c(&circle);
  c.Intersect(RectF(0, 0, 10, 20));
  EXPECT_TRUE(c.IsVisible(5.f, 10.f));
  EXPECT_FALSE(c.IsVisible(15.f, 10.f));
  EXPECT_FALSE(c.IsVisible(1.f, 1.f));
}

TEST_F(Painting, BitmapPixelLayoutsAndLockBits) {
  Bitmap rgb(4, 2, PixelFormat24bppRGB);
  rgb.SetPixel(1, 0, Color(255, 10, 20, 30));
  BitmapData d;
  Rect r(0, 0, 4, 2);
  ASSERT_EQ(rgb.LockBits(&r, ImageLockModeRead, PixelFormat24bppRGB, &d), Ok);
  const BYTE* px = static_cast<const BYTE*>(d.Scan0) + 3;
  EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{30, 20, 10})) << "24bpp is B,G,R";
  EXPECT_EQ(d.Stride % 4, 0);
  rgb.UnlockBits(&d);

  Bitmap argb(2, 1, PixelFormat32bppARGB);
  argb.SetPixel(0, 0, Color(40, 10, 20, 30));
  ASSERT_EQ(argb.LockBits(nullptr, ImageLockModeRead | ImageLockModeWrite, PixelFormat32bppARGB, &d), Ok);
  auto* b = static_cast<BYTE*>(d.Scan0);
  EXPECT_EQ((std::vector<int>{b[0], b[1], b[2], b[3]}), (std::vector<int>{30, 20, 10, 40}))
      << "32bpp is B,G,R,A";
  b[4] = 1, b[5] = 2, b[6] = 3, b[7] = 255;
  EXPECT_EQ(argb.LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &d), WrongState);
  argb.UnlockBits(&d);
  Color c;
  argb.GetPixel(1, 0, &c);
  EXPECT_EQ(c.GetValue(), Color::MakeARGB(255, 3, 2, 1));

  // A converted lock writes back on unlock.
  ASSERT_EQ(argb.LockBits(nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &d), Ok);
  static_cast<BYTE*>(d.Scan0)[0] = 200;
  argb.UnlockBits(&d);
  argb.GetPixel(0, 0, &c);
  EXPECT_EQ(c.GetB(), 200);

  Bitmap indexed(3, 3, PixelFormat8bppIndexed);
  Graphics onIndexed(&indexed);
  EXPECT_NE(onIndexed.GetLastStatus(), Ok) << "indexed bitmaps take no graphics";
  EXPECT_EQ(indexed.LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &d), InvalidParameter);
  Rect outside(2, 2, 5, 5);
  EXPECT_EQ(argb.LockBits(&outside, ImageLockModeRead, PixelFormat32bppARGB, &d), InvalidParameter);
}

TEST_F(Painting, EncodersRoundTripAndJpegQualityMatters) {
  Bitmap src(48, 32, PixelFormat32bppARGB);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) src.SetPixel(x, y, Color(255, x * 5, y * 7, (x + y) % 2 ? 200 : 20));
  struct Case {
    const wchar_t* mime;
    const char* ext;
    int tol;
  };
  for (const Case& c :
       {Case{L"image/png", "png", 0}, Case{L"image/bmp", "bmp", 0}, Case{L"image/jpeg", "jpg", 255}}) {
    const CLSID* clsid = EncoderFor(c.mime);
    ASSERT_NE(clsid, nullptr) << c.ext;
    const auto path = dir / (std::string("round.") + c.ext);
    ASSERT_EQ(src.Save(path.wstring().c_str(), clsid), Ok) << c.ext;
    Bitmap back(path.wstring().c_str());
    ASSERT_EQ(back.GetLastStatus(), Ok) << c.ext;
    EXPECT_EQ(back.GetWidth(), 48u);
    EXPECT_EQ(back.GetHeight(), 32u);
    if (c.tol == 0) {
      Color a, b;
      for (int i = 0; i < 48 * 32; i += 37) {
        src.GetPixel(i % 48, i / 48, &a);
        back.GetPixel(i % 48, i / 48, &b);
        EXPECT_EQ(a.GetValue() | 0xFF000000, b.GetValue() | 0xFF000000) << c.ext << " pixel " << i;
      }
    }
  }
  // Into memory streams at two qualities.
  auto encode = [&](ULONG quality) {
    EncoderParameters params;
    params.Count = 1;
    params.Parameter[0].Guid = EncoderQuality;
    params.Parameter[0].Type = EncoderParameterValueTypeLong;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Value = &quality;
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    EXPECT_EQ(src.Save(stream, EncoderFor(L"image/jpeg"), &params), Ok);
    const ULONGLONG size = stream->Size();
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    Bitmap decoded(stream);
    EXPECT_EQ(decoded.GetLastStatus(), Ok);
    EXPECT_EQ(decoded.GetWidth(), 48u);
    stream->Release();
    return size;
  };
  EXPECT_LT(encode(5), encode(95));
  EXPECT_EQ(src.Save((dir / "x.gif").wstring().c_str(), nullptr), InvalidParameter);
  Bitmap missing(L"/nonexistent/file.png");
  EXPECT_NE(missing.GetLastStatus(), Ok);
}

TEST_F(Painting, DibSectionsExposeTheirPixelsInBothRowOrders) {
  for (bool topDown : {true, false}) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = topDown ? -3 : 3;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, dib);
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    RECT topRow{0, 0, 4, 1};
    FillRect(mem, &topRow, brush);
    // The picture's top row sits first in memory only for top-down sections.
    const auto* px = static_cast<const BYTE*>(bits) + (topDown ? 0 : 2 * 16);
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{30, 20, 10})) << topDown;
    static_cast<BYTE*>(bits)[(topDown ? 2 : 0) * 16 + 2] = 250;  // red of the picture's bottom-left pixel
    EXPECT_EQ(GetPixel(mem, 0, 2), RGB(250, 0, 0));
    EXPECT_EQ(GetPixel(mem, 0, 0), RGB(10, 20, 30));
    BITMAP bm;
    ASSERT_EQ(GetObjectW(dib, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_FALSE(DeleteObject(dib)) << "selected bitmaps stay";
    SelectObject(mem, old);
    EXPECT_TRUE(DeleteObject(dib));
    DeleteObject(brush);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
  }
}

TEST_F(Painting, DibTransfersKeepRowOrderAndPadding) {
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(mem, 3, 2);
  HGDIOBJ old = SelectObject(mem, bmp);
  SetPixel(mem, 0, 0, RGB(1, 2, 3));  // top-left
  SetPixel(mem, 2, 1, RGB(7, 8, 9));  // bottom-right
  SelectObject(mem, old);
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = 3;
  bi.bmiHeader.biHeight = 2;  // bottom-up: the bottom row comes first
  bi.bmiHeader.biBitCount = 24;
  std::vector<BYTE> bits(2 * 12, 0xEE);  // rows padded to 12 bytes
  ASSERT_EQ(GetDIBits(mem, bmp, 0, 2, bits.data(), &bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ((std::vector<int>{bits[6], bits[7], bits[8]}), (std::vector<int>{9, 8, 7}));
  EXPECT_EQ((std::vector<int>{bits[12], bits[13], bits[14]}), (std::vector<int>{3, 2, 1}));
  bits[12 + 3 + 2] = 200;  // red of the top row's middle pixel
  ASSERT_EQ(SetDIBits(mem, bmp, 0, 2, bits.data(), &bi, DIB_RGB_COLORS), 2);
  SelectObject(mem, bmp);
  EXPECT_EQ(GetPixel(mem, 1, 0), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(mem, 2, 1), RGB(7, 8, 9));

  // A 2x2 top-down picture doubled into 4x4.
  HBITMAP big = CreateCompatibleBitmap(mem, 4, 4);
  SelectObject(mem, big);
  const uint32_t quad[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
  BITMAPINFO qi{};
  qi.bmiHeader.biWidth = 2;
  qi.bmiHeader.biHeight = -2;
  qi.bmiHeader.biBitCount = 32;
  EXPECT_EQ(StretchDIBits(mem, 0, 0, 4, 4, 0, 0, 2, 2, quad, &qi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(mem, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(mem, 3, 1), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(mem, 1, 3), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(mem, 3, 3), RGB(255, 255, 255));
  SelectObject(mem, old);
  DeleteObject(big);
  DeleteObject(bmp);
  DeleteDC(mem);
}

// Blits between memory bitmaps: pixel exact, a source overlapping its destination read as it was
// before, source pixels past the bitmap's edge black, negative extents mirrored, raster operations.
TEST_F(Painting, BlitsCopyExactPixelsAlsoOverlappingAndPastTheEdge) {
  auto source = [](int x, int y) { return RGB(10 * x + 1, 10 * y + 2, 100); };
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HBITMAP bmpA = CreateCompatibleBitmap(a, 6, 4), bmpB = CreateCompatibleBitmap(b, 6, 4);
  HGDIOBJ oldA = SelectObject(a, bmpA), oldB = SelectObject(b, bmpB);
  auto reset = [&] {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        SetPixel(a, x, y, source(x, y));
        SetPixel(b, x, y, RGB(200, 200, 200));
      }
  };
  struct Case {
    const char* name;
    HDC dest;
    int x, y, w, h, sx, sy;
    DWORD rop;
    // The expected colour at (x, y) of the destination.
    std::function<COLORREF(int, int)> want;
    int sw = 0, sh = 0;  // the source extent when it differs from the destination's
  };
  const COLORREF grey = RGB(200, 200, 200);
  const Case cases[] = {
      {"inside", b, 1, 1, 3, 2, 2, 1, SRCCOPY,
       [&](int x, int y) { return x >= 1 && x < 4 && y >= 1 && y < 3 ? source(x + 1, y) : grey; }},
      {"onto itself, shifted right", a, 1, 0, 5, 4, 0, 0, SRCCOPY,
       [&](int x, int y) { return x >= 1 ? source(x - 1, y) : source(x, y); }},
      {"onto itself, shifted left", a, 0, 0, 5, 4, 1, 0, SRCCOPY,
       [&](int x, int y) { return x < 5 ? source(x + 1, y) : source(x, y); }},
      {"past the edge", b, 0, 0, 4, 4, 3, 2, SRCCOPY,
       [&](int x, int y) { return x >= 4 ? grey : x + 3 < 6 && y + 2 < 4 ? source(x + 3, y + 2) : RGB(0, 0, 0); }},
      {"doubled", b, 0, 0, 6, 4, 1, 1, SRCCOPY, [&](int x, int y) { return source(1 + x / 2, 1 + y / 2); }, 3, 2},
      {"mirrored", b, 6, 0, -6, 4, 0, 0, SRCCOPY, [&](int x, int y) { return source(5 - x, y); }},
      {"inverted", b, 0, 0, 6, 4, 0, 0, NOTSRCCOPY, [&](int x, int y) { return source(x, y) ^ 0xFFFFFF; }},
      {"and", b, 0, 0, 6, 4, 0, 0, SRCAND, [&](int x, int y) { return source(x, y) & grey; }},
  };
  for (const Case& c : cases) {
    reset();
    ASSERT_TRUE(StretchBlt(c.dest, c.x, c.y, c.w, c.h, a, c.sx, c.sy, c.sw ? c.sw : std::abs(c.w),
                           c.sh ? c.sh : c.h, c.rop))
        << c.name;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) ASSERT_EQ(GetPixel(c.dest, x, y), c.want(x, y)) << c.name << " at " << x << "," << y;
  }
  SelectObject(a, oldA);
  SelectObject(b, oldB);
  DeleteObject(bmpA);
  DeleteObject(bmpB);
  DeleteDC(a);
  DeleteDC(b);
}

// A window whose child paints a gradient through a memory DC and GDI+, with GDI text.
LRESULT GradientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wp, lp);
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  HDC mem = CreateCompatibleDC(hdc);
  HBITMAP bmp = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
  HGDIOBJ old = SelectObject(mem, bmp);
  {
    Graphics g(mem);
    for (int x = 0; x < rc.right; ++x) {
      Pen pen(Color(255, 0, static_cast<BYTE>(x * 255 / std::max<LONG>(rc.right - 1, 1)), 80), 1);
      g.DrawLine(&pen, x, 0, x, rc.bottom);
    }
  }
  SetBkMode(mem, TRANSPARENT);
  SetTextColor(mem, RGB(255, 255, 255));
  RECT text{0, 0, rc.right, 30};
  DrawTextW(mem, L"gradient", -1, &text, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
  BitBlt(hdc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  EndPaint(hwnd, &ps);
  return 0;
}

TEST_F(Painting, HiddenWindowTreeRendersToPngAndClipboard) {
  WNDCLASSEXW wc;
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = GradientProc;
  wc.lpszClassName = L"GradientTest";
  wc.hbrBackground = CreateSolidBrush(RGB(40, 40, 40));
  RegisterClassExW(&wc);
  HWND top = MakeTop(160, 100);
  HWND child = CreateWindowExW(0, L"GradientTest", L"", WS_CHILD | WS_VISIBLE, 20, 10, 120, 80, top, nullptr,
                               nullptr, nullptr);
  ASSERT_TRUE(IsWindow(child));
  const auto png = dir / "window.png";
  ASSERT_TRUE(SOWin::SaveWindowImage(top, png.string()));
  const QImage img = QImage(QString::fromStdString(png.string())).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(img.size(), QSize(160, 100));
  // Left end dark, right end green, the top window's own area left as is.
  EXPECT_TRUE(Near(img, 21, 80, {0, 0, 80}, 12));
  EXPECT_TRUE(Near(img, 138, 80, {0, 255, 80}, 12));
  EXPECT_TRUE(Exactly(img, 5, 5, {255, 255, 255}, 0));

  // The captures copy from the window's DC; hidden as it is, the copy shows the window tree.
  HDC windowDc = GetDC(top);
  HDC copyDc = CreateCompatibleDC(windowDc);
  HBITMAP copy = CreateCompatibleBitmap(windowDc, 150, 90);
  SelectObject(copyDc, copy);
  ASSERT_TRUE(BitBlt(copyDc, 0, 0, 150, 90, windowDc, 5, 5, SRCCOPY | CAPTUREBLT));
  EXPECT_EQ(GetPixel(copyDc, 0, 0), RGB(255, 255, 255));
  EXPECT_GT(GetGValue(GetPixel(copyDc, 132, 70)), 240) << "the child's right end, offset by the inset";
  EXPECT_LT(GetGValue(GetPixel(copyDc, 16, 70)), 16);
  DeleteDC(copyDc);
  DeleteObject(copy);
  ReleaseDC(top, windowDc);

  // The capture goes through the clipboard as CF_BITMAP.
  HBITMAP shot = SOWin::CaptureWindow(child);
  ASSERT_TRUE(OpenClipboard(top));
  EXPECT_FALSE(OpenClipboard(top)) << "one opener at a time";
  EmptyClipboard();
  EXPECT_EQ(SetClipboardData(CF_BITMAP, shot), shot);
  CloseClipboard();
  ASSERT_TRUE(OpenClipboard(nullptr));
  HBITMAP back = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  ASSERT_NE(back, nullptr);
  BITMAP bm;
  GetObjectW(back, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmWidth, 120);
  EXPECT_EQ(bm.bmHeight, 80);
  HDC mem = CreateCompatibleDC(nullptr);
  SelectObject(mem, back);
  const COLORREF right = GetPixel(mem, 118, 70);
  EXPECT_GT(GetGValue(right), 240);
  DeleteDC(mem);
  EmptyClipboard();
  CloseClipboard();
  DestroyWindow(top);
  EXPECT_TRUE(UnregisterClassW(L"GradientTest", nullptr));
}

TEST_F(Painting, GdiTextMeasuresAndBreaksLines) {
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(mem, 200, 100);
  SelectObject(mem, bmp);
  HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Microsoft YaHei");
  SelectObject(mem, font);
  RECT one{0, 0, 200, 0}, two{0, 0, 200, 0};
  const int h1 = DrawTextW(mem, L"line", -1, &one, DT_CALCRECT);
  const int h2 = DrawTextW(mem, L"line\n\rline", -1, &two, DT_CALCRECT);
  EXPECT_GT(h1, 10);
  EXPECT_NEAR(h2, 2 * h1, 2) << "\"\\n\\r\" is one line break";
  SIZE wide, narrow;
  GetTextExtentPoint32W(mem, L"WWWW", 4, &wide);
  GetTextExtentPoint32W(mem, L"iiii", 4, &narrow);
  EXPECT_GT(wide.cx, narrow.cx);
  EXPECT_EQ(GetDeviceCaps(mem, LOGPIXELSY), 96);
  SelectObject(mem, GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
  DeleteDC(mem);
  DeleteObject(bmp);
}

}  // namespace

// 8-bit bitmaps are drawn without Qt's per-paint conversion: whole-pixel moves go straight into
// the target and other draws use a 32-bit copy kept until the pixels or palette change. Every
// case must give exactly what Qt gives for the same indexed image, also after such changes.
TEST_F(Painting, IndexedBitmapsDrawAsQtDrawsThemAcrossChanges) {
  constexpr int kW = 64, kH = 48, kIw = 20, kIh = 12;
  struct Case {
    const char* name;
    REAL m[6];  // world transform
    RectF dst;
    bool smooth;
    int palette;  // 0 grey ramp, 1 colours, 2 colours with translucent entries
    bool clip;    // DC clip of two rectangles
  };
  const Case cases[] = {
      {"whole-pixel move, grey", {1, 0, 0, 1, 7, 3}, RectF(3, 5, kIw, kIh), true, 0, false},
      {"whole-pixel move, colours, clipped", {1, 0, 0, 1, 0, 0}, RectF(-4, 30, kIw, kIh), false, 1, true},
      {"translucent palette", {1, 0, 0, 1, 0, 0}, RectF(10, 10, kIw, kIh), true, 2, false},
      {"half-pixel move", {1, 0, 0, 1, 0.5f, 0}, RectF(10, 10, kIw, kIh), true, 1, false},
      {"enlarged, clipped", {1, 0, 0, 1, 0, 0}, RectF(2, 1, 2 * kIw, 2.5f * kIh), true, 0, true},
      {"reduced", {1, 0, 0, 1, 0, 0}, RectF(5, 5, kIw / 2.f, kIh / 2.f), true, 1, false},
      {"turned 90", {0, 1, -1, 0, 40, 4}, RectF(0, 0, kIw, kIh), false, 1, false},
      {"turned 30, translucent", {0.866f, 0.5f, -0.5f, 0.866f, 30, 2}, RectF(0, 0, kIw, kIh), true, 2, true},
  };
  auto paletteOf = [](int kind, int shift) {
    std::vector<QRgb> table(256);
    for (int i = 0; i < 256; ++i) {
      const int v = (i + shift) & 0xFF;
      table[i] = kind == 0 ? qRgb(i, i, i) : qRgba(v, 255 - v, (v * 7) & 0xFF, kind == 2 && i % 3 ? 90 : 255);
    }
    return table;
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap bmp(kIw, kIh, PixelFormat8bppIndexed);
    std::vector<uchar> caller(static_cast<size_t>(kIw) * kIh);
    Bitmap wrapped(kIw, kIh, kIw, PixelFormat8bppIndexed, caller.data());
    QImage ref(kIw, kIh, QImage::Format_Indexed8);

    auto setPalette = [&](int shift) {
      const std::vector<QRgb> table = paletteOf(c.palette, shift);
      std::vector<BYTE> bytes(sizeof(ColorPalette) + 255 * sizeof(ARGB));
      auto* pal = reinterpret_cast<ColorPalette*>(bytes.data());
      pal->Count = 256;
      std::copy(table.begin(), table.end(), pal->Entries);
      bmp.SetPalette(pal);
      wrapped.SetPalette(pal);
      ref.setColorTable(QList<QRgb>(table.begin(), table.end()));
    };
    auto setPixels = [&](int seed) {
      BitmapData data;
      ASSERT_EQ(bmp.LockBits(nullptr, ImageLockModeWrite, PixelFormat8bppIndexed, &data), Ok);
      for (int y = 0; y < kIh; ++y)
        for (int x = 0; x < kIw; ++x) {
          const uchar v = static_cast<uchar>((x * 13 + y * 29 + seed) * 7);
          static_cast<uchar*>(data.Scan0)[y * data.Stride + x] = v;
          caller[static_cast<size_t>(y) * kIw + x] = v;  // changed behind the wrapping bitmap's back
          ref.setPixel(x, y, v);
        }
      bmp.UnlockBits(&data);
    };
    auto check = [&](Bitmap& drawn, const char* step) {
      BITMAPINFO bi{};
      bi.bmiHeader.biWidth = kW;
      bi.bmiHeader.biHeight = -kH;
      bi.bmiHeader.biBitCount = 32;
      uint32_t* bits = nullptr;
      HDC mem = CreateCompatibleDC(nullptr);
      HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
      HGDIOBJ old = SelectObject(mem, dib);
      std::fill(bits, bits + kW * kH, 0xFF203040u);
      QImage want(kW, kH, QImage::Format_RGB32);
      want.fill(0xFF203040u);
      QRegion clip;
      if (c.clip) {
        HRGN a = CreateRectRgn(0, 0, 30, 40), b = CreateRectRgn(20, 20, 60, 44);
        CombineRgn(a, a, b, RGN_OR);
        SelectClipRgn(mem, a);
        DeleteObject(a);
        DeleteObject(b);
        clip = QRegion(0, 0, 30, 40) | QRegion(20, 20, 40, 24);
      }
      {
        Graphics g(mem);
        Matrix world(c.m[0], c.m[1], c.m[2], c.m[3], c.m[4], c.m[5]);
        g.SetTransform(&world);
        g.SetInterpolationMode(c.smooth ? InterpolationModeBilinear : InterpolationModeNearestNeighbor);
        g.SetPixelOffsetMode(PixelOffsetModeHalf);
        ASSERT_EQ(g.DrawImage(&drawn, c.dst, 0, 0, kIw, kIh, UnitPixel), Ok);
      }
      {
        QPainter p(&want);
        if (c.clip) p.setClipRegion(clip);
        p.setRenderHint(QPainter::SmoothPixmapTransform, c.smooth);
        p.setTransform(QTransform(c.m[0], c.m[1], c.m[2], c.m[3], c.m[4], c.m[5]));
        const double sx = c.dst.Width / double(kIw), sy = c.dst.Height / double(kIh);
        p.setTransform(QTransform(sx, 0, 0, sy, c.dst.X, c.dst.Y), true);
        p.drawImage(QRectF(0, 0, kIw, kIh), ref, QRectF(0, 0, kIw, kIh));
      }
      int wrong = 0;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) wrong += (bits[y * kW + x] | 0xFF000000u) != want.pixel(x, y);
      EXPECT_EQ(wrong, 0) << step;
      SelectObject(mem, old);
      DeleteObject(dib);
      DeleteDC(mem);
    };

    setPalette(0);
    setPixels(0);
    check(bmp, "first draw");
    check(bmp, "repaint");
    setPixels(5);
    check(bmp, "new pixels");
    setPalette(40);
    check(bmp, "new palette");
    check(wrapped, "caller's memory");
    setPixels(9);
    check(wrapped, "caller's memory changed in place");
  }
}

// Painted copies belong to their bitmap: two live bitmaps with the same number of changes, drawn
// scaled in turn, each show their own pixels.
TEST_F(Painting, IndexedBitmapsKeepTheirOwnPaintedCopies) {
  auto filled = [](BYTE index, int side = 4) {
    auto bmp = std::make_unique<Bitmap>(side, side, PixelFormat8bppIndexed);
    BitmapData data;
    EXPECT_EQ(bmp->LockBits(nullptr, ImageLockModeWrite, PixelFormat8bppIndexed, &data), Ok);
    for (int y = 0; y < side; ++y) std::memset(static_cast<BYTE*>(data.Scan0) + y * data.Stride, index, side);
    bmp->UnlockBits(&data);
    return bmp;
  };
  auto drawnGrey = [](Bitmap& bmp) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = 8;
    bi.bmiHeader.biHeight = -8;
    bi.bmiHeader.biBitCount = 32;
    uint32_t* bits = nullptr;
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    {
      Graphics g(mem);
      g.SetInterpolationMode(InterpolationModeNearestNeighbor);
      g.DrawImage(&bmp, 0, 0, 8, 8);
    }
    const int grey = static_cast<int>(bits[3 * 8 + 3] & 0xFF);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    return grey;
  };
  auto dark = filled(10), light = filled(200);
  EXPECT_EQ(drawnGrey(*dark), 10);
  EXPECT_EQ(drawnGrey(*light), 200);
  EXPECT_EQ(drawnGrey(*dark), 10);
  dark.reset();
  auto next = filled(99);
  EXPECT_EQ(drawnGrey(*next), 99);
  EXPECT_EQ(drawnGrey(*light), 200);

  // More large bitmaps than the copies may hold: copies give their memory to newer ones, and
  // every bitmap, drawn again, still shows its own pixels.
  std::vector<std::unique_ptr<Bitmap>> large;
  for (BYTE i = 0; i < 6; ++i) large.push_back(filled(static_cast<BYTE>(30 + 20 * i), 2048));
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 6; ++i) {
      const int k = round ? 5 - i : i;
      EXPECT_EQ(drawnGrey(*large[k]), 30 + 20 * k) << "round " << round << ", bitmap " << k;
    }
  EXPECT_EQ(drawnGrey(*light), 200);
}

// Files read the way QImage reads them, whichever decoder the PNG signature picks: every PNG
// layout, other formats, a PNG named otherwise, another format named .png, a broken PNG.
TEST_F(Painting, ImageFilesReadAsQtReadsThem) {
  QImage argb(7, 5, QImage::Format_ARGB32);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) argb.setPixel(x, y, qRgba(x * 30, y * 50, 90, x == y ? 0 : 40 + x * 30));
  QImage deep = argb.convertToFormat(QImage::Format_RGBA64);
  deep.setPixelColor(1, 1, QColor::fromRgba64(0x1234, 0xfedc, 0x0101, 0x8000));
  struct Case {
    const char* name;
    QImage image;
    const char* format;
  };
  const Case cases[] = {
      {"argb.png", argb, "PNG"},
      {"rgb.png", argb.convertToFormat(QImage::Format_RGB32), "PNG"},
      {"grey.png", argb.convertToFormat(QImage::Format_Grayscale8), "PNG"},
      {"palette.png", argb.convertToFormat(QImage::Format_Indexed8), "PNG"},
      {"deep.png", deep, "PNG"},
      {"png-named.bmp", argb, "PNG"},
      {"picture.bmp", argb, "BMP"},
      {"bmp-named.png", argb, "BMP"},
      {"photo.jpg", argb.convertToFormat(QImage::Format_RGB32), "JPEG"},
  };
  for (const Case& c : cases) {
    const QString path = QString::fromStdString((dir / c.name).string());
    ASSERT_TRUE(c.image.save(path, c.format)) << c.name;
    const QImage read = SOWin::ReadImageFile(path), qt(path);
    EXPECT_FALSE(read.isNull()) << c.name;
    EXPECT_EQ(read.format(), qt.format()) << c.name;
    EXPECT_TRUE(read == qt) << c.name;
  }
  // The first 40 bytes of a PNG: the signature, then a cut header.
  const QString whole = QString::fromStdString((dir / "argb.png").string());
  const QString cut = QString::fromStdString((dir / "cut.png").string());
  QFile::copy(whole, cut);
  QFile(cut).resize(40);
  EXPECT_TRUE(SOWin::ReadImageFile(cut).isNull());
  EXPECT_TRUE(SOWin::ReadImageFile(QString::fromStdString((dir / "missing.png").string())).isNull());
}
