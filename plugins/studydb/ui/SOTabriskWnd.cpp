#include "SOTabriskWnd.h"

#include "CFilmDlg.h"
#include "SettingsDialogs.h"
#include "StudyDialogs.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "ISOLumexa.h"
#include "Lumexa.h"
#include "SODcmFile.h"
#include "SOUtil.h"
#include "StoreUtil.h"
#include "StudyRows.h"
#include "Zarnet.h"

#include <algorithm>
#include <cwchar>
#include <future>
#include <iterator>
#include <utility>

using namespace DuiLib;

namespace tabrisk {

namespace {

// Study rows made at a time: more than a screenful, few enough to make at once.
constexpr size_t kStudyRowBatch = 100;

std::wstring Wide(const std::string& text) { return SOUtil::UTF82WStr(text.c_str()); }
std::wstring Translated(const char* text) { return SOUtil::UTF82WStr(ui_gettext(text)); }

CListTextElementUI* NewRow(UINT_PTR tag) {
  auto* row = new CListTextElementUI;
  row->SetTag(tag);
  return row;
}

// Selects a rebuilt list's row without raising "itemselect".
void SelectQuietly(CListUI* list, int index, bool takeFocus = false) {
  if (index >= 0) list->SelectItem(index, takeFocus, false);
}

}  // namespace

SOTabriskWnd::SOTabriskWnd(IKelvast* store)
    : m_store(store ? store : Gossamy::LocalDB()), m_receiver(m_store), m_sender(this) {}

SOTabriskWnd::~SOTabriskWnd() {
  if (m_cloudReceiver) m_cloudReceiver->Cancel();
  if (m_cloudThread.joinable()) m_cloudThread.join();
  m_sender.Cancel();
}

// ---- ISOPlugin -----------------------------------------------------------------------------

const wchar_t* SOTabriskWnd::GetTitle() { return m_PaintManager.GetTitle(); }

void SOTabriskWnd::SetExecuter(ISOExecuter* host) {
  m_host = host;
}

HWND SOTabriskWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  return Create(parent, L"SOTabriskWnd", 0x56000000, WS_EX_ACCEPTFILES, x, y, cx, cy);
}

bool SOTabriskWnd::OnMessage(int id, void* data, HWND owner) {
  if (!data) return false;
  if (!owner) owner = m_hWnd;
  if (id == SOMSG_STUDY_REPORT) {
    HandleStudyReport(static_cast<const char*>(data), owner);
  } else if (id == SOMSG_STUDY_FILM) {
    ShowFilmDialog(*static_cast<PatientRecord*>(data), owner);
  }
  return false;
}

void SOTabriskWnd::HandleStudyReport(const char* path, HWND owner) {
  SODcmFile file;
  std::string studyId;
  if (!file.LoadFile(path, false) || !StoreUtil::GetPatientSID(&file, studyId) || studyId.empty()) return;
  PatientRecord record;
  m_store->GetPatientRecord(studyId.c_str(), record, false);
  std::vector<ReportSummary> reports;
  ListReportSummaries(m_store, studyId, reports);
  if (reports.empty()) {
    NewReportForFile(m_host, m_store, path);
  } else if (reports.size() == 1) {
    OpenReportRecord(m_host, reports.front());
  } else {
    ShowReportDialog(record, owner);
  }
}

// ---- Window set-up -------------------------------------------------------------------------

void SOTabriskWnd::InitWindow() {
  m_invoke.Create(m_hWnd);
  SOSCPManager& service = SOSCPManager::Instance();
  service.AddListener(this);
  service.Start();
  service.ApplyCommitListener();

  m_serviceError = m_PaintManager.FindControl(L"storeSCPErrorCtl");
  m_studyList = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"studyList"));
  m_seriesList = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"seriesList"));
  m_reportList = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"reportSeriesList"));
  m_imageSeriesOpt = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"imageSeriesOpt"));
  m_reportSeriesOpt = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"reportSeriesOpt"));
  m_reportText = dynamic_cast<CRichEditUI*>(m_PaintManager.FindControl(L"reportRichEdit"));
  ShowServiceState(service.IsRunning());

  m_previewPanel = m_PaintManager.FindControl(L"lumexaPanel");
  if (m_previewPanel) {
    m_previewPanel->OnSize += CDelegateBase(
        [this](void*) {
          LayoutPreview();
          return true;
        },
        this, "lumexaPanel");
    m_preview = CreateLumexa();
    const RECT rc = m_previewPanel->GetPos();
    m_preview->Create(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, true);
    m_preview->ShowSelectedImageBorder(false);
    if (ISOSeriesWnd* first = m_preview->GetSeriesWnd(0)) first->ShowScrollbar(false);
  }

  RefreshStudyList(nullptr);
  m_searchEdit = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"likeSearchEdit"));
  m_clearSearchBtn = m_PaintManager.FindControl(L"deleteLikeBtn");

  CloudManager& cloud = CloudManager::Instance();
  cloud.AddListener(this);
  m_store->AddListener(this);
  m_registered = true;
  cloud.Refresh();
}

