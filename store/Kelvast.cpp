#include "Kelvast.h"

#include <fcntl.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <unordered_set>
#include <utility>

#include "Guarded.h"
#include "SOCommitSCU.h"
#include "SODcmFile.h"
#include "StoreLayout.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTrashFolder = ".trash";
constexpr const char* kJournalFolder = ".queue";

// Flushes a folder's entries; a folder renamed away meanwhile (its study deleted) has nothing
// left to flush.
bool SyncFolder(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// The store's folder heads a tree of unrelated studies. Flagged so (ext4's top-directory flag,
// as for /home), the filesystem spreads new study folders, and so their files, over its emptier
// groups instead of packing them into the groups of the folder the store sits in, where other
// programs' files come and go; there each new file costs a search past the recently freed slots.
// Best effort: other filesystems have no such flag.
void MarkTopFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && !(flags & FS_TOPDIR_FL)) {
    flags |= FS_TOPDIR_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
}

void RemoveAllQuietly(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

void RemoveDetached(fs::path path) {
  try {
    std::thread([path = std::move(path)] { RemoveAllQuietly(path); }).detach();
  } catch (const std::system_error&) {
    RemoveAllQuietly(path);
  }
}

// A save's temporary file ("<file>.part<pid>_<n>") whose process is gone: a save cut by a kill.
bool IsStalePartialSave(const fs::path& file) {
  const std::string name = file.filename().string();
  const size_t at = name.rfind(".part");
  if (at == std::string::npos) return false;
  const char* digits = name.c_str() + at + 5;
  char* end = nullptr;
  const long pid = std::strtol(digits, &end, 10);
  if (end == digits || *end != '_' || pid <= 0 || pid > INT_MAX) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void RemoveStalePartialSaves(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().filename() == "DB" || it->path().filename() == kTrashFolder) {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code statError;
    if (it->is_regular_file(statError) && IsStalePartialSave(it->path())) fs::remove(it->path(), statError);
  }
}

}  // namespace

Kelvast::Kelvast(const std::string& folder)
    : folder_(folder), journal_(StoreLayout::Join(folder, kJournalFolder)) {
  studyDB_.SetStoreFolder(folder_);
  patientDB_.SetStoreFolder(folder_);
  valueDB_.SetStoreFolder(folder_);
  StoreLayout::MakePrivate(folder_);
  PurgeTrash();
  ReplayJournals();
  RemovePartialSaves();
}

Kelvast::~Kelvast() {
  {
    std::lock_guard<std::mutex> hold(aheadLock_);
    aheadStop_ = true;
  }
  aheadWake_.notify_all();
  if (aheadThread_.joinable()) aheadThread_.join();
  try {
    QueueJournal::Segment journal;
    std::vector<Queued> list = TakePending(journal);
    std::vector<InstanceInfo> failed;
    std::vector<std::string> written;
    if (!list.empty() && WriteQueued(std::move(list), failed, written) && failed.empty()) journal.Remove();
  } catch (const std::exception&) {
    // Nothing to report to: the journal stays for the next opening of the store.
  }
  if (storeFd_ >= 0) ::close(storeFd_);
}

std::string Kelvast::PatientsPath() const { return StoreLayout::Join(folder_, "DB/patients"); }

std::string Kelvast::ValuesPath() const { return StoreLayout::Join(folder_, "DB/values"); }

bool Kelvast::StudyDBPath(const std::string& studyUID, std::string& path) const {
  if (!StoreLayout::IsSafeUID(studyUID)) return false;
  path = StoreLayout::Join(folder_, "DB/" + studyUID);
  return true;
}

bool Kelvast::GetStorableInfo(SODcmFile* file, InstanceInfo& info) const {
  return GetInstanceInfo(file, info) && StoreLayout::IsSafeUID(info.studyUID) &&
         StoreLayout::IsSafeUID(info.seriesUID) && StoreLayout::IsSafeUID(info.sopInstanceUID);
}

bool Kelvast::PrepareSeriesFolder(const std::string& folder) {
  // Held through the flushes: a caller that finds the folder ready knows its entries are on disk.
  std::lock_guard<std::mutex> hold(foldersLock_);
  if (readyFolders_.count(folder)) return true;
  std::error_code ec;
  if (!fs::exists(folder_, ec) && StoreLayout::CreatePrivateFolders(folder_)) MarkTopFolder(folder_);
  const int storeFd = StoreFolderFd();
  if (!StoreLayout::CreatePrivateFolders(folder) || storeFd < 0) return false;
  std::string study = StoreLayout::ParentOf(folder);
  if (!SyncFolder(study) || !SyncFolder(StoreLayout::ParentOf(study))) return false;
  readyFolders_.insert(folder);
  return true;
}

