#pragma once

class ISOFilmBox;
class SOImageObject;

// One cell of a film: the image it shows (borrowed from the session), or null.
class ISOImageBox {
 public:
  virtual SOImageObject* GetImageObject() = 0;

 protected:
  ~ISOImageBox() = default;
};

// Told on the UI thread when a film's cells or images change, or its selection flips.
class ISOFilmBoxCallback {
 public:
  virtual void OnFilmBoxChanged(ISOFilmBox* filmBox) = 0;
  virtual void OnFilmBoxSelected(ISOFilmBox* filmBox) = 0;

 protected:
  ~ISOFilmBoxCallback() = default;
};

// One sheet of film: a grid of cells, a selection flag, an orientation (1 portrait,
// 2 landscape), a film size id (1..12) and a resolution in dots per inch.
class ISOFilmBox {
 public:
  // False unless both are at least 1; larger grids than the film can show are cut down.
  virtual bool SetLayout(int rows, int cols) = 0;
  virtual int GetImageBoxCount() = 0;
  virtual ISOImageBox* GetImageBox(int index) = 0;
  virtual int GetImageCount() = 0;
  virtual SOImageObject* GetImage(int index) = 0;
  virtual void SetSelected(bool selected) = 0;
  virtual bool IsSelected() = 0;
  virtual int GetOrientation() = 0;
  virtual void SetOrientation(int orientation) = 0;
  virtual int GetFilmSize() = 0;
  virtual int GetDPI() = 0;

 protected:
  ~ISOFilmBox() = default;
};
