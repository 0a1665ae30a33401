#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ISODcmStudy.h"

class SODcmFile;
class SODcmObject;

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
  // Files `object`, bound to `file` at frame 0, by its SOP Instance UID and takes both, unless
  // that SOP instance is already here: then the object on the file kept is reported again and
  // what was not taken stays with the caller. False, taking nothing, without a SOP Instance UID.
  bool AddFile(std::unique_ptr<SODcmFile>& file, std::unique_ptr<SODcmObject>& object,
               std::vector<ISODcmObject*>& objects);
  // Takes the object, before the first one whose Instance Number is at least the new one's.
  bool InsertObject(std::unique_ptr<ISODcmObject> object);

 private:
  ISODcmStudy* study_;
  std::string uid_;
  std::vector<std::unique_ptr<ISODcmObject>> objects_;  // deleted before the files
  std::map<std::string, std::unique_ptr<SODcmFile>> files_;
};
