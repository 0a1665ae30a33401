#pragma once

#include "UIlib.h"

// Creates window owned by owner with that window name and style, centres it and runs it modally.
inline void RunModal(DuiLib::CWindowWnd& window, HWND owner, const wchar_t* name, DWORD style) {
  if (!window.Create(owner, name, style, 0, 0, 0, 0, 0)) return;
  window.CenterWindow();
  window.ShowModal();
}

// Shows page `page` of the tab layout named `tabs`, when the skin has it.
inline void SelectTab(DuiLib::CPaintManagerUI& pm, const wchar_t* tabs, int page) {
  if (auto* layout = dynamic_cast<DuiLib::CTabLayoutUI*>(pm.FindControl(tabs))) layout->SelectItem(page);
}
