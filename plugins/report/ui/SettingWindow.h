#pragma once

// The report plug-in's settings view, laid over the whole report window: the institution name,
// the template page and the case library page.

#include "SettingPages.h"
#include "UIlib.h"

class SOSettingWindow : public DuiLib::WindowImplBase {
 public:
  SOSettingWindow(ReportTemplateStore* templates, CaseLibrary* cases)
      : m_templatePage(templates), m_caselibPage(cases) {}
  ~SOSettingWindow() override;

  const wchar_t* GetWindowClassName() const override { return L"SOSettingWindow"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void SetWendrel(IWendrel* wendrel) { m_templatePage.SetWendrel(wendrel); }

  SettingTemplatePage& TemplatePage() { return m_templatePage; }
  SettingCaselibPage& CaselibPage() { return m_caselibPage; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_setting.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void SelectPage(int page);

  SettingTemplatePage m_templatePage;
  SettingCaselibPage m_caselibPage;
};
