// Case library CSV import: ImportCSV of 1,000 and 10,000 lines into a fresh case.db, beside a
// plain in-process peer on SQLite: it reads the same file, splits its quoted fields, and inserts
// the rows into the same table (made before its clock, as ours is made when the library opens)
// with one prepared statement in one transaction. Ours also reloads its list of local cases
// afterwards, which the peer does not. Rounds alternate ours and the peer's; medians and the
// machine's load are printed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CaseLibrary.h"
#include "TestSupport.h"

#include <sqlite3.h>

namespace fs = std::filesystem;

namespace {

const char* kCreate =
    "CREATE TABLE IF NOT EXISTS case_local(id INTEGER PRIMARY KEY AUTOINCREMENT,modality TEXT NOT "
    "NULL,body_part TEXT NOT NULL,case_name TEXT NOT NULL,finding TEXT NOT NULL,conclusion TEXT NOT "
    "NULL,created_time TEXT DEFAULT (datetime('now','localtime')));";

struct Row {
  std::string modality, part, name, finding, conclusion;
};

std::vector<Row> MakeRows(int count) {
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i)
    rows.push_back({i % 2 ? "CT" : "MR", "PART" + std::to_string(i % 17), "case " + std::to_string(i),
                    "finding text of case " + std::to_string(i) + ", with a comma and \"quotes\"",
                    "conclusion " + std::to_string(i)});
  return rows;
}

std::string Quoted(const std::string& text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    if (c == quote) out += quote;
    out += c;
  }
  return out + quote;
}

// Splits CSV text into records of fields: fields in double quotes may hold commas, line breaks
// and doubled quotes; records end at CR LF or LF.
std::vector<std::vector<std::string>> SplitCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      fields.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(fields));
      fields.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any || !field.empty() || !fields.empty()) {
    fields.push_back(std::move(field));
    records.push_back(std::move(fields));
  }
  return records;
}

// The peer's import into an open database whose table exists.
bool PlainImport(sqlite3* db, const fs::path& csvPath) {
  std::ifstream file(csvPath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto records = SplitCsv(bytes);
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db,
                         "INSERT INTO case_local (modality, body_part, case_name, finding, conclusion) "
                         "VALUES (?,?,?,?,?)",
                         -1, &insert, nullptr) != SQLITE_OK)
    return false;
  bool ok = true;
  for (const auto& fields : records) {
    if (fields.size() != 5) continue;
    for (int k = 0; k < 5; ++k)
      sqlite3_bind_text(insert, k + 1, fields[k].data(), static_cast<int>(fields[k].size()), SQLITE_STATIC);
    ok = ok && sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  if (argc == 3 && std::string(argv[1]) == "--rounds") rounds = std::max(1, std::atoi(argv[2]));
  orvanta::test::InitScratch();
  const fs::path dir = orvanta::test::MakeTempDir("caselib_csv");
  for (int count : {1000, 10000}) {
    const std::vector<Row> rows = MakeRows(count);
    std::string csv;
    for (const Row& r : rows) {
      csv += Quoted(r.modality, '"') + "," + Quoted(r.part, '"') + "," + Quoted(r.name, '"') + "," +
             Quoted(r.finding, '"') + "," + Quoted(r.conclusion, '"') + "\r\n";
    }
    const fs::path csvPath = dir / ("cases" + std::to_string(count) + ".csv");
    std::ofstream(csvPath, std::ios::binary) << csv;

    std::vector<double> ours, peer;
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms up and is not counted
      const fs::path ourDb = dir / ("ours" + std::to_string(round) + ".db");
      const fs::path peerDb = dir / ("peer" + std::to_string(round) + ".db");
      double tOurs = 0;
      {
        CaseLibrary library(ourDb.string());
        tOurs = bench::Seconds([&] {
          if (!library.ImportCSV(csvPath.c_str())) std::fprintf(stderr, "import failed\n");
        });
      }
      sqlite3* db = nullptr;
      if (sqlite3_open(peerDb.c_str(), &db) != SQLITE_OK ||
          sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr) != SQLITE_OK)
        std::fprintf(stderr, "peer database failed\n");
      const double tPeer = bench::Seconds([&] {
        if (!PlainImport(db, csvPath)) std::fprintf(stderr, "peer import failed\n");
      });
      sqlite3_close(db);
      if (round) {
        ours.push_back(tOurs);
        peer.push_back(tPeer);
      }
    }
    const double o = bench::Median(ours), p = bench::Median(peer);
    std::printf("CSV import of %d lines: ours (ImportCSV, list reloaded) %.1f ms, plain SQLite peer (one "
                "transaction, prepared insert) %.1f ms; ratio %.2f (medians of %d, A B A B, load %.1f)\n",
                count, o * 1000, p * 1000, o / p, rounds, bench::LoadAverage());
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