void SOTabriskWnd::OnFinalMessage(HWND hWnd) {
  // The window may go before the process ends (tests, the shots tool): nobody calls it then.
  if (m_registered) {
    m_store->RemoveListener(this);
    CloudManager::Instance().RemoveListener(this);
    SOSCPManager::Instance().RemoveListener(this);
    m_registered = false;
  }
  m_invoke.Release();
  if (m_preview) {
    ReleaseLumexa(m_preview);
    m_preview = nullptr;
  }
  WindowImplBase::OnFinalMessage(hWnd);
}

void SOTabriskWnd::LayoutPreview() {
  if (!m_preview || !m_previewPanel) return;
  const RECT rc = m_previewPanel->GetPos();
  m_preview->Move(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

void SOTabriskWnd::WaitForJobs() {
  std::promise<void> done;
  auto future = done.get_future();
  m_jobs.Queue([&done] { done.set_value(); });
  future.wait();
}

// ---- Notifications -------------------------------------------------------------------------

void SOTabriskWnd::Notify(TNotifyUI& msg) {
  const CDuiString& name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  const CDuiString& type = msg.sType;
  if (type == L"click") {
    if (name == L"searchBtn") return OnSearch();
    if (name == L"deleteLikeBtn") return OnClearSearch();
    if (name == L"downloadBtn") {
      PostMessage(WM_SO_CLOUD_RECEIVE, 1);
      return;
    }
    if (name == L"importBtn") return ImportFolder();
    if (name == L"settingBtn") return ShowSettings();
    if (name == L"imageSeriesOpt" || name == L"reportSeriesOpt") {
      if (auto* tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"seriesTabLayout")))
        tabs->SelectItem(name == L"imageSeriesOpt" ? 0 : 1);
      return;
    }
    OnToolbar(name);
  } else if (type == L"scroll") {
    if (msg.pSender == m_studyList) OnStudyListScrolled();
  } else if (type == L"itemselect") {
    if (msg.pSender == m_studyList) {
      ClearUnread();
      RefreshSelection();
      OnStudyListScrolled();
    } else if (msg.pSender == m_seriesList) {
      PreviewSeries();
    } else if (msg.pSender == m_reportList) {
      ShowReportText();
    }
  } else if (type == L"itemdbclick" || type == L"menu" || type == L"menu_share") {
    // Rows raise these for their list.
    CControlUI* list = msg.pSender;
    if (auto* item = dynamic_cast<IListItemUI*>(msg.pSender)) list = item->GetOwnerControl();
    const bool menu = type == L"menu";
    if (list == m_studyList) {
      if (type == L"menu_share") return ShareSelectedStudy();
      menu ? OnStudyMenu(msg) : ViewSelectedStudy();
    } else if (list == m_seriesList) {
      if (menu) return OnSeriesMenu(msg);
      auto* row = m_seriesList ? dynamic_cast<CListTextElementUI*>(m_seriesList->GetItemAt(int(msg.wParam))) : nullptr;
      if (!row || !m_host) return;
      const auto* series = reinterpret_cast<const SeriesRecord*>(row->GetTag());
      if (m_host->SendCommand(SOPLUGIN_TESSALY, SOCMD_LOADDIR, const_cast<char*>(series->storePath.c_str())))
        m_host->ActivatePlugin(SOPLUGIN_TESSALY);
    } else if (list == m_reportList) {
      menu ? OnReportMenu(msg) : OpenSelectedReport();
    }
  } else if (type == L"setfocus" || type == L"killfocus") {
    if (msg.pSender == m_searchEdit) OnSearchFocus(type == L"setfocus");
  }
}

void SOTabriskWnd::OnToolbar(const CDuiString& name) {
  if (name == L"3DBtn") {
    if (m_seriesList && m_seriesList->GetCount() > 0) ViewSeries3D();
  } else if (name == L"2DBtn" || name == L"2DBarBtn") {
    ViewSelectedStudy();
  } else if (name == L"reportBtn" || name == L"reportBarBtn") {
    OpenStudyReport();
  } else if (name == L"remoteBtn" || name == L"remoteBarBtn") {
    RemoteDiagnosis();
  } else if (name == L"filmBarBtn") {
    FilmStudy();
  } else if (name == L"sendBarBtn") {
    SendStudy(false);
  } else if (name == L"supportBtn") {
    ShowSupport();
  }
}

LRESULT SOTabriskWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled) {
  switch (uMsg) {
    case WM_SO_CLOUD_RECEIVE: StartCloudReceive(wParam != 0); break;
    case WM_SO_CLOUD_RECEIVE_DONE: FinishCloudReceive(wParam != 0); break;
    case WM_SO_DOWNLOAD_PROGRESS: OnDownloadProgressUI(reinterpret_cast<TransferProgress*>(wParam)); break;
    case WM_SO_SEND_START:
      SetStatus("Preparing to send...");
      m_sendBox = OpenProgressBox(m_sendBox, "Send files", "Preparing to send...");
      break;
    case WM_SO_SEND_PROGRESS: OnSendProgressUI(reinterpret_cast<TransferProgress*>(wParam)); break;
    case WM_SO_SEND_DONE: OnSendDoneUI(wParam != 0); break;
    case ProgressBoxClosedMessage: {
      auto* box = reinterpret_cast<CProgressBoxUI*>(wParam);
      if (box && box == m_downloadBox) m_downloadBox = nullptr;
      if (box && box == m_sendBox) m_sendBox = nullptr;
      return 0;
    }
    case ProgressBoxCancelMessage: {
      auto* box = reinterpret_cast<CProgressBoxUI*>(wParam);
      if (box && box == m_downloadBox && m_cloudReceiver) m_cloudReceiver->Cancel();
      if (box && box == m_sendBox) m_sender.Cancel();
      return 0;
    }
    default: return 0;
  }
  bHandled = TRUE;
  return 0;
}

