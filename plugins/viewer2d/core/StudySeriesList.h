#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ISODcmDataCenter.h"
#include "UIlib.h"

struct SeriesListItem {
  int objectCount = 0;
  std::string seriesUID;
  ISODcmSeries* series = nullptr;  // borrowed from the data centre
  DuiLib::CContainerUI* control = nullptr;
};

struct StudyListItem {
  bool collapsed = false;
  int seriesCount = 0;
  std::string studyUID;
  DuiLib::CContainerUI* control = nullptr;
  ISODcmStudy* study = nullptr;  // borrowed from the data centre
  std::vector<SeriesListItem*> series;
};

// The studies and series the 2D control holds, one row per study and under it one row per
// series with a thumbnail, a description and its image count. The list owns its rows; the
// studies and series are the data centre's and stay valid until the control is cleared, which
// clears the list first. Thumbnails are decoded on the list's own thread and registered on the
// UI thread when they arrive; one that arrives after the list was cleared or destroyed is
// dropped.
class CStudySeriesListUI : public DuiLib::CVerticalLayoutUI {
 public:
  CStudySeriesListUI();
  ~CStudySeriesListUI() override;

  // Adds a row for a new series (under its study's row, made when new) or refreshes the row
  // of a known one. Null does nothing.
  void AddSeries(ISODcmSeries* series);
  void RemoveAll() override;
  // The series of the first selected series row in list order; null when none.
  ISODcmSeries* GetSelectedSeries();
  // Selects the row of the series without a notification.
  void SelectSeries(ISODcmSeries* series);
  void SetCollapsed(StudyListItem* study, bool collapsed);

  const std::vector<StudyListItem*>& GetStudies() const { return m_studies; }
  // Thumbnails asked for and not yet registered (nor dropped).
  int PendingThumbnails() const { return m_pendingThumbnails; }

  // Fired with the Series Instance UID (const char*) of a clicked series row.
  DuiLib::CEventSource OnSelect;

 private:
  DuiLib::CContainerUI* MakeRow(const wchar_t* skin, UINT_PTR tag);
  SeriesListItem* MakeSeriesRow(StudyListItem* study, ISODcmSeries* series);
  void FillStudyTexts(StudyListItem* study);
  void FillSeriesTexts(SeriesListItem* item);
  bool OnRowNotify(void* param);
  void RequestThumbnail(SeriesListItem* item);
  void OnThumbnail(unsigned generation, const std::string& seriesUID, HBITMAP bitmap);

  // Shared with the decoding thread and with deliveries queued on the UI thread.
  struct ThumbnailQueue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<std::string, std::string>> jobs;  // series UID, file path
    bool stop = false;
    unsigned generation = 0;                     // guarded by mutex; bumped when the list is cleared
    CStudySeriesListUI* list = nullptr;          // UI thread only; null once the list is gone
  };
  std::shared_ptr<ThumbnailQueue> m_thumbnails = std::make_shared<ThumbnailQueue>();
  std::thread m_thumbnailThread;
  int m_pendingThumbnails = 0;
  std::vector<std::string> m_requested;  // series whose thumbnail is on its way

  std::vector<StudyListItem*> m_studies;
  DuiLib::CDialogBuilder m_studyBuilder;
  DuiLib::CDialogBuilder m_seriesBuilder;
};

// "YYYYMMDD" + "HHMMSS[.f]" -> "YYYY/MM/DD HH:MM:SS[.f]"; a value shorter than its separator
// positions is shown as it stands.
std::string FormatStudyDateTime(const std::string& date, const std::string& time);
// Whether the 3D viewer can take the series: more than three objects, the first with pixels,
// size, orientation and position; first and last parallel and at different positions.
bool IsVolumeSeries(ISODcmSeries* series);
// Whether the series holds images (its first object is not a structured report).
bool IsImageSeries(ISODcmSeries* series);
