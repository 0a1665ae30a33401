// The film plug-in's printing, beside DCMTK's own tools on the same data in the same run:
//   - one 4200 x 5100 film (21.4 MB of 8-bit pixels) printed with SODcmPrint to dcmprscp, with
//     16 KB and 64 KB PDUs, beside DCMTK's own print client (DVPSPrintMessageHandler, the class
//     dcmprscu prints with) sending the same film box, image box, print and deletes to the same
//     server; and, for scale, storescu sending a file of the same size to storescp;
//   - the print queue's first scan of 20 queued film files (headers only), beside dcmdump -M
//     (long values not loaded) reading the same 20 files.
// Usage: bench_film_print [rounds]

#include "BenchSupport.h"
#include "FilmFile.h"
#include "PrintScp.h"
#include "SODcmFile.h"
#include "SODcmGetSet.h"
#include "SODcmPrint.h"
#include "SOPrintQueue.h"
#include "SOUtil.h"
#include "TestSupport.h"

#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmpstat/dvpspr.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr int kRows = 5100, kColumns = 4200;

// A film object of one frame, stamped for a printer on port.
std::unique_ptr<SODcmFile> Film(int port) {
  auto file = std::make_unique<SODcmFile>();
  SODcmDataset* ds = file->GetDataset();
  ds->SetString(0x00080005, "ISO_IR 192");
  ds->SetString(0x00080016, "1.2.840.10008.5.1.4.1.1.7");
  ds->SetString(0x00080018, SOUtil::GenerateUID());
  ds->SetString(0x0020000D, SOUtil::GenerateUID());
  ds->SetString(0x0020000E, SOUtil::GenerateUID());
  ds->SetString(0x00100010, "Bench^Film");
  SODcmImagePixel pixel;
  pixel.rows = kRows;
  pixel.columns = kColumns;
  unsigned char* bytes = SODcmGetSet::Create(*ds, pixel);
  for (size_t i = 0; i < size_t(kRows) * kColumns; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / kColumns);
  PrinterRecord printer;
  printer.name = "bench";
  printer.ip = "127.0.0.1";
  printer.port = port;
  printer.calledAE = "PRINTSCP";
  printer.callingAE = "ORVANTA";
  printer.filmSize = 8;
  filmfile::StampPrinter(*ds, printer);
  return file;
}

// The same job with DCMTK's print client: session, film box, image box, print, deletes.
bool DcmtkPrint(int port, int pdu, const unsigned char* pixels) {
  DVPSPrintMessageHandler handler;
  if (handler.negotiateAssociation(nullptr, "ORVANTA", "PRINTSCP", "127.0.0.1", port, pdu, OFFalse, OFFalse, OFFalse)
          .bad())
    return false;
  Uint16 status = 0;
  DcmDataset* out = nullptr;
  OFString session, filmBox;
  DcmDataset sessionAttributes;
  sessionAttributes.putAndInsertString(DCM_NumberOfCopies, "1");
  sessionAttributes.putAndInsertString(DCM_PrintPriority, "MED");
  bool ok = handler.createRQ(UID_BasicFilmSessionSOPClass, session, &sessionAttributes, status, out).good() && status == 0;
  delete out;
  out = nullptr;
  DcmDataset box;
  box.putAndInsertString(DCM_ImageDisplayFormat, "STANDARD\\1,1");
  box.putAndInsertString(DCM_FilmOrientation, "PORTRAIT");
  box.putAndInsertString(DCM_FilmSizeID, "14INX17IN");
  box.putAndInsertString(DCM_MagnificationType, "CUBIC");
  DcmItem* ref = nullptr;
  box.findOrCreateSequenceItem(DCM_ReferencedFilmSessionSequence, ref, -2);
  ref->putAndInsertString(DCM_ReferencedSOPClassUID, UID_BasicFilmSessionSOPClass);
  ref->putAndInsertString(DCM_ReferencedSOPInstanceUID, session.c_str());
  ok = ok && handler.createRQ(UID_BasicFilmBoxSOPClass, filmBox, &box, status, out).good() && status == 0 && out;
  OFString imageBox;
  DcmItem* boxRef = nullptr;
  ok = ok && out->findAndGetSequenceItem(DCM_ReferencedImageBoxSequence, boxRef, 0).good() &&
       boxRef->findAndGetOFString(DCM_ReferencedSOPInstanceUID, imageBox).good();
  delete out;
  out = nullptr;
  if (ok) {
    DcmDataset set;
    set.putAndInsertUint16(DCM_ImageBoxPosition, 1);
    DcmItem* image = nullptr;
    set.findOrCreateSequenceItem(DCM_BasicGrayscaleImageSequence, image, -2);
    image->putAndInsertUint16(DCM_SamplesPerPixel, 1);
    image->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    image->putAndInsertUint16(DCM_Rows, kRows);
    image->putAndInsertUint16(DCM_Columns, kColumns);
    image->putAndInsertString(DCM_PixelAspectRatio, "1\\1");
    image->putAndInsertUint16(DCM_BitsAllocated, 8);
    image->putAndInsertUint16(DCM_BitsStored, 8);
    image->putAndInsertUint16(DCM_HighBit, 7);
    image->putAndInsertUint16(DCM_PixelRepresentation, 0);
    image->putAndInsertUint8Array(DCM_PixelData, pixels, static_cast<unsigned long>(kRows) * kColumns);
    ok = handler.setRQ(UID_BasicGrayscaleImageBoxSOPClass, imageBox.c_str(), &set, status, out).good() && status == 0;
    delete out;
    out = nullptr;
    ok = ok && handler.actionRQ(UID_BasicFilmBoxSOPClass, filmBox.c_str(), 1, nullptr, status, out).good() && status == 0;
    delete out;
    out = nullptr;
    ok = handler.deleteRQ(UID_BasicFilmBoxSOPClass, filmBox.c_str(), status).good() && ok;
  }
  ok = handler.deleteRQ(UID_BasicFilmSessionSOPClass, session.c_str(), status).good() && ok;
  handler.releaseAssociation();
  return ok;
}

