#include "SODcmStudy.h"

#include <algorithm>
#include <cstring>

#include "SODcmFile.h"
#include "SODcmObject.h"
#include "SODcmSeries.h"

SODcmStudy::SODcmStudy(const char* studyInstanceUID) {
  SetStudyInstanceUID(studyInstanceUID);
}

SODcmStudy::~SODcmStudy() = default;

ISODcmSeries* SODcmStudy::GetSeriesAt(int index) {
  if (index < 0 || index >= GetSeriesCount()) return nullptr;
  return series_[index].get();
}

ISODcmSeries* SODcmStudy::FindSeries(const char* seriesInstanceUID) {
  if (!seriesInstanceUID) return nullptr;
  for (auto& series : series_)
    if (std::strcmp(series->GetSeriesInstanceUID(), seriesInstanceUID) == 0) return series.get();
  return nullptr;
}

ISODcmObject* SODcmStudy::FindObject(const char* sopInstanceUID) {
  if (!sopInstanceUID) return nullptr;
  for (auto& series : series_)
    if (ISODcmObject* object = series->FindObject(sopInstanceUID)) return object;
  return nullptr;
}

bool SODcmStudy::RemoveSeries(ISODcmSeries* series) {
  if (!series) return false;
  auto found = std::find_if(series_.begin(), series_.end(), [&](auto& s) { return s.get() == series; });
  if (found != series_.end()) series_.erase(found);
  return true;
}

bool SODcmStudy::AddFile(std::unique_ptr<SODcmFile>& file, std::unique_ptr<SODcmObject>& object,
                         std::vector<ISODcmObject*>& objects) {
  objects.clear();
  if (!file || !object) return false;
  const char* seriesUID = object->GetSeriesInstanceUID();
  if (!*seriesUID) return false;
  auto* series = static_cast<SODcmSeries*>(FindSeries(seriesUID));
  if (!series) {
    series_.push_back(std::make_unique<SODcmSeries>(this, seriesUID));
    series = series_.back().get();
  }
  return series->AddFile(file, object, objects);
}
