#include "SOPrintQueue.h"

#include "FilmFile.h"
#include "Gossamy.h"
#include "SODcmConvert.h"
#include "SODcmFile.h"
#include "SOUtil.h"

#include <algorithm>
#include <cstdio>

const wchar_t* PrintJobStateText(int state) {
  switch (state) {
    case PRINTJOB_WAITING: return L"Waiting to print";
    case PRINTJOB_PRINTING: return L"Printing";
    case PRINTJOB_DONE: return L"Done";
    case PRINTJOB_FAILED: return L"Failed";
    default: return L"Paused";
  }
}

SOPrintQueue* SOPrintQueue::Instance() {
  static SOPrintQueue queue(std::string(Gossamy::GetConfigPath()) + "Films/");
  return &queue;
}

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

SOPrintQueue::SOPrintQueue(std::string folder) : folder_(WithSlash(std::move(folder))) {
  work_.push_back("");  // jobs left by earlier runs
  worker_ = std::thread([this] { Work(); });
}

SOPrintQueue::~SOPrintQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    work_.clear();
  }
  wake_.notify_all();
  worker_.join();
}

PrintJob SOPrintQueue::ReadJob(const SODcmFile& file) {
  PrintJob job;
  const SODcmDataset* ds = file.GetDataset();
  ds->GetString(0x00080018, job.uid);
  ds->GetString(0x00100010, job.patientName);
  std::string status;
  SODcmPrintStatus stored;
  if (ds->GetString(filmfile::kExecutionStatus, status) && SODcmConvert::Convert(status.c_str(), stored))
    job.state = stored;
  if (!ds->GetInt32(0x20000010, job.copies)) job.copies = 1;
  if (!ds->GetInt32(0x00280008, job.filmCount)) job.filmCount = 1;
  // Films of this system name their printer only in the private block.
  if (!ds->GetString(0x21100030, job.printerName) || job.printerName.empty()) {
    std::wstring name;
    if (ds->GetString(filmfile::kPrinterName, name)) job.printerName = SOUtil::W2UTF8Str(name.c_str());
  }
  SODate date;
  SOTime time;
  if (ds->GetDate(0x00080023, date)) job.dateTime.date = date;
  if (ds->GetTime(0x00080033, time)) job.dateTime.time = time;
  return job;
}

void SOPrintQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !work_.empty(); });
    if (stop_) return;
    std::string uid = std::move(work_.front());
    work_.pop_front();
    busy_ = true;
    if (!uid.empty()) {
      // Taken: from now on the job is printing and can no longer be removed.
      auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const PrintJob& j) { return j.uid == uid; });
      if (job == jobs_.end()) {
        busy_ = false;
        continue;
      }
      job->state = PRINTJOB_PRINTING;
    }
    lock.unlock();
    if (uid.empty())
      Scan();
    else {
      Notify();
      Print(uid);
    }
    lock.lock();
    busy_ = false;
    if (work_.empty()) wake_.notify_all();
  }
}

void SOPrintQueue::Scan() {
  std::vector<std::string> files;
  if (!SOUtil::FindFiles(folder_.c_str(), files)) return;
  std::vector<PrintJob> found;
  for (const std::string& path : files) {
    if (path.find(".part", path.rfind('/') + 1) != std::string::npos) continue;  // an interrupted save
    SODcmFile file;
    if (!file.LoadFile(path.c_str(), false)) continue;
    PrintJob job = ReadJob(file);
    job.path = path;
    if (job.state != PRINTJOB_DONE && job.state != PRINTJOB_FAILED) job.state = PRINTJOB_PAUSED;
    // Newest first; equal times keep folder order.
    auto at = std::find_if(found.begin(), found.end(), [&](const PrintJob& j) { return j.dateTime < job.dateTime; });
    found.insert(at, std::move(job));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Jobs added while the folder was read are already listed.
    for (PrintJob& job : found)
      if (std::none_of(jobs_.begin(), jobs_.end(), [&](const PrintJob& j) { return j.uid == job.uid; }))
        jobs_.push_back(std::move(job));
  }
  Notify();
}

