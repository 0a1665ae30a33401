#include "BlockLayout.h"

#include "FilmWindows.h"

#include <string>

using namespace DuiLib;

namespace brenvik {

BlockLayout* BlockLayout::Open(HWND owner, POINT at, Handler handler) {
  auto* picker = new BlockLayout(std::move(handler));
  if (!picker->Create(owner, L"BlockLayout", WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, at.x, at.y, 100, 120)) {
    delete picker;
    return nullptr;
  }
  return picker;
}

void BlockLayout::InitWindow() {
  m_tiles = Find<CTileLayoutUI>(m_PaintManager, L"tileLayout");
  m_label = m_PaintManager.FindControl(L"tileLabel");
}

void BlockLayout::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}

void BlockLayout::Mark(int x, int y, int& rows, int& columns) {
  rows = columns = 0;
  if (!m_tiles) return;
  const RECT inset = m_tiles->GetInset();
  if (x <= inset.left) x = inset.left + 1;
  if (y <= inset.top) y = inset.top + 1;
  const int n = std::max(1, m_tiles->GetColumns());
  const RECT area{0, 0, x, y};
  for (int i = 0; i < m_tiles->GetCount(); ++i) {
    auto* tile = dynamic_cast<COptionUI*>(m_tiles->GetItemAt(i));
    if (!tile) continue;
    const RECT pos = tile->GetPos();
    const POINT corner{pos.left, pos.top};
    const bool in = ::PtInRect(&area, corner);
    tile->Selected(in, false);
    if (in) {
      rows = std::max(rows, i / n + 1);
      columns = std::max(columns, i % n + 1);
    }
  }
}

LRESULT BlockLayout::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_MOUSEMOVE || uMsg == WM_LBUTTONDOWN) {
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    int rows = 0, columns = 0;
    Mark(x, y, rows, columns);
    if (uMsg == WM_MOUSEMOVE) {
      if (m_label) m_label->SetText((std::to_wstring(columns) + L"x" + std::to_wstring(rows)).c_str());
    } else {
      Handler handler = m_handler;
      Close();
      if (handler && rows > 0 && columns > 0) handler(rows, columns);
      return 0;
    }
  }
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

LRESULT BlockLayout::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = TRUE;
  Close();
  return 0;
}

}  // namespace brenvik
