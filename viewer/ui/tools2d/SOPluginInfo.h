#pragma once

#include <string>
#include <vector>

#include "SOGdiPlus.h"

#include "ISOCtrlPlugin.h"

class ISODcmObject;
class ISOImageObject;

// "OVERINFO": the four corner texts of the configuration and, while the pointer is over the
// image, a line with its pixel position and value above the bottom-left block.
class SOPluginInfo : public ISOCtrlPlugin {
 public:
  bool IsAlwaysActive() override { return true; }
  const char* GetName() override { return "OVERINFO"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;
  void SetTextColor(unsigned long color) override { color_ = color; }

  // One corner's text (0 top left, 1 bottom left, 2 top right, 3 bottom right); lines are
  // separated by "\n\r".
  static std::wstring FormatCornerText(int corner, ISOImageObject* image, int imageIndex, bool hidePatientData);
  const std::wstring& GetPointerText() const { return pointer_; }
  // The widths the left and right blocks of one edge of a box `width` wide may take, `gap`
  // apart; on entry left and right hold what they need. Both keep it when it fits; otherwise a
  // block needing at most half keeps it and the other takes the rest, or each takes half.
  static void ShareEdge(float width, float gap, float& left, float& right);

 protected:
  // The text size in pixels for the draw rectangle r; 0 when there is none.
  float TextSize(HDC hdc, RECT r);
  // The four corner blocks in r, the bottom-left one ending lift pixels above r's bottom.
  void DrawCorners(HDC hdc, RECT r, int lift);

  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
  unsigned long color_ = 0xFFFFEC8B;

 private:
  // What the corner texts were last built from: they are rebuilt only when it changes.
  struct Source {
    ISOImageObject* image = nullptr;
    ISODcmObject* object = nullptr;
    int index = 0;
    bool hide = false;
    double center = 0, width = 0;
    bool operator==(const Source&) const = default;
  };

  // The widest line of text at a text size, as last measured.
  struct Measured {
    float size;
    std::wstring text;
    float width;
  };
  // Characters in the longest line of a text.
  static size_t LongestLine(const std::wstring& text);
  float TextWidth(Gdiplus::Graphics& g, const Gdiplus::Font& font, float size, const std::wstring& text);

  Source built_;
  std::vector<Measured> measured_;
  std::wstring corners_[4];
  std::wstring pointer_;
};
