#pragma once

#include <map>

#include "ISOCtrlPlugin.h"
#include "ISOFilmBox.h"
#include "SOWin32.h"

class SOImageObject;
struct SORectF;

// One cell of a film: where it lies on the film's image area (fractions), the image it shows
// and, while it is drawn, its rectangle on the canvas. It answers the corner-text, orientation
// and ruler tools as their host when a film is rendered.
class SOImageBox : public ISOImageBox, public IPluginHost {
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

  // Draws the image (or black without one) with its corner texts, orientation labels and ruler
  // into rect of a canvas of the given size.
  void Draw(HDC hdc, const RECT& rect, int deviceWidth, int deviceHeight);

  // IPluginHost: a cell has no window; its "screen" is the film canvas.
  HWND GetHostWnd() override { return nullptr; }
  void UpdateHostWnd() override {}
  ISOImageObject* GetDataObject() override;
  ISOImageWnd* GetImageWnd() override { return nullptr; }
  RECT GetScreenRect() override { return rect_; }
  void UpdateScreen() override {}
  bool ScreenToImageCoords(const double* in, double* out) override;
  bool ScreenToImageCoords(const SOPointF& in, SOPointF& out) override;
  bool ImageToScreenCoords(const double* in, double* out) override;
  bool ImageToScreenCoords(const SOPointF& in, SOPointF& out) override;
  void RegisterHostCallback(IPluginHostCallback*) override {}
  void UnRegisterHostCallback(IPluginHostCallback*) override {}
  bool GetDeviceSize(int& cx, int& cy) override;
  // Points of the overlay text: its pixel height follows the cell's share of the film height,
  // at the fixed 96 DPI of the film canvas, so films look the same on every screen.
  bool GetFontSize(float& points) override;
  void* GetUserData(int key) override;
  void SetUserData(void* data, int key) override;
  // Instance Number - 1 of the image's object; 0 without one.
  int GetImageObjectIndex() override;

 private:
  SORectF RenderRect() const;

  SOImageObject* image_ = nullptr;  // borrowed from the session
  float x_ = 0, y_ = 0, width_ = 1, height_ = 1;
  RECT rect_{};
  int deviceWidth_ = 0, deviceHeight_ = 0;
  std::map<int, void*> userData_;
};
