// The print queue against DCMTK's print server (dcmprscp) on loopback.

#include "FilmTestFiles.h"
#include "PrintScp.h"
#include "ScopedLimits.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

namespace fs = std::filesystem;
using namespace filmtest;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

std::string Queue(SOPrintQueue& queue, SODcmFile& film) {
  EXPECT_TRUE(queue.AddJob(&film));
  std::string uid;
  film.GetDataset()->GetString(0x00080018, uid);
  return uid;
}

std::string StoredStatus(const fs::path& file) {
  SODcmFile film;
  std::string status;
  if (film.LoadFile(file.c_str())) film.GetDataset()->GetString(filmfile::kExecutionStatus, status);
  return status;
}

TEST(PrintQueuePeer, AThreeFilmJobPrintsThreeFilmBoxesAndEndsDone) {
  peer::PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  fs::path folder = MakeTempDir("films");
  SOPrintQueue queue(folder.string());
  StateLog log;
  queue.AddListener(&log);
  auto film = MakeFilm(Printer(scp.port), {.frames = 3, .rows = 240, .columns = 192});
  const std::string uid = Queue(queue, *film);
  queue.WaitIdle();

  EXPECT_EQ(log.States(uid), (std::vector<int>{PRINTJOB_WAITING, PRINTJOB_PRINTING, PRINTJOB_DONE}));
  EXPECT_EQ(StoredStatus(folder / uid), "DONE");
  SODcmFile stored;
  ASSERT_TRUE(stored.LoadFile((folder / uid).c_str()));
  std::wstring printer;
  EXPECT_TRUE(stored.GetDataset()->GetString(filmfile::kPrinterName, printer));
  EXPECT_EQ(printer, L"胶片机");
  EXPECT_EQ(queue.Jobs().at(0).filmCount, 3);

  // Every frame reached the printer unchanged, one hardcopy image each.
  std::vector<fs::path> images = scp.Stored("HG_");
  ASSERT_EQ(images.size(), 3u) << scp.process->Log();
  std::set<int> frames;
  for (const fs::path& f : images) {
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(f.c_str()).good());
    const Uint8* data = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(file.getDataset()->findAndGetUint8Array(DCM_PixelData, data, &count).good());
    ASSERT_EQ(count, 240u * 192u);
    for (int frame = 0; frame < 3; ++frame)
      if (data[100 * 192 + 50] == FramePixel(frame, 100, 50) && data[239 * 192 + 191] == FramePixel(frame, 239, 191))
        frames.insert(frame);
  }
  EXPECT_EQ(frames, (std::set<int>{0, 1, 2}));
  queue.RemoveListener(&log);
}

TEST(PrintQueuePeer, RefusalsAndUnprintableFilesEndFailedAndSayFailure) {
  peer::PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  fs::path folder = MakeTempDir("films");
  SOPrintQueue queue(folder.string());

  PrinterRecord a4 = Printer(scp.port);
  a4.filmSize = 11;  // this printer has no A4: the film box is refused (0x0106)
  PrinterRecord colour = Printer(scp.port);
  colour.filmFormat = 1;  // a grey-only printer refuses colour print management
  struct Case {
    const char* name;
    std::unique_ptr<SODcmFile> film;
  } cases[] = {
      {"closed port", MakeFilm(Printer(FreeLoopbackPort()))},
      {"A4", MakeFilm(a4)},
      {"colour", MakeFilm(colour)},
      {"no pixels", MakeFilm(Printer(scp.port), {.pixels = false})},
      {"frames beyond the pixel data", MakeFilm(Printer(scp.port), {.frames = 1, .declaredFrames = 4})},
  };
  std::vector<std::string> uids;
  for (Case& c : cases) uids.push_back(Queue(queue, *c.film));
  queue.WaitIdle();
  const std::vector<PrintJob> jobs = queue.Jobs();
  for (size_t i = 0; i < uids.size(); ++i) {
    const PrintJob* job = Find(jobs, uids[i]);
    ASSERT_TRUE(job) << cases[i].name;
    EXPECT_EQ(job->state, PRINTJOB_FAILED) << cases[i].name;
    EXPECT_EQ(StoredStatus(folder / uids[i]), "FAILURE") << cases[i].name;
  }
  EXPECT_TRUE(scp.Stored("HG_").empty()) << scp.process->Log();
}

TEST(PrintQueuePeer, AFilmLeftWithoutStatusIsPausedAfterARestartAndPrintsWhenStarted) {
  peer::PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  fs::path folder = MakeTempDir("films");
  std::string uid;
  {
    auto film = MakeFilm(Printer(scp.port), {.frames = 2});
    uid = SOUtil::GenerateUID();
    film->GetDataset()->SetString(0x00080018, uid);
    ASSERT_TRUE(film->SaveFile((folder / uid).c_str(), false));
  }
  SOPrintQueue queue(folder.string());
  queue.WaitIdle();
  ASSERT_EQ(queue.Jobs().size(), 1u);
  EXPECT_EQ(queue.Jobs()[0].state, PRINTJOB_PAUSED);
  EXPECT_EQ(queue.Jobs()[0].filmCount, 2);

  ASSERT_TRUE(queue.Restart(uid));
  queue.WaitIdle();
  EXPECT_EQ(queue.Jobs()[0].state, PRINTJOB_DONE);
  EXPECT_EQ(scp.Stored("HG_").size(), 2u);
  // Printed again: the stored status is written over.
  ASSERT_TRUE(queue.Restart(uid));
  queue.WaitIdle();
  EXPECT_EQ(queue.Jobs()[0].state, PRINTJOB_DONE);
  EXPECT_EQ(scp.Stored("HG_").size(), 4u);
}

// A printer that takes the connection and never answers keeps a job printing for as long as
// the association set-up limit, so the test can act on a printing and a waiting job.
TEST(PrintQueuePeer, APrintingJobCannotBeRestartedOrRemovedButAWaitingOneCanBeRemoved) {
  peer::ScopedLimits limits({.connect = 2, .acse = 3, .dimse = 3, .pdu = 3, .call = 5});
  int silent = 0;
  const int listener = orvanta::test::ListenOnLoopback(&silent, 8);
  ASSERT_GE(listener, 0);

  fs::path folder = MakeTempDir("films");
  SOPrintQueue queue(folder.string());
  StateLog log;
  queue.AddListener(&log);
  auto first = MakeFilm(Printer(silent));
  auto second = MakeFilm(Printer(silent));
  const std::string printing = Queue(queue, *first);
  const std::string waiting = Queue(queue, *second);
  ASSERT_TRUE(log.WaitFor([&](const std::vector<PrintJob>& jobs) {
    const PrintJob* job = Find(jobs, printing);
    return job && job->state == PRINTJOB_PRINTING;
  }));
  EXPECT_EQ(queue.Jobs().front().uid, waiting);  // newest first

  EXPECT_FALSE(queue.Restart(printing));
  EXPECT_FALSE(queue.Restart(waiting));
  EXPECT_FALSE(queue.Remove(printing));
  EXPECT_TRUE(fs::exists(folder / printing));
  EXPECT_TRUE(queue.Remove(waiting));
  EXPECT_FALSE(fs::exists(folder / waiting));

  queue.WaitIdle();
  ASSERT_EQ(queue.Jobs().size(), 1u);
  EXPECT_EQ(queue.Jobs()[0].state, PRINTJOB_FAILED);
  EXPECT_TRUE(log.States(waiting) == std::vector<int>{PRINTJOB_WAITING});  // never printed
  queue.RemoveListener(&log);
  ::close(listener);
}

}  // namespace
