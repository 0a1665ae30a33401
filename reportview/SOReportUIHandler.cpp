#include "SOReportUIHandler.h"

#include "ReportDocument.h"
#include "ReportTags.h"
#include "SODcmConvert.h"
#include "SODcmSR.h"
#include "SOUtil.h"
#include "UIlib.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

using namespace DuiLib;

namespace {

bool IsClass(CControlUI* c, const wchar_t* name) {
  return wcscmp(c->GetClass(), name) == 0;
}

// Controls that show a value and report the user's changes.
bool IsEditable(CControlUI* c) {
  for (const wchar_t* name : {L"Edit", L"Combo", L"RichEdit", L"EditCombo", L"DateTime"})
    if (IsClass(c, name)) return true;
  return false;
}

// Controls that show a value: the editable ones and labels.
bool IsValueControl(CControlUI* c) {
  return IsEditable(c) || IsClass(c, L"Label");
}

// The containers a page's walk descends into; anything else (lists, tile layouts) is opaque.
CContainerUI* AsPageContainer(CControlUI* c) {
  for (const wchar_t* name : {L"HorizontalLayout", L"VerticalLayout", L"ChildLayout", L"TabLayout", L"Container"})
    if (IsClass(c, name)) return static_cast<CContainerUI*>(c->GetInterface(L"Container"));
  return nullptr;
}

bool BoundTag(CControlUI* c, unsigned long& tag) {
  return SOReportUIHandler::ParseTag(c->GetUserData(), tag);
}

CComboUI* AsCombo(CControlUI* c) {
  return c && IsClass(c, L"Combo") ? static_cast<CComboUI*>(c->GetInterface(L"Combo")) : nullptr;
}

// Selects (quietly) the first item whose user data is `value`, or nothing.
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

std::string Narrow(const std::wstring& text) {
  return SOUtil::W2UTF8Str(text.c_str());
}

std::wstring Wide(const std::string& text) {
  return SOUtil::UTF82WStr(text.c_str());
}

// The document's value of a tag as the page shows it; empty when it has none. The verification
// date-time shows as the document's top-level attribute.
std::wstring DocumentText(SODcmSR* sr, unsigned long tag) {
  std::wstring text;
  const bool found = tag == ReportTag::VerificationDateTime ? sr->GetDataset()->GetString(tag, text)
                                                            : wendrel::ReportDocument::Read(*sr, tag, text);
  return found ? text : std::wstring();
}

// A DICOM date-time ("YYYYMMDDHHMMSS", fractions and offset ignored) as a reader writes it,
// "YYYY-MM-DD HH:MM:SS"; a text of another form is shown as it is.
std::wstring ReadableDateTime(const std::wstring& text) {
  size_t digits = 0;
  while (digits < text.size() && digits < 14 && iswdigit(text[digits])) ++digits;
  if (digits != 8 && digits != 12 && digits != 14) return text;
  std::wstring shown = text.substr(0, 4) + L"-" + text.substr(4, 2) + L"-" + text.substr(6, 2);
  for (size_t at = 8; at < digits; at += 2) shown += (at == 8 ? L" " : L":") + text.substr(at, 2);
  return shown;
}

}  // namespace

bool SOReportUIHandler::ParseTag(const wchar_t* text, unsigned long& tag) {
  if (!text || !*text) return false;
  wchar_t* end = nullptr;
  unsigned long group = static_cast<unsigned long>(wcstol(text, &end, 16)) & 0xFFFF;
  // One separator is skipped whatever it is; a text that ends there names element 0.
  unsigned long element = *end ? static_cast<unsigned long>(wcstol(end + 1, nullptr, 16)) & 0xFFFF : 0;
  tag = (group << 16) | element;
  return true;
}

void SOReportUIHandler::InitUI(CContainerUI* container, bool bindEvents) {
  m_pContainer = container;
  m_pictures.clear();
  if (!container) return;
  if (bindEvents) BindControlEvents(container);
  FindPictureUIList(container);
}

bool SOReportUIHandler::SetDcmSR(SODcmSR* document) {
  if (!m_pContainer || !document) return false;
  SetDcmSR(m_pContainer, document);
  for (size_t i = 0; i < m_pictures.size(); ++i) {
    SODcmDataset item;
    const unsigned char* bytes = nullptr;
    unsigned long length = 0;
    if (document->GetDataset()->GetSequenceItem(ReportTag::ReferencedImageSequence, i, item) &&
        item.GetUint8Array(ReportTag::EncapsulatedDocument, bytes, length) && length > 0)
      m_pictures[i]->SetPicture(bytes, long(length));
  }
  return true;
}

bool SOReportUIHandler::ClearUI() {
  if (!m_pContainer) return false;
  SODcmSR empty;
  return SetDcmSR(m_pContainer, &empty);
}

