#include "SOFilmSettingDlg.h"

#include "FilmWindows.h"
#include "PrinterFormControls.h"
#include "SODcmPrint.h"
#include "SOPrinterAddDlg.h"
#include "Zarnet.h"

#include <algorithm>

using namespace DuiLib;

namespace brenvik {

SOSettingDlg::SOSettingDlg(PrinterConfig* config) : m_config(config) {}

void SOSettingDlg::InitWindow() {
  m_list = Find<CListUI>(m_PaintManager, L"filmPrinterList");
  ShowDetails(-1);
  FillList();
}

void SOSettingDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"selectchanged" && name == L"optPrinter") {
    if (auto* tabs = Find<CTabLayoutUI>(m_PaintManager, L"switch")) tabs->SelectItem(0);
  } else if (msg.sType == L"click" && name == L"addPrinterBtn") {
    EditPrinter(-1);
  } else if (msg.sType == L"click" && name == L"editPrinterBtn") {
    if (m_list && m_list->GetCurSel() >= 0) EditPrinter(m_list->GetCurSel());
  } else if (msg.sType == L"click" && name == L"connectTestBtn") {
    TestConnection();
  } else if (msg.sType == L"itemselect" && msg.pSender == m_list) {
    ShowDetails(m_list->GetCurSel());
  } else if (msg.sType == L"click" && name == L"printerDeleteBtn") {
    const int index = static_cast<int>(msg.pSender->GetTag());
    if (index >= 0 && index < static_cast<int>(m_printers.size()) &&
        MessageBoxUI(m_hWnd, ui_gettext(L"Delete this printer?"), nullptr, 1) == 1) {
      if (!m_config->RemoveAt(index))
        MessageBoxUI(m_hWnd, ui_gettext(L"The printer settings could not be saved!"), nullptr, 0);
      FillList();
    }
  } else {
    WndDialog::Notify(msg);
  }
}

void SOSettingDlg::EditPrinter(int index) {
  SOPrinterAddDlg dialog(m_config);
  if (!dialog.Create(m_hWnd, L"SOPrinterAddDlg", 0xCF0000, 0, 0, 0, 0, 0)) return;
  dialog.CenterWindow();
  dialog.LoadPrinter(index);
  dialog.ShowModal();
  if (dialog.IsSaved()) FillList();
}

void SOSettingDlg::FillList() {
  if (!m_list) return;
  const int remembered = m_list->GetCurSel();
  m_list->RemoveAll();
  m_printers = m_config->Printers();
  for (size_t i = 0; i < m_printers.size(); ++i) {
    CDialogBuilder builder;
    auto* row = dynamic_cast<CContainerUI*>(builder.Create(L"film/list_item_printer.xml", nullptr, nullptr, &m_PaintManager));
    if (!row) continue;
    row->SetTag(i);
    if (auto* inner = dynamic_cast<CContainerUI*>(row->GetItemAt(0))) {
      inner->GetItemAt(0)->SetText(SOWin::FromUtf8(m_printers[i].name).c_str());
      inner->GetItemAt(1)->SetVisible(m_printers[i].isDefault);
      inner->GetItemAt(3)->SetTag(i);
    }
    m_list->Add(row);
  }
  const int count = static_cast<int>(m_printers.size());
  if (count == 0) {
    ShowDetails(-1);
    return;
  }
  const int index = std::max(0, std::min(remembered, count - 1));
  m_list->SelectItem(index, false, false);
  ShowDetails(index);
}

void SOSettingDlg::ShowDetails(int index) {
  CControlUI* panel = m_PaintManager.FindControl(L"printerInfoPanel");
  if (index < 0 || index >= static_cast<int>(m_printers.size())) {
    if (panel) panel->SetEnabled(false);
    ClearForm(m_PaintManager);
    return;
  }
  if (panel) panel->SetEnabled(true);
  ShowForm(m_PaintManager, FormOf(m_printers[index]));
}

void SOSettingDlg::TestConnection() {
  const int index = m_list ? m_list->GetCurSel() : -1;
  if (index < 0 || index >= static_cast<int>(m_printers.size()) || m_printerTest.Running()) return;
  const PrinterRecord& p = m_printers[index];
  auto print = std::make_shared<SODcmPrint>();
  const HWND hwnd = m_hWnd;
  auto answer = [hwnd](bool ok) {
    MessageBoxUI(hwnd, ui_gettext(ok ? L"Connection succeeded!" : L"Connection failed!"), nullptr, 0);
  };
  if (!print->Init(p.ip.c_str(), p.port, p.calledAE.c_str(), p.callingAE.c_str())) return answer(false);
  // The printer may keep silent up to the network time-out: the window stays live meanwhile.
  CControlUI* button = m_PaintManager.FindControl(L"connectTestBtn");
  if (button) button->SetEnabled(false);
  const int printType = p.filmFormat == 1 ? SODcmPrintType_Color : SODcmPrintType_Grayscale;
  m_printerTest.Start(
      hwnd,
      [print, printType] {
        SODcmPrinter printer;
        return print->GetPrinterInstance(printer, printType);
      },
      [print] { print->Cancel(); },
      [button, answer](bool ok) {
        if (button) button->SetEnabled(true);
        answer(ok);
      });
}

void SOSettingDlg::OnFinalMessage(HWND hWnd) {
  m_printerTest.Stop();
  WndDialog::OnFinalMessage(hWnd);
}

}  // namespace brenvik
