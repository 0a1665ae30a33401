#include "TeamWnd.h"

#include "Gossamy.h"
#include "MemberDialogs.h"
#include "RemoteRecords.h"
#include "RemoteSession.h"
#include "TeamDialogs.h"
#include "TeamLink.h"
#include "Zarnet.h"

using namespace DuiLib;

// ---- CTeamWnd ---------------------------------------------------------------------------------

CTeamWnd::CTeamWnd(const std::shared_ptr<TeamLink>& link) : link_(link) {
  team_ = link_->Team();
  isOwner_ = !team_.owner.id.empty() && team_.owner.id == RemoteSession::CurrentUser().id;
  link_->AddCallback(this);
}

CTeamWnd::~CTeamWnd() { link_->RemoveCallback(this); }

void CTeamWnd::OnFinalMessage(HWND) {
  if (callback) callback->OnTeamWndClosed();
  delete this;
}

LRESULT CTeamWnd::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  if (autoClose_) Close(1);
  bHandled = TRUE;
  return 0;
}

void CTeamWnd::OnLinkChanged(Link*) {
  const TeamRecord team = link_->Team();
  RemoteUI::Post(weak_, [this, team] {
    team_ = team;
    isOwner_ = !team_.owner.id.empty() && team_.owner.id == RemoteSession::CurrentUser().id;
  });
}

void CTeamWnd::InitWindow() {
  SetOwnerVisibility();
  Fill();
}

void CTeamWnd::SetOwnerVisibility() {
  for (const wchar_t* name : {L"memberAddLayout", L"serviceLayout", L"teamNameEditBtn", L"teamDescEditBtn",
                              L"instNameEditBtn", L"totalAmountLayout"})
    if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetVisible(isOwner_);
}

