#include "SOFilmSession.h"

#include <algorithm>
#include <cstring>

#include "ISODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOImageObject.h"
#include "SOWin32.h"

namespace {

bool SameText(const char* a, const char* b) {
  return std::strcmp(a ? a : "", b ? b : "") == 0;
}

const char* SeriesOf(SOImageObject* image) {
  ISODcmObject* object = image ? image->GetDcmObject() : nullptr;
  return object ? object->GetSeriesInstanceUID() : "";
}

// Click selection over a list of items with Set/IsSelected: the clicked item is selected; no key
// selects it alone, Control adds it, Shift extends the selection from the nearest selected item
// before it (else up to the last selected item after it).
template <typename Item, typename IsSelected, typename SetSelected>
void Select(const std::vector<Item*>& items, Item* clicked, unsigned keys, IsSelected isSelected,
            SetSelected setSelected) {
  auto at = std::find(items.begin(), items.end(), clicked);
  if (!clicked || at == items.end()) return;
  const size_t c = static_cast<size_t>(at - items.begin());
  setSelected(clicked, true);
  if (!(keys & (MK_SHIFT | MK_CONTROL))) {
    for (Item* item : items)
      if (item != clicked) setSelected(item, false);
    return;
  }
  if (!(keys & MK_SHIFT)) return;
  std::ptrdiff_t before = -1, after = -1;
  for (size_t i = 0; i < c; ++i)
    if (isSelected(items[i])) {
      before = static_cast<std::ptrdiff_t>(i);
      break;
    }
  for (size_t i = items.size(); i-- > c + 1;)
    if (isSelected(items[i])) {
      after = static_cast<std::ptrdiff_t>(i);
      break;
    }
  if (before >= 0) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (i >= static_cast<size_t>(before) && i <= c) setSelected(items[i], true);
      if (i > c) setSelected(items[i], false);
    }
  } else if (after >= 0) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (i < c) setSelected(items[i], false);
      if (i >= c && i <= static_cast<size_t>(after)) setSelected(items[i], true);
    }
  }
}

}  // namespace

SOFilmSession::SOFilmSession() {
  Reflow();
}

SOFilmSession::~SOFilmSession() {
  filmBoxes_.clear();
  images_.clear();
}

bool SOFilmSession::SetCopies(int copies) {
  if (copies < 1) return false;
  copies_ = copies;
  return true;
}

int SOFilmSession::GetFilmBoxCount() {
  return static_cast<int>(filmBoxes_.size());
}

ISOFilmBox* SOFilmSession::GetFilmBox(int index) {
  return index >= 0 && index < GetFilmBoxCount() ? filmBoxes_[index].get() : nullptr;
}

ISOFilmBox* SOFilmSession::GetCurrentFilmBox() {
  return GetFilmBox(current_);
}

int SOFilmSession::GetImageBoxCount() {
  int count = 0;
  for (auto& box : filmBoxes_) count += box->GetImageBoxCount();
  return count;
}

ISOImageBox* SOFilmSession::GetImageBox(int index) {
  if (index < 0) return nullptr;
  for (auto& box : filmBoxes_) {
    if (index < box->GetImageBoxCount()) return box->GetImageBox(index);
    index -= box->GetImageBoxCount();
  }
  return nullptr;
}

SOImageObject* SOFilmSession::GetImage(int index) const {
  return index >= 0 && index < static_cast<int>(images_.size()) ? images_[index].get() : nullptr;
}

