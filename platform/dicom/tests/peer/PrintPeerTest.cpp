// Basic print management against DCMTK's dcmprscp, with a configuration written by the test.

#include "PeerFiles.h"
#include "PeerProcess.h"
#include "SODcmPrint.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

// dcmprscp serving one printer like the one its own sample configuration calls IHEFULL:
// grey only, no A4, paper and film media. Print objects land in the database folder.
struct PrintSCP {
  fs::path dir = MakeTempDir("dcmprscp");
  int port = FreeLoopbackPort();
  std::unique_ptr<peer::PeerProcess> process;

  PrintSCP() {
    for (const char* sub : {"db", "spool", "lut", "log", "reports"}) fs::create_directories(dir / sub);
    std::ofstream cfg(dir / "print.cfg");
    cfg << "[[GENERAL]]\n[APPLICATION]\nLogDirectory = " << (dir / "log").string()
        << "\nLogFile = general.log\nLogLevel = WARN\n"
        << "[PRINT]\nSpooler = dcmprscu\nServer = dcmprscp\nDirectory = " << (dir / "spool").string()
        << "\nDetailedLog = false\nBinaryLog = false\nSleep = 5\nMinPrintResolution = 64\\64\n"
        << "MaxPrintResolution = 8192\\8192\nDefaultIllumination = 2000\nDefaultReflection = 10\n"
        << "DeletePrintJobs = true\nAlwaysDeleteTerminateJobs = true\n"
        << "[DATABASE]\nDirectory = " << (dir / "db").string() << "\n"
        << "[LUT]\nDirectory = " << (dir / "lut").string() << "\n"
        << "[REPORT]\nDirectory = " << (dir / "reports").string() << "\n"
        << "[NETWORK]\naetitle = DCMPSTATE\n"
        << "[[COMMUNICATION]]\n[PRINTER]\nAetitle = PRINTSCP\nDescription = test printer\n"
        << "Hostname = localhost\nPort = " << port << "\nType = LOCALPRINTER\n"
        << "BorderDensity = 150\\20\\BLACK\\WHITE\nDisableNewVRs = false\nDisplayFormat = 1,1\\1,2\\2,2\n"
        << "EmptyImageDensity = 20\\BLACK\\WHITE\nFilmDestination = MAGAZINE\\PROCESSOR\n"
        << "FilmSizeID = 8INX10IN\\10INX12IN\\10INX14IN\\11INX14IN\\14INX14IN\\14INX17IN\\24CMX24CM\\24CMX30CM\n"
        << "ImplicitOnly = false\nMagnificationType = REPLICATE\\BILINEAR\\CUBIC\\NONE\nMaxDensity = 320\n"
        << "MaxPDU = 32768\nMediumType = PAPER\\CLEAR FILM\\BLUE FILM\nMinDensity = 20\n"
        << "OmitSOPClassUIDFromCreateResponse = false\nPresentationLUTMatchRequired = false\n"
        << "PresentationLUTinFilmSession = false\nResolutionID = STANDARD\\HIGH\nSmoothingType = NONE\n"
        << "Supports12Bit = true\nSupportsDecimateCrop = true\nSupportsImageSize = true\n"
        << "SupportsPresentationLUT = true\nSupportsTrim = true\n";
    cfg.close();
    process = std::make_unique<peer::PeerProcess>(
        std::vector<std::string>{"dcmprscp", "-c", (dir / "print.cfg").string(), "-p", "PRINTER"}, dir / "dcmprscp.log");
  }
  bool Ready() { return process->WaitForPort(port); }

  // Stored files whose name starts with prefix (HG_ hardcopy image, SP_ stored print).
  std::vector<fs::path> Stored(const std::string& prefix) {
    std::vector<fs::path> out;
    for (const fs::path& f : peer::FilesBelow(dir / "db"))
      if (f.filename().string().rfind(prefix, 0) == 0) out.push_back(f);
    return out;
  }
};

std::vector<unsigned char> Gradient(int rows, int columns, int seed) {
  std::vector<unsigned char> pixels(static_cast<size_t>(rows) * columns);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) pixels[static_cast<size_t>(r) * columns + c] = static_cast<unsigned char>(r + c * seed);
  return pixels;
}

SODcmFilmBox Film(const std::vector<unsigned char>& pixels, int rows, int columns) {
  SODcmFilmBox film;
  film.imageBoxes.push_back({rows, columns, 1, pixels.data()});
  return film;
}