void CTeamWnd::Fill() {
  team_ = link_->Team();
  const std::string me = RemoteSession::CurrentUser().id;
  const struct {
    const wchar_t* name;
    const std::string& text;
  } labels[] = {{L"teamCodeLabel", team_.sid},
                {L"teamNameLabel", team_.name},
                {L"teamDescText", team_.description},
                {L"instNameLabel", team_.institutionName},
                {L"teamTotalAmountLabel", team_.totalAmount},
                {L"platformChargeFeeLabel", team_.platformFee},
                {L"serviceTypeLabel", team_.serviceType}};
  for (const auto& label : labels)
    if (CControlUI* control = m_PaintManager.FindControl(label.name))
      control->SetText(RemoteUI::Wide(label.text).c_str());
  for (const MemberRecord& member : team_.members)
    if (member.user.id == me) {
      if (CControlUI* signedName = m_PaintManager.FindControl(L"signedNameLabel"))
        signedName->SetText(RemoteUI::Wide(member.signedName).c_str());
      break;
    }
  if (CControlUI* white = m_PaintManager.FindControl(L"whiteListBtn")) white->SetEnabled(team_.serviceType == "PRIVATE");
  if (CControlUI* black = m_PaintManager.FindControl(L"blackListBtn")) black->SetEnabled(team_.serviceType == "PUBLIC");

  whiteEntries_ = link_->WhiteList();
  blackEntries_ = link_->BlackList();
  FillList(L"whiteList", L"whiteListLabel", whiteEntries_, true);
  FillList(L"blackList", L"blackListLabel", blackEntries_, false);

  members_ = team_.members;
  if (auto* list = RemoteUI::Find<CContainerUI>(m_PaintManager, L"memberList")) {
    list->RemoveAll();
    for (MemberRecord& member : members_) {
      CDialogBuilder builder;
      auto* row = dynamic_cast<CContainerUI*>(builder.Create(L"remote/team_member_item.xml", (unsigned int)0, nullptr, &m_PaintManager));
      if (!row) continue;
      list->Add(row);
      if (CControlUI* name = row->GetItemAt(0)) {
        name->SetTag(reinterpret_cast<UINT_PTR>(&member));
        name->SetText(RemoteUI::Wide(RemoteRecords::DisplayName(member)).c_str());
        name->OnNotify += MakeDelegate(this, &CTeamWnd::OnMemberCard);
      }
      if (auto* marks = dynamic_cast<CContainerUI*>(row->GetItemAt(1))) {
        if (CControlUI* edit = marks->GetItemAt(0)) edit->SetVisible(member.editPermit);
        if (CControlUI* verify = marks->GetItemAt(1)) verify->SetVisible(member.verifyPermit);
      }
      if (CControlUI* menu = row->GetItemAt(2)) {
        menu->SetTag(reinterpret_cast<UINT_PTR>(&member));
        menu->SetVisible(isOwner_);
        menu->OnNotify += MakeDelegate(this, &CTeamWnd::OnMemberMenu);
      }
    }
  }
  SetOwnerVisibility();
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CTeamWnd::FillList(const wchar_t* listName, const wchar_t* countName, const std::vector<TeamListEntry>& entries,
                        bool white) {
  if (CControlUI* count = m_PaintManager.FindControl(countName))
    count->SetText(std::to_wstring(entries.size()).c_str());
  auto* list = RemoteUI::Find<CContainerUI>(m_PaintManager, listName);
  if (!list) return;
  list->RemoveAll();
  std::vector<TeamListEntry>& owned = white ? whiteEntries_ : blackEntries_;
  for (TeamListEntry& entry : owned) {
    CDialogBuilder builder;
    auto* row = dynamic_cast<CContainerUI*>(builder.Create(L"remote/team_wblist_item.xml", (unsigned int)0, nullptr, &m_PaintManager));
    if (!row) continue;
    list->Add(row);
    if (CControlUI* name = row->GetItemAt(0)) name->SetText(RemoteUI::Wide(RemoteRecords::DisplayName(entry)).c_str());
    if (CControlUI* menu = row->GetItemAt(1)) {
      menu->SetTag(reinterpret_cast<UINT_PTR>(&entry));
      menu->SetUserData(white ? L"white" : L"black");
      menu->OnNotify += MakeDelegate(this, &CTeamWnd::OnEntryMenu);
    }
  }
  list->SetVisible(!entries.empty());
}

void CTeamWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"closeBtn" || name == L"whiteListCloseBtn" || name == L"blackListCloseBtn") return Close(1);
    if (name == L"whiteListBtn") return RemoteUI::SelectPage(m_PaintManager, L"tabLayout", 1);
    if (name == L"blackListBtn") return RemoteUI::SelectPage(m_PaintManager, L"tabLayout", 2);
    if (name == L"whiteListBackBtn" || name == L"blackListBackBtn")
      return RemoteUI::SelectPage(m_PaintManager, L"tabLayout", 0);
    if (RunValueDialog(name)) return;
    if (name == L"memberAddBtn") {
      CMemberAddDlg dialog(link_);
      return RunDialog(dialog, L"CMemberAddDlg", 0x86C80000);
    }
    if (name == L"whitelistAddBtn") {
      CWhiteListAddDlg dialog(link_);
      return RunDialog(dialog, L"CWhiteListAddDlg", 0x86C80000);
    }
    if (name == L"blacklistAddBtn") {
      CBlackListAddDlg dialog(link_);
      return RunDialog(dialog, L"CBlackListAddDlg", 0x86C80000);
    }
    if (name == L"rechargeBtn") {
      CRechargeDlg dialog(link_->Team());
      return RunDialog(dialog, L"CRechargeDlg", 0x00C80000);
    }
  }
  WindowImplBase::Notify(msg);
}

