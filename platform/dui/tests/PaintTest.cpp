#include "DuiTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

// A control of the application's own: it fills itself with GDI on the DC it is given.
class CGdiMarkUI : public CControlUI {
 public:
  void PaintStatusImage(HDC hDC) override {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(hDC, &m_rcItem, red);
    DeleteObject(red);
  }
};

struct Target {
  const char* what;
  LONG dibHeight;  // 0: a compatible bitmap; > 0 bottom-up DIB; < 0 top-down DIB
};

}  // namespace

TEST(DuiPaint, ControlsShareTheDcWithGdiDrawingOnAnyBitmap) {
  orvanta::test::EnsureQtApp();
  CPaintManagerUI pm;
  CControlUI* root = duitest::Build(
      pm, L"<Window><VerticalLayout bkcolor='#FF0000FF' inset='10,10,10,10'/></Window>", 100, 80);
  ASSERT_NE(root, nullptr);
  auto* mark = new CGdiMarkUI;
  mark->SetFixedHeight(30);
  mark->SetBorderSize(2);
  mark->SetBorderColor(0xFF00FF00);
  static_cast<CContainerUI*>(root)->Add(mark);
  pm.UpdateLayout(SIZE{100, 80});
  ASSERT_EQ(duitest::RectText(mark->GetPos()), L"10,10,90,40");

  for (const Target& t : {Target{"compatible bitmap", 0}, Target{"bottom-up DIB", 80}, Target{"top-down DIB", -80}}) {
    SCOPED_TRACE(t.what);
    HBITMAP bitmap = nullptr;
    if (t.dibHeight == 0) {
      bitmap = CreateCompatibleBitmap(nullptr, 100, 80);
    } else {
      BITMAPINFO info{};
      info.bmiHeader.biWidth = 100;
      info.bmiHeader.biHeight = t.dibHeight;
      info.bmiHeader.biBitCount = 32;
      void* bits = nullptr;
      bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    pm.Paint(dc);
    // The engine's background, the application's GDI fill, then the engine's border over it.
    EXPECT_EQ(GetPixel(dc, 5, 60), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 50, 25), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 50, 10), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc, 50, 39), RGB(0, 255, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
}
