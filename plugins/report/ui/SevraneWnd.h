#pragma once

// The report plug-in's window: the report control with one tab per open report, the attribute
// side panel bound to the active report, the template and zoom choosers, the workflow buttons,
// the picture strip and the settings view laid over everything.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ISOPlugin.h"
#include "IWendrel.h"
#include "ReportTemplateStore.h"
#include "SOReportUIHandler.h"
#include "UIlib.h"

class CaseLibrary;
class SOSettingWindow;

// The side panel: a second view of the active report's values.
class SOAttributeWindow : public ISOReportUIHandlerCallback {
 public:
  SOAttributeWindow() : m_handler(std::make_unique<SOReportUIHandler>()) {}
  void OnControlValueChanged(unsigned int tag, const wchar_t* text) override;

  ISOReport* m_report = nullptr;
  DuiLib::CContainerUI* m_container = nullptr;
  std::unique_ptr<SOReportUIHandler> m_handler;
  DWORD m_writingTag = 0;  // the tag whose value the side panel is writing (0: none)
};

// A picture captured by another plug-in, kept for the report of its study.
struct ReportPicture {
  std::string text;  // Study Instance UID
  HBITMAP bitmap = nullptr;
};

class SOSevraneWnd : public DuiLib::WindowImplBase,
                     public ISOPlugin,
                     public IWendrelCallback,
                     public ITemplateConfigCallback {
 public:
  // Pictures kept at most; the oldest go first.
  static constexpr size_t kMaxPictures = 48;

  // Null stores mean the process's own, taken when the window is made.
  explicit SOSevraneWnd(ReportTemplateStore* templates = nullptr, CaseLibrary* cases = nullptr);
  ~SOSevraneWnd() override;

  // ISOPlugin
  const wchar_t* GetName() override { return SOPLUGIN_SEVRANE; }
  const wchar_t* GetTitle() override;
  const wchar_t* GetIcon() override { return L"sr/SR.png"; }
  void SetExecuter(ISOExecuter* host) override { m_executer = host; }
  ISOExecuter* GetExecuter() override { return m_executer; }
  bool OnCommand(const char* command, void* data) override;
  bool OnMessage(int, void*, HWND) override { return false; }
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  // IWendrelCallback
  void OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) override;
  void OnActiveReportChanged(ISOReport* report) override;
  void OnReportAdded(ISOReport* report) override;
  void OnReportClosed(ISOReport* report) override;
  void OnReportCompleted(ISOReport* report) override;
  void OnReportVerified(ISOReport* report) override;
  void OnModifiedChanged(ISOReport* report) override;
  void OnTemplateLoaded(ISOReport* report) override;

  // ITemplateConfigCallback
  void OnTemplateListChanged() override { FillTemplateCombo(); }

  const wchar_t* GetWindowClassName() const override { return L"SOSevraneWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // Writes the report to its own file, else into the local store. A failed write keeps the
  // report modified and tells the user.
  bool SaveReport(ISOReport* report);
  void UpdateButtons();
  void FillTemplateCombo();

  IWendrel* GetWendrel() const { return m_wendrel; }
  SOSettingWindow* GetSettingWindow() const { return m_setting.get(); }
  SOAttributeWindow& GetAttributeWindow() { return m_attribute; }
  const std::vector<ReportPicture>& GetPictures() const { return m_pictures; }
  CaseLibrary* GetCaseLibrary() const { return m_cases; }
  ReportTemplateStore* GetTemplateStore() const { return m_templates; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_main.xml"; }
  LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  DuiLib::CControlUI* FindTab(ISOReport* report);
  void SetTabTitle(ISOReport* report);
  void CloseTab(ISOReport* report);
  void OnCaseLibraryClick();
  void OnPictureClick(DuiLib::CControlUI* button);
  void RebuildPictureStrip(ISOReport* active);
  bool IsReadOnly(ISOReport* report) const;
  void PlaceWendrel();
  void FreePictures();

  ReportTemplateStore* m_templates;
  CaseLibrary* m_cases;
  ISOExecuter* m_executer = nullptr;
  IWendrel* m_wendrel = nullptr;
  SOAttributeWindow m_attribute;
  std::unique_ptr<SOSettingWindow> m_setting;
  std::vector<ReportPicture> m_pictures;  // newest first
  std::set<ISOReport*> m_readOnly;         // reports opened read-only
  std::wstring m_title;
  bool m_listening = false;

  DuiLib::CContainerUI* m_tabHeader = nullptr;
  DuiLib::CControlUI* m_completeBtn = nullptr;
  DuiLib::CControlUI* m_verifyBtn = nullptr;
  DuiLib::CControlUI* m_imageBoxPanel = nullptr;
  DuiLib::CContainerUI* m_imageBoxLayout = nullptr;
  DuiLib::CListUI* m_pictureList = nullptr;
};
