#pragma once

// Finds texts that do not fit their controls: single-line labels and buttons whose text, in
// the control's font, is wider than the control less its text padding.

#include <string>
#include <vector>

#include "SOGdi.h"
#include "UIlib.h"

namespace shelltest {

inline std::vector<std::string> OverflowingTexts(DuiLib::CPaintManagerUI& pm) {
  using namespace DuiLib;
  std::vector<CControlUI*> controls;
  if (CControlUI* root = pm.GetRoot())
    root->FindControl(
        [](CControlUI* c, void* all) -> CControlUI* {
          static_cast<std::vector<CControlUI*>*>(all)->push_back(c);
          return nullptr;
        },
        &controls, UIFIND_ALL);
  std::vector<std::string> found;
  HDC dc = CreateCompatibleDC(nullptr);
  for (CControlUI* c : controls) {
    auto* label = static_cast<CLabelUI*>(c->GetInterface(L"Label"));
    if (!label || !label->IsVisible() || label->GetText().IsEmpty() || label->GetWidth() <= 0) continue;
    if (!(label->GetTextStyle() & DT_SINGLELINE_UI) || c->GetInterface(L"Edit")) continue;
    const TFontInfo* info = label->GetFont() >= 0 ? pm.GetFontInfo(label->GetFont()) : nullptr;
    if (!info) info = pm.GetDefaultFontInfo();
    HFONT font = CreateFontW(-info->iSize, 0, 0, 0, info->bBold ? 700 : 400, info->bItalic, info->bUnderline, 0, 0,
                             0, 0, 0, 0, info->sFontName);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    const std::wstring text = label->GetText().str();
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    DeleteObject(font);
    const RECT pad = label->GetTextPadding();
    const int room = label->GetWidth() - pad.left - pad.right;
    if (size.cx > room)
      found.push_back(SOWin::ToUtf8(c->GetName().str() + L" \"" + text + L"\"") + " needs " + std::to_string(size.cx) +
                      " px, has " + std::to_string(room));
  }
  DeleteDC(dc);
  return found;
}

}  // namespace shelltest
