#include <gtest/gtest.h>
#include <sqlite3.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "CaseCsv.h"
#include "CaseLibrary.h"
#include "ConsultFixture.h"
#include "TestSupport.h"

using orvanta::test::FileBytes;
using orvanta::test::MakeTempDir;

namespace {

struct Counter : ICaseLibraryCallback {
  std::mutex mutex;
  std::condition_variable changed;
  int local = 0, pub = 0, priv = 0;
  void OnLocalCasesChanged() override { Bump(local); }
  void OnPublicCasesChanged() override { Bump(pub); }
  void OnPrivateCasesChanged() override { Bump(priv); }
  void Bump(int& n) {
    std::lock_guard lock(mutex);
    ++n;
    changed.notify_all();
  }
};

CaseRecord Case(const std::string& modality, const std::string& part, const std::string& finding = "f") {
  return CaseRecord{0, modality, part, "name", finding, "conclusion"};
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Schema(const std::string& dbPath) {
  sqlite3* db = nullptr;
  sqlite3_open(dbPath.c_str(), &db);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name='case_local'", -1, &stmt, nullptr);
  std::string sql;
  if (sqlite3_step(stmt) == SQLITE_ROW) sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return sql;
}

}  // namespace

TEST(CaseLibrary, NewDatabaseHasTheTableAndIdsKeepGrowingAfterDeletes) {
  const std::string db = (MakeTempDir() / "report" / "case.db").string();
  CaseLibrary library(db);
  EXPECT_EQ(Schema(db),
            "CREATE TABLE case_local(id INTEGER PRIMARY KEY AUTOINCREMENT,modality TEXT NOT NULL,body_part TEXT "
            "NOT NULL,case_name TEXT NOT NULL,finding TEXT NOT NULL,conclusion TEXT NOT NULL,created_time TEXT "
            "DEFAULT (datetime('now','localtime')))");
  Counter counter;
  library.AddListener(&counter);
  CaseRecord a = Case("CT", "HEAD"), b = Case("MR", "KNEE");
  ASSERT_TRUE(library.AddLocalCase(a));
  ASSERT_TRUE(library.AddLocalCase(b));
  EXPECT_GT(b.id, a.id);
  ASSERT_TRUE(library.DeleteLocalCase(b));
  CaseRecord c = Case("DX", "CHEST");
  ASSERT_TRUE(library.AddLocalCase(c));
  EXPECT_GT(c.id, b.id);

  c.finding = "changed";
  ASSERT_TRUE(library.UpdateLocalCase(c));
  std::vector<CaseRecord> cases;
  library.GetLocalCases(cases);
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].id, c.id);  // newest first
  EXPECT_EQ(cases[0].finding, "changed");
  EXPECT_EQ(counter.local, 5);
  library.RemoveListener(&counter);
}

TEST(CaseLibrary, TextsAreStoredVerbatim) {
  CaseLibrary library((MakeTempDir() / "case.db").string());
  CaseRecord c{0, "O'Brien", "x'); DROP TABLE case_local;--", "=1+2", "@SUM(A1)\r\n-3,\"q\"", "中文 结论"};
  ASSERT_TRUE(library.AddLocalCase(c));
  std::vector<CaseRecord> cases;
  library.LoadLocalCases(cases);
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].modality, c.modality);
  EXPECT_EQ(cases[0].body_part, c.body_part);
  EXPECT_EQ(cases[0].case_name, c.case_name);
  EXPECT_EQ(cases[0].finding, c.finding);
  EXPECT_EQ(cases[0].conclusion, c.conclusion);
}

TEST(CaseLibrary, ADatabaseThatCannotBeOpenedGivesAnEmptyListAndFailingChanges) {
  const auto folder = MakeTempDir();
  std::filesystem::create_directory(folder / "case.db");  // a folder where the file should be
  CaseLibrary library((folder / "case.db").string());
  CaseRecord c = Case("CT", "HEAD");
  EXPECT_FALSE(library.AddLocalCase(c));
  EXPECT_FALSE(library.UpdateLocalCase(c));
  EXPECT_FALSE(library.DeleteLocalCase(c));
  const auto csv = folder / "in.csv";
  WriteFile(csv, "CT,HEAD,n,f,c\r\n");
  EXPECT_FALSE(library.ImportCSV(csv.c_str()));
  std::vector<CaseRecord> cases;
  library.GetLocalCases(cases);
  EXPECT_TRUE(cases.empty());
}

