#include "SOFilmHeaderWindow.h"

#include "SOFilmBox.h"
#include "SOFilmWindowPaint.h"

SOFilmHeaderWindow::~SOFilmHeaderWindow() {
  DestroyOwnWindow();
}

void SOFilmHeaderWindow::SetFilmBox(SOFilmBox* filmBox) {
  filmBox_ = filmBox;
}

LRESULT SOFilmHeaderWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  PaintBuffered(GetWindow(), [this](HDC hdc, const RECT& client) {
    FillArgb(hdc, client, 0xFF000000);
    if (filmBox_ && filmBox_->IsHeaderVisible())
      filmBox_->DrawHeader(hdc, client.left, client.top, client.right, client.bottom);
  });
  return 0;
}

LRESULT SOFilmHeaderWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  UpdateWindow();
  return 0;
}
