#include "ReportDialogs.h"

#include "Gossamy.h"
#include "IKelvast.h"
#include "ReportSettings.h"
#include "SODcmSR.h"
#include "SOPrintToFile.h"
#include "StoreUtil.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

// The user data of the print dialog's "PDF file" choice.
constexpr const wchar_t* kPdfFileItem = L"pdf-file";

}  // namespace

UINT RunReportDialog(CWindowWnd& dialog, HWND owner, const wchar_t* name, DWORD style) {
  if (!dialog.Create(owner, name, style, 0, 0, 0, 0, 0)) return 0;
  dialog.CenterWindow();
  return dialog.ShowModal();
}

void SOSignDlg::InitWindow() {
  std::wstring value;
  if (m_report) m_report->GetValue(m_tag, value);
  if (CControlUI* edit = m_PaintManager.FindControl(m_edit)) edit->SetText(value.c_str());
}

void SOSignDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"click" && name == L"confirmBtn") {
    CControlUI* edit = m_PaintManager.FindControl(m_edit);
    const CDuiString text = edit ? edit->GetText() : CDuiString();
    if (text.IsEmpty()) {
      MessageBoxUI(m_hWnd, ui_gettext(m_emptyText), nullptr, 0);
      return;
    }
    if (m_report) {
      m_report->SetValue(m_tag, text.GetData());
      Finish();
    }
    Close(1);
    return;
  }
  if (msg.sType == L"click" && name == L"cancelBtn") {
    Close(1);
    return;
  }
  WindowImplBase::Notify(msg);
}

SOCompleteDlg::SOCompleteDlg(ISOReport* report) : SOSignDlg(report, 0x07211004, L"authorEdit", L"报告作者不能为空！") {}

SOVerifyDlg::SOVerifyDlg(ISOReport* report)
    : SOSignDlg(report, 0x0040A075, L"verifyingObserverNameEdit", L"审核医生不能为空！") {}

bool SOVerifyDlg::Finish() {
  std::wstring organization;
  m_report->GetValue(0x0040A027, organization);
  if (organization.empty()) {
    organization = ReportSettings::InstitutionName();
    if (organization.empty()) m_report->GetValue(0x00080080, organization);
    // A verified document must name its verifying organization: without one it is not verified.
    if (organization.empty()) {
      MessageBoxUI(m_hWnd, ui_gettext(L"审核机构未知：请先在设置中填写机构名称。"), nullptr, 0);
      return false;
    }
    m_report->SetValue(0x0040A027, organization.c_str());
  }
  return m_report->Verify();
}

std::vector<std::string> SOPrintDlg::PrinterNames() {
  std::vector<std::string> names;
  DWORD needed = 0, returned = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1, nullptr, 0, &needed, &returned);
  if (needed == 0) return names;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1, buffer.data(), needed, &needed,
                     &returned))
    return names;
  const auto* entries = reinterpret_cast<const PRINTER_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) names.emplace_back(entries[i].pName ? entries[i].pName : "");
  return names;
}

std::string SOPrintDlg::DefaultPrinter() {
  DWORD length = 0;
  GetDefaultPrinterW(nullptr, &length);
  if (length == 0) return {};
  std::wstring name(length, L'\0');
  if (!GetDefaultPrinterW(name.data(), &length)) return {};
  name.resize(wcsnlen(name.c_str(), name.size()));
  return SOWin::ToUtf8(name);
}

void SOPrintDlg::InitWindow() { FillPrinters(); }

void SOPrintDlg::FillPrinters() {
  auto* combo = dynamic_cast<CComboUI*>(m_PaintManager.FindControl(L"printerCombo"));
  if (!combo) return;
  combo->RemoveAll();
  const std::string preferred = DefaultPrinter();
  int chosen = -1;
  auto add = [combo](const std::wstring& text, const wchar_t* data) {
    auto* item = new CListLabelElementUI;
    item->SetText(text.c_str());
    item->SetUserData(data);
    item->SetAttribute(L"height", L"30");
    item->SetAttribute(L"padding", L"8,0,0,0");
    combo->Add(item);
  };
  for (const std::string& name : PrinterNames()) {
    add(SOWin::FromUtf8(name), L"");
    if (!preferred.empty() && name == preferred) chosen = combo->GetCount() - 1;
  }
  // Printing to a PDF file is always offered, and is the choice on a machine without printers.
  add(ui_gettext(L"PDF 文件…"), kPdfFileItem);
  if (chosen < 0 && combo->GetCount() == 1) chosen = 0;
  if (chosen >= 0) combo->SelectItem(chosen, false, false);
}

void SOPrintDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"printBtn") {
    if (OnPrint()) Close(1);
    return;
  }
  WindowImplBase::Notify(msg);
}

bool SOPrintDlg::OnPrint() {
  if (!m_wendrel) return true;
  auto* combo = dynamic_cast<CComboUI*>(m_PaintManager.FindControl(L"printerCombo"));
  CControlUI* item = combo && combo->GetCurSel() >= 0 ? combo->GetItemAt(combo->GetCurSel()) : nullptr;
  std::string printer = combo ? SOWin::ToUtf8(combo->GetText().GetData()) : std::string();
  if (item && std::wstring(item->GetUserData()) == kPdfFileItem) {
    wchar_t file[1024] = L"report.pdf";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"PDF (*.pdf)\0*.pdf\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = 1024;
    ofn.lpstrDefExt = L"pdf";
    ofn.Flags = OFN_OVERWRITEPROMPT;
    const std::wstring title = ui_gettext(L"打印到 PDF 文件");
    ofn.lpstrTitle = title.c_str();
    if (!GetSaveFileNameW(&ofn)) return false;  // no file chosen: the dialog stays for another choice
    printer = SOWin::PdfFilePrinter(SOWin::ToUtf8(file));
  }
  if (!m_wendrel->Print(printer.c_str())) {
    MessageBoxUI(m_hWnd, ui_gettext(L"报告未能打印！"), nullptr, 0);
    return true;
  }
  ISOReport* active = m_wendrel->GetActiveReport();
  SODcmSR* sr = active ? active->GetSR() : nullptr;
  std::string sid;
  if (!sr || !StoreUtil::GetPatientSID(sr, sid)) return true;
  if (IKelvast* store = Gossamy::LocalDB()) store->SetPatientState(sid.c_str(), "printState", 1);
  return true;
}
