#include "SODcmDataCenter.h"

#include <algorithm>
#include <cstring>

#include "SODcmFile.h"
#include "SODcmObject.h"
#include "SODcmStudy.h"
#include "SOUtil.h"

namespace {

std::vector<std::string> ListFolder(const char* folder, bool& ok) {
  std::vector<std::string> paths;
  ok = SOUtil::FindFiles(folder, paths, true);
  return paths;
}

}  // namespace

ISODcmDataCenter* CreateDcmDataCenter() {
  return new SODcmDataCenter;
}

void ReleaseDcmDataCenter(ISODcmDataCenter* dataCenter) {
  delete dataCenter;
}

SODcmDataCenter::SODcmDataCenter() : loader_([this] { LoaderLoop(); }) {}

template <typename Fn>
void SODcmDataCenter::Notify(Fn fn) {
  std::vector<ISODcmDataCenterCallback*> callbacks;
  {
    std::lock_guard lock(callbacksMutex_);
    callbacks = callbacks_;
  }
  const std::thread::id self = std::this_thread::get_id();
  for (ISODcmDataCenterCallback* callback : callbacks) {
    {
      std::lock_guard lock(callbacksMutex_);
      if (std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end()) continue;
      inFlight_.emplace_back(callback, self);
    }
    fn(callback);
    {
      std::lock_guard lock(callbacksMutex_);
      inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), std::make_pair(callback, self)));
    }
    callbackReturned_.notify_all();
  }
}

SODcmDataCenter::~SODcmDataCenter() {
  Clear();
  {
    std::lock_guard lock(queueMutex_);
    shutdown_ = true;
  }
  queueWake_.notify_all();
  if (loader_.joinable()) loader_.join();
  queue_.clear();
}

bool SODcmDataCenter::LoadFile(const char* path, SOArray<ISODcmObject*>& objects) {
  objects.Clear();
  if (!path) return false;
  // Parsing, and the object's reading of its attributes, happen outside the lock, so a Clear
  // never waits for a large file.
  auto file = std::make_unique<SODcmFile>();
  if (!file->LoadFile(path, loadFlag_)) return false;
  auto object = std::make_unique<SODcmObject>(file.get(), 0);
  const char* studyUID = object->GetStudyInstanceUID();
  if (!*studyUID || !*object->GetSeriesInstanceUID()) return false;

  std::lock_guard lock(mutex_);
  auto* study = static_cast<SODcmStudy*>(FindStudy(studyUID));
  if (!study) {
    studies_.push_back(std::make_unique<SODcmStudy>(studyUID));
    study = studies_.back().get();
  }
  std::vector<ISODcmObject*> fileObjects;
  study->AddFile(file, object, fileObjects);
  for (ISODcmObject* added : fileObjects) objects.Add(added);
  return true;
}

SOArray<ISODcmObject*> SODcmDataCenter::LoadFolder(const char* folder) {
  uint64_t stamp = NextStamp();
  SOArray<ISODcmObject*> result;
  if (!folder) return result;
  bool ok = false;
  std::vector<std::string> paths = ListFolder(folder, ok);
  if (!ok) return result;
  SOArray<ISODcmObject*> fileObjects;
  for (const std::string& path : paths) {
    if (stamp <= clearStamp_) break;
    if (LoadFile(path.c_str(), fileObjects))
      for (int i = 0; i < fileObjects.GetLength(); ++i) result.Add(fileObjects[i]);
  }
  if (stamp < clearStamp_) result.Clear();
  return result;
}

int SODcmDataCenter::LoadFileAsync(const char* path) {
  if (!path) return 0;
  return Post({path});
}

int SODcmDataCenter::LoadFolderAsync(const char* folder) {
  if (!folder) return 0;
  bool ok = false;
  std::vector<std::string> paths = ListFolder(folder, ok);
  if (!ok) return 0;
  return Post(std::move(paths));
}

int SODcmDataCenter::LoadFilesAsync(SOArray<SOString> paths) {
  if (paths.GetLength() == 0) return 0;
  std::vector<std::string> list;
  list.reserve(paths.GetLength());
  for (int i = 0; i < paths.GetLength(); ++i) list.push_back(paths[i].str());
  return Post(std::move(list));
}

