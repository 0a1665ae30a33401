#include "StudySeriesList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "ISODcmObject.h"
#include "SODcmUtil.h"
#include "SOGdi.h"
#include "SOTessalyWnd.h"

using namespace DuiLib;

namespace {

constexpr unsigned long kStudyDate = 0x00080020;
constexpr unsigned long kStudyTime = 0x00080030;
constexpr unsigned long kPatientName = 0x00100010;
constexpr unsigned long kSeriesDescription = 0x0008103E;
constexpr unsigned long kImageType = 0x00080008;
constexpr unsigned long kModality = 0x00080060;
constexpr unsigned long kImagePosition = 0x00200032;
constexpr unsigned long kImageOrientation = 0x00200037;
constexpr unsigned long kRows = 0x00280010;
constexpr unsigned long kColumns = 0x00280011;
constexpr unsigned long kPixelData = 0x7FE00010;
constexpr double kTolerance = 0.005;

CControlUI* Child(CControlUI* control, int index) {
  auto* container = dynamic_cast<CContainerUI*>(control);
  return container ? container->GetItemAt(index) : nullptr;
}

std::wstring Wide(const std::string& utf8) {
  return SOWin::FromUtf8(utf8);
}

}  // namespace

std::string FormatStudyDateTime(const std::string& date, const std::string& time) {
  // Separators go only between digits, so short values never fail and never end in one.
  std::string text = date;
  if (text.size() > 6) text.insert(6, "/");
  if (text.size() > 4) text.insert(4, "/");
  if (!time.empty()) {
    std::string t = time;
    if (t.size() > 4) t.insert(4, ":");
    if (t.size() > 2) t.insert(2, ":");
    if (!text.empty()) text += " ";
    text += t;
  }
  return text;
}

bool IsVolumeSeries(ISODcmSeries* series) {
  if (!series || series->GetObjectCount() <= 3) return false;
  ISODcmObject* first = series->GetObjectAt(0);
  ISODcmObject* last = series->GetObjectAt(series->GetObjectCount() - 1);
  if (!first || !last) return false;
  for (unsigned long tag : {kPixelData, kRows, kColumns, kImageOrientation, kImagePosition})
    if (!first->AttributeExistsWithValue(tag)) return false;
  for (unsigned long i = 0; i < 6; ++i) {
    double a = 0, b = 0;
    if (!first->GetAttributeValue(kImageOrientation, a, i) || !last->GetAttributeValue(kImageOrientation, b, i))
      return false;
    if (!(std::fabs(a - b) < kTolerance)) return false;
  }
  bool samePosition = true;
  for (unsigned long i = 0; i < 3; ++i) {
    double a = 0, b = 0;
    // A last object without a position cannot be shown to lie elsewhere.
    if (!first->GetAttributeValue(kImagePosition, a, i) || !last->GetAttributeValue(kImagePosition, b, i))
      return false;
    if (!(std::fabs(a - b) < kTolerance)) samePosition = false;
  }
  return !samePosition;
}

bool IsImageSeries(ISODcmSeries* series) {
  if (!series || series->GetObjectCount() <= 0) return false;
  ISODcmObject* first = series->GetObjectAt(0);
  if (!first) return false;
  std::string modality;
  first->GetAttributeValue(kModality, modality);
  return modality != "SR";
}

namespace {

// A decoded thumbnail on its way to the UI thread; freed unless it was handed over.
struct OwnedBitmap {
  explicit OwnedBitmap(HBITMAP b) : bitmap(b) {}
  ~OwnedBitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
  HBITMAP Release() { return std::exchange(bitmap, nullptr); }
  HBITMAP bitmap;
};

}  // namespace

CStudySeriesListUI::CStudySeriesListUI() {
  m_thumbnails->list = this;
}

CStudySeriesListUI::~CStudySeriesListUI() {
  // Deliveries already queued on the UI thread find no list and free their bitmaps.
  m_thumbnails->list = nullptr;
  {
    std::lock_guard lock(m_thumbnails->mutex);
    m_thumbnails->stop = true;
    m_thumbnails->jobs.clear();
  }
  m_thumbnails->wake.notify_all();
  if (m_thumbnailThread.joinable()) m_thumbnailThread.join();
  // The controls go with the container; only the records are ours.
  for (StudyListItem* study : m_studies) {
    for (SeriesListItem* item : study->series) delete item;
    delete study;
  }
}

CContainerUI* CStudySeriesListUI::MakeRow(const wchar_t* skin, UINT_PTR tag) {
  CDialogBuilder builder;
  auto* row = dynamic_cast<CContainerUI*>(builder.Create(skin, (unsigned int)0, nullptr, m_pManager));
  CControlUI* option = Child(row, 0);
  if (!option) {
    std::fprintf(stderr, "list row skin %ls cannot be used: %ls\n", skin, builder.GetLastErrorMessage());
    delete row;
    return nullptr;
  }
  option->SetTag(tag);
  option->OnNotify += MakeDelegate(this, &CStudySeriesListUI::OnRowNotify);
  return row;
}