bool Kelvast::SaveDcmFile(const InstanceInfo& info, SODcmFile* file, bool durable) {
  std::string path = StoreLayout::Join(folder_, StoreLayout::GetInstancePath(info));
  std::string folder = StoreLayout::ParentOf(path);
  if (!PrepareSeriesFolder(folder)) return false;
  const bool keepTransferSyntax = saveMode_.load() != 2;
  // The toolkit writes a temporary file beside the target and renames it, so a failed save never
  // tears an earlier copy. Durable: the data are flushed before the rename and the folder after
  // it, here, and the flushes of threads storing at the same time run side by side.
  if (durable)
    return file->SaveFile(path.c_str(), keepTransferSyntax, true) && StoreLayout::MakePrivate(path) && SyncFolder(folder);
  // A file replacing one a row may already point at is flushed before its rename; a new one is
  // flushed with its whole commit, before its row is written.
  std::error_code ec;
  bool replacing = fs::exists(path, ec);
  return file->SaveFile(path.c_str(), keepTransferSyntax, replacing || ec) && StoreLayout::MakePrivate(path);
}

int Kelvast::StoreFolderFd() {
  if (storeFd_ < 0) storeFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return storeFd_;
}

bool Kelvast::SyncSaved() {
  int fd = -1;
  {
    std::lock_guard<std::mutex> hold(foldersLock_);
    fd = StoreFolderFd();
  }
  // One flush of the filesystem writes every file of the commit and their folders' entries in a
  // single pass, where a flush per file would wait for the disk once per file.
  return fd >= 0 && ::syncfs(fd) == 0;
}

std::string Kelvast::JournalEntry(const InstanceInfo& info) {
  return info.filePath.empty() ? "S " + StoreLayout::GetInstancePath(info) : "P " + info.filePath;
}

bool Kelvast::FromJournalEntry(const std::string& line, Queued& queued) const {
  if (line.size() < 3 || line[1] != ' ') return false;
  const std::string path = line.substr(2);
  if (line[0] == 'P') return GetInPlaceInfo(path.c_str(), queued.info);
  if (line[0] != 'S') return false;
  const std::string full = StoreLayout::Join(folder_, path);
  SODcmFile file;
  // A file gone or torn since (its study deleted, a write error) has no rows to get.
  if (!file.LoadFile(full.c_str(), false) || !GetStorableInfo(&file, queued.info)) return false;
  queued.saved = true;
  return StoreLayout::GetInstancePath(queued.info) == path;
}

bool Kelvast::Enqueue(Queued queued) {
  const std::string entry = JournalEntry(queued.info);
  if (entry.find('\n') != std::string::npos) return false;
  bool ahead = false;
  {
    std::lock_guard<std::mutex> hold(pendingLock_);
    if (!journal_.Append(entry)) return false;
    if (queued.saved && ++savedSinceAhead_ >= kAheadBatch) {
      savedSinceAhead_ = 0;
      ahead = true;
    }
    pending_.push_back(std::move(queued));
  }
  if (ahead) WakeAhead();
  return true;
}

void Kelvast::WakeAhead() {
  std::lock_guard<std::mutex> hold(aheadLock_);
  if (aheadStop_) return;
  if (!aheadThread_.joinable()) {
    try {
      aheadThread_ = std::thread([this] { RunAhead(); });
    } catch (const std::system_error&) {
      return;  // the commit does it all
    }
  }
  aheadWanted_ = true;
  aheadWake_.notify_one();
}

void Kelvast::RunAhead() {
  std::unique_lock<std::mutex> hold(aheadLock_);
  for (;;) {
    aheadWake_.wait(hold, [&] { return aheadStop_ || aheadWanted_; });
    if (aheadStop_) return;
    aheadWanted_ = false;
    hold.unlock();
    Guarded(false, [&] { return WriteAhead(); });
    hold.lock();
  }
}

