#include "SettingsDialogs.h"

#include "Gossamy.h"
#include "Jorvel.h"
#include "RemoteNodeRules.h"
#include "SOEchoSCU.h"
#include "SOSCPManager.h"
#include "SOUtil.h"
#include "StudyDialogs.h"
#include "WebError.h"
#include "Zarnet.h"

#include <algorithm>
#include <cstdlib>

using namespace DuiLib;

namespace tabrisk {

namespace {

std::wstring Wide(const std::string& text) { return SOUtil::UTF82WStr(text.c_str()); }
std::wstring Translated(const char* text) { return SOUtil::UTF82WStr(ui_gettext(text)); }

// A box with the confirm button only, owned by `owner`.
void Tell(HWND owner, const char* text) { MessageBoxUI(owner, Translated(text).c_str(), nullptr, 0); }

// The edit's attributes while it is being typed in or left.
void MarkEditing(CControlUI* edit) {
  edit->SetAttribute(L"textcolor", L"FFF1F1F1");
  edit->SetAttribute(L"font", L"14");
}

}  // namespace

// ---- Remote node dialog --------------------------------------------------------------------

void SORemoteDlg::InitWindow() {
  m_shadow.Create(m_hWnd);
  m_shadow.SetSize(3);
  m_shadow.SetPosition(0, 0);
}

bool SORemoteDlg::GetControlValue(const wchar_t* name, std::string& value) {
  CControlUI* control = m_PaintManager.FindControl(name);
  if (auto* combo = dynamic_cast<CComboUI*>(control)) {
    CControlUI* item = combo->GetItemAt(combo->GetCurSel());
    if (!item) return false;
    value = SOUtil::W2UTF8Str(item->GetText());
    return true;
  }
  if (!dynamic_cast<CEditUI*>(control)) return false;
  value = SOUtil::W2UTF8Str(control->GetText());
  return !value.empty();
}

bool SORemoteDlg::SetControlValue(const wchar_t* name, const std::string& value) {
  CControlUI* control = m_PaintManager.FindControl(name);
  const std::wstring text = Wide(value);
  if (auto* combo = dynamic_cast<CComboUI*>(control)) {
    for (int i = 0; i < combo->GetCount(); ++i)
      if (combo->GetItemAt(i)->GetText() == text.c_str()) return combo->SelectItem(i);
    return false;
  }
  if (!dynamic_cast<CEditUI*>(control)) return false;
  control->SetText(text.c_str());
  return true;
}

bool SORemoteDlg::LoadNode(int index) {
  const std::vector<RemoteNode> nodes = ArchiveConfig::Instance().Remotes();
  if (index < 0 || index >= int(nodes.size())) return false;
  const RemoteNode& node = nodes[index];
  m_index = index;
  return SetControlValue(L"nameEdit", node.name) && SetControlValue(L"addrEdit", node.ip) &&
         SetControlValue(L"portEdit", std::to_string(node.port)) && SetControlValue(L"calledAEEdit", node.aeTitle);
}

bool SORemoteDlg::ReadNode(RemoteNode& node) {
  std::string name, ip, port, aeTitle;
  GetControlValue(L"nameEdit", name);
  GetControlValue(L"addrEdit", ip);
  GetControlValue(L"portEdit", port);
  GetControlValue(L"calledAEEdit", aeTitle);
  if (const char* problem = CheckRemoteNode(name, ip, port, aeTitle, node)) {
    Tell(m_hWnd, problem);
    return false;
  }
  return true;
}

void SORemoteDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender->GetName() == L"confirmBtn") {
    RemoteNode node;
    if (!ReadNode(node)) return;
    ArchiveConfig& config = ArchiveConfig::Instance();
    if (m_index < 0 ? config.AddRemote(node) : config.UpdateRemote(m_index, node)) {
      m_ok = true;
      Close(1);
    }
    return;
  }
  if (msg.sType == L"click" && msg.pSender->GetName() == L"cancelBtn") {
    Close(IDCANCEL);
    return;
  }
  WindowImplBase::Notify(msg);
}

// ---- Settings dialog -----------------------------------------------------------------------

SOSettingDlg::SOSettingDlg() {
  ArchiveConfig::Instance().AddListener(this);
  CloudManager::Instance().AddListener(this);
}