SeriesListItem* CStudySeriesListUI::MakeSeriesRow(StudyListItem* study, ISODcmSeries* series) {
  auto* item = new SeriesListItem;
  item->series = series;
  item->seriesUID = series->GetSeriesInstanceUID() ? series->GetSeriesInstanceUID() : "";
  item->objectCount = series->GetObjectCount();
  item->control = MakeRow(L"2d/2d_series_list_item.xml", reinterpret_cast<UINT_PTR>(item));
  if (!item->control) {
    delete item;
    return nullptr;
  }
  item->control->SetVisible(!study->collapsed);
  return item;
}

void CStudySeriesListUI::AddSeries(ISODcmSeries* series) {
  if (!series) return;
  ISODcmStudy* study = series->GetStudy();
  const std::string studyUID = study && study->GetStudyInstanceUID() ? study->GetStudyInstanceUID() : "";
  const std::string seriesUID = series->GetSeriesInstanceUID() ? series->GetSeriesInstanceUID() : "";
  for (StudyListItem* row : m_studies) {
    if (row->studyUID != studyUID) continue;
    for (SeriesListItem* item : row->series) {
      if (item->seriesUID == seriesUID) {
        item->objectCount = series->GetObjectCount();
        FillSeriesTexts(item);
        return;
      }
    }
    SeriesListItem* item = MakeSeriesRow(row, series);
    if (!item) return;
    CControlUI* after = row->series.empty() ? row->control : row->series.back()->control;
    AddAt(item->control, GetItemIndex(after) + 1);
    row->series.push_back(item);
    FillSeriesTexts(item);
    return;
  }
  auto* row = new StudyListItem;
  row->study = study;
  row->studyUID = studyUID;
  row->seriesCount = study ? study->GetSeriesCount() : 0;
  row->control = MakeRow(L"2d/2d_study_list_item.xml", reinterpret_cast<UINT_PTR>(row));
  if (!row->control) {
    delete row;
    return;
  }
  Add(row->control);
  m_studies.push_back(row);
  FillStudyTexts(row);
  SeriesListItem* item = MakeSeriesRow(row, series);
  if (!item) return;
  Add(item->control);
  row->series.push_back(item);
  FillSeriesTexts(item);
}

void CStudySeriesListUI::FillStudyTexts(StudyListItem* row) {
  ISODcmSeries* first = row->study && row->study->GetSeriesCount() > 0 ? row->study->GetSeriesAt(0) : nullptr;
  ISODcmObject* object = first && first->GetObjectCount() > 0 ? first->GetObjectAt(0) : nullptr;
  if (!object) return;
  std::string date, time;
  object->GetAttributeValue(kStudyDate, date);
  object->GetAttributeValue(kStudyTime, time);
  CControlUI* texts = Child(row->control, 2);
  if (CControlUI* label = Child(texts, 0)) label->SetText(Wide(FormatStudyDateTime(date, time)).c_str());
  std::wstring name;
  if (object->GetAttributeValue(kPatientName, name))
    if (CControlUI* label = Child(texts, 1)) label->SetText(name.c_str());
}

void CStudySeriesListUI::FillSeriesTexts(SeriesListItem* item) {
  ISODcmSeries* series = item->series;
  const int count = series ? series->GetObjectCount() : 0;
  if (count <= 0) return;
  if (m_pManager) {
    // A thumbnail registered once stays until the list is cleared: no decode on later refills.
    const std::wstring image = Wide(item->seriesUID);
    if (m_pManager->GetImage(image.c_str())) {
      CControlUI* thumbnail = Child(item->control, 1);
      const wchar_t* shown = thumbnail ? thumbnail->GetBkImage() : nullptr;
      if (thumbnail && (!shown || image != shown)) thumbnail->SetBkImage(image.c_str());
    } else {
      RequestThumbnail(item);
    }
  }
  ISODcmObject* first = series->GetObjectAt(0);
  std::wstring description;
  if (first && (first->GetAttributeValue(kSeriesDescription, description) ||
                first->GetAttributeValue(kImageType, description, 2)))
    if (CControlUI* label = Child(Child(item->control, 2), 0)) label->SetText(description.c_str());
  if (CControlUI* label = Child(Child(item->control, 3), 1)) label->SetText(std::to_wstring(count).c_str());
}

