#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "IKelvast.h"
#include "PatientDB.h"
#include "QueueJournal.h"
#include "StudyDB.h"
#include "ValueDB.h"

// One study store on a folder. Files are written into the folder tree at once; their index rows
// go into the study databases first and the patients database last, each in one transaction, so
// a listed study always has its instances and a crash leaves at most files without rows.
// A queued file is in the store's journal before QueueFile answers, and the store opened after a
// crash commits what the journal holds, so a file once queued gets its rows.
class Kelvast : public IKelvast {
 public:
  explicit Kelvast(const std::string& folder);
  // Pending records are written (silently) so no queued file is left unindexed.
  ~Kelvast() override;

  bool AddPatientRecord(const PatientRecord& study) override;
  bool StoreFile(SODcmFile* file, InstanceRecord* record) override;
  bool QueueFile(SODcmFile* file) override;
  bool QueueFilePath(const char* path) override;
  bool CommitQueue() override;
  void SetSaveMode(int mode) override;
  bool GetPatientRecords(std::vector<PatientRecord>& out, const char* like, bool withInstances) override;
  bool GetStudyRecords(std::vector<StudyRecord>& out, const char* like, bool withInstances) override;
  bool GetAllSeriesRecords(std::vector<SeriesRecord>& out, bool withInstances) override;
  bool GetReferencedSOPs(std::vector<SODcmReferencedSOP>& out) override;
  bool GetAllInstanceRecords(std::vector<InstanceRecord>& out) override;
  bool CheckCommitment(const std::vector<SODcmReferencedSOP>& requested, SODcmCommitResult& result) override;
  bool GetStudyInstanceRecords(const std::vector<std::string>& studyUIDs, std::vector<InstanceRecord>& out) override;
  bool GetSeriesInstanceRecords(const std::vector<std::string>& seriesUIDs, std::vector<InstanceRecord>& out) override;
  bool GetSeriesRecords(const char* studyId, std::vector<SeriesRecord>& out, bool withInstances) override;
  bool GetPatientRecord(const char* studyId, PatientRecord& out, bool withInstances) override;
  bool GetSeriesPatientRecord(const char* seriesId, PatientRecord& out) override;
  bool GetSeriesRecord(const char* seriesId, SeriesRecord& out) override;
  bool GetSeriesRecordByUID(const char* seriesUID, SeriesRecord& out) override;
  bool DeleteStudy(const char* studyId) override;
  bool DeleteSeries(const char* seriesId) override;
  bool GetStudyCount(int* count) override;
  void AddListener(IKelvastListener* listener) override;
  void RemoveListener(IKelvastListener* listener) override;
  std::string GetPatientSID(const std::string& patientID, const std::string& studyUID) override;
  bool GetValue(const char* name, std::string& value) override;
  bool SetValue(const char* name, const char* value) override;
  bool SetPatientFlag(const char* studyId, const char* column, bool value) override;
  bool SetPatientState(const char* studyId, const char* column, int value) override;
  bool SetPatientText(const char* studyId, const char* column, const char* value) override;
  bool GetStoreFilePath(SODcmFile* file, std::string& path) override;
  int GetFreeSeriesNumber(const char* studyUID, int first) override;
  bool ClearStore() override;

  const std::string& Folder() const { return folder_; }

  // What ReindexTexts did: series looked at, series rewritten, series none of whose files could
  // be read (their rows are left as they were).
  struct ReindexResult {
    int series = 0;
    int rewritten = 0;
    int unreadable = 0;
  };
  // Reads the free texts (patient name, study and series descriptions, body part, institution)
  // again from one stored file of each series, through the file's character set, and rewrites
  // them in every table that holds them. Corrects stores indexed when texts were taken as UTF-8
  // whatever their character set. False when the store's databases cannot be read or written.
  bool ReindexTexts(ReindexResult& result, const std::function<void(int done, int total)>& progress = {});

 private:
  // A record waiting for its commit; saved: its file is the store's own copy, written but perhaps
  // not yet on disk.
  struct Queued {
    InstanceInfo info;
    bool saved = false;
    bool inStudy = false;  // its file is on disk and its study database's rows are written
  };