SOSettingDlg::~SOSettingDlg() {
  ArchiveConfig::Instance().RemoveListener(this);
  CloudManager::Instance().RemoveListener(this);
}

void SOSettingDlg::OnFinalMessage(HWND hWnd) {
  m_nodeTest.Stop();
  m_invoke.Release();
  WndDialog::OnFinalMessage(hWnd);
}

void SOSettingDlg::OnRemoteChanged() {
  FillRemoteList();
  FillRemoteInfo();
}

void SOSettingDlg::OnCloudReceiveChanged() { FillCloudPage(false); }

void SOSettingDlg::OnCloudStationChanged() {
  m_invoke.BeginInvoke([this] { FillCloudPage(false); });
}

void SOSettingDlg::SetText(const wchar_t* name, const std::wstring& text) {
  if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetText(text.c_str());
}

std::string SOSettingDlg::Text(const wchar_t* name) {
  CControlUI* control = m_PaintManager.FindControl(name);
  return control ? SOUtil::W2UTF8Str(control->GetText()) : std::string();
}

void SOSettingDlg::InitWindow() {
  m_invoke.Create(m_hWnd);
  m_nodes = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"remoteStationList"));
  m_saveBtn = m_PaintManager.FindControl(L"saveSettingBtn");
  m_cloudCheck = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"cloudStoreCheck"));
  m_commitCheck = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"commitCheck"));
  FillGeneralPage();
  FillRemoteList();
  FillRemoteInfo();
  FillCloudPage(true);
  if (m_saveBtn) m_saveBtn->SetEnabled(false);
}

void SOSettingDlg::FillGeneralPage() {
  const ArchiveConfig& config = ArchiveConfig::Instance();
  SetText(L"imagePathEdit", Wide(Gossamy::GetStorePath()));
  SetText(L"portEdit", std::to_wstring(config.Port()));
  SetText(L"calledTitleEdit", Wide(config.AETitle()));
  if (auto* status = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"storeStatusTabLayout")))
    status->SelectItem(SOSCPManager::Instance().IsRunning() ? 0 : 1);
  SetText(L"commitPortEdit", std::to_wstring(config.CommitPort()));
  SetText(L"commitTitleEdit", Wide(config.CommitAETitle()));
  if (m_commitCheck) m_commitCheck->Selected(config.CommitEnabled(), false);
  if (CControlUI* panel = m_PaintManager.FindControl(L"commitPanel")) panel->SetEnabled(config.CommitEnabled());
  if (auto* status = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"commitStatusTabLayout")))
    status->SelectItem(SOSCPManager::IsCommitListenerRunning() ? 0 : 1);
}

void SOSettingDlg::FillRemoteList() {
  if (!m_nodes) return;
  const int index = m_nodes->GetCurSel();
  m_nodes->RemoveAll();
  for (const RemoteNode& node : ArchiveConfig::Instance().Remotes()) {
    auto* row = new CListTextElementUI;
    m_nodes->Add(row);
    row->SetText(0, Wide(node.name).c_str());
    row->SetText(1, Wide(node.aeTitle).c_str());
    row->SetText(2, Wide(node.ip).c_str());
    row->SetText(3, std::to_wstring(node.port).c_str());
  }
  const int count = m_nodes->GetCount();
  if (count > 0) m_nodes->SelectItem(std::clamp(index, 0, count - 1), false, true);
}

int SOSettingDlg::SelectedNode() const {
  const int index = m_nodes ? m_nodes->GetCurSel() : -1;
  return index < int(ArchiveConfig::Instance().Remotes().size()) ? index : -1;
}

void SOSettingDlg::FillRemoteInfo() {
  CControlUI* panel = m_PaintManager.FindControl(L"remoteInfoPanel");
  const int index = SelectedNode();
  if (index < 0) {
    if (panel) panel->SetVisible(false);
    return;
  }
  const RemoteNode node = ArchiveConfig::Instance().Remotes()[index];
  SetText(L"remoteNameEdit", Wide(node.name));
  SetText(L"remoteAETitleEdit", Wide(node.aeTitle));
  SetText(L"remoteIPEdit", Wide(node.ip));
  SetText(L"remotePortEdit", std::to_wstring(node.port));
  if (panel) panel->SetVisible(true);
}