int SODcmDataCenter::Post(std::vector<std::string> paths) {
  auto request = std::make_unique<SODcmLoadRequest>();
  request->id = nextId_++;
  request->stamp = NextStamp();
  request->paths = std::move(paths);
  int id = request->id;
  {
    std::lock_guard lock(queueMutex_);
    queue_.push_back({SO_MSG_DCM_LOAD, std::move(request)});
  }
  queueWake_.notify_one();
  return id;
}

void SODcmDataCenter::Clear() {
  clearStamp_ = NextStamp();
  std::lock_guard lock(mutex_);
  Notify([](ISODcmDataCenterCallback* callback) { callback->OnClearedEvent(); });
  studies_.clear();
}

int SODcmDataCenter::GetStudyCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(studies_.size());
}

ISODcmStudy* SODcmDataCenter::GetStudyAt(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(studies_.size())) return nullptr;
  return studies_[index].get();
}

ISODcmStudy* SODcmDataCenter::FindStudy(const char* studyInstanceUID) {
  if (!studyInstanceUID) return nullptr;
  std::lock_guard lock(mutex_);
  for (auto& study : studies_)
    if (std::strcmp(study->GetStudyInstanceUID(), studyInstanceUID) == 0) return study.get();
  return nullptr;
}

ISODcmSeries* SODcmDataCenter::FindSeries(const char* seriesInstanceUID) {
  if (!seriesInstanceUID) return nullptr;
  std::lock_guard lock(mutex_);
  for (auto& study : studies_)
    if (ISODcmSeries* series = study->FindSeries(seriesInstanceUID)) return series;
  return nullptr;
}

ISODcmObject* SODcmDataCenter::FindObject(const char* sopInstanceUID) {
  if (!sopInstanceUID) return nullptr;
  std::lock_guard lock(mutex_);
  for (auto& study : studies_)
    if (ISODcmObject* object = study->FindObject(sopInstanceUID)) return object;
  return nullptr;
}

void SODcmDataCenter::RegisterCallback(ISODcmDataCenterCallback* callback) {
  std::lock_guard lock(callbacksMutex_);
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SODcmDataCenter::UnRegisterCallback(ISODcmDataCenterCallback* callback) {
  std::unique_lock lock(callbacksMutex_);
  auto found = std::find(callbacks_.begin(), callbacks_.end(), callback);
  if (found != callbacks_.end()) callbacks_.erase(found);
  // A callback that unregisters itself from inside its own call cannot wait for that call.
  const std::thread::id self = std::this_thread::get_id();
  callbackReturned_.wait(lock, [&] {
    return std::none_of(inFlight_.begin(), inFlight_.end(),
                        [&](const auto& call) { return call.first == callback && call.second != self; });
  });
}


void SODcmDataCenter::LoaderLoop() {
  for (;;) {
    LoaderMessage message;
    {
      std::unique_lock lock(queueMutex_);
      queueWake_.wait(lock, [this] { return shutdown_ || !queue_.empty(); });
      if (shutdown_) return;
      message = std::move(queue_.front());
      queue_.pop_front();
    }
    if (message.message == SO_MSG_DCM_LOAD && message.request) ServeRequest(*message.request);
  }
}

void SODcmDataCenter::ServeRequest(const SODcmLoadRequest& request) {
  SODcmLoadEvent fileEvent;
  fileEvent.id = request.id;
  fileEvent.total = static_cast<int>(request.paths.size());
  fileEvent.stamp = request.stamp;
  SODcmLoadEvent finishEvent;
  finishEvent.id = fileEvent.id;
  finishEvent.total = fileEvent.total;
  finishEvent.stamp = fileEvent.stamp;

  SOArray<ISODcmObject*> fileObjects;
  for (const std::string& path : request.paths) {
    if (!IsCurrent(request.stamp)) break;
    LoadFile(path.c_str(), fileObjects);
    fileEvent.path = path.c_str();
    fileEvent.objects = fileObjects;
    ++fileEvent.done;
    for (int i = 0; i < fileObjects.GetLength(); ++i) finishEvent.objects.Add(fileObjects[i]);
    if (!IsCurrent(request.stamp)) continue;
    Notify([&](ISODcmDataCenterCallback* callback) { callback->OnFileLoadedEvent(&fileEvent); });
  }
  if (request.stamp < clearStamp_) finishEvent.objects.Clear();
  if (shutdown_) return;
  Notify([&](ISODcmDataCenterCallback* callback) { callback->OnLoadFinishedEvent(&finishEvent); });
}