LRESULT SOTabriskWnd::OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (wParam != kCloudReceiveTimer) return WindowImplBase::OnTimer(uMsg, wParam, lParam, bHandled);
  PostMessage(WM_SO_CLOUD_RECEIVE, 0);
  bHandled = TRUE;
  return 0;
}

// ---- Store and receiving service -----------------------------------------------------------

void SOTabriskWnd::OnStudyChanged(std::string studyId) {
  m_invoke.BeginInvoke([this, id = std::move(studyId)] { OnStudyChangedUI(id); });
}

// Every deleting action rebuilds the list itself.
void SOTabriskWnd::OnStudyRemoved(std::string) {}

void SOTabriskWnd::OnStudyChangedUI(const std::string& id) {
  PatientRecord record;
  if (m_store->GetPatientRecord(id.c_str(), record, false)) UpdateStudyRow(record);
}

bool SOTabriskWnd::OnFileReceived(SODcmAssociationParams& params, SODcmFile* file) {
  return m_receiver.OnFileReceived(params, file);
}

void SOTabriskWnd::OnStoreEnd(SODcmAssociationParams& params) { m_receiver.OnStoreEnd(params); }

bool SOTabriskWnd::OnCommitRequested(const std::vector<SODcmReferencedSOP>& refs, SODcmCommitResult& result) {
  return m_receiver.OnCommitRequested(refs, result);
}

bool SOTabriskWnd::OnFindRequested(SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) {
  return m_receiver.OnFindRequested(keys, matches);
}

bool SOTabriskWnd::OnGetRequested(SODcmDataset* keys, std::vector<std::string>& files) {
  return m_receiver.OnGetRequested(keys, files);
}

void SOTabriskWnd::OnStateChanged(bool running) {
  m_invoke.BeginInvoke([this, running] { ShowServiceState(running); });
}

void SOTabriskWnd::ShowServiceState(bool running) {
  if (!m_serviceError) return;
  if (!running) {
    const int port = SOSCPManager::Instance().Port();
    std::wstring text = SOUtil::UTF82WStr(
        SOUtil::Format(ui_gettext("The receiving service could not listen on port %d."), port).c_str());
    text += L" ";
    text += Translated(port < 1024 ? "Ports below 1024 need administrator privileges; choose another port in the settings."
                                   : "Another program may be using it; choose another port in the settings.");
    m_serviceError->SetText(text.c_str());
  }
  m_serviceError->SetVisible(!running);
}

// ---- Study list ----------------------------------------------------------------------------

CListTextElementUI* SOTabriskWnd::StudyRow(int index) const {
  return m_studyList ? dynamic_cast<CListTextElementUI*>(m_studyList->GetItemAt(index)) : nullptr;
}

int SOTabriskWnd::SelectedOrFirst(CListUI* list) {
  if (!list || list->GetCount() == 0) return -1;
  return list->GetCurSel() >= 0 ? list->GetCurSel() : 0;
}

const PatientRecord* SOTabriskWnd::SelectedStudy() const {
  CListTextElementUI* row = StudyRow(m_studyList ? m_studyList->GetCurSel() : -1);
  return row ? reinterpret_cast<const PatientRecord*>(row->GetTag()) : nullptr;
}

