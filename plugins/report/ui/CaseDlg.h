#pragma once

// The editor of one model case: a new one (every field empty) or an existing one (its id is kept;
// modality and body part cannot change).

#include "CaseLibrary.h"
#include "UIlib.h"

class SOCaseDlg : public DuiLib::WindowImplBase {
 public:
  SOCaseDlg() = default;
  explicit SOCaseDlg(const CaseRecord& c) : m_case(c) {}

  const wchar_t* GetWindowClassName() const override { return L"SOCaseDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // 1 once confirmed with every field set.
  int GetConfirmed() const { return m_confirmed; }
  CaseRecord GetCase() const { return m_case; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_case_dlg.xml"; }

 private:
  bool Confirm();

  int m_confirmed = 0;
  CaseRecord m_case;
};