void CStudySeriesListUI::RequestThumbnail(SeriesListItem* item) {
  if (std::find(m_requested.begin(), m_requested.end(), item->seriesUID) != m_requested.end()) return;
  ISODcmSeries* series = item->series;
  ISODcmObject* middle = series && series->GetObjectCount() > 0 ? series->GetObjectAt(series->GetObjectCount() / 2)
                                                                 : nullptr;
  if (!middle || !middle->GetFilePath() || !*middle->GetFilePath()) return;
  m_requested.push_back(item->seriesUID);
  ++m_pendingThumbnails;
  {
    std::lock_guard lock(m_thumbnails->mutex);
    m_thumbnails->jobs.emplace_back(item->seriesUID, middle->GetFilePath());
  }
  m_thumbnails->wake.notify_one();
  if (m_thumbnailThread.joinable()) return;
  m_thumbnailThread = std::thread([queue = m_thumbnails] {
    for (;;) {
      std::pair<std::string, std::string> job;
      unsigned generation = 0;
      {
        std::unique_lock lock(queue->mutex);
        queue->wake.wait(lock, [&] { return queue->stop || !queue->jobs.empty(); });
        if (queue->stop) return;
        job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        generation = queue->generation;
      }
      auto bitmap = std::make_shared<OwnedBitmap>(
          reinterpret_cast<HBITMAP>(SODcmUtil::CreateBitmap(job.second.c_str(), 64, 64)));
      SOWin::InvokeOnUiThread(
          [queue, generation, uid = std::move(job.first), bitmap] {
            if (queue->list) queue->list->OnThumbnail(generation, uid, bitmap->Release());
          },
          false);
    }
  });
}

void CStudySeriesListUI::OnThumbnail(unsigned generation, const std::string& seriesUID, HBITMAP bitmap) {
  {
    std::lock_guard lock(m_thumbnails->mutex);
    if (generation != m_thumbnails->generation) {
      // Made for rows that were cleared since.
      if (bitmap) DeleteObject(bitmap);
      return;
    }
  }
  --m_pendingThumbnails;
  if (!bitmap) return;  // not decodable: the row keeps no thumbnail
  const std::wstring image = Wide(seriesUID);
  if (!m_pManager || !m_pManager->AddImage(image.c_str(), bitmap, 64, 64, false)) {
    DeleteObject(bitmap);
    return;
  }
  for (StudyListItem* study : m_studies)
    for (SeriesListItem* item : study->series)
      if (item->seriesUID == seriesUID)
        if (CControlUI* thumbnail = Child(item->control, 1)) thumbnail->SetBkImage(image.c_str());
}

void CStudySeriesListUI::RemoveAll() {
  {
    std::lock_guard lock(m_thumbnails->mutex);
    ++m_thumbnails->generation;
    m_thumbnails->jobs.clear();
  }
  m_requested.clear();
  m_pendingThumbnails = 0;
  CVerticalLayoutUI::RemoveAll();
  for (StudyListItem* study : m_studies) {
    for (SeriesListItem* item : study->series) {
      if (m_pManager) m_pManager->RemoveImage(Wide(item->seriesUID).c_str());
      delete item;
    }
    delete study;
  }
  m_studies.clear();
}

ISODcmSeries* CStudySeriesListUI::GetSelectedSeries() {
  for (StudyListItem* study : m_studies) {
    for (SeriesListItem* item : study->series) {
      auto* option = dynamic_cast<COptionUI*>(Child(item->control, 0));
      if (option && option->IsSelected()) {
        if (item->series) return item->series;
        break;
      }
    }
  }
  return nullptr;
}

void CStudySeriesListUI::SelectSeries(ISODcmSeries* series) {
  if (!series || !series->GetSeriesInstanceUID()) return;
  const std::string uid = series->GetSeriesInstanceUID();
  for (StudyListItem* study : m_studies) {
    for (SeriesListItem* item : study->series) {
      if (item->seriesUID != uid) continue;
      if (auto* option = dynamic_cast<COptionUI*>(Child(item->control, 0))) option->Selected(true, false);
      break;
    }
  }
}

void CStudySeriesListUI::SetCollapsed(StudyListItem* study, bool collapsed) {
  if (!study || study->collapsed == collapsed) return;
  for (SeriesListItem* item : study->series) item->control->SetVisible(!collapsed);
  study->collapsed = collapsed;
  if (CControlUI* sign = Child(study->control, 1)) sign->SetText(collapsed ? L"+" : L"-");
}

bool CStudySeriesListUI::OnRowNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (!msg || !msg->pSender) return true;
  CControlUI* option = msg->pSender;
  // Study rows and series rows tell themselves apart by the list that holds their record.
  for (StudyListItem* study : m_studies) {
    if (option->GetTag() == reinterpret_cast<UINT_PTR>(study)) {
      if (msg->sType == L"selectchanged")
        if (auto* o = dynamic_cast<COptionUI*>(option)) SetCollapsed(study, o->IsSelected());
      return true;
    }
    for (SeriesListItem* item : study->series) {
      if (option->GetTag() != reinterpret_cast<UINT_PTR>(item)) continue;
      if (msg->sType == L"click") {
        OnSelect(const_cast<char*>(item->seriesUID.c_str()));
      } else if (msg->sType == L"menu" && IsVolumeSeries(item->series) && m_pManager) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"3D");
        POINT pt = msg->ptMouse;
        ClientToScreen(m_pManager->GetPaintWindow(), &pt);
        const UINT chosen =
            TrackPopupMenu(menu, TPM_RETURNCMD, pt.x, pt.y, 0, m_pManager->GetPaintWindow(), nullptr);
        DestroyMenu(menu);
        if (chosen == 1) SOTessalyWnd::OpenSeriesIn3D(item->series);
      }
      return true;
    }
  }
  return true;
}
