// The film control on screen, offscreen: a session window of 1600 x 1200 showing 7x6-image films
// in film layouts 1x1 (42 image windows) and 2x2 (168 image windows), over 256² CT images, each
// film showing images of its own.
//   wheel: one wheel step sent to the session window (the next or previous page of films), timed
//          until every window it changed has painted;
//   repaint: every film and image window invalidated, timed until all have painted again.
// The peer, in the same run, is a plain Qt widget of the same size doing the same drawing with
// QPainter: on a page turn it windows the new page's images with DCMTK (from images parsed once,
// as the control's are) and draws each film as the control does: the film's frame and header
// band with the patient and page texts, per cell a black box, the image scaled smoothly, its
// four corner texts (the control's own texts, formatted once beforehand), the two orientation
// letters and the cell's border, and the page counter; on a repaint it draws all that again.
// Both paint through the event loop and are timed to its idle point; the steps alternate (ours,
// the peer's, ours, ...), and medians, 95th percentiles and the machine's load are printed.
// Wall times suffer on a busy machine; the process's processor time per step is shown beside them.
// Usage: bench_film_screen [steps=40]

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "DicomFixtures.h"
#include "HostFrame.h"
#include "SODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOFilmSessionWindow.h"
#include "SOImageBox.h"
#include "SOImageObject.h"
#include "SOPluginInfo.h"
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

// What the peer writes on each image: the control's four corner texts.
struct CornerTexts {
  QString text[4];  // top left, bottom left, top right, bottom right
};

// The text size the control's image windows take for a cell h pixels high, in pixels.
double CornerTextPixels(double h) {
  const double screen = GetSystemMetrics(SM_CYSCREEN);
  const double d = std::clamp(h / (screen * 0.618) * 34.0, 16.0, 34.0);
  return h / d * 72 / 96;
}

