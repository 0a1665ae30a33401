// Case library CSV import: ImportCSV of 1,000 and 10,000 lines into a fresh case.db, beside the
// sqlite3 command line inserting the same rows into the same table in one transaction.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CaseLibrary.h"
#include "TestSupport.h"

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

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  if (argc == 3 && std::string(argv[1]) == "--rounds") rounds = std::max(1, std::atoi(argv[2]));
  orvanta::test::InitScratch();
  const fs::path dir = orvanta::test::MakeTempDir("caselib_csv");
  for (int count : {1000, 10000}) {
    const std::vector<Row> rows = MakeRows(count);
    std::string csv, sql = std::string(kCreate) + "\nBEGIN;\n";
    for (const Row& r : rows) {
      csv += Quoted(r.modality, '"') + "," + Quoted(r.part, '"') + "," + Quoted(r.name, '"') + "," +
             Quoted(r.finding, '"') + "," + Quoted(r.conclusion, '"') + "\r\n";
      sql += "INSERT INTO case_local (modality, body_part, case_name, finding, conclusion) VALUES (" +
             Quoted(r.modality, '\'') + "," + Quoted(r.part, '\'') + "," + Quoted(r.name, '\'') + "," +
             Quoted(r.finding, '\'') + "," + Quoted(r.conclusion, '\'') + ");\n";
    }
    sql += "COMMIT;\n";
    const fs::path csvPath = dir / ("cases" + std::to_string(count) + ".csv");
    const fs::path sqlPath = dir / ("cases" + std::to_string(count) + ".sql");
    std::ofstream(csvPath, std::ios::binary) << csv;
    std::ofstream(sqlPath, std::ios::binary) << sql;

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
      const double tPeer = bench::Seconds([&] {
        const std::string command = "sqlite3 " + peerDb.string() + " < " + sqlPath.string();
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "sqlite3 failed\n");
      });
      if (round) {
        ours.push_back(tOurs);
        peer.push_back(tPeer);
      }
    }
    const double o = bench::Median(ours), p = bench::Median(peer);
    std::printf("CSV import of %d lines: ours (ImportCSV) %.1f ms, sqlite3 command line (one transaction) "
                "%.1f ms; ratio %.2f\n",
                count, o * 1000, p * 1000, o / p);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
