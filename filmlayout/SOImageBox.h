#pragma once

#include <map>

#include "ISOFilmBox.h"
#include "SOWin32.h"

class SOImageObject;

// One cell of a film: where it lies on the film's image area (fractions), the image it shows
// and, while it is drawn, its rectangle on the canvas. It answers the corner-text, orientation
// and ruler tools as their host when a film is rendered.
class SOImageBox : public ISOImageBox {
 public:
  SOImageBox() = default;
  SOImageBox(const SOImageBox&) = delete;
  SOImageBox& operator=(const SOImageBox&) = delete;

  SOImageObject* GetImageObject() override { return image_; }
  void SetImageObject(SOImageObject* image) { image_ = image; }

  void SetPlace(float x, float y, float width, float height);
  float GetX() const { return x_; }
  float GetY() const { return y_; }
  float GetWidth() const { return width_; }
  float GetHeight() const { return height_; }

  // Draws the image (or black without one) into rect of a canvas of the given size.
  void Draw(HDC hdc, const RECT& rect, int deviceWidth, int deviceHeight);

  RECT GetScreenRect() const { return rect_; }
  bool GetDeviceSize(int& cx, int& cy) const;
  // Points of the overlay text: its pixel height follows the cell's share of the film height,
  // at the fixed 96 DPI of the film canvas, so films look the same on every screen.
  bool GetFontSize(float& points) const;
  void* GetUserData(int key) const;
  void SetUserData(int key, void* data);
  // Instance Number - 1 of the image's object; 0 without one.
  int GetImageObjectIndex() const;

 private:
  SOImageObject* image_ = nullptr;  // borrowed from the session
  float x_ = 0, y_ = 0, width_ = 1, height_ = 1;
  RECT rect_{};
  int deviceWidth_ = 0, deviceHeight_ = 0;
  std::map<int, void*> userData_;
};
