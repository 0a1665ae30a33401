#pragma once

#include <memory>
#include <vector>

#include "ISOFilmSession.h"
#include "ISOImageObject.h"
#include "SOFilmBox.h"
#include "SOFilmSnapshot.h"

class ISODcmObject;
class SOImageObject;

// The images of one study and the films they are laid out on. Owns its image objects and film
// boxes; the DICOM objects belong to the film control's data centre, which keeps them while any
// session (or its undo stack) may still show them. UI thread only, but for ExportFilms, which
// renders a snapshot taken on the UI thread.
class SOFilmSession : public ISOFilmSession, public ISOImageObjectCallback {
 public:
  SOFilmSession();
  SOFilmSession(const SOFilmSession&) = delete;
  SOFilmSession& operator=(const SOFilmSession&) = delete;
  ~SOFilmSession() override;

  int GetCopies() override { return copies_; }
  bool SetCopies(int copies) override;
  int GetPriority() override { return priority_; }
  void SetPriority(int priority) override { priority_ = priority; }
  int GetFilmBoxCount() override;
  ISOFilmBox* GetFilmBox(int index) override;
  int GetCurrentFilmBoxIndex() override { return current_; }
  ISOFilmBox* GetCurrentFilmBox() override;
  int GetImageBoxCount() override;
  ISOImageBox* GetImageBox(int index) override;
  void DeleteFilm() override;
  void DeleteImage() override;
  void RecoverFilm() override;
  bool SetDefaultImageLayout(int rows, int cols) override;
  void GetDefaultImageLayout(int* rows, int* cols) override;
  void SetImageLayout(int rows, int cols, bool allFilms) override;
  void SetDefaultOrientation(int orientation) override { defaultOrientation_ = orientation; }
  void SetHeaderVisible(bool visible) override;
  bool IsHeaderVisible() override { return headerVisible_; }
  void SetHeaderRatio(float ratio) override;
  bool ExportFilms(SODcmFile* out, bool allFilms, const char* caption) override;
  int GetFilmSize() override { return filmSize_; }
  void SetFilmSize(int id) override;
  bool SetDPI(int dpi) override;
  int GetDPI() override { return dpi_; }
  void SetOrientation(int orientation, bool allFilms) override;
  SOString GetTitle() override { return title_; }

  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) override;

  void RegisterCallback(ISOFilmSessionCallback* callback);
  void UnRegisterCallback(ISOFilmSessionCallback* callback);

  // Adds the object's first frame in its series' place (by instance number); an object already
  // shown (same SOP Instance UID) is rebound instead. Null for a null object.
  SOImageObject* AddImage(ISODcmObject* object);
  // Deals the images out over the films again, adding and removing films as needed.
  void Reflow();
  // keys: MK_SHIFT extends the selection to a range, MK_CONTROL adds to it.
  void SelectFilmBox(ISOFilmBox* filmBox, unsigned keys);
  void SelectImage(SOImageObject* image, unsigned keys);
  void ScrollFilms(int delta);

  const SOString& GetStudyInstanceUID() const { return studyUID_; }
  void SetStudyInstanceUID(const SOString& uid) { studyUID_ = uid; }
  void SetTitle(const SOString& title) { title_ = title; }
  int GetImageCount() const { return static_cast<int>(images_.size()); }
  SOImageObject* GetImage(int index) const;
  // Held by every export snapshot, so the DICOM objects outlive a session closed meanwhile.
  void SetObjectKeeper(std::shared_ptr<void> keeper) { keeper_ = std::move(keeper); }

  // A copy of what an export renders (all films or the current one); UI thread.
  std::unique_ptr<SOFilmSnapshot> TakeSnapshot(bool allFilms);

 private:
  void NotifyChanged();
  void RemoveFilmBoxAt(size_t index);
  // Takes the given images out of the list into one undo group and destroys them.
  void RemoveImages(const std::vector<SOImageObject*>& doomed);

  std::vector<ISOFilmSessionCallback*> callbacks_;
  int copies_ = 1;
  int priority_ = 2;
  std::vector<std::unique_ptr<SOFilmBox>> filmBoxes_;
  std::vector<std::unique_ptr<SOImageObject>> images_;
  std::vector<std::vector<ISODcmObject*>> undo_;
  int defaultRows_ = 6;
  int defaultCols_ = 4;
  int defaultOrientation_ = 1;
  int current_ = 0;
  SOString studyUID_;
  SOString title_;
  bool headerVisible_ = false;
  float headerRatio_ = 0.02f;
  int filmSize_ = 8;
  int dpi_ = 300;
  std::shared_ptr<void> keeper_;
};
