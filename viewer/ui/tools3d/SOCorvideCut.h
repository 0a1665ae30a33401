#pragma once

#include <vector>

#include "ISOCtrlPlugin.h"
#include "SOPoint.h"

// "CUT": a free contour drawn with the bound button; on release everything of the volume that
// projects inside it is removed. Contours of 3 points or fewer are dropped.
class SOCorvideCut : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "CUT"; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;

  const std::vector<SOPoint>& GetContour() const { return contour_; }

 private:
  IPluginHost* host_ = nullptr;
  bool drawing_ = false;
  std::vector<SOPoint> contour_;  // window coordinates
};
