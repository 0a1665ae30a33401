#include "SOFilmSnapshot.h"

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmGetSet.h"
#include "SODcmUtil.h"
#include "SOFilmGeometry.h"
#include "SOImageObject.h"

namespace {

// An image object showing what another one shows, with the same presentation state.
class SOFilmImageCopy : public SOImageObject {
 public:
  explicit SOFilmImageCopy(SOImageObject& source) {
    SetDcmObject(source.GetDcmObject(), source.GetFrameIndex());
    State() = source.GetImagePresentationState();
    ActiveUpdateBitmapFlag();
  }
  // Its pixels and bitmaps are needed no more once its cell is drawn.
  void Discard() { DiscardPixelCaches(); }
};

// The patient, study, series and equipment attributes a Secondary Capture image must carry
// beyond what the film says: present, empty where nothing is known.
void WriteRequiredAttributes(SODcmDataset& dataset) {
  for (unsigned long tag : {0x00100020UL, 0x00100030UL, 0x00100040UL, 0x00080020UL, 0x00080030UL, 0x00080090UL,
                            0x00200010UL, 0x00080050UL, 0x00200011UL, 0x00200013UL, 0x00200020UL, 0x00200060UL})
    dataset.SetString(tag, "");
  dataset.SetString(0x00080060, "OT");
  dataset.SetString(0x00080064, "WSD");
}

}  // namespace

SOFilmSnapshot::SOFilmSnapshot() = default;
SOFilmSnapshot::~SOFilmSnapshot() = default;

void SOFilmSnapshot::AddFilm(const SOFilmBox& filmBox) {
  Film film;
  std::vector<SOImageObject*> shown;
  for (SOImageObject* image : filmBox.GetImages()) {
    film.images.push_back(std::make_unique<SOFilmImageCopy>(*image));
    shown.push_back(film.images.back().get());
  }
  film.box = filmBox.CloneWith(std::move(shown));
  films_.push_back(std::move(film));
}

bool SOFilmSnapshot::Export(SODcmFile* out, const char* caption, const Report& report) {
  if (!out) return false;
  int width = 0, height = 0;
  film::FilmSizePixels(filmSize, dpi, width, height);
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;

  SODcmDataset& dataset = *out->GetDataset();
  dataset.SetString(0x00080005, "ISO_IR 192");
  dataset.SetString(0x0020000D, studyUID);
  dataset.SetString(0x0020000E, SODcmUtil::GenerateUID());
  dataset.SetString(0x00080016, "1.2.840.10008.5.1.4.1.1.7");
  dataset.SetString(0x00080018, SODcmUtil::GenerateUID());
  dataset.SetString(0x00100010, std::wstring(title.c_wstr()));
  dataset.SetString(0x00281050, "128");
  dataset.SetString(0x00281051, "256");
  WriteRequiredAttributes(dataset);

  const int total = allFilms ? static_cast<int>(films_.size()) : 1;
  report(0, total, false);
  // One frame's rows and the frame count: the module's 16-bit row count holds any number of
  // films that way.
  SODcmImagePixel pixel;
  pixel.photometric = PHOTOMETRIC_MONOCHROME2;
  pixel.rows = static_cast<unsigned short>(height);
  pixel.columns = static_cast<unsigned short>(width);
  pixel.numberOfFrames = total;
  unsigned char* frames = SODcmGetSet::Create(dataset, pixel);
  if (!frames) return false;
  if (allFilms) dataset.SetInt32(0x00280008, total);

  const long long frameSize = static_cast<long long>(width) * height;
  int done = 0;
  for (size_t k = 0; k < films_.size() && static_cast<int>(k) < total; ++k) {
    films_[k].box->Render(width, height, frames + k * frameSize, frameSize, caption,
                          [](SOImageObject* image) { static_cast<SOFilmImageCopy*>(image)->Discard(); });
    films_[k] = Film{};
    report(++done, total, false);
  }
  report(done, total, true);
  return true;
}