TEST(CaseCsv, ParsesQuotedAndPlainRecords) {
  struct Row {
    const char* bytes;
    std::vector<std::vector<std::string>> records;
  };
  const Row rows[] = {
      {"a,b,c,d,e\r\nf,g,h,i,j", {{"a", "b", "c", "d", "e"}, {"f", "g", "h", "i", "j"}}},
      {"a,b,c,d,e,\n\r\n\n", {{"a", "b", "c", "d", "e"}}},  // final comma, empty lines
      {"a,,c,d,e\n", {{"a", "", "c", "d", "e"}}},
      {"\"a,1\",\"b\"\"q\"\"\",\"line1\r\nline2\",\"\",\"\"\r\n", {{"a,1", "b\"q\"", "line1\r\nline2", "", ""}}},
      {"x\"y,z\n", {{"x\"y", "z"}}},  // a quote inside a plain field is a character
  };
  for (const Row& row : rows) EXPECT_EQ(CaseCsv::Parse(row.bytes), row.records) << row.bytes;
}

TEST(CaseLibrary, CsvRoundTripKeepsCommasQuotesAndLineBreaks) {
  const auto folder = MakeTempDir();
  CaseLibrary source((folder / "a.db").string());
  CaseRecord tricky{0, "CT", "HEAD, NECK", "say \"hi\"", "line 1\nline 2\r\nline 3", ""};
  CaseRecord formula{0, "MR", "SPINE", "=HYPERLINK(\"x\")", "+1", "-2,@3"};
  ASSERT_TRUE(source.AddLocalCase(tricky));
  ASSERT_TRUE(source.AddLocalCase(formula));
  ASSERT_TRUE(source.ExportCSV(folder.c_str()));
  const std::string bytes = FileBytes(folder / "LocalCaseList.csv");
  EXPECT_EQ(bytes.substr(0, bytes.find("\r\n") + 2),
            "\"MR\",\"SPINE\",\"=HYPERLINK(\"\"x\"\")\",\"+1\",\"-2,@3\"\r\n");  // no header, newest first

  CaseLibrary target((folder / "b.db").string());
  Counter counter;
  target.AddListener(&counter);
  ASSERT_TRUE(target.ImportCSV((folder / "LocalCaseList.csv").c_str()));
  EXPECT_EQ(counter.local, 1);
  std::vector<CaseRecord> cases;
  target.GetLocalCases(cases);
  ASSERT_EQ(cases.size(), 2u);
  // Imported in file order, so the first line has the smaller id.
  EXPECT_EQ(cases[1].finding, formula.finding);
  EXPECT_EQ(cases[1].case_name, formula.case_name);
  EXPECT_EQ(cases[1].conclusion, formula.conclusion);
  EXPECT_EQ(cases[0].body_part, tricky.body_part);
  EXPECT_EQ(cases[0].case_name, tricky.case_name);
  EXPECT_EQ(cases[0].finding, tricky.finding);
  EXPECT_EQ(cases[0].conclusion, "");
  target.RemoveListener(&counter);
}

TEST(CaseLibrary, OldPlainFileImportsItsFiveFieldLines) {
  const auto folder = MakeTempDir();
  const auto csv = folder / "old.csv";
  WriteFile(csv, "CT,HEAD,n1,f1,c1\r\nCT,HEAD,n2,f2\r\nMR,KNEE,n3,f3,c3,extra\r\n\r\nDX,CHEST,n4,f4,c4\r\n");
  CaseLibrary library((folder / "case.db").string());
  ASSERT_TRUE(library.ImportCSV(csv.c_str()));
  std::vector<CaseRecord> cases;
  library.GetLocalCases(cases);
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].case_name, "n4");
  EXPECT_EQ(cases[1].case_name, "n1");

  EXPECT_FALSE(library.ImportCSV(nullptr));
  EXPECT_FALSE(library.ImportCSV((folder / "missing.csv").c_str()));
  EXPECT_FALSE(library.ExportCSV((folder / "missing").c_str()));
}