void SOFilmSession::RegisterCallback(ISOFilmSessionCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOFilmSession::UnRegisterCallback(ISOFilmSessionCallback* callback) {
  std::erase(callbacks_, callback);
}

void SOFilmSession::NotifyChanged() {
  for (ISOFilmSessionCallback* callback : std::vector(callbacks_)) callback->OnSessionChanged(this);
}

SOImageObject* SOFilmSession::AddImage(ISODcmObject* object) {
  if (!object) return nullptr;
  for (auto& image : images_) {
    ISODcmObject* shown = image->GetDcmObject();
    if (shown && SameText(shown->GetSopInstanceUID(), object->GetSopInstanceUID())) {
      image->SetDcmObject(object, 0);
      return image.get();
    }
  }
  auto image = std::make_unique<SOImageObject>();
  image->SetDcmObject(object, 0);
  image->RegisterCallback(this);
  // Images of one series stay together in ascending instance number; series keep the order in
  // which they first arrived.
  const char* series = object->GetSeriesInstanceUID();
  const int number = object->GetInstanceNumber();
  size_t place = images_.size();
  for (size_t i = 0; i < images_.size(); ++i) {
    ISODcmObject* other = images_[i]->GetDcmObject();
    if (!other || !SameText(other->GetSeriesInstanceUID(), series)) continue;
    if (other->GetInstanceNumber() > number) {
      place = i;
      break;
    }
    place = i + 1;
  }
  SOImageObject* added = image.get();
  images_.insert(images_.begin() + static_cast<std::ptrdiff_t>(place), std::move(image));
  Reflow();
  return added;
}

void SOFilmSession::RemoveFilmBoxAt(size_t index) {
  std::unique_ptr<SOFilmBox> box = std::move(filmBoxes_[index]);
  filmBoxes_.erase(filmBoxes_.begin() + static_cast<std::ptrdiff_t>(index));
  for (ISOFilmSessionCallback* callback : std::vector(callbacks_)) callback->OnFilmBoxRemoved(this, box.get());
}

void SOFilmSession::Reflow() {
  size_t remaining = images_.size();
  size_t kept = 0;
  while (kept < filmBoxes_.size() && remaining > static_cast<size_t>(filmBoxes_[kept]->GetImageBoxCount())) {
    remaining -= filmBoxes_[kept]->GetImageBoxCount();
    ++kept;
  }
  if (kept < filmBoxes_.size()) {
    // The box the walk stopped at holds the rest; an empty one stays only as the first film.
    if (remaining != 0 || kept == 0) ++kept;
    while (filmBoxes_.size() > kept) RemoveFilmBoxAt(filmBoxes_.size() - 1);
  } else {
    while (remaining > 0 || filmBoxes_.empty()) {
      auto box = std::make_unique<SOFilmBox>();
      if (film::FilmSizeValid(filmSize_)) box->SetFilmSize(filmSize_);
      if (dpi_ > 0) box->SetDPI(dpi_);
      box->SetOrientation(defaultOrientation_);
      box->SetLayout(defaultRows_, defaultCols_);
      box->SetHeaderVisible(headerVisible_);
      if (headerRatio_ > 0 && headerRatio_ < 1) box->SetHeaderRatio(headerRatio_);
      remaining -= std::min(remaining, static_cast<size_t>(box->GetImageBoxCount()));
      filmBoxes_.push_back(std::move(box));
    }
  }
  size_t next = 0;
  const int count = GetFilmBoxCount();
  for (int k = 0; k < count; ++k) {
    SOFilmBox& box = *filmBoxes_[k];
    const size_t take = std::min(static_cast<size_t>(box.GetImageBoxCount()), images_.size() - next);
    std::vector<SOImageObject*> dealt;
    for (size_t i = 0; i < take; ++i) dealt.push_back(images_[next + i].get());
    next += take;
    box.SetPageNumber(k + 1, count);
    box.SetImages(std::move(dealt));
  }
  if (current_ >= count) current_ = count - 1;
  NotifyChanged();
}

void SOFilmSession::OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) {
  if (!sender || event < SOImageWWUpdated || event > SOImageFlipYUpdated) return;
  const std::string series = SeriesOf(sender);
  const SOImagePresentationState& state = sender->GetImagePresentationState();
  for (auto& owned : images_) {
    SOImageObject* image = owned.get();
    if (series != SeriesOf(image)) continue;
    switch (event) {
      case SOImageWWUpdated:
        if (image != sender) image->SetWW(state.windowCenter, state.windowWidth, false);
        break;
      case SOImageZoomUpdated:
        if (image != sender) image->SetZoom(state.zoom, false);
        break;
      case SOImagePanUpdated:
        if (image != sender) image->SetPan(state.panX, state.panY, false);
        break;
      case SOImageRotateUpdated:
        if (image != sender) image->SetRotate(parameter != 0, false);
        break;
      case SOImageFlipXUpdated:
        if (image != sender) image->SetFlipX(false);
        break;
      case SOImageFlipYUpdated:
        if (image != sender) image->SetFlipY(false);
        break;
    }
  }
}

void SOFilmSession::SelectFilmBox(ISOFilmBox* filmBox, unsigned keys) {
  std::vector<ISOFilmBox*> boxes;
  for (auto& box : filmBoxes_) boxes.push_back(box.get());
  Select(
      boxes, filmBox, keys, [](ISOFilmBox* b) { return b->IsSelected(); },
      [](ISOFilmBox* b, bool on) { b->SetSelected(on); });
}

void SOFilmSession::SelectImage(SOImageObject* image, unsigned keys) {
  std::vector<SOImageObject*> list;
  for (auto& owned : images_) list.push_back(owned.get());
  Select(
      list, image, keys, [](SOImageObject* i) { return i->IsSelected(); },
      [](SOImageObject* i, bool on) { i->SetSelected(on); });
}

void SOFilmSession::ScrollFilms(int delta) {
  const int target = std::max(0, current_ + delta);
  if (target >= GetFilmBoxCount() || target == current_) return;
  current_ = target;
  SelectFilmBox(filmBoxes_[target].get(), 0);
  NotifyChanged();
}