bool SOPrintQueue::AddJob(SODcmFile* file) {
  if (!file) return false;
  const std::string uid = SOUtil::GenerateUID();
  const std::string path = folder_ + uid;
  if (!SOUtil::CreateDirByFile(path.c_str())) return false;
  SODcmDataset* ds = file->GetDataset();
  ds->SetString(0x00080018, uid);
  ds->SetDate(0x00080023, SODate::Now());
  ds->SetTime(0x00080033, SOTime::Now());
  if (!file->SaveFile(path.c_str(), false)) return false;
  PrintJob job = ReadJob(*file);
  job.path = path;
  job.state = PRINTJOB_WAITING;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.insert(jobs_.begin(), std::move(job));
  }
  Queue(uid);
  return true;
}

void SOPrintQueue::Queue(const std::string& uid) {
  // Listeners hear of the waiting job before the worker can take it.
  Notify();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_.push_back(uid);
  }
  wake_.notify_all();
}

bool SOPrintQueue::Restart(const std::string& uid) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const PrintJob& j) { return j.uid == uid; });
    if (job == jobs_.end() || job->state == PRINTJOB_WAITING || job->state == PRINTJOB_PRINTING) return false;
    job->state = PRINTJOB_WAITING;
  }
  Queue(uid);
  return true;
}

bool SOPrintQueue::Remove(const std::string& uid) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const PrintJob& j) { return j.uid == uid; });
    if (job == jobs_.end() || job->state == PRINTJOB_PRINTING) return false;
    work_.erase(std::remove(work_.begin(), work_.end(), uid), work_.end());
    path = job->path;
    jobs_.erase(job);
  }
  SOUtil::DeleteFileW(path.c_str());
  Notify();
  return true;
}

void SOPrintQueue::SetState(const std::string& uid, int state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (PrintJob& job : jobs_)
      if (job.uid == uid) job.state = state;
  }
  Notify();
}

void SOPrintQueue::Print(const std::string& uid) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PrintJob& job : jobs_)
      if (job.uid == uid) path = job.path;
  }
  SODcmFile file;
  if (!file.LoadFile(path.c_str(), true)) {
    std::fprintf(stderr, "print queue: %s does not load\n", path.c_str());
    SetState(uid, PRINTJOB_FAILED);
    return;
  }
  filmfile::PrintRequest request;
  std::string why;
  bool ok = filmfile::ReadPrintRequest(*file.GetDataset(), request, why);
  if (ok) {
    SODcmPrint print;
    SODcmPrintStatus status = PRINTSTATUS_FAILURE;
    const PrinterRecord& p = request.printer;
    ok = print.Init(p.ip.c_str(), p.port, p.calledAE.c_str(), p.callingAE.c_str()) &&
         print.Print(request.session, status) && status == PRINTSTATUS_DONE;
    if (!ok) why = "the printer " + p.name + " (" + p.ip + ":" + std::to_string(p.port) + ") did not print it";
  }
  if (!ok) std::fprintf(stderr, "print queue: %s: %s\n", uid.c_str(), why.c_str());
  request = filmfile::PrintRequest{};
  std::string text;
  SODcmConvert::Convert(ok ? PRINTSTATUS_DONE : PRINTSTATUS_FAILURE, text);
  file.GetDataset()->SetString(filmfile::kExecutionStatus, text);
  if (!file.SaveFile(path.c_str(), false))
    std::fprintf(stderr, "print queue: the outcome could not be written to %s\n", path.c_str());
  SetState(uid, ok ? PRINTJOB_DONE : PRINTJOB_FAILED);
}

std::vector<PrintJob> SOPrintQueue::Jobs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_;
}

void SOPrintQueue::Notify() {
  std::lock_guard<std::mutex> hold(listenerMutex_);
  if (listeners_.empty()) return;
  std::vector<PrintJob> jobs = Jobs();
  for (ISOPrintQueueCallback* listener : listeners_) listener->OnPrintQueueChanged(jobs);
}

void SOPrintQueue::AddListener(ISOPrintQueueCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void SOPrintQueue::RemoveListener(ISOPrintQueueCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void SOPrintQueue::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return stop_ || (work_.empty() && !busy_); });
}
