// win_demo: a top-level window with a child that paints a gradient and marks each left click
// (right click clears). Options:
//   --render <png>  draw the window tree into a PNG (works headless) and quit
//   --grab <png>    click once, take a screenshot of the screen (under Xvfb) and quit

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <string>
#include <vector>

#include "SOGdiPlus.h"

namespace {

struct Marks {
  std::vector<POINT> points;
};

HWND g_frame = nullptr;
HWND g_gradient = nullptr;

LRESULT GradientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* marks = reinterpret_cast<Marks*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Marks));
      return TRUE;
    case WM_NCDESTROY:
      delete marks;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      return 0;
    case WM_LBUTTONDOWN:
      marks->points.push_back(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      InvalidateRect(hwnd, nullptr, FALSE);
      UpdateWindow(hwnd);
      return 0;
    case WM_RBUTTONDOWN:
      marks->points.clear();
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      // Drawn off screen first, then copied in one blit.
      HDC mem = CreateCompatibleDC(hdc);
      HBITMAP bmp = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
      HGDIOBJ old = SelectObject(mem, bmp);
      {
        Gdiplus::Graphics g(mem);
        for (LONG x = 0; x < rc.right; ++x) {
          const BYTE t = static_cast<BYTE>(x * 255 / std::max<LONG>(rc.right - 1, 1));
          Gdiplus::Pen pen(Gdiplus::Color(255, t, 64, static_cast<BYTE>(255 - t)), 1);
          g.DrawLine(&pen, x, 0, x, rc.bottom);
        }
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        Gdiplus::Pen ring(Gdiplus::Color(255, 255, 255, 255), 3);
        for (const POINT& p : marks->points) g.DrawEllipse(&ring, p.x - 12, p.y - 12, 24, 24);
        Gdiplus::SolidBrush white(Gdiplus::Color(230, 255, 255, 255));
        Gdiplus::Font font(L"Microsoft YaHei", 18, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
        Gdiplus::StringFormat centre;
        centre.SetAlignment(Gdiplus::StringAlignmentCenter);
        centre.SetLineAlignment(Gdiplus::StringAlignmentFar);
        const std::wstring text = L"clicks: " + std::to_wstring(marks->points.size());
        g.DrawString(text.c_str(), -1, &font,
                     Gdiplus::RectF(0, 0, static_cast<float>(rc.right), static_cast<float>(rc.bottom - 8)),
                     &centre, &white);
      }
      BitBlt(hdc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (g_gradient) MoveWindow(g_gradient, 20, 48, LOWORD(lp) - 40, HIWORD(lp) - 68, TRUE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      HBRUSH back = CreateSolidBrush(RGB(32, 36, 44));
      FillRect(hdc, &rc, back);
      DeleteObject(back);
      HFONT font =
          CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Microsoft YaHei");
      HGDIOBJ oldFont = SelectObject(hdc, font);
      SetBkMode(hdc, TRANSPARENT);
      SetTextColor(hdc, RGB(220, 220, 220));
      RECT line{20, 12, rc.right - 20, 40};
      DrawTextW(hdc, L"Left click marks the gradient, right click clears it", -1, &line,
                DT_LEFT | DT_SINGLELINE | DT_VCENTER);
      SelectObject(hdc, oldFont);
      DeleteObject(font);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

void Register(const wchar_t* name, WNDPROC proc, UINT style) {
  WNDCLASSEXW wc;
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.lpszClassName = name;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassExW(&wc);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string render, grab;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--render") render = argv[i + 1];
    if (std::string(argv[i]) == "--grab") grab = argv[i + 1];
  }
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  Register(L"DemoFrame", FrameProc, CS_HREDRAW | CS_VREDRAW);
  Register(L"DemoGradient", GradientProc, CS_DBLCLKS);
  g_frame = CreateWindowExW(WS_EX_ACCEPTFILES, L"DemoFrame", L"win_demo", WS_OVERLAPPEDWINDOW, 40, 40, 480,
                            320, nullptr, nullptr, nullptr, nullptr);
  g_gradient = CreateWindowExW(0, L"DemoGradient", L"", WS_CHILD | WS_VISIBLE, 20, 48, 440, 252, g_frame,
                               nullptr, nullptr, nullptr);
  ShowWindow(g_frame, SW_SHOWNORMAL);
  if (!render.empty() || !grab.empty()) {
    // One click so the picture shows the window reacting, then the picture, then the end.
    QTimer::singleShot(600, [&] {
      SendMessageW(g_gradient, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(80, 60));
      SendMessageW(g_gradient, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 150));
      QTimer::singleShot(300, [&] {
        if (!render.empty()) SOWin::SaveWindowImage(g_frame, render);
        if (!grab.empty()) QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(grab));
        DestroyWindow(g_frame);
      });
    });
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Gdiplus::GdiplusShutdown(token);
  return static_cast<int>(msg.wParam);
}