bool SOReportUIHandler::SetValue(unsigned long tag, const wchar_t* text) {
  if (!text || !m_pContainer) return false;
  CControlUI* control = FindControl(tag);
  if (!control) return false;
  PutValue(control, tag, text);
  return true;
}

bool SOReportUIHandler::GetValue(unsigned long tag, std::wstring& text) {
  if (!m_pContainer) return false;
  CControlUI* control = FindControl(tag);
  if (!control) return false;
  text = control->GetText().str();
  return true;
}

bool SOReportUIHandler::EnableUI(bool enable) {
  return m_pContainer && EnableUI(m_pContainer, enable);
}

int SOReportUIHandler::GetImageBoxCount() {
  return int(m_pictures.size());
}

bool SOReportUIHandler::SetImageBox(int index, unsigned char* bytes, long length) {
  if (!bytes || index < 0 || index >= int(m_pictures.size())) return false;
  return m_pictures[size_t(index)]->SetPicture(bytes, length);
}

void SOReportUIHandler::RegisterCallback(ISOReportUIHandlerCallback* callback) {
  if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
    m_callbacks.push_back(callback);
}

void SOReportUIHandler::UnRegisterCallback(ISOReportUIHandlerCallback* callback) {
  auto it = std::find(m_callbacks.begin(), m_callbacks.end(), callback);
  if (it != m_callbacks.end()) m_callbacks.erase(it);
}

CControlUI* SOReportUIHandler::FindControl(unsigned long tag) {
  return FindControl(static_cast<unsigned short>(tag >> 16), static_cast<unsigned short>(tag & 0xFFFF));
}

CControlUI* SOReportUIHandler::FindControl(unsigned short group, unsigned short element) {
  return m_pContainer ? FindControl(m_pContainer, group, element) : nullptr;
}

CControlUI* SOReportUIHandler::FindControl(CContainerUI* container, unsigned short group, unsigned short element) {
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    unsigned long tag = 0;
    if (IsValueControl(c) && BoundTag(c, tag) && (tag >> 16) == group && (tag & 0xFFFF) == element) return c;
    if (CContainerUI* inner = AsPageContainer(c))
      if (CControlUI* found = FindControl(inner, group, element)) return found;
  }
  return nullptr;
}

void SOReportUIHandler::FindPictureUIList(CContainerUI* container) {
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    if (IsClass(c, L"Picture"))
      m_pictures.push_back(static_cast<CPictureUI*>(c->GetInterface(L"Picture")));
    else if (CContainerUI* inner = AsPageContainer(c))
      FindPictureUIList(inner);
  }
}

void SOReportUIHandler::BindControlEvents(CContainerUI* container) {
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    unsigned long tag = 0;
    if (IsEditable(c) && BoundTag(c, tag))
      c->OnNotify += MakeDelegate(this, &SOReportUIHandler::OnControlEvent);
    else if (CContainerUI* inner = AsPageContainer(c))
      BindControlEvents(inner);
  }
}

bool SOReportUIHandler::OnControlEvent(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  unsigned long tag = 0;
  if (m_nFilling || !msg || !msg->pSender || !BoundTag(msg->pSender, tag)) return true;
  CControlUI* control = msg->pSender;
  std::wstring value;
  if (msg->sType == L"textchanged") {
    if (tag == ReportTag::PatientAge) {
      if (GetControlValue_PatientAge(control, value)) TriggerCallback(tag, value.c_str());
    } else {
      TriggerCallback(tag, control->GetText());
    }
  } else if (msg->sType == L"itemselect") {
    if (tag == ReportTag::PatientSex && GetControlValue_PatientSex(control, value))
      TriggerCallback(tag, value.c_str());
    else if (tag == ReportTag::PatientAge && GetControlValue_PatientAge(control, value))
      TriggerCallback(tag, value.c_str());
  } else if (msg->sType == L"killfocus" && IsClass(control, L"DateTime")) {
    if (GetControlValue_Date(control, value)) TriggerCallback(tag, value.c_str());
  }
  return true;
}

void SOReportUIHandler::TriggerCallback(unsigned long tag, const wchar_t* text) {
  // A listener may unregister itself while it is told.
  std::vector<ISOReportUIHandlerCallback*> callbacks = m_callbacks;
  for (ISOReportUIHandlerCallback* callback : callbacks)
    if (std::find(m_callbacks.begin(), m_callbacks.end(), callback) != m_callbacks.end())
      callback->OnControlValueChanged(static_cast<unsigned int>(tag), text);
}

bool SOReportUIHandler::EnableUI(CContainerUI* container, bool enable) {
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    if (IsEditable(c))
      c->SetEnabled(enable);
    else if (CContainerUI* inner = AsPageContainer(c))
      EnableUI(inner, enable);
  }
  return true;
}

