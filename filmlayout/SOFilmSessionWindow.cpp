#include "SOFilmSessionWindow.h"

#include "SOFilmGeometry.h"
#include "SOFilmWindowPaint.h"
#include "SOGdiPlus.h"

namespace {

// The page counter's distance from the client area's right edge.
constexpr int kCounterMargin = 10;

}  // namespace

SOFilmSessionWindow::SOFilmSessionWindow() {
  session_.RegisterCallback(this);
}

SOFilmSessionWindow::~SOFilmSessionWindow() {
  DestroyOwnWindow();
  windows_.clear();
  session_.UnRegisterCallback(this);
}

SOFilmBoxWindow* SOFilmSessionWindow::GetFilmBoxWindow(int index) const {
  return index >= 0 && index < GetFilmBoxWindowCount() ? windows_[index].get() : nullptr;
}

void SOFilmSessionWindow::Detach(SOFilmBoxWindow& window) {
  if (!window.GetFilmBox()) return;
  window.SetFilmBox(nullptr, true);
}

bool SOFilmSessionWindow::SetFilmLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  rows = std::min(rows, SOFilmBox::kMaxLayout);
  cols = std::min(cols, SOFilmBox::kMaxLayout);
  rows_ = rows;
  cols_ = cols;
  const size_t count = static_cast<size_t>(rows) * cols;
  while (windows_.size() > count) {
    Detach(*windows_.back());
    windows_.pop_back();
  }
  while (windows_.size() < count) {
    auto window = std::make_unique<SOFilmBoxWindow>();
    if (GetWindow()) window->CreateWithHeader(GetWindow());
    window->RegisterCallback(this);
    window->SetMouseTool(tool_);
    windows_.push_back(std::move(window));
  }
  LayoutFilms();
  return true;
}

void SOFilmSessionWindow::SetMouseTool(int tool) {
  tool_ = tool;
  for (auto& window : windows_) window->SetMouseTool(tool);
}

void SOFilmSessionWindow::LayoutFilms() {
  const int first = session_.GetCurrentFilmBoxIndex();
  for (size_t i = 0; i < windows_.size(); ++i)
    windows_[i]->SetFilmBox(static_cast<SOFilmBox*>(session_.GetFilmBox(first + static_cast<int>(i))), false);
  RECT client{};
  bool moved = false;
  if (GetWindow() && GetClientRect(GetWindow(), &client)) {
    for (int i = 0; i < rows_; ++i)
      for (int j = 0; j < cols_; ++j) {
        SOFilmBoxWindow& window = *windows_[static_cast<size_t>(i) * cols_ + j];
        SOFilmBox* film = window.GetFilmBox();
        const bool shown = IsWindowVisible(window.GetWindow());
        if (!film) {
          moved = moved || shown;
          window.ShowWindow(false);
          continue;
        }
        float w = 0, h = 0;
        film::FilmSizeInches(film->GetFilmSize(), w, h);
        const RECT place = film::FilmWindowRect(client, rows_, cols_, i, j, w, h, film->GetOrientation());
        const RECT was = window.GetWindowRect();
        moved = moved || !shown || !EqualRect(&was, &place);
        window.MoveWindow(place.left, place.top, place.right - place.left, place.bottom - place.top);
        window.ShowWindow(true);
      }
  }
  for (auto& window : windows_) window->LayoutImageWindows();
  if (!GetWindow()) return;
  if (moved) {
    UpdateWindow();
    return;
  }
  // The films kept their places (a page turn): of this window only the counter changed.
  const RECT counter = CounterRect(client);
  InvalidateRect(GetWindow(), &counter, FALSE);
  ::UpdateWindow(GetWindow());
}

RECT SOFilmSessionWindow::CounterRect(const RECT& client) {
  // Room for "9999/9999" in the counter's font, at the client's bottom right.
  return RECT{client.right - kCounterMargin - 120, client.bottom - 28, client.right, client.bottom};
}

void SOFilmSessionWindow::OnSessionChanged(ISOFilmSession*) {
  LayoutFilms();
}

void SOFilmSessionWindow::OnFilmBoxRemoved(ISOFilmSession*, ISOFilmBox* filmBox) {
  for (auto& window : windows_)
    if (window->GetFilmBox() == filmBox) Detach(*window);
}

void SOFilmSessionWindow::OnFilmBoxWindowMouseDown(SOFilmBoxWindow* window, SOImageWindow* sender, UINT msg,
                                                   WPARAM wParam, LPARAM) {
  if (msg != WM_LBUTTONDOWN && msg != WM_RBUTTONDOWN && msg != WM_MBUTTONDOWN) return;
  if (!window->GetFilmBox()) return;
  const unsigned keys = static_cast<unsigned>(wParam);
  session_.SelectFilmBox(window->GetFilmBox(), keys);
  if (sender && sender->GetSOImageObject()) session_.SelectImage(sender->GetSOImageObject(), keys);
}

LRESULT SOFilmSessionWindow::OnMouseWheel(WPARAM wParam, LPARAM, BOOL& handled) {
  handled = TRUE;
  const WPARAM films = static_cast<WPARAM>(rows_ * cols_);
  PostMessageW(GetWindow(), GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? SO_MSG_FILM_PAGE_DOWN : SO_MSG_FILM_PAGE_UP, films,
               0);
  return 0;
}

LRESULT SOFilmSessionWindow::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) {
  if (msg != SO_MSG_FILM_PAGE_UP && msg != SO_MSG_FILM_PAGE_DOWN) return 0;
  handled = TRUE;
  const int films = static_cast<int>(wParam);
  session_.ScrollFilms(msg == SO_MSG_FILM_PAGE_UP ? -films : films);
  return 0;
}

LRESULT SOFilmSessionWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  PaintBuffered(GetWindow(), [this](HDC hdc, const RECT& client) {
    FillArgb(hdc, client, background_);
    wchar_t counter[32];
    swprintf(counter, 32, L"%d/%d", session_.GetCurrentFilmBoxIndex() + 1, session_.GetFilmBoxCount());
    Gdiplus::Graphics graphics(hdc);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    Gdiplus::Font font(L"Microsoft YaHei", 16, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush white{Gdiplus::Color(0xFFFFFFFF)};
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentFar);
    format.SetLineAlignment(Gdiplus::StringAlignmentFar);
    const Gdiplus::RectF layout(static_cast<float>(client.left), static_cast<float>(client.top),
                                static_cast<float>(client.right - kCounterMargin), static_cast<float>(client.bottom));
    graphics.DrawString(counter, -1, &font, layout, &format, &white);
  });
  return 0;
}

LRESULT SOFilmSessionWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  LayoutFilms();
  return 0;
}
