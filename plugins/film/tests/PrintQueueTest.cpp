#include "FilmTestFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using namespace filmtest;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

// Saves a film file into folder as an earlier run would have left it.
std::string Leave(const fs::path& folder, const char* date, const char* time, const char* status) {
  auto file = MakeFilm(Printer(FreeLoopbackPort()));
  std::string uid = SOUtil::GenerateUID();
  SODcmDataset* ds = file->GetDataset();
  ds->SetString(0x00080018, uid);
  ds->SetString(0x00080023, date);
  ds->SetString(0x00080033, time);
  if (status) ds->SetString(filmfile::kExecutionStatus, status);
  EXPECT_TRUE(file->SaveFile((folder / uid).c_str(), false));
  return uid;
}

TEST(PrintQueue, TheFirstScanListsEarlierFilmsNewestFirstWithTheirStoredStates) {
  fs::path folder = MakeTempDir("films");
  std::string old = Leave(folder, "20240101", "080000", nullptr);
  std::string done = Leave(folder, "20250301", "120000", "DONE");
  std::string failed = Leave(folder, "20250301", "093000", "FAILURE");
  std::string printing = Leave(folder, "20250302", "000000", "PRINTING");
  std::ofstream(folder / "notes.txt") << "not a film";
  std::ofstream(folder / (done + ".part77_1")) << "half a save";

  SOPrintQueue queue(folder.string());
  queue.WaitIdle();
  std::vector<PrintJob> jobs = queue.Jobs();
  std::vector<std::pair<std::string, int>> seen;
  for (const PrintJob& job : jobs) seen.emplace_back(job.uid, job.state);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{printing, PRINTJOB_PAUSED},
                                                            {done, PRINTJOB_DONE},
                                                            {failed, PRINTJOB_FAILED},
                                                            {old, PRINTJOB_PAUSED}}));
  const PrintJob& first = jobs.back();
  EXPECT_EQ(first.patientName, L"张三^胶片");
  EXPECT_EQ(first.filmCount, 1);
  EXPECT_EQ(first.copies, 1);
  EXPECT_EQ(first.printerName, "胶片机");
  EXPECT_EQ(first.path, (folder / old).string());
  EXPECT_EQ(first.dateTime.toString(), "2024-01-01 08:00:00");
  EXPECT_STREQ(PrintJobStateText(first.state), L"Paused");
}

// Four generation threads queue at once; the printer's port is closed, so every job fails.
TEST(PrintQueue, JobsAddedFromSeveralThreadsAreAllKeptAndEachEndsOnce) {
  fs::path folder = MakeTempDir("films");
  SOPrintQueue queue(folder.string());
  StateLog log;
  queue.AddListener(&log);
  const int port = FreeLoopbackPort();
  std::vector<std::string> uids(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      auto file = MakeFilm(Printer(port));
      EXPECT_TRUE(queue.AddJob(file.get()));
      file->GetDataset()->GetString(0x00080018, uids[i]);
    });
  for (std::thread& t : threads) t.join();
  queue.WaitIdle();

  EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), 4u);
  for (const std::string& uid : uids) {
    EXPECT_EQ(log.States(uid), (std::vector<int>{PRINTJOB_WAITING, PRINTJOB_PRINTING, PRINTJOB_FAILED})) << uid;
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile((folder / uid).c_str()));
    std::string status;
    EXPECT_TRUE(file.GetDataset()->GetString(filmfile::kExecutionStatus, status));
    EXPECT_EQ(status, "FAILURE");
  }

  // A finished job can be removed, with its file; it is gone for good.
  EXPECT_TRUE(queue.Remove(uids[0]));
  EXPECT_FALSE(fs::exists(folder / uids[0]));
  EXPECT_FALSE(queue.Remove(uids[0]));
  EXPECT_FALSE(queue.Restart(uids[0]));
  queue.RemoveListener(&log);
}

TEST(PrintQueue, AFilmThatCannotBeSavedIsNotQueued) {
  fs::path blocker = MakeTempDir("films") / "file";
  std::ofstream(blocker) << "x";
  SOPrintQueue queue((blocker / "Films").string());  // a folder below a plain file
  auto file = MakeFilm(Printer(104));
  EXPECT_FALSE(queue.AddJob(file.get()));
  queue.WaitIdle();
  EXPECT_TRUE(queue.Jobs().empty());
}

}  // namespace
