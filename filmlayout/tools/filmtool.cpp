// Lays the images of DICOM folders out on films and renders them, as the film control does.
//   filmtool --load <folder> [--load <folder>]... [--layout RxC] [--all] [--landscape]
//            [--header RATIO] [--size ID] [--dpi N] [--caption TEXT] --out <f.dcm> [--png <f.png>]
// All objects with pixel data go into one session. --all renders every film (else the first);
// --png writes one PNG per film (f.png, or f-1.png, f-2.png, ... for several).
#include <QApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ISODcmDataCenter.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SOFilmSession.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: filmtool --load <folder>... [--layout RxC] [--all] [--landscape] [--header RATIO]\n"
               "                [--size ID] [--dpi N] [--caption TEXT] --out <f.dcm> [--png <f.png>]\n");
  return 2;
}

bool WritePngs(SODcmFile& file, const std::string& png) {
  SODcmDataset& dataset = *file.GetDataset();
  unsigned short rows = 0, columns = 0;
  int frames = 1;
  const unsigned char* pixels = nullptr;
  unsigned long count = 0;
  if (!dataset.GetUint16(0x00280010, rows) || !dataset.GetUint16(0x00280011, columns) ||
      !dataset.GetUint8Array(0x7FE00010, pixels, count))
    return false;
  dataset.GetInt32(0x00280008, frames);
  const std::filesystem::path base(png);
  for (int k = 0; k < frames; ++k) {
    const size_t frame = static_cast<size_t>(rows) * columns;
    if ((k + 1) * frame > count) return false;
    QImage image(pixels + k * frame, columns, rows, columns, QImage::Format_Grayscale8);
    std::filesystem::path path = base;
    if (frames > 1)
      path = base.parent_path() / (base.stem().string() + "-" + std::to_string(k + 1) + base.extension().string());
    if (!image.save(QString::fromStdString(path.string()), "PNG")) return false;
    std::printf("%s\n", path.c_str());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);

  std::vector<std::string> folders;
  int rows = 6, cols = 4, size = 8, dpi = 300;
  bool all = false, landscape = false;
  float header = 0;
  std::string out, png, caption;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--all") {
      all = true;
    } else if (arg == "--landscape") {
      landscape = true;
    } else if (!value) {
      return Usage();
    } else {
      ++i;
      if (arg == "--load")
        folders.push_back(value);
      else if (arg == "--layout" && std::sscanf(value, "%dx%d", &rows, &cols) == 2)
        continue;
      else if (arg == "--header")
        header = static_cast<float>(std::atof(value));
      else if (arg == "--size")
        size = std::atoi(value);
      else if (arg == "--dpi")
        dpi = std::atoi(value);
      else if (arg == "--caption")
        caption = value;
      else if (arg == "--out")
        out = value;
      else if (arg == "--png")
        png = value;
      else
        return Usage();
    }
  }
  if (folders.empty() || out.empty()) return Usage();

  ISODcmDataCenter* center = CreateDcmDataCenter();
  int loaded = 0;
  {
    SOFilmSession session;
    session.SetFilmSize(size);
    session.SetDPI(dpi);
    session.SetImageLayout(rows, cols, true);
    if (header > 0) {
      session.SetHeaderVisible(true);
      session.SetHeaderRatio(header);
    }
    if (landscape) session.SetOrientation(2, true);
    for (const std::string& folder : folders) {
      SOArray<ISODcmObject*> objects = center->LoadFolder(folder.c_str());
      for (int i = 0; i < objects.GetLength(); ++i) {
        ISODcmObject* object = objects[i];
        if (!object->AttributeExistsWithValue(0x7FE00010)) continue;
        if (session.GetImageCount() == 0) {
          session.SetStudyInstanceUID(object->GetStudyInstanceUID());
          std::string name;
          object->GetAttributeValue(0x00100010, name);
          session.SetTitle(name);
        }
        session.AddImage(object);
        ++loaded;
      }
    }
    std::printf("%d images on %d films\n", loaded, session.GetFilmBoxCount());
    SODcmFile file;
    if (!session.ExportFilms(&file, all, caption.empty() ? nullptr : caption.c_str()) ||
        !file.SaveFile(out.c_str())) {
      std::fprintf(stderr, "cannot export to %s\n", out.c_str());
      ReleaseDcmDataCenter(center);
      return 1;
    }
    if (!png.empty() && !WritePngs(file, png)) {
      std::fprintf(stderr, "cannot write %s\n", png.c_str());
      ReleaseDcmDataCenter(center);
      return 1;
    }
  }
  ReleaseDcmDataCenter(center);
  return 0;
}
