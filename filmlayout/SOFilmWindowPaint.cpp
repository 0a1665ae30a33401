#include "SOFilmWindowPaint.h"

#include "SOGdi.h"
#include "SOGdiPlus.h"

void PaintBuffered(HWND hwnd, const std::function<void(HDC hdc, const RECT& client)>& draw) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT client{};
  GetClientRect(hwnd, &client);
  const int width = client.right - client.left, height = client.bottom - client.top;
  if (hdc && width > 0 && height > 0) {
    HDC memory = CreateCompatibleDC(hdc);
    HBITMAP bitmap = CreateCompatibleBitmap(hdc, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    draw(memory, client);
    BitBlt(hdc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
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