bool CTeamWnd::RunValueDialog(const CDuiString& button) {
  using Make = std::unique_ptr<CValueUpdateDlg> (*)(const std::shared_ptr<TeamLink>&);
  static const struct {
    const wchar_t* button;
    const wchar_t* name;
    Make make;
  } dialogs[] = {
      {L"teamNameEditBtn", L"CValueUpdateDlg_TeamName",
       [](const std::shared_ptr<TeamLink>& l) -> std::unique_ptr<CValueUpdateDlg> {
         return std::make_unique<CValueUpdateDlg_TeamName>(l);
       }},
      {L"teamDescEditBtn", L"CValueUpdateDlg_TeamDesc",
       [](const std::shared_ptr<TeamLink>& l) -> std::unique_ptr<CValueUpdateDlg> {
         return std::make_unique<CValueUpdateDlg_TeamDesc>(l);
       }},
      {L"instNameEditBtn", L"CValueUpdateDlg_InstName",
       [](const std::shared_ptr<TeamLink>& l) -> std::unique_ptr<CValueUpdateDlg> {
         return std::make_unique<CValueUpdateDlg_InstName>(l);
       }},
      {L"typeBtn", L"CValueUpdateDlg_TeamType",
       [](const std::shared_ptr<TeamLink>& l) -> std::unique_ptr<CValueUpdateDlg> {
         return std::make_unique<CValueUpdateDlg_TeamType>(l);
       }},
      {L"signedNameEditBtn", L"CValueUpdateDlg_MemberSignedName",
       [](const std::shared_ptr<TeamLink>& l) -> std::unique_ptr<CValueUpdateDlg> {
         return std::make_unique<CValueUpdateDlg_MemberSignedName>(l);
       }},
  };
  for (const auto& d : dialogs)
    if (button == d.button) {
      std::unique_ptr<CValueUpdateDlg> dialog = d.make(link_);
      RunDialog(*dialog, d.name, 0x86C80000);
      return true;
    }
  return false;
}

void CTeamWnd::RunDialog(CWindowWnd& dialog, const wchar_t* name, DWORD style) {
  autoClose_ = false;
  if (dialog.Create(m_hWnd, name, style, 0, 0, 0, 0, 0)) {
    dialog.CenterWindow();
    dialog.ShowModal();
  }
  AfterDialog();
}

void CTeamWnd::AfterDialog() {
  SetFocus(m_hWnd);
  autoClose_ = true;
  Fill();
}

POINT CTeamWnd::MenuPoint(CControlUI* button) const {
  const RECT rc = button->GetPos();
  POINT pt{rc.left, rc.bottom};
  ClientToScreen(m_hWnd, &pt);
  return pt;
}

bool CTeamWnd::OnMemberMenu(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"click" || !msg->pSender) return true;
  const MemberRecord member = *reinterpret_cast<const MemberRecord*>(msg->pSender->GetTag());
  autoClose_ = false;
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1, ui_gettext(L"编辑权限"));
  if (member.user.id != team_.owner.id) AppendMenuW(menu, MF_STRING, 2, ui_gettext(L"删除成员"));
  const POINT pt = MenuPoint(msg->pSender);
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  if (chosen == 1) {
    CMemberPermitDlg dialog(link_, member);
    if (dialog.Create(m_hWnd, L"CMemberPermitDlg", 0x86C80000, 0, 0, 0, 0, 0)) {
      dialog.CenterWindow();
      dialog.ShowModal();
    }
  }
  if (chosen == 2) {
    WebError error;
    if (!link_->DeleteMember(&member, &error))
      MessageBoxUI(m_hWnd, ui_gettext(Gossamy::GetString(error).c_str()), nullptr, 0);
  }
  AfterDialog();
  return true;
}

bool CTeamWnd::OnMemberCard(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"click" || !msg->pSender) return true;
  const MemberRecord member = *reinterpret_cast<const MemberRecord*>(msg->pSender->GetTag());
  autoClose_ = false;
  POINT pt = msg->ptMouse;
  ClientToScreen(m_hWnd, &pt);
  CMemberWnd card(member);
  if (card.Create(m_hWnd, L"CMemberWnd", 0x80880000, 0, pt.x, pt.y, 0, 0)) {
    // Its right edge where the click was, and never below the screen.
    RECT rc;
    GetWindowRect(card.GetHWND(), &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    int top = rc.top;
    if (rc.bottom > GetSystemMetrics(SM_CYSCREEN)) top = GetSystemMetrics(SM_CYSCREEN) - height;
    MoveWindow(card.GetHWND(), rc.left - width, top, width, height, TRUE);
    card.ShowModal();
  }
  SetFocus(m_hWnd);
  autoClose_ = true;
  return true;
}

