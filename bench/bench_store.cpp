// Storing and listing DICOM files in the study store, against two peers measured in the same run
// on the same datasets:
//   - DCMTK writing the same files itself (DcmFileFormat::saveFile into the same folder layout),
//     which the store must add its index to;
//   - plain sqlite3 inserts of the same index rows (one prepared statement, a transaction per
//     100 rows as the store commits here),
//     and a plain SELECT of them, which the store's own queries must come near.
//   - cp -r of the source files, and DCMTK writes followed by fsync (the durability the store gives);
//   - Orthanc on loopback receiving the same files through REST POST /instances from 4 clients,
//     with its storage area synced (each file flushed before the answer, as StoreFile does), and
//     DCMTK storescu -> storescp -od on loopback (files only, no index), when installed.
// StoreFile runs from 1 thread and from 4 (as many as Orthanc's clients), from datasets in memory
// and from the files on disk (read and parsed by each thread, the work Orthanc's side does).
// Every timed side starts with no writes of an earlier side pending (sync first), so none pays
// for another's writeback.
// Usage: bench_store [files=2000] [rows=256]
//        bench_store scale [studies=2000] [seriesPerStudy=5] [instancesPerSeries=100]
//        (rows written directly: listing, search and delete against plain sqlite3 reads of the
//        same database files, the list also against the same rows read into plain records). bench/store_import.sh and bench/store_scale.sh run the full sizes.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "DicomFixtures.h"
#include "IKelvast.h"
#include "SODcmFile.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

struct Row {
  std::string study, series, sop, number;
};

void Report(const char* what, double ours, double peer, const char* peerName) {
  std::printf("%-34s %9.3f s   %-30s %9.3f s   ratio (peer time / ours) %.2f\n", what, ours, peerName, peer,
              peer / ours);
}

void Settle() { ::sync(); }

// body(i) for every i below count, from `threads` threads taking the next index each.
void Concurrently(size_t count, int threads, const std::function<void(size_t)>& body) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      for (size_t i; (i = next++) < count;) body(i);
    });
  for (auto& t : pool) t.join();
}

bool HasProgram(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// One HTTP/1.1 POST on a kept-alive connection; true on a 200 answer.
bool Post(int fd, const std::string& path, const std::string& body) {
  std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/dicom\r\n" +
                        "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  for (size_t sent = 0; sent < request.size();) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += size_t(n);
  }
  std::string answer;
  char buffer[4096];
  size_t headerEnd = std::string::npos, length = 0;
  while (headerEnd == std::string::npos || answer.size() < headerEnd + 4 + length) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    answer.append(buffer, size_t(n));
    if (headerEnd == std::string::npos && (headerEnd = answer.find("\r\n\r\n")) != std::string::npos) {
      size_t at = answer.find("Content-Length:");
      if (at == std::string::npos) at = answer.find("content-length:");
      length = at < headerEnd ? std::strtoul(answer.c_str() + at + 15, nullptr, 10) : 0;
    }
  }
  return answer.compare(9, 3, "200") == 0;
}

// Orthanc on loopback in its own folder; the files are read and posted by `clients` threads.
// Answers the seconds taken, or a negative value when Orthanc is missing or refused a file.
double OrthancPost(const std::vector<fs::path>& paths, int clients) {
  if (!HasProgram("Orthanc")) return -1;
  fs::path dir = orvanta::test::MakeTempDir("bench-orthanc");
  const int httpPort = orvanta::test::FreeLoopbackPort();
  std::ofstream(dir / "orthanc.json") << "{ \"Name\": \"Bench\", \"StorageDirectory\": \"" << (dir / "storage").string()
                                      << "\", \"IndexDirectory\": \"" << (dir / "index").string()
                                      << "\", \"HttpPort\": " << httpPort
                                      << ", \"DicomPort\": " << orvanta::test::FreeLoopbackPort()
                                      << ", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, "
                                         "\"StorageCompression\": false, \"SyncStorageArea\": true, \"SaveJobs\": false, "
                                         "\"Plugins\": [] }\n";
  pid_t pid = Spawn({"Orthanc", (dir / "orthanc.json").string()});
  if (pid < 0 || !WaitPort(httpPort)) return -1;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  Settle();
  double seconds = Seconds([&] {
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
      threads.emplace_back([&] {
        int fd = Connect(httpPort);
        for (size_t i; fd >= 0 && (i = next++) < paths.size();) {
          std::ifstream in(paths[i], std::ios::binary);
          std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
          if (!Post(fd, "/instances", body)) failed = true;
        }
        if (fd < 0) failed = true;
        close(fd);
      });
    for (auto& t : threads) t.join();
  });
  Stop(pid);
  return failed ? -1 : seconds;
}

