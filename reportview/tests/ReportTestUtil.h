#pragma once

#include <QBuffer>
#include <QImage>

#include <vector>

namespace reporttest {

// An encoded PNG of the given size, grey.
inline std::vector<unsigned char> PngBytes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(qRgb(90, 90, 90));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

}  // namespace reporttest