bool SOReportUIHandler::SetDcmSR(CContainerUI* container, SODcmSR* document) {
  ++m_nFilling;
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* c = container->GetItemAt(i);
    unsigned long tag = 0;
    if (IsValueControl(c) && BoundTag(c, tag))
      PutValue(c, tag, DocumentText(document, tag));
    else if (CContainerUI* inner = AsPageContainer(c))
      SetDcmSR(inner, document);
  }
  --m_nFilling;
  return true;
}

void SOReportUIHandler::PutValue(CControlUI* control, unsigned long tag, const std::wstring& text) {
  if (tag == ReportTag::PatientSex)
    SetControlValue_PatientSex(control, text.c_str());
  else if (tag == ReportTag::PatientAge)
    SetControlValue_PatientAge(control, text.c_str());
  else if (IsClass(control, L"DateTime"))
    SetControlValue_Date(control, text.c_str());
  else if (IsClass(control, L"RichEdit") && control->GetText() == text.c_str())
    return;  // a rich edit reports every text set, even an equal one
  else if (tag == ReportTag::VerificationDateTime && IsClass(control, L"Label"))
    control->SetText(ReadableDateTime(text).c_str());
  else
    control->SetText(text.c_str());
}

void SOReportUIHandler::SetControlValue_PatientSex(CControlUI* control, const wchar_t* value) {
  if (IsClass(control, L"Edit"))
    control->SetText(value);
  else if (CComboUI* combo = AsCombo(control))
    SelectByUserData(combo, value);
}

bool SOReportUIHandler::GetControlValue_PatientSex(CControlUI* control, std::wstring& value) {
  return SelectedUserData(AsCombo(control), value);
}

void SOReportUIHandler::GetControlUI_PatientAge(CControlUI* control, CControlUI*& edit, CControlUI*& combo) {
  edit = combo = nullptr;
  const bool isEdit = IsClass(control, L"Edit");
  if (isEdit)
    edit = control;
  else if (AsCombo(control))
    combo = control;
  else
    return;
  CContainerUI* parent = control->GetParent()
                             ? static_cast<CContainerUI*>(control->GetParent()->GetInterface(L"Container"))
                             : nullptr;
  if (!parent) return;
  const int at = parent->GetItemIndex(control);
  CControlUI* neighbour = parent->GetItemAt(isEdit ? at + 1 : at - 1);
  unsigned long tag = 0;
  if (!neighbour || !BoundTag(neighbour, tag) || tag != ReportTag::PatientAge) return;
  if (isEdit && AsCombo(neighbour))
    combo = neighbour;
  else if (!isEdit && IsClass(neighbour, L"Edit"))
    edit = neighbour;
}

void SOReportUIHandler::SetControlValue_PatientAge(CControlUI* control, const wchar_t* value) {
  CControlUI *edit, *combo;
  GetControlUI_PatientAge(control, edit, combo);
  if (!edit) return;
  SODcmAge age;
  if (combo && *value && SODcmConvert::Convert(Narrow(value).c_str(), age)) {
    edit->SetText(std::to_wstring(age.number).c_str());
    SelectByUserData(AsCombo(combo), Wide(age.unit));
    return;
  }
  // A whole age string goes into a lone edit; one the toolkit cannot split shows as it is.
  edit->SetText(value);
  if (combo) AsCombo(combo)->SelectItem(-1, false, false);
}

bool SOReportUIHandler::GetControlValue_PatientAge(CControlUI* control, std::wstring& value) {
  CControlUI *edit, *combo;
  GetControlUI_PatientAge(control, edit, combo);
  if (!edit) return false;
  value = edit->GetText().str();
  if (!combo) return true;
  std::wstring unit;
  SelectedUserData(AsCombo(combo), unit);
  SODcmAge age;
  std::string joined;
  // A number the toolkit cannot join with the unit is reported as typed.
  if (SODcmConvert::Convert(Narrow(value + unit).c_str(), age) && SODcmConvert::Convert(age, joined))
    value = Wide(joined);
  return true;
}

void SOReportUIHandler::SetControlValue_Date(CControlUI* control, const wchar_t* value) {
  auto* date = static_cast<CDateTimeUI*>(control->GetInterface(L"DateTime"));
  SODcmDate day;
  if (date && *value && SODcmConvert::Convert(Narrow(value).c_str(), day) && date->SetTime(day.year, day.month, day.day))
    return;
  control->SetText(value);
}

bool SOReportUIHandler::GetControlValue_Date(CControlUI* control, std::wstring& value) {
  auto* date = static_cast<CDateTimeUI*>(control->GetInterface(L"DateTime"));
  value.clear();
  if (!date || control->GetText().IsEmpty()) return true;
  SODcmDate day;
  std::string text;
  // A text that is no date is handed back as it stands, so the document keeps it.
  if (date->GetTime(day.year, day.month, day.day) && SODcmConvert::Convert(day, text))
    value = Wide(text);
  else
    value = control->GetText().str();
  return true;
}
