#include "ViewerLayout.h"

using namespace DuiLib;

void ViewerLayout::OnCreated() {
  SetWindowLongPtrW(m_hWnd, GWL_STYLE,
                    (GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~LONG_PTR(WS_CAPTION)) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  m_pm.Init(m_hWnd);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"2d/layout.xml", (unsigned int)0, nullptr, &m_pm);
  if (root) m_pm.AttachDialog(root);
  m_pm.AddNotifier(this);
  m_tiles = dynamic_cast<CTileLayoutUI*>(m_pm.FindControl(L"tileLayout"));
}

ViewerLayout::Grid ViewerLayout::Sweep(int x, int y, bool select) {
  Grid grid;
  const int columns = m_tiles ? m_tiles->GetColumns() : 0;
  // Without columns there is no grid to pick from.
  if (columns <= 0) return grid;
  if (m_pm.IsUpdateNeeded()) m_pm.UpdateLayout();
  const RECT inset = m_tiles->GetInset();
  if (x <= inset.left) x = inset.left + 1;
  if (y <= inset.top) y = inset.top + 1;
  for (int i = 0; i < m_tiles->GetCount(); ++i) {
    CControlUI* tile = m_tiles->GetItemAt(i);
    const RECT rc = tile->GetPos();
    const bool covered = rc.left >= 0 && rc.left < x && rc.top >= 0 && rc.top < y;
    if (auto* option = dynamic_cast<COptionUI*>(tile)) {
      if (select || option->IsSelected() != covered) option->Selected(covered, true);
    }
    if (covered) {
      grid.rows = std::max(grid.rows, i / columns + 1);
      grid.columns = std::max(grid.columns, i % columns + 1);
    }
  }
  return grid;
}

LRESULT ViewerLayout::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_CREATE:
      OnCreated();
      return 0;
    case WM_KILLFOCUS:
      Close();
      return 0;
    case WM_MOUSEMOVE:
      if (m_tiles) Sweep(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), false);
      break;
    case WM_LBUTTONDOWN: {
      Grid grid = Sweep(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), true);
      if (OnPick) OnPick(&grid);
      Close();
      return 0;
    }
    default:
      break;
  }
  LRESULT result = 0;
  if (m_pm.MessageHandler(uMsg, wParam, lParam, result)) return result;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void ViewerLayout::OnFinalMessage(HWND) {
  m_pm.RemoveNotifier(this);
  delete this;
}