TEST(PrintPeer, PrintsGreyFilmsWithTheirFilmBoxSettings) {
  PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  const int rows = 320, columns = 256;
  std::vector<unsigned char> first = Gradient(rows, columns, 1), second = Gradient(rows, columns, 3);

  SODcmFilmSession session;
  session.priority = PRIORITY_HIGH;
  session.medium = MEDIUM_PAPER;
  session.filmBoxes.push_back(Film(first, rows, columns));
  SODcmFilmBox landscape = Film(second, rows, columns);
  landscape.orientation = FILMORIENT_LANDSCAPE;
  landscape.filmSize = FILMSIZE_10INX14IN;
  landscape.magnification = MAGNIFY_CUBIC;
  session.filmBoxes.push_back(landscape);

  SODcmPrint print;
  ASSERT_TRUE(print.Init("127.0.0.1", scp.port, "PRINTSCP", "ORVANTA"));
  SODcmPrintStatus status = PRINTSTATUS_PENDING;
  ASSERT_TRUE(print.Print(session, status)) << scp.process->Log();
  EXPECT_EQ(status, PRINTSTATUS_DONE);

  // One stored print per film, each with the settings of its film box.
  std::vector<fs::path> stored = scp.Stored("SP_");
  ASSERT_EQ(stored.size(), 2u) << scp.process->Log();
  std::multiset<std::string> seen;
  for (const fs::path& f : stored) {
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(f.c_str()).good());
    OFString size, orientation, magnification, format;
    DcmDataset* ds = file.getDataset();
    ds->findAndGetOFString(DCM_FilmSizeID, size, 0, OFTrue);
    ds->findAndGetOFString(DCM_FilmOrientation, orientation, 0, OFTrue);
    ds->findAndGetOFString(DCM_MagnificationType, magnification, 0, OFTrue);
    ds->findAndGetOFStringArray(DCM_ImageDisplayFormat, format, OFTrue);
    EXPECT_EQ(format, "STANDARD\\1,1");
    seen.insert(std::string(size.c_str()) + "/" + orientation.c_str() + "/" + magnification.c_str());
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{"14INX17IN/PORTRAIT/REPLICATE", "10INX14IN/LANDSCAPE/CUBIC"}));

  // The printer got our pixels unchanged.
  std::vector<fs::path> images = scp.Stored("HG_");
  ASSERT_EQ(images.size(), 2u);
  int matched = 0;
  for (const fs::path& f : images) {
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(f.c_str()).good());
    const Uint8* data = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(file.getDataset()->findAndGetUint8Array(DCM_PixelData, data, &count).good());
    ASSERT_EQ(count, first.size());
    if (std::equal(first.begin(), first.end(), data) || std::equal(second.begin(), second.end(), data)) ++matched;
  }
  EXPECT_EQ(matched, 2);

  SODcmPrinter printer;
  EXPECT_TRUE(print.GetPrinterInstance(printer, SODcmPrintType_Grayscale));
  EXPECT_EQ(printer.status, "NORMAL");
}

TEST(PrintPeer, RefusalsAndBadJobsAreFailures) {
  PrintSCP scp;
  ASSERT_TRUE(scp.Ready()) << scp.process->Log();
  const int rows = 100, columns = 80;
  std::vector<unsigned char> pixels = Gradient(rows, columns, 2);
  SODcmPrint print;
  ASSERT_TRUE(print.Init("127.0.0.1", scp.port, "PRINTSCP", "ORVANTA"));

  struct Case {
    const char* name;
    SODcmFilmSession session;
  };
  SODcmFilmSession a4, colour, rgbInGrey, tooMany, empty;
  a4.filmBoxes.push_back(Film(pixels, rows, columns));
  a4.filmBoxes.back().filmSize = FILMSIZE_A4;  // this printer has no A4
  colour.printType = SODcmPrintType_Color;     // grey printer
  colour.filmBoxes.push_back(SODcmFilmBox{});
  std::vector<unsigned char> rgb(static_cast<size_t>(rows) * columns * 3);
  colour.filmBoxes.back().imageBoxes.push_back({rows, columns, 3, rgb.data()});
  rgbInGrey.filmBoxes.push_back(SODcmFilmBox{});
  rgbInGrey.filmBoxes.back().imageBoxes.push_back({rows, columns, 3, rgb.data()});
  tooMany.filmBoxes.push_back(Film(pixels, rows, columns));
  tooMany.filmBoxes.back().imageBoxes.push_back({rows, columns, 1, pixels.data()});  // 2 images, 1 box
  for (Case& c : std::vector<Case>{{"A4", a4}, {"colour", colour}, {"RGB in grey", rgbInGrey},
                                   {"more images than boxes", tooMany}, {"no film", empty}}) {
    SODcmPrintStatus status = PRINTSTATUS_PENDING;
    EXPECT_FALSE(print.Print(c.session, status)) << c.name;
    EXPECT_EQ(status, PRINTSTATUS_FAILURE) << c.name;
  }
  EXPECT_TRUE(scp.Stored("SP_").empty());

  SODcmPrint closed;
  ASSERT_TRUE(closed.Init("127.0.0.1", FreeLoopbackPort(), "PRINTSCP", "ORVANTA"));
  SODcmPrintStatus status = PRINTSTATUS_PENDING;
  EXPECT_FALSE(closed.Print(a4, status));
  EXPECT_EQ(status, PRINTSTATUS_FAILURE);
  SODcmPrinter printer;
  EXPECT_FALSE(closed.GetPrinterInstance(printer, SODcmPrintType_Grayscale));
  EXPECT_FALSE(print.GetPrinterInstance(printer, SODcmPrintType_Color));
}

}  // namespace
