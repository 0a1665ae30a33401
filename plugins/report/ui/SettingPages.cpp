#include "SettingPages.h"

#include <algorithm>
#include <set>

#include "CaseDlg.h"
#include "CaseLibDlg.h"
#include "ReportDialogs.h"
#include "ReportSettings.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
const wchar_t* const kTrees[3] = {L"localTree", L"publicTree", L"privateTree"};

std::wstring Wide(const std::string& utf8) { return SOWin::FromUtf8(utf8); }

bool LoggedIn() {
  IJorvel* web = GetJorvel();
  return web && web->IsLoggedIn();
}

void Enable(CPaintManagerUI* pm, const wchar_t* name, bool enable) {
  if (CControlUI* c = pm->FindControl(name)) c->SetEnabled(enable);
}

CTreeNodeUI* BuildNode(CPaintManagerUI* pm, const wchar_t* skin) {
  CDialogBuilder builder;
  return dynamic_cast<CTreeNodeUI*>(builder.Create(skin, (unsigned int)0, nullptr, pm));
}

}  // namespace

// ---- Templates ----------------------------------------------------------------------------

SIZE SettingTemplatePage::FitPreview(int width, int height, int boxWidth, int boxHeight) {
  if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return SIZE{0, 0};
  const float aspect = float(width) / float(height);
  if (aspect > float(boxWidth) / float(boxHeight)) return SIZE{boxWidth, int(float(boxWidth) / aspect)};
  return SIZE{int(float(boxHeight) * aspect), boxHeight};
}

void SettingTemplatePage::Init(HWND owner, CPaintManagerUI* paintManager) {
  m_owner = owner;
  m_pm = paintManager;
  m_tiles = dynamic_cast<CContainerUI*>(m_pm->FindControl(L"templateTileLayout"));
  m_deleteBtn = m_pm->FindControl(L"deleteTemplateBtn");
}

bool SettingTemplatePage::Notify(TNotifyUI& msg) {
  if (!msg.pSender || !m_pm) return false;
  const CDuiString name = msg.pSender->GetName();
  if (name == L"importTemplateBtn") {
    if (msg.sType == L"click") OnImportClick();
    return true;
  }
  if (name == L"deleteTemplateBtn") {
    if (msg.sType == L"click") OnDeleteClick();
    return true;
  }
  if (name == L"templateTileOpt" && msg.sType == L"selectchanged") {
    OnTileSelectChanged(msg.pSender);
    return true;
  }
  return false;
}

void SettingTemplatePage::OnImportClick() {
  wchar_t file[1024] = {};
  OPENFILENAMEW ofn;
  ofn.hwndOwner = m_owner;
  ofn.lpstrFilter = L"XML \0*.*\0\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = 1024;
  ofn.Flags = OFN_EXPLORER;
  if (!GetOpenFileNameW(&ofn)) return;
  if (m_store->ImportTemplate(file))
    ReloadTiles();
  else
    MessageBoxUI(m_owner, ui_gettext(L"Import failed! Please confirm the validity of the template file!"), nullptr, 0);
}

void SettingTemplatePage::OnDeleteClick() {
  if (!m_deleteBtn) return;
  m_store->DeleteTemplate(m_deleteBtn->GetUserData());
  ReloadTiles();
}

void SettingTemplatePage::OnTileSelectChanged(CControlUI* option) {
  const size_t index = option->GetTag();
  if (index == 0 || index > m_list.size() || !m_deleteBtn) return;
  const TemplateInfo& t = m_list[index - 1];
  m_deleteBtn->SetEnabled(!t.builtIn);
  m_deleteBtn->SetUserData(t.key.c_str());
}

