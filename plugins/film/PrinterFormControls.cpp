#include "PrinterFormControls.h"

#include "FilmWindows.h"

using namespace DuiLib;

namespace brenvik {

namespace {

void SetText(CPaintManagerUI& pm, const wchar_t* name, const std::wstring& text) {
  if (CControlUI* control = pm.FindControl(name)) control->SetText(text.c_str());
}

// Selects the item showing text; none when no item does.
void SetCombo(CPaintManagerUI& pm, const wchar_t* name, const std::wstring& text) {
  auto* combo = Find<CComboUI>(pm, name);
  if (!combo) return;
  int found = -1;
  for (int i = 0; i < combo->GetCount(); ++i)
    if (text == combo->GetItemAt(i)->GetText().GetData()) found = i;
  combo->SelectItem(found, false, false);
}

void SetCheck(CPaintManagerUI& pm, const wchar_t* name, bool checked) {
  if (auto* option = Find<COptionUI>(pm, name)) option->Selected(checked, false);
}

std::wstring Text(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* control = pm.FindControl(name);
  return control ? std::wstring(control->GetText().GetData()) : std::wstring();
}

bool Checked(CPaintManagerUI& pm, const wchar_t* name) {
  auto* option = Find<COptionUI>(pm, name);
  return option && option->IsSelected();
}

}  // namespace

void ShowForm(CPaintManagerUI& pm, const PrinterForm& f) {
  SetText(pm, L"printerNameEdit", f.name);
  SetText(pm, L"addrEdit", f.ip);
  SetText(pm, L"portEdit", f.port);
  SetText(pm, L"calledAEEdit", f.calledAE);
  SetText(pm, L"callingAEEdit", f.callingAE);
  SetCombo(pm, L"filmSizeCombo", f.filmSize);
  SetCombo(pm, L"filmOrientCombo", f.filmOrient);
  SetCombo(pm, L"filmFormatCombo", f.filmFormat);
  SetCheck(pm, L"headerVisibleOption", f.headerVisible);
  SetText(pm, L"headerRatioEdit", f.headerRatio);
  SetText(pm, L"dpiEdit", f.dpi);
  SetCombo(pm, L"mediumCombo", f.medium);
  SetCombo(pm, L"priorityCombo", f.priority);
  SetCombo(pm, L"magnifyCombo", f.magnification);
  SetCombo(pm, L"smoothCombo", f.smoothing);
  SetCheck(pm, L"defaultOption", f.isDefault);
}

void ClearForm(CPaintManagerUI& pm) {
  PrinterForm empty;
  empty.headerVisible = false;
  ShowForm(pm, empty);
}

PrinterForm ReadForm(CPaintManagerUI& pm) {
  PrinterForm f;
  f.name = Text(pm, L"printerNameEdit");
  f.ip = Text(pm, L"addrEdit");
  f.port = Text(pm, L"portEdit");
  f.calledAE = Text(pm, L"calledAEEdit");
  f.callingAE = Text(pm, L"callingAEEdit");
  f.filmSize = Text(pm, L"filmSizeCombo");
  f.filmOrient = Text(pm, L"filmOrientCombo");
  f.filmFormat = Text(pm, L"filmFormatCombo");
  f.headerVisible = Checked(pm, L"headerVisibleOption");
  f.headerRatio = Text(pm, L"headerRatioEdit");
  f.dpi = Text(pm, L"dpiEdit");
  f.medium = Text(pm, L"mediumCombo");
  f.isDefault = Checked(pm, L"defaultOption");
  f.priority = Text(pm, L"priorityCombo");
  f.magnification = Text(pm, L"magnifyCombo");
  f.smoothing = Text(pm, L"smoothCombo");
  return f;
}

}  // namespace brenvik
