#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Jorvel.h"
#include "SOLock.h"

struct sqlite3;

// One model case; texts are UTF-8.
struct CaseRecord {
  int id = 0;  // case_local's row id for local cases, the service's id for public and private ones
  std::string modality;
  std::string body_part;
  std::string case_name;
  std::string finding;
  std::string conclusion;
};

struct CaseTreeBodyPart {
  std::string bodyPart;
  std::vector<CaseRecord> cases;
};

struct CaseTreeModality {
  std::string modality;
  std::vector<CaseTreeBodyPart> bodyParts;
};

// Told when one of the case lists changed, on the thread that changed it, with the library's
// listener lock held (a listener must not add or remove itself from inside a notification).
class ICaseLibraryCallback {
 public:
  virtual void OnLocalCasesChanged() {}
  virtual void OnPublicCasesChanged() {}
  virtual void OnPrivateCasesChanged() {}

 protected:
  ~ICaseLibraryCallback() = default;
};

// The model cases of three sources: local ones in case.db, public ones and the logged-in user's
// private ones on the consultation service. Local changes and the private add, delete and update
// run on the caller's thread; the fetches run on a thread of their own, one at a time per source.
class CaseLibrary : public IJorvelCallback {
 public:
  // The process's library on <config>/report/case.db, made on first call, never destroyed.
  static CaseLibrary* GetInstance();

  // A library on the given database file (its folder is created when missing). When the file
  // cannot be opened the local list stays empty and every local change fails.
  explicit CaseLibrary(const std::string& dbPath);
  ~CaseLibrary();
  CaseLibrary(const CaseLibrary&) = delete;
  CaseLibrary& operator=(const CaseLibrary&) = delete;

  void AddListener(ICaseLibraryCallback* listener);
  void RemoveListener(ICaseLibraryCallback* listener);

  // c.id becomes the new row id.
  bool AddLocalCase(CaseRecord& c);
  bool DeleteLocalCase(const CaseRecord& c);
  bool UpdateLocalCase(const CaseRecord& c);
  // Reads the table, newest first.
  void LoadLocalCases(std::vector<CaseRecord>& out);
  // The local list, loaded from the table when it is still empty.
  void GetLocalCases(std::vector<CaseRecord>& out);
  std::vector<CaseRecord> GetPublicCases();
  std::vector<CaseRecord> GetPrivateCases();

  void FetchPublicCases();
  // Only while a user is logged in.
  void FetchPrivateCases();
  // Waits until the running fetches are done.
  void WaitForFetches();

  bool AddPrivateCase(CaseRecord& c);
  bool DeletePrivateCase(const CaseRecord& c);
  bool UpdatePrivateCase(const CaseRecord& c);

  // Adds every record of a CSV file (five fields: modality, body part, case name, finding,
  // conclusion; quoted or plain) in one transaction; records with another number of fields are
  // skipped. False for a missing file or when any insert failed (then nothing is added).
  bool ImportCSV(const char* path);
  // Writes the local cases to folder/LocalCaseList.csv, every field quoted, CR LF line ends.
  // False when the folder does not exist or the file cannot be written.
  bool ExportCSV(const char* folder);

  void OnLogin(int result) override;
  void OnLogout() override;

  static void BuildCaseTree(const std::vector<CaseRecord>& cases, std::vector<CaseTreeModality>& tree);

 private:
  enum class Source { Local, Public, Private };
  bool Exec(const std::string& sql);
  bool InsertRow(const CaseRecord& c, int& id);
  void ReloadLocal();
  void Notify(Source source);
  void RunFetch(bool isPublic);

  sqlite3* db_ = nullptr;  // used under listsLock_

  SOLock listenersLock_;  // guards listeners_
  std::vector<ICaseLibraryCallback*> listeners_;

  std::recursive_mutex listsLock_;  // guards db_ use and the three lists
  std::vector<CaseRecord> local_;
  std::vector<CaseRecord> public_;
  std::vector<CaseRecord> private_;

  std::mutex threadsLock_;  // guards the two fetch threads
  std::atomic<bool> publicFetching_{false};
  std::atomic<bool> privateFetching_{false};
  std::thread publicThread_;
  std::thread privateThread_;
};
