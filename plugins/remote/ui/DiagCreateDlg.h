#pragma once

#include <memory>
#include <vector>

#include "JorvelRecords.h"
#include "PatientRecord.h"
#include "RemoteUI.h"
#include "SearchTeam.h"
#include "Waiting.h"
#include "WebError.h"

// Sends a local study to a consultation team: the patient, the series to send (SR unchecked),
// the team (liked or searched by code) and comments. The order is created on a worker; the
// dialog cannot be closed meanwhile.
class DiagCreateDlg : public DuiLib::WndDialog {
 public:
  explicit DiagCreateDlg(const PatientRecord& study);
  ~DiagCreateDlg() override;
  const wchar_t* GetWindowClassName() const override { return L"SOBuilderDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // Owned by owner, titled "DiagCreateDlg", centred and modal.
  static void Run(const PatientRecord& study, HWND owner, bool showComments);

  bool showComments = false;
  struct SeriesEntry {
    const SeriesRecord* series;
    bool checked;
  };
  const std::vector<SeriesEntry>& Entries() const { return entries_; }
  bool Busy() const { return busy_; }
  const DiagnosticRecord& Answer() const { return answer_; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/diag_create_dlg.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

 private:
  void FillPatient();
  void FillSeries();
  void ShowRow(int index);
  void Confirm();
  void Created(bool ok, const DiagnosticRecord& answer, const WebError& error);

  PatientRecord study_;
  std::vector<SeriesEntry> entries_;
  DuiLib::CListUI* seriesList_ = nullptr;
  UIX_SearchTeam search_;
  UIX_Waiting waiting_;
  bool busy_ = false;
  DiagnosticRecord answer_;
  std::shared_ptr<DuiLib::CInvoke> invoker_;
};
