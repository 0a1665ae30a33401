#include "AvatarLayout.h"
#include "SOGdiPlus.h"
#include "Zarnet.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

struct CAvatarWnd::State {
  int imageWidth = 0;
  int imageHeight = 0;
  // 8-bit RGBA, rows top to bottom; null without a picture.
  stbi_uc* pixels = nullptr;

  ~State() { Free(); }
  void Free() {
    stbi_image_free(pixels);
    pixels = nullptr;
    imageWidth = imageHeight = 0;
  }
  bool Take(stbi_uc* decoded, int width, int height) {
    pixels = decoded;
    imageWidth = decoded ? width : 0;
    imageHeight = decoded ? height : 0;
    return decoded != nullptr;
  }
};

AvatarLayout LayoutAvatar(int clientWidth, int clientHeight, int imageWidth, int imageHeight) {
  AvatarLayout l;
  l.frameSize = std::max(0, std::min(clientWidth, clientHeight) - 10);
  l.frameLeft = (clientWidth - l.frameSize) / 2;
  l.frameTop = (clientHeight - l.frameSize) / 2;
  if (imageWidth <= 0 || imageHeight <= 0) return l;
  if (imageWidth > imageHeight) {
    l.drawHeight = l.frameSize;
    l.drawWidth = int(int64_t(l.frameSize) * imageWidth / imageHeight);
  } else {
    l.drawWidth = l.frameSize;
    l.drawHeight = int(int64_t(l.frameSize) * imageHeight / imageWidth);
  }
  l.drawLeft = l.frameLeft + (l.frameSize - l.drawWidth) / 2;
  l.drawTop = l.frameTop + (l.frameSize - l.drawHeight) / 2;
  return l;
}

CAvatarWnd::CAvatarWnd() : m_state(std::make_unique<State>()) {}

CAvatarWnd::~CAvatarWnd() = default;

bool CAvatarWnd::LoadImageFile(const char* path) {
  m_state->Free();
  int width = 0, height = 0, channels = 0;
  stbi_uc* decoded = path ? stbi_load(path, &width, &height, &channels, 4) : nullptr;
  bool ok = m_state->Take(decoded, width, height);
  Repaint();
  return ok;
}

bool CAvatarWnd::LoadImageMemory(const unsigned char* data, unsigned long size) {
  m_state->Free();
  int width = 0, height = 0, channels = 0;
  // The decoder takes an int length.
  stbi_uc* decoded = data && size > 0 && size <= INT_MAX
                         ? stbi_load_from_memory(data, int(size), &width, &height, &channels, 4)
                         : nullptr;
  bool ok = m_state->Take(decoded, width, height);
  Repaint();
  return ok;
}

bool CAvatarWnd::GetAvatarImage(unsigned char*& data, unsigned long& size) {
  const State& s = *m_state;
  if (!s.pixels) return false;
  const int side = std::min(s.imageWidth, s.imageHeight);
  const int left = (s.imageWidth - side) / 2, top = (s.imageHeight - side) / 2;
  const size_t stride = size_t(s.imageWidth) * 4, row = size_t(side) * 4;
  std::vector<unsigned char> square(row * side);
  for (int y = 0; y < side; ++y)
    std::memcpy(&square[row * y], s.pixels + stride * (top + y) + size_t(left) * 4, row);
  std::vector<unsigned char> jpeg;
  auto append = [](void* context, void* bytes, int count) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), static_cast<unsigned char*>(bytes), static_cast<unsigned char*>(bytes) + count);
  };
  if (!stbi_write_jpg_to_func(append, &jpeg, side, side, 4, square.data(), 80) || jpeg.empty()) return false;
  data = new unsigned char[jpeg.size()];
  std::memcpy(data, jpeg.data(), jpeg.size());
  size = static_cast<unsigned long>(jpeg.size());
  return true;
}

void CAvatarWnd::Repaint() {
  if (m_hWnd) UpdateWindow();
}

LRESULT CAvatarWnd::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  return 0;
}

LRESULT CAvatarWnd::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int width = client.right - client.left, height = client.bottom - client.top;
  const State& s = *m_state;
  const AvatarLayout l = LayoutAvatar(width, height, s.imageWidth, s.imageHeight);

  HDC memDC = CreateCompatibleDC(hdc);
  HBITMAP bitmap = CreateCompatibleBitmap(hdc, width, height);
  HGDIOBJ oldBitmap = SelectObject(memDC, bitmap);
  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  FillRect(memDC, &client, black);
  DeleteObject(black);
  {
    Gdiplus::Graphics graphics(memDC);
    if (s.pixels) {
      // The picture as 32-bit BGRA, top-down.
      std::vector<BYTE> bgra(size_t(s.imageWidth) * s.imageHeight * 4);
      for (size_t i = 0; i < bgra.size(); i += 4) {
        bgra[i] = s.pixels[i + 2];
        bgra[i + 1] = s.pixels[i + 1];
        bgra[i + 2] = s.pixels[i];
        bgra[i + 3] = s.pixels[i + 3];
      }
      Gdiplus::Bitmap picture(s.imageWidth, s.imageHeight, s.imageWidth * 4, Gdiplus::PixelFormat32bppARGB,
                              bgra.data());
      graphics.DrawImage(&picture, Gdiplus::Rect(l.drawLeft, l.drawTop, l.drawWidth, l.drawHeight));
    }
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(memDC, pen);
    const int right = l.frameLeft + l.frameSize - 1, bottom = l.frameTop + l.frameSize - 1;
    const int third = l.frameSize / 3, twoThirds = l.frameSize * 2 / 3;
    const POINT lines[][2] = {
        {{l.frameLeft, l.frameTop}, {right, l.frameTop}},
        {{l.frameLeft, bottom}, {right, bottom}},
        {{l.frameLeft, l.frameTop}, {l.frameLeft, bottom}},
        {{right, l.frameTop}, {right, bottom}},
        {{l.frameLeft + third, l.frameTop}, {l.frameLeft + third, bottom}},
        {{l.frameLeft + twoThirds, l.frameTop}, {l.frameLeft + twoThirds, bottom}},
        {{l.frameLeft, l.frameTop + third}, {right, l.frameTop + third}},
        {{l.frameLeft, l.frameTop + twoThirds}, {right, l.frameTop + twoThirds}},
    };
    for (const auto& line : lines) {
      MoveToEx(memDC, line[0].x, line[0].y, nullptr);
      // LineTo leaves out the last point.
      LineTo(memDC, line[1].x + (line[0].y == line[1].y), line[1].y + (line[0].x == line[1].x));
    }
    SelectObject(memDC, oldPen);
    DeleteObject(pen);
    // Dim everything outside the frame.
    Gdiplus::SolidBrush dim(Gdiplus::Color(0xBB, 0, 0, 0));
    graphics.FillRectangle(&dim, 0, 0, width, l.frameTop);
    graphics.FillRectangle(&dim, 0, l.frameTop + l.frameSize, width, height - l.frameTop - l.frameSize);
    graphics.FillRectangle(&dim, 0, l.frameTop, l.frameLeft, l.frameSize);
    graphics.FillRectangle(&dim, l.frameLeft + l.frameSize, l.frameTop, width - l.frameLeft - l.frameSize,
                           l.frameSize);
  }
  BitBlt(hdc, 0, 0, width, height, memDC, 0, 0, SRCCOPY);
  SelectObject(memDC, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memDC);
  EndPaint(m_hWnd, &ps);
  return 0;
}