bool CTeamWnd::OnEntryMenu(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"click" || !msg->pSender) return true;
  const TeamListEntry entry = *reinterpret_cast<const TeamListEntry*>(msg->pSender->GetTag());
  const bool white = std::wstring(msg->pSender->GetUserData()) == L"white";
  autoClose_ = false;
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1, ui_gettext(L"删除成员"));
  const POINT pt = MenuPoint(msg->pSender);
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  if (chosen == 1) {
    WebError error;
    const bool ok = white ? link_->WhiteListDelete(&entry.user, &error) : link_->BlackListDelete(&entry.user, &error);
    if (!ok) MessageBoxUI(m_hWnd, ui_gettext(Gossamy::GetString(error).c_str()), nullptr, 0);
  }
  AfterDialog();
  return true;
}

// ---- CValueUpdateDlg --------------------------------------------------------------------------

void CValueUpdateDlg::InitWindow() {
  std::string value;
  GetValue(value);
  CControlUI* control = m_PaintManager.FindControl(L"valueControlUI");
  if (auto* combo = dynamic_cast<CComboUI*>(control)) {
    // Items may carry the value as user data and show a readable text; otherwise the text is
    // the value.
    int match = -1;
    for (int i = 0; i < combo->GetCount() && match < 0; ++i) {
      CControlUI* item = combo->GetItemAt(i);
      const std::wstring key = *item->GetUserData() ? item->GetUserData() : item->GetText().str();
      if (RemoteUI::Utf8(key) == value) match = i;
    }
    combo->SelectItem(match, false, true);
  } else if (control) {
    control->SetText(RemoteUI::Wide(value).c_str());
  }
}

void CValueUpdateDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"saveBtn") return OnSave();
  WndDialog::Notify(msg);
}

void CValueUpdateDlg::OnSave() {
  CControlUI* control = m_PaintManager.FindControl(L"valueControlUI");
  std::wstring text;
  if (auto* combo = dynamic_cast<CComboUI*>(control)) {
    if (CControlUI* item = combo->GetItemAt(combo->GetCurSel()))
      text = *item->GetUserData() ? item->GetUserData() : item->GetText().str();
  } else if (control) {
    text = control->GetText().str();
  }
  WebError error;
  if (SetValue(RemoteUI::Utf8(text), &error)) {
    Close(1);
    return;
  }
  MessageBoxUI(m_hWnd, ui_gettext(Gossamy::GetString(error).c_str()), nullptr, 0);
}

void CValueUpdateDlg_TeamName::GetValue(std::string& value) { value = link_->Team().name; }
bool CValueUpdateDlg_TeamName::SetValue(std::string value, WebError* error) { return link_->UpdateName(value, error); }
void CValueUpdateDlg_TeamDesc::GetValue(std::string& value) { value = link_->Team().description; }
bool CValueUpdateDlg_TeamDesc::SetValue(std::string value, WebError* error) { return link_->UpdateDesc(value, error); }
void CValueUpdateDlg_InstName::GetValue(std::string& value) { value = link_->Team().institutionName; }
bool CValueUpdateDlg_InstName::SetValue(std::string value, WebError* error) {
  return link_->UpdateInstName(value, error);
}
void CValueUpdateDlg_TeamType::GetValue(std::string& value) { value = link_->Team().serviceType; }
bool CValueUpdateDlg_TeamType::SetValue(std::string value, WebError* error) { return link_->UpdateType(value, error); }
void CValueUpdateDlg_MemberSignedName::GetValue(std::string& value) { value = link_->Me().signedName; }
bool CValueUpdateDlg_MemberSignedName::SetValue(std::string value, WebError* error) {
  const std::string memberId = link_->Me().id;
  return link_->SetSignedName(&memberId, value, error);
}
