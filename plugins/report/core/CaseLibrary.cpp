#include "CaseLibrary.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "CaseCsv.h"
#include "Gossamy.h"
#include "SOUtil.h"

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS case_local(id INTEGER PRIMARY KEY AUTOINCREMENT,modality TEXT NOT "
    "NULL,body_part TEXT NOT NULL,case_name TEXT NOT NULL,finding TEXT NOT NULL,conclusion TEXT NOT "
    "NULL,created_time TEXT DEFAULT (datetime('now','localtime')));";
constexpr const char* kInsert =
    "INSERT INTO case_local (modality, body_part, case_name, finding, conclusion) VALUES (?, ?, ?, ?, ?);";
constexpr const char* kSelect = "SELECT * FROM case_local WHERE 1=1 order by id desc";

// A prepared statement, finalized when it leaves scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }
  void BindCase(const CaseRecord& c) {
    const std::string* texts[] = {&c.modality, &c.body_part, &c.case_name, &c.finding, &c.conclusion};
    for (int k = 0; k < 5; ++k)
      sqlite3_bind_text(stmt_, k + 1, texts[k]->data(), static_cast<int>(texts[k]->size()), SQLITE_TRANSIENT);
  }
  bool Run() { return sqlite3_step(stmt_) == SQLITE_DONE; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string(text, sqlite3_column_bytes(stmt, column)) : std::string();
}

JorvelCase ToJorvel(const CaseRecord& c) {
  return JorvelCase{c.id, c.modality, c.body_part, c.case_name, c.finding, c.conclusion};
}

CaseRecord FromJorvel(const JorvelCase& c) {
  return CaseRecord{c.id, c.modality, c.bodyPart, c.caseName, c.finding, c.conclusion};
}

}  // namespace

CaseLibrary* CaseLibrary::GetInstance() {
  static CaseLibrary* instance = [] {
    auto* made = new CaseLibrary(std::string(Gossamy::GetConfigPath()) + "report/case.db");
    // The library lives until the process ends; its fetch threads end before the globals they
    // use (the web client's) are destroyed.
    std::atexit([] { instance->WaitForFetches(); });
    return made;
  }();
  return instance;
}

CaseLibrary::CaseLibrary(const std::string& dbPath) {
  SOUtil::CreateDirByFile(dbPath.c_str());
  if (sqlite3_open(dbPath.c_str(), &db_) != SQLITE_OK || !Exec(kCreateTable)) {
    sqlite3_close(db_);
    db_ = nullptr;
  } else {
    sqlite3_busy_timeout(db_, 60000);
  }
  GetJorvel()->AddCallback(this);
}

CaseLibrary::~CaseLibrary() {
  GetJorvel()->RemoveCallback(this);
  WaitForFetches();
  sqlite3_close(db_);
}

