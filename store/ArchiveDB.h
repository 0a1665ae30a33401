#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CppSQLite3.h"
#include "IArchiveDB.h"

// The named stores under one root: <root>/<name>, recorded in <root>/DB/archive.
class ArchiveDB : public IArchiveDB {
 public:
  ArchiveDB() = default;
  ~ArchiveDB() override;

  // Creates the root and DB/archive; false leaves the archive closed.
  bool OpenRoot(const char* root);

  void SetSaveMode(int mode) override;
  IKelvast* OpenStore(const char* name, StoreRecord* record) override;
  bool GetStoreRecord(const char* name, StoreRecord& record) override;
  IKelvast* GetStore(const char* name) override;
  bool ReleaseStore(IKelvast* store) override;
  bool UpdateStoreRecord(const StoreRecord& record) override;
  bool GetStoreRecords(std::vector<StoreRecord>& records) override;
  void ReleaseAll() override;
  bool HasStore(const char* name) override;
  void AddListener(IArchiveDBListener* listener) override;
  void RemoveListener(IArchiveDBListener* listener) override;

  // A name that may become a folder below the root.
  static bool IsValidStoreName(const std::string& name);

 private:
  struct OpenedStore {
    std::unique_ptr<IKelvast> store;
    int count = 0;
  };

  bool ReadStoreRecord(const std::string& name, StoreRecord& record);
  bool EnsureStoreRecord(const std::string& name, StoreRecord& record, bool& added);

  int saveMode_ = 0;
  std::recursive_mutex lock_;  // guards stores_, saveMode_, the connection and listeners_
  std::string root_;
  std::string dbPath_;  // empty while closed
  CppSQLite3DB db_;
  std::map<std::string, OpenedStore> stores_;
  std::vector<IArchiveDBListener*> listeners_;
};
