#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ISOFilmBox.h"
#include "SOImageBox.h"
#include "SOWin32.h"

// One sheet of film of a session. The session owns the images, deals them out (SetImages)
// and writes the film size, resolution, header and page numbers; the film owns its cells.
// UI thread, except Render, which only reads and may run on any thread for a film no other
// thread touches (an export snapshot).
class SOFilmBox : public ISOFilmBox {
 public:
  // Cells beyond this many rows or columns are not made.
  static constexpr int kMaxLayout = 16;

  SOFilmBox();
  SOFilmBox(const SOFilmBox&) = delete;
  SOFilmBox& operator=(const SOFilmBox&) = delete;
  virtual ~SOFilmBox();

  bool SetLayout(int rows, int cols) override;
  int GetImageBoxCount() override;
  ISOImageBox* GetImageBox(int index) override;
  int GetImageCount() override;
  SOImageObject* GetImage(int index) override;
  void SetSelected(bool selected) override;
  bool IsSelected() override { return selected_; }
  int GetOrientation() override { return orientation_; }
  void SetOrientation(int orientation) override { orientation_ = orientation; }
  int GetFilmSize() override { return filmSize_; }
  int GetDPI() override { return dpi_; }

  void RegisterCallback(ISOFilmBoxCallback* callback);
  void UnRegisterCallback(ISOFilmBoxCallback* callback);

  // Cell k shows image k; cells past the last image stay empty.
  void SetImages(std::vector<SOImageObject*> images);
  const std::vector<SOImageObject*>& GetImages() const { return images_; }
  SOImageBox* GetCell(int index);

  void SetFilmSize(int id) { filmSize_ = id; }
  void SetDPI(int dpi) { dpi_ = dpi; }
  void SetHeaderVisible(bool visible) { headerVisible_ = visible; }
  bool IsHeaderVisible() const { return headerVisible_; }
  void SetHeaderRatio(float ratio) { headerRatio_ = ratio; }
  float GetHeaderRatio() const { return headerRatio_; }
  void SetPageNumber(int number, int count);
  int GetPageNumber() const { return pageNumber_; }
  int GetPageCount() const { return pageCount_; }

  // A film with the same cells, flags and page numbers showing the given images (one per
  // cell), for rendering apart from this one; no callbacks.
  std::unique_ptr<SOFilmBox> CloneWith(std::vector<SOImageObject*> images) const;

  // Renders the film into width x height 8-bit grey pixels (portrait sense; a landscape film
  // is composed on a turned canvas and stored turned back). False, out untouched, when the
  // size is empty or outSize is too small. drawn, when given, hears of each image once its
  // cell is drawn.
  bool Render(int width, int height, unsigned char* out, long long outSize, const char* caption,
              const std::function<void(SOImageObject*)>& drawn = {});

  // The patient line and "page n/m" over a black band.
  void DrawHeader(HDC hdc, int left, int top, int right, int bottom);

 private:
  void NotifyChanged();

  std::vector<ISOFilmBoxCallback*> callbacks_;  // the film box windows showing this film
  std::vector<std::unique_ptr<SOImageBox>> cells_;
  std::vector<SOImageObject*> images_;  // borrowed from the session
  bool selected_ = false;
  int orientation_ = 1;
  int filmSize_ = 8;
  int dpi_ = 300;
  bool headerVisible_ = false;
  float headerRatio_ = 0.02f;
  int pageNumber_ = 0;
  int pageCount_ = 0;
};