// storescu sending the folder on one association to storescp -od on loopback. TCP_NODELAY=1
// turns Nagle off in both (Debian's DCMTK leaves it on, and each file then waits ~90 ms for
// delayed acknowledgements).
double StorescpReceive(const fs::path& in) {
  if (!HasProgram("storescp") || !HasProgram("storescu")) return -1;
  setenv("TCP_NODELAY", "1", 1);
  fs::path out = orvanta::test::MakeTempDir("bench-storescp");
  const std::string port = std::to_string(orvanta::test::FreeLoopbackPort());
  pid_t pid = Spawn({"storescp", "-od", out.string(), "-aet", "STORESCP", port});
  if (pid < 0 || !WaitPort(std::stoi(port))) return -1;
  int rc = 0;
  Settle();
  double seconds = Seconds([&] { rc = Run({"storescu", "-aec", "STORESCP", "+sd", "+r", "127.0.0.1", port, in.string()}); });
  Stop(pid);
  fs::remove_all(out);
  return rc == 0 ? seconds : -1;
}

}  // namespace

int ScaleBench(int studyCount, int seriesPerStudy, int instancesPerSeries);

int ImportBench(int count, int size) {
  // count files in studies of 100 slices.
  fs::path in = orvanta::test::MakeTempDir("bench-in");
  std::vector<std::unique_ptr<SODcmFile>> files;
  std::vector<fs::path> paths;
  std::vector<Row> rows;
  for (int made = 0, study = 0; made < count; ++study) {
    fx::CtSeriesOptions options;
    options.slices = std::min(100, count - made);
    options.rows = options.columns = size;
    options.patientId = "P" + std::to_string(study);
    fx::WrittenSeries series = fx::WriteCtSeries(in / std::to_string(study), options);
    for (size_t k = 0; k < series.files.size(); ++k) {
      auto file = std::make_unique<SODcmFile>();
      if (!file->LoadFile(series.files[k].c_str(), true)) return 1;
      files.push_back(std::move(file));
      paths.push_back(series.files[k]);
      rows.push_back({series.studyUid, series.seriesUid, series.sopUids[k], std::to_string(series.instanceNumbers[k])});
    }
    made += options.slices;
  }
  std::printf("%d files of %dx%d, %d studies\n", count, size, size, (count + 99) / 100);

  // Peer: DCMTK's own writes of the same datasets into the same layout, no index.
  fs::path peerFolder = orvanta::test::MakeTempDir("bench-dcmtk");
  Settle();
  double dcmtk = Seconds([&] {
    for (size_t i = 0; i < files.size(); ++i) {
      fs::path target = peerFolder / rows[i].study / rows[i].series / rows[i].sop;
      fs::create_directories(target.parent_path());
      files[i]->GetFileFormat()->saveFile(target.c_str(), EXS_LittleEndianExplicit);
    }
  });

  // Peer: the same writes, each file flushed before the next: what any store pays that answers
  // only once a file is on disk, from 1 thread and from 4.
  auto dcmtkSyncedWith = [&](const char* name, int threads) {
    fs::path folder = orvanta::test::MakeTempDir(name);
    Settle();
    return Seconds([&] {
      Concurrently(files.size(), threads, [&](size_t i) {
        fs::path target = folder / rows[i].study / rows[i].series / rows[i].sop;
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        files[i]->GetFileFormat()->saveFile(target.c_str(), EXS_LittleEndianExplicit);
        int fd = ::open(target.c_str(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
      });
    });
  };
  double dcmtkSynced = dcmtkSyncedWith("bench-dcmtk-sync", 1);
  double dcmtkSynced4 = dcmtkSyncedWith("bench-dcmtk-sync4", 4);
  fs::path copyFolder = orvanta::test::MakeTempDir("bench-cp");
  Settle();
  double copy = Seconds([&] { Run({"cp", "-r", in.string(), (copyFolder / "in").string()}); });

  auto queueStore = BuildDB((orvanta::test::MakeTempDir("bench-queue") / "LOCAL").c_str());
  double committing = 0;
  Settle();
  double queued = Seconds([&] {
    for (size_t i = 0; i < files.size(); ++i) {
      queueStore->QueueFile(files[i].get());
      if (i % 100 == 99) committing += Seconds([&] { queueStore->CommitQueue(); });
    }
    committing += Seconds([&] { queueStore->CommitQueue(); });
  });

  // The same through files read from disk, as a receiver or an import gets them, beside
  // storescu -> storescp -od receiving the same files: a warm-up round of each, then rounds
  // alternating which goes first, medians.
  auto fromDiskRun = [&] {
    const fs::path folder = orvanta::test::MakeTempDir("bench-disk");
    auto diskStore = BuildDB((folder / "LOCAL").c_str());
    Settle();
    double seconds = Seconds([&] {
      for (size_t i = 0; i < paths.size(); ++i) {
        SODcmFile file;
        if (file.LoadFile(paths[i].c_str(), true)) diskStore->QueueFile(&file);
        if (i % 100 == 99) diskStore->CommitQueue();
      }
      diskStore->CommitQueue();
    });
    ReleaseDB(diskStore);
    fs::remove_all(folder);
    return seconds;
  };
  std::vector<double> fromDiskRounds, storescpRounds;
  for (int round = 0; round <= 3; ++round) {
    double d = 0, p = 0;
    if (round % 2) {
      d = fromDiskRun();
      p = StorescpReceive(in);
    } else {
      p = StorescpReceive(in);
      d = fromDiskRun();
    }
    if (round == 0) continue;
    fromDiskRounds.push_back(d);
    if (p > 0) storescpRounds.push_back(p);
  }
  const double fromDisk = Median(fromDiskRounds);
  const double storescp = storescpRounds.size() == 3 ? Median(storescpRounds) : -1;
  const double orthanc = OrthancPost(paths, 4);

  std::atomic<size_t> storeFailures{0};
  auto storeEach = [&](const char* folder, int threads, bool fromFiles) {
    IKelvast* store = BuildDB((orvanta::test::MakeTempDir(folder) / "LOCAL").c_str());
    Settle();
    double seconds = Seconds([&] {
      Concurrently(files.size(), threads, [&](size_t i) {
        SODcmFile loaded;
        SODcmFile* file = files[i].get();
        if (fromFiles) file = loaded.LoadFile(paths[i].c_str(), true) ? &loaded : nullptr;
        if (!file || !store->StoreFile(file, nullptr)) ++storeFailures;
      });
    });
    ReleaseDB(store);
    return seconds;
  };
  double stored = storeEach("bench-store", 1, false);
  double stored4 = storeEach("bench-store4", 4, false);
  double stored4Disk = storeEach("bench-store4-disk", 4, true);
  if (storeFailures) {
    std::printf("StoreFile failed %zu times\n", storeFailures.load());
    return 1;
  }

  // Peer: the same instance rows through plain sqlite3 in one transaction.
  fs::path sqlPath = orvanta::test::MakeTempDir("bench-sqlite") / "plain.db";
  sqlite3* db = nullptr;
  sqlite3_open(sqlPath.c_str(), &db);
  sqlite3_exec(db,
               "CREATE TABLE i (id TEXT PRIMARY KEY, series_id TEXT, studyUID TEXT, sopInstanceUID TEXT, "
               "instanceNumber TEXT, storePath TEXT)",
               nullptr, nullptr, nullptr);
  double plainInsert = Seconds([&] {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO i VALUES (?, ?, ?, ?, ?, '')", -1, &insert, nullptr);
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      // Committed every 100 rows, as the store's commits in this run.
      if (i % 100 == 0 && i > 0) sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
      std::string id = row.number + "_" + row.sop;
      sqlite3_bind_text(insert, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 2, row.series.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, row.study.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 4, row.sop.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 5, row.number.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  });
  size_t plainRows = 0;
  double plainSelect = Seconds([&] {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM i ORDER BY studyUID, series_id, instanceNumber", -1, &select, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
      std::string id = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
      plainRows += !id.empty();
    }
    sqlite3_finalize(select);
  });
  sqlite3_close(db);

  size_t listed = 0;
  double list = Seconds([&] {
    std::vector<PatientRecord> studies;
    queueStore->GetPatientRecords(studies, nullptr, true);
    for (const auto& study : studies)
      for (const auto& series : study.series) listed += series.instances.size();
  });
  if (listed != files.size() || plainRows != files.size()) {
    std::printf("row count mismatch: store %zu, plain %zu, files %zu\n", listed, plainRows, files.size());
    return 1;
  }

  const double n = double(files.size());
  std::printf("files per second: QueueFile+CommitQueue %.0f (files read from disk %.0f), StoreFile %.0f "
              "(4 threads %.0f, 4 threads reading the files %.0f), DCMTK saveFile %.0f, cp -r %.0f\n",
              n / queued, n / fromDisk, n / stored, n / stored4, n / stored4Disk, n / dcmtk, n / copy);
  if (orthanc > 0) {
    std::printf("  Orthanc REST POST /instances, 4 clients with kept-alive connections: %.0f files/s\n"
                "  (SyncStorageArea true: each file flushed before its answer; its SQLite index; "
                "StorageCompression false; the rest of its defaults)\n",
                n / orthanc);
    Report("QueueFile+CommitQueue (indexed)", queued, orthanc, "Orthanc POST /instances x4");
    Report("files from disk, Queue+Commit", fromDisk, orthanc, "Orthanc POST /instances x4");
    Report("StoreFile, 1 thread", stored, orthanc, "Orthanc POST /instances x4");
    Report("StoreFile, 4 threads", stored4, orthanc, "Orthanc POST /instances x4");
    Report("StoreFile, 4 threads reading files", stored4Disk, orthanc, "Orthanc POST /instances x4");
  } else {
    std::printf("  Orthanc peer not measured (not installed or it refused a file)\n");
  }
  if (storescp > 0) {
    std::printf("  storescu -> storescp -od: %.0f files/s (median of 3 rounds alternating with the store's "
                "queue from files, load %.2f)\n",
                n / storescp, LoadAverage());
    Report("QueueFile+CommitQueue (indexed)", queued, storescp, "storescu -> storescp -od");
    Report("files from disk, Queue+Commit", fromDisk, storescp, "storescu -> storescp -od");
    Report("StoreFile, 1 thread", stored, storescp, "storescu -> storescp -od");
    Report("StoreFile, 4 threads", stored4, storescp, "storescu -> storescp -od");
  } else {
    std::printf("  storescp peer not measured (DCMTK tools missing or the transfer failed)\n");
  }
  Report("QueueFile+CommitQueue (indexed)", queued, dcmtk, "DCMTK saveFile (no index)");
  Report("QueueFile+CommitQueue (indexed)", queued, dcmtkSynced, "DCMTK saveFile + fsync");
  Report("QueueFile+CommitQueue (indexed)", queued, copy, "cp -r of the source files");
  Report("files from disk, Queue+Commit", fromDisk, copy, "cp -r of the source files");
  Report("StoreFile, 1 thread", stored, dcmtk, "DCMTK saveFile (no index)");
  Report("StoreFile, 1 thread", stored, dcmtkSynced, "DCMTK saveFile + fsync");
  Report("StoreFile, 4 threads", stored4, dcmtkSynced4, "DCMTK saveFile + fsync, 4 threads");
  Report("CommitQueue (index rows, synced)", committing, plainInsert, "sqlite3 inserts, 100 per commit");
  Report("list all with instances", list, plainSelect, "sqlite3 SELECT");

  ReleaseDB(queueStore);
  return 0;
}

// Rows of studyCount studies written directly (no files), then the store's lists against plain
// sqlite3 reads of the same tables.
// Study 3 alone gets 2,000 instances: the study deleted at the end.
int ScaleBench(int studyCount, int seriesPerStudy, int instancesPerSeries) {
  const int victimPerSeries = (2000 + seriesPerStudy - 1) / seriesPerStudy;
  long instanceCount = 0;
  fs::path folder = orvanta::test::MakeTempDir("bench-scale") / "LOCAL";
  IKelvast* store = BuildDB(folder.c_str());
  bool written = true;
  double writing = Seconds([&] {
    for (int s = 0; s < studyCount; ++s) {
      PatientRecord record;
      record.patientID = "P" + std::to_string(s);
      record.patientName = "Patient^" + std::to_string(s);
      record.studyUID = "1.2.826.0.1." + std::to_string(s);
      record.studyDescription = s % 100 == 7 ? "HEAD SMITH PROTOCOL" : "CT CHEST";
      for (int n = 1; n <= seriesPerStudy; ++n) {
        SeriesRecord series;
        series.seriesUID = record.studyUID + "." + std::to_string(n);
        series.seriesNumber = std::to_string(n);
        series.modality = "CT";
        for (int i = 1, count = s == 3 ? victimPerSeries : instancesPerSeries; i <= count; ++i, ++instanceCount) {
          InstanceRecord instance;
          instance.sopClassUID = "1.2.840.10008.5.1.4.1.1.2";
          instance.sopInstanceUID = series.seriesUID + "." + std::to_string(i);
          instance.instanceNumber = std::to_string(i);
          series.instances.push_back(instance);
        }
        record.series.push_back(series);
      }
      written = store->AddPatientRecord(record) && written;
    }
  });
  std::printf("%d studies, %d series, %ld instances written in %.1f s\n", studyCount, studyCount * seriesPerStudy,
              instanceCount, writing);

  sqlite3* db = nullptr;
  sqlite3_open((folder / "DB/patients").c_str(), &db);
  // The statements the store's list runs: every study, then every series in id order.
  const char* kStudies = "SELECT * FROM archive_patient ORDER BY createdTime DESC";
  const char* kSeries = "SELECT * FROM archive_series ORDER BY id ASC";
  auto scan = [&](const char* sql) {
    size_t rows = 0;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) rows += sqlite3_column_text(stmt, c) != nullptr;
    sqlite3_finalize(stmt);
    return rows;
  };
  // The peer's records: every column of a row as text in a plain struct, the series attached to
  // their study through a hash of Study UID and Patient ID, as a hand-written reader would.
  struct PlainRow {
    std::vector<std::string> columns;
    std::vector<PlainRow> children;
  };
  auto readPlain = [&](const char* sql, const std::function<void(PlainRow&&, sqlite3_stmt*)>& take) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    const int count = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      PlainRow row;
      row.columns.reserve(count);
      for (int c = 0; c < count; ++c) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        row.columns.emplace_back(text ? text : "", text ? size_t(sqlite3_column_bytes(stmt, c)) : 0);
      }
      take(std::move(row), stmt);
    }
    sqlite3_finalize(stmt);
  };
  auto columnOf = [](sqlite3_stmt* stmt, const char* name) {
    for (int c = 0; c < sqlite3_column_count(stmt); ++c)
      if (std::string(sqlite3_column_name(stmt, c)) == name) return c;
    return -1;
  };
  auto plainRecords = [&] {
    std::vector<PlainRow> studies;
    int uid = -1, patient = -1;
    readPlain(kStudies, [&](PlainRow&& row, sqlite3_stmt* stmt) {
      if (uid < 0) uid = columnOf(stmt, "studyUID"), patient = columnOf(stmt, "patientID");
      studies.push_back(std::move(row));
    });
    std::unordered_map<std::string, PlainRow*> byStudy;
    for (PlainRow& study : studies) byStudy.emplace(study.columns[uid] + '\n' + study.columns[patient], &study);
    int seriesUid = -1, seriesPatient = -1;
    readPlain(kSeries, [&](PlainRow&& row, sqlite3_stmt* stmt) {
      if (seriesUid < 0) seriesUid = columnOf(stmt, "studyUID"), seriesPatient = columnOf(stmt, "patientID");
      auto found = byStudy.find(row.columns[seriesUid] + '\n' + row.columns[seriesPatient]);
      if (found != byStudy.end()) found->second->children.push_back(std::move(row));
    });
    return studies.size();
  };

  // Rounds alternate the three sides so a change of load falls on each; medians are reported.
  std::vector<double> lists, sqls, plains, searches, plainSearches;
  size_t listed = 0, found = 0, plainListed = 0;
  std::vector<PatientRecord> studies;
  for (int round = 0; round < 7; ++round) {
    lists.push_back(Seconds([&] { store->GetPatientRecords(studies, nullptr, false); }));
    listed = studies.size();
    studies.clear();
    sqls.push_back(Seconds([&] { scan(kStudies), scan(kSeries); }));
    plains.push_back(Seconds([&] { plainListed = plainRecords(); }));
    searches.push_back(Seconds([&] { store->GetPatientRecords(studies, "smith", false); }));
    found = studies.size();
    studies.clear();
    plainSearches.push_back(Seconds([&] {
      scan("SELECT * FROM archive_patient WHERE patientID LIKE '%smith%' or patientName LIKE '%smith%' or studyID "
           "LIKE '%smith%' or studyDescription LIKE '%smith%' ORDER BY createdTime DESC");
    }));
  }
  std::string victim = "P3_1.2.826.0.1.3";
  double removal = Seconds([&] { store->DeleteStudy(victim.c_str()); });
  sqlite3_close(db);
  const double list = Median(lists), sql = Median(sqls), plain = Median(plains);
  const double search = Median(searches), plainSearch = Median(plainSearches);
  std::printf("listed %zu studies (plain records %zu), found %zu; medians of 7 alternating rounds\n", listed,
              plainListed, found);
  std::printf("%-34s %9.1f ms   its SQL alone %.1f ms (%.2fx the SQL; goal: under 150 ms, at most 2.5x)\n",
              "list all studies with series", list * 1000, sql * 1000, list / sql);
  Report("list all studies with series", list, plain, "sqlite3 + plain records");
  Report("search \"smith\"", search, plainSearch, "sqlite3 LIKE query");
  std::printf("%-34s %9.4f s   (goals: search < 0.1 s, delete < 0.02 s at 10,000 studies)\n",
              ("delete a " + std::to_string(victimPerSeries * seriesPerStudy) + "-instance study").c_str(), removal);
  ReleaseDB(store);
  return written && listed == size_t(studyCount) ? 0 : 1;
}

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  bool scale = argc > 1 && std::string(argv[1]) == "scale";
  auto arg = [&](int i, int fallback) { return argc > i ? std::atoi(argv[i]) : fallback; };
  int rc = scale ? ScaleBench(arg(2, 2000), arg(3, 5), arg(4, 100))
                 : ImportBench(argc > 1 ? std::atoi(argv[1]) : 2000, argc > 2 ? std::atoi(argv[2]) : 256);
  orvanta::test::ShutdownScratch();
  return rc;
}
