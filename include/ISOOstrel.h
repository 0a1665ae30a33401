#pragma once

// Ostrel: the film layout control. Loads DICOM files into film sessions (one per study), shows
// the current session's films and renders films into a DICOM object. UI thread only, except
// ExportFilms, which may run on a worker thread.

#include "ISOFilmSession.h"
#include "SOPtrArray.h"
#include "SOWin32.h"

class ISOOstrelCallback {
 public:
  virtual void OnLoadProgress(int done, int total) {}
  virtual void OnLoadFinished(int done, int total) {}
  virtual void OnSessionAdded(ISOFilmSession* session) {}
  // The session is destroyed right after this call.
  virtual void OnSessionRemoved(ISOFilmSession* session) {}
  virtual void OnSessionSelected(ISOFilmSession* session) {}
  // On the exporting thread; session names the exported session, which may be gone by then.
  virtual void OnExportProgress(ISOFilmSession* session, SODcmFile* file, int done, int total) {}
  virtual void OnExportFinished(ISOFilmSession* session, SODcmFile* file, int done, int total) {}

 protected:
  ~ISOOstrelCallback() = default;
};

class ISOOstrel {
 public:
  virtual ~ISOOstrel() = default;
  virtual HWND Create(HWND parent, int x, int y, int cx, int cy) = 0;
  virtual bool Move(int x, int y, int cx, int cy) = 0;
  // Loads asynchronously; false before Create.
  virtual bool LoadDir(const char* folder) = 0;
  // paths holds SOString*; they are copied.
  virtual bool LoadFiles(SOPtrArray* paths) = 0;
  // Results of every load issued before the call add no more images.
  virtual int StopLoading(int reserved) = 0;
  virtual int GetSessionCount() = 0;
  virtual ISOFilmSession* GetSession(int index) = 0;
  virtual ISOFilmSession* GetCurrentSession() = 0;
  virtual bool SelectSessionByStudyUID(const char* studyInstanceUID) = 0;
  virtual bool SelectSession(ISOFilmSession* session) = 0;
  virtual bool SelectSessionAt(int index) = 0;
  virtual int FindSessionByStudyUID(const char* studyInstanceUID) = 0;
  virtual int GetSessionIndex(ISOFilmSession* session) = 0;
  virtual void RemoveSessionAt(int index) = 0;
  virtual void RemoveCurrentSession() = 0;
  virtual void RemoveSession(ISOFilmSession* session) = 0;
  virtual bool SetDefaultImageLayout(int rows, int cols) = 0;
  virtual void GetDefaultImageLayout(int* rows, int* cols) = 0;
  virtual void SetImageLayout(int rows, int cols, bool allFilms) = 0;
  virtual void SetCurrentFilmOrientation(int orientation) = 0;
  // 1 portrait, 2 landscape.
  virtual void SetOrientation(int orientation, bool allFilms) = 0;
  virtual void DeleteFilm() = 0;
  virtual void DeleteImage() = 0;
  virtual void RecoverFilm() = 0;
  // 0 none, 1 window, 2 zoom, 3 pan, 4 rectangle, 5 ellipse, 6 length, 7 angle.
  virtual void SetMouseTool(int tool) = 0;
  virtual int GetMouseTool() = 0;
  virtual void ClearGraphics() = 0;
  virtual void SetHeaderVisible(bool visible) = 0;
  virtual bool IsHeaderVisible() = 0;
  virtual bool SetHeaderRatio(float ratio) = 0;
  // How many films the current session shows at once.
  virtual bool SetFilmLayout(int rows, int cols) = 0;
  virtual void SetBackgroundColor(DWORD argb) = 0;
  // Renders the current session (a snapshot of it taken on the UI thread) into out.
  virtual bool ExportFilms(SODcmFile* out, bool allFilms, const char* caption) = 0;
  virtual void RegisterCallback(ISOOstrelCallback* callback) = 0;
  virtual void UnRegisterCallback(ISOOstrelCallback* callback) = 0;
};

ISOOstrel* CreateOstrel();
void ReleaseOstrel(ISOOstrel* ostrel);
extern "C" ISOOstrel* CreateOstrel_C();
extern "C" void ReleaseOstrel_C(ISOOstrel* ostrel);
