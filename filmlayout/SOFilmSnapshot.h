#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "SOFilmBox.h"
#include "SOString.h"

class SODcmFile;
class SOImageObject;

// What an export renders, copied from a session on the UI thread: its films (all of them or
// the current one) with copies of their images and presentation states. Rendering it touches
// nothing of the session, so the session may change or close meanwhile; the keeper holds the
// DICOM objects the copies show.
class SOFilmSnapshot {
 public:
  // Progress: (done, total, finished), on the exporting thread.
  using Report = std::function<void(int done, int total, bool finished)>;

  SOFilmSnapshot();
  ~SOFilmSnapshot();
  SOFilmSnapshot(const SOFilmSnapshot&) = delete;
  SOFilmSnapshot& operator=(const SOFilmSnapshot&) = delete;

  // Adds a film: a copy of filmBox showing copies of its images.
  void AddFilm(const SOFilmBox& filmBox);

  // Fills out's dataset with one 8-bit grey Secondary Capture image, a frame per film
  // (Number of Frames only for an all-films export). Each film's copies are dropped once it is
  // rendered. False when out is null or the film size gives no pixels.
  bool Export(SODcmFile* out, const char* caption, const Report& report);

  SOString studyUID;
  SOString title;
  int filmSize = 8;
  int dpi = 300;
  bool allFilms = true;
  std::shared_ptr<void> keeper;

 private:
  struct Film {
    std::unique_ptr<SOFilmBox> box;
    std::vector<std::unique_ptr<SOImageObject>> images;
  };
  std::vector<Film> films_;
};
