#pragma once

#include "ArchiveConfig.h"
#include "PatientRecord.h"
#include "ReportSummary.h"
#include "UIlib.h"

#include <string>
#include <vector>

class IKelvast;
class ISOExecuter;

namespace tabrisk {

// Asks for a folder, starting at start; the whole path chosen, or false when the user cancels.
bool BrowseForFolder(HWND owner, const char* title, const std::string& start, std::string& chosen);

// The support page: text only.
class SupportDlg : public DuiLib::WndDialog {
 protected:
  const wchar_t* GetWindowClassName() const override { return L"SupportDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/support_dlg.xml"; }
};

// Picks the remote node a send goes to.
class SOSendDlg : public DuiLib::WndDialog {
 public:
  // The chosen node; false when the dialog was closed without choosing.
  bool GetResult(RemoteNode& out) const;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SOSendDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/db_send_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 private:
  DuiLib::CControlUI* m_sendBtn = nullptr;
  DuiLib::CListUI* m_list = nullptr;
  bool m_chosen = false;
  RemoteNode m_node;
};

// The reports of one study, to open one or to start a new one.
class CReportDialog : public DuiLib::WndDialog {
 public:
  CReportDialog(const PatientRecord& record, IKelvast* store, ISOExecuter* host);
  const std::vector<ReportSummary>& Reports() const { return m_reports; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CReportDialog"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/report_dlg.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 private:
  void OpenSelected();

  PatientRecord m_record;
  IKelvast* m_store;
  ISOExecuter* m_host;
  DuiLib::CListUI* m_list = nullptr;
  std::vector<ReportSummary> m_reports;  // the rows point into it
};

// "%d/%02d/%02d %02d:%02d" of a DICOM date and time; empty when either does not parse.
std::wstring StudyDateTimeText(const std::string& date, const std::string& time);

}  // namespace tabrisk
