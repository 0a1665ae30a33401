// Basic print management against DCMTK's dcmprscp, with a configuration written by the test.

#include "PeerFiles.h"
#include "PeerProcess.h"
#include "PrintScp.h"
#include "SODcmPrint.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace fs = std::filesystem;
using orvanta::test::FreeLoopbackPort;
using peer::PrintSCP;

namespace {

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
