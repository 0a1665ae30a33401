#include "SODcmSeries.h"

#include <algorithm>
#include <cstring>

#include "SODcmFile.h"
#include "SODcmObject.h"

SODcmSeries::SODcmSeries(ISODcmStudy* study, const char* seriesInstanceUID) : study_(study) {
  SetSeriesInstanceUID(seriesInstanceUID);
}

SODcmSeries::~SODcmSeries() {
  // Objects read their files while they go, so they go first.
  objects_.clear();
  files_.clear();
}

ISODcmObject* SODcmSeries::GetObjectAt(int index) {
  if (index < 0 || index >= GetObjectCount()) return nullptr;
  return objects_[index].get();
}

ISODcmObject* SODcmSeries::FindObject(const char* sopInstanceUID) {
  if (!sopInstanceUID) return nullptr;
  for (const auto& object : objects_)
    if (std::strcmp(object->GetSopInstanceUID(), sopInstanceUID) == 0) return object.get();
  return nullptr;
}

bool SODcmSeries::AddFile(std::unique_ptr<SODcmFile>& file, std::unique_ptr<SODcmObject>& object,
                          std::vector<ISODcmObject*>& objects) {
  objects.clear();
  if (!file || !object) return false;
  const std::string sopUID = object->GetSopInstanceUID();
  if (sopUID.empty()) return false;

  auto [found, added] = files_.try_emplace(sopUID);
  if (added) {
    found->second = std::move(file);
  } else {
    SODcmFile* kept = found->second.get();
    for (const auto& existing : objects_) {
      if (existing->GetDcmFile() == kept && existing->GetFrameIndex() == 0) {
        objects.push_back(existing.get());
        return true;
      }
    }
    object->SetDcmFile(kept, 0);
  }
  objects.push_back(object.get());
  InsertObject(std::move(object));
  return true;
}

bool SODcmSeries::InsertObject(std::unique_ptr<ISODcmObject> object) {
  if (!object) return false;
  // Objects stay sorted, so the first one not below the new number is a binary search; a series
  // arriving in order only appends.
  int number = object->GetInstanceNumber();
  auto at = !objects_.empty() && objects_.back()->GetInstanceNumber() < number
                ? objects_.end()
                : std::lower_bound(objects_.begin(), objects_.end(), number,
                                   [](const auto& o, int n) { return o->GetInstanceNumber() < n; });
  if (auto* dcmObject = dynamic_cast<SODcmObject*>(object.get())) dcmObject->SetDcmSeries(this);
  objects_.insert(at, std::move(object));
  return true;
}