void SettingTemplatePage::ReloadTiles() {
  if (!m_pm) return;
  if (m_deleteBtn) m_deleteBtn->SetEnabled(false);
  for (const TemplateInfo& t : m_list) m_pm->RemoveImage(t.path.c_str());
  m_list.clear();
  if (m_tiles) m_tiles->RemoveAll();
  if (!m_wendrel || !m_tiles) return;
  m_list = m_store->GetTemplates();
  for (size_t i = 0; i < m_list.size(); ++i) {
    const TemplateInfo& t = m_list[i];
    CDialogBuilder builder;
    auto* tile = dynamic_cast<CContainerUI*>(
        builder.Create(L"sr/template_image_item.xml", (unsigned int)0, nullptr, m_pm));
    if (!tile || tile->GetCount() < 3) {
      delete tile;
      continue;
    }
    m_tiles->Add(tile);
    CControlUI* option = tile->GetItemAt(0);
    option->SetTag(i + 1);  // 0 is no entry
    CControlUI* preview = tile->GetItemAt(1);
    auto* labels = dynamic_cast<CContainerUI*>(tile->GetItemAt(2));
    int w = 0, h = 0;
    const std::string path = SOWin::ToUtf8(t.path);
    HBITMAP bitmap = m_wendrel->RenderTemplate(path.c_str(), &w, &h, preview->GetFixedWidth(), 10000);
    if (!bitmap) continue;
    if (!m_pm->AddImage(t.path.c_str(), bitmap, w, h, false, false)) DeleteObject(bitmap);
    const SIZE dest = FitPreview(w, h, preview->GetFixedWidth(), preview->GetFixedHeight());
    wchar_t image[1200];
    std::swprintf(image, 1200, L"file='%ls' dest='0,0,%d,%d'", t.path.c_str(), int(dest.cx), int(dest.cy));
    preview->SetBkImage(image);
    if (labels && labels->GetCount() > 0) labels->GetItemAt(0)->SetText(t.templateName.c_str());
    if (labels && labels->GetCount() > 2) labels->GetItemAt(2)->SetText(t.pageSize.c_str());
  }
}

// ---- Case library -------------------------------------------------------------------------

SettingCaselibPage::~SettingCaselibPage() { Release(); }

void SettingCaselibPage::Release() {
  if (!m_listening) return;
  m_listening = false;
  m_library->RemoveListener(this);
  if (IJorvel* web = GetJorvel()) web->RemoveCallback(this);
  m_invoke.Release();
}

void SettingCaselibPage::Init(HWND owner, CPaintManagerUI* paintManager) {
  m_invoke.Create(owner);
  m_owner = owner;
  m_pm = paintManager;
  for (int i = 0; i < 3; ++i) m_trees[i] = dynamic_cast<CTreeViewUI*>(m_pm->FindControl(kTrees[i]));
  m_library->AddListener(this);
  m_listening = true;
  for (Source s : {kLocal, kPublic, kPrivate}) RefreshTree(s);
  if (IJorvel* web = GetJorvel()) web->AddCallback(this);
  for (Source s : {kLocal, kPublic, kPrivate}) RefreshButtons(s);
}

void SettingCaselibPage::Later(Source source) {
  m_invoke.BeginInvoke([this, source] { RefreshTree(source); });
}
void SettingCaselibPage::OnLocalCasesChanged() { Later(kLocal); }
void SettingCaselibPage::OnPublicCasesChanged() { Later(kPublic); }
void SettingCaselibPage::OnPrivateCasesChanged() { Later(kPrivate); }

void SettingCaselibPage::OnLogin(int) {
  m_invoke.BeginInvoke([this] {
    for (Source s : {kLocal, kPublic, kPrivate}) RefreshButtons(s);
  });
}
void SettingCaselibPage::OnLogout() { OnLogin(0); }

const CaseRecord* SettingCaselibPage::GetSelectedCase(CTreeViewUI* tree) {
  if (!tree || tree->GetCurSel() < 0) return nullptr;
  CControlUI* node = tree->GetItemAt(tree->GetCurSel());
  if (!node || node->GetName() != L"Case") return nullptr;
  auto* object = dynamic_cast<CCaseDeleteObject*>(node->GetDeleteObject());
  return object ? &object->m_case : nullptr;
}

void SettingCaselibPage::RefreshButtons(Source source) {
  if (!m_pm) return;
  const bool isCase = GetSelectedCase(m_trees[source]) != nullptr;
  const bool online = LoggedIn();
  if (source == kLocal) {
    Enable(m_pm, L"localEditBtn", isCase);
    Enable(m_pm, L"localDeleteBtn", isCase);
    Enable(m_pm, L"localCopyToPrivateBtn", isCase && online);
  } else if (source == kPublic) {
    Enable(m_pm, L"publicCopyToLocalBtn", isCase);
    Enable(m_pm, L"publicCopyToPrivateBtn", isCase && online);
  } else {
    Enable(m_pm, L"privateNewBtn", online);
    Enable(m_pm, L"privateEditBtn", isCase);
    Enable(m_pm, L"privateDeleteBtn", isCase);
    Enable(m_pm, L"privateCopyToLocalBtn", isCase);
  }
}

