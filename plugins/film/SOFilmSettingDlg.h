#pragma once

#include "PrinterConfig.h"
#include "UIlib.h"

#include <vector>

namespace brenvik {

// The film settings: the printers, the details of the selected one, adding, editing,
// deleting and testing the connection.
class SOSettingDlg : public DuiLib::WndDialog {
 public:
  explicit SOSettingDlg(PrinterConfig* config);
  const wchar_t* GetWindowClassName() const override { return L"SOSettingDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"film/setting_wnd.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  void FillList();
  void ShowDetails(int index);
  void EditPrinter(int index);
  void TestConnection();

  PrinterConfig* m_config;
  DuiLib::CListUI* m_list = nullptr;
  std::vector<PrinterRecord> m_printers;
  DuiLib::CBackgroundCall m_printerTest;  // the selected printer's status query
};

}  // namespace brenvik
