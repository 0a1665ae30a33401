#include "CppSQLite3.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kNotOpen = "Database not open";
constexpr const char* kNullVm = "Null Virtual Machine pointer";
constexpr const char* kBadIndex = "Invalid field index requested";
constexpr const char* kBadName = "Invalid field name requested";
constexpr const char* kBadScalar = "Invalid scalar query";

}  // namespace

CppSQLite3Exception::CppSQLite3Exception(int code, const char* detail)
    : code_(code), message_(sqlite3_mprintf("%s[%d]: %s", ErrorCodeName(code), code, detail ? detail : "")) {}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : code_(other.code_), message_(other.message_ ? sqlite3_mprintf("%s", other.message_) : nullptr) {}

CppSQLite3Exception::~CppSQLite3Exception() { sqlite3_free(message_); }

const char* CppSQLite3Exception::ErrorCodeName(int code) {
  static const char* const kNames[] = {
      "SQLITE_OK",       "SQLITE_ERROR",    "SQLITE_INTERNAL", "SQLITE_PERM",     "SQLITE_ABORT",
      "SQLITE_BUSY",     "SQLITE_LOCKED",   "SQLITE_NOMEM",    "SQLITE_READONLY", "SQLITE_INTERRUPT",
      "SQLITE_IOERR",    "SQLITE_CORRUPT",  "SQLITE_NOTFOUND", "SQLITE_FULL",     "SQLITE_CANTOPEN",
      "SQLITE_PROTOCOL", "SQLITE_EMPTY",    "SQLITE_SCHEMA",   "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT",
      "SQLITE_MISMATCH", "SQLITE_MISUSE",   "SQLITE_NOLFS",    "SQLITE_AUTH",     "SQLITE_FORMAT",
      "SQLITE_RANGE"};
  if (code >= 0 && code <= 25) return kNames[code];
  if (code == 100) return "SQLITE_ROW";
  if (code == 101) return "SQLITE_DONE";
  if (code == kLayerError) return "CPPSQLITE_ERROR";
  return "UNKNOWN_ERROR";
}

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool eof)
    : db_(db), stmt_(stmt), eof_(eof), columnCount_(sqlite3_column_count(stmt)) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept { *this = std::move(other); }

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
  if (this != &other) {
    if (stmt_) sqlite3_finalize(stmt_);
    db_ = other.db_;
    stmt_ = other.stmt_;
    eof_ = other.eof_;
    columnCount_ = other.columnCount_;
    other.stmt_ = nullptr;
  }
  return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
  if (stmt_) sqlite3_finalize(stmt_);
}

void CppSQLite3Query::CheckStatement() const {
  if (!stmt_) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kNullVm);
}

void CppSQLite3Query::CheckIndex(int index) const {
  CheckStatement();
  if (index < 0 || index >= columnCount_) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kBadIndex);
}

int CppSQLite3Query::FieldIndex(const char* name) const {
  CheckStatement();
  if (name) {
    for (int i = 0; i < columnCount_; ++i) {
      const char* column = sqlite3_column_name(stmt_, i);
      if (column && std::strcmp(column, name) == 0) return i;
    }
  }
  throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kBadName);
}

int CppSQLite3Query::FieldType(int index) const {
  CheckIndex(index);
  return sqlite3_column_type(stmt_, index);
}

const char* CppSQLite3Query::FieldText(int index, size_t* length) const {
  CheckIndex(index);
  const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
  // After the text, as sqlite3 asks: the size of the text form.
  if (length) *length = text ? size_t(sqlite3_column_bytes(stmt_, index)) : 0;
  return text;
}

int CppSQLite3Query::FieldInt(int index, int nullValue) const {
  if (FieldType(index) == SQLITE_NULL) return nullValue;
  return sqlite3_column_int(stmt_, index);
}

long long CppSQLite3Query::FieldInt64(int index, long long nullValue) const {
  if (FieldType(index) == SQLITE_NULL) return nullValue;
  return sqlite3_column_int64(stmt_, index);
}

bool CppSQLite3Query::Eof() const {
  CheckStatement();
  return eof_;
}

void CppSQLite3Query::NextRow() {
  CheckStatement();
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_DONE) {
    eof_ = true;
  } else if (rc != SQLITE_ROW) {
    rc = sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    throw CppSQLite3Exception(rc, sqlite3_errmsg(db_));
  }
}

void CppSQLite3Query::Finalize() {
  if (!stmt_) return;
  int rc = sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, sqlite3_errmsg(db_));
}

CppSQLite3DB::~CppSQLite3DB() { Close(); }

void CppSQLite3DB::Open(const char* file, bool create) {
  Close();
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(file, &db_, flags, nullptr);
  if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, db_ ? sqlite3_errmsg(db_) : "");
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
}

void CppSQLite3DB::Close() {
  if (db_) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

int CppSQLite3DB::Execute(const char* sql) {
  if (!db_) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kNotOpen);
  char* error = nullptr;
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    CppSQLite3Exception e(rc, error);
    sqlite3_free(error);
    throw e;
  }
  return sqlite3_changes(db_);
}

sqlite3_stmt* CppSQLite3DB::Compile(const char* sql) {
  if (!db_) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kNotOpen);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
  if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, nullptr);
  return stmt;
}

CppSQLite3Query CppSQLite3DB::Query(const char* sql) {
  sqlite3_stmt* stmt = Compile(sql);
  if (!stmt) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kNullVm);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return CppSQLite3Query(db_, stmt, true);
  if (rc == SQLITE_ROW) return CppSQLite3Query(db_, stmt, false);
  rc = sqlite3_finalize(stmt);
  throw CppSQLite3Exception(rc, sqlite3_errmsg(db_));
}

int CppSQLite3DB::QueryInt(const char* sql) {
  CppSQLite3Query q = Query(sql);
  if (q.Eof() || q.ColumnCount() < 1) throw CppSQLite3Exception(CppSQLite3Exception::kLayerError, kBadScalar);
  const char* text = q.FieldText(0);
  return text ? std::atoi(text) : 0;
}

CppSQLite3Statement CppSQLite3DB::Prepare(const char* sql) { return CppSQLite3Statement(db_, Compile(sql)); }

CppSQLite3Statement::~CppSQLite3Statement() { sqlite3_finalize(stmt_); }

int CppSQLite3Statement::Execute(std::initializer_list<const std::string*> values) {
  int index = 0;
  for (const std::string* value : values)
    sqlite3_bind_text(stmt_, ++index, value->data(), static_cast<int>(value->size()), SQLITE_STATIC);
  int rc = sqlite3_step(stmt_);
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw CppSQLite3Exception(rc, sqlite3_errmsg(db_));
  return sqlite3_changes(db_);
}

const char* SqlText::Format(const char* format, ...) {
  Clear();
  va_list args;
  va_start(args, format);
  text_ = sqlite3_vmprintf(format, args);
  va_end(args);
  return text_;
}

void SqlText::Clear() {
  sqlite3_free(text_);
  text_ = nullptr;
}

SqlTransaction::SqlTransaction(CppSQLite3DB& db) : db_(db) { db_.Execute("BEGIN IMMEDIATE"); }

SqlTransaction::~SqlTransaction() {
  if (!open_) return;
  try {
    db_.Execute("ROLLBACK");
  } catch (const CppSQLite3Exception&) {
    // SQLite may already have rolled back after an I/O error.
  }
}

void SqlTransaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}
