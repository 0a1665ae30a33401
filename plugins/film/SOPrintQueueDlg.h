#pragma once

#include "SOPrintQueue.h"
#include "UIlib.h"

#include <atomic>
#include <vector>

namespace brenvik {

// The print jobs in two lists, pending and finished, following the queue while open.
class SOPrintQueueDlg : public DuiLib::WndDialog, public ISOPrintQueueCallback {
 public:
  explicit SOPrintQueueDlg(SOPrintQueue* queue);
  ~SOPrintQueueDlg() override;
  const wchar_t* GetWindowClassName() const override { return L"SOPrintQueueDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnPrintQueueChanged(std::vector<PrintJob> jobs) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"film/print_queue_wnd.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void Refresh();
  void Fill(DuiLib::CListUI* list, DuiLib::CControlUI* count, bool finished);
  // The job of the selected row of list, or null.
  const PrintJob* Selected(DuiLib::CListUI* list) const;

  SOPrintQueue* m_queue;
  std::atomic<HWND> m_window{nullptr};
  DuiLib::CListUI* m_pending = nullptr;
  DuiLib::CControlUI* m_pendingCount = nullptr;
  DuiLib::CListUI* m_finished = nullptr;
  DuiLib::CControlUI* m_finishedCount = nullptr;
  std::vector<PrintJob> m_jobs;  // the rows' jobs (a row's tag is its index here)
};

}  // namespace brenvik
