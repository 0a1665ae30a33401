#pragma once

#include "ISOCtrlPlugin.h"

// "3DMPR": lays the MPR plane images into the volume rendering: in plain volume rendering all
// three on the far faces of the bounding box, in a clipped rendering the clipping plane's
// image on the cut face, behind the rendering when the face looks away and over it otherwise.
// The planes are the 3D window's. Off by default; draws nothing in perspective mode.
class SOCorvideMPR : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "3DMPR"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void DrawBefore(HDC hdc, RECT rect) override;
  void Draw(HDC hdc, RECT rect) override;

 private:
  // The render mode when the tool may draw, else -1; n the view direction.
  int Mode(double n[3]);
  void DrawPlanes(HDC hdc, int mode, const double n[3]);

  bool enabled_ = false;
  IPluginHost* host_ = nullptr;
};
