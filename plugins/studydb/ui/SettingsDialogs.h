#pragma once

#include "ArchiveConfig.h"
#include "CloudManager.h"
#include "UIlib.h"

#include <string>

namespace tabrisk {

// Adds a remote node to archive.xml or edits one.
class SORemoteDlg : public DuiLib::WindowImplBase {
 public:
  // For editing: fills the fields from node `index`; false (nothing kept) outside the list.
  bool LoadNode(int index);
  // The four fields, checked in the dialog's order; the first wrong one is told in a box.
  bool ReadNode(RemoteNode& node);
  // An edit's text, or a combo's selected item; false when empty or missing.
  bool GetControlValue(const wchar_t* name, std::string& value);
  bool SetControlValue(const wchar_t* name, const std::string& value);
  bool IsConfirmed() const { return m_ok; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SORemoteDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/dlg_add_remote.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 private:
  DuiLib::CWndShadow m_shadow;
  bool m_ok = false;
  int m_index = -1;  // -1: a new node
};

// The study database's settings: store folder, receiving service, remote nodes, cloud station.
class SOSettingDlg : public DuiLib::WndDialog, public ISOConfigCallback, public ICloudManagerCallback {
 public:
  SOSettingDlg();
  ~SOSettingDlg() override;

  void OnRemoteChanged() override;
  void OnCloudReceiveChanged() override;
  // Any thread: the page is refilled on the UI thread.
  void OnCloudStationChanged() override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SOSettingDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/db_setting_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void FillGeneralPage();
  void FillRemoteList();
  void FillRemoteInfo();
  // An unknown station is asked for only on the user's own actions: asking again when an answer
  // arrives would ask forever while the service reports an unusable station.
  void FillCloudPage(bool askWhenUnknown);
  void Save();
  void TestNode();
  void EditNode(int index);
  void DeleteNode();
  int SelectedNode() const;
  void SetText(const wchar_t* name, const std::wstring& text);
  std::string Text(const wchar_t* name);

  DuiLib::CInvoke m_invoke;
  DuiLib::CListUI* m_nodes = nullptr;
  DuiLib::CControlUI* m_saveBtn = nullptr;
  DuiLib::COptionUI* m_commitCheck = nullptr;
  DuiLib::COptionUI* m_cloudCheck = nullptr;
  DuiLib::CBackgroundCall m_nodeTest;  // the remote node's echo
};

// Finds another user's cloud station by its device code, for a cloud send.
class CloudSendDlg : public DuiLib::WndDialog, public ISOConfigCallback, public ICloudManagerCallback {
 public:
  ~CloudSendDlg() override;
  // The station found; false when the dialog closed without one.
  bool GetResult(CloudStation& out) const;

  void OnCloudDeviceChanged() override;
  // Any thread: the label is refilled on the UI thread.
  void OnCloudStationChanged() override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CloudSendDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/cloud_send_dlg.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void ShowMyCode(bool askWhenUnknown);
  void FillDeviceTiles();
  void OnSendClick();
  void Unregister();

  DuiLib::CInvoke m_invoke;
  DuiLib::CEditUI* m_codeEdit = nullptr;
  DuiLib::CControlUI* m_clearBtn = nullptr;
  DuiLib::CContainerUI* m_tiles = nullptr;
  CloudStation m_station;
  bool m_found = false;
  bool m_listening = false;
};

}  // namespace tabrisk
