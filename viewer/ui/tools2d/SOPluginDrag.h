#pragma once

#include "ISOCtrlPlugin.h"

// The press-drag-release protocol shared by the PAN, WW and ZOOM tools: a press starts the
// drag, moves are taken only while it lasts, and a release without a press is not taken.
class SOPluginDrag : public ISOCtrlPlugin {
 public:
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  HCURSOR GetCursor() override;

 protected:
  explicit SOPluginDrag(int cursorId) : cursorId_(cursorId) {}
  // One move of the drag, before last becomes (x, y).
  virtual void Drag(ISOImageObject* image, int x, int y) = 0;

  IPluginHost* host_ = nullptr;
  int lastX_ = 0, lastY_ = 0;
  int pressX_ = 0, pressY_ = 0;

 private:
  int cursorId_;
  bool dragging_ = false;
};

class SOPluginPan : public SOPluginDrag {
 public:
  SOPluginPan() : SOPluginDrag(104) {}
  const char* GetName() override { return "PAN"; }

 protected:
  void Drag(ISOImageObject* image, int x, int y) override;
};

class SOPluginWW : public SOPluginDrag {
 public:
  SOPluginWW() : SOPluginDrag(105) {}
  const char* GetName() override { return "WW"; }

 protected:
  void Drag(ISOImageObject* image, int x, int y) override;
};

class SOPluginZoom : public SOPluginDrag {
 public:
  SOPluginZoom() : SOPluginDrag(106) {}
  const char* GetName() override { return "ZOOM"; }

 protected:
  void Drag(ISOImageObject* image, int x, int y) override;
};
