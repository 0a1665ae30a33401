#pragma once

#include "SOWindowBase.h"

class SOFilmBox;

// The header strip of a film on screen: black, with the film's header when it shows one.
class SOFilmHeaderWindow : public SOWindowBase {
 public:
  SOFilmHeaderWindow() = default;
  ~SOFilmHeaderWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOFilmHeaderWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOFilmHeaderWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  // Borrowed; null for none.
  void SetFilmBox(SOFilmBox* filmBox);

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  SOFilmBox* filmBox_ = nullptr;
};