void Ratio(const char* what, std::vector<double> ours, std::vector<double> peer, const char* peerName) {
  std::printf("%-34s ours %.3f s, %s %.3f s, ratio %.2f\n", what, Median(ours), peerName, Median(peer),
              Median(ours) / Median(peer));
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = orvanta::test::MakeTempDir("film_print");

  // The same film as a plain file for storescu.
  const fs::path scFile = dir / "film.dcm";
  Film(104)->SaveFile(scFile.c_str(), false);
  std::printf("film %d x %d, %.1f MB of pixels; %d rounds after a warm-up, order alternating\n", kColumns, kRows,
              kRows * double(kColumns) / 1e6, rounds);
  std::printf("peers: DCMTK's print client (DVPSPrintMessageHandler) to the same dcmprscp; storescu to storescp\n");
  const double storescuStart = StartupSeconds({"storescu", "--version"});

  for (int pdu : {16384, 65536}) {
    peer::PrintSCP scp(pdu);
    if (!scp.Ready()) {
      std::printf("dcmprscp did not start\n");
      return 1;
    }
    const int storePort = orvanta::test::FreeLoopbackPort();
    const fs::path in = dir / ("in" + std::to_string(pdu));
    fs::create_directories(in);
    pid_t storescp = Spawn({"storescp", "-pdu", std::to_string(pdu), "-od", in.string(), std::to_string(storePort)});
    if (!WaitPort(storePort)) return 1;

    auto film = Film(scp.port);
    filmfile::PrintRequest request;
    std::string why;
    if (!filmfile::ReadPrintRequest(*film->GetDataset(), request, why)) return 1;
    auto ours = [&] {
      SODcmPrint print;
      SODcmPrintStatus status;
      print.Init("127.0.0.1", scp.port, "PRINTSCP", "ORVANTA");
      if (!print.Print(request.session, status)) std::printf("print failed\n");
    };
    const unsigned char* pixels = request.session.filmBoxes[0].imageBoxes[0].pixels;
    auto dcmtk = [&] {
      if (!DcmtkPrint(scp.port, pdu, pixels)) std::printf("DCMTK print failed\n");
    };
    auto theirs = [&] {
      if (Run({"storescu", "-xs", "--max-pdu", std::to_string(pdu), "127.0.0.1", std::to_string(storePort),
               scFile.string()}) != 0)
        std::printf("storescu failed\n");
    };
    ours();
    dcmtk();
    theirs();
    std::vector<double> o, d, p;
    for (int r = 0; r < rounds; ++r) {
      if (r % 2) {
        d.push_back(Seconds(dcmtk));
        o.push_back(Seconds(ours));
      } else {
        o.push_back(Seconds(ours));
        d.push_back(Seconds(dcmtk));
      }
      p.push_back(Seconds(theirs));
    }
    char what[64];
    std::snprintf(what, sizeof what, "print, %d KB PDUs", pdu / 1024);
    Ratio(what, o, d, "DCMTK print client");
    Ratio(what, o, p, "storescu");
    std::vector<double> pNoStart;
    for (double t : p) pNoStart.push_back(t - storescuStart);
    std::printf("%-34s ratio %.2f with storescu's start-up (%.3f s) taken off\n", "", Median(o) / Median(pNoStart),
                storescuStart);
    Stop(storescp);
  }

  // First scan of 20 queued films.
  const fs::path films = dir / "Films";
  fs::create_directories(films);
  std::vector<std::string> dumpArgs{"dcmdump", "-q", "-M"};
  for (int i = 0; i < 20; ++i) {
    auto film = Film(104);
    const std::string uid = SOUtil::GenerateUID();
    film->GetDataset()->SetString(0x00080018, uid);
    film->SaveFile((films / uid).c_str(), false);
    dumpArgs.push_back((films / uid).string());
  }
  std::vector<double> scans, dumps;
  for (int r = 0; r <= rounds; ++r) {
    double s = Seconds([&] {
      SOPrintQueue queue(films.string());
      queue.WaitIdle();
      if (queue.Jobs().size() != 20) std::printf("scan found %zu jobs\n", queue.Jobs().size());
    });
    double d = Seconds([&] { Run(dumpArgs); });
    if (r == 0) continue;  // warm-up
    scans.push_back(s);
    dumps.push_back(d);
  }
  Ratio("first scan of 20 film files", scans, dumps, "dcmdump -M");
  std::printf("%-34s scan median %.1f ms (goal under 50 ms)\n", "", Median(scans) * 1000);
  return 0;
}
