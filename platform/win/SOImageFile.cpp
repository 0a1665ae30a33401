// Image files read for windows and icons.

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstring>

#include "SOWinQt.h"

namespace SOWin {

QImage ReadImageFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  // A PNG goes straight to Qt's built-in decoder. Read with no format named, Qt first loads
  // every image plug-in it has (SVG, JPEG, ...) to ask each whether it knows the file, which
  // costs a program its first image several milliseconds.
  static const char kPngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  char head[sizeof kPngSignature];
  if (file.peek(head, sizeof head) == sizeof head && std::memcmp(head, kPngSignature, sizeof head) == 0) {
    QImageReader reader(&file, "png");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (reader.read(&image)) return image;
  }
  file.close();
  return QImage(path);  // any other file, or a PNG the decoder refused, as Qt reads it
}

}  // namespace SOWin
