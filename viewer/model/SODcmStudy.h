#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ISODcmStudy.h"

class SODcmFile;
class SODcmObject;
class SODcmSeries;

// The series of one study in the order of their first file. Guarded by the owning data
// centre's lock.
class SODcmStudy : public ISODcmStudy {
 public:
  explicit SODcmStudy(const char* studyInstanceUID);
  SODcmStudy(const SODcmStudy&) = delete;
  SODcmStudy& operator=(const SODcmStudy&) = delete;
  ~SODcmStudy() override;

  const char* GetStudyInstanceUID() override { return uid_.c_str(); }
  int GetSeriesCount() override { return static_cast<int>(series_.size()); }
  ISODcmSeries* GetSeriesAt(int index) override;
  ISODcmSeries* FindSeries(const char* seriesInstanceUID) override;
  ISODcmObject* FindObject(const char* sopInstanceUID) override;
  bool RemoveSeries(ISODcmSeries* series) override;

  void SetStudyInstanceUID(const char* uid) { uid_ = uid ? uid : ""; }
  // Files the object and its file into their series (made when new), as SODcmSeries::AddFile
  // does; false, taking nothing, when the object lacks a Series or SOP Instance UID.
  bool AddFile(std::unique_ptr<SODcmFile>& file, std::unique_ptr<SODcmObject>& object,
               std::vector<ISODcmObject*>& objects);

 private:
  std::string uid_;
  std::vector<std::unique_ptr<SODcmSeries>> series_;
};
