#include "CaseLibDlg.h"

#include "Jorvel.h"

using namespace DuiLib;

namespace {

const wchar_t* const kOptions[3] = {L"localOpt", L"publicOpt", L"privateOpt"};
const wchar_t* const kTrees[3] = {L"localTree", L"publicTree", L"privateTree"};
const wchar_t* const kLists[3] = {L"localList", L"publicList", L"privateList"};

// Kept between two runs of the dialog.
std::wstring g_lastOption;
std::wstring g_lastNode[3];

std::wstring Wide(const std::string& utf8) { return SOWin::FromUtf8(utf8); }

}  // namespace

std::wstring CaseTreeKey(const std::string& modality, const std::string& bodyPart) {
  return Wide(modality) + L'\x1F' + Wide(bodyPart);
}

std::vector<CaseRecord> TakeCases(CaseLibrary& library, int source) {
  std::vector<CaseRecord> cases;
  if (source == 0) {
    library.GetLocalCases(cases);
  } else if (source == 1) {
    cases = library.GetPublicCases();
    if (cases.empty()) library.FetchPublicCases();
  } else {
    cases = library.GetPrivateCases();
    if (cases.empty()) library.FetchPrivateCases();
  }
  return cases;
}

void SOCaseLibDlg::ForgetRememberedChoices() {
  g_lastOption.clear();
  for (auto& node : g_lastNode) node.clear();
}

SOCaseLibDlg::SOCaseLibDlg(CaseLibrary* library) : m_library(library) {}

SOCaseLibDlg::~SOCaseLibDlg() {
  if (m_listening) m_library->RemoveListener(this);
}

void SOCaseLibDlg::Post(UINT message) {
  if (HWND target = m_target.load()) PostMessageW(target, message, 0, 0);
}

void SOCaseLibDlg::InitWindow() {
  IJorvel* web = GetJorvel();
  if (!web || !web->IsLoggedIn()) {
    if (CControlUI* option = m_PaintManager.FindControl(L"privateOpt")) {
      const wchar_t* text = option->GetCustomAttribute(L"notlogintext");
      if (text && *text) option->SetText(ui_gettext(text));
    }
  }
  for (int i = 0; i < 3; ++i) {
    m_trees[i] = dynamic_cast<CTreeViewUI*>(m_PaintManager.FindControl(kTrees[i]));
    m_lists[i] = dynamic_cast<CListUI*>(m_PaintManager.FindControl(kLists[i]));
  }
  for (const wchar_t* button : {L"appendBtn", L"applyBtn"})
    if (CControlUI* c = m_PaintManager.FindControl(button)) c->SetEnabled(false);
  if (!g_lastOption.empty())
    if (auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(g_lastOption.c_str())))
      option->Selected(true, true);
  Refresh(kLocal);
  Refresh(kPublic);
  m_target = m_hWnd;
  m_library->AddListener(this);
  m_listening = true;
}

LRESULT SOCaseLibDlg::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_listening) m_library->RemoveListener(this);
  m_listening = false;
  m_target = nullptr;
  return WndDialog::OnDestroy(uMsg, wParam, lParam, bHandled);
}

