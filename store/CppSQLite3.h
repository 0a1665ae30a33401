#pragma once

#include <sqlite3.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// A thin object layer over sqlite3. Failures are raised as CppSQLite3Exception; callers at the
// library's interfaces turn them into false results.

class CppSQLite3Exception {
 public:
  // Layer errors use this code; their texts start with "CPPSQLITE_ERROR[1000]: ".
  static constexpr int kLayerError = 1000;

  CppSQLite3Exception(int code, const char* detail);
  CppSQLite3Exception(const CppSQLite3Exception& other);
  CppSQLite3Exception& operator=(const CppSQLite3Exception&) = delete;
  virtual ~CppSQLite3Exception();

  int ErrorCode() const { return code_; }
  // "<code name>[<code>]: <detail>"
  const char* ErrorMessage() const { return message_ ? message_ : ""; }
  static const char* ErrorCodeName(int code);

 private:
  int code_;
  char* message_;  // sqlite3_mprintf text
};

// One compiled statement being stepped; moved, never copied.
class CppSQLite3Query {
 public:
  CppSQLite3Query() = default;
  CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool eof);
  CppSQLite3Query(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query(const CppSQLite3Query&) = delete;
  CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
  virtual ~CppSQLite3Query();

  int FieldIndex(const char* name) const;
  int FieldType(int index) const;
  // null for NULL; length (when asked) gets the text's size in bytes.
  const char* FieldText(int index, size_t* length = nullptr) const;
  int FieldInt(int index, int nullValue) const;
  long long FieldInt64(int index, long long nullValue) const;
  bool Eof() const;
  int ColumnCount() const { return columnCount_; }
  void NextRow();
  void Finalize();

 private:
  void CheckStatement() const;
  void CheckIndex(int index) const;

  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
  bool eof_ = true;
  int columnCount_ = 0;
};

// A statement compiled once and run many times with bound text values (inserts of a commit).
class CppSQLite3Statement {
 public:
  CppSQLite3Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  CppSQLite3Statement(const CppSQLite3Statement&) = delete;
  CppSQLite3Statement& operator=(const CppSQLite3Statement&) = delete;
  ~CppSQLite3Statement();

  // Binds the values to ?1..?n in order, runs the statement and resets it; rows changed.
  int Execute(std::initializer_list<const std::string*> values);

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
};

class CppSQLite3DB {
 public:
  static constexpr int kBusyTimeoutMs = 60000;

  CppSQLite3DB() = default;
  CppSQLite3DB(const CppSQLite3DB&) = delete;
  CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
  virtual ~CppSQLite3DB();

  // create false opens only an existing file (reads never make a database appear).
  void Open(const char* file, bool create = true);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  // Runs the whole text; the number of rows changed.
  int Execute(const char* sql);
  CppSQLite3Query Query(const char* sql);
  // atoi of the first column of the first row.
  int QueryInt(const char* sql);
  CppSQLite3Statement Prepare(const char* sql);

 private:
  sqlite3_stmt* Compile(const char* sql);

  sqlite3* db_ = nullptr;
};

// One owned statement text, formatted by sqlite3's printf (%Q for every string value).
class SqlText {
 public:
  SqlText() = default;
  SqlText(const SqlText&) = delete;
  SqlText& operator=(const SqlText&) = delete;
  ~SqlText() { Clear(); }

  const char* Format(const char* format, ...);
  const char* c_str() const { return text_; }
  void Clear();

 private:
  char* text_ = nullptr;
};

// One write transaction: BEGIN IMMEDIATE now, rolled back on destruction unless committed, so
// an early return or an exception never leaves half a commit behind.
class SqlTransaction {
 public:
  explicit SqlTransaction(CppSQLite3DB& db);
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;
  ~SqlTransaction();
  void Commit();

 private:
  CppSQLite3DB& db_;
  bool open_ = true;
};