void SOFilmSession::RemoveImages(const std::vector<SOImageObject*>& doomed) {
  std::vector<ISODcmObject*> group;
  std::vector<std::unique_ptr<SOImageObject>> removed;
  for (auto it = images_.begin(); it != images_.end();) {
    if (std::find(doomed.begin(), doomed.end(), it->get()) == doomed.end()) {
      ++it;
      continue;
    }
    group.push_back((*it)->GetDcmObject());
    removed.push_back(std::move(*it));
    it = images_.erase(it);
  }
  if (!group.empty()) undo_.push_back(std::move(group));
  Reflow();
  // Destroyed only after the films let go of them.
  removed.clear();
}

void SOFilmSession::DeleteImage() {
  std::vector<SOImageObject*> doomed;
  for (auto& image : images_)
    if (image->IsSelected()) doomed.push_back(image.get());
  RemoveImages(doomed);
}

void SOFilmSession::DeleteFilm() {
  std::vector<SOImageObject*> doomed;
  for (size_t k = 0; k < filmBoxes_.size();) {
    if (!filmBoxes_[k]->IsSelected()) {
      ++k;
      continue;
    }
    const std::vector<SOImageObject*>& shown = filmBoxes_[k]->GetImages();
    doomed.insert(doomed.end(), shown.begin(), shown.end());
    filmBoxes_[k]->SetImages({});
    RemoveFilmBoxAt(k);
  }
  RemoveImages(doomed);
}

void SOFilmSession::RecoverFilm() {
  if (undo_.empty()) return;
  std::vector<ISODcmObject*> group = std::move(undo_.back());
  undo_.pop_back();
  for (ISODcmObject* object : group) AddImage(object);
}

bool SOFilmSession::SetDefaultImageLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  defaultRows_ = std::min(rows, SOFilmBox::kMaxLayout);
  defaultCols_ = std::min(cols, SOFilmBox::kMaxLayout);
  return true;
}

void SOFilmSession::GetDefaultImageLayout(int* rows, int* cols) {
  if (rows) *rows = defaultRows_;
  if (cols) *cols = defaultCols_;
}

void SOFilmSession::SetImageLayout(int rows, int cols, bool allFilms) {
  if (rows < 1 || cols < 1) return;
  for (auto& box : filmBoxes_)
    if (allFilms || box->IsSelected()) box->SetLayout(rows, cols);
  if (allFilms) SetDefaultImageLayout(rows, cols);
  Reflow();
}

void SOFilmSession::SetHeaderVisible(bool visible) {
  if (visible == headerVisible_) return;
  headerVisible_ = visible;
  for (auto& box : filmBoxes_) box->SetHeaderVisible(visible);
  NotifyChanged();
}

void SOFilmSession::SetHeaderRatio(float ratio) {
  if (!(ratio > 0 && ratio < 1)) return;
  headerRatio_ = ratio;
  for (auto& box : filmBoxes_) box->SetHeaderRatio(ratio);
  NotifyChanged();
}

void SOFilmSession::SetFilmSize(int id) {
  if (!film::FilmSizeValid(id)) return;
  filmSize_ = id;
  for (auto& box : filmBoxes_) box->SetFilmSize(id);
}

bool SOFilmSession::SetDPI(int dpi) {
  if (dpi < 1) return false;
  dpi_ = dpi;
  for (auto& box : filmBoxes_) box->SetDPI(dpi);
  return true;
}

void SOFilmSession::SetOrientation(int orientation, bool allFilms) {
  if (allFilms) {
    for (auto& box : filmBoxes_) box->SetOrientation(orientation);
    SetDefaultOrientation(orientation);
  } else if (ISOFilmBox* box = GetCurrentFilmBox()) {
    box->SetOrientation(orientation);
  }
  Reflow();
}

std::unique_ptr<SOFilmSnapshot> SOFilmSession::TakeSnapshot(bool allFilms) {
  auto snapshot = std::make_unique<SOFilmSnapshot>();
  snapshot->studyUID = studyUID_;
  snapshot->title = title_;
  snapshot->filmSize = filmSize_;
  snapshot->dpi = dpi_;
  snapshot->allFilms = allFilms;
  snapshot->keeper = keeper_;
  if (allFilms) {
    for (auto& box : filmBoxes_) snapshot->AddFilm(*box);
  } else if (current_ >= 0 && current_ < GetFilmBoxCount()) {
    snapshot->AddFilm(*filmBoxes_[current_]);
  }
  return snapshot;
}

bool SOFilmSession::ExportFilms(SODcmFile* out, bool allFilms, const char* caption) {
  if (!out || filmBoxes_.empty()) return false;
  std::unique_ptr<SOFilmSnapshot> snapshot;
  SOWin::InvokeOnUiThread([&] { snapshot = TakeSnapshot(allFilms); }, true);
  return snapshot->Export(out, caption, [&](int done, int total, bool finished) {
    for (ISOFilmSessionCallback* callback : std::vector(callbacks_)) {
      if (finished)
        callback->OnExportFinished(this, out, done, total);
      else
        callback->OnExportProgress(this, out, done, total);
    }
  });
}
