#pragma once

#include "UIlib.h"

// The 60-second wait before another SMS code may be requested, shown on the code button:
// "(%dS)" while counting, "获取短信验证码" again at the end. Ticks come as WM_TIMER on the
// dialog's window (the UI thread); the timer goes with the window.
class SOCountdown {
 public:
  static constexpr UINT_PTR kTimerId = 0x5C01;
  static constexpr int kSeconds = 60;

  // button: the code button of the dialog's paint manager.
  void Start(HWND window, DuiLib::CControlUI* button);
  // A WM_TIMER of this countdown; false for other timers.
  bool OnTimer(WPARAM id);
  int Remaining() const { return m_remaining; }

 private:
  void Show();

  HWND m_window = nullptr;
  DuiLib::CControlUI* m_button = nullptr;
  int m_remaining = 0;
};