void SettingCaselibPage::RefreshTree(Source source) {
  CTreeViewUI* tree = m_trees[source];
  if (!tree) return;
  const std::vector<CaseRecord> cases = TakeCases(*m_library, source);
  if (cases.empty()) {
    tree->RemoveAll();
    RefreshButtons(source);
    return;
  }
  // Nodes of cases that left the list go; their modality and body-part nodes stay.
  std::set<int> ids;
  for (const CaseRecord& c : cases) ids.insert(c.id);
  for (int i = tree->GetCount() - 1; i >= 0; --i) {
    CControlUI* node = tree->GetItemAt(i);
    if (node->GetName() == L"Case" && !ids.count(static_cast<int>(node->GetTag()))) tree->Remove(node);
  }
  const bool select = tree->GetCount() == 0;
  for (const CaseRecord& c : cases) PutCaseNode(c, tree, select);
  RefreshButtons(source);
}

void SettingCaselibPage::PutCaseNode(const CaseRecord& c, CTreeViewUI* tree, bool select) {
  const std::wstring modality = Wide(c.modality), bodyPart = Wide(c.body_part);
  CTreeNodeUI* modalityNode = nullptr;
  for (int i = 0; i < tree->GetCount() && !modalityNode; ++i) {
    auto* node = dynamic_cast<CTreeNodeUI*>(tree->GetItemAt(i));
    if (node && node->GetName() == L"Modality" && node->GetItemText() == modality.c_str()) modalityNode = node;
  }
  if (!modalityNode) {
    if (!(modalityNode = BuildNode(m_pm, L"sr/tree_node_parent.xml"))) return;
    modalityNode->SetName(L"Modality");
    modalityNode->SetItemText(modality.c_str());
    tree->Add(modalityNode);
  }
  CTreeNodeUI* partNode = nullptr;
  for (int i = 0; i < modalityNode->GetCountChild() && !partNode; ++i) {
    CTreeNodeUI* node = modalityNode->GetChildNode(i);
    if (node->GetName() == L"BodyPart" && node->GetItemText() == bodyPart.c_str()) partNode = node;
  }
  if (!partNode) {
    if (!(partNode = BuildNode(m_pm, L"sr/tree_node_parent.xml"))) return;
    partNode->SetName(L"BodyPart");
    partNode->SetItemText(bodyPart.c_str());
    modalityNode->Add(partNode);
  }
  CTreeNodeUI* caseNode = nullptr;
  for (int i = 0; i < partNode->GetCountChild() && !caseNode; ++i) {
    CTreeNodeUI* node = partNode->GetChildNode(i);
    if (node->GetName() == L"Case" && node->GetTag() == static_cast<UINT_PTR>(c.id)) caseNode = node;
  }
  if (!caseNode) {
    if (!(caseNode = BuildNode(m_pm, L"sr/tree_node_case.xml"))) return;
    SetCaseNode(c, caseNode);
    caseNode->SetVisibleCheckBtn(false);
    caseNode->SetVisibleFolderBtn(false);
    caseNode->SetTag(static_cast<UINT_PTR>(c.id));
    caseNode->SetName(L"Case");
    partNode->Add(caseNode);
  } else {
    SetCaseNode(c, caseNode);
  }
  if (select) {
    modalityNode->SetExpanded(true);
    partNode->SetExpanded(true);
    tree->SelectItem(tree->GetItemIndex(caseNode), false, true);
  }
}

void SettingCaselibPage::SetCaseNode(const CaseRecord& c, CTreeNodeUI* node) {
  auto* object = dynamic_cast<CCaseDeleteObject*>(node->GetDeleteObject());
  if (!object) {
    object = new CCaseDeleteObject;
    node->SetDeleteObject(object);
  }
  object->m_case = c;
  if (CControlUI* label = m_pm->FindSubControlByName(node, L"caseNameLabel")) label->SetText(Wide(c.case_name).c_str());
  if (CControlUI* label = m_pm->FindSubControlByName(node, L"findingLabel")) label->SetText(Wide(c.finding).c_str());
  if (CControlUI* label = m_pm->FindSubControlByName(node, L"conclusionLabel"))
    label->SetText(Wide(c.conclusion).c_str());
}

void SettingCaselibPage::RemoveCaseNode(const CaseRecord& c, CTreeViewUI* tree) {
  for (int i = 0; i < tree->GetCount(); ++i) {
    CControlUI* node = tree->GetItemAt(i);
    if (node->GetName() == L"Case" && node->GetTag() == static_cast<UINT_PTR>(c.id)) {
      tree->Remove(node);
      return;
    }
  }
}

bool SettingCaselibPage::RunEditor(CaseRecord& c, bool existing) {
  SOCaseDlg dialog(existing ? c : CaseRecord{});
  RunReportDialog(dialog, m_owner, L"SOCaseDlg", kDialogStyle);
  if (dialog.GetConfirmed() != 1) return false;
  c = dialog.GetCase();
  return true;
}

