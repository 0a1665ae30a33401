#include "CRegisterDlg.h"

#include <cstring>

#include "ShellStore.h"
#include "Jorvel.h"
#include "SOAccountRules.h"
#include "ShellMessages.h"
#include "ShellDialogs.h"

using namespace DuiLib;

namespace {

struct Field {
  const wchar_t* edit;
  const wchar_t* stateLayout;
  bool (*valid)(const std::string&);
};

bool AnyText(const std::string&) {
  return true;
}

const Field kFields[] = {
    {L"userNameEdit", L"userNameLabelLayout", SOAccountRules::IsValidUserName},
    {L"passwordEdit", L"passwordLabelLayout", SOAccountRules::IsValidPassword},
    {L"phoneEdit", L"phoneLabelLayout", SOAccountRules::IsValidPhone},
    {L"verifyCodeEdit", L"verifyCodeLabelLayout", AnyText},
};

const Field* FindField(const wchar_t* edit) {
  for (const Field& f : kFields)
    if (std::wcscmp(f.edit, edit) == 0) return &f;
  return nullptr;
}

}  // namespace

void CRegisterDlg::Run(HWND owner) {
  CRegisterDlg dialog;
  RunModal(dialog, owner, L"CRegisterDlg", 0x80C80000);
}

void CRegisterDlg::InitWindow() {
  for (const Field& f : kFields) ShowState(f.edit, kHint);
}

void CRegisterDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"click") {
    if (name == L"loginBtn" || name == L"loginNowBtn") {
      const HWND parent = GetWindow(m_hWnd, GW_OWNER);
      Close(IDOK);
      PostMessageW(parent, WM_SO_LOGIN, 0, 0);
      return;
    }
    if (name == L"verifyCodeSendBtn") return SendCode();
    if (name == L"registerBtn") return Register();
  } else if (const Field* field = FindField(name); field && msg.sType == L"setfocus") {
    ShowState(field->edit, kHint);
  } else if (field && msg.sType == L"killfocus") {
    if (std::wcscmp(field->edit, L"passwordEdit") != 0) TrimField(field->edit);
    const std::string text = SOWin::ToUtf8(msg.pSender->GetText().str());
    ShowState(field->edit, text.empty() ? kHint : field->valid(text) ? kValid : kInvalid);
  }
  WndDialog::Notify(msg);
}

void CRegisterDlg::TrimField(const wchar_t* edit) {
  if (CControlUI* control = m_PaintManager.FindControl(edit))
    control->SetText(SOWin::FromUtf8(SOAccountRules::Trim(SOWin::ToUtf8(control->GetText().str()))).c_str());
}

bool CRegisterDlg::CheckField(const wchar_t* edit) {
  const Field* field = FindField(edit);
  CControlUI* control = m_PaintManager.FindControl(edit);
  if (!field || !control) return false;
  const std::string text = SOWin::ToUtf8(control->GetText().str());
  const FieldState state = text.empty() ? kEmpty : field->valid(text) ? kValid : kInvalid;
  ShowState(edit, state);
  return state == kValid;
}

void CRegisterDlg::ShowState(const wchar_t* edit, FieldState state) {
  const Field* field = FindField(edit);
  auto* layout = field ? dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(field->stateLayout)) : nullptr;
  if (!layout) return;
  for (int i = 0; i < layout->GetCount(); ++i) layout->GetItemAt(i)->SetVisible(i == state);
}

void CRegisterDlg::ShowWebError(const std::wstring& text) {
  if (CControlUI* label = m_PaintManager.FindControl(L"webErrorLabel")) label->SetText(text.c_str());
}

void CRegisterDlg::SendCode() {
  TrimField(L"phoneEdit");
  if (!CheckField(L"phoneEdit")) return;
  const std::string phone = SOWin::ToUtf8(m_PaintManager.FindControl(L"phoneEdit")->GetText().str());
  WebError error;
  if (!Web_VerifyCodeForRegister(&phone, &error)) {
    ShowWebError(ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  m_countdown.Start(m_hWnd, m_PaintManager.FindControl(L"verifyCodeSendBtn"));
  ShowWebError(L"");
}

void CRegisterDlg::Register() {
  for (const wchar_t* edit : {L"userNameEdit", L"phoneEdit", L"verifyCodeEdit"}) TrimField(edit);
  bool valid = true;
  for (const Field& f : kFields) valid = CheckField(f.edit) && valid;  // every field shows its state
  if (!valid) return;
  auto text = [this](const wchar_t* edit) { return SOWin::ToUtf8(m_PaintManager.FindControl(edit)->GetText().str()); };
  const std::string user = text(L"userNameEdit"), password = text(L"passwordEdit"), phone = text(L"phoneEdit"),
                    code = text(L"verifyCodeEdit");
  WebError error;
  if (!Web_UserRegister(&user, &password, &phone, &code, &error)) {
    ShowWebError(ui_gettext(ShellStore::GetString(error).c_str()));
    return;
  }
  SelectTab(m_PaintManager, L"registerTabLayout", 1);
  ShowWebError(L"");
}

LRESULT CRegisterDlg::OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_countdown.OnTimer(wParam)) return 0;
  return WndDialog::OnTimer(uMsg, wParam, lParam, bHandled);
}
