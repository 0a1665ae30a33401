// Rendering films at print resolution (14 x 17 in, 300 DPI: 4200 x 5100) and saving them as one
// DICOM image, against a plain Qt QPainter render of the same images (windowed by DCMTK) onto a
// canvas of the same size, saved with DCMTK, in the same run. Layouts 1x1, 4x5 and 7x6 of 512²
// CT images with a header; then peak memory of exports of 1, 5 and 13 films (4x5 of 128² images),
// each in a process of its own, against n x 21.4 MB + 100 MB. Landscape films are composed on
// their side and turned into the film's grey bytes; that turn is timed on its own against Qt
// turning the same canvas (QImage::transformed by 90 degrees) and converting it to grey, and
// against our own portrait conversion of it (no turn); and a 4x5 landscape film beside a portrait
// one.
// Usage: bench_film_render [rounds=3]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOFilmSession.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

namespace {

constexpr int kWidth = 4200, kHeight = 5100;

std::vector<fs::path> WriteImages(int count, int size = 512) {
  fx::CtSeriesOptions options;
  options.slices = count;
  options.rows = options.columns = size;
  options.shuffleInstanceNumbers = false;
  return fx::WriteCtSeries(orvanta::test::MakeTempDir("film"), options).files;
}

// Ours: a session of `films` films of rows x cols images, exported and saved.
double RenderOurs(const std::vector<std::unique_ptr<SODcmObject>>& objects, int rows, int cols, int films,
                  const fs::path& out, int orientation = 1) {
  SOFilmSession session;
  session.SetStudyInstanceUID("1.2.3");
  session.SetHeaderVisible(true);
  session.SetHeaderRatio(0.013f);
  session.SetImageLayout(rows, cols, true);
  const int count = rows * cols * films;
  for (int i = 0; i < count; ++i) session.AddImage(objects[i % objects.size()].get());
  session.SetOrientation(orientation, true);
  return bench::Seconds([&] {
    SODcmFile file;
    session.ExportFilms(&file, true, nullptr);
    file.SaveFile(out.c_str());
  });
}

// The peer: the files parsed once before its clock, as ours are; DCMTK windows each image to 8 bits, QPainter scales it into its cell of a
// 4200 x 5100 canvas, the canvas becomes grey bytes, DCMTK saves them.
double RenderPeer(const std::vector<std::unique_ptr<DcmFileFormat>>& files, int rows, int cols, int films, const fs::path& out) {
  return bench::Seconds([&] {
    std::vector<Uint8> frames(static_cast<size_t>(kWidth) * kHeight * films);
    size_t next = 0;
    for (int f = 0; f < films; ++f) {
      QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
      canvas.fill(Qt::white);
      QPainter painter(&canvas);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.fillRect(0, 0, kWidth, 66, Qt::black);
      const double cw = (kWidth - 6.0) / cols, ch = (kHeight - 76.0) / rows;
      for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
          DcmDataset* data = files[next++ % files.size()]->getDataset();
          DicomImage image(data, data->getOriginalXfer());
          image.setWindow(40, 400);
          const void* bytes = image.getOutputData(8);
          QImage grey(static_cast<const uchar*>(bytes), 512, 512, 512, QImage::Format_Grayscale8);
          const QRectF cell(2 + j * cw, 70 + i * ch, cw, ch);
          painter.fillRect(cell, Qt::black);
          const double side = std::min(cw, ch);
          painter.drawImage(QRectF(cell.center().x() - side / 2, cell.center().y() - side / 2, side, side), grey);
        }
      painter.end();
      const QImage grey = canvas.convertToFormat(QImage::Format_Grayscale8);
      Uint8* frame = frames.data() + static_cast<size_t>(f) * kWidth * kHeight;
      for (int y = 0; y < kHeight; ++y) std::memcpy(frame + static_cast<size_t>(y) * kWidth, grey.constScanLine(y), kWidth);
    }
    DcmFileFormat format;
    DcmDataset* dataset = format.getDataset();
    dataset->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    dataset->putAndInsertUint16(DCM_SamplesPerPixel, 1);
    dataset->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    dataset->putAndInsertUint16(DCM_Rows, kHeight);
    dataset->putAndInsertUint16(DCM_Columns, kWidth);
    dataset->putAndInsertUint16(DCM_BitsAllocated, 8);
    dataset->putAndInsertUint16(DCM_BitsStored, 8);
    dataset->putAndInsertUint16(DCM_HighBit, 7);
    dataset->putAndInsertUint16(DCM_PixelRepresentation, 0);
    dataset->putAndInsertString(DCM_NumberOfFrames, std::to_string(films).c_str());
    dataset->putAndInsertUint8Array(DCM_PixelData, frames.data(), static_cast<unsigned long>(frames.size()));
    format.saveFile(out.c_str(), EXS_LittleEndianExplicit);
  });
}

std::vector<std::unique_ptr<DcmFileFormat>> ParsePlain(const std::vector<fs::path>& files) {
  std::vector<std::unique_ptr<DcmFileFormat>> parsed;
  for (const auto& file : files) {
    parsed.push_back(std::make_unique<DcmFileFormat>());
    parsed.back()->loadFile(file.c_str());
    parsed.back()->getDataset()->loadAllDataIntoMemory();
  }
  return parsed;
}