TEST(CaseLibrary, AFailedInsertFailsTheImportAndAddsNothing) {
  const auto folder = MakeTempDir();
  const std::string db = (folder / "case.db").string();
  CaseLibrary library(db);
  {
    sqlite3* raw = nullptr;
    sqlite3_open(db.c_str(), &raw);
    sqlite3_exec(raw,
                 "CREATE TRIGGER refuse BEFORE INSERT ON case_local WHEN NEW.modality = 'BAD' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(raw);
  }
  const auto csv = folder / "in.csv";
  WriteFile(csv, "CT,HEAD,n,f,c\r\nBAD,HEAD,n,f,c\r\n");
  Counter counter;
  library.AddListener(&counter);
  EXPECT_FALSE(library.ImportCSV(csv.c_str()));
  std::vector<CaseRecord> cases;
  library.LoadLocalCases(cases);
  EXPECT_TRUE(cases.empty());
  EXPECT_EQ(counter.local, 0);
  CaseRecord bad = Case("BAD", "HEAD");
  EXPECT_FALSE(library.AddLocalCase(bad));
  library.RemoveListener(&counter);
}

TEST(CaseLibrary, TreeKeepsFirstAppearanceOrderAndSeparatesModalityFromBodyPart) {
  std::vector<CaseRecord> cases = {Case("MR", "SPINE", "1"), Case("CT", "HEAD", "2"), Case("MR", "KNEE", "3"),
                                   Case("M", "RSPINE", "4"), Case("MR", "SPINE", "5")};
  std::vector<CaseTreeModality> tree;
  CaseLibrary::BuildCaseTree(cases, tree);
  ASSERT_EQ(tree.size(), 3u);
  EXPECT_EQ(tree[0].modality, "MR");
  ASSERT_EQ(tree[0].bodyParts.size(), 2u);
  EXPECT_EQ(tree[0].bodyParts[0].bodyPart, "SPINE");
  ASSERT_EQ(tree[0].bodyParts[0].cases.size(), 2u);
  EXPECT_EQ(tree[0].bodyParts[0].cases[1].finding, "5");
  EXPECT_EQ(tree[2].modality, "M");
  EXPECT_EQ(tree[2].bodyParts[0].bodyPart, "RSPINE");
}

class CaseLibraryWeb : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(service_.Start(), 0);
    Web_SetSettings({service_.BaseUrl(), 1000, 1000});
  }
  void TearDown() override { GetJorvel()->Logout(); }

  template <typename Pred>
  bool WaitFor(Counter& counter, Pred pred) {
    std::unique_lock lock(counter.mutex);
    return counter.changed.wait_for(lock, std::chrono::seconds(10), pred);
  }

  ConsultFixture service_;
};

TEST_F(CaseLibraryWeb, PublicFetchFillsTheListAndAFailedFetchKeepsIt) {
  service_.Admin("AddPublicCase", {{"case", {{"modality", "CT"}, {"bodyPart", "HEAD"}, {"caseName", "bleed"},
                                            {"finding", "f"}, {"conclusion", "c"}}}});
  CaseLibrary library((MakeTempDir() / "case.db").string());
  Counter counter;
  library.AddListener(&counter);
  library.FetchPublicCases();
  ASSERT_TRUE(WaitFor(counter, [&] { return counter.pub == 1; }));
  ASSERT_EQ(library.GetPublicCases().size(), 1u);
  EXPECT_EQ(library.GetPublicCases()[0].case_name, "bleed");

  Web_SetSettings({"http://127.0.0.1:" + std::to_string(orvanta::test::FreeLoopbackPort()), 1000, 1000});
  library.FetchPublicCases();
  library.WaitForFetches();
  EXPECT_EQ(counter.pub, 1);
  EXPECT_EQ(library.GetPublicCases().size(), 1u);
  library.RemoveListener(&counter);
}

TEST_F(CaseLibraryWeb, LoginFetchesPrivateCasesAndLogoutEmptiesThemOnce) {
  service_.AddUser("doctor", "pw", "13800000001", "Dr. Li");
  CaseLibrary library((MakeTempDir() / "case.db").string());
  Counter counter;
  library.AddListener(&counter);
  CaseRecord mine = Case("CT", "HEAD");
  EXPECT_FALSE(library.AddPrivateCase(mine));  // nobody logged in
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("doctor", "pw", &error));
  library.WaitForFetches();  // the login started a private fetch
  ASSERT_TRUE(library.AddPrivateCase(mine));
  EXPECT_NE(mine.id, 0);
  mine.finding = "edited";
  ASSERT_TRUE(library.UpdatePrivateCase(mine));
  CaseRecord other = Case("MR", "KNEE");
  ASSERT_TRUE(library.AddPrivateCase(other));
  ASSERT_TRUE(library.DeletePrivateCase(other));
  library.WaitForFetches();
  auto cases = library.GetPrivateCases();
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].finding, "edited");

  // A fetch on a fresh login reads the service's list.
  CaseLibrary second((MakeTempDir() / "case.db").string());
  second.FetchPrivateCases();
  second.WaitForFetches();
  ASSERT_EQ(second.GetPrivateCases().size(), 1u);
  EXPECT_EQ(second.GetPrivateCases()[0].finding, "edited");

  const int before = counter.priv;
  GetJorvel()->Logout();
  EXPECT_TRUE(library.GetPrivateCases().empty());
  EXPECT_EQ(counter.priv, before + 1);
  GetJorvel()->Logout();
  library.OnLogout();
  EXPECT_EQ(counter.priv, before + 1);
  library.RemoveListener(&counter);
}