void SOSettingDlg::FillCloudPage(bool askWhenUnknown) {
  std::wstring host = L"--", port = L"--", code = L"--";
  bool on = false;
  const CloudStation station = CloudManager::Instance().Station();
  if (IsUsableStation(station)) {
    host = Wide(station.host);
    port = std::to_wstring(station.port);
    code = Wide(GroupDeviceCode(station.stationID));
    on = station.enabled;
  } else if (askWhenUnknown) {
    CloudManager::Instance().Refresh();
  }
  SetText(L"cloudPortLabel", port);
  SetText(L"cloudAddrLabel", host);
  SetText(L"cloudIDLabel", code);
  SetText(L"receiveMinutesEdit", std::to_wstring(ArchiveConfig::Instance().CloudReceiveMinutes()));
  if (m_cloudCheck) m_cloudCheck->Selected(on, false);
  if (CControlUI* panel = m_PaintManager.FindControl(L"cloudPanel")) panel->SetEnabled(on);
}

void SOSettingDlg::Save() {
  if (m_saveBtn) m_saveBtn->SetEnabled(false);
  const std::string path = Text(L"imagePathEdit");
  const std::string port = Text(L"portEdit");
  const std::string aeTitle = Text(L"calledTitleEdit");
  if (path != Gossamy::GetStorePath()) Gossamy::SetStorePath(path.c_str());
  ArchiveConfig& config = ArchiveConfig::Instance();
  config.SetCloudReceiveMinutes(std::atoi(Text(L"receiveMinutesEdit").c_str()));
  const CloudStation station = CloudManager::Instance().Station();
  const bool on = m_cloudCheck && m_cloudCheck->IsSelected();
  if (!IsUsableStation(station)) {
    CloudManager::Instance().Refresh();
  } else if (on != station.enabled) {
    CloudManager::Instance().Enable(on);
  }
  // Ports outside 1-65535 and invalid AE titles are refused by the configuration.
  const uint16_t newPort = ArchiveConfig::ParsePort(port.c_str());
  // The receiving service follows a new port or AE title at once.
  if ((newPort != config.Port() || aeTitle != config.AETitle()) && config.SetSCP(newPort, aeTitle.c_str()))
    SOSCPManager::Instance().Restart();
  // The commitment listener takes its new values at once.
  const bool commitOn = m_commitCheck && m_commitCheck->IsSelected();
  if (config.SetCommit(commitOn, ArchiveConfig::ParsePort(Text(L"commitPortEdit").c_str()),
                       Text(L"commitTitleEdit").c_str()))
    SOSCPManager::Instance().ApplyCommitListener();
  FillGeneralPage();
  FillCloudPage(false);
}

void SOSettingDlg::TestNode() {
  const int index = SelectedNode();
  if (index < 0 || m_nodeTest.Running()) return;
  const RemoteNode node = ArchiveConfig::Instance().Remotes()[index];
  auto echo = std::make_shared<SOEchoSCU>();
  if (!echo->InitSCP(node.ip.c_str(), node.port, node.aeTitle.c_str(), ArchiveConfig::Instance().AETitle().c_str())) {
    MessageBoxUI(nullptr, Translated("Connect failed!").c_str(), L"", 0);
    return;
  }
  // The echo waits up to the network time-out on a silent node: the window stays live meanwhile.
  CControlUI* button = m_PaintManager.FindControl(L"remoteTestBtn");
  if (button) button->SetEnabled(false);
  m_nodeTest.Start(
      m_hWnd, [echo] { return echo->Echo(); }, [echo] { echo->Cancel(); },
      [button](bool ok) {
        if (button) button->SetEnabled(true);
        MessageBoxUI(nullptr, Translated(ok ? "Connect Success!" : "Connect failed!").c_str(), L"", 0);
      });
}

