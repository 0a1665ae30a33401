// The film control on screen, offscreen: a session window of 1600 x 1200 showing 7x6-image films
// in film layouts 1x1 (42 image windows) and 2x2 (168 image windows), over 256² CT images, each
// film showing images of its own.
//   wheel: one wheel step sent to the session window (the next or previous page of films), timed
//          until every window it changed has painted;
//   repaint: every film and image window invalidated, timed until all have painted again.
// The peer, in the same run, is a plain Qt widget of the same size painting the same images into
// the same cells with QPainter (smooth scaling): on a page turn it windows the new page's images
// with DCMTK (from images parsed once, as the control's are) and draws them; on a repaint it draws
// the windowed images again. Both paint through the event loop and are timed to its idle point.
// Wall times suffer on a busy machine; the process's processor time per step is shown beside them.
// Usage: bench_film_screen [steps=40]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "HostFrame.h"
#include "SODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOFilmSessionWindow.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace bench;

namespace {

constexpr int kWidth = 1600, kHeight = 1200, kImageRows = 7, kImageCols = 6, kSize = 256;

// Counts the paint events the application delivers.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(object, event);
  }
};

// Runs the event loop until two passes deliver no paint, once a paint came after `start` paints.
void Drain(PaintCounter& counter, int start) {
  for (int idle = 0, guard = 0; guard < 1000; ++guard) {
    const int before = counter.paints;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (counter.paints == before && counter.paints > start) {
      if (++idle == 2) return;
    } else {
      idle = 0;
    }
  }
}

// The peer: films of windowed images drawn by one plain widget into the control's cells.
class PlainFilms : public QWidget {
 public:
  PlainFilms(std::vector<std::unique_ptr<DicomImage>>& images, int filmRows, int filmCols)
      : images_(images), filmRows_(filmRows), filmCols_(filmCols) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
  }
  void ShowPage(int page) {
    const int perPage = filmRows_ * filmCols_ * kImageRows * kImageCols;
    frames_.clear();
    for (int k = 0; k < perPage; ++k) {
      DicomImage& image = *images_[(static_cast<size_t>(page) * perPage + k) % images_.size()];
      image.setWindow(40, 400);
      const auto* pixels = static_cast<const uchar*>(image.getOutputData(8));
      frames_.push_back(pixels ? QImage(pixels, kSize, kSize, kSize, QImage::Format_Grayscale8).copy() : QImage());
    }
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x93, 0x93, 0x93));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const RECT client{0, 0, width(), height()};
    size_t next = 0;
    for (int fi = 0; fi < filmRows_; ++fi)
      for (int fj = 0; fj < filmCols_; ++fj) {
        const RECT film = film::FilmWindowRect(client, filmRows_, filmCols_, fi, fj, 14, 17, 1);
        const QRect area(film.left, film.top, film.right - film.left, film.bottom - film.top);
        p.fillRect(area, Qt::black);
        const double cw = area.width() / double(kImageCols), ch = area.height() / double(kImageRows);
        for (int i = 0; i < kImageRows; ++i)
          for (int j = 0; j < kImageCols; ++j) {
            const QImage& frame = frames_[next++ % frames_.size()];
            const double side = std::min(cw, ch) - 2;
            const QRectF cell(area.left() + j * cw + (cw - side) / 2, area.top() + i * ch + (ch - side) / 2, side,
                              side);
            p.drawImage(cell, frame);
          }
      }
  }

 private:
  std::vector<std::unique_ptr<DicomImage>>& images_;
  int filmRows_, filmCols_;
  std::vector<QImage> frames_;
};

struct Times {
  std::vector<double> ms, cpu;
};

// Times one step: body, then the event loop to its idle point.
void Step(Times& times, PaintCounter& counter, const std::function<void()>& body) {
  const double c0 = ProcessCpuSeconds();
  const int start = counter.paints;
  times.ms.push_back(1000 * Seconds([&] {
    body();
    Drain(counter, start);
  }));
  times.cpu.push_back(1000 * (ProcessCpuSeconds() - c0));
}

