#include "StudyDialogs.h"

#include "SODcmConvert.h"
#include "SODialog.h"
#include "SOUtil.h"
#include "StudyRows.h"

using namespace DuiLib;

namespace tabrisk {

namespace {

std::wstring Wide(const std::string& text) { return SOUtil::UTF82WStr(text.c_str()); }
std::wstring Translated(const char* text) { return SOUtil::UTF82WStr(ui_gettext(text)); }

}  // namespace

bool BrowseForFolder(HWND owner, const char* title, const std::string& start, std::string& chosen) {
  return SODialog::BrowseForFolder(owner, Wide(title ? title : "").c_str(), start, chosen);
}

std::wstring StudyDateTimeText(const std::string& date, const std::string& time) {
  SODcmDate d;
  SODcmTime t;
  if (!SODcmConvert::Convert(date.c_str(), d) || !SODcmConvert::Convert(time.c_str(), t)) return {};
  return Wide(SOUtil::Format("%d/%02d/%02d %02d:%02d", d.year, d.month, d.day, t.hour, t.minute));
}

// ---- Send dialog ---------------------------------------------------------------------------

bool SOSendDlg::GetResult(RemoteNode& out) const {
  if (m_chosen) out = m_node;
  return m_chosen;
}

void SOSendDlg::InitWindow() {
  m_sendBtn = m_PaintManager.FindControl(L"sendBtn");
  m_list = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"remoteStationList"));
  if (!m_list) return;
  m_list->RemoveAll();
  for (const RemoteNode& node : ArchiveConfig::Instance().Remotes()) {
    auto* row = new CListTextElementUI;
    m_list->Add(row);
    row->SetText(0, Wide(node.name).c_str());
    row->SetText(1, Wide(node.aeTitle).c_str());
    row->SetText(2, Wide(node.ip).c_str());
    row->SetText(3, std::to_wstring(node.port).c_str());
  }
  m_list->SelectItem(0, false, true);
}

void SOSendDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"itemselect" && msg.pSender == m_list) {
    if (m_sendBtn) m_sendBtn->SetEnabled(true);
  } else if (msg.sType == L"click" && msg.pSender == m_sendBtn) {
    const int index = m_list ? m_list->GetCurSel() : -1;
    const std::vector<RemoteNode> nodes = ArchiveConfig::Instance().Remotes();
    if (index < 0 || index >= int(nodes.size())) return;
    m_node = nodes[index];
    m_chosen = true;
    Close(1);
    return;
  } else if (msg.sType == L"click" && msg.pSender->GetName() == L"cancelBtn") {
    Close(IDCANCEL);
    return;
  }
  WndDialog::Notify(msg);
}

// ---- Report dialog -------------------------------------------------------------------------

CReportDialog::CReportDialog(const PatientRecord& record, IKelvast* store, ISOExecuter* host)
    : m_record(record), m_store(store), m_host(host) {}

void CReportDialog::InitWindow() {
  m_list = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"seriesList"));
  if (CControlUI* info = m_PaintManager.FindControl(L"patientInfoLabel"))
    info->SetText(
        Wide(PersonNameText(m_record.patientName) + "  " + m_record.patientSex + "  " + AgeText(m_record.patientAge))
            .c_str());
  if (CControlUI* when = m_PaintManager.FindControl(L"studyDateTimeLabel"))
    when->SetText(StudyDateTimeText(m_record.studyDate, m_record.studyTime).c_str());
  ListReportSummaries(m_store, m_record.id, m_reports);
  if (!m_list) return;
  for (const ReportSummary& report : m_reports) {
    auto* row = new CListTextElementUI;
    row->SetTag(reinterpret_cast<UINT_PTR>(&report));
    m_list->Add(row);
    row->SetText(0, L"<i db\\image\\report_completed.png>");
    row->SetText(1, report.seriesNumber.c_str());
    row->SetText(2, Translated(ReportStatus(report)).c_str());
    SODcmDate date;
    const std::string stored = SOUtil::W2UTF8Str(report.contentDate.c_str());
    row->SetText(3, SODcmConvert::Convert(stored.c_str(), date)
                        ? Wide(SOUtil::Format("%d/%02d/%02d", date.year, date.month, date.day)).c_str()
                        : report.contentDate.c_str());
    row->SetText(4, report.institution.c_str());
  }
  m_list->SelectItem(0, false, true);
}

void CReportDialog::OpenSelected() {
  auto* row = m_list ? dynamic_cast<CListTextElementUI*>(m_list->GetItemAt(m_list->GetCurSel())) : nullptr;
  if (!row) return;
  OpenReportRecord(m_host, *reinterpret_cast<const ReportSummary*>(row->GetTag()));
  Close(1);
}

void CReportDialog::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"itemdbclick") return OpenSelected();
  if (msg.sType == L"click") {
    if (name == L"confirmBtn") return OpenSelected();
    if (name == L"newBtn") {
      NewReportForStudy(m_host, m_store, m_record.id);
      Close(1);
      return;
    }
    if (name == L"cancelBtn") {
      Close(IDCANCEL);
      return;
    }
  }
  WndDialog::Notify(msg);
}

}  // namespace tabrisk
