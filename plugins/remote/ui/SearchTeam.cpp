#include "SearchTeam.h"

#include <thread>

#include "Jorvel.h"
#include "LikedTeams.h"
#include "WebError.h"

using namespace DuiLib;

UIX_SearchTeam::UIX_SearchTeam() : invoker_(std::make_shared<CInvoke>()) {}

UIX_SearchTeam::~UIX_SearchTeam() { invoker_->Release(); }

void UIX_SearchTeam::Init(HWND hwnd, CPaintManagerUI* pm) {
  hwnd_ = hwnd;
  pm_ = pm;
  searchEdit_ = pm->FindControl(L"teamSearchEdit");
  searchButton_ = pm->FindControl(L"teamSearchBtn");
  clearButton_ = pm->FindControl(L"teamSearchDeleteLikeBtn");
  teamList_ = RemoteUI::Find<CListUI>(*pm, L"teamSearchList");
  tabs_ = RemoteUI::Find<CTabLayoutUI>(*pm, L"teamSearchTabLayout");
  if (searchEdit_) searchEdit_->OnNotify += MakeDelegate(this, &UIX_SearchTeam::OnEditNotify);
  if (searchButton_) searchButton_->OnNotify += MakeDelegate(this, &UIX_SearchTeam::OnSearch);
  if (clearButton_) clearButton_->OnNotify += MakeDelegate(this, &UIX_SearchTeam::OnClear);
  invoker_->Create(hwnd);
  shown_ = LikedTeams::Instance().Teams();
  Rebuild();
  if (searchButton_) searchButton_->SetFocus();
}

const TeamRecord* UIX_SearchTeam::Selected() const {
  if (!teamList_) return nullptr;
  CControlUI* row = teamList_->GetItemAt(teamList_->GetCurSel());
  return row ? reinterpret_cast<const TeamRecord*>(row->GetTag()) : nullptr;
}

void UIX_SearchTeam::Rebuild() {
  if (!teamList_) return;
  teamList_->RemoveAll();
  for (TeamRecord& team : shown_) {
    CDialogBuilder builder;
    auto* row = dynamic_cast<CContainerUI*>(builder.Create(L"remote/team_search_list_item.xml", (unsigned int)0, nullptr, pm_));
    if (!row) continue;
    teamList_->Add(row);
    row->SetTag(reinterpret_cast<UINT_PTR>(&team));
    if (auto* cells = dynamic_cast<CContainerUI*>(row->GetItemAt(0))) {
      if (CControlUI* sid = cells->GetItemAt(0)) sid->SetText(RemoteUI::Wide(team.sid).c_str());
      if (CControlUI* name = cells->GetItemAt(1)) name->SetText(RemoteUI::Wide(team.name).c_str());
      if (CControlUI* remove = cells->GetItemAt(2)) {
        remove->SetTag(reinterpret_cast<UINT_PTR>(&team));
        remove->OnNotify += MakeDelegate(this, &UIX_SearchTeam::OnUnlikeClick);
      }
    }
  }
  if (teamList_->GetCount() > 0) teamList_->SelectItem(0, false, true);
}

void UIX_SearchTeam::ShowLiked() {
  shown_ = LikedTeams::Instance().Teams();
  Rebuild();
}

bool UIX_SearchTeam::OnEditNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"textchanged") return true;
  if (searchEdit_->GetText().IsEmpty()) {
    if (tabs_) tabs_->SelectItem(0, false);
    ShowLiked();
    if (clearButton_) clearButton_->SetVisible(false);
  } else {
    if (!shown_.empty()) {
      shown_.clear();
      Rebuild();
    }
    if (clearButton_) clearButton_->SetVisible(true);
  }
  return true;
}

bool UIX_SearchTeam::OnClear(void* param) {
  if (static_cast<TNotifyUI*>(param)->sType != L"click") return true;
  if (searchEdit_) searchEdit_->SetText(L"");
  if (tabs_) tabs_->SelectItem(0, false);
  ShowLiked();
  if (clearButton_) clearButton_->SetVisible(false);
  return true;
}

bool UIX_SearchTeam::OnSearch(void* param) {
  if (static_cast<TNotifyUI*>(param)->sType != L"click") return true;
  const std::string text = searchEdit_ ? RemoteUI::Utf8(searchEdit_->GetText().str()) : std::string();
  if (text.empty()) {
    ShowLiked();
    return true;
  }
  if (tabs_) tabs_->SelectItem(1, false);
  const int search = ++searches_;
  std::thread([invoker = invoker_, this, text, search] {
    TeamRecord team;
    WebError error;
    const bool found = Web_TeamSearch(text, &team, &error);
    invoker->BeginInvoke([this, found, team, search] {
      if (search == searches_) SearchDone(found, team);
    });
  }).detach();
  return true;
}

void UIX_SearchTeam::SearchDone(bool found, const TeamRecord& team) {
  if (tabs_) tabs_->SelectItem(found ? 0 : 2, false);
  shown_.clear();
  if (found) {
    shown_.push_back(team);
    LikedTeams::Instance().Like(team);
  }
  Rebuild();
}

bool UIX_SearchTeam::OnUnlikeClick(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"click" || !msg->pSender) return true;
  // The row goes with the rebuild: the work is done after this notification returned.
  const TeamRecord team = *reinterpret_cast<const TeamRecord*>(msg->pSender->GetTag());
  invoker_->BeginInvoke([this, team] {
    LikedTeams::Instance().Unlike(team);
    ShowLiked();
  });
  return true;
}
