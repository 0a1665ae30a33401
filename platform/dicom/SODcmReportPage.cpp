// A report's text laid out on pages and drawn as grey images.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

#include "SODcmUtil.h"
#include "SOUtil.h"

namespace {

// The page: "Times New Roman" at 24 pixels in a 728 x 964 area.
constexpr int kPageWidth = 728;
constexpr int kPageHeight = 964;

QFont PageFont() {
  QFont font(QStringLiteral("Times New Roman"));
  font.setPixelSize(24);
  return font;
}

// Lays out `text` from `begin` and returns how many UTF-16 units fit on one page (at least one,
// so a page always advances). With `painter`, draws the lines that fit.
qsizetype FillPage(const QString& text, qsizetype begin, QPainter* painter) {
  QTextLayout layout(text.mid(begin), PageFont());
  layout.beginLayout();
  double height = 0;
  qsizetype fitted = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(kPageWidth);
    if (height + line.height() > kPageHeight) break;
    line.setPosition(QPointF(0, height));
    height += line.height();
    fitted = line.textStart() + line.textLength();
  }
  layout.endLayout();
  if (painter) {
    for (int i = 0; i < layout.lineCount(); ++i) {
      QTextLine line = layout.lineAt(i);
      if (line.textStart() >= fitted) break;
      line.draw(painter, QPointF(0, 0));
    }
  }
  return std::max<qsizetype>(fitted, 1);
}

// QTextLayout breaks lines only at line separators, so newlines become those.
QString PageText(const std::string& utf8) {
  QString all = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  all.replace(QLatin1Char('\n'), QChar::LineSeparator);
  return all;
}

}  // namespace

std::vector<std::wstring> SODcmUtil::GetSRPages(const std::string& utf8) {
  std::vector<std::wstring> pages;
  if (utf8.empty()) return pages;
  const std::wstring wide = SOUtil::UTF82WStr(utf8.c_str());
  if (!QGuiApplication::instance()) return {wide};  // no font database without the application
  QString all = PageText(utf8);
  size_t wideBegin = 0;
  for (qsizetype begin = 0; begin < all.size();) {
    qsizetype fitted = FillPage(all, begin, nullptr);
    // Back to wide characters: a surrogate pair is one wchar_t.
    size_t count = QStringView(all).mid(begin, fitted).toUcs4().size();
    pages.push_back(wide.substr(wideBegin, count));
    begin += fitted;
    wideBegin += count;
  }
  return pages;
}

bool SODcmUtil::GetImagePixelDataOfSR(SODcmDataset* dataset, DcmImageInputData& out, int page) {
  std::string text;
  if (!dataset || page < 0 || !QGuiApplication::instance() || !GetSRContentUTF8(dataset, text) || text.empty())
    return false;
  QString all = PageText(text);
  qsizetype begin = 0;
  for (int k = 0; k < page && begin < all.size(); ++k) begin += FillPage(all, begin, nullptr);
  if (begin >= all.size()) return false;

  QImage image(kPageWidth, kPageHeight, QImage::Format_Grayscale8);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setPen(Qt::black);
    FillPage(all, begin, &painter);
  }
  DcmImageInputData record;
  record.type = DCM_PIXEL_GRAY16;
  record.rows = kPageHeight;
  record.columns = kPageWidth;
  record.data.Resize(kPageWidth * kPageHeight * 2);
  auto* values = reinterpret_cast<int16_t*>(record.data.data);
  for (int y = 0; y < kPageHeight; ++y) {
    const uchar* line = image.constScanLine(y);
    for (int x = 0; x < kPageWidth; ++x) values[y * kPageWidth + x] = line[x];
  }
  out = std::move(record);
  return true;
}
