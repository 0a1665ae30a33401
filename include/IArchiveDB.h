#pragma once

#include <vector>

#include "IKelvast.h"
#include "StoreRecord.h"

class IArchiveDB;

class IArchiveDBListener {
 public:
  virtual void OnStoreAdded(IArchiveDB* archive) = 0;
};

// The named study stores under one root folder, each in <root>/<name>, recorded in
// <root>/DB/archive. Stores are reference counted; the archive owns them.
class IArchiveDB {
 public:
  IArchiveDB() = default;
  IArchiveDB(const IArchiveDB&) = default;
  IArchiveDB& operator=(const IArchiveDB&) { return *this; }
  // Deletes every open store, whatever its count.
  virtual ~IArchiveDB() = default;

  virtual void SetSaveMode(int mode) = 0;
  // The store of that name ("LOCAL" for null), built on first request; one more reference.
  virtual IKelvast* OpenStore(const char* name, StoreRecord* record) = 0;
  virtual bool GetStoreRecord(const char* name, StoreRecord& record) = 0;
  virtual IKelvast* GetStore(const char* name) = 0;
  // One reference less; at zero the store is deleted.
  virtual bool ReleaseStore(IKelvast* store) = 0;
  virtual bool UpdateStoreRecord(const StoreRecord& record) = 0;
  virtual bool GetStoreRecords(std::vector<StoreRecord>& records) = 0;
  virtual void ReleaseAll() = 0;
  virtual bool HasStore(const char* name) = 0;
  virtual void AddListener(IArchiveDBListener* listener) = 0;
  virtual void RemoveListener(IArchiveDBListener* listener) = 0;
};

// The archive on the root folder (created when missing); null when the root cannot be made.
IArchiveDB* BuildArchiveDB(const char* root);
void ReleaseArchiveDB(IArchiveDB* archive);
