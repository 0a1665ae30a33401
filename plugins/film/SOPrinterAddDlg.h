#pragma once

#include "PrinterConfig.h"
#include "UIlib.h"

namespace brenvik {

// Enters a new printer or edits one of the configuration.
class SOPrinterAddDlg : public DuiLib::WndDialog {
 public:
  explicit SOPrinterAddDlg(PrinterConfig* config);
  const wchar_t* GetWindowClassName() const override { return L"SOPrinterAddDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // After Create, before the dialog shows: edit printer index of the configuration (nothing
  // for an index out of range).
  void LoadPrinter(int index);
  bool IsSaved() const { return m_saved; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"film/add_printer.xml"; }

 private:
  void Confirm();

  PrinterConfig* m_config;
  bool m_saved = false;
  int m_editIndex = -1;
};

}  // namespace brenvik