void SOTabriskWnd::RefreshStudyList(const char* text) {
  m_searchText = text ? text : "";
  if (!m_studyList) return;
  int index = m_studyList->GetCurSel();
  std::string selectedId;
  if (const PatientRecord* selected = SelectedStudy()) selectedId = selected->id;
  m_studyList->RemoveAll();  // first: the rows point into the records
  m_studyRowById.clear();
  // Freeing the records of a large store (100,000 studies) takes longer than a search: the old
  // ones go to the worker task to be freed there once the new list is shown.
  auto old = std::make_shared<std::pair<std::deque<PatientRecord>, std::unordered_map<std::string, PatientRecord*>>>(
      std::move(m_studies), std::move(m_studyById));
  m_studies.clear();
  m_studyById.clear();
  std::vector<PatientRecord> records;
  m_store->GetPatientRecords(records, m_searchText.empty() ? nullptr : m_searchText.c_str(), false);
  m_studies.assign(std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
  for (size_t i = 0; i < m_studies.size(); ++i) {
    PatientRecord& record = m_studies[i];
    m_studyById.emplace(record.id, &record);
    if (!selectedId.empty() && record.id == selectedId) index = static_cast<int>(i);
  }
  index = ClampSelection(index, static_cast<int>(m_studies.size()));
  MakeStudyRows(std::max(kStudyRowBatch, static_cast<size_t>(index + 1)));
  SelectQuietly(m_studyList, index, true);
  RefreshSelection();
  // Queued only now: freed meanwhile, the old records would compete with the new list for the heap.
  if (old->first.size() > kStudyRowBatch) m_jobs.Queue([old = std::move(old)] {});  // the job holds the only copy
}

void SOTabriskWnd::MakeStudyRows(size_t upTo) {
  if (!m_studyList) return;
  upTo = std::min(upTo, m_studies.size());
  for (size_t i = static_cast<size_t>(m_studyList->GetCount()); i < upTo; ++i) {
    const PatientRecord& record = m_studies[i];
    CListTextElementUI* row = NewRow(0);
    row->SetMarked(record.unread);
    m_studyList->Add(row);
    FillStudyRow(row, &record);
    m_studyRowById[record.id] = row;
  }
}

void SOTabriskWnd::OnStudyListScrolled() {
  if (!m_studyList || static_cast<size_t>(m_studyList->GetCount()) >= m_studies.size()) return;
  const SIZE pos = m_studyList->GetScrollPos(), range = m_studyList->GetScrollRange();
  const RECT box = m_studyList->GetPos();
  const bool nearEnd = range.cy - pos.cy <= 2 * (box.bottom - box.top);
  const bool lastRowSelected = m_studyList->GetCurSel() >= m_studyList->GetCount() - 1;
  if (nearEnd || lastRowSelected) MakeStudyRows(static_cast<size_t>(m_studyList->GetCount()) + kStudyRowBatch);
}

void SOTabriskWnd::FillStudyRow(CListTextElementUI* row, const PatientRecord* record) {
  row->SetTag(reinterpret_cast<UINT_PTR>(record));
  const StudyRowTexts texts = MakeStudyRow(*record);
  // Last column first: the row sizes its texts once.
  for (int column = StudyRowTexts::kColumns - 1; column >= 0; --column) {
    if ((column == 0 && !texts.hasRemoteIcon) || (column == 1 && !texts.hasReportIcon)) continue;
    row->SetText(column, texts.columns[column].c_str());
  }
  if (texts.hasRemoteIcon && !m_remoteColumnShown && m_studyList && m_studyList->GetHeader()) {
    if (CControlUI* first = m_studyList->GetHeader()->GetItemAt(0)) first->SetVisible(true);
    m_remoteColumnShown = true;
  }
}

// One changed study: its record and, if it has one yet, its row; a study new to the list goes on
// top with a row of its own.
void SOTabriskWnd::UpdateStudyRow(const PatientRecord& record) {
  if (!m_studyList) return;
  CListTextElementUI* row = nullptr;
  if (auto found = m_studyById.find(record.id); found != m_studyById.end()) {
    *found->second = record;
    if (auto made = m_studyRowById.find(record.id); made != m_studyRowById.end()) {
      row = made->second;
      FillStudyRow(row, found->second);
    }
  } else {
    m_studies.push_front(record);
    PatientRecord* added = &m_studies.front();
    m_studyById.emplace(added->id, added);
    row = NewRow(0);
    row->SetMarked(added->unread);
    m_studyList->AddAt(row, 0);
    FillStudyRow(row, added);
    m_studyRowById[added->id] = row;
  }
  if (row && m_studyList->GetItemIndex(row) == m_studyList->GetCurSel()) RefreshSelection();
}

void SOTabriskWnd::ClearUnread() {
  CListTextElementUI* row = StudyRow(SelectedOrFirst(m_studyList));
  if (!row) return;
  auto* record = reinterpret_cast<PatientRecord*>(row->GetTag());
  if (record && record->unread && m_store->SetPatientFlag(record->id.c_str(), "unread", false)) {
    record->unread = false;
    row->SetMarked(false);
  }
}

void SOTabriskWnd::RefreshSelection() {
  RefreshSeriesList();
  RefreshReportList();
  PreviewSeries();
  ShowReportText();
}

void SOTabriskWnd::RefreshSeriesList() {
  if (!m_seriesList) return;
  const int index = m_seriesList->GetCurSel();
  m_seriesList->RemoveAll();
  m_series.clear();
  if (CListTextElementUI* study = StudyRow(SelectedOrFirst(m_studyList))) {
    const auto* record = reinterpret_cast<const PatientRecord*>(study->GetTag());
    m_store->GetSeriesRecords(record->id.c_str(), m_series, false);
  }
  for (const SeriesRecord& series : m_series) {
    if (series.modality == "SR") continue;
    CListTextElementUI* row = NewRow(reinterpret_cast<UINT_PTR>(&series));
    m_seriesList->Add(row);
    row->SetText(0, Wide(series.seriesNumber).c_str());
    row->SetText(1, std::to_wstring(SOUtil::GetFileCount(series.storePath.c_str())).c_str());
    row->SetText(2, SOUtil::C2WStr(series.modality.c_str()).c_str());
    row->SetText(3, SOUtil::C2WStr(DecimalText(series.sliceThickness).c_str()).c_str());
    row->SetText(4, Wide(series.seriesDescription).c_str());
  }
  SelectQuietly(m_seriesList, ClampSelection(index, m_seriesList->GetCount()));
  if (m_imageSeriesOpt) m_imageSeriesOpt->SetText(std::to_wstring(m_seriesList->GetCount()).c_str());
}

void SOTabriskWnd::RefreshReportList() {
  if (!m_reportList) return;
  const int index = m_reportList->GetCurSel();
  m_reportList->RemoveAll();
  m_reports.clear();
  if (CListTextElementUI* study = StudyRow(SelectedOrFirst(m_studyList)))
    ListReportSummaries(m_store, reinterpret_cast<const PatientRecord*>(study->GetTag())->id, m_reports);
  for (const ReportSummary& report : m_reports) {
    CListTextElementUI* row = NewRow(reinterpret_cast<UINT_PTR>(&report));
    m_reportList->Add(row);
    row->SetText(0, report.seriesNumber.c_str());
    row->SetText(1, Translated(ReportStatus(report)).c_str());
    row->SetText(2, report.contentDate.c_str());
    row->SetText(3, report.author.c_str());
    row->SetText(4, report.verifier.c_str());
    row->SetText(5, report.institution.c_str());
  }
  SelectQuietly(m_reportList, ClampSelection(index, m_reportList->GetCount()));
  if (m_reportSeriesOpt) m_reportSeriesOpt->SetText(std::to_wstring(m_reportList->GetCount()).c_str());
}

const SeriesRecord* SOTabriskWnd::SelectedSeries() const {
  auto* row = m_seriesList ? dynamic_cast<CListTextElementUI*>(m_seriesList->GetItemAt(SelectedOrFirst(m_seriesList)))
                           : nullptr;
  return row ? reinterpret_cast<const SeriesRecord*>(row->GetTag()) : nullptr;
}

const ReportSummary* SOTabriskWnd::SelectedReport() const {
  auto* row = m_reportList ? dynamic_cast<CListTextElementUI*>(m_reportList->GetItemAt(SelectedOrFirst(m_reportList)))
                           : nullptr;
  return row ? reinterpret_cast<const ReportSummary*>(row->GetTag()) : nullptr;
}

void SOTabriskWnd::PreviewSeries() {
  if (!m_preview) return;
  m_preview->CloseAll();
  if (ISOSeriesWnd* active = m_preview->GetActiveSeriesWnd()) active->SetActive(false);
  if (const SeriesRecord* series = SelectedSeries()) m_preview->LoadFolder(series->storePath.c_str(), -1);
}

void SOTabriskWnd::ShowReportText() {
  if (!m_reportText) return;
  m_reportText->SetText(L"");
  if (const ReportSummary* report = SelectedReport())
    m_reportText->SetText((report->finding + L"\n" + report->conclusion).c_str());
}

// ---- Search --------------------------------------------------------------------------------

void SOTabriskWnd::OnSearch() {
  if (!m_searchEdit) return;
  const std::string text = SOUtil::W2UTF8Str(m_searchEdit->GetText());
  if (text != m_searchText) RefreshStudyList(text.empty() ? nullptr : text.c_str());
}

void SOTabriskWnd::OnClearSearch() {
  if (!m_searchText.empty()) RefreshStudyList(nullptr);
  if (m_searchEdit) m_searchEdit->SetText(L"");
  if (m_clearSearchBtn) m_clearSearchBtn->SetVisible(false);
}

void SOTabriskWnd::OnSearchFocus(bool focused) {
  m_searchEdit->SetAttribute(L"textcolor", L"FFF1F1F1");
  m_searchEdit->SetAttribute(L"font", L"14");
  if (!m_clearSearchBtn) return;
  m_clearSearchBtn->SetVisible(focused || !m_searchEdit->GetText().IsEmpty());
}

// ---- Hand-offs -----------------------------------------------------------------------------

void SOTabriskWnd::CollectStudyFiles(const std::string& id, std::vector<std::string>& paths) {
  std::vector<SeriesRecord> series;
  m_store->GetSeriesRecords(id.c_str(), series, true);
  for (const SeriesRecord& s : series)
    for (const InstanceRecord& instance : s.instances) paths.push_back(instance.storePath);
}

void SOTabriskWnd::CollectSeriesFiles(const std::string& seriesId, std::vector<std::string>& paths) {
  SeriesRecord series;
  if (!m_store->GetSeriesRecord(seriesId.c_str(), series)) return;
  for (const InstanceRecord& instance : series.instances) paths.push_back(instance.storePath);
}

void SOTabriskWnd::ViewSelectedStudy() {
  if (const PatientRecord* record = SelectedStudy()) ViewStudy(*record);
}

void SOTabriskWnd::ViewStudy(const PatientRecord& record) {
  std::vector<std::string> paths;
  CollectStudyFiles(record.id, paths);
  if (paths.empty() || !m_host) return;
  m_host->ActivatePlugin(SOPLUGIN_TESSALY);
  m_host->Broadcast(SOMSG_VIEW_FILES, &paths, nullptr);
}

void SOTabriskWnd::ViewSelectedSeries() {
  const SeriesRecord* series = m_seriesList && m_seriesList->GetCurSel() >= 0 ? SelectedSeries() : nullptr;
  if (!series || !m_host) return;
  if (m_host->SendCommand(SOPLUGIN_TESSALY, SOCMD_LOADDIR, const_cast<char*>(series->storePath.c_str())))
    m_host->ActivatePlugin(SOPLUGIN_TESSALY);
}

void SOTabriskWnd::ViewSeries3D() {
  const SeriesRecord* series = SelectedSeries();
  if (!series || !m_host) return;
  if (m_host->SendCommand(SOPLUGIN_CORVIDE, SOCMD_LOADDIR, const_cast<char*>(series->storePath.c_str())))
    m_host->ActivatePlugin(SOPLUGIN_CORVIDE);
}

void SOTabriskWnd::ShareSelectedStudy() {
  const PatientRecord* selected = SelectedStudy();
  PatientRecord record;
  if (selected && m_host && m_store->GetPatientRecord(selected->id.c_str(), record, true))
    m_host->Broadcast(SOMSG_SHARE_STUDY, &record, nullptr);
}

void SOTabriskWnd::RemoteDiagnosis() {
  const PatientRecord* selected = SelectedStudy();
  PatientRecord record;
  if (selected && m_host && m_store->GetPatientRecord(selected->id.c_str(), record, true))
    m_host->Broadcast(SOMSG_REMOTE_DIAGNOSIS, &record, m_hWnd);
}

void SOTabriskWnd::OpenStudyReport() {
  const PatientRecord* selected = SelectedStudy();
  if (!selected) return;
  std::vector<ReportSummary> reports;
  ListReportSummaries(m_store, selected->id, reports);
  if (reports.empty()) {
    NewReportForStudy(m_host, m_store, selected->id);
  } else if (reports.size() == 1) {
    OpenReportRecord(m_host, reports.front());
  } else {
    ShowReportDialog(*selected, m_hWnd);
  }
}

void SOTabriskWnd::OpenSelectedReport() {
  if (const ReportSummary* report = SelectedReport()) OpenReportRecord(m_host, *report);
}

void SOTabriskWnd::ShowReportDialog(const PatientRecord& record, HWND owner) {
  CReportDialog dialog(record, m_store, m_host);
  dialog.Create(owner, L"CReportDialog", 0x80C80000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  dialog.ShowModal();
}

void SOTabriskWnd::FilmStudy() {
  const PatientRecord* selected = SelectedStudy();
  if (!selected) return;
  PatientRecord record;
  m_store->GetPatientRecord(selected->id.c_str(), record, true);
  ShowFilmDialog(record, m_hWnd);
}

void SOTabriskWnd::FilmSeries() {
  const PatientRecord* selected = SelectedStudy();
  const SeriesRecord* series = m_seriesList && m_seriesList->GetCurSel() >= 0 ? SelectedSeries() : nullptr;
  if (!selected || !series) return;
  PatientRecord copy = *selected;
  copy.series.clear();
  SeriesRecord full;
  if (m_store->GetSeriesRecord(series->id.c_str(), full)) copy.series.push_back(std::move(full));
  ShowFilmDialog(copy, m_hWnd);
}

void SOTabriskWnd::ShowFilmDialog(const PatientRecord& record, HWND owner) {
  CFilmDlg dialog(record);
  dialog.Create(owner, L"CFilmDlg", 0x00CF0000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  dialog.ShowModal();
  std::vector<std::string> paths = dialog.GetResult();
  if (paths.empty() || !m_host) return;
  m_host->ActivatePlugin(SOPLUGIN_BRENVIK);
  m_host->Broadcast(SOMSG_FILM_FILES, &paths, nullptr);
}

// ---- Menus ---------------------------------------------------------------------------------

UINT SOTabriskWnd::TrackMenu(const TNotifyUI& msg, const std::vector<const char*>& entries) {
  HMENU menu = CreatePopupMenu();
  for (size_t i = 0; i < entries.size(); ++i)
    AppendMenuW(menu, MF_STRING, i + 1, Translated(entries[i]).c_str());
  POINT point = msg.ptMouse;
  ClientToScreen(m_hWnd, &point);
  const UINT command = TrackPopupMenu(menu, TPM_RETURNCMD, point.x, point.y, 0, m_PaintManager.GetPaintWindow(), nullptr);
  DestroyMenu(menu);
  return command;
}

void SOTabriskWnd::OnStudyMenu(const TNotifyUI& msg) {
  const UINT command = TrackMenu(msg, {"Browser", "Film", "Open Report", "New Report", "Send", "Cloud Send", "云诊断",
                                       "Delete", "Open Containing Folder"});
  const PatientRecord* selected = SelectedStudy();
  if (!selected) return;
  switch (command) {
    case 1: ViewSelectedStudy(); break;
    case 2: FilmStudy(); break;
    case 3: OpenStudyReport(); break;
    case 4: NewReportForStudy(m_host, m_store, selected->id); break;
    case 5: SendStudy(false); break;
    case 6: SendStudy(true); break;
    case 7: RemoteDiagnosis(); break;
    case 8: DeleteSelectedStudy(); break;
    case 9: OpenFolder(selected->storePath); break;
    default: break;
  }
}

void SOTabriskWnd::OnSeriesMenu(const TNotifyUI& msg) {
  const UINT command =
      TrackMenu(msg, {"Browser", "3D", "Film", "Send", "Cloud Send", "Delete", "Open Containing Folder"});
  const SeriesRecord* series = m_seriesList && m_seriesList->GetCurSel() >= 0 ? SelectedSeries() : nullptr;
  if (!series) return;
  std::vector<std::string> paths;
  switch (command) {
    case 1: ViewSelectedSeries(); break;
    case 2: ViewSeries3D(); break;
    case 3: FilmSeries(); break;
    case 4:
    case 5:
      CollectSeriesFiles(series->id, paths);
      SendFiles(paths, command == 5);
      break;
    case 6: DeleteSelectedSeries(); break;
    case 7: OpenFolder(series->storePath); break;
    default: break;
  }
}

void SOTabriskWnd::OnReportMenu(const TNotifyUI& msg) {
  const UINT command = TrackMenu(msg, {"Open Report", "Send", "Cloud Send", "Delete", "Open Containing Folder"});
  const ReportSummary* report = m_reportList && m_reportList->GetCurSel() >= 0 ? SelectedReport() : nullptr;
  if (!report) return;
  switch (command) {
    case 1: OpenSelectedReport(); break;
    case 2:
    case 3: SendFiles({report->path}, command == 3); break;
    case 4: DeleteSelectedReport(); break;
    case 5: OpenFolder(report->seriesFolder); break;
    default: break;
  }
}

void SOTabriskWnd::OpenFolder(const std::string& folder) {
  ShellExecuteA(nullptr, "open", "explorer.exe", folder.c_str(), nullptr, SW_SHOWNORMAL);
}

bool SOTabriskWnd::ConfirmDelete() {
  return MessageBoxUI(m_hWnd, Translated("Are you sure you want to delete this item?").c_str(), nullptr, 1) == IDOK;
}

void SOTabriskWnd::DeleteSelectedStudy() {
  const PatientRecord* selected = SelectedStudy();
  if (!selected) return;
  const std::string id = selected->id;
  if (!ConfirmDelete()) return;
  m_store->DeleteStudy(id.c_str());
  RefreshStudyList(nullptr);
}

void SOTabriskWnd::DeleteSelectedSeries() {
  const SeriesRecord* series = m_seriesList && m_seriesList->GetCurSel() >= 0 ? SelectedSeries() : nullptr;
  if (!series) return;
  const std::string id = series->id;
  if (!ConfirmDelete()) return;
  m_store->DeleteSeries(id.c_str());
  RefreshSelection();
}

void SOTabriskWnd::DeleteSelectedReport() {
  const ReportSummary* report = m_reportList && m_reportList->GetCurSel() >= 0 ? SelectedReport() : nullptr;
  if (!report) return;
  const std::string seriesId = report->seriesId;
  if (!ConfirmDelete()) return;
  m_store->DeleteSeries(seriesId.c_str());
  RefreshSelection();
}

void SOTabriskWnd::ShowSupport() {
  SupportDlg dialog;
  dialog.Create(m_hWnd, L"SupportDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  dialog.ShowModal();
}

void SOTabriskWnd::ShowSettings() {
  SOSettingDlg dialog;
  dialog.Create(m_hWnd, L"SOSettingDlg", 0x86C80000, 0, 0, 0, 0, 0);
  dialog.CenterWindow();
  dialog.ShowModal();
}

// ---- Import and send -----------------------------------------------------------------------

void SOTabriskWnd::SetStatus(const char* text) {
  if (m_host) m_host->SetStatusText(text);
}

void SOTabriskWnd::ImportFolder() {
  std::string start;
  Gossamy::ReadHKCU("DBImportPath", start);
  std::string folder;
  if (!BrowseForFolder(m_hWnd, ui_gettext("Select folder"), start, folder)) return;
  Gossamy::WriteHKCU("DBImportPath", folder.c_str());
  std::vector<std::string> files;
  if (SOUtil::DirExist(folder.c_str())) SOUtil::FindFiles(folder.c_str(), files, true);
  if (files.empty()) return;
  m_jobs.Queue([this, files = std::move(files)] {
    RunImport(files, m_store, [this](const std::string& text) { SetStatus(text.c_str()); });
  });
}

void SOTabriskWnd::SendStudy(bool cloud) {
  const PatientRecord* selected = SelectedStudy();
  if (!selected) return;
  std::vector<std::string> paths;
  CollectStudyFiles(selected->id, paths);
  SendFiles(paths, cloud);
}

void SOTabriskWnd::SendFiles(const std::vector<std::string>& paths, bool cloud) {
  if (paths.empty()) {
    MessageBoxW(nullptr, Translated("Can't find the images!").c_str(), L"", MB_OK);
    return;
  }
  SendJob job;
  job.files = paths;
  if (cloud) {
    CloudSendDlg dialog;
    dialog.Create(m_hWnd, L"CloudSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
    CloudStation station;
    if (!dialog.GetResult(station)) return;
    job.name = station.stationID;
    job.calledAE = station.aeTitle;
    job.host = station.host;
    job.port = station.port;
  } else {
    SOSendDlg dialog;
    dialog.Create(m_hWnd, L"SOSendDlg", 0x86C80000, 0, 0, 0, 0, 0);
    dialog.CenterWindow();
    dialog.ShowModal();
    RemoteNode node;
    if (!dialog.GetResult(node)) return;
    job.name = node.name;
    job.calledAE = node.aeTitle;
    job.host = node.ip;
    job.port = node.port;
  }
  QueueSend(std::move(job));
}

void SOTabriskWnd::QueueSend(SendJob job) {
  m_jobs.Queue([this, job = std::move(job)] {
    m_sender.RunSend(job, ArchiveConfig::Instance().AETitle(), [this](const std::string& text) { SetStatus(text.c_str()); });
  });
}

void SOTabriskWnd::OnSendStart() { PostMessage(WM_SO_SEND_START); }

void SOTabriskWnd::OnSendProgress(const TransferProgress& progress) {
  PostMessage(WM_SO_SEND_PROGRESS, reinterpret_cast<WPARAM>(new TransferProgress(progress)));
}

void SOTabriskWnd::OnSendDone(bool ok) { PostMessage(WM_SO_SEND_DONE, ok ? 1 : 0); }

CProgressBoxUI* SOTabriskWnd::OpenProgressBox(CProgressBoxUI* box, const char* title, const char* text) {
  if (box) return box;
  box = new CProgressBoxUI;
  box->EnableTitleBar(true);
  box->Create(m_hWnd, L"ProgressBox", 0x86C80000, 0, 0, 0, 0, 0);
  box->SetTitle(Translated(title).c_str());
  box->CenterWindow();
  box->SetText(Translated(text).c_str());
  box->EnableAutoDelete(true);
  box->SetProgress(0);
  box->ShowWindow(true, false);
  return box;
}

void SOTabriskWnd::OnSendProgressUI(TransferProgress* progress) {
  if (!progress) return;
  std::unique_ptr<TransferProgress> owned(progress);
  if (m_sendBox) {
    m_sendBox->SetProgress(progress->percent);
    m_sendBox->SetText(Wide(progress->text).c_str());
  }
  SetStatus(progress->text.c_str());
}

void SOTabriskWnd::OnSendDoneUI(bool ok) {
  if (m_sendBox) {
    m_sendBox->SetProgress(100);
    m_sendBox->SetText(Translated(SendDoneText(ok)).c_str());
    m_sendBox->SetAutoClose(true);
  }
  // The status line tells the outcome too, so a failure closed with its box is not missed.
  SetStatus(SendDoneText(ok));
}

// ---- Cloud receive -------------------------------------------------------------------------

void SOTabriskWnd::OnCloudStationChanged() {
  m_invoke.BeginInvoke([this] { FollowCloudStation(); });
}

void SOTabriskWnd::FollowCloudStation() {
  // An unusable station is asked for again by the next receive, not here: asking on every answer
  // would ask forever while the service reports one.
  const CloudStation station = CloudManager::Instance().Station();
  if (!IsUsableStation(station)) return;
  if (station.enabled) {
    StartCloudReceiveTimer();
  } else if (m_cloudTimer) {
    KillTimer(m_hWnd, kCloudReceiveTimer);
    m_cloudTimer = 0;
  }
}

void SOTabriskWnd::StartCloudReceiveTimer() {
  const UINT minutes = UINT(ArchiveConfig::Instance().CloudReceiveMinutes());
  m_cloudTimer = SetTimer(m_hWnd, kCloudReceiveTimer, minutes * 60000u, nullptr);
}

void SOTabriskWnd::StartCloudReceive(bool showBox) {
  KillTimer(m_hWnd, kCloudReceiveTimer);
  m_cloudTimer = 0;
  SetStatus("Preparing to download...");
  if (showBox) m_downloadBox = OpenProgressBox(m_downloadBox, "Download files", "Preparing to download...");
  if (m_cloudReceiver) return;
  if (m_cloudThread.joinable()) m_cloudThread.join();
  m_cloudReceiver = std::make_unique<CloudReceiver>(m_store, static_cast<ICloudReceiveEvents*>(this));
  m_cloudThread = std::thread([receiver = m_cloudReceiver.get()] {
    const CloudStation station = CloudManager::Instance().Station();
    if (!IsUsableStation(station)) CloudManager::Instance().Refresh();
    receiver->Run(station);
  });
}

void SOTabriskWnd::OnDownloadProgress(const TransferProgress& progress) {
  PostMessage(WM_SO_DOWNLOAD_PROGRESS, reinterpret_cast<WPARAM>(new TransferProgress(progress)));
}

void SOTabriskWnd::OnCloudReceiveDone(bool ok) { PostMessage(WM_SO_CLOUD_RECEIVE_DONE, ok ? 1 : 0); }

void SOTabriskWnd::OnDownloadProgressUI(TransferProgress* progress) {
  if (!progress) return;
  std::unique_ptr<TransferProgress> owned(progress);
  if (m_downloadBox) {
    m_downloadBox->SetProgress(progress->percent);
    m_downloadBox->SetText(Wide(progress->text).c_str());
  }
  SetStatus(progress->text.c_str());
}

void SOTabriskWnd::FinishCloudReceive(bool ok) {
  if (m_cloudThread.joinable()) m_cloudThread.join();
  m_cloudReceiver.reset();
  if (m_downloadBox) {
    m_downloadBox->SetProgress(100);
    m_downloadBox->SetText(Translated(ok ? "Download finish!" : "Download fail!").c_str());
    m_downloadBox->SetAutoClose(true);
  }
  // A receive without a usable station has already asked for one as it started.
  const CloudStation station = CloudManager::Instance().Station();
  if (IsUsableStation(station) && station.enabled) StartCloudReceiveTimer();
  SetStatus("Cloud receive finish!");
}

}  // namespace tabrisk
