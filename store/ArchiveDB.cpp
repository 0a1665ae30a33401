#include "ArchiveDB.h"

#include <algorithm>
#include <filesystem>

#include "Guarded.h"
#include "RowReader.h"
#include "StoreLayout.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultStore = "LOCAL";

}  // namespace

ArchiveDB::~ArchiveDB() { ReleaseAll(); }

bool ArchiveDB::IsValidStoreName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name != "DB" &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool ArchiveDB::OpenRoot(const char* root) {
  if (!StoreLayout::CreatePrivateFolders(root)) return false;
  StoreLayout::MakePrivate(root);
  root_ = root;
  std::string path = StoreLayout::Join(root_, "DB/archive");
  StoreLayout::PrepareDatabaseFile(path);
  const bool opened = Guarded(false, [&] {
    db_.Open(path.c_str());
    db_.Execute(
        "CREATE TABLE IF NOT EXISTS kelvast (id INTEGER PRIMARY KEY AUTOINCREMENT,status TEXT DEFAULT "
        "'Waiting',store_name TEXT UNIQUE NOT NULL,updated_time INTEGER DEFAULT (strftime('%s','now')),created_time "
        "INTEGER DEFAULT (strftime('%s','now')));");
    return true;
  });
  if (!opened) {
    db_.Close();
    return false;
  }
  dbPath_ = path;
  return true;
}

bool ArchiveDB::ReadStoreRecord(const std::string& name, StoreRecord& record) {
  SqlText sql;
  CppSQLite3Query q = db_.Query(sql.Format("SELECT * FROM kelvast WHERE store_name = %Q", name.c_str()));
  if (q.Eof()) return false;
  RowReader<StoreRecord>(q).Read(q, record);
  return true;
}

bool ArchiveDB::EnsureStoreRecord(const std::string& name, StoreRecord& record, bool& added) {
  added = false;
  if (ReadStoreRecord(name, record)) return true;
  SqlText sql;
  db_.Execute(sql.Format("INSERT OR IGNORE INTO kelvast (store_name) VALUES (%Q);", name.c_str()));
  added = ReadStoreRecord(name, record);
  return added;
}

void ArchiveDB::SetSaveMode(int mode) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  saveMode_ = mode;
  for (auto& [name, opened] : stores_) opened.store->SetSaveMode(mode);
}

IKelvast* ArchiveDB::OpenStore(const char* name, StoreRecord* record) {
  std::string key = name ? name : kDefaultStore;
  if (!IsValidStoreName(key)) return nullptr;
  IKelvast* result = nullptr;
  bool added = false;
  std::vector<IArchiveDBListener*> listeners;
  const bool opened = Guarded(false, [&] {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (dbPath_.empty()) return false;
    auto found = stores_.find(key);
    if (found != stores_.end()) {
      StoreRecord row;
      if (record && ReadStoreRecord(key, row)) *record = row;
    } else {
      StoreRecord row;
      if (!EnsureStoreRecord(key, row, added) && !ReadStoreRecord(key, row)) return false;
      std::unique_ptr<IKelvast> store(BuildDB(StoreLayout::Join(root_, key).c_str()));
      if (!store) return false;
      StoreLayout::CreatePrivateFolders(StoreLayout::Join(root_, key));
      store->SetSaveMode(saveMode_);
      found = stores_.emplace(key, OpenedStore{std::move(store), 0}).first;
      if (record) *record = row;
    }
    ++found->second.count;
    result = found->second.store.get();
    listeners = listeners_;
    return true;
  });
  if (!opened) return nullptr;
  if (added)
    for (IArchiveDBListener* listener : listeners) listener->OnStoreAdded(this);
  return result;
}

bool ArchiveDB::GetStoreRecord(const char* name, StoreRecord& record) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (dbPath_.empty()) return false;
  return Guarded(false, [&] { return ReadStoreRecord(name ? name : kDefaultStore, record); });
}

IKelvast* ArchiveDB::GetStore(const char* name) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (dbPath_.empty()) return nullptr;
  auto found = stores_.find(name ? name : kDefaultStore);
  return found == stores_.end() ? nullptr : found->second.store.get();
}

bool ArchiveDB::ReleaseStore(IKelvast* store) {
  if (!store) return false;
  std::unique_ptr<IKelvast> released;
  {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto found = std::find_if(stores_.begin(), stores_.end(),
                              [store](const auto& entry) { return entry.second.store.get() == store; });
    if (found == stores_.end()) return false;
    if (--found->second.count == 0) {
      released = std::move(found->second.store);
      stores_.erase(found);
    }
  }
  return true;
}

bool ArchiveDB::UpdateStoreRecord(const StoreRecord& record) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (dbPath_.empty()) return false;
  return Guarded(false, [&] {
    SqlText sql;
    db_.Execute(sql.Format(
        "UPDATE kelvast SET status = %Q, updated_time = %lld, created_time = %lld WHERE id = %d and store_name = %Q;",
        record.status.c_str(), static_cast<long long>(record.updatedTime), static_cast<long long>(record.createdTime),
        record.id, record.storeName.c_str()));
    return true;
  });
}

bool ArchiveDB::GetStoreRecords(std::vector<StoreRecord>& records) {
  records.clear();
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (dbPath_.empty()) return false;
  const bool read = Guarded(false, [&] {
    CppSQLite3Query q = db_.Query("SELECT * FROM kelvast");
    ForEachRow<StoreRecord>(q, [&](StoreRecord&& record) { records.push_back(std::move(record)); });
    return true;
  });
  if (!read) records.clear();
  return read;
}

void ArchiveDB::ReleaseAll() {
  std::map<std::string, OpenedStore> released;
  {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    released.swap(stores_);
  }
}

bool ArchiveDB::HasStore(const char* name) {
  if (!name) return false;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return !dbPath_.empty() && stores_.count(name) > 0;
}

void ArchiveDB::AddListener(IArchiveDBListener* listener) {
  if (!listener) return;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void ArchiveDB::RemoveListener(IArchiveDBListener* listener) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

IArchiveDB* BuildArchiveDB(const char* root) {
  if (!root) return nullptr;
  return Guarded<IArchiveDB*>(nullptr, [&]() -> IArchiveDB* {
    auto archive = std::make_unique<ArchiveDB>();
    if (!StoreLayout::CreatePrivateFolders(root)) return nullptr;
    archive->OpenRoot(root);
    return archive.release();
  });
}

void ReleaseArchiveDB(IArchiveDB* archive) { delete archive; }
