#pragma once

#include "ISOCtrlPlugin.h"

class IVRBuilder;

// The VR builder a 3D tool works on: its host's user data 0.
IVRBuilder* HostVRBuilder(IPluginHost* host);

// The drag protocol of the 3D window's ROTATE, WW and ZOOM tools: a press sets the builder
// interacting (quarter-size renderings without GPU, phase rendering stopped), the moves step,
// and the release, or the capture going elsewhere, renders once at full size.
class SOCorvideDrag : public ISOCtrlPlugin {
 public:
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  // One move of the drag, before last becomes (x, y).
  virtual void Step(IVRBuilder* builder, int x, int y) = 0;

  IPluginHost* host_ = nullptr;
  bool dragging_ = false;
  int lastX_ = 0, lastY_ = 0;
  int startX_ = 0, startY_ = 0;

 private:
  void EndDrag();
};

// Turns the volume about one axis per move: a drag across the view's shorter side is a
// whole turn.
class SOCorvideRotate : public SOCorvideDrag {
 public:
  const char* GetName() override { return "ROTATE"; }

 protected:
  void Step(IVRBuilder* builder, int x, int y) override;
};

// Shifts the colour transfer function by the vertical movement (colour rendering only).
class SOCorvideWW : public SOCorvideDrag {
 public:
  const char* GetName() override { return "WW"; }

 protected:
  void Step(IVRBuilder* builder, int x, int y) override;
};

// One zoom step per move (up zooms in); the wheel zooms as well.
class SOCorvideZoom : public SOCorvideDrag {
 public:
  const char* GetName() override { return "ZOOM"; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void Step(IVRBuilder* builder, int x, int y) override;
};