void SOSettingDlg::EditNode(int index) {
  SORemoteDlg dialog;
  dialog.Create(m_hWnd, L"SORemoteDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  if (index >= 0) dialog.LoadNode(index);
  dialog.ShowModal();
  if (dialog.IsConfirmed()) FillRemoteList();
}

void SOSettingDlg::DeleteNode() {
  const int index = SelectedNode();
  if (index < 0) return;
  if (MessageBoxUI(m_hWnd, Translated("Are you sure you want to delete this item?").c_str(), nullptr, 1) != IDOK)
    return;
  ArchiveConfig::Instance().RemoveRemote(index);
  FillRemoteList();
  FillRemoteInfo();
}

void SOSettingDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"click") {
    if (name == L"generalOpt" || name == L"remoteOpt") {
      if (auto* pages = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch")))
        pages->SelectItem(name == L"generalOpt" ? 0 : 1);
      if (name == L"remoteOpt") FillRemoteInfo();
      return;
    }
    if (name == L"changePathBtn") {
      std::string folder;
      if (BrowseForFolder(m_hWnd, ui_gettext("Select folder"), Text(L"imagePathEdit"), folder)) {
        SetText(L"imagePathEdit", Wide(folder));
        if (m_saveBtn) m_saveBtn->SetEnabled(true);
      }
      return;
    }
    if (name == L"openPathBtn") {
      ShellExecuteA(nullptr, "open", "explorer.exe", Gossamy::GetStorePath(), nullptr, SW_SHOWNORMAL);
      return;
    }
    if (name == L"saveSettingBtn") return Save();
    if (name == L"remoteTestBtn") return TestNode();
    if (name == L"remoteAddBtn") return EditNode(-1);
    if (name == L"remoteEditBtn") {
      if (SelectedNode() >= 0) EditNode(SelectedNode());
      return;
    }
    if (name == L"remoteDeleteBtn") return DeleteNode();
  } else if (msg.sType == L"itemselect" && msg.pSender == m_nodes) {
    return FillRemoteInfo();
  } else if (msg.sType == L"selectchanged" && msg.pSender == m_commitCheck) {
    if (m_saveBtn) m_saveBtn->SetEnabled(true);
    if (CControlUI* panel = m_PaintManager.FindControl(L"commitPanel")) panel->SetEnabled(m_commitCheck->IsSelected());
    return;
  } else if (msg.sType == L"selectchanged" && msg.pSender == m_cloudCheck) {
    if (m_saveBtn) m_saveBtn->SetEnabled(true);
    if (CControlUI* panel = m_PaintManager.FindControl(L"cloudPanel")) panel->SetEnabled(m_cloudCheck->IsSelected());
    return;
  } else if (msg.sType == L"textchanged") {
    if (name == L"imagePathEdit" || name == L"portEdit" || name == L"calledTitleEdit" || name == L"receiveMinutesEdit" ||
        name == L"commitPortEdit" || name == L"commitTitleEdit") {
      if (m_saveBtn) m_saveBtn->SetEnabled(true);
      return;
    }
  }
  WndDialog::Notify(msg);
}

// ---- Cloud send dialog ---------------------------------------------------------------------

CloudSendDlg::~CloudSendDlg() { Unregister(); }

void CloudSendDlg::Unregister() {
  if (!m_listening) return;
  ArchiveConfig::Instance().RemoveListener(this);
  CloudManager::Instance().RemoveListener(this);
  m_listening = false;
}

void CloudSendDlg::OnFinalMessage(HWND hWnd) {
  Unregister();
  m_invoke.Release();
  WndDialog::OnFinalMessage(hWnd);
}

bool CloudSendDlg::GetResult(CloudStation& out) const {
  if (m_found) out = m_station;
  return m_found;
}

void CloudSendDlg::InitWindow() {
  m_invoke.Create(m_hWnd);
  m_codeEdit = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"deviceCodeEdit"));
  m_clearBtn = m_PaintManager.FindControl(L"deleteCodeBtn");
  m_tiles = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"deviceCodeTileLayout"));
  FillDeviceTiles();
  ShowMyCode(true);
  ArchiveConfig::Instance().AddListener(this);
  CloudManager::Instance().AddListener(this);
  m_listening = true;
}

void CloudSendDlg::OnCloudDeviceChanged() { FillDeviceTiles(); }

void CloudSendDlg::OnCloudStationChanged() {
  m_invoke.BeginInvoke([this] { ShowMyCode(false); });
}

