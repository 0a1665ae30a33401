#pragma once

#include "ISOFilmBox.h"
#include "SOString.h"

class ISOFilmSession;
class SODcmFile;

// A session's notifications. Export progress arrives on the exporting thread, the others on
// the UI thread.
class ISOFilmSessionCallback {
 public:
  virtual void OnSessionChanged(ISOFilmSession* session) {}
  virtual void OnExportProgress(ISOFilmSession* session, SODcmFile* file, int done, int total) {}
  virtual void OnExportFinished(ISOFilmSession* session, SODcmFile* file, int done, int total) {}
  virtual void OnFilmBoxRemoved(ISOFilmSession* session, ISOFilmBox* filmBox) {}

 protected:
  ~ISOFilmSessionCallback() = default;
};

// The images of one study laid out, in order, on a sequence of films. There is always at least
// one film; every image is on exactly one film. Used on the UI thread; ExportFilms may be
// called from any thread.
class ISOFilmSession {
 public:
  virtual ~ISOFilmSession() = default;
  virtual int GetCopies() = 0;
  virtual bool SetCopies(int copies) = 0;
  virtual int GetPriority() = 0;
  virtual void SetPriority(int priority) = 0;
  virtual int GetFilmBoxCount() = 0;
  virtual ISOFilmBox* GetFilmBox(int index) = 0;
  virtual int GetCurrentFilmBoxIndex() = 0;
  virtual ISOFilmBox* GetCurrentFilmBox() = 0;
  virtual int GetImageBoxCount() = 0;
  // Cells of all films counted in page order.
  virtual ISOImageBox* GetImageBox(int index) = 0;
  // Deletions go on an undo stack, one group per call; RecoverFilm takes back the last group.
  virtual void DeleteFilm() = 0;
  virtual void DeleteImage() = 0;
  virtual void RecoverFilm() = 0;
  virtual bool SetDefaultImageLayout(int rows, int cols) = 0;
  virtual void GetDefaultImageLayout(int* rows, int* cols) = 0;
  virtual void SetImageLayout(int rows, int cols, bool allFilms) = 0;
  virtual void SetDefaultOrientation(int orientation) = 0;
  virtual void SetHeaderVisible(bool visible) = 0;
  virtual bool IsHeaderVisible() = 0;
  virtual void SetHeaderRatio(float ratio) = 0;
  // Renders all films (or the current one) at print resolution into out's dataset as one
  // 8-bit grey Secondary Capture image, a frame per film. False when out is null or the film
  // size gives no pixels.
  virtual bool ExportFilms(SODcmFile* out, bool allFilms, const char* caption) = 0;
  virtual int GetFilmSize() = 0;
  // Ids outside 1..12 are ignored.
  virtual void SetFilmSize(int id) = 0;
  virtual bool SetDPI(int dpi) = 0;
  virtual int GetDPI() = 0;
  virtual void SetOrientation(int orientation, bool allFilms) = 0;
  virtual SOString GetTitle() = 0;
};
