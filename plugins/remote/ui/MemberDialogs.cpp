#include "MemberDialogs.h"

#include "Gossamy.h"
#include "Jorvel.h"
#include "RemoteRecords.h"
#include "TeamLink.h"
#include "Zarnet.h"

using namespace DuiLib;

void CMemberAddDlg::InitWindow() {
  if (CControlUI* add = m_PaintManager.FindControl(L"addBtn")) add->SetEnabled(false);
}

void CMemberAddDlg::Notify(TNotifyUI& msg) {
  if (msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (msg.sType == L"click" && name == L"searchBtn") return OnSearch();
    if (msg.sType == L"click" && name == L"addBtn") return OnAdd();
    if (msg.sType == L"return" && name == L"searchEdit") return OnSearch();
    if (msg.sType == L"itemselect" && name == L"resultList")
      if (CControlUI* add = m_PaintManager.FindControl(L"addBtn")) add->SetEnabled(true);
  }
  WindowImplBase::Notify(msg);
}

void CMemberAddDlg::OnSearch() {
  CControlUI* edit = m_PaintManager.FindControl(L"searchEdit");
  const std::string text = edit ? RemoteUI::Utf8(edit->GetText().str()) : std::string();
  std::vector<JorvelUserInfo> found;
  WebError error;
  if (!text.empty()) Web_UserSearch(text, &found, &error);
  results_ = found;
  auto* list = RemoteUI::Find<CListUI>(m_PaintManager, L"resultList");
  if (CControlUI* add = m_PaintManager.FindControl(L"addBtn")) add->SetEnabled(false);
  if (!list) return;
  list->RemoveAll();
  for (JorvelUserInfo& user : results_) {
    auto* row = new CListTextElementUI;
    list->Add(row);
    row->SetTag(reinterpret_cast<UINT_PTR>(&user));
    row->SetText(0, RemoteUI::Wide(user.userName).c_str());
    row->SetText(1, RemoteUI::Wide(user.nickName).c_str());
  }
  if (list->GetCount() > 0) list->SelectItem(0, false, true);
}

void CMemberAddDlg::OnAdd() {
  auto* list = RemoteUI::Find<CListUI>(m_PaintManager, L"resultList");
  CControlUI* row = list ? list->GetItemAt(list->GetCurSel()) : nullptr;
  if (!row) return;
  WebError error;
  if (Add(reinterpret_cast<const JorvelUserInfo*>(row->GetTag()), &error)) {
    Close(1);
    return;
  }
  MessageBoxUI(m_hWnd, ui_gettext(Gossamy::GetString(error).c_str()), nullptr, 0);
}

bool CMemberAddDlg::Add(const JorvelUserInfo* user, WebError* error) { return link_->AddMember(user, error); }
bool CWhiteListAddDlg::Add(const JorvelUserInfo* user, WebError* error) { return link_->WhiteListAdd(user, error); }
bool CBlackListAddDlg::Add(const JorvelUserInfo* user, WebError* error) { return link_->BlackListAdd(user, error); }

void CMemberPermitDlg::InitWindow() {
  if (auto* edit = RemoteUI::Find<COptionUI>(m_PaintManager, L"editCheck")) edit->Selected(member_.editPermit, false);
  if (auto* verify = RemoteUI::Find<COptionUI>(m_PaintManager, L"verifyCheck"))
    verify->Selected(member_.verifyPermit, false);
}

void CMemberPermitDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"saveBtn") {
    auto* edit = RemoteUI::Find<COptionUI>(m_PaintManager, L"editCheck");
    auto* verify = RemoteUI::Find<COptionUI>(m_PaintManager, L"verifyCheck");
    WebError error;
    if (link_->SetPermission(&member_.id, edit && edit->IsSelected(), verify && verify->IsSelected(), &error)) {
      Close(1);
      return;
    }
    MessageBoxUI(m_hWnd, ui_gettext(Gossamy::GetString(error).c_str()), nullptr, 0);
    return;
  }
  WindowImplBase::Notify(msg);
}

void CMemberWnd::InitWindow() {
  shadow_.Create(m_hWnd);
  shadow_.SetSize(3);
  shadow_.SetPosition(0, 0);
  const struct {
    const wchar_t* name;
    std::string text;
  } labels[] = {{L"userTitleLabel", RemoteRecords::DisplayName(member_)},
                {L"userIDLabel", member_.user.userID},
                {L"userNameLabel", member_.user.userName},
                {L"nickNameLabel", member_.user.nickName},
                {L"mobileLabel", member_.user.mobile},
                {L"signedNameLabel", member_.signedName}};
  for (const auto& label : labels)
    if (CControlUI* control = m_PaintManager.FindControl(label.name)) control->SetText(RemoteUI::Wide(label.text).c_str());
  if (CControlUI* readOnly = m_PaintManager.FindControl(L"readOnlyLabel"))
    readOnly->SetVisible(!member_.editPermit && !member_.verifyPermit);
  if (CControlUI* edit = m_PaintManager.FindControl(L"editPermitLabel")) edit->SetVisible(member_.editPermit);
  if (CControlUI* verify = m_PaintManager.FindControl(L"verifyPermitLabel")) verify->SetVisible(member_.verifyPermit);
}

LRESULT CMemberWnd::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  Close(1);
  bHandled = TRUE;
  return 0;
}
