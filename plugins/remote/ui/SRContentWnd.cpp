#include "SRContentWnd.h"

#include <algorithm>
#include <cwchar>

#include "SODcmConvert.h"
#include "SODcmDataset.h"
#include "SODcmSR.h"

using namespace DuiLib;

namespace {

constexpr DWORD kAcquisitionModality = 0x00080060;
constexpr DWORD kPatientSex = 0x00100040;
constexpr DWORD kPatientAge = 0x00101010;
constexpr DWORD kVerifyingOrganization = 0x0040A027;
constexpr DWORD kVerificationDateTime = 0x0040A030;
constexpr DWORD kVerifyingObserverName = 0x0040A075;
constexpr DWORD kFinding = 0x07211001;
constexpr DWORD kConclusion = 0x07211002;
constexpr DWORD kAuthor = 0x07211004;

bool IsClass(CControlUI* c, const wchar_t* name) { return wcscmp(c->GetClass(), name) == 0; }

// Controls that show a value and report the user's changes.
bool IsEditable(CControlUI* c) {
  for (const wchar_t* name : {L"Edit", L"Combo", L"RichEdit", L"EditCombo", L"DateTime"})
    if (IsClass(c, name)) return true;
  return false;
}

bool IsValueControl(CControlUI* c) { return IsEditable(c) || IsClass(c, L"Label"); }

// The containers the walk descends into; anything else (lists, tile layouts) is opaque.
CContainerUI* AsPageContainer(CControlUI* c) {
  for (const wchar_t* name : {L"HorizontalLayout", L"VerticalLayout", L"ChildLayout", L"TabLayout", L"Container"})
    if (IsClass(c, name)) return static_cast<CContainerUI*>(c->GetInterface(L"Container"));
  return nullptr;
}

bool BoundTag(CControlUI* c, DWORD& tag) { return c && CSRContentWnd::ParseTag(c->GetUserData(), tag); }

CComboUI* AsCombo(CControlUI* c) {
  return c && IsClass(c, L"Combo") ? static_cast<CComboUI*>(c->GetInterface(L"Combo")) : nullptr;
}

CDateTimeUI* AsDate(CControlUI* c) {
  return c && IsClass(c, L"DateTime") ? static_cast<CDateTimeUI*>(c->GetInterface(L"DateTime")) : nullptr;
}

// Visits the bound value controls of the container in document order; stops when visit says so.
template <typename Visit>
bool Walk(CContainerUI* container, Visit&& visit) {
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    DWORD tag = 0;
    if (IsValueControl(c) && BoundTag(c, tag)) {
      if (!visit(c, tag)) return false;
    } else if (CContainerUI* inner = AsPageContainer(c)) {
      if (!Walk(inner, visit)) return false;
    }
  }
  return true;
}

CControlUI* FindControl(CContainerUI* container, DWORD tag) {
  CControlUI* found = nullptr;
  Walk(container, [&](CControlUI* c, DWORD bound) {
    if (bound == tag) found = c;
    return !found;
  });
  return found;
}

// Selects (quietly) the first item whose user data is value, or nothing.
void SelectByUserData(CComboUI* combo, const std::wstring& value) {
  int found = -1;
  for (int i = 0; i < combo->GetCount() && found < 0; ++i)
    if (value == combo->GetItemAt(i)->GetUserData()) found = i;
  combo->SelectItem(found, false, false);
}

bool SelectedUserData(CComboUI* combo, std::wstring& value) {
  CControlUI* item = combo ? combo->GetItemAt(combo->GetCurSel()) : nullptr;
  if (!item) return false;
  value = item->GetUserData();
  return true;
}

// The age pair around control: the number edit and, right after it in the same container, the
// unit combo bound to the age as well.
void AgePair(CControlUI* control, CControlUI*& edit, CComboUI*& combo) {
  edit = nullptr;
  combo = nullptr;
  const bool isEdit = IsClass(control, L"Edit");
  if (isEdit)
    edit = control;
  else if (AsCombo(control))
    combo = AsCombo(control);
  else
    return;
  auto* parent = control->GetParent() ? static_cast<CContainerUI*>(control->GetParent()->GetInterface(L"Container"))
                                      : nullptr;
  if (!parent) return;
  const int at = parent->GetItemIndex(control);
  CControlUI* neighbour = parent->GetItemAt(isEdit ? at + 1 : at - 1);
  DWORD tag = 0;
  if (!BoundTag(neighbour, tag) || tag != kPatientAge) return;
  if (isEdit)
    combo = AsCombo(neighbour);
  else if (IsClass(neighbour, L"Edit"))
    edit = neighbour;
}

void SetAge(CControlUI* control, const std::wstring& value) {
  CControlUI* edit;
  CComboUI* combo;
  AgePair(control, edit, combo);
  if (!edit) return;
  SODcmAge age;
  if (combo && !value.empty() && SODcmConvert::Convert(RemoteUI::Utf8(value).c_str(), age)) {
    edit->SetText(std::to_wstring(age.number).c_str());
    SelectByUserData(combo, RemoteUI::Wide(age.unit));
    return;
  }
  // A whole age goes into a lone edit; one the toolkit cannot split shows as it is.
  edit->SetText(value.c_str());
  if (combo) combo->SelectItem(-1, false, false);
}

bool GetAge(CControlUI* control, std::wstring& value) {
  CControlUI* edit;
  CComboUI* combo;
  AgePair(control, edit, combo);
  if (!edit) return false;
  value = edit->GetText().str();
  if (!combo) return true;
  std::wstring unit;
  SelectedUserData(combo, unit);
  SODcmAge age;
  std::string joined;
  // A number the toolkit cannot join with the unit is reported as typed.
  if (SODcmConvert::Convert(RemoteUI::Utf8(value + unit).c_str(), age) && SODcmConvert::Convert(age, joined))
    value = RemoteUI::Wide(joined);
  return true;
}

