#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ISODcmObject.h"
#include "ISODcmStudy.h"
#include "SOArray.h"
#include "SOString.h"

// Thread message that hands a load request to a data centre's loader thread.
constexpr unsigned int SO_MSG_DCM_LOAD = 8123;

// One asynchronous load request; the loader thread frees it after its finish event.
struct SODcmLoadRequest {
  int id = 0;
  uint64_t stamp = 0;
  std::vector<std::string> paths;
};

// Given to the callbacks; valid only during the call. In a per-file event done counts the
// files processed so far (1-based) and objects are that file's; in the finish event done is 0,
// path is null and objects are every object of the request in file order (empty when a clear
// overtook the request).
struct SODcmLoadEvent {
  int id = 0;
  int total = 0;
  int done = 0;
  const char* path = nullptr;
  uint64_t stamp = 0;
  SOArray<ISODcmObject*> objects;
};

// Per-file and finish events arrive on the loader thread; the cleared event on the thread
// that called Clear.
class ISODcmDataCenterCallback {
 public:
  virtual void OnFileLoadedEvent(const SODcmLoadEvent* event) = 0;
  virtual void OnLoadFinishedEvent(const SODcmLoadEvent* event) = 0;
  virtual void OnClearedEvent() = 0;

 protected:
  ~ISODcmDataCenterCallback() = default;
};

class ISODcmDataCenterFilter {
 public:
  virtual bool AcceptObject(ISODcmObject* object) = 0;

 protected:
  ~ISODcmDataCenterFilter() = default;
};

// The viewer's store of loaded DICOM files. It owns every study, series and object it hands
// out; they stay valid until Clear or destruction. Stamps order loads against clears: a
// request issued before the last Clear reports no more files.
class ISODcmDataCenter {
 public:
  // Clears (callbacks hear OnClearedEvent), then stops the loader; no callback runs after.
  virtual ~ISODcmDataCenter() = default;
  virtual bool LoadFile(const char* path, SOArray<ISODcmObject*>& objects) = 0;
  virtual SOArray<ISODcmObject*> LoadFolder(const char* folder) = 0;
  // The request id, or 0 when nothing was posted.
  virtual int LoadFileAsync(const char* path) = 0;
  virtual int LoadFolderAsync(const char* folder) = 0;
  virtual int LoadFilesAsync(SOArray<SOString> paths) = 0;
  virtual void Clear() = 0;
  virtual int GetStudyCount() = 0;
  virtual ISODcmStudy* GetStudyAt(int index) = 0;
  virtual ISODcmStudy* FindStudy(const char* studyInstanceUID) = 0;
  virtual ISODcmSeries* FindSeries(const char* seriesInstanceUID) = 0;
  virtual ISODcmObject* FindObject(const char* sopInstanceUID) = 0;
  virtual uint64_t NextStamp() = 0;
  virtual void RegisterCallback(ISODcmDataCenterCallback* callback) = 0;
  virtual void UnRegisterCallback(ISODcmDataCenterCallback* callback) = 0;
  virtual void SetLoadFlag(bool flag) = 0;
  virtual void SetFilter(ISODcmDataCenterFilter* filter) = 0;
};

ISODcmDataCenter* CreateDcmDataCenter();
void ReleaseDcmDataCenter(ISODcmDataCenter* dataCenter);
