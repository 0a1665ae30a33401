#include "CaseDlg.h"

#include "Zarnet.h"

#include <string>

using namespace DuiLib;

namespace {

struct Field {
  const wchar_t* control;
  std::string CaseRecord::*field;
  const wchar_t* label;
};

// In the order they are checked.
const Field kFields[] = {
    {L"modalityEditCombo", &CaseRecord::modality, L"Modality"},
    {L"bodypartEditCombo", &CaseRecord::body_part, L"Body part"},
    {L"nameEdit", &CaseRecord::case_name, L"Case name"},
    {L"findingRichEdit", &CaseRecord::finding, L"Finding"},
    {L"conclusionEdit", &CaseRecord::conclusion, L"Conclusion"},
};

}  // namespace

void SOCaseDlg::InitWindow() {
  for (const Field& f : kFields)
    if (CControlUI* control = m_PaintManager.FindControl(f.control))
      control->SetText(SOWin::FromUtf8(m_case.*f.field).c_str());
  if (!m_case.modality.empty()) {
    for (const wchar_t* name : {L"modalityEditCombo", L"bodypartEditCombo"})
      if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetEnabled(false);
  }
}

bool SOCaseDlg::Confirm() {
  for (const Field& f : kFields) {
    CControlUI* control = m_PaintManager.FindControl(f.control);
    if (!control || control->GetText().IsEmpty()) {
      std::wstring text = ui_gettext(L"'%s' can not be empty!");
      if (const size_t at = text.find(L"%s"); at != std::wstring::npos) text.replace(at, 2, ui_gettext(f.label));
      MessageBoxUI(m_hWnd, text.c_str(), nullptr, 0);
      return false;
    }
    m_case.*f.field = SOWin::ToUtf8(control->GetText().GetData());
  }
  return true;
}

void SOCaseDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"confirmBtn") {
    if (Confirm()) {
      m_confirmed = 1;
      Close(1);
    }
    return;
  }
  WindowImplBase::Notify(msg);
}
