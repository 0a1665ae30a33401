#include "SeriesListWnd.h"

#include <algorithm>

#include "ISOLumexa.h"
#include "Lumexa.h"
#include "SOUtil.h"

using namespace DuiLib;

CSeriesListWnd::CSeriesListWnd() = default;

CSeriesListWnd::~CSeriesListWnd() {
  if (order_) order_->RemoveObserver(this);
  ReleaseLumexa(lumexa_);
}

void CSeriesListWnd::InitWindow() {
  viewPanel_ = m_PaintManager.FindControl(L"lumexaPanel");
  if (viewPanel_) {
    viewPanel_->OnSize += MakeDelegate(this, &CSeriesListWnd::OnViewPanelSize);
    lumexa_ = CreateLumexa();
    const RECT rc = viewPanel_->GetPos();
    lumexa_->Create(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, true);
    lumexa_->ShowSelectedSeriesBorder(false);
    if (ISOSeriesWnd* first = lumexa_->GetSeriesWnd(0)) first->ShowScrollbar(false);
  }
  seriesList_ = RemoteUI::Find<CListUI>(m_PaintManager, L"seriesList");
}

bool CSeriesListWnd::OnViewPanelSize(void*) {
  if (lumexa_ && viewPanel_) {
    const RECT rc = viewPanel_->GetPos();
    lumexa_->Move(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  }
  return true;
}

void CSeriesListWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"itemselect" && msg.pSender && msg.pSender == seriesList_) ShowSelectedSeries();
  WindowImplBase::Notify(msg);
}

void CSeriesListWnd::SetOrder(const std::shared_ptr<OrderObject>& order) {
  if (order_ != order) {
    if (order_) order_->RemoveObserver(this);
    order_ = order;
    if (order_) order_->AddObserver(this);
  }
  LoadSeries();
  FillList();
  ShowSelectedSeries();
  RefreshLabels();
}

void CSeriesListWnd::LoadSeries() {
  series_.clear();
  PatientRecord study;
  if (order_ && order_->LoadLocalStudy(study)) series_ = std::move(study.series);
}

void CSeriesListWnd::FillList() {
  if (!seriesList_) return;
  const int kept = seriesList_->GetCurSel();
  seriesList_->RemoveAll();
  for (SeriesRecord& series : series_) {
    auto* row = new CListTextElementUI;
    row->SetTag(reinterpret_cast<UINT_PTR>(&series));
    seriesList_->Add(row);
    row->SetText(0, RemoteUI::Wide(series.seriesNumber).c_str());
    row->SetText(1, std::to_wstring(SOUtil::GetFileCount(series.storePath.c_str())).c_str());
    row->SetText(2, SOUtil::C2WStr(series.modality.c_str()).c_str());
    row->SetText(3, SOUtil::C2WStr(series.sliceThickness.c_str()).c_str());
    row->SetText(4, RemoteUI::Wide(series.seriesDescription).c_str());
  }
  if (series_.empty()) return;
  const int index = std::clamp(kept, 0, static_cast<int>(series_.size()) - 1);
  seriesList_->SelectItem(index, true, false);
}

void CSeriesListWnd::ShowSelectedSeries() {
  if (lumexa_) lumexa_->CloseAll();
  if (!seriesList_ || !lumexa_) return;
  const int selected = seriesList_->GetCurSel();
  CControlUI* row = seriesList_->GetItemAt(selected >= 0 ? selected : 0);
  auto* series = row ? reinterpret_cast<SeriesRecord*>(row->GetTag()) : nullptr;
  if (!series) return;
  lumexa_->LoadFolder(series->storePath.c_str(), -1);
}

std::string CSeriesListWnd::PatientLine(const DiagnosticRecord& record) {
  const size_t digits = record.patientAge.find_first_not_of('0');
  const std::string age = digits == std::string::npos ? "" : record.patientAge.substr(digits);
  return record.patientName + "  " + record.patientSex + "  " + age;
}

void CSeriesListWnd::RefreshLabels() {
  if (!order_) return;
  const DiagnosticRecord record = order_->Record();
  auto set = [&](const wchar_t* name, const std::wstring& text) {
    if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetText(text.c_str());
  };
  auto orDash = [](const std::string& text) { return text.empty() ? std::wstring(L"--") : RemoteUI::Wide(text); };
  set(L"orderCommentLabel", RemoteUI::Wide(record.comments));
  set(L"orderPatientInfoLabel", RemoteUI::Wide(PatientLine(record)));
  set(L"orderReportAuthorNameLabel", orDash(record.reportAuthorName));
  set(L"orderReportVerifierNameLabel", orDash(record.reportVerifierName));
  set(L"orderReportUpdatedTimeLabel", record.reportUpdatedTime ? ui_time(record.reportUpdatedTime) : L"--");
  set(L"orderReportRichEdit", RemoteUI::Wide(order_->GetFinding() + "\n" + order_->GetConclusion()));
}

void CSeriesListWnd::PostFor(OrderObject* order, std::function<void()> fn) {
  RemoteUI::Post(weak_, [this, order, fn = std::move(fn)] {
    if (order_.get() == order) fn();
  });
}

void CSeriesListWnd::OnOrderUpdated(OrderObject* order) {
  PostFor(order, [this] { RefreshLabels(); });
}

void CSeriesListWnd::OnStudyFilesStored(OrderObject* order) {
  PostFor(order, [this] {
    LoadSeries();
    FillList();
    ShowSelectedSeries();
  });
}
