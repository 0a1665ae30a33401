#pragma once

#include "SOGdiPlus.h"
#include "SOPluginInfo.h"

// The corner texts of the oblique MPR window, named "OVERINFO" like the corner-text tool so
// that showing or hiding corner texts switches it too, with two labels in the bottom-left
// corner: the slab projection and the slab thickness. Clicking either opens a menu; the choice
// goes to the window's MPR callback.
class SOPluginMPRInfo : public SOPluginInfo {
 public:
  enum Part { kNoPart = 0, kTypeButton = 1, kThicknessButton = 2 };

  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;

  // The labels' texts for a projection type and thickness.
  static const wchar_t* TypeText(int type);
  static std::wstring ThicknessText(float thickness);
  // Stores the label under (x, y); true when one is.
  bool HitTest(int x, int y);
  int GetHoverPart() const { return hover_; }
  // The label rectangles of the last draw, in window coordinates.
  const Gdiplus::RectF& GetTypeButton() const { return typeButton_; }
  const Gdiplus::RectF& GetThicknessButton() const { return thicknessButton_; }

 private:
  void OpenMenu(int part);

  Gdiplus::RectF typeButton_;
  Gdiplus::RectF thicknessButton_;
  int hover_ = kNoPart;
};