void Print(const char* what, const Times& ours, const Times& peer) {
  std::printf("  %-8s ours p50 %7.2f ms  p95 %7.2f ms | QPainter p50 %7.2f ms  p95 %7.2f ms | ratio p50 %.2f  p95 %.2f"
              "   (processor p50: ours %.2f ms, peer %.2f ms)\n",
              what, Percentile(ours.ms, 0.5), Percentile(ours.ms, 0.95), Percentile(peer.ms, 0.5),
              Percentile(peer.ms, 0.95), Percentile(ours.ms, 0.5) / Percentile(peer.ms, 0.5),
              Percentile(ours.ms, 0.95) / Percentile(peer.ms, 0.95), Percentile(ours.cpu, 0.5),
              Percentile(peer.cpu, 0.5));
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  const int steps = argc > 1 ? std::max(2, std::atoi(argv[1])) : 40;
  PaintCounter counter;
  qApp->installEventFilter(&counter);

  // Two pages of 2x2 films: 336 images.
  fx::CtSeriesOptions options;
  options.slices = 2 * 4 * kImageRows * kImageCols;
  options.rows = options.columns = kSize;
  options.shuffleInstanceNumbers = false;
  const auto files = fx::WriteCtSeries(orvanta::test::MakeTempDir("screen"), options).files;
  std::vector<std::unique_ptr<SODcmObject>> objects;
  std::vector<std::unique_ptr<DicomImage>> peerImages;
  for (const auto& file : files) {
    objects.push_back(std::make_unique<SODcmObject>());
    objects.back()->ParseDcmFile(file.c_str(), true);
    peerImages.push_back(std::make_unique<DicomImage>(file.c_str()));
  }
  std::printf("film control on screen, %dx%d session window, %dx%d-image films of %d² CT images, %d steps each\n",
              kWidth, kHeight, kImageCols, kImageRows, kSize, steps);

  for (const std::pair<int, int>& layout : {std::pair{1, 1}, std::pair{2, 2}}) {
    // Plain names: the lambdas below capture them.
    const int filmRows = layout.first, filmCols = layout.second;
    HostFrame frame(kWidth, kHeight);
    SOFilmSessionWindow window;
    window.Create(frame.GetWindow(), 0, 0, kWidth, kHeight);
    SOFilmSession& session = window.GetSession();
    session.SetImageLayout(kImageRows, kImageCols, true);
    const int films = 2 * filmRows * filmCols;  // two pages
    for (int i = 0; i < films * kImageRows * kImageCols; ++i) session.AddImage(objects[i % objects.size()].get());
    window.SetFilmLayout(filmRows, filmCols);
    Drain(counter, counter.paints);

    QWidget plainTop;
    plainTop.setGeometry(0, 0, kWidth, kHeight);
    PlainFilms plain(peerImages, filmRows, filmCols);
    plain.setParent(&plainTop);
    plainTop.show();
    plain.ShowPage(0);
    Drain(counter, counter.paints);

    int windows = 0;
    for (int f = 0; f < window.GetFilmBoxWindowCount(); ++f)
      windows += window.GetFilmBoxWindow(f)->GetImageWindowCount();
    std::printf("film layout %dx%d: %d image windows\n", filmCols, filmRows, windows);

    Times oursWheel, peerWheel, oursRepaint, peerRepaint;
    for (int i = 0; i < steps; ++i) {
      // Down to the second page, up to the first, and so on; the peer shows the same page.
      const bool down = i % 2 == 0;
      const int page = down ? 1 : 0;
      Step(oursWheel, counter, [&] {
        SendMessageW(window.GetWindow(), WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(down ? -120 : 120)) << 16,
                     0);
        SOWin::PumpUntil([&] { return session.GetCurrentFilmBoxIndex() == page * filmRows * filmCols; }, 5000);
      });
      Step(peerWheel, counter, [&] { plain.ShowPage(page); });
      Step(oursRepaint, counter, [&] {
        InvalidateRect(window.GetWindow(), nullptr, TRUE);
        for (int f = 0; f < window.GetFilmBoxWindowCount(); ++f) {
          SOFilmBoxWindow* box = window.GetFilmBoxWindow(f);
          InvalidateRect(box->GetWindow(), nullptr, TRUE);
          for (int k = 0; k < box->GetImageWindowCount(); ++k)
            InvalidateRect(box->GetImageWindow(k)->GetWindow(), nullptr, TRUE);
        }
      });
      Step(peerRepaint, counter, [&] { plain.update(); });
    }
    Print("wheel", oursWheel, peerWheel);
    Print("repaint", oursRepaint, peerRepaint);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
