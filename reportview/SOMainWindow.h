#pragma once

#include "IWendrel.h"
#include "SOPrintWindow.h"
#include "SOReportWindow.h"
#include "UIlib.h"

#include <memory>
#include <string>
#include <vector>

namespace wendrel {

// The report control: a child window showing one of its open report pages at a time.
class SOMainWindow : public DuiLib::WindowImplBase, public IWendrel, public ISOReportWindowCallback {
 public:
  SOMainWindow();
  ~SOMainWindow() override;

  // IWendrel
  HWND Create(HWND parent, int x, int y, int cx, int cy) override;
  bool MoveWindow(int x, int y, int cx, int cy) override;
  HWND GetHWND() override { return m_hWnd; }
  bool Print(const char* printerName) override;
  ISOReport* NewReportFromImage(const char* dicomFilePath) override;
  ISOReport* OpenReport(SODcmSR* document) override;
  ISOReport* OpenReportFile(const char* path) override;
  ISOReport* NewReportFromReport(ISOReport* source) override;
  int GetReportCount() override { return int(m_pages.size()); }
  ISOReport* GetActiveReport() override { return m_pActive; }
  ISOReport* GetReport(int index) override;
  void CloseReport(ISOReport* report) override;
  void CloseReportAt(int index) override;
  void Reserved() override {}
  void ActivateReport(ISOReport* report) override;
  void ActivateReportAt(int index) override;
  int IndexOfReport(ISOReport* report) override;
  bool SetTemplatePath(const char* path) override;
  bool ApplyTemplate(const char* path) override;
  float GetZoom() override;
  void SetZoom(float zoom) override;
  int GetAutoFit() override;
  void SetAutoFit(int fit) override;
  bool SetValue(DWORD tag, const wchar_t* text) override;
  bool GetValue(DWORD tag, std::wstring& text) override;
  void RegisterCallback(IWendrelCallback* callback) override;
  void UnRegisterCallback(IWendrelCallback* callback) override;
  HBITMAP RenderTemplate(const char* templatePath, int* width, int* height, int maxWidth, int maxHeight) override;

  // ISOReportWindowCallback: the active page's news, passed on to every listener.
  void OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) override;
  void OnCompleted(ISOReport* report) override;
  void OnVerified(ISOReport* report) override;
  void OnModifiedChanged(ISOReport* report) override;
  void OnTemplateLoaded(ISOReport* report) override;

  const wchar_t* GetWindowClassName() const override { return L"SOReportWindowClass"; }
  void InitWindow() override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"srctrl/sr_frame_wnd.xml"; }
  LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  // A new page at contentPanel's place, or null without contentPanel.
  std::unique_ptr<SOReportWindow> NewPage();
  // Gives the page the current template, adds and activates it.
  ISOReport* AddPage(std::unique_ptr<SOReportWindow> page, bool modified);
  SOReportWindow* PageOf(ISOReport* report);
  // An open page whose document has this SOP Instance UID.
  SOReportWindow* FindBySopInstance(const std::string& uid);
  ISOReport* OpenCopy(const SODcmSR& document);
  RECT ContentRect();
  bool OnContentSize(void* param);
  template <class F>
  void Tell(F&& call);

  std::vector<std::unique_ptr<SOReportWindow>> m_pages;
  SOReportWindow* m_pActive = nullptr;
  float m_fZoom = 1.0f;
  int m_nFit = 1;
  std::vector<IWendrelCallback*> m_callbacks;
  std::unique_ptr<SOPrintWindow> m_pPrintWindow;
  std::string m_sTemplatePath;
  std::string m_sDefaultTemplatePath;
};

}  // namespace wendrel