std::vector<std::unique_ptr<SODcmObject>> Parse(const std::vector<fs::path>& files) {
  std::vector<std::unique_ptr<SODcmObject>> objects;
  for (const auto& file : files) {
    objects.push_back(std::make_unique<SODcmObject>());
    objects.back()->ParseDcmFile(file.c_str(), true);
  }
  return objects;
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  const fs::path out = orvanta::test::MakeTempDir("out");
  // A child run: export `films` films of 4x5 distinct 128² images and print the peak resident
  // size.
  if (argc > 2 && std::string(argv[1]) == "--rss") {
    const int films = std::atoi(argv[2]);
    const auto files = WriteImages(20 * films, 128);
    const auto objects = Parse(files);
    const long before = bench::PeakRssMb();
    RenderOurs(objects, 5, 4, films, out / "rss.dcm");
    std::printf("%ld %ld\n", before, bench::PeakRssMb());
    orvanta::test::ShutdownScratch();
    return 0;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const auto files = WriteImages(42);
  const auto objects = Parse(files);
  const auto plain = ParsePlain(files);
  std::printf("film render + save per film, 4200 x 5100, 512² CT images (median of %d)\n", rounds);
  struct Layout {
    int rows, cols;
  };
  for (const Layout layout : {Layout{1, 1}, Layout{5, 4}, Layout{6, 7}}) {
    std::vector<double> ours, peer;
    for (int r = 0; r < rounds; ++r) {
      ours.push_back(RenderOurs(objects, layout.rows, layout.cols, 1, out / "ours.dcm"));
      peer.push_back(RenderPeer(plain, layout.rows, layout.cols, 1, out / "peer.dcm"));
    }
    const double o = bench::Median(ours), p = bench::Median(peer);
    std::printf("  %dx%d: ours %.3f s, QPainter+DCMTK (files parsed once) %.3f s, ratio %.2f (goal <= 1.3), A B A B, "
                "load %.1f\n",
                layout.cols, layout.rows, o, p, o / p, bench::LoadAverage());
  }
  {
    // The turn alone, on a canvas with a picture in it (the 4x5 film's composition stands in).
    QImage canvas(kHeight, kWidth, QImage::Format_RGB32);
    for (int y = 0; y < canvas.height(); ++y) {
      auto* line = reinterpret_cast<uint32_t*>(canvas.scanLine(y));
      for (int x = 0; x < canvas.width(); ++x) line[x] = 0xFF000000u | ((x * 7 + y * 3) & 0xFF) * 0x010101u;
    }
    std::vector<unsigned char> grey(static_cast<size_t>(kWidth) * kHeight);
    const auto* bits = reinterpret_cast<const uint32_t*>(canvas.constBits());
    std::vector<double> turn, straight, qt, portrait, landscape;
    for (int r = 0; r < std::max(rounds, 5); ++r) {
      turn.push_back(bench::Seconds([&] { film::CanvasToGrey(bits, kWidth, kHeight, true, grey.data()); }));
      straight.push_back(bench::Seconds([&] { film::CanvasToGrey(bits, kHeight, kWidth, false, grey.data()); }));
      qt.push_back(bench::Seconds([&] {
        const QImage turned = canvas.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < kHeight; ++y)
          std::memcpy(grey.data() + static_cast<size_t>(y) * kWidth, turned.constScanLine(y), kWidth);
      }));
    }
    for (int r = 0; r < rounds; ++r) {
      portrait.push_back(RenderOurs(objects, 5, 4, 1, out / "portrait.dcm", 1));
      landscape.push_back(RenderOurs(objects, 5, 4, 1, out / "landscape.dcm", 2));
    }
    const double t = bench::Median(turn), q = bench::Median(qt), p = bench::Median(straight);
    std::printf("landscape turn of a 5100 x 4200 canvas into 4200 x 5100 grey bytes (median of %d)\n",
                std::max(rounds, 5));
    std::printf("  ours %.1f ms, QImage::transformed(90) + grey %.1f ms, ratio %.2f; our portrait conversion %.1f ms "
                "(the turn costs %.2f x it)\n",
                1000 * t, 1000 * q, t / q, 1000 * p, t / p);
    const double lp = bench::Median(portrait), ll = bench::Median(landscape);
    std::printf("  4x5 film render + save: landscape %.3f s, portrait %.3f s, ratio %.2f\n", ll, lp, ll / lp);
  }
  std::printf("peak resident memory of an all-films export (4x5 films), each in its own process\n");
  for (int films : {1, 5, 13}) {
    const std::string command = "\"" + fs::canonical("/proc/self/exe").string() + "\" --rss " + std::to_string(films);
    FILE* pipe = popen(command.c_str(), "r");
    long before = 0, peak = 0;
    if (!pipe || std::fscanf(pipe, "%ld %ld", &before, &peak) != 2) std::printf("  %d films: failed\n", films);
    else
      std::printf("  %2d films: peak %ld MB (%ld MB before the export); budget %.0f MB\n", films, peak, before,
                  films * 21.4 + 100 + before);
    if (pipe) pclose(pipe);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
