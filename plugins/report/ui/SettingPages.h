#pragma once

// The pages of the report settings window: report templates as tiles with their previews, and
// the case library as trees of modality, body part and case. Neither is a window: they work on
// the settings window's controls.

#include <vector>

#include "CaseLibrary.h"
#include "IWendrel.h"
#include "ReportTemplateStore.h"
#include "UIlib.h"

class SettingTemplatePage {
 public:
  explicit SettingTemplatePage(ReportTemplateStore* store) : m_store(store) {}
  void Init(HWND owner, DuiLib::CPaintManagerUI* paintManager);
  // The report control that draws the previews (borrowed); without one the page stays empty.
  void SetWendrel(IWendrel* wendrel) { m_wendrel = wendrel; }
  void ReloadTiles();
  // True when the notification was the page's.
  bool Notify(DuiLib::TNotifyUI& msg);

  // The preview's size inside a box, keeping its aspect.
  static SIZE FitPreview(int width, int height, int boxWidth, int boxHeight);

 private:
  void OnImportClick();
  void OnDeleteClick();
  void OnTileSelectChanged(DuiLib::CControlUI* option);

  HWND m_owner = nullptr;
  DuiLib::CPaintManagerUI* m_pm = nullptr;
  ReportTemplateStore* m_store;
  IWendrel* m_wendrel = nullptr;
  std::vector<TemplateInfo> m_list;
  DuiLib::CContainerUI* m_tiles = nullptr;
  DuiLib::CControlUI* m_deleteBtn = nullptr;
};

// A case node's copy of its case, deleted with the node.
class CCaseDeleteObject : public DuiLib::CDeleteObject {
 public:
  CaseRecord m_case;
};

class SettingCaselibPage : public ICaseLibraryCallback, public IJorvelCallback {
 public:
  explicit SettingCaselibPage(CaseLibrary* library) : m_library(library) {}
  ~SettingCaselibPage();
  void Init(HWND owner, DuiLib::CPaintManagerUI* paintManager);
  // Leaves the library's and the web client's listeners; pending refreshes are dropped.
  void Release();
  bool Notify(DuiLib::TNotifyUI& msg);

  void OnLocalCasesChanged() override;
  void OnPublicCasesChanged() override;
  void OnPrivateCasesChanged() override;
  void OnLogin(int result) override;
  void OnLogout() override;

  enum Source { kLocal = 0, kPublic = 1, kPrivate = 2 };
  void RefreshTree(Source source);
  void RefreshButtons(Source source);
  static const CaseRecord* GetSelectedCase(DuiLib::CTreeViewUI* tree);

 private:
  void PutCaseNode(const CaseRecord& c, DuiLib::CTreeViewUI* tree, bool select);
  void SetCaseNode(const CaseRecord& c, DuiLib::CTreeNodeUI* node);
  void RemoveCaseNode(const CaseRecord& c, DuiLib::CTreeViewUI* tree);
  void Later(Source source);
  bool RunEditor(CaseRecord& c, bool existing);
  void Copied(bool ok);

  CaseLibrary* m_library;
  DuiLib::CInvoke m_invoke;
  HWND m_owner = nullptr;
  DuiLib::CPaintManagerUI* m_pm = nullptr;
  DuiLib::CTreeViewUI* m_trees[3] = {};
  bool m_listening = false;
};
