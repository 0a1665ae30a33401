#pragma once

// The dialog in which the user picks a model case (local, public or private) to put its
// finding and conclusion into a report: append (1), apply (2) or cancel (3); 0 when closed.

#include <atomic>
#include <string>
#include <vector>

#include "CaseLibrary.h"
#include "UIlib.h"

class SOCaseLibDlg : public DuiLib::WndDialog, public ICaseLibraryCallback, public IJorvelCallback {
 public:
  // Posted by the store's notifications, handled on the UI thread.
  static constexpr UINT kLocalChanged = 8065;
  static constexpr UINT kPublicChanged = 8066;
  static constexpr UINT kPrivateChanged = 8067;

  explicit SOCaseLibDlg(CaseLibrary* library);
  ~SOCaseLibDlg() override;

  const wchar_t* GetWindowClassName() const override { return L"SOCaseLibDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  void OnLocalCasesChanged() override { Post(kLocalChanged); }
  void OnPublicCasesChanged() override { Post(kPublicChanged); }
  void OnPrivateCasesChanged() override { Post(kPrivateChanged); }

  // The dialog never registers with the web client.
  void OnLogin(int) override {}
  void OnLogout() override {}

  int GetResult() const { return m_result; }
  const std::wstring& GetFinding() const { return m_finding; }
  const std::wstring& GetConclusion() const { return m_conclusion; }

  // What the dialog remembers between two runs in this process.
  static void ForgetRememberedChoices();

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_caselib_dlg.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  enum Source { kLocal = 0, kPublic = 1, kPrivate = 2 };
  void Post(UINT message);
  void Refresh(Source source);
  void BuildTree(Source source);
  void FillCaseList(Source source);

  CaseLibrary* m_library;
  bool m_listening = false;
  // The window the library's notifications post to, from the threads that change the lists;
  // set while the dialog listens.
  std::atomic<HWND> m_target{nullptr};
  DuiLib::CTreeViewUI* m_trees[3] = {};
  DuiLib::CListUI* m_lists[3] = {};
  std::vector<CaseTreeModality> m_caseTrees[3];
  int m_result = 0;
  std::wstring m_finding;
  std::wstring m_conclusion;
};

// A copy of one source's cases (0 local, 1 public, 2 private): the local list is read from the
// database when still empty; an empty public or private list starts a fetch, whose end the
// library's listeners hear.
std::vector<CaseRecord> TakeCases(CaseLibrary& library, int source);

// The key of a body-part node: its modality and body part, kept apart by a separator that
// neither text holds.
std::wstring CaseTreeKey(const std::string& modality, const std::string& bodyPart);
