#include "FilmFile.h"

#include "FilmEnums.h"
#include "SODcmConvert.h"
#include "SODcmDataset.h"
#include "SODcmGetSet.h"
#include "SOUtil.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcitem.h>

namespace filmfile {

namespace {

void PutEnum(SODcmDataset& ds, unsigned long tag, FilmEnum kind, int value) {
  std::string text;
  if (FilmEnumText(kind, value, text)) ds.SetString(tag, text);
}

void GetEnum(const SODcmDataset& ds, unsigned long tag, FilmEnum kind, int& value) {
  std::string text;
  if (ds.GetString(tag, text)) FilmEnumValue(kind, text.c_str(), value);
}

// An enumeration term of ours as the print client's value.
template <class Enum>
bool ToClient(FilmEnum kind, int value, Enum& out) {
  std::string text;
  return FilmEnumText(kind, value, text) && SODcmConvert::Convert(text.c_str(), out);
}

}  // namespace

bool StampPrinter(SODcmDataset& ds, const PrinterRecord& p) {
  PutEnum(ds, 0x20100040, FilmEnum::Orientation, p.filmOrient);
  PutEnum(ds, 0x20100050, FilmEnum::Size, p.filmSize);
  PutEnum(ds, 0x20000030, FilmEnum::Medium, p.medium);
  PutEnum(ds, 0x20000020, FilmEnum::Priority, p.priority);
  PutEnum(ds, 0x20100060, FilmEnum::Magnification, p.magnificationType);
  bool ok = ds.SetString(kPrivateCreator, kCreatorName) &&
            ds.SetString(kPrinterName, SOUtil::UTF82WStr(p.name.c_str())) && ds.SetString(kPrinterHost, p.ip);
  DcmTag port(0x0739, 0x1103, EVR_US);
  ok = ok && ValidPrinterPort(p.port) &&
       ds.GetDcmItem()->putAndInsertUint16(port, static_cast<Uint16>(p.port)).good();
  ok = ok && ds.SetString(kCalledAE, p.calledAE) && ds.SetString(kCallingAE, p.callingAE);
  PutEnum(ds, kFilmFormat, FilmEnum::Format, p.filmFormat);
  return ok;
}

bool ReadPrintRequest(const SODcmDataset& ds, PrintRequest& request, std::string& why) {
  PrinterRecord& p = request.printer;
  int frames = 1;
  if (!ds.GetInt32(0x00280008, frames) || frames < 1) frames = 1;
  GetEnum(ds, 0x20100040, FilmEnum::Orientation, p.filmOrient);
  GetEnum(ds, 0x20100050, FilmEnum::Size, p.filmSize);
  p.medium = 0;
  GetEnum(ds, 0x20000030, FilmEnum::Medium, p.medium);
  GetEnum(ds, 0x20000020, FilmEnum::Priority, p.priority);
  GetEnum(ds, 0x20100060, FilmEnum::Magnification, p.magnificationType);
  std::wstring name;
  if (ds.GetString(kPrinterName, name)) p.name = SOUtil::W2UTF8Str(name.c_str());
  ds.GetString(kPrinterHost, p.ip);
  unsigned short port = 0;
  if (ds.GetUint16(kPrinterPort, port)) p.port = port;
  ds.GetString(kCalledAE, p.calledAE);
  ds.GetString(kCallingAE, p.callingAE);
  GetEnum(ds, kFilmFormat, FilmEnum::Format, p.filmFormat);

  SODcmFilmSession& session = request.session;
  session = SODcmFilmSession{};
  session.printType = p.filmFormat == 1 ? SODcmPrintType_Color : SODcmPrintType_Grayscale;
  ToClient(FilmEnum::Priority, p.priority, session.priority);
  SODcmMediumType medium;
  if (ToClient(FilmEnum::Medium, p.medium, medium)) session.medium = medium;

  SODcmImagePixel pixel;
  if (!SODcmGetSet::Get(ds, pixel) || !pixel.pixelData.data || pixel.pixelData.count == 0) {
    why = "the film file has no pixel data";
    return false;
  }
  if (pixel.samplesPerPixel != 1 || pixel.bitsAllocated != 8 || pixel.rows == 0 || pixel.columns == 0) {
    why = "the film's pixels are not one 8-bit sample";
    return false;
  }
  const uint64_t frameBytes = uint64_t(pixel.rows) * pixel.columns;
  if (frameBytes * uint64_t(frames) > pixel.pixelData.count) {
    why = "the film file holds fewer pixels than its frames need";
    return false;
  }

  SODcmFilmBox box;
  ToClient(FilmEnum::Orientation, p.filmOrient, box.orientation);
  ToClient(FilmEnum::Size, p.filmSize, box.filmSize);
  ToClient(FilmEnum::Magnification, p.magnificationType, box.magnification);
  request.colour.clear();
  for (int i = 0; i < frames; ++i) {
    const unsigned char* grey = pixel.pixelData.data + frameBytes * i;
    SODcmFilmBox film = box;
    if (session.printType == SODcmPrintType_Color) {
      std::vector<unsigned char>& rgb = request.colour.emplace_back(frameBytes * 3);
      for (uint64_t k = 0; k < frameBytes; ++k) rgb[3 * k] = rgb[3 * k + 1] = rgb[3 * k + 2] = grey[k];
      film.imageBoxes.push_back({pixel.rows, pixel.columns, 3, rgb.data()});
    } else {
      film.imageBoxes.push_back({pixel.rows, pixel.columns, 1, grey});
    }
    session.filmBoxes.push_back(std::move(film));
  }
  return true;
}

}  // namespace filmfile
