#pragma once

#include "ArchiveConfig.h"
#include "CloudManager.h"
#include "IKelvastListener.h"
#include "PatientRecord.h"
#include "ISOPlugin.h"
#include "ReportSummary.h"
#include "SOJobQueue.h"
#include "SOSCPManager.h"
#include "StudyJobs.h"
#include "UIlib.h"

#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class IKelvast;
class ISOLumexa;
class CProgressBoxUI;

namespace tabrisk {

// Window messages of the study database window (the worker threads post them).
constexpr UINT WM_SO_CLOUD_RECEIVE = WM_USER + 1;       // wParam: nonzero shows a progress box
constexpr UINT WM_SO_CLOUD_RECEIVE_DONE = WM_USER + 2;  // wParam: nonzero for success
constexpr UINT WM_SO_DOWNLOAD_PROGRESS = WM_USER + 3;   // wParam: TransferProgress*, freed here
constexpr UINT WM_SO_SEND_START = WM_USER + 4;
constexpr UINT WM_SO_SEND_PROGRESS = WM_USER + 5;  // wParam: TransferProgress*, freed here
constexpr UINT WM_SO_SEND_DONE = WM_USER + 6;      // wParam: nonzero for success
constexpr UINT_PTR kCloudReceiveTimer = 3401;

// The study database plug-in and its one window: the studies of the local store, their series
// and reports, the search, the receiving service, sends, cloud receives and the hand-offs to
// the other plug-ins. Everything touching controls runs on the UI thread; the store, the
// receiving service and the worker threads reach it through the invoker or posted messages.
class SOTabriskWnd : public DuiLib::WindowImplBase,
                     public ISCPManagerCallback,
                     public ISOPlugin,
                     public IKelvastListener,
                     public ICloudManagerCallback,
                     public ISOConfigCallback,
                     private ISendEvents,
                     private ICloudReceiveEvents {
 public:
  // store: the local store (Gossamy's when null).
  explicit SOTabriskWnd(IKelvast* store = nullptr);
  ~SOTabriskWnd() override;

  // ISOPlugin
  const wchar_t* GetName() override { return SOPLUGIN_TABRISK; }
  const wchar_t* GetTitle() override;
  const wchar_t* GetIcon() override { return L"db/DB.png"; }
  void SetExecuter(ISOExecuter* host) override;
  ISOExecuter* GetExecuter() override { return m_host; }
  bool OnCommand(const char*, void*) override { return false; }
  bool OnMessage(int id, void* data, HWND owner) override;
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  // IKelvastListener: any thread; the work is done on the UI thread.
  void OnStoreChanged() override {}
  void OnStoreNotify(int) override {}
  void OnStudyChanged(std::string studyId) override;
  void OnStudyRemoved(std::string studyId) override;

  // ISCPManagerCallback: the receiving service's thread.
  bool OnFileReceived(SODcmAssociationParams& params, SODcmFile* file) override;
  void OnStoreEnd(SODcmAssociationParams& params) override;
  void OnStateChanged(bool running) override;
  bool OnCommitRequested(const std::vector<SODcmReferencedSOP>& refs, SODcmCommitResult& result) override;
  bool OnFindRequested(SODcmDataset* keys, std::vector<SODcmFindMatch>& matches) override;
  bool OnGetRequested(SODcmDataset* keys, std::vector<std::string>& files) override;

  // ICloudManagerCallback: the web call's thread.
  void OnCloudStationChanged() override;

  // Lists (UI thread).
  void RefreshStudyList(const char* text);
  void UpdateStudyRow(const PatientRecord& record);
  void ClearUnread();
  void RefreshSelection();
  void RefreshSeriesList();
  void RefreshReportList();
  void PreviewSeries();
  void ShowReportText();

  // Actions (UI thread); each acts on the selection of its list.
  void ViewSelectedStudy();
  void ViewStudy(const PatientRecord& record);
  void ViewSelectedSeries();
  void ViewSeries3D();
  void CollectStudyFiles(const std::string& id, std::vector<std::string>& paths);
  void CollectSeriesFiles(const std::string& seriesId, std::vector<std::string>& paths);
  void DeleteSelectedStudy();
  void DeleteSelectedSeries();
  void DeleteSelectedReport();
  void OpenStudyReport();
  void OpenSelectedReport();
  void RemoteDiagnosis();
  void ShareSelectedStudy();
  void SendStudy(bool cloud);
  void SendFiles(const std::vector<std::string>& paths, bool cloud);
  void FilmStudy();
  void FilmSeries();
  void ShowFilmDialog(const PatientRecord& record, HWND owner);
  void ImportFolder();
  void ShowSettings();
  void ShowSupport();
  void StartCloudReceive(bool showBox);

  // What the lists hold, for the dialogs and for tests.
  IKelvast* Store() const { return m_store; }
  const std::string& SearchText() const { return m_searchText; }
  const std::vector<SeriesRecord>& Series() const { return m_series; }
  const std::vector<ReportSummary>& Reports() const { return m_reports; }
  ISOLumexa* Preview() const { return m_preview; }
  CProgressBoxUI* SendBox() const { return m_sendBox; }
  CProgressBoxUI* DownloadBox() const { return m_downloadBox; }
  // The selected study row's record, or null.
  const PatientRecord* SelectedStudy() const;
  // Waits until the worker task has run every job queued so far (tests and shutdown).
  void WaitForJobs();

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SOTabriskWnd"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/db_main.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  // ISendEvents, ICloudReceiveEvents: worker threads; posted to the window.
  void OnSendStart() override;
  void OnSendProgress(const TransferProgress& progress) override;
  void OnSendDone(bool ok) override;
  void OnDownloadProgress(const TransferProgress& progress) override;
  void OnCloudReceiveDone(bool ok) override;

  void OnStudyChangedUI(const std::string& id);
  void ShowServiceState(bool running);
  void FillStudyRow(DuiLib::CListTextElementUI* row, const PatientRecord* record);
  // Makes the rows of the studies up to `upTo` (in list order) that have none yet.
  void MakeStudyRows(size_t upTo);
  // More rows once the list is scrolled or moved near the end of the rows made so far.
  void OnStudyListScrolled();
  DuiLib::CListTextElementUI* StudyRow(int index) const;
  // The selected row of a list, else row 0; -1 for an empty list.
  static int SelectedOrFirst(DuiLib::CListUI* list);
  void OnSearch();
  void OnClearSearch();
  void OnSearchFocus(bool focused);
  void OnToolbar(const DuiLib::CDuiString& name);
  void OnStudyMenu(const DuiLib::TNotifyUI& msg);
  void OnSeriesMenu(const DuiLib::TNotifyUI& msg);
  void OnReportMenu(const DuiLib::TNotifyUI& msg);
  // The command chosen from a popup of ui_gettext'ed entries at the notification's point, 0 for none.
  UINT TrackMenu(const DuiLib::TNotifyUI& msg, const std::vector<const char*>& entries);
  bool ConfirmDelete();
  void OpenFolder(const std::string& folder);
  void ShowReportDialog(const PatientRecord& record, HWND owner);
  void HandleStudyReport(const char* path, HWND owner);
  const SeriesRecord* SelectedSeries() const;
  const ReportSummary* SelectedReport() const;
  void QueueSend(SendJob job);
  void SetStatus(const char* text);
  // Shows (or reuses) a titled progress box, with auto delete.
  CProgressBoxUI* OpenProgressBox(CProgressBoxUI* box, const char* title, const char* text);
  void OnSendProgressUI(TransferProgress* progress);
  void OnSendDoneUI(bool ok);
  void OnDownloadProgressUI(TransferProgress* progress);
  void FinishCloudReceive(bool ok);
  void StartCloudReceiveTimer();
  void FollowCloudStation();
  void LayoutPreview();

  IKelvast* m_store;
  ISOExecuter* m_host = nullptr;
  DuiLib::CInvoke m_invoke;
  DuiLib::CListUI* m_studyList = nullptr;
  DuiLib::CListUI* m_seriesList = nullptr;
  DuiLib::CListUI* m_reportList = nullptr;
  DuiLib::COptionUI* m_imageSeriesOpt = nullptr;
  DuiLib::COptionUI* m_reportSeriesOpt = nullptr;
  DuiLib::CEditUI* m_searchEdit = nullptr;
  DuiLib::CControlUI* m_clearSearchBtn = nullptr;
  DuiLib::CControlUI* m_serviceError = nullptr;
  DuiLib::CRichEditUI* m_reportText = nullptr;
  DuiLib::CControlUI* m_previewPanel = nullptr;
  // The studies the list shows, in its order. Rows are made for the first ones and as scrolling
  // reaches further: a user sees a screenful, and a large store would otherwise make a row (and
  // its texts) for every study. The rows' tags point into the deque, whose elements stay put as
  // it grows at either end.
  std::deque<PatientRecord> m_studies;
  std::unordered_map<std::string, PatientRecord*> m_studyById;
  std::unordered_map<std::string, DuiLib::CListTextElementUI*> m_studyRowById;  // rows made so far
  std::vector<SeriesRecord> m_series;       // the series rows point into it
  std::vector<ReportSummary> m_reports;     // the report rows point into it
  ISOLumexa* m_preview = nullptr;
  CProgressBoxUI* m_downloadBox = nullptr;  // null when not shown
  CProgressBoxUI* m_sendBox = nullptr;
  UINT_PTR m_cloudTimer = 0;
  std::string m_searchText;  // UTF-8; empty shows every study
  bool m_remoteColumnShown = false;
  SOReceiveToStore m_receiver;
  // The worker task's client: used by one job at a time, cancelled from the UI thread.
  StudySender m_sender;
  std::unique_ptr<CloudReceiver> m_cloudReceiver;  // exactly while a cloud receive runs
  std::thread m_cloudThread;
  bool m_registered = false;  // listeners to remove when the window goes
  // Declared last: its thread stops before the members its jobs use are destroyed.
  SOJobQueue m_jobs;
};

}  // namespace tabrisk