bool Kelvast::WriteAhead() {
  std::vector<InstanceInfo> infos;
  uint64_t generation = 0;
  size_t count = 0;
  {
    std::lock_guard<std::mutex> hold(pendingLock_);
    generation = pendingGeneration_;
    count = pending_.size();
    for (const Queued& queued : pending_)
      if (queued.saved && !queued.inStudy) infos.push_back(queued.info);
  }
  // The same order as a commit: files on disk before rows point at them.
  if (infos.empty() || !SyncSaved()) return false;
  std::vector<InstanceInfo> listed, failed;
  WriteStudyRows(std::move(infos), listed, failed);
  std::set<std::string> studies;
  for (const InstanceInfo& info : listed) studies.insert(info.studyUID);
  std::lock_guard<std::mutex> hold(pendingLock_);
  // A commit took the queue meanwhile and wrote these rows itself (again: rows are kept once).
  if (pendingGeneration_ != generation) return true;
  for (size_t i = 0; i < count; ++i)
    if (pending_[i].saved && studies.count(pending_[i].info.studyUID)) pending_[i].inStudy = true;
  return true;
}

std::vector<Kelvast::Queued> Kelvast::TakePending(QueueJournal::Segment& journal) {
  std::vector<Queued> list;
  std::lock_guard<std::mutex> hold(pendingLock_);
  list.swap(pending_);
  ++pendingGeneration_;
  savedSinceAhead_ = 0;
  journal = journal_.Take();
  return list;
}

void Kelvast::ReplayJournals() {
  Guarded(false, [&] {
    for (QueueJournal::Segment& orphan : journal_.TakeOrphans()) {
      // Into this store's own journal before the orphan goes, so no moment holds them nowhere.
      bool taken = true;
      for (const std::string& line : orphan.Lines()) {
        Queued queued;
        if (FromJournalEntry(line, queued)) taken = Enqueue(std::move(queued)) && taken;
      }
      if (taken) orphan.Remove();
    }
    return CommitQueue();
  });
}

