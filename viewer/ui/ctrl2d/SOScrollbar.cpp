#include "SOScrollbar.h"

#include <algorithm>

#include "SOBufferedPaint.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"

SOScrollbar::~SOScrollbar() {
  DestroyOwnWindow();
}

void SOScrollbar::RegisterCallback(ISOScrollCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOScrollbar::UnRegisterCallback(ISOScrollCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

void SOScrollbar::Tell() {
  const auto callbacks = callbacks_;
  for (ISOScrollCallback* c : callbacks) c->OnScroll(position_);
}

void SOScrollbar::SetPosition(int position) {
  if (position == position_) return;
  position_ = position;
  UpdateThumb();
  Tell();
}

void SOScrollbar::StepUp() {
  if (position_ > 0) SetPosition(position_ - 1);
}

void SOScrollbar::StepDown() {
  if (position_ < count_ - 1) SetPosition(position_ + 1);
}

void SOScrollbar::UpdateThumb() {
  const RECT before = GetThumb();
  const int countBefore = paintedCount_;
  ::GetClientRect(GetWindow(), &client_);
  thumbLeft_ = client_.left + 2;
  thumbWidth_ = client_.right - 5;
  thumbTop_ = 0;
  thumbHeight_ = 0;
  if (count_ > 1) {
    thumbHeight_ = std::max(32, static_cast<int>(static_cast<float>(client_.bottom) / count_));
    thumbTop_ = static_cast<int>(static_cast<float>(client_.bottom - thumbHeight_) / (count_ - 1) * position_);
  }
  // Loading adds images one by one; the bar repaints only when what it shows changed.
  const RECT after = GetThumb();
  paintedCount_ = count_;
  if (before.left != after.left || before.top != after.top || before.right != after.right ||
      before.bottom != after.bottom || (countBefore > 1) != (count_ > 1)) {
    if (deferPaints_)
      ::InvalidateRect(GetWindow(), nullptr, TRUE);
    else
      UpdateWindow();
  }
}

void SOScrollbar::DragBy(int dy) {
  if (count_ < 2) return;
  const int room = client_.bottom - thumbHeight_;
  thumbTop_ = std::clamp(thumbTop_ + dy, 0, std::max(0, room));
  // A thumb that fills the bar leaves no room to move: the first page.
  const float step = room > 0 ? static_cast<float>(room) / (count_ - 1) : 0;
  position_ = step > 0 ? static_cast<int>((step * 0.5f + thumbTop_) / step) : 0;
  position_ = std::clamp(position_, 0, count_ - 1);
  Tell();
  UpdateWindow();
}

LRESULT SOScrollbar::OnSize(WPARAM, LPARAM, BOOL& handled) {
  UpdateThumb();
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnMouseMove(WPARAM, LPARAM lParam, BOOL& handled) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  if (dragging_) {
    DragBy(y - lastY_);
  } else {
    const bool over = count_ > 1 && OverThumb(y);
    if (over != hovering_) {
      hovering_ = over;
      UpdateWindow();
    }
  }
  lastX_ = x;
  lastY_ = y;
  // Leave too, so the thumb's highlight clears when the pointer goes.
  TRACKMOUSEEVENT tme{};
  tme.cbSize = sizeof(tme);
  tme.dwFlags = TME_HOVER | TME_LEAVE;
  tme.hwndTrack = GetWindow();
  tme.dwHoverTime = 100;
  ::TrackMouseEvent(&tme);
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnMouseHover(WPARAM, LPARAM lParam, BOOL& handled) {
  if (!hovering_ && count_ > 1 && OverThumb(GET_Y_LPARAM(lParam))) {
    hovering_ = true;
    UpdateWindow();
  }
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnMouseLeave(WPARAM, LPARAM, BOOL& handled) {
  if (hovering_) {
    hovering_ = false;
    UpdateWindow();
  }
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnLButtonDown(WPARAM, LPARAM lParam, BOOL& handled) {
  SetFocus();
  lastX_ = GET_X_LPARAM(lParam);
  lastY_ = GET_Y_LPARAM(lParam);
  if (hovering_ && !dragging_) {
    dragging_ = true;
    UpdateWindow();
  } else if (count_ > 1) {
    if (lastY_ < thumbTop_) StepUp();
    else if (lastY_ > thumbTop_ + thumbHeight_) StepDown();
  }
  ::SetCapture(GetWindow());
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnLButtonUp(WPARAM, LPARAM, BOOL& handled) {
  if (dragging_) {
    dragging_ = false;
    UpdateThumb();
  }
  ::ReleaseCapture();
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnMouseWheel(WPARAM wParam, LPARAM, BOOL& handled) {
  if (GET_WHEEL_DELTA_WPARAM(wParam) < 0) StepDown();
  else StepUp();
  handled = TRUE;
  return 0;
}

LRESULT SOScrollbar::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  RECT client{};
  ::GetClientRect(GetWindow(), &client);
  SOBufferedPaint paint(GetWindow(), client.right, client.bottom, paintBitmap_);
  {
    Gdiplus::Graphics g(paint.dc());
    Gdiplus::SolidBrush back(Gdiplus::Color(0xFF242424));
    g.FillRectangle(&back, 0, 0, static_cast<INT>(client.right), static_cast<INT>(client.bottom));
    if (count_ > 1) {
      const Gdiplus::ARGB fill = dragging_ ? 0xFF828282 : hovering_ ? 0xFF737373 : 0xFF5A5A5A;
      Gdiplus::SolidBrush thumb{Gdiplus::Color(fill)};
      g.FillRectangle(&thumb, thumbLeft_, thumbTop_, thumbWidth_, thumbHeight_);
      Gdiplus::Pen outline(Gdiplus::Color(0xFF555555), 1);
      g.DrawRectangle(&outline, thumbLeft_, thumbTop_, thumbWidth_, thumbHeight_);
    }
  }
  return 0;
}
