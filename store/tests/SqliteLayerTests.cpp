#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "BasicDB.h"
#include "CppSQLite3.h"
#include "Guarded.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string MessageOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const CppSQLite3Exception& e) {
    return e.ErrorMessage();
  }
  return "no exception";
}

TEST(CppSQLite3Exception, TextsNameTheCode) {
  struct Case {
    int code;
    const char* detail;
    const char* text;
  } cases[] = {
      {1000, "Database not open", "CPPSQLITE_ERROR[1000]: Database not open"},
      {5, "locked", "SQLITE_BUSY[5]: locked"},
      {25, nullptr, "SQLITE_RANGE[25]: "},
      {26, "x", "UNKNOWN_ERROR[26]: x"},
      {99, "", "UNKNOWN_ERROR[99]: "},
      {101, "", "SQLITE_DONE[101]: "},
  };
  for (const Case& c : cases) {
    CppSQLite3Exception e(c.code, c.detail);
    EXPECT_STREQ(e.ErrorMessage(), c.text);
    CppSQLite3Exception copy(e);
    EXPECT_STREQ(copy.ErrorMessage(), c.text);
    EXPECT_EQ(copy.ErrorCode(), c.code);
  }
}

TEST(CppSQLite3DB, QueriesRaiseLayerErrors) {
  CppSQLite3DB closed;
  EXPECT_EQ(MessageOf([&] { closed.Execute("SELECT 1"); }), "CPPSQLITE_ERROR[1000]: Database not open");

  CppSQLite3DB db;
  db.Open(":memory:");
  db.Execute("CREATE TABLE t (id TEXT, n TEXT); INSERT INTO t VALUES ('a', NULL), ('b', 'abc');");
  EXPECT_EQ(MessageOf([&] { db.QueryInt("SELECT n FROM t WHERE id = 'zz'"); }),
            "CPPSQLITE_ERROR[1000]: Invalid scalar query");
  EXPECT_EQ(db.QueryInt("SELECT n FROM t WHERE id = 'a'"), 0);
  EXPECT_EQ(db.QueryInt("SELECT n FROM t WHERE id = 'b'"), 0);
  EXPECT_EQ(db.QueryInt("SELECT count(*) FROM t"), 2);

  CppSQLite3Query q = db.Query("SELECT id FROM t");
  EXPECT_EQ(MessageOf([&] { q.FieldIndex("ID"); }), "CPPSQLITE_ERROR[1000]: Invalid field name requested");
  EXPECT_EQ(MessageOf([&] { q.FieldText(1); }), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
  q.Finalize();
  EXPECT_EQ(MessageOf([&] { q.Eof(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");

  // A statement that does not compile carries no detail after the colon.
  EXPECT_EQ(MessageOf([&] { db.Query("SELEC nonsense"); }), "SQLITE_ERROR[1]: ");
}

// A failure crossing the store's interface becomes the failure result, with its text in the log.
TEST(Guarded, FailureResultAndLoggedText) {
  CppSQLite3DB db;
  db.Open(":memory:");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Guarded(false, [&] { return db.Execute("SELECT * FROM missing") >= 0; }));
  EXPECT_EQ(Guarded(7, [&]() -> int { throw std::runtime_error("disk on fire"); }), 7);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Kelvast: SQLITE_ERROR[1]: no such table: missing"), std::string::npos) << log;
  EXPECT_NE(log.find("Kelvast: disk on fire"), std::string::npos) << log;
}

TEST(SqlText, QuotedValuesCannotInject) {
  CppSQLite3DB db;
  db.Open(":memory:");
  db.Execute("CREATE TABLE t (v TEXT);");
  SqlText sql;
  const char* hostile = "x'); DROP TABLE t; --";
  db.Execute(sql.Format("INSERT INTO t VALUES (%Q);", hostile));
  CppSQLite3Query q = db.Query("SELECT v FROM t");
  ASSERT_FALSE(q.Eof());
  EXPECT_STREQ(q.FieldText(0), hostile);
}

TEST(SqlTransaction, RollsBackUnlessCommitted) {
  CppSQLite3DB db;
  db.Open(":memory:");
  db.Execute("CREATE TABLE t (v TEXT);");
  { SqlTransaction t(db); db.Execute("INSERT INTO t VALUES ('lost');"); }
  {
    SqlTransaction t(db);
    db.Execute("INSERT INTO t VALUES ('kept');");
    t.Commit();
  }
  EXPECT_EQ(db.QueryInt("SELECT count(*) FROM t"), 1);
}

class CountingDB : public BasicDB {
 public:
  int creates = 0;
  int upgrades = 0;
  int Stamp() { return GetUserVersion(db_); }

 protected:
  void OnCreate(CppSQLite3DB& db) override {
    ++creates;
    db.Execute("CREATE TABLE IF NOT EXISTS t (v TEXT);");
  }
  void OnUpgrade(CppSQLite3DB&, int, int) override { ++upgrades; }
};

TEST(BasicDB, OpenCreatesStampsAndKeepsForeignFiles) {
  fs::path dir = orvanta::test::MakeTempDir("basicdb");
  CountingDB db;
  std::string first = (dir / "a/b/first").string();
  ASSERT_TRUE(db.Open(first));
  EXPECT_EQ(db.creates, 1);
  EXPECT_EQ(db.Stamp(), 1);
  ASSERT_TRUE(db.Open(first));
  EXPECT_EQ(db.creates, 1);

  // Stamp 7 goes through OnUpgrade and comes back as 1.
  {
    CppSQLite3DB raw;
    std::string other = (dir / "seven").string();
    raw.Open(other.c_str());
    raw.Execute("PRAGMA user_version = 7");
  }
  ASSERT_TRUE(db.Open((dir / "seven").string()));
  EXPECT_EQ(db.upgrades, 1);
  EXPECT_EQ(db.Stamp(), 1);

  // Not a database: refused and left byte for byte as it was.
  fs::path text = dir / "notes";
  std::ofstream(text) << std::string(4096, 'x');
  EXPECT_FALSE(db.Open(text.string()));
  EXPECT_TRUE(db.OpenPath().empty());
  EXPECT_EQ(fs::file_size(text), 4096u);

  // A folder that cannot be made (a file stands in its place).
  EXPECT_FALSE(db.Open((text / "inside").string()));
  EXPECT_FALSE(db.Open(""));
}

TEST(BasicDB, RowReadersFillDefaultsForEmptyColumns) {
  CountingDB db;
  db.SetStoreFolder("/store");
  CppSQLite3DB raw;
  raw.Open(":memory:");
  raw.Execute(
      "CREATE TABLE i (id TEXT, series_id TEXT, patientID TEXT, studyUID TEXT, seriesUID TEXT, sopClassUID TEXT, "
      "sopInstanceUID TEXT, instanceNumber TEXT, storePath TEXT);"
      "INSERT INTO i VALUES ('000001_9', '00000002_8', 'P', '7', '8', '1.2', '9', '1', '');"
      "INSERT INTO i VALUES ('x', 's', 'P', '', '8', NULL, NULL, NULL, NULL);");
  CppSQLite3Query q = raw.Query("SELECT * FROM i");
  InstanceRecord record;
  ASSERT_TRUE(db.ReadRow(q, record));
  EXPECT_EQ(record.storePath, "/store/7/00000002_8/000001_9");
  q.NextRow();
  ASSERT_TRUE(db.ReadRow(q, record));
  EXPECT_EQ(record.storePath, "/store//s/x");
  EXPECT_EQ(record.sopClassUID, "");
  q.NextRow();
  EXPECT_FALSE(db.ReadRow(q, record));
}

}  // namespace
