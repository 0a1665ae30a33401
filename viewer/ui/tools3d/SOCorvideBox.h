#pragma once

#include "ISOCtrlPlugin.h"

class IVRBuilder;

// "3DBox": the engine's visible box as a wire frame over the rendering; dragging one of its
// front faces crops the volume along that face's axis. Off by default and silent in
// perspective mode.
class SOCorvideBox : public ISOCtrlPlugin {
 public:
  SOCorvideBox();

  bool IsAlwaysActive() override { return true; }
  const char* GetName() override { return "3DBox"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DrawBefore(HDC hdc, RECT rect) override;
  void Draw(HDC hdc, RECT rect) override;

  // 0 none, 1 an edge, 2 to 7 a face (x min, x max, y min, y max, z max, z min).
  int GetHover() const { return hover_; }
  // Stores what lies under (x, y); true when something does.
  bool HitTest(int x, int y);

 private:
  struct Corner {
    double patient[3] = {0, 0, 0};
    double screen[2] = {0, 0};
    bool visible = false;
  };
  struct Face {
    double normal[3];
    int corners[4];
    double centre[2] = {0, 0};  // screen
    bool front = false;
  };
  struct Edge {
    int a, b;
    bool visible = false;
  };

  IVRBuilder* Active();
  bool Layout();
  bool SetCursorForHover();
  void DragFace(IVRBuilder* builder, int x, int y);

  bool enabled_ = false;
  int hover_ = 0;
  IPluginHost* host_ = nullptr;
  int startX_ = 0, startY_ = 0, lastX_ = 0, lastY_ = 0;
  bool dragging_ = false;
  float box_[6] = {};     // x min, x max, y min, y max, z min, z max
  float bounds_[6] = {};  // the same for the whole volume
  bool laidOut_ = false;
  Corner corners_[8];
  Face faces_[6];
  Edge edges_[12];
};
