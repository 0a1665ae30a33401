#pragma once

#include <vector>

#include "SOBufferedPaint.h"
#include "SOWindowBase.h"

// Told when the scroll bar moves to another page (and on every drag move).
class ISOScrollCallback {
 public:
  virtual void OnScroll(int position) = 0;

 protected:
  ~ISOScrollCallback() = default;
};

// The page bar of a series window: one position per page, a thumb to drag, clicks above or
// below it and the wheel step one page.
class SOScrollbar : public SOWindowBase {
 public:
  ~SOScrollbar() override;
  const wchar_t* GetWindowClassName() override { return L"WindowScrollbarClass"; }
  DWORD GetWindowClassStyle() override { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }
  const wchar_t* GetWindowName() override { return L"WindowScrollbar"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  virtual void RegisterCallback(ISOScrollCallback* callback);
  virtual void UnRegisterCallback(ISOScrollCallback* callback);

  int GetPosition() const { return position_; }
  int GetCount() const { return count_; }
  void SetCount(int count) { count_ = count; }
  // Moves to position; when it changes, the thumb follows and the callbacks are told.
  void SetPosition(int position);
  void StepUp();
  void StepDown();
  // Places the thumb; repaints at once when it moved, or marks the bar for the next paint pass
  // while paints are deferred.
  void UpdateThumb();
  // Many changes in a row (a batch of loaded images) repaint the bar once, in the next pass.
  void DeferPaints(bool defer) { deferPaints_ = defer; }
  bool PaintsDeferred() const { return deferPaints_; }
  RECT GetThumb() const { return RECT{thumbLeft_, thumbTop_, thumbLeft_ + thumbWidth_, thumbTop_ + thumbHeight_}; }
  bool IsHovering() const { return hovering_; }

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  void Tell();
  void DragBy(int dy);
  bool OverThumb(int y) const { return thumbTop_ <= y && y <= thumbTop_ + thumbHeight_; }

  int position_ = 0;
  bool deferPaints_ = false;
  int count_ = 0;
  int paintedCount_ = 0;  // the count the thumb was last laid out for
  RECT client_{};
  int thumbLeft_ = 0, thumbTop_ = 0, thumbWidth_ = 0, thumbHeight_ = 0;
  int lastX_ = 0, lastY_ = 0;
  bool hovering_ = false;
  SOPaintBitmap paintBitmap_;
  bool dragging_ = false;
  std::vector<ISOScrollCallback*> callbacks_;
};
