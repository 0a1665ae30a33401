#include "PersonalInfoDlg.h"

#include "ShellStore.h"
#include "Jorvel.h"
#include "Zarnet.h"
#include "ShellDialogs.h"

using namespace DuiLib;

void PersonalInfoDlg::Run(HWND owner) {
  PersonalInfoDlg dialog;
  RunModal(dialog, owner, L"PersonalInfoDlg", 0x80C80000);
}

void PersonalInfoDlg::InitWindow() {
  m_user = *GetJorvel()->GetUserInfo();
  Fill();
}

void PersonalInfoDlg::Fill() {
  const std::string& title = m_user.nickName.empty() ? m_user.userName : m_user.nickName;
  const struct {
    const wchar_t* control;
    const std::string& text;
  } fields[] = {{L"personal_info_userTitleLabel", title},
                {L"personal_info_userNameLabel", m_user.userName},
                {L"personal_info_nickNameEdit", m_user.nickName},
                {L"personal_info_mobileLabel", m_user.mobile}};
  for (const auto& f : fields)
    if (CControlUI* control = m_PaintManager.FindControl(f.control))
      control->SetText(SOWin::FromUtf8(f.text).c_str());
}

void PersonalInfoDlg::Notify(TNotifyUI& msg) {
  if ((msg.sType == L"return" || msg.sType == L"killfocus") && msg.pSender &&
      msg.pSender->GetName() == L"personal_info_nickNameEdit") {
    ChangeNickName();
    return;
  }
  WndDialog::Notify(msg);
}

void PersonalInfoDlg::ChangeNickName() {
  CControlUI* edit = m_PaintManager.FindControl(L"personal_info_nickNameEdit");
  if (!edit) return;
  const std::string nickName = SOWin::ToUtf8(edit->GetText().str());
  if (nickName == m_user.nickName) return;
  WebError error;
  if (GetJorvel()->UpdateNickName(&nickName, &error)) {
    m_user = *GetJorvel()->GetUserInfo();
    Fill();
    return;
  }
  // The edit shows the stored nickname again before the box, so that leaving the edit while
  // the box is up asks nothing more of the service.
  edit->SetText(SOWin::FromUtf8(m_user.nickName).c_str());
  MessageBoxUI(m_hWnd, ui_gettext(ShellStore::GetString(error).c_str()), nullptr, 0);
}

void FeedbackDlg::Run(HWND owner) {
  FeedbackDlg dialog;
  RunModal(dialog, owner, L"FeedbackDlg", 0x86C80000);
}

void FeedbackDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"sendBtn") return Send();
    if (name == L"successCloseBtn" || name == L"failedCloseBtn") return Close(IDOK);
    if (name == L"retryBtn") return ShowPage(0);
  }
  WndDialog::Notify(msg);
}

void FeedbackDlg::ShowPage(int page) {
  SelectTab(m_PaintManager, L"switch", page);
}

void FeedbackDlg::Send() {
  CControlUI* edit = m_PaintManager.FindControl(L"feedbackEdit");
  if (!edit || edit->GetText().IsEmpty()) {
    MessageBoxUI(m_hWnd, ui_gettext(L"Feedback can not be empty!"), nullptr, 0);
    return;
  }
  const std::string text = SOWin::ToUtf8(edit->GetText().str());
  ShowPage(Web_Feedback(&text) ? 1 : 2);
}
