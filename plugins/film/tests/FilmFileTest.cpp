#include "FilmTestFiles.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <gtest/gtest.h>

using namespace filmtest;

namespace {

TEST(FilmFile, PrinterSettingsGoIntoTheFileAndComeBackAsThePrintRequest) {
  PrinterRecord p = Printer(4242);
  p.filmOrient = 2;
  p.medium = 2;
  p.priority = 1;
  p.magnificationType = 2;
  auto file = MakeFilm(p, {.frames = 3});
  const SODcmDataset* ds = file->GetDataset();

  std::string text;
  EXPECT_TRUE(ds->GetString(0x20100050, text) && text == "14INX17IN");
  EXPECT_TRUE(ds->GetString(0x20100040, text) && text == "LANDSCAPE");
  EXPECT_TRUE(ds->GetString(0x20000030, text) && text == "CLEAR FILM");
  EXPECT_TRUE(ds->GetString(0x20000020, text) && text == "HIGH");
  EXPECT_TRUE(ds->GetString(0x20100060, text) && text == "BILINEAR");
  EXPECT_TRUE(ds->GetString(filmfile::kPrivateCreator, text) && text == "Orvanta01");
  EXPECT_TRUE(ds->GetString(filmfile::kFilmFormat, text) && text == "GRAYSCALE");
  DcmElement* port = nullptr;
  ASSERT_TRUE(ds->GetDcmItem()->findAndGetElement(DcmTagKey(0x0739, 0x1103), port).good());
  EXPECT_EQ(port->getVR(), EVR_US);

  filmfile::PrintRequest request;
  std::string why;
  ASSERT_TRUE(filmfile::ReadPrintRequest(*ds, request, why)) << why;
  PrinterRecord expected = p;
  expected.headerVisible = request.printer.headerVisible;  // not part of the file
  expected.headerSizeRatio = request.printer.headerSizeRatio;
  expected.DPI = request.printer.DPI;
  EXPECT_EQ(request.printer, expected);
  const SODcmFilmSession& s = request.session;
  EXPECT_EQ(s.printType, SODcmPrintType_Grayscale);
  EXPECT_EQ(s.priority, PRIORITY_HIGH);
  ASSERT_TRUE(s.medium.has_value());
  EXPECT_EQ(*s.medium, MEDIUM_CLEAR_FILM);
  ASSERT_EQ(s.filmBoxes.size(), 3u);
  for (int f = 0; f < 3; ++f) {
    const SODcmFilmBox& box = s.filmBoxes[f];
    EXPECT_EQ(box.orientation, FILMORIENT_LANDSCAPE);
    EXPECT_EQ(box.filmSize, FILMSIZE_14INX17IN);
    EXPECT_EQ(box.magnification, MAGNIFY_BILINEAR);
    ASSERT_EQ(box.imageBoxes.size(), 1u);
    const SODcmImageBox& image = box.imageBoxes[0];
    EXPECT_EQ(image.rows, 96);
    EXPECT_EQ(image.columns, 80);
    EXPECT_EQ(image.pixels[5 * 80 + 7], FramePixel(f, 5, 7));
  }
}

TEST(FilmFile, UnsetAndUnknownValuesAreLeftOutAndColourSendsEqualComponents) {
  PrinterRecord p = Printer(4242);
  p.medium = 0;
  p.filmSize = 99;
  p.filmFormat = 1;
  auto file = MakeFilm(p);
  const SODcmDataset* ds = file->GetDataset();
  EXPECT_FALSE(ds->TagExists(0x20000030));
  EXPECT_FALSE(ds->TagExists(0x20100050));

  filmfile::PrintRequest request;
  std::string why;
  ASSERT_TRUE(filmfile::ReadPrintRequest(*ds, request, why)) << why;
  EXPECT_FALSE(request.session.medium.has_value());
  EXPECT_EQ(request.session.printType, SODcmPrintType_Color);
  ASSERT_EQ(request.session.filmBoxes.size(), 1u);
  const SODcmImageBox& image = request.session.filmBoxes[0].imageBoxes.at(0);
  ASSERT_EQ(image.samplesPerPixel, 3);
  const int at = 40 * 80 + 9;
  EXPECT_EQ(image.pixels[3 * at], FramePixel(0, 40, 9));
  EXPECT_EQ(image.pixels[3 * at + 1], FramePixel(0, 40, 9));
  EXPECT_EQ(image.pixels[3 * at + 2], FramePixel(0, 40, 9));
}

TEST(FilmFile, FilesWhosePixelsCannotBePrintedAreRefused) {
  struct Case {
    const char* name;
    FilmOptions options;
  } cases[] = {
      {"no pixel data", {.pixels = false}},
      {"16-bit pixels", {.bits = 16}},
      {"three samples", {.samples = 3}},
      {"more frames declared than stored", {.frames = 2, .declaredFrames = 5}},
  };
  for (const Case& c : cases) {
    auto file = MakeFilm(Printer(4242), c.options);
    filmfile::PrintRequest request;
    std::string why;
    EXPECT_FALSE(filmfile::ReadPrintRequest(*file->GetDataset(), request, why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
}

}  // namespace
