#include "SODcmSeries.h"

#include <algorithm>
#include <cstring>

#include "SODcmFile.h"
#include "SODcmObject.h"
#include "ViewerTags.h"

SODcmSeries::SODcmSeries(ISODcmStudy* study, const char* seriesInstanceUID) : study_(study) {
  SetSeriesInstanceUID(seriesInstanceUID);
}

SODcmSeries::~SODcmSeries() {
  // Objects read their files while they go, so they go first.
  for (ISODcmObject* object : objects_) delete object;
  objects_.clear();
  files_.clear();
}

ISODcmObject* SODcmSeries::GetObjectAt(int index) {
  if (index < 0 || index >= GetObjectCount()) return nullptr;
  return objects_[index];
}

ISODcmObject* SODcmSeries::FindObject(const char* sopInstanceUID) {
  if (!sopInstanceUID) return nullptr;
  for (ISODcmObject* object : objects_)
    if (std::strcmp(object->GetSopInstanceUID(), sopInstanceUID) == 0) return object;
  return nullptr;
}

SODcmFile* SODcmSeries::AddFile(SODcmFile* file, std::vector<ISODcmObject*>& objects) {
  objects.clear();
  if (!file) return nullptr;
  std::string sopUID;
  if (!file->GetDataset()->GetString(vtag::SOPInstanceUID, sopUID) || sopUID.empty()) return nullptr;

  auto found = files_.find(sopUID);
  if (found != files_.end()) {
    SODcmFile* kept = found->second.get();
    for (ISODcmObject* object : objects_) {
      if (object->GetDcmFile() == kept && object->GetFrameIndex() == 0) {
        objects.push_back(object);
        return kept;
      }
    }
    file = kept;
  } else {
    files_.emplace(sopUID, file);
  }
  auto* object = new SODcmObject;
  object->SetDcmFile(file, 0);
  InsertObject(object);
  objects.push_back(object);
  return file;
}

bool SODcmSeries::InsertObject(ISODcmObject* object) {
  if (!object) return false;
  // Objects stay sorted, so the first one not below the new number is a binary search.
  int number = object->GetInstanceNumber();
  auto at = std::lower_bound(objects_.begin(), objects_.end(), number,
                             [](ISODcmObject* o, int n) { return o->GetInstanceNumber() < n; });
  objects_.insert(at, object);
  if (auto* dcmObject = dynamic_cast<SODcmObject*>(object)) dcmObject->SetDcmSeries(this);
  return true;
}
