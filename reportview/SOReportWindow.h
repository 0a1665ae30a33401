#pragma once

#include "IWendrel.h"
#include "SODcmSR.h"
#include "SOPrintWindow.h"
#include "SOReportUIHandler.h"
#include "UIlib.h"

#include <memory>
#include <string>

namespace wendrel {

// What a page tells the report control while it is the active page.
class ISOReportWindowCallback {
 public:
  virtual void OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) = 0;
  virtual void OnCompleted(ISOReport* report) = 0;
  virtual void OnVerified(ISOReport* report) = 0;
  virtual void OnModifiedChanged(ISOReport* report) = 0;
  virtual void OnTemplateLoaded(ISOReport* report) = 0;

 protected:
  ~ISOReportWindowCallback() = default;
};

// One open report: a child window of the report control that owns the report document and shows
// it on a template page, fitted into the window or at a zoom.
class SOReportWindow : public DuiLib::WindowImplBase, public ISOReport, public ISOReportUIHandlerCallback {
 public:
  // The page starts with a new report document (Basic Text SR, series 8001, instance 1, new UIDs).
  SOReportWindow();
  ~SOReportWindow() override;

  // ISOReport
  const char* GetName() override { return m_sName.c_str(); }
  bool SetValue(DWORD tag, const wchar_t* text) override;
  bool GetValue(DWORD tag, std::wstring& text) override;
  bool LoadTemplate(const char* absolutePath) override;
  SODcmSR* GetSR() override { return &m_document; }
  void UpdateLayout() override;
  void SetFilePath(const char* path) override;
  SOString& GetFilePath() override { return m_sFilePath; }
  bool EnableUI(bool enable) override;
  bool Complete() override;
  bool Verify() override;
  bool IsCompleted() override { return m_document.IsCompleted(); }
  bool IsVerified() override { return m_document.IsVerified(); }
  bool IsModified() override { return m_bModified; }
  void SetModified(bool modified) override;
  int GetImageBoxCount() override { return m_binding.GetImageBoxCount(); }
  bool SetImage(int index, HBITMAP bitmap) override;

  // ISOReportUIHandlerCallback: the user's changes on the page.
  void OnControlValueChanged(unsigned int tag, const wchar_t* text) override;

  // The document from a file (read whole); false keeps the document.
  bool LoadFile(const char* path);
  // The document becomes a copy of `source`.
  bool CopyDocument(const SODcmSR& source);
  // Prints the document on its template onto a printer DC (one page).
  bool PrintTo(HDC hdc);

  void SetListener(ISOReportWindowCallback* listener) { m_pListener = listener; }
  int GetFit() const { return m_nFit; }
  void SetFit(int fit) { m_nFit = fit; }
  double GetZoom() { return m_PaintManager.GetZoomRatio(); }
  void SetZoom(double zoom) { m_PaintManager.SetZoomRatio(zoom); }
  // Lays the page root out again and repaints it.
  void RefreshPage();

  const wchar_t* GetWindowClassName() const override { return L"SOReportWindow"; }
  void InitWindow() override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"srctrl/sr_report_window.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  // Writes the document by the tag's accessor (or dataset string); the listener is told.
  bool WriteDocument(DWORD tag, const wchar_t* text);
  // After the document changed as a whole: the verified mark and every bound control.
  void DocumentReplaced();
  void ShowVerified();
  // Shows a page built from a template in the page panel, bound to the document's values.
  void ShowPage(DuiLib::CContainerUI* panel, DuiLib::CContainerUI* root);

  bool m_bModified = false;
  std::string m_sName;
  std::unique_ptr<SOPrintWindow> m_pPrintWindow;
  DuiLib::CContainerUI* m_pPageRoot = nullptr;
  int m_nFit = 1;
  SODcmSR m_document;
  std::string m_sTemplatePath;
  SOString m_sFilePath;
  ISOReportWindowCallback* m_pListener = nullptr;
  SOReportUIHandler m_binding;
  bool m_bLayoutPosted = false;
};

}  // namespace wendrel