// Shows a DICOM date as the control's day; false (nothing written) for a text that is none.
bool SetDate(CDateTimeUI* date, const std::wstring& value) {
  SODcmDate day;
  return !value.empty() && SODcmConvert::Convert(RemoteUI::Utf8(value).c_str(), day) &&
         date->SetTime(day.year, day.month, day.day);
}

}  // namespace

bool CSRContentWnd::ParseTag(const wchar_t* text, DWORD& tag) {
  if (!text || !*text) return false;
  wchar_t* end = nullptr;
  const DWORD group = static_cast<DWORD>(wcstol(text, &end, 16)) & 0xFFFF;
  // One separator is skipped whatever it is; a text that ends there names element 0.
  const DWORD element = *end ? static_cast<DWORD>(wcstol(end + 1, nullptr, 16)) & 0xFFFF : 0;
  tag = (group << 16) | element;
  return true;
}

bool CSRContentWnd::ReadDocument(SODcmSR& sr, DWORD tag, std::wstring& text) {
  switch (tag) {
    case kAcquisitionModality: return sr.GetAcquisitionModality(text);
    case kVerifyingOrganization: return sr.GetVerifyingOrganization(text);
    case kVerifyingObserverName: return sr.GetVerifyingObserverName(text);
    case kFinding: return sr.GetFinding(text);
    case kConclusion: return sr.GetConclusion(text);
    case kAuthor: return sr.GetAuthorObserverName(text);
    // The verification date-time shows as the document's top-level attribute.
    default: return sr.GetDataset()->GetString(tag, text);
  }
}

bool CSRContentWnd::WriteDocument(SODcmSR& sr, DWORD tag, const wchar_t* text) {
  switch (tag) {
    case kAcquisitionModality: return sr.SetAcquisitionModality(text);
    case kVerifyingOrganization: return sr.SetVerifyingOrganization(text);
    case kVerificationDateTime: return sr.SetVerificationDateTime(text);
    case kVerifyingObserverName: return sr.SetVerifyingObserverName(text);
    case kFinding: return sr.SetFinding(text);
    case kConclusion: return sr.SetConclusion(text);
    case kAuthor: return sr.SetAuthorObserverName(text);
    default: return sr.GetDataset()->SetString(tag, text);
  }
}

void CSRContentWnd::InitWindow() {
  panel_ = RemoteUI::Find<CContainerUI>(m_PaintManager, L"attributePanel");
}

void CSRContentWnd::AddListener(ISRContentCallback* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void CSRContentWnd::BindEvents(CContainerUI* container) {
  if (!container) return;
  Walk(container, [this](CControlUI* c, DWORD) {
    if (IsEditable(c)) c->OnNotify += MakeDelegate(this, &CSRContentWnd::OnControlEvent);
    return true;
  });
}

bool CSRContentWnd::FillFromSR(CContainerUI* container, SODcmSR* sr) {
  if (!container || !sr) return false;
  ++filling_;
  Fill(container, sr);
  --filling_;
  return true;
}

void CSRContentWnd::Fill(CContainerUI* container, SODcmSR* sr) {
  Walk(container, [sr](CControlUI* c, DWORD tag) {
    std::wstring text;
    if (!ReadDocument(*sr, tag, text)) text.clear();  // a missing attribute empties the control
    if (tag == kPatientSex) {
      if (IsClass(c, L"Edit"))
        c->SetText(text.c_str());
      else if (CComboUI* combo = AsCombo(c))
        SelectByUserData(combo, text);
    } else if (tag == kPatientAge) {
      SetAge(c, text);
    } else if (CDateTimeUI* date = AsDate(c)) {
      if (!SetDate(date, text)) c->SetText(text.c_str());
    } else if (!IsClass(c, L"RichEdit") || c->GetText() != text.c_str()) {
      c->SetText(text.c_str());
    }
    return true;
  });
}

void CSRContentWnd::EnableUI(CContainerUI* container, bool enable) {
  if (!container) return;
  Walk(container, [enable](CControlUI* c, DWORD) {
    if (IsEditable(c)) c->SetEnabled(enable);
    return true;
  });
}

bool CSRContentWnd::SetValue(DWORD tag, const wchar_t* text) {
  if (!text || !panel_) return false;
  CControlUI* control = FindControl(panel_, tag);
  if (!control) return false;
  if (CDateTimeUI* date = AsDate(control)) return SetDate(date, text);
  // A rich edit reports every text set, even an equal one.
  if (IsClass(control, L"RichEdit") && control->GetText() == text) return true;
  control->SetText(text);
  return true;
}

bool CSRContentWnd::OnControlEvent(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  DWORD tag = 0;
  if (filling_ || !msg || !BoundTag(msg->pSender, tag)) return true;
  CControlUI* control = msg->pSender;
  std::wstring value;
  if (msg->sType == L"textchanged") {
    if (tag != kPatientAge)
      Report(tag, control->GetText());
    else if (GetAge(control, value))
      Report(tag, value.c_str());
  } else if (msg->sType == L"itemselect") {
    if (tag == kPatientSex && SelectedUserData(AsCombo(control), value))
      Report(tag, value.c_str());
    else if (tag == kPatientAge && GetAge(control, value))
      Report(tag, value.c_str());
  }
  return true;
}

void CSRContentWnd::Report(DWORD tag, const wchar_t* text) {
  // A listener may add another while it is told.
  const std::vector<ISRContentCallback*> listeners = listeners_;
  for (ISRContentCallback* listener : listeners) listener->OnContentValueChanged(tag, text);
}