void SettingCaselibPage::Copied(bool ok) {
  if (ok) MessageBoxUI(m_owner, ui_gettext(L"Copy Success!"), nullptr, 0);
}

bool SettingCaselibPage::Notify(TNotifyUI& msg) {
  if (!msg.pSender || !m_pm) return false;
  const CDuiString name = msg.pSender->GetName();
  if (msg.sType == L"selectchanged") {
    const wchar_t* const options[3] = {L"localOpt", L"publicOpt", L"privateOpt"};
    for (int i = 0; i < 3; ++i) {
      if (name != options[i]) continue;
      if (auto* tabs = dynamic_cast<CTabLayoutUI*>(m_pm->FindControl(L"case_switch"))) tabs->SelectItem(i, true);
      return true;
    }
    return false;
  }
  if (msg.sType == L"itemselect") {
    for (int i = 0; i < 3; ++i)
      if (msg.pSender == m_trees[i]) {
        RefreshButtons(static_cast<Source>(i));
        return true;
      }
    return false;
  }
  if (msg.sType != L"click") return false;

  auto selected = [&](Source s) -> const CaseRecord* { return GetSelectedCase(m_trees[s]); };
  auto confirmDelete = [&] {
    return MessageBoxUI(m_owner, ui_gettext(L"Are you sure you want to delete this item?"), nullptr, 1) == IDOK;
  };
  if (name == L"localNewBtn" || name == L"privateNewBtn") {
    CaseRecord c;
    if (!RunEditor(c, false)) return true;
    if (name == L"localNewBtn")
      m_library->AddLocalCase(c);
    else
      m_library->AddPrivateCase(c);
  } else if (name == L"localEditBtn" || name == L"privateEditBtn") {
    const Source s = name == L"localEditBtn" ? kLocal : kPrivate;
    const CaseRecord* current = selected(s);
    if (!current) return true;
    CaseRecord c = *current;
    if (!RunEditor(c, true)) return true;
    const bool ok = s == kLocal ? m_library->UpdateLocalCase(c) : m_library->UpdatePrivateCase(c);
    if (ok && m_trees[s]) PutCaseNode(c, m_trees[s], false);
  } else if (name == L"localDeleteBtn" || name == L"privateDeleteBtn") {
    const Source s = name == L"localDeleteBtn" ? kLocal : kPrivate;
    const CaseRecord* current = selected(s);
    if (!current || !confirmDelete()) return true;
    const CaseRecord c = *current;
    const bool ok = s == kLocal ? m_library->DeleteLocalCase(c) : m_library->DeletePrivateCase(c);
    if (ok && m_trees[s]) RemoveCaseNode(c, m_trees[s]);
    RefreshButtons(s);
  } else if (name == L"localCopyToPrivateBtn" || name == L"publicCopyToPrivateBtn") {
    const CaseRecord* current = selected(name == L"localCopyToPrivateBtn" ? kLocal : kPublic);
    if (!current) return true;
    CaseRecord c = *current;
    Copied(m_library->AddPrivateCase(c));
  } else if (name == L"publicCopyToLocalBtn" || name == L"privateCopyToLocalBtn") {
    const CaseRecord* current = selected(name == L"publicCopyToLocalBtn" ? kPublic : kPrivate);
    if (!current) return true;
    CaseRecord c = *current;
    Copied(m_library->AddLocalCase(c));
  } else if (name == L"localImportBtn") {
    wchar_t file[1024] = {};
    const std::wstring title = ui_gettext(L"Select file");
    OPENFILENAMEW ofn;
    ofn.hwndOwner = m_owner;
    ofn.lpstrFile = file;
    ofn.nMaxFile = 1024;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&ofn)) m_library->ImportCSV(SOWin::ToUtf8(file).c_str());
  } else if (name == L"localExportBtn") {
    const std::wstring title = ui_gettext(L"Select folder");
    BROWSEINFOW info;
    info.hwndOwner = m_owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const std::wstring start = ReportSettings::CaselibExportFolder();
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return true;
    wchar_t folder[260] = {};
    const bool got = SHGetPathFromIDListW(chosen, folder);
    CoTaskMemFree(chosen);
    if (!got) return true;
    ReportSettings::SetCaselibExportFolder(folder);
    m_library->ExportCSV(SOWin::ToUtf8(folder).c_str());
  } else {
    return false;
  }
  return true;
}
