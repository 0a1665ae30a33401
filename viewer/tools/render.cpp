// Renders one frame of a DICOM file to a PNG the way an image window paints it.
//   lumexa_render <file.dcm> <out.png> [--frame N] [--window CENTER WIDTH] [--zoom Z]
//                 [--size WIDTHxHEIGHT] [--rotate cw|acw]... [--flipx] [--flipy] [--invert]
//                 [--palette 0-4]
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "RenderSurface.h"
#include "SODcmObject.h"
#include "SOImageObject.h"

namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: lumexa_render <file.dcm> <out.png> [--frame N] [--window C W] [--zoom Z] [--size WxH]\n"
      "                     [--rotate cw|acw]... [--flipx] [--flipy] [--invert] [--palette 0-4]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QGuiApplication app(argc, argv);

  SODcmObject object;
  const bool parsed = object.ParseDcmFile(argv[1], false);
  if (object.GetRows() == 0 || object.GetColumns() == 0) {
    std::fprintf(stderr, parsed ? "%s has no image\n" : "cannot read %s\n", argv[1]);
    return 1;
  }
  unsigned long frame = 0;
  int width = object.GetColumns(), height = object.GetRows();
  SOImageObject image;
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--frame" && i + 1 < argc)
      frame = std::strtoul(next(), nullptr, 10);
    else if (arg == "--size" && i + 1 < argc && std::sscanf(next(), "%dx%d", &width, &height) != 2)
      return Usage();
  }
  image.SetDcmObject(&object, frame);
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (arg == "--frame" || arg == "--size")
      ++i;
    else if (arg == "--window") {
      double center = std::atof(next());
      image.WW(center, std::atof(next()));
    } else if (arg == "--zoom")
      image.Zoom(static_cast<float>(std::atof(next())));
    else if (arg == "--rotate")
      image.Rotate(std::string(next()) == "acw");
    else if (arg == "--flipx")
      image.FlipX();
    else if (arg == "--flipy")
      image.FlipY();
    else if (arg == "--invert")
      image.Inverse();
    else if (arg == "--palette")
      image.SetColorPalette(static_cast<SOColorPalette>(std::atoi(next())));
    else
      return Usage();
  }
  if (width <= 0 || height <= 0) return Usage();

  RenderSurface surface(width, height);
  if (!image.DrawImage(surface.dc(), surface.rect(), false)) {
    std::fprintf(stderr, "nothing to draw in %s\n", argv[1]);
    return 1;
  }
  if (!surface.SavePng(argv[2])) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
