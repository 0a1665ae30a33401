#include "SOPrintQueueDlg.h"

#include "FilmWindows.h"
#include "Zarnet.h"

#include <algorithm>

using namespace DuiLib;

namespace brenvik {

SOPrintQueueDlg::SOPrintQueueDlg(SOPrintQueue* queue) : m_queue(queue) { m_queue->AddListener(this); }

SOPrintQueueDlg::~SOPrintQueueDlg() { m_queue->RemoveListener(this); }

void SOPrintQueueDlg::InitWindow() {
  m_window = m_hWnd;
  m_pending = Find<CListUI>(m_PaintManager, L"filmTaskList");
  m_pendingCount = m_PaintManager.FindControl(L"filmTaskCountLabel");
  m_finished = Find<CListUI>(m_PaintManager, L"filmTaskListDone");
  m_finishedCount = m_PaintManager.FindControl(L"filmTaskCountLabelDone");
  Refresh();
}

void SOPrintQueueDlg::OnPrintQueueChanged(std::vector<PrintJob>) {
  if (HWND window = m_window.load()) ::PostMessageW(window, WM_SO_PRINTQUEUE_CHANGED, 0, 0);
}

LRESULT SOPrintQueueDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_SO_PRINTQUEUE_CHANGED) {
    Refresh();
    return 0;
  }
  if (uMsg == WM_DESTROY) m_window = nullptr;
  return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void SOPrintQueueDlg::Refresh() {
  m_jobs = m_queue->Jobs();
  Fill(m_pending, m_pendingCount, false);
  Fill(m_finished, m_finishedCount, true);
}

void SOPrintQueueDlg::Fill(CListUI* list, CControlUI* count, bool finished) {
  if (!list) return;
  const int remembered = list->GetCurSel();
  list->RemoveAll();
  for (size_t i = 0; i < m_jobs.size(); ++i) {
    const PrintJob& job = m_jobs[i];
    const bool over = job.state == PRINTJOB_DONE || job.state == PRINTJOB_FAILED;
    if (over != finished) continue;
    auto* row = new CListTextElementUI;
    row->SetTag(i);
    list->Add(row);
    row->SetText(0, job.patientName.c_str());
    row->SetText(1, ui_gettext(PrintJobStateText(job.state)));
    row->SetText(2, std::to_wstring(job.filmCount).c_str());
    row->SetText(3, std::to_wstring(job.copies).c_str());
    row->SetText(4, SOWin::FromUtf8(job.printerName).c_str());
    row->SetText(5, SOWin::FromUtf8(job.dateTime.toString()).c_str());
  }
  const int rows = list->GetCount();
  if (count) count->SetText(std::to_wstring(rows).c_str());
  if (rows > 0) list->SelectItem(std::max(0, std::min(remembered, rows - 1)), false, false);
}

const PrintJob* SOPrintQueueDlg::Selected(CListUI* list) const {
  if (!list || list->GetCurSel() < 0) return nullptr;
  const size_t index = list->GetItemAt(list->GetCurSel())->GetTag();
  return index < m_jobs.size() ? &m_jobs[index] : nullptr;
}

void SOPrintQueueDlg::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || !msg.pSender) {
    WndDialog::Notify(msg);
    return;
  }
  const CDuiString name = msg.pSender->GetName();
  if (name == L"startBtn" || name == L"restartBtn") {
    if (const PrintJob* job = Selected(name == L"startBtn" ? m_pending : m_finished)) m_queue->Restart(job->uid);
  } else if (name == L"removeBtn" || name == L"removeBtnDone") {
    const PrintJob* job = Selected(name == L"removeBtn" ? m_pending : m_finished);
    if (job && !m_queue->Remove(job->uid))
      MessageBoxUI(m_hWnd, ui_gettext(L"A film that is being printed cannot be removed."), nullptr, 0);
  } else if (name == L"removeAllBtnDone") {
    std::vector<std::string> uids;
    for (int i = 0; m_finished && i < m_finished->GetCount(); ++i) {
      const size_t index = m_finished->GetItemAt(i)->GetTag();
      if (index < m_jobs.size()) uids.push_back(m_jobs[index].uid);
    }
    for (const std::string& uid : uids) m_queue->Remove(uid);
  } else if (name == L"upBtn" || name == L"downBtn") {
    // no action
  } else {
    WndDialog::Notify(msg);
    return;
  }
  Refresh();
}

}  // namespace brenvik
