#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ISODcmStudy.h"

class SODcmFile;

// Objects of one series in Instance Number order, and the parsed files they sit on (one object
// per file, frame 0). Guarded by the owning data centre's lock.
class SODcmSeries : public ISODcmSeries {
 public:
  explicit SODcmSeries(ISODcmStudy* study, const char* seriesInstanceUID);
  SODcmSeries(const SODcmSeries&) = delete;
  SODcmSeries& operator=(const SODcmSeries&) = delete;
  ~SODcmSeries() override;

  ISODcmStudy* GetStudy() override { return study_; }
  const char* GetSeriesInstanceUID() override { return uid_.c_str(); }
  int GetObjectCount() override { return static_cast<int>(objects_.size()); }
  ISODcmObject* GetObjectAt(int index) override;
  ISODcmObject* FindObject(const char* sopInstanceUID) override;

  void SetSeriesInstanceUID(const char* uid) { uid_ = uid ? uid : ""; }
  // Takes the file unless its SOP instance is already here (then that file's object is
  // reported again). Returns the file kept, or null when the file has no SOP Instance UID;
  // the caller deletes a file that was not kept.
  SODcmFile* AddFile(SODcmFile* file, std::vector<ISODcmObject*>& objects);
  // Before the first object whose Instance Number is at least the new one's.
  bool InsertObject(ISODcmObject* object);

 private:
  ISODcmStudy* study_;
  std::string uid_;
  std::vector<ISODcmObject*> objects_;  // owned; deleted before the files
  std::map<std::string, std::unique_ptr<SODcmFile>> files_;
};
