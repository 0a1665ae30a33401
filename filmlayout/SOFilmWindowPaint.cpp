#include "SOFilmWindowPaint.h"

#include "SOGdi.h"
#include "SOGdiPlus.h"

void PaintBuffered(HWND hwnd, const std::function<void(HDC hdc, const RECT& client)>& draw) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT client{};
  GetClientRect(hwnd, &client);
  // Only what needs painting is buffered: a page turn repaints the page counter of a large
  // window, not the whole window.
  RECT area{};
  if (!IntersectRect(&area, &ps.rcPaint, &client)) area = client;
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (hdc && width > 0 && height > 0) {
    HDC memory = CreateCompatibleDC(hdc);
    HBITMAP bitmap = CreateCompatibleBitmap(hdc, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
    draw(memory, client);
    SetViewportOrgEx(memory, 0, 0, nullptr);
    BitBlt(hdc, area.left, area.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
  }
  EndPaint(hwnd, &ps);
}

void FillArgb(HDC hdc, const RECT& rect, unsigned long argb) {
  Gdiplus::Graphics graphics(hdc);
  Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb))};
  graphics.FillRectangle(&brush, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                         static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
}
