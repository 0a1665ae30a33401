#include "SOPrinterAddDlg.h"

#include "FilmWindows.h"
#include "PrinterFormControls.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace brenvik {

SOPrinterAddDlg::SOPrinterAddDlg(PrinterConfig* config) : m_config(config) {}

void SOPrinterAddDlg::InitWindow() {
  // A new printer starts from the usual settings; what only the user can know stays empty.
  PrinterForm form = FormOf(PrinterRecord{});
  form.port.clear();
  ShowForm(m_PaintManager, form);
}

void SOPrinterAddDlg::LoadPrinter(int index) {
  std::vector<PrinterRecord> printers = m_config->Printers();
  if (index < 0 || index >= static_cast<int>(printers.size())) return;
  ShowForm(m_PaintManager, FormOf(printers[index]));
  m_editIndex = index;
}

void SOPrinterAddDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"confirmBtn") {
    Confirm();
    return;
  }
  WndDialog::Notify(msg);
}

void SOPrinterAddDlg::Confirm() {
  PrinterRecord printer;
  if (const wchar_t* message = ReadPrinterForm(ReadForm(m_PaintManager), printer)) {
    MessageBoxUI(m_hWnd, ui_gettext(message), nullptr, 0);
    return;
  }
  const bool written = m_editIndex < 0 ? m_config->Add(printer) : m_config->ReplaceAt(m_editIndex, printer);
  if (!written) {
    MessageBoxUI(m_hWnd, ui_gettext(L"The printer settings could not be saved!"), nullptr, 0);
    return;
  }
  m_saved = true;
  Close(IDOK);
}

}  // namespace brenvik