void CloudSendDlg::ShowMyCode(bool askWhenUnknown) {
  const CloudStation station = CloudManager::Instance().Station();
  if (!IsUsableStation(station)) {
    if (askWhenUnknown) CloudManager::Instance().Refresh();
    return;
  }
  if (CControlUI* label = m_PaintManager.FindControl(L"myDeviceCodeLabel"))
    label->SetText(Wide(GroupDeviceCode(station.stationID)).c_str());
}

void CloudSendDlg::FillDeviceTiles() {
  if (!m_tiles) return;
  m_tiles->RemoveAll();
  for (const CloudDevice& device : ArchiveConfig::Instance().CloudDevices()) {
    CDialogBuilder builder;
    auto* tile = dynamic_cast<CContainerUI*>(builder.Create(L"db/cloud_send_item.xml", (unsigned int)0, nullptr, &m_PaintManager));
    if (!tile) continue;
    m_tiles->Add(tile);
    if (CControlUI* code = tile->GetItemAt(0)) code->SetText(SOUtil::C2WStr(GroupDeviceCode(device.code).c_str()).c_str());
    if (CControlUI* remove = tile->GetItemAt(1)) remove->SetUserData(Wide(device.code).c_str());
  }
}

void CloudSendDlg::OnSendClick() {
  const std::string code = SOUtil::Remove(m_codeEdit ? SOUtil::W2UTF8Str(m_codeEdit->GetText()) : std::string(), ' ');
  if (code.empty()) {
    Tell(m_hWnd, "Input cannot be empty!");
    return;
  }
  CloudStation station;
  WebError error;
  if (!Web_SearchCloudStation(code, &station, &error)) {
    MessageBoxUI(m_hWnd, Gossamy::GetString(error).c_str(), nullptr, 0);
    return;
  }
  if (!station.enabled) {
    Tell(m_hWnd, "The other party has not turned on the cloud receiving service!");
    return;
  }
  // A station that cannot be reached would only fail later, in the send.
  if (!IsUsableStation(station) || !ArchiveConfig::ValidPort(station.port)) {
    Tell(m_hWnd, "The other party's cloud station cannot be reached!");
    return;
  }
  m_station = station;
  m_found = true;
  const std::vector<CloudDevice> devices = ArchiveConfig::Instance().CloudDevices();
  if (std::none_of(devices.begin(), devices.end(), [&](const CloudDevice& d) { return d.code == code; }))
    ArchiveConfig::Instance().AddCloudDevice(code.c_str());
  Close(1);
}

void CloudSendDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"click") {
    if (name == L"sendBtn") return OnSendClick();
    if (name == L"deleteCodeBtn") {
      if (m_codeEdit) m_codeEdit->SetText(L"");
      if (m_clearBtn) m_clearBtn->SetVisible(false);
      return;
    }
    if (name == L"cancelBtn") {
      Close(IDCANCEL);
      return;
    }
    // The tiles: the code copies itself into the edit, the cross forgets it.
    if (name == L"deviceCodeBtn" && m_codeEdit) {
      m_codeEdit->SetText(msg.pSender->GetText());
      return;
    }
    if (name == L"deviceDeleteBtn") {
      // The tiles are rebuilt by the removal: not while this one is still raising its click.
      const std::string code = SOUtil::W2UTF8Str(msg.pSender->GetUserData());
      m_invoke.BeginInvoke([code] {
        const std::vector<CloudDevice> devices = ArchiveConfig::Instance().CloudDevices();
        for (size_t i = 0; i < devices.size(); ++i)
          if (devices[i].code == code) {
            ArchiveConfig::Instance().RemoveCloudDevice(int(i));
            break;
          }
      });
      return;
    }
  } else if (msg.pSender == m_codeEdit && (msg.sType == L"setfocus" || msg.sType == L"killfocus")) {
    MarkEditing(m_codeEdit);
    if (msg.sType == L"setfocus") {
      if (m_clearBtn) m_clearBtn->SetVisible(true);
    } else {
      const std::string code = SOUtil::Remove(SOUtil::W2UTF8Str(m_codeEdit->GetText()), ' ');
      m_codeEdit->SetText(Wide(GroupDeviceCode(code)).c_str());
      if (m_clearBtn) m_clearBtn->SetVisible(!code.empty());
    }
    return;
  }
  WndDialog::Notify(msg);
}

}  // namespace tabrisk
