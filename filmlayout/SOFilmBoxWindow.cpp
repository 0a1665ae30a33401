#include "SOFilmBoxWindow.h"

#include <algorithm>

#include "SOFilmBox.h"
#include "SOFilmGeometry.h"
#include "SOFilmWindowPaint.h"

SOFilmBoxWindow::~SOFilmBoxWindow() {
  DestroyOwnWindow();
  if (filmBox_) filmBox_->UnRegisterCallback(this);
}

HWND SOFilmBoxWindow::CreateWithHeader(HWND parent) {
  HWND hwnd = Create(parent, 0, 0, 0, 0);
  if (hwnd) header_.Create(hwnd, 0, 0, 0, 0);
  return hwnd;
}

void SOFilmBoxWindow::SetFilmBox(SOFilmBox* filmBox, bool layout) {
  if (filmBox == filmBox_) return;
  const bool wasSelected = filmBox_ && filmBox_->IsSelected();
  if (filmBox_) filmBox_->UnRegisterCallback(this);
  filmBox_ = filmBox;
  if (filmBox_) filmBox_->RegisterCallback(this);
  header_.SetFilmBox(filmBox_);
  if (header_.GetWindow()) header_.UpdateWindow();
  if (layout) LayoutImageWindows();
  // The image windows repaint what their images change; the frame only when its colour does.
  if (wasSelected != (filmBox_ && filmBox_->IsSelected())) RepaintFrame();
}

void SOFilmBoxWindow::RepaintFrame() {
  RECT client{};
  if (!GetWindow() || !GetClientRect(GetWindow(), &client)) return;
  // The image windows and the header cover all but the frame: only the frame is painted.
  const RECT strips[] = {{client.left, client.top, client.right, client.top + kFrame},
                         {client.left, client.bottom - kFrame, client.right, client.bottom},
                         {client.left, client.top, client.left + kFrame, client.bottom},
                         {client.right - kFrame, client.top, client.right, client.bottom}};
  for (const RECT& strip : strips) InvalidateRect(GetWindow(), &strip, FALSE);
  ::UpdateWindow(GetWindow());
}

void SOFilmBoxWindow::SetMouseTool(int tool) {
  static constexpr SOMouseMode2D kModes[] = {SOMouseModeNone,      SOMouseModeWW,      SOMouseModeZoom,
                                             SOMouseModePan,       SOMouseModeRectangle, SOMouseModeEllipse,
                                             SOMouseModeLength,    SOMouseModeAngle};
  if (tool < 0 || tool > 7) return;
  mode_ = kModes[tool];
  for (auto& window : imageWindows_) window->SetMouseMode2D(mode_);
}

void SOFilmBoxWindow::RegisterCallback(ISOFilmBoxWindowCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

SOImageWindow* SOFilmBoxWindow::GetImageWindow(int index) const {
  return index >= 0 && index < GetImageWindowCount() ? imageWindows_[index].get() : nullptr;
}

void SOFilmBoxWindow::LayoutImageWindows() {
  const size_t count = filmBox_ ? static_cast<size_t>(filmBox_->GetImageBoxCount()) : 0;
  if (imageWindows_.size() > count) imageWindows_.resize(count);
  while (imageWindows_.size() < count && GetWindow()) {
    auto window = std::make_unique<SOImageWindow>();
    window->Create(GetWindow(), 0, 0, 0, 0);
    window->RegisterCallback(this);
    window->SetTextColor(0xFFAAAAAA);
    window->SetMouseMode2D(mode_);
    imageWindows_.push_back(std::move(window));
  }
  RECT client{};
  if (!GetWindow() || !GetClientRect(GetWindow(), &client)) return;
  const int left = client.left + kFrame, top = client.top + kFrame, right = client.right - kFrame,
            bottom = client.bottom - kFrame;
  int imageTop = top;
  if (filmBox_ && filmBox_->IsHeaderVisible()) {
    const int hb = static_cast<int>(top + filmBox_->GetHeaderRatio() * (bottom - top));
    header_.MoveWindow(left, top, right - left, hb - top);
    header_.ShowWindow(true);
    imageTop = hb;
  } else {
    header_.ShowWindow(false);
  }
  const float w = static_cast<float>(right - left), h = static_cast<float>(bottom - imageTop);
  for (size_t k = 0; k < imageWindows_.size(); ++k) {
    SOImageBox* cell = filmBox_->GetCell(static_cast<int>(k));
    const float xl = left + cell->GetX() * w, yt = imageTop + cell->GetY() * h;
    const int x = film::Round(xl), y = film::Round(yt);
    const int cx = film::Round(xl + cell->GetWidth() * w - 1) - x + 1;
    const int cy = film::Round(yt + cell->GetHeight() * h - 1) - y + 1;
    imageWindows_[k]->MoveWindow(x, y, cx, cy);
    imageWindows_[k]->SetImageObject(cell->GetImageObject(), cell->GetImageObjectIndex());
  }
}

void SOFilmBoxWindow::OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM lParam) {
  for (ISOFilmBoxWindowCallback* callback : std::vector(callbacks_))
    callback->OnFilmBoxWindowMouseDown(this, sender, msg, wParam, lParam);
}

void SOFilmBoxWindow::OnFilmBoxChanged(ISOFilmBox*) {
  LayoutImageWindows();
  // A re-flow renumbers the pages of films that stay on screen: their headers paint again.
  if (header_.GetWindow()) InvalidateRect(header_.GetWindow(), nullptr, FALSE);
}

void SOFilmBoxWindow::OnFilmBoxSelected(ISOFilmBox* filmBox) {
  if (filmBox == filmBox_) RepaintFrame();
}

LRESULT SOFilmBoxWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  PaintBuffered(GetWindow(), [this](HDC hdc, const RECT& client) {
    FillArgb(hdc, client, filmBox_ && filmBox_->IsSelected() ? 0xFF16D9D6 : 0xFF939393);
  });
  return 0;
}

LRESULT SOFilmBoxWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  LayoutImageWindows();
  return 0;
}
