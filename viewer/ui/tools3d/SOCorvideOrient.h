#pragma once

#include "ISOCtrlPlugin.h"

// "3DOrient": a small cube in the lower right corner of the 3D view with the letters H, F, A,
// P, R and L on its faces, turned like the volume.
class SOCorvideOrient : public ISOCtrlPlugin {
 public:
  static constexpr int kSide = 100;  // the cube image's side in pixels

  const char* GetName() override { return "3DOrient"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void Draw(HDC hdc, RECT rect) override;

  // Where the cube goes in the draw rectangle r.
  static RECT CubeRect(RECT r) { return RECT{r.right - 120, r.bottom - 140, r.right - 20, r.bottom - 40}; }

 private:
  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
};