void CaseLibrary::AddListener(ICaseLibraryCallback* listener) {
  SOAutoLock lock(listenersLock_);
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void CaseLibrary::RemoveListener(ICaseLibraryCallback* listener) {
  SOAutoLock lock(listenersLock_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void CaseLibrary::Notify(Source source) {
  SOAutoLock lock(listenersLock_);
  for (ICaseLibraryCallback* listener : listeners_) {
    switch (source) {
      case Source::Local: listener->OnLocalCasesChanged(); break;
      case Source::Public: listener->OnPublicCasesChanged(); break;
      case Source::Private: listener->OnPrivateCasesChanged(); break;
    }
  }
}

bool CaseLibrary::Exec(const std::string& sql) {
  return db_ && sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CaseLibrary::InsertRow(const CaseRecord& c, int& id) {
  Statement insert(db_, kInsert);
  if (!insert) return false;
  insert.BindCase(c);
  if (!insert.Run()) return false;
  id = static_cast<int>(sqlite3_last_insert_rowid(db_));
  return true;
}

void CaseLibrary::LoadLocalCases(std::vector<CaseRecord>& out) {
  out.clear();
  std::lock_guard lock(listsLock_);
  Statement select(db_, kSelect);
  if (!select) return;
  sqlite3_stmt* stmt = select.get();
  const int columns = sqlite3_column_count(stmt);
  int idColumn = -1;
  int textColumns[5] = {-1, -1, -1, -1, -1};
  static const char* kNames[5] = {"modality", "body_part", "case_name", "finding", "conclusion"};
  for (int k = 0; k < columns; ++k) {
    const std::string name = sqlite3_column_name(stmt, k);
    if (name == "id") idColumn = k;
    for (int t = 0; t < 5; ++t)
      if (name == kNames[t]) textColumns[t] = k;
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    CaseRecord c;
    c.id = idColumn >= 0 ? sqlite3_column_int(stmt, idColumn) : 0;
    std::string* texts[] = {&c.modality, &c.body_part, &c.case_name, &c.finding, &c.conclusion};
    for (int t = 0; t < 5; ++t)
      if (textColumns[t] >= 0) *texts[t] = ColumnText(stmt, textColumns[t]);
    out.push_back(std::move(c));
  }
}

void CaseLibrary::ReloadLocal() {
  std::vector<CaseRecord> rows;
  LoadLocalCases(rows);
  std::lock_guard lock(listsLock_);
  local_ = std::move(rows);
}

void CaseLibrary::GetLocalCases(std::vector<CaseRecord>& out) {
  std::lock_guard lock(listsLock_);
  if (local_.empty()) ReloadLocal();
  out = local_;
}

std::vector<CaseRecord> CaseLibrary::GetPublicCases() {
  std::lock_guard lock(listsLock_);
  return public_;
}

std::vector<CaseRecord> CaseLibrary::GetPrivateCases() {
  std::lock_guard lock(listsLock_);
  return private_;
}

bool CaseLibrary::AddLocalCase(CaseRecord& c) {
  {
    std::lock_guard lock(listsLock_);
    int id = 0;
    if (!InsertRow(c, id)) return false;
    c.id = id;
    ReloadLocal();
  }
  Notify(Source::Local);
  return true;
}

bool CaseLibrary::DeleteLocalCase(const CaseRecord& c) {
  {
    std::lock_guard lock(listsLock_);
    if (!Exec(SOUtil::Format("DELETE FROM case_local WHERE id = %d;", c.id))) return false;
    ReloadLocal();
  }
  Notify(Source::Local);
  return true;
}

bool CaseLibrary::UpdateLocalCase(const CaseRecord& c) {
  {
    std::lock_guard lock(listsLock_);
    Statement update(db_,
                     "UPDATE case_local SET modality = ?, body_part = ?, case_name = ?, finding = ?, "
                     "conclusion = ? WHERE id = ?;");
    if (!update) return false;
    update.BindCase(c);
    sqlite3_bind_int(update.get(), 6, c.id);
    if (!update.Run()) return false;
    ReloadLocal();
  }
  Notify(Source::Local);
  return true;
}

bool CaseLibrary::ImportCSV(const char* path) {
  if (!path || !SOUtil::FileExist(path)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto records = CaseCsv::Parse(bytes);
  {
    std::lock_guard lock(listsLock_);
    if (!Exec("BEGIN")) return false;
    Statement insert(db_, kInsert);
    bool ok = static_cast<bool>(insert);
    for (size_t k = 0; ok && k < records.size(); ++k) {
      const auto& fields = records[k];
      if (fields.size() != 5) continue;
      insert.BindCase(CaseRecord{0, fields[0], fields[1], fields[2], fields[3], fields[4]});
      ok = insert.Run();
      sqlite3_reset(insert.get());
    }
    if (!ok || !Exec("COMMIT")) {
      Exec("ROLLBACK");
      return false;
    }
    ReloadLocal();
  }
  Notify(Source::Local);
  return true;
}

bool CaseLibrary::ExportCSV(const char* folder) {
  if (!folder || !SOUtil::DirExist(folder)) return false;
  std::vector<CaseRecord> cases;
  GetLocalCases(cases);
  std::string out;
  for (const CaseRecord& c : cases)
    CaseCsv::AppendRecord(out, {&c.modality, &c.body_part, &c.case_name, &c.finding, &c.conclusion});
  std::string path = folder;
  if (path.back() != '/') path += '/';
  std::ofstream file(path + "LocalCaseList.csv", std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file.flush());
}

void CaseLibrary::FetchPublicCases() {
  std::lock_guard lock(threadsLock_);
  if (publicFetching_.exchange(true)) return;
  if (publicThread_.joinable()) publicThread_.join();
  publicThread_ = std::thread([this] { RunFetch(true); });
}

void CaseLibrary::FetchPrivateCases() {
  if (!GetJorvel()->IsLoggedIn()) return;
  std::lock_guard lock(threadsLock_);
  if (privateFetching_.exchange(true)) return;
  if (privateThread_.joinable()) privateThread_.join();
  privateThread_ = std::thread([this] { RunFetch(false); });
}

void CaseLibrary::WaitForFetches() {
  std::lock_guard lock(threadsLock_);
  if (publicThread_.joinable()) publicThread_.join();
  if (privateThread_.joinable()) privateThread_.join();
}

void CaseLibrary::RunFetch(bool isPublic) {
  std::vector<JorvelCase> cases;
  const bool ok = isPublic ? Web_GetPublicCase(&cases) : Web_GetPrivateCase(&cases);
  if (ok) {
    std::vector<CaseRecord> records;
    records.reserve(cases.size());
    for (const JorvelCase& c : cases) records.push_back(FromJorvel(c));
    {
      std::lock_guard lock(listsLock_);
      (isPublic ? public_ : private_) = std::move(records);
    }
    Notify(isPublic ? Source::Public : Source::Private);
  }
  (isPublic ? publicFetching_ : privateFetching_) = false;
}

bool CaseLibrary::AddPrivateCase(CaseRecord& c) {
  JorvelCase item = ToJorvel(c);
  if (!Web_PrivateCaseAdd(&item, nullptr)) return false;
  c = FromJorvel(item);
  {
    std::lock_guard lock(listsLock_);
    private_.push_back(c);
  }
  Notify(Source::Private);
  return true;
}

bool CaseLibrary::DeletePrivateCase(const CaseRecord& c) {
  const JorvelCase item = ToJorvel(c);
  if (!Web_PrivateCaseDelete(&item, nullptr)) return false;
  {
    std::lock_guard lock(listsLock_);
    auto it = std::find_if(private_.begin(), private_.end(), [&](const CaseRecord& r) { return r.id == c.id; });
    if (it != private_.end()) private_.erase(it);
  }
  Notify(Source::Private);
  return true;
}

bool CaseLibrary::UpdatePrivateCase(const CaseRecord& c) {
  JorvelCase item = ToJorvel(c);
  if (!Web_PrivateCaseUpdate(&item, nullptr)) return false;
  {
    std::lock_guard lock(listsLock_);
    auto it = std::find_if(private_.begin(), private_.end(), [&](const CaseRecord& r) { return r.id == c.id; });
    if (it != private_.end()) *it = FromJorvel(item);
  }
  Notify(Source::Private);
  return true;
}

void CaseLibrary::OnLogin(int) { FetchPrivateCases(); }

void CaseLibrary::OnLogout() {
  {
    std::lock_guard lock(listsLock_);
    if (private_.empty()) return;
    private_.clear();
  }
  Notify(Source::Private);
}

void CaseLibrary::BuildCaseTree(const std::vector<CaseRecord>& cases, std::vector<CaseTreeModality>& tree) {
  tree.clear();
  for (const CaseRecord& c : cases) {
    auto modality = std::find_if(tree.begin(), tree.end(),
                                 [&](const CaseTreeModality& m) { return m.modality == c.modality; });
    if (modality == tree.end()) modality = tree.insert(tree.end(), CaseTreeModality{c.modality, {}});
    auto& parts = modality->bodyParts;
    auto part = std::find_if(parts.begin(), parts.end(),
                             [&](const CaseTreeBodyPart& p) { return p.bodyPart == c.body_part; });
    if (part == parts.end()) part = parts.insert(parts.end(), CaseTreeBodyPart{c.body_part, {}});
    part->cases.push_back(c);
  }
}
