#include "QuillonWnd.h"

#include <algorithm>

#include "DiagCreateDlg.h"
#include "Gossamy.h"
#include "LinkWindows.h"
#include "TeamDialogs.h"
#include "MServer.h"
#include "RemoteSession.h"
#include "TeamLink.h"
#include "WebError.h"

using namespace DuiLib;

// ---- EntryItemUI ------------------------------------------------------------------------------

EntryItemUI::~EntryItemUI() {
  if (link_) link_->RemoveCallback(this);
}

void EntryItemUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (wcscmp(name, L"text") == 0) {
    text_ = ui_gettext(value);
    if (label_) label_->SetText(text_.c_str());
  } else if (wcscmp(name, L"bkimage") == 0) {
    bkImage_ = value;
    if (image_ && *value) image_->SetBkImage(value);
    return;
  }
  CHorizontalLayoutUI::SetAttribute(name, value);
}

void EntryItemUI::DoInit() {
  CDialogBuilder builder;
  auto* root = dynamic_cast<CContainerUI*>(builder.Create(L"remote/entry_item.xml", (unsigned int)0, nullptr, m_pManager));
  if (!root) return;
  Add(root);
  SetFixedHeight(root->GetFixedHeight());
  option_ = dynamic_cast<COptionUI*>(root->GetItemAt(0));
  if (auto* box = dynamic_cast<CContainerUI*>(root->GetItemAt(1))) {
    image_ = box->GetItemAt(0);
    mark_ = box->GetItemAt(1);
  }
  label_ = root->GetItemAt(2);
  if (option_) option_->OnNotify += MakeDelegate(this, &EntryItemUI::OnOptionNotify);
  if (image_ && !bkImage_.empty()) image_->SetBkImage(bkImage_.c_str());
  if (mark_) mark_->SetVisible(blocked_ || recharge_);
  if (label_) label_->SetText(text_.c_str());
}

bool EntryItemUI::OnOptionNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"selectchanged" && option_ && option_->IsSelected() && callback) callback->OnEntrySelected(this);
  return true;
}

void EntryItemUI::BindLink(const std::shared_ptr<Link>& link) {
  link_ = link;
  if (!link_) return;
  link_->AddCallback(this);
  ApplyLink(link_->GetName(), link_->IsBlocked(), link_->NeedsRecharge());
}

void EntryItemUI::ReleaseLink() {
  if (link_) link_->RemoveCallback(this);
  link_.reset();
}

void EntryItemUI::ApplyLink(const std::string& name, bool blocked, bool recharge) {
  blocked_ = blocked;
  recharge_ = recharge;
  text_ = RemoteUI::Wide(name);
  if (mark_) mark_->SetVisible(blocked_ || recharge_);
  if (label_) label_->SetText(text_.c_str());
}

void EntryItemUI::OnLinkChanged(Link* link) {
  // Read on the changing thread, shown on the UI thread.
  const std::string name = link->GetName();
  const bool blocked = link->IsBlocked(), recharge = link->NeedsRecharge();
  RemoteUI::Post(weak_, [this, name, blocked, recharge] { ApplyLink(name, blocked, recharge); });
}

// ---- CQuillonWnd ------------------------------------------------------------------------------

CQuillonWnd::CQuillonWnd() = default;

CQuillonWnd::~CQuillonWnd() {
  GetJorvel()->RemoveCallback(this);
  LinkManager::Instance().RemoveCallback(this);
}

const wchar_t* CQuillonWnd::GetTitle() {
  title_ = m_PaintManager.GetTitle();
  return title_.c_str();
}

void CQuillonWnd::SetExecuter(ISOExecuter* host) {
  executer_ = host;
  RemoteUI::SetHost(host);
}

HWND CQuillonWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  HWND hwnd = Create(parent, L"CQuillonWnd", 0x56000000, 0x10, x, y, cx, cy);
  if (hwnd) MoveWindow(hwnd, x, y, cx, cy, TRUE);
  return hwnd;
}

void CQuillonWnd::OnFinalMessage(HWND) {
  MServer::Instance().SetStatusCall(nullptr);
  GetJorvel()->RemoveCallback(this);
  LinkManager::Instance().RemoveCallback(this);
  // No window shows the lists any more: a logout posted meanwhile never runs, so the poller
  // stops here rather than keep the user's orders for whoever logs in next.
  MServer::Instance().Stop();
  token_.reset();
  entries_.clear();
  mainPanel_ = nullptr;
  mainTabLayout_ = nullptr;
  entryList_ = nullptr;
}

void CQuillonWnd::ShowServiceStatus(bool answered, const std::wstring& reason) {
  CControlUI* text = m_PaintManager.FindControl(L"serviceErrorText");
  if (!text) return;
  std::wstring message = ui_gettext(L"The consultation service did not answer; the lists may be out of date.");
  if (!reason.empty()) message += L"\n" + std::wstring(ui_gettext(reason.c_str()));
  text->SetText(message.c_str());
  text->SetVisible(!answered);
}

CControlUI* CQuillonWnd::CreateControl(const wchar_t* name) {
  if (wcscmp(name, L"HeadItem") == 0) return new EntryItemUI;
  return nullptr;
}