LRESULT SOCaseLibDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == kLocalChanged || uMsg == kPublicChanged || uMsg == kPrivateChanged) {
    Refresh(static_cast<Source>(uMsg - kLocalChanged));
    bHandled = TRUE;
    return 0;
  }
  return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void SOCaseLibDlg::Notify(TNotifyUI& msg) {
  if (!msg.pSender) return WndDialog::Notify(msg);
  const CDuiString name = msg.pSender->GetName();
  for (int i = 0; i < 3; ++i) {
    const auto source = static_cast<Source>(i);
    if (msg.sType == L"selectchanged" && name == kOptions[i]) {
      if (auto* tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch"))) tabs->SelectItem(i, true);
      g_lastOption = kOptions[i];
      if (m_lists[i] && m_lists[i]->GetCount() == 0) Refresh(source);
      return;
    }
    if (msg.sType == L"itemselect" && name == kTrees[i] && m_trees[i]) {
      const int sel = m_trees[i]->GetCurSel();
      if (sel < 0) return;
      g_lastNode[i] = m_trees[i]->GetItemAt(sel)->GetUserData();
      FillCaseList(source);
      return;
    }
    if (msg.sType == L"itemselect" && name == kLists[i] && m_lists[i]) {
      CControlUI* item = m_lists[i]->GetItemAt(static_cast<int>(msg.wParam));
      if (!item) return;
      CControlUI* finding = m_PaintManager.FindSubControlByName(item, L"findingLabel");
      CControlUI* conclusion = m_PaintManager.FindSubControlByName(item, L"conclusionLabel");
      m_finding = finding ? finding->GetText().GetData() : L"";
      m_conclusion = conclusion ? conclusion->GetText().GetData() : L"";
      for (const wchar_t* button : {L"appendBtn", L"applyBtn"})
        if (CControlUI* c = m_PaintManager.FindControl(button)) c->SetEnabled(true);
      return;
    }
  }
  if (msg.sType == L"click") {
    if (name == L"appendBtn") m_result = 1;
    if (name == L"applyBtn") m_result = 2;
    if (name == L"cancelBtn") m_result = 3;
    if (name == L"appendBtn" || name == L"applyBtn" || name == L"cancelBtn") {
      Close(static_cast<UINT>(m_result));
      return;
    }
  }
  WndDialog::Notify(msg);
}

void SOCaseLibDlg::Refresh(Source source) {
  const std::vector<CaseRecord> cases = TakeCases(*m_library, source);
  m_caseTrees[source].clear();
  CaseLibrary::BuildCaseTree(cases, m_caseTrees[source]);
  if (m_lists[source]) m_lists[source]->RemoveAll();
  BuildTree(source);
}

void SOCaseLibDlg::BuildTree(Source source) {
  CTreeViewUI* tree = m_trees[source];
  if (!tree) return;
  tree->RemoveAll();
  const std::wstring& remembered = g_lastNode[source];
  int selection = -1;
  CTreeNodeUI* first = nullptr;
  for (const CaseTreeModality& modality : m_caseTrees[source]) {
    CDialogBuilder builder;
    auto* node = dynamic_cast<CTreeNodeUI*>(
        builder.Create(L"sr/sr_caselib_case_tree_modality.xml", (unsigned int)0, nullptr, &m_PaintManager));
    if (!node) return;
    const std::wstring key = Wide(modality.modality);
    node->SetItemText(key.c_str());
    node->SetUserData(key.c_str());
    tree->Add(node);
    if (!first) first = node;
    bool here = key == remembered;
    if (here) selection = tree->GetItemIndex(node);
    for (const CaseTreeBodyPart& part : modality.bodyParts) {
      CDialogBuilder partBuilder;
      auto* child = dynamic_cast<CTreeNodeUI*>(
          partBuilder.Create(L"sr/sr_caselib_case_tree_bodypart.xml", (unsigned int)0, nullptr, &m_PaintManager));
      if (!child) break;
      const std::wstring partKey = CaseTreeKey(modality.modality, part.bodyPart);
      child->SetItemText(Wide(part.bodyPart).c_str());
      child->SetUserData(partKey.c_str());
      node->Add(child);
      if (partKey == remembered) {
        selection = tree->GetItemIndex(child);
        here = true;
      }
    }
    node->SetExpanded(here);
  }
  if (selection < 0) {
    if (!first) return;
    first->SetExpanded(true);
    selection = 0;
  }
  tree->SelectItem(selection, false, true);
}

void SOCaseLibDlg::FillCaseList(Source source) {
  CListUI* list = m_lists[source];
  if (!list) return;
  const std::wstring& remembered = g_lastNode[source];
  std::vector<const CaseRecord*> cases;
  for (const CaseTreeModality& modality : m_caseTrees[source]) {
    if (Wide(modality.modality) == remembered) {
      for (const CaseTreeBodyPart& part : modality.bodyParts)
        for (const CaseRecord& c : part.cases) cases.push_back(&c);
      break;
    }
    bool found = false;
    for (const CaseTreeBodyPart& part : modality.bodyParts) {
      if (CaseTreeKey(modality.modality, part.bodyPart) == remembered) {
        for (const CaseRecord& c : part.cases) cases.push_back(&c);
        found = true;
        break;
      }
    }
    if (found) break;
  }
  list->RemoveAll();
  for (const CaseRecord* c : cases) {
    CDialogBuilder builder;
    CControlUI* item = builder.Create(L"sr/sr_caselib_case_item.xml", (unsigned int)0, nullptr, &m_PaintManager);
    if (!item) return;
    if (CControlUI* label = m_PaintManager.FindSubControlByName(item, L"caseNameLabel"))
      label->SetText(Wide(c->case_name).c_str());
    if (CControlUI* label = m_PaintManager.FindSubControlByName(item, L"findingLabel"))
      label->SetText(Wide(c->finding).c_str());
    if (CControlUI* label = m_PaintManager.FindSubControlByName(item, L"conclusionLabel")) {
      label->SetText(Wide(c->conclusion).c_str());
      label->SetTag(static_cast<UINT_PTR>(c->id));
    }
    list->Add(item);
  }
}
