#include "DiagCreateDlg.h"

#include <thread>

#include "Gossamy.h"
#include "OrderCreation.h"
#include "SODcmConvert.h"
#include "WebError.h"
#include "Zarnet.h"

using namespace DuiLib;

DiagCreateDlg::DiagCreateDlg(const PatientRecord& study) : study_(study), invoker_(std::make_shared<CInvoke>()) {}

DiagCreateDlg::~DiagCreateDlg() { invoker_->Release(); }

void DiagCreateDlg::Run(const PatientRecord& study, HWND owner, bool showComments) {
  DiagCreateDlg dialog(study);
  dialog.showComments = showComments;
  if (!dialog.Create(owner, L"DiagCreateDlg", 0x00C80000, 0, 0, 0, 0, 0)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

void DiagCreateDlg::InitWindow() {
  invoker_->Create(m_hWnd);
  if (CControlUI* panel = m_PaintManager.FindControl(L"commentsPanel")) panel->SetVisible(showComments);
  FillPatient();
  FillSeries();
  search_.Init(m_hWnd, &m_PaintManager);
  waiting_.Init(m_hWnd, &m_PaintManager);
}

void DiagCreateDlg::FillPatient() {
  if (auto* sex = RemoteUI::Find<CComboUI>(m_PaintManager, L"patientSexCombo")) {
    int match = -1;
    for (int i = 0; i < sex->GetCount(); ++i)
      if (RemoteUI::Utf8(sex->GetItemAt(i)->GetUserData()) == study_.patientSex) match = i;
    sex->SelectItem(match, false, false);
  }
  SODcmAge age;
  if (!study_.patientAge.empty() && SODcmConvert::Convert(study_.patientAge.c_str(), age)) {
    if (CControlUI* edit = m_PaintManager.FindControl(L"patientAgeEdit"))
      edit->SetText(std::to_wstring(age.number).c_str());
    if (auto* unit = RemoteUI::Find<CComboUI>(m_PaintManager, L"patientAgeCombo")) {
      int match = -1;
      for (int i = 0; i < unit->GetCount(); ++i)
        if (RemoteUI::Utf8(unit->GetItemAt(i)->GetUserData()) == age.unit) match = i;
      unit->SelectItem(match, false, false);
    }
  }
  if (CControlUI* name = m_PaintManager.FindControl(L"patientNameEdit"))
    name->SetText(RemoteUI::Wide(study_.patientName).c_str());
}

void DiagCreateDlg::FillSeries() {
  seriesList_ = RemoteUI::Find<CListUI>(m_PaintManager, L"seriesList");
  entries_.clear();
  for (const SeriesRecord& series : study_.series) entries_.push_back({&series, series.modality != "SR"});
  if (!seriesList_) return;
  seriesList_->RemoveAll();
  for (size_t i = 0; i < entries_.size(); ++i) {
    auto* row = new CListTextElementUI;
    seriesList_->Add(row);
    row->SetTag(reinterpret_cast<UINT_PTR>(&entries_[i]));
    ShowRow(int(i));
  }
}

void DiagCreateDlg::ShowRow(int index) {
  auto* row = seriesList_ ? dynamic_cast<CListTextElementUI*>(seriesList_->GetItemAt(index)) : nullptr;
  if (!row) return;
  const SeriesEntry& entry = entries_[index];
  const SeriesRecord& s = *entry.series;
  row->SetText(0, entry.checked ? L"<i common/image/check_bk2.png>" : L"<i common/image/check_bk1.png>");
  row->SetText(1, RemoteUI::Wide(s.seriesNumber).c_str());
  row->SetText(2, RemoteUI::Wide(s.imageType).c_str());
  row->SetText(3, std::to_wstring(s.instances.size()).c_str());
  row->SetText(4, RemoteUI::Wide(s.modality).c_str());
  row->SetText(5, RemoteUI::Wide(s.sliceThickness).c_str());
}

void DiagCreateDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"confirmBtn") return Confirm();
    if (name == L"cancelBtn") return Close(IDCANCEL);
  }
  // A click in a row's check column toggles the series.
  if (msg.sType == L"itemclick" && seriesList_ && msg.pSender && msg.pSender->GetParent() &&
      seriesList_->GetItemIndex(msg.pSender) >= 0 && !busy_) {
    CListHeaderUI* header = seriesList_->GetListHeader();
    CControlUI* checkColumn = header ? header->GetItemAt(0) : nullptr;
    const RECT column = checkColumn ? checkColumn->GetPos() : RECT{};
    if (!checkColumn || (msg.ptMouse.x >= column.left && msg.ptMouse.x < column.right)) {
      const int index = seriesList_->GetItemIndex(msg.pSender);
      entries_[index].checked = !entries_[index].checked;
      ShowRow(index);
    }
  }
  WndDialog::Notify(msg);
}

void DiagCreateDlg::Confirm() {
  if (busy_) return;
  const TeamRecord* chosen = search_.Selected();
  if (!chosen) {
    MessageBoxUI(m_hWnd, ui_gettext(L"One diagnostic team needs to be selected!"), nullptr, 0);
    return;
  }
  const TeamRecord team = *chosen;
  PatientRecord requestStudy = study_;
  requestStudy.series.clear();
  for (const SeriesEntry& entry : entries_)
    if (entry.checked) requestStudy.series.push_back(*entry.series);
  if (requestStudy.series.empty()) {
    MessageBoxUI(m_hWnd, ui_gettext(L"At least one series needs to be selected!"), nullptr, 0);
    return;
  }
  // Taken here, on the UI thread; a second click finds the dialog busy.
  CControlUI* commentsEdit = m_PaintManager.FindControl(L"commentsEdit");
  const std::string comments = commentsEdit ? RemoteUI::Utf8(commentsEdit->GetText().str()) : std::string();
  busy_ = true;
  if (CControlUI* confirm = m_PaintManager.FindControl(L"confirmBtn")) confirm->SetEnabled(false);
  waiting_.Show();
  std::thread([invoker = invoker_, this, requestStudy, team, comments] {
    DiagnosticRecord answer;
    WebError error;
    const bool ok = OrderCreation::Create(requestStudy, team, comments, &answer, &error);
    invoker->BeginInvoke([this, ok, answer, error] { Created(ok, answer, error); });
  }).detach();
}

void DiagCreateDlg::Created(bool ok, const DiagnosticRecord& answer, const WebError& error) {
  busy_ = false;
  if (CControlUI* confirm = m_PaintManager.FindControl(L"confirmBtn")) confirm->SetEnabled(!ok);
  if (ok) {
    answer_ = answer;
    waiting_.Success();
  } else {
    waiting_.Error(ui_gettext(Gossamy::GetString(error).c_str()));
  }
}

LRESULT DiagCreateDlg::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // Not while the order is being created: its result comes back to this dialog.
  if (busy_) {
    bHandled = TRUE;
    return 0;
  }
  return WndDialog::OnClose(uMsg, wParam, lParam, bHandled);
}

LRESULT DiagCreateDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (busy_) return TRUE;
  return WndDialog::ResponseDefaultKeyEvent(wParam);
}
