#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Link.h"
#include "RemoteUI.h"
#include "WebError.h"

class TeamLink;

class ITeamWndCallback {
 public:
  virtual void OnTeamWndClosed() = 0;

 protected:
  ~ITeamWndCallback() = default;
};

// One team's information: code, name, description, institution, balance, service type, the
// user's signed name, the members and the white and black lists. The owner edits the team here;
// every member edits his signed name. Docked at the right of its team's order list; closes when
// it loses the focus, except while one of its dialogs is up. Deletes itself when destroyed.
class CTeamWnd : public DuiLib::WindowImplBase, public ILinkCallback {
 public:
  explicit CTeamWnd(const std::shared_ptr<TeamLink>& link);
  ~CTeamWnd() override;
  const wchar_t* GetWindowClassName() const override { return L"CTeamWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND) override;
  LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  void OnLinkChanged(Link*) override;

  // Shows what the link holds now.
  void Fill();
  bool IsOwner() const { return isOwner_; }

  ITeamWndCallback* callback = nullptr;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/team_info_wnd.xml"; }

 private:
  void SetOwnerVisibility();
  void FillList(const wchar_t* listName, const wchar_t* countName, const std::vector<TeamListEntry>& entries,
                bool white);
  // Runs a dialog of this window without closing it when the focus goes.
  void RunDialog(DuiLib::CWindowWnd& dialog, const wchar_t* name, DWORD style);
  // The value editor of a button; false for another button.
  bool RunValueDialog(const DuiLib::CDuiString& button);
  void AfterDialog();
  bool OnMemberMenu(void* param);
  bool OnEntryMenu(void* param);
  bool OnMemberCard(void* param);
  POINT MenuPoint(DuiLib::CControlUI* button) const;

  std::shared_ptr<TeamLink> link_;
  TeamRecord team_;
  bool isOwner_ = false;
  bool autoClose_ = true;
  std::vector<MemberRecord> members_;
  std::vector<TeamListEntry> whiteEntries_, blackEntries_;
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
};

// Edits one value of a team or of the user's membership in one control ("valueControlUI", an
// edit or a drop-down list); "saveBtn" sends it. A failed call shows the service's message and
// keeps the dialog open.
class CValueUpdateDlg : public DuiLib::WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"CValueUpdateDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  virtual void GetValue(std::string& value) = 0;
  virtual bool SetValue(std::string value, WebError* error) = 0;
  explicit CValueUpdateDlg(const std::shared_ptr<TeamLink>& link) : link_(link) {}

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  void OnSave();

  std::shared_ptr<TeamLink> link_;
};

class CValueUpdateDlg_TeamName : public CValueUpdateDlg {
 public:
  using CValueUpdateDlg::CValueUpdateDlg;
  void GetValue(std::string& value) override;
  bool SetValue(std::string value, WebError* error) override;

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/value_teamname_dlg.xml"; }
};

class CValueUpdateDlg_TeamDesc : public CValueUpdateDlg {
 public:
  using CValueUpdateDlg::CValueUpdateDlg;
  void GetValue(std::string& value) override;
  bool SetValue(std::string value, WebError* error) override;

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/value_teamdesc_dlg.xml"; }
};

class CValueUpdateDlg_InstName : public CValueUpdateDlg {
 public:
  using CValueUpdateDlg::CValueUpdateDlg;
  void GetValue(std::string& value) override;
  bool SetValue(std::string value, WebError* error) override;

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/value_instname_dlg.xml"; }
};

class CValueUpdateDlg_TeamType : public CValueUpdateDlg {
 public:
  using CValueUpdateDlg::CValueUpdateDlg;
  void GetValue(std::string& value) override;
  bool SetValue(std::string value, WebError* error) override;

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/value_teamtype_dlg.xml"; }
};

class CValueUpdateDlg_MemberSignedName : public CValueUpdateDlg {
 public:
  using CValueUpdateDlg::CValueUpdateDlg;
  void GetValue(std::string& value) override;
  bool SetValue(std::string value, WebError* error) override;

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"remote/value_member_nickname_dlg.xml"; }
};
