#pragma once

#include <memory>
#include <vector>

#include "ISOPlugin.h"
#include "Jorvel.h"
#include "Link.h"
#include "LinkManager.h"
#include "RemoteUI.h"

class CLinkWindow;
class EntryItemUI;

class IEntryItemCallback {
 public:
  virtual void OnEntrySelected(EntryItemUI* item) = 0;

 protected:
  ~IEntryItemCallback() = default;
};

// One row of the entry list: the user's own orders, or a team. Selecting it shows its order
// list window.
class EntryItemUI : public DuiLib::CHorizontalLayoutUI, public ILinkCallback {
 public:
  ~EntryItemUI() override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoInit() override;
  // Called on the thread that changed the link; the controls change on the UI thread.
  void OnLinkChanged(Link* link) override;

  // The row of a team: listens to the link and takes its name and marks.
  void BindLink(const std::shared_ptr<Link>& link);
  void ReleaseLink();

  DuiLib::COptionUI* Option() const { return option_; }
  DuiLib::CControlUI* Mark() const { return mark_; }
  std::wstring Text() const { return text_; }
  Link* GetLink() const { return link_.get(); }

  CLinkWindow* window = nullptr;          // owned by the window itself
  IEntryItemCallback* callback = nullptr;  // the plug-in window

 private:
  void ApplyLink(const std::string& name, bool blocked, bool recharge);
  bool OnOptionNotify(void* param);

  std::wstring text_, bkImage_;
  DuiLib::CControlUI* image_ = nullptr;
  DuiLib::CControlUI* mark_ = nullptr;
  DuiLib::CControlUI* label_ = nullptr;
  DuiLib::COptionUI* option_ = nullptr;
  std::shared_ptr<Link> link_;
  bool blocked_ = false, recharge_ = false;
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
};

// The plug-in's window: a login prompt while nobody is logged in; afterwards the entry list
// (own orders, then one row per team) and the selected entry's order list window.
class CQuillonWnd : public DuiLib::WindowImplBase,
                    public ISOPlugin,
                    public IEntryItemCallback,
                    public IJorvelCallback,
                    public ILinkManagerCallback {
 public:
  CQuillonWnd();
  ~CQuillonWnd();

  // ISOPlugin
  const wchar_t* GetName() override { return SOPLUGIN_QUILLON; }
  const wchar_t* GetTitle() override;
  const wchar_t* GetIcon() override { return L"remote/remote.png"; }
  void SetExecuter(ISOExecuter* host) override;
  ISOExecuter* GetExecuter() override { return executer_; }
  bool OnCommand(const char*, void*) override { return false; }
  bool OnMessage(int id, void* data, HWND owner) override;
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  // WindowImplBase
  const wchar_t* GetWindowClassName() const override { return L"CQuillonWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  DuiLib::CControlUI* CreateControl(const wchar_t* name) override;
  // The window is gone (the program's end, or a test): the object stops listening.
  void OnFinalMessage(HWND) override;

  // IEntryItemCallback
  void OnEntrySelected(EntryItemUI* item) override;
  // IJorvelCallback: the work is queued to the UI thread.
  void OnLogin(int result) override;
  void OnLogout() override;
  // ILinkManagerCallback: a new team's row and window, made on the UI thread.
  void OnLinkAdded(const std::shared_ptr<TeamLink>& link) override;

  void LoginUI();
  void LogoutUI();
  void LinkAddedUI(const std::shared_ptr<TeamLink>& link);

  const std::vector<EntryItemUI*>& Entries() const { return entries_; }
  DuiLib::CPaintManagerUI& PaintManager() { return m_PaintManager; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/main.xml"; }

 private:
  RECT PanelRect() const;
  bool OnPanelSize(void*);
  void RunCreationDialog(void* data, HWND owner);
  // UI thread: the side bar says whether the service answered the last poll.
  void ShowServiceStatus(bool answered, const std::wstring& reason);

  ISOExecuter* executer_ = nullptr;
  DuiLib::CControlUI* mainPanel_ = nullptr;
  DuiLib::CTabLayoutUI* mainTabLayout_ = nullptr;
  DuiLib::CContainerUI* entryList_ = nullptr;
  std::vector<EntryItemUI*> entries_;  // borrowed from the skin
  std::wstring title_;
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
};