void CQuillonWnd::InitWindow() {
  RemoteUI::Invoker().Create(m_hWnd);
  SetWindowTextW(m_hWnd, L"DiagWnd");
  mainTabLayout_ = RemoteUI::Find<CTabLayoutUI>(m_PaintManager, L"mainTabLayout");
  mainPanel_ = m_PaintManager.FindControl(L"mainPanel");
  if (mainPanel_) mainPanel_->OnSize += MakeDelegate(this, &CQuillonWnd::OnPanelSize);
  entryList_ = RemoteUI::Find<CContainerUI>(m_PaintManager, L"entry_list");
  MServer::Instance().SetStatusCall([weak = weak_, this](bool answered, const WebError& error) {
    const std::wstring reason = error.code.empty() ? std::wstring() : Gossamy::GetString(error);
    RemoteUI::Post(weak, [this, answered, reason] { ShowServiceStatus(answered, reason); });
  });
  GetJorvel()->AddCallback(this);
  LinkManager::Instance().AddCallback(this);
  // A user logged in before the plug-in came up.
  if (GetJorvel()->IsLoggedIn()) LoginUI();
}

void CQuillonWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"loginBtn") {
      if (executer_) executer_->Broadcast(SOMSG_LOGIN_REQUIRED, m_hWnd, nullptr);
      return;
    }
    if (name == L"updateBtn") {
      MServer::Instance().ReloadNow();
      return;
    }
    if (name == L"createTeamBtn") return CTeamCreateDlg::Run(m_hWnd);
  }
  WindowImplBase::Notify(msg);
}

bool CQuillonWnd::OnMessage(int id, void* data, HWND owner) {
  if (id != SOMSG_REMOTE_DIAGNOSIS) return false;
  if (!GetJorvel()->IsLoggedIn()) {
    if (executer_) executer_->Broadcast(SOMSG_LOGIN_REQUIRED, owner, nullptr);
    return true;
  }
  if (data) RunCreationDialog(data, owner ? owner : m_hWnd);
  return true;
}

void CQuillonWnd::RunCreationDialog(void* data, HWND owner) {
  DiagCreateDlg::Run(*static_cast<const PatientRecord*>(data), owner, true);
}

RECT CQuillonWnd::PanelRect() const {
  return mainPanel_ ? mainPanel_->GetPos() : RECT{};
}

bool CQuillonWnd::OnPanelSize(void*) {
  const RECT rc = PanelRect();
  for (EntryItemUI* entry : entries_)
    if (entry->window && entry->window->GetHWND())
      SetWindowPos(entry->window->GetHWND(), nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void CQuillonWnd::OnEntrySelected(EntryItemUI* item) {
  for (EntryItemUI* entry : entries_)
    if (entry->window) entry->window->ShowWindow(entry == item, false);
}

void CQuillonWnd::OnLogin(int) {
  RemoteUI::Post(weak_, [this] { LoginUI(); });
}

void CQuillonWnd::OnLogout() {
  RemoteUI::Post(weak_, [this] { LogoutUI(); });
}

void CQuillonWnd::OnLinkAdded(const std::shared_ptr<TeamLink>& link) {
  // Posted, never waited for: the logout on the UI thread waits for the poll that raises this.
  RemoteUI::Post(weak_, [this, link] { LinkAddedUI(link); });
}

void CQuillonWnd::LoginUI() {
  // A login over a login: the previous user's rows and windows go first.
  if (!entries_.empty()) LogoutUI();
  const JorvelUserInfo user = *GetJorvel()->GetUserInfo();
  RemoteSession::SetCurrentUser(user);
  MServer::Instance().Start(user);
  auto* row = RemoteUI::Find<EntryItemUI>(m_PaintManager, L"entry_item_my");
  if (!row) return;
  const RECT rc = PanelRect();
  auto* window = new CLinkMyWindow;
  if (!window->Create(m_hWnd, L"CLinkMyWindow", 0x56000000, 0, rc)) {
    delete window;
    return;
  }
  MoveWindow(window->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  row->window = window;
  row->callback = this;
  entries_.push_back(row);
  // Teams already known (a login that came before the window) get their rows.
  for (const auto& link : LinkManager::Instance().Teams()) LinkAddedUI(link);
  if (COptionUI* option = row->Option()) {
    if (option->IsSelected()) OnEntrySelected(row);
    option->Selected(true, true);
  }
  if (mainTabLayout_) mainTabLayout_->SelectItem(1, false);
}

void CQuillonWnd::LogoutUI() {
  for (EntryItemUI* entry : entries_) {
    if (!entry->window) continue;
    entry->window->ReleaseLink();
    entry->window->Close(1);
    entry->window = nullptr;
  }
  for (EntryItemUI* entry : entries_) entry->ReleaseLink();
  entries_.clear();
  if (entryList_) entryList_->RemoveAll();
  JorvelUserInfo user = RemoteSession::CurrentUser();
  user.id.clear();
  user.userName.clear();
  RemoteSession::SetCurrentUser(user);
  MServer::Instance().Stop();
  if (mainTabLayout_) mainTabLayout_->SelectItem(0, false);
}

void CQuillonWnd::LinkAddedUI(const std::shared_ptr<TeamLink>& link) {
  // A team of a user who logged out meanwhile, or one that has its row already.
  if (!link || entries_.empty() || LinkManager::Instance().Find(link->Team().id) != link) return;
  if (std::any_of(entries_.begin(), entries_.end(), [&](EntryItemUI* e) { return e->GetLink() == link.get(); }))
    return;
  if (!entryList_) return;
  const RECT rc = PanelRect();
  auto* row = new EntryItemUI;
  row->SetAttribute(L"bkimage", L"remote/team.png");
  row->BindLink(link);
  entryList_->Add(row);
  auto* window = new CLinkTeamWindow(link);
  if (window->Create(m_hWnd, L"CLinkTeamWindow", 0x46000000, 0, rc)) {
    // Hidden until its row is selected: the selected row's window stays the visible one.
    window->ShowWindow(false, false);
    MoveWindow(window->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    row->window = window;
  } else {
    delete window;
  }
  row->callback = this;
  entries_.push_back(row);
}