// The peer: films of windowed images and their texts drawn by one plain widget into the
// control's cells.
class PlainFilms : public QWidget {
 public:
  PlainFilms(std::vector<std::unique_ptr<DicomImage>>& images, const std::vector<CornerTexts>& texts, int filmRows,
             int filmCols, int films)
      : images_(images), texts_(texts), filmRows_(filmRows), filmCols_(filmCols), films_(films) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
  }
  void ShowPage(int page) {
    page_ = page;
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
    p.setRenderHint(QPainter::TextAntialiasing);
    const RECT client{0, 0, width(), height()};
    const int perPage = filmRows_ * filmCols_ * kImageRows * kImageCols;
    size_t next = 0;
    for (int fi = 0; fi < filmRows_; ++fi)
      for (int fj = 0; fj < filmCols_; ++fj) {
        const int filmIndex = page_ * filmRows_ * filmCols_ + fi * filmCols_ + fj;
        const RECT film = film::FilmWindowRect(client, filmRows_, filmCols_, fi, fj, 14, 17, 1);
        const QRect frame(film.left, film.top, film.right - film.left, film.bottom - film.top);
        p.fillRect(frame, filmIndex == page_ * filmRows_ * filmCols_ ? QColor(0x16, 0xD9, 0xD6) : QColor(0x93, 0x93, 0x93));
        const QRect inner = frame.adjusted(2, 2, -2, -2);
        // The header band: patient text near, page text far.
        const int band = static_cast<int>(0.02 * inner.height());
        const QRect header(inner.left(), inner.top(), inner.width(), band);
        p.fillRect(header, Qt::black);
        QFont headerFont(QStringLiteral("Noto Sans CJK SC"));
        headerFont.setPixelSize(std::max(1, band * 72 / 96));
        p.setFont(headerFont);
        p.setPen(QColor(0xEF, 0xEF, 0xEF));
        const CornerTexts& first = texts_[(static_cast<size_t>(page_) * perPage + next) % texts_.size()];
        p.drawText(header, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, first.text[0].section(QLatin1Char('\n'), 0, 0));
        p.drawText(header, Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap,
                   QStringLiteral("Page: %1/%2").arg(filmIndex + 1).arg(films_));
        const QRect area(inner.left(), inner.top() + band, inner.width(), inner.height() - band);
        for (int i = 0; i < kImageRows; ++i)
          for (int j = 0; j < kImageCols; ++j) {
            const QRect cell(area.left() + j * area.width() / kImageCols, area.top() + i * area.height() / kImageRows,
                             area.width() / kImageCols, area.height() / kImageRows);
            const size_t k = next++;
            const QImage& image = frames_[k % frames_.size()];
            const CornerTexts& texts = texts_[(static_cast<size_t>(page_) * perPage + k) % texts_.size()];
            p.fillRect(cell, Qt::black);
            const QRect box = cell.adjusted(1, 1, -1, -1);
            const double side = std::min(box.width(), box.height());
            p.drawImage(QRectF(box.left() + (box.width() - side) / 2, box.top() + (box.height() - side) / 2, side, side),
                        image);
            QFont font(QStringLiteral("Noto Sans CJK SC"));
            const double px = CornerTextPixels(cell.height());
            font.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
            p.setFont(font);
            p.setPen(QColor(0xAA, 0xAA, 0xAA));
            const int pad = std::max(2, static_cast<int>(px * 0.3));
            const QRect text = box.adjusted(pad, pad, -pad, -pad);
            p.save();
            p.setClipRect(box);
            p.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, texts.text[0]);
            p.drawText(text, Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap, texts.text[2]);
            p.drawText(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, texts.text[1]);
            p.drawText(text, Qt::AlignRight | Qt::AlignBottom | Qt::TextWordWrap, texts.text[3]);
            p.setPen(QColor(0xFF, 0xEC, 0x8B));
            p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, QStringLiteral("R"));
            p.drawText(box, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, QStringLiteral("P"));
            p.restore();
            p.setPen(QColor(0x50, 0x50, 0x50));
            p.drawRect(cell.adjusted(0, 0, -1, -1));
          }
      }
    QFont counterFont(QStringLiteral("Noto Sans CJK SC"));
    counterFont.setPixelSize(16);
    p.setFont(counterFont);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, width() - 10, height()), Qt::AlignRight | Qt::AlignBottom,
               QStringLiteral("%1/%2").arg(page_ * filmRows_ * filmCols_ + 1).arg(films_));
  }

 private:
  std::vector<std::unique_ptr<DicomImage>>& images_;
  const std::vector<CornerTexts>& texts_;
  int filmRows_, filmCols_, films_;
  int page_ = 0;
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

    // The peer writes the texts the control's cells show, taken from the control once.
    std::vector<CornerTexts> texts;
    for (int k = 0; k < session.GetImageBoxCount(); ++k) {
      auto* cell = static_cast<SOImageBox*>(session.GetImageBox(k));
      CornerTexts t;
      for (int c = 0; c < 4; ++c)
        t.text[c] = QString::fromStdWString(SOPluginInfo::FormatCornerText(c, cell->GetImageObject(),
                                                                           cell->GetImageObjectIndex(), false))
                        .replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
      texts.push_back(t);
    }
    QWidget plainTop;
    plainTop.setGeometry(0, 0, kWidth, kHeight);
    PlainFilms plain(peerImages, texts, filmRows, filmCols, films);
    plain.setParent(&plainTop);
    plainTop.show();
    plain.ShowPage(0);
    Drain(counter, counter.paints);

    int windows = 0;
    for (int f = 0; f < window.GetFilmBoxWindowCount(); ++f)
      windows += window.GetFilmBoxWindow(f)->GetImageWindowCount();
    std::printf("film layout %dx%d: %d image windows; load before %.2f\n", filmCols, filmRows, windows,
                LoadAverage());

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
    std::printf("  load after %.2f; goal: wheel p95 under 16 ms (a frame), or the peer's p95 where that is above\n",
                LoadAverage());
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