  std::string PatientsPath() const;
  std::string ValuesPath() const;
  // False for a Study UID that cannot name a file.
  bool StudyDBPath(const std::string& studyUID, std::string& path) const;
  // The file's record when its UIDs may name files and folders of the store.
  bool GetStorableInfo(SODcmFile* file, InstanceInfo& info) const;
  // A file saved by StoreFile, on disk, waiting for its rows.
  struct StoredFile {
    InstanceInfo info;
    bool done = false;  // guarded by storedLock_
    bool ok = false;
  };
  // Writes the rows of a stored file together with those of the files other threads store
  // meanwhile; true when its rows are in.
  bool CommitStored(StoredFile& stored);
  // Makes a series folder exist with its entry, and its study folder's, on disk: once per folder
  // while it stays, so the flusher need only flush the series folder itself.
  bool PrepareSeriesFolder(const std::string& folder);
  // Saves the file into the store: on disk when this returns if durable, else written to the
  // system only (a replaced file is still on disk before its rename).
  bool SaveDcmFile(const InstanceInfo& info, SODcmFile* file, bool durable);
  // The record of a file registered where it lies; false when it cannot be.
  bool GetInPlaceInfo(const char* path, InstanceInfo& info) const;
  // The journal line of a record, and the record again from a line.
  static std::string JournalEntry(const InstanceInfo& info);
  bool FromJournalEntry(const std::string& line, Queued& queued) const;
  // Journals and queues a record; false when the journal cannot take it.
  bool Enqueue(Queued queued);
  // Queues what journals of stores that ended without their commit hold, and commits it.
  void ReplayJournals();
  // Every file of the store's filesystem on disk, in one flush; false when the system reports
  // a write error since the last one.
  bool SyncSaved();
  // The store's folder, opened on first use; -1 when it cannot be. Called under foldersLock_.
  int StoreFolderFd();
  // Writes the rows of list; what could not be written goes to failed, the study ids written
  // (in order of first appearance) to written.
  // inStudy: records whose study rows are written already, listed with the others.
  void WriteRows(std::vector<InstanceInfo> list, std::vector<InstanceInfo>& failed, std::vector<std::string>& written,
                 std::vector<InstanceInfo> inStudy = {});
  // The study databases' part of WriteRows: what was written goes to listed, the rest to failed.
  void WriteStudyRows(std::vector<InstanceInfo> list, std::vector<InstanceInfo>& listed,
                      std::vector<InstanceInfo>& failed);
  // While an association brings many files, their files are flushed and their study rows
  // written ahead of the commit, every kAheadBatch files, on a thread of the store's own; the
  // patients database still lists a study only at the commit. Rows are kept once, so a commit
  // that overtakes the thread only writes some rows twice over.
  void WakeAhead();
  void RunAhead();
  bool WriteAhead();
  // The saved files made durable, the records' rows, then failed records back to the front of
  // the queue, the notifications, and the journal of the list gone once nothing of it waits
  // there. When the files could not be made durable no row is written and the journal is left
  // for the next opening of the store, which takes only the files that still load.
  bool WriteInstances(std::vector<Queued> list, QueueJournal::Segment journal = {});
  // The saved files of list made durable, then the rows of all; false, with no row written, when
  // the files could not be made durable.
  bool WriteQueued(std::vector<Queued> list, std::vector<InstanceInfo>& failed, std::vector<std::string>& written);
  // Back to the front of the queue, journaled again; false when the journal did not take them all.
  bool Requeue(std::vector<InstanceInfo>& failed);
  // The whole queue and its journal, for one commit.
  std::vector<Queued> TakePending(QueueJournal::Segment& journal);
  void AttachInstances(std::vector<SeriesRecord>& series, const std::string& studyUID);
  // Moves a folder of the store into the trash and deletes it there in the background; paths
  // outside the store (files registered in place) are left alone.
  void RemoveFolder(const std::string& folder);
  // Removes a folder of the store only when it is empty.
  void RemoveEmptyFolder(const std::string& folder);
  void PurgeTrash();
  // Removes, in the background, the temporary files of saves that a kill cut short.
  void RemovePartialSaves();

  std::vector<IKelvastListener*> Listeners() const;
  void NotifyStudyChanged(const std::string& sid);
  void NotifyStudyRemoved(const std::string& sid);
  void NotifyStoreChanged();

  const std::string folder_;
  StudyDB studyDB_;
  PatientDB patientDB_;
  ValueDB valueDB_;
  std::atomic<int> saveMode_{0};
  std::mutex foldersLock_;  // guards readyFolders_ and storeFd_
  std::unordered_set<std::string> readyFolders_;
  // The store's folder, open from the first save on, so a flush through it reports every write
  // error of its filesystem since.
  int storeFd_ = -1;

  std::mutex storedLock_;  // guards stored_, storedLeader_ and the StoredFile flags
  std::condition_variable storedDone_;
  std::vector<StoredFile*> stored_;
  bool storedLeader_ = false;

  std::mutex pendingLock_;  // guards pending_, journal_, pendingGeneration_ and savedSinceAhead_
  std::vector<Queued> pending_;
  QueueJournal journal_;
  uint64_t pendingGeneration_ = 0;  // moves on whenever pending_ is taken or reordered
  size_t savedSinceAhead_ = 0;
  static constexpr size_t kAheadBatch = 200;

  std::mutex aheadLock_;  // guards the three below and the start of aheadThread_
  std::condition_variable aheadWake_;
  bool aheadWanted_ = false;
  bool aheadStop_ = false;
  std::thread aheadThread_;

  mutable std::mutex listenerLock_;  // guards listeners_; never held while a listener runs
  std::vector<IKelvastListener*> listeners_;
};
