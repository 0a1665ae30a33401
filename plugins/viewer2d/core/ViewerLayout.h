#pragma once

#include "UIlib.h"

// The grid picker popup: sweeping the mouse over its tiles highlights the grid that a click
// would pick; the first click answers {rows, columns} through OnPick and closes it, losing the
// focus closes it without an answer. Made with new; it deletes itself when its window goes.
class ViewerLayout : public DuiLib::CWindowWnd, public DuiLib::INotifyUI {
 public:
  struct Grid {
    int rows = 0;
    int columns = 0;
  };

  // Fired once with a Grid*.
  DuiLib::CEventSource OnPick;

  const wchar_t* GetWindowClassName() const override { return L"ViewerLayout"; }
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;
  void Notify(DuiLib::TNotifyUI&) override {}

  // The grid a click at (x, y) in client coordinates picks; with select, the covered tiles
  // are selected and the others deselected. {0, 0} without a usable tile layout.
  Grid Sweep(int x, int y, bool select);

 private:
  void OnCreated();

  DuiLib::CPaintManagerUI m_pm;
  DuiLib::CTileLayoutUI* m_tiles = nullptr;
};