void Kelvast::WriteStudyRows(std::vector<InstanceInfo> list, std::vector<InstanceInfo>& listed,
                             std::vector<InstanceInfo>& failed) {
  std::map<std::string, std::vector<InstanceInfo>> byStudy;
  for (InstanceInfo& info : list) byStudy[info.studyUID].push_back(std::move(info));
  for (auto& study : byStudy) {
    // Named references, not a structured binding: the lambda below captures them.
    const std::string& studyUID = study.first;
    std::vector<InstanceInfo>& records = study.second;
    std::string path;
    bool ok = StudyDBPath(studyUID, path) &&
              Guarded(false, [&] { return studyDB_.AddInstances(path, records); });
    auto& target = ok ? listed : failed;
    target.insert(target.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
  }
}

void Kelvast::WriteRows(std::vector<InstanceInfo> list, std::vector<InstanceInfo>& failed,
                        std::vector<std::string>& written, std::vector<InstanceInfo> inStudy) {
  if (list.empty() && inStudy.empty()) return;
  std::vector<std::pair<std::string, std::string>> studyIds;  // (sid, studyUID) in queue order
  for (const std::vector<InstanceInfo>* part : {&inStudy, &list})
    for (const InstanceInfo& info : *part)
      if (std::none_of(studyIds.begin(), studyIds.end(), [&](const auto& s) { return s.first == info.sid; }))
        studyIds.emplace_back(info.sid, info.studyUID);

  // Study databases first: the patients database lists only studies whose instances are in.
  std::vector<InstanceInfo> listed = std::move(inStudy);
  WriteStudyRows(std::move(list), listed, failed);
  if (listed.empty()) return;
  std::set<std::string> studiesWritten;
  for (const InstanceInfo& info : listed) studiesWritten.insert(info.studyUID);
  if (!Guarded(false, [&] { return patientDB_.AddInstances(PatientsPath(), listed); })) {
    failed.insert(failed.end(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
    return;
  }
  for (const auto& [sid, studyUID] : studyIds)
    if (studiesWritten.count(studyUID)) written.push_back(sid);
}

bool Kelvast::Requeue(std::vector<InstanceInfo>& failed) {
  if (failed.empty()) return true;
  // Their files are on disk already: nothing left to flush.
  std::vector<Queued> again;
  bool journaled = true;
  std::lock_guard<std::mutex> hold(pendingLock_);
  ++pendingGeneration_;
  for (InstanceInfo& info : failed) {
    journaled = journal_.Append(JournalEntry(info)) && journaled;
    again.push_back({std::move(info), false, false});
  }
  pending_.insert(pending_.begin(), std::make_move_iterator(again.begin()), std::make_move_iterator(again.end()));
  return journaled;
}

bool Kelvast::WriteQueued(std::vector<Queued> list, std::vector<InstanceInfo>& failed,
                          std::vector<std::string>& written) {
  const bool anySaved = std::any_of(list.begin(), list.end(), [](const Queued& q) { return q.saved; });
  if (anySaved && !SyncSaved()) return false;
  std::vector<InstanceInfo> infos, inStudy;
  for (Queued& queued : list) (queued.inStudy ? inStudy : infos).push_back(std::move(queued.info));
  WriteRows(std::move(infos), failed, written, std::move(inStudy));
  return true;
}

bool Kelvast::WriteInstances(std::vector<Queued> list, QueueJournal::Segment journal) {
  std::vector<InstanceInfo> failed;
  std::vector<std::string> written;
  if (!WriteQueued(std::move(list), failed, written)) return false;
  bool ok = failed.empty();
  if (Requeue(failed)) journal.Remove();
  for (const std::string& sid : written) NotifyStudyChanged(sid);
  if (ok || !written.empty()) NotifyStoreChanged();
  return ok;
}

bool Kelvast::AddPatientRecord(const PatientRecord& study) {
  return Guarded(false, [&] {
    std::vector<InstanceInfo> infos;
    GetInstanceInfos(study, infos);
    // Rows name study databases by their UID; a record that cannot name a file is refused whole.
    std::vector<Queued> list;
    for (InstanceInfo& info : infos) {
      if (!StoreLayout::IsSafeUID(info.studyUID) || !StoreLayout::IsSafeUID(info.seriesUID) ||
          !StoreLayout::IsSafeUID(info.sopInstanceUID))
        return false;
      list.push_back({std::move(info), false, false});
    }
    return WriteInstances(std::move(list));
  });
}

bool Kelvast::StoreFile(SODcmFile* file, InstanceRecord* record) {
  return Guarded(false, [&] {
    StoredFile stored;
    // No row for a file that may not be on disk.
    if (!GetStorableInfo(file, stored.info) || !SaveDcmFile(stored.info, file, true)) return false;
    if (!CommitStored(stored)) {
      std::vector<InstanceInfo> failed{std::move(stored.info)};
      Requeue(failed);
      return false;
    }
    NotifyStudyChanged(stored.info.sid);
    NotifyStoreChanged();
    // The row as stored: an earlier row of the same instance is kept.
    std::string path;
    return !record || (StudyDBPath(stored.info.studyUID, path) &&
                       studyDB_.GetInstance(path, stored.info.instanceKey.c_str(), *record));
  });
}

bool Kelvast::CommitStored(StoredFile& stored) {
  std::unique_lock<std::mutex> hold(storedLock_);
  stored_.push_back(&stored);
  while (!stored.done) {
    if (storedLeader_) {
      storedDone_.wait(hold);
      continue;
    }
    // Leads one commit for every file stored meanwhile: one transaction per database for all.
    storedLeader_ = true;
    std::vector<StoredFile*> batch;
    batch.swap(stored_);
    hold.unlock();
    std::vector<InstanceInfo> list, failed;
    std::vector<std::string> written;
    try {
      for (const StoredFile* s : batch) list.push_back(s->info);
      WriteRows(std::move(list), failed, written);
    } catch (const std::exception&) {
      written.clear();
    }
    hold.lock();
    for (StoredFile* s : batch) {
      s->ok = std::find(written.begin(), written.end(), s->info.sid) != written.end();
      s->done = true;
    }
    storedLeader_ = false;
    storedDone_.notify_all();
  }
  return stored.ok;
}

bool Kelvast::QueueFile(SODcmFile* file) {
  return Guarded(false, [&] {
    Queued queued;
    queued.saved = true;
    return GetStorableInfo(file, queued.info) && SaveDcmFile(queued.info, file, false) &&
           Enqueue(std::move(queued));
  });
}

bool Kelvast::GetInPlaceInfo(const char* path, InstanceInfo& info) const {
  if (!path || !*path || std::strlen(path) >= PATH_MAX) return false;
  // Rows carry absolute folders: the deletes judge them against the store's own folder.
  std::string filePath = fs::absolute(path).lexically_normal().string();
  std::string seriesPath = StoreLayout::ParentOf(filePath);
  std::string studyPath = StoreLayout::ParentOf(seriesPath);
  // A study folder of "/" or none would make the study's rows point at the whole disk.
  if (seriesPath.empty() || studyPath.empty() || studyPath == "/") return false;
  SODcmFile file;
  if (!file.LoadFile(filePath.c_str(), false)) return false;
  file.ConvertToUTF8();
  if (!GetStorableInfo(&file, info)) return false;
  info.filePath = filePath;
  info.seriesPath = seriesPath;
  info.studyPath = studyPath;
  info.archivePath = studyPath;
  return true;
}

bool Kelvast::QueueFilePath(const char* path) {
  return Guarded(false, [&] {
    Queued queued;
    return GetInPlaceInfo(path, queued.info) && Enqueue(std::move(queued));
  });
}

bool Kelvast::CommitQueue() {
  return Guarded(false, [&] {
    QueueJournal::Segment journal;
    std::vector<Queued> list = TakePending(journal);
    return list.empty() || WriteInstances(std::move(list), std::move(journal));
  });
}

void Kelvast::SetSaveMode(int mode) { saveMode_ = mode; }

bool Kelvast::ReindexTexts(ReindexResult& result, const std::function<void(int, int)>& progress) {
  result = {};
  std::vector<SeriesRecord> all;
  if (!GetAllSeriesRecords(all, true)) return false;
  bool ok = true;
  for (const SeriesRecord& series : all) {
    ++result.series;
    InstanceInfo info;
    bool read = false;
    for (const InstanceRecord& instance : series.instances) {
      SODcmFile file;
      if (file.LoadFile(instance.storePath.c_str(), false) && file.ConvertToUTF8() && GetStorableInfo(&file, info) &&
          info.studyUID == series.studyUID && info.seriesUID == series.seriesUID) {
        read = true;
        break;
      }
    }
    if (!read) {
      ++result.unreadable;
    } else {
      std::string path;
      bool written = Guarded(false, [&] {
        return StudyDBPath(info.studyUID, path) && studyDB_.UpdateTexts(path, info) &&
               patientDB_.UpdateTexts(PatientsPath(), info);
      });
      if (written) ++result.rewritten;
      ok = ok && written;
    }
    if (progress) progress(result.series, static_cast<int>(all.size()));
  }
  if (result.rewritten) NotifyStoreChanged();
  return ok;
}

void Kelvast::AttachInstances(std::vector<SeriesRecord>& series, const std::string& studyUID) {
  std::string path;
  if (!StudyDBPath(studyUID, path)) return;
  for (SeriesRecord& s : series) studyDB_.GetSeriesInstances(path, s.id.c_str(), s.instances);
}

bool Kelvast::GetPatientRecords(std::vector<PatientRecord>& out, const char* like, bool withInstances) {
  return Guarded(false, [&] {
    if (!patientDB_.GetPatients(PatientsPath(), out, like)) return false;
    if (withInstances)
      for (PatientRecord& record : out) AttachInstances(record.series, record.studyUID);
    return true;
  });
}

bool Kelvast::GetStudyRecords(std::vector<StudyRecord>& out, const char* like, bool withInstances) {
  return Guarded(false, [&] {
    if (!patientDB_.GetStudies(PatientsPath(), out, like, true)) return false;
    if (withInstances)
      for (StudyRecord& record : out) AttachInstances(record.series, record.studyUID);
    return true;
  });
}

bool Kelvast::GetAllSeriesRecords(std::vector<SeriesRecord>& out, bool withInstances) {
  out.clear();
  std::vector<StudyRecord> studies;
  if (!GetStudyRecords(studies, nullptr, withInstances)) return false;
  for (StudyRecord& study : studies)
    out.insert(out.end(), std::make_move_iterator(study.series.begin()), std::make_move_iterator(study.series.end()));
  return true;
}

bool Kelvast::GetStudyCount(int* count) {
  if (!count) return false;
  return Guarded(false, [&] { return patientDB_.GetStudyCount(PatientsPath(), count); });
}

bool Kelvast::GetPatientRecord(const char* studyId, PatientRecord& out, bool withInstances) {
  return Guarded(false, [&] {
    if (!studyId || !patientDB_.GetPatient(PatientsPath(), studyId, out)) return false;
    std::string path;
    return StudyDBPath(out.studyUID, path) &&
           studyDB_.GetStudySeries(path, out.patientID.c_str(), out.studyUID.c_str(), out.series, withInstances);
  });
}

bool Kelvast::GetSeriesRecords(const char* studyId, std::vector<SeriesRecord>& out, bool withInstances) {
  return Guarded(false, [&] {
    PatientRecord study;
    if (!studyId || !patientDB_.GetPatient(PatientsPath(), studyId, study)) return false;
    std::string path;
    return StudyDBPath(study.studyUID, path) &&
           studyDB_.GetStudySeries(path, study.patientID.c_str(), study.studyUID.c_str(), out, withInstances);
  });
}

bool Kelvast::GetSeriesPatientRecord(const char* seriesId, PatientRecord& out) {
  return Guarded(false, [&] {
    SeriesRecord series;
    if (!seriesId || !patientDB_.GetSeries(PatientsPath(), seriesId, series)) return false;
    if (!patientDB_.GetPatientByStudy(PatientsPath(), series.patientID.c_str(), series.studyUID.c_str(), out))
      return false;
    out.series.clear();
    SeriesRecord full;
    std::string path;
    if (!StudyDBPath(series.studyUID, path) || !studyDB_.GetSeries(path, seriesId, full)) return false;
    out.series.push_back(std::move(full));
    return true;
  });
}

bool Kelvast::GetSeriesRecord(const char* seriesId, SeriesRecord& out) {
  return Guarded(false, [&] {
    if (!seriesId || !patientDB_.GetSeries(PatientsPath(), seriesId, out)) return false;
    out.instances.clear();
    std::string path;
    return StudyDBPath(out.studyUID, path) && studyDB_.GetSeries(path, seriesId, out);
  });
}

bool Kelvast::GetSeriesRecordByUID(const char* seriesUID, SeriesRecord& out) {
  return Guarded(false, [&] {
    if (!seriesUID || !patientDB_.GetSeriesByUID(PatientsPath(), seriesUID, out)) return false;
    out.instances.clear();
    std::string path;
    std::string key = out.id;
    return StudyDBPath(out.studyUID, path) && studyDB_.GetSeries(path, key.c_str(), out);
  });
}

bool Kelvast::GetAllInstanceRecords(std::vector<InstanceRecord>& out) {
  return Guarded(false, [&] {
    out.clear();
    std::vector<StudyRecord> studies;
    if (!patientDB_.GetStudies(PatientsPath(), studies, nullptr, false)) return false;
    std::vector<InstanceRecord> rows;
    for (const StudyRecord& study : studies) {
      std::string path;
      if (!StudyDBPath(study.studyUID, path)) continue;
      studyDB_.GetInstances(path, rows, nullptr);
      out.insert(out.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    return true;
  });
}

bool Kelvast::GetStudyInstanceRecords(const std::vector<std::string>& studyUIDs, std::vector<InstanceRecord>& out) {
  return Guarded(false, [&] {
    out.clear();
    std::vector<InstanceRecord> rows;
    for (const std::string& uid : studyUIDs) {
      std::string path;
      if (!StudyDBPath(uid, path)) continue;
      studyDB_.GetInstances(path, rows, nullptr);
      out.insert(out.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    return true;
  });
}

bool Kelvast::GetSeriesInstanceRecords(const std::vector<std::string>& seriesUIDs, std::vector<InstanceRecord>& out) {
  return Guarded(false, [&] {
    out.clear();
    std::vector<SeriesRecord> all;
    if (!patientDB_.GetAllSeries(PatientsPath(), all)) return false;
    std::vector<InstanceRecord> rows;
    for (const std::string& uid : seriesUIDs) {
      auto found = std::find_if(all.begin(), all.end(), [&](const SeriesRecord& s) { return s.seriesUID == uid; });
      std::string path;
      if (found == all.end() || !StudyDBPath(found->studyUID, path)) continue;
      if (studyDB_.GetSeriesInstances(path, found->id.c_str(), rows))
        out.insert(out.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    return true;
  });
}

bool Kelvast::GetReferencedSOPs(std::vector<SODcmReferencedSOP>& out) {
  return Guarded(false, [&] {
    out.clear();
    std::vector<StudyRecord> studies;
    if (!patientDB_.GetStudies(PatientsPath(), studies, nullptr, false)) return false;
    std::vector<SODcmReferencedSOP> rows;
    for (const StudyRecord& study : studies) {
      std::string path;
      if (!StudyDBPath(study.studyUID, path)) continue;
      studyDB_.GetReferencedSOPs(path, rows, nullptr);
      out.insert(out.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    return true;
  });
}

bool Kelvast::CheckCommitment(const std::vector<SODcmReferencedSOP>& requested, SODcmCommitResult& result) {
  // A peer deletes its copy of what we commit to: count only instances whose file is really here.
  std::vector<InstanceRecord> instances;
  if (!GetAllInstanceRecords(instances)) return false;
  return Guarded(false, [&] {
    std::unordered_set<std::string> wanted;
    for (const SODcmReferencedSOP& sop : requested) wanted.insert(sop.sopInstanceUID);
    std::unordered_set<std::string> held;
    for (const InstanceRecord& instance : instances) {
      std::error_code ec;
      if (wanted.count(instance.sopInstanceUID) && fs::is_regular_file(instance.storePath, ec))
        held.insert(instance.sopInstanceUID);
    }
    for (const SODcmReferencedSOP& sop : requested)
      (held.count(sop.sopInstanceUID) ? result.success : result.failed).push_back(sop);
    return true;
  });
}

void Kelvast::RemoveFolder(const std::string& folder) {
  if (!StoreLayout::IsDeletableInStore(folder_, folder)) return;
  // Together with the rename: a folder made again later has its entries flushed again.
  std::lock_guard<std::mutex> hold(foldersLock_);
  readyFolders_.clear();
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) return;
  // Renamed away before returning, so a re-import of the same study meanwhile is never hit.
  fs::path trash = fs::path(StoreLayout::Join(folder_, kTrashFolder));
  StoreLayout::CreatePrivateFolders(trash.string());
  fs::path target = trash / StoreLayout::UniqueName();
  fs::rename(folder, target, ec);
  if (ec) {
    RemoveAllQuietly(folder);
    return;
  }
  RemoveDetached(target);
}

void Kelvast::RemovePartialSaves() {
  // The walk takes a while in a large store; nothing waits for it.
  try {
    std::thread([folder = fs::path(folder_)] { RemoveStalePartialSaves(folder); }).detach();
  } catch (const std::system_error&) {
  }
}

void Kelvast::PurgeTrash() {
  std::error_code ec;
  fs::path trash = fs::path(StoreLayout::Join(folder_, kTrashFolder));
  if (!fs::is_directory(fs::symlink_status(trash, ec))) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(trash, ec)) RemoveDetached(entry.path());
}

void Kelvast::RemoveEmptyFolder(const std::string& folder) {
  if (!StoreLayout::IsDeletableInStore(folder_, folder)) return;
  std::lock_guard<std::mutex> hold(foldersLock_);
  readyFolders_.clear();
  std::error_code ec;
  fs::remove(folder, ec);  // fails, harmlessly, for a folder that is not empty
}

bool Kelvast::DeleteStudy(const char* studyId) {
  return Guarded(false, [&] {
    PatientRecord study;
    if (!studyId || !patientDB_.GetPatient(PatientsPath(), studyId, study)) return false;
    if (!patientDB_.DeletePatient(PatientsPath(), studyId)) return false;
    // Only this patient's series: a Study UID shared with another patient keeps that patient's
    // series folders and rows.
    bool ok = true;
    for (const SeriesRecord& series : study.series) {
      std::string path;
      bool rowsGone = StudyDBPath(series.studyUID, path) &&
                      Guarded(false, [&] { return studyDB_.DeleteSeries(path, series.id.c_str()); });
      if (rowsGone) {
        RemoveFolder(series.storePath);
      } else {
        ok = false;
      }
    }
    // The study's database and folder go with its last series: another patient's series under
    // the same Study UID, or one being imported, keep them.
    std::string path;
    if (ok && StudyDBPath(study.studyUID, path) && Guarded(false, [&] { return studyDB_.DeleteIfEmpty(path); }))
      RemoveEmptyFolder(StoreLayout::Join(folder_, StoreLayout::GetStudyPath(study)));
    NotifyStudyRemoved(studyId);
    return ok;
  });
}

bool Kelvast::DeleteSeries(const char* seriesId) {
  return Guarded(false, [&] {
    SeriesRecord series;
    if (!seriesId || !patientDB_.GetSeries(PatientsPath(), seriesId, series)) return false;
    patientDB_.DeleteSeries(PatientsPath(), seriesId);
    std::string path;
    if (!StudyDBPath(series.studyUID, path) || !studyDB_.DeleteSeries(path, seriesId)) return false;
    RemoveFolder(series.storePath);
    return true;
  });
}

bool Kelvast::ClearStore() {
  return Guarded(false, [&] {
    // Both locks throughout: a writer must never write into files being unlinked.
    std::lock_guard<std::recursive_mutex> holdStudy(studyDB_.Lock());
    std::lock_guard<std::recursive_mutex> holdPatients(patientDB_.Lock());
    studyDB_.CloseLocked();
    std::vector<StudyRecord> studies;
    if (!patientDB_.GetStudies(PatientsPath(), studies, nullptr, false)) return false;
    // Unlisted first, as DeleteStudy does: a crash midway leaves unlisted files, never listed
    // studies whose instances are gone.
    patientDB_.CloseLocked();
    BasicDB::RemoveFiles(PatientsPath());
    for (const StudyRecord& study : studies) {
      std::string path;
      if (StudyDBPath(study.studyUID, path)) BasicDB::RemoveFiles(path);
      RemoveFolder(study.storePath);
    }
    return true;
  });
}

bool Kelvast::GetValue(const char* name, std::string& value) {
  if (!name) return false;
  return Guarded(false, [&] { return valueDB_.GetValue(ValuesPath(), name, value); });
}

bool Kelvast::SetValue(const char* name, const char* value) {
  if (!name || !value) return false;
  return Guarded(false, [&] { return valueDB_.SetValue(ValuesPath(), name, value); });
}

bool Kelvast::SetPatientFlag(const char* studyId, const char* column, bool value) {
  bool ok = Guarded(false, [&] { return patientDB_.SetFlag(PatientsPath(), studyId, column, value); });
  if (ok) NotifyStudyChanged(studyId);
  return ok;
}

bool Kelvast::SetPatientState(const char* studyId, const char* column, int value) {
  bool ok = Guarded(false, [&] { return patientDB_.SetState(PatientsPath(), studyId, column, value); });
  if (ok) NotifyStudyChanged(studyId);
  return ok;
}

bool Kelvast::SetPatientText(const char* studyId, const char* column, const char* value) {
  bool ok = Guarded(false, [&] { return patientDB_.SetText(PatientsPath(), studyId, column, value); });
  if (ok) NotifyStudyChanged(studyId);
  return ok;
}

std::string Kelvast::GetPatientSID(const std::string& patientID, const std::string& studyUID) {
  return StoreLayout::StudyId(patientID, studyUID);
}

bool Kelvast::GetStoreFilePath(SODcmFile* file, std::string& path) {
  return Guarded(false, [&] {
    InstanceInfo info;
    if (!GetStorableInfo(file, info)) return false;
    path = StoreLayout::Join(folder_, StoreLayout::GetInstancePath(info));
    return true;
  });
}

int Kelvast::GetFreeSeriesNumber(const char* studyUID, int first) {
  std::vector<SeriesRecord> series;
  std::string path;
  if (studyUID && StudyDBPath(studyUID, path))
    Guarded(false, [&] { return studyDB_.GetAllSeries(path, series, false); });
  int n = first;
  for (bool moved = true; moved;) {
    moved = false;
    for (const SeriesRecord& s : series) {
      if (!s.seriesNumber.empty() && std::atoi(s.seriesNumber.c_str()) == n) {
        ++n;
        moved = true;
      }
    }
  }
  return n;
}

void Kelvast::AddListener(IKelvastListener* listener) {
  if (!listener) return;
  std::lock_guard<std::mutex> hold(listenerLock_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void Kelvast::RemoveListener(IKelvastListener* listener) {
  std::lock_guard<std::mutex> hold(listenerLock_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

std::vector<IKelvastListener*> Kelvast::Listeners() const {
  std::lock_guard<std::mutex> hold(listenerLock_);
  return listeners_;
}

void Kelvast::NotifyStudyChanged(const std::string& sid) {
  for (IKelvastListener* listener : Listeners()) listener->OnStudyChanged(sid);
}

void Kelvast::NotifyStudyRemoved(const std::string& sid) {
  for (IKelvastListener* listener : Listeners()) listener->OnStudyRemoved(sid);
}

void Kelvast::NotifyStoreChanged() {
  for (IKelvastListener* listener : Listeners()) listener->OnStoreChanged();
}

IKelvast* BuildDB(const char* storeFolder) {
  if (!storeFolder) return nullptr;
  try {
    return new Kelvast(storeFolder);
  } catch (const std::exception&) {
    return nullptr;
  }
}

void ReleaseDB(IKelvast* store) { delete store; }
