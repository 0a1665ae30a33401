#pragma once

#include <memory>
#include <vector>

#include "JorvelRecords.h"
#include "RemoteUI.h"
#include "WebError.h"

class TeamLink;

// Finds users by name and adds the chosen one to the team (members, white list or black list).
// A refused add shows the service's message and keeps the dialog open.
class CMemberAddDlg : public DuiLib::WindowImplBase {
 public:
  explicit CMemberAddDlg(const std::shared_ptr<TeamLink>& link) : link_(link) {}
  const wchar_t* GetWindowClassName() const override { return L"CMemberAddDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  virtual bool Add(const JorvelUserInfo* user, WebError* error);
  const std::vector<JorvelUserInfo>& Results() const { return results_; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/member_add_dlg.xml"; }
  std::shared_ptr<TeamLink> link_;

 private:
  void OnSearch();
  void OnAdd();

  std::vector<JorvelUserInfo> results_;  // the rows' tags point into it
};

class CWhiteListAddDlg : public CMemberAddDlg {
 public:
  using CMemberAddDlg::CMemberAddDlg;
  bool Add(const JorvelUserInfo* user, WebError* error) override;
};

class CBlackListAddDlg : public CMemberAddDlg {
 public:
  using CMemberAddDlg::CMemberAddDlg;
  bool Add(const JorvelUserInfo* user, WebError* error) override;
};

// The report and verify permissions of one member. A refused change shows the service's
// message and keeps the dialog open.
class CMemberPermitDlg : public DuiLib::WindowImplBase {
 public:
  CMemberPermitDlg(const std::shared_ptr<TeamLink>& link, const MemberRecord& member) : link_(link), member_(member) {}
  const wchar_t* GetWindowClassName() const override { return L"CMemberPermitDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/member_permit_dlg.xml"; }

 private:
  std::shared_ptr<TeamLink> link_;
  MemberRecord member_;
};

// A read-only card of one member: names, mobile and permissions. Closes when it loses the focus.
class CMemberWnd : public DuiLib::WindowImplBase {
 public:
  explicit CMemberWnd(const MemberRecord& member) : member_(member) {}
  const wchar_t* GetWindowClassName() const override { return L"CMemberWnd"; }
  void InitWindow() override;
  LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/member_info_wnd.xml"; }

 private:
  MemberRecord member_;
  DuiLib::CWndShadow shadow_;
};
