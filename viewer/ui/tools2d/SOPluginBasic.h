#pragma once

#include <string>

#include "ISOCtrlPlugin.h"
#include "SOPoint3F.h"
#include "SOToolKinds.h"

// "VALUE": while the button is down, the stored value of the pixel under the pointer.
class SOPluginValue : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "VALUE"; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;
  HCURSOR GetCursor() override;
  // The text for image pixel (ix, iy); empty outside the image or without pixels.
  static std::wstring ValueText(ISOImageObject* image, int ix, int iy);

 private:
  IPluginHost* host_ = nullptr;
  bool pressed_ = false;
  int x_ = 0, y_ = 0;
};

// "RULER": a 10 or 5 cm scale at the right edge of the image.
class SOPluginRuler : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "RULER"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void Draw(HDC hdc, RECT rect) override;
  void SetLineColor(unsigned long color) override { tickColor_ = spineColor_ = color; }

  // The scale for a drawing rectangle of height pixels showing mm millimetres: pixels per
  // centimetre and the number of centimetres shown; false when nothing is to be drawn.
  static bool Scale(int height, double mm, double& pixelsPerCm, int& ticks);

 private:
  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
  unsigned long tickColor_ = 0xFFFF6464;
  unsigned long spineColor_ = 0xFFFF1F1F;
};

// "OVERLAY": the image's overlay planes, turned, flipped and panned like the image.
class SOPluginOverlay : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "OVERLAY"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void Draw(HDC hdc, RECT rect) override;

 private:
  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
};

// "LOC": where a reference image's plane cuts the shown image, for planes close to
// perpendicular.
class SOPluginLoc : public ISOCtrlPlugin, public ISOLocationTool {
 public:
  const char* GetName() override { return "LOC"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void Draw(HDC hdc, RECT rect) override;
  bool SetLocationLine(ISOImageObject* reference) override;

  // The line's ends in image pixels of image; false when no line is drawn there.
  bool LineOn(ISOImageObject* image, SOPointF& from, SOPointF& to) const;

 private:
  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
  std::string study_;
  std::string frameOfReference_;
  SOPoint3F normal_{};
  SOPoint3F corners_[4]{};
};
