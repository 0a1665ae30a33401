#pragma once

// The small modal dialogs of the report workflow: completing (the author), verifying (the
// verifying doctor) and printing the active report.

#include <string>
#include <vector>

#include "IWendrel.h"
#include "UIlib.h"

// Creates the dialog owned by owner, centres it and runs it modally; the dialog's result.
UINT RunReportDialog(DuiLib::CWindowWnd& dialog, HWND owner, const wchar_t* name, DWORD style);

// Asks for one name, writes it to the report under a tag, then completes or verifies.
class SOSignDlg : public DuiLib::WindowImplBase {
 public:
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 protected:
  SOSignDlg(ISOReport* report, DWORD tag, const wchar_t* edit, const wchar_t* emptyText)
      : m_report(report), m_tag(tag), m_edit(edit), m_emptyText(emptyText) {}
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  virtual bool Finish() = 0;

  ISOReport* m_report;

 private:
  DWORD m_tag;
  const wchar_t* m_edit;
  const wchar_t* m_emptyText;
};

class SOCompleteDlg : public SOSignDlg {
 public:
  explicit SOCompleteDlg(ISOReport* report);
  const wchar_t* GetWindowClassName() const override { return L"SOCompleteDlg"; }

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_complete_wnd.xml"; }
  bool Finish() override { return m_report->Complete(); }
};

class SOVerifyDlg : public SOSignDlg {
 public:
  explicit SOVerifyDlg(ISOReport* report);
  const wchar_t* GetWindowClassName() const override { return L"SOVerifyDlg"; }

 protected:
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_verify_wnd.xml"; }
  // A verified document names the verifying organization: when the report has none, the
  // institution (the user's setting, else the document's own) is written first.
  bool Finish() override;
};

// Chooses a printer of the system or a PDF file, prints the active report and marks its study
// printed.
class SOPrintDlg : public DuiLib::WindowImplBase {
 public:
  explicit SOPrintDlg(IWendrel* wendrel) : m_wendrel(wendrel) {}
  const wchar_t* GetWindowClassName() const override { return L"SOPrintDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // The system's printer names in enumeration order, and its default printer ("" when none).
  static std::vector<std::string> PrinterNames();
  static std::string DefaultPrinter();

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"sr/sr_print_wnd.xml"; }

 private:
  void FillPrinters();
  // Prints and marks the study printed, telling the user of a failed print; false when the
  // user chose a PDF file but no file name.
  bool OnPrint();

  IWendrel* m_wendrel;
};
