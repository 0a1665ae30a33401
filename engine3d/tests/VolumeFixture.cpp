#include "VolumeFixture.h"

#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace voxtest {

bool SaveRGB(const std::string& path, const uint32_t* pixels, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[x + y * width];
      image.setPixel(x, y, qRgb((p >> 8) & 0xFF, (p >> 16) & 0xFF, (p >> 24) & 0xFF));
    }
  return image.save(QString::fromStdString(path), "PNG");
}

std::string ImageFolder() {
  if (const char* dir = std::getenv("ORVANTA_PNG_DIR")) {
    std::filesystem::create_directories(dir);
    return dir;
  }
  static const std::string folder = orvanta::test::MakeTempDir("png").string();
  return folder;
}

}  // namespace voxtest
