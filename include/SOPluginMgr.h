#pragma once

#include <memory>

#include "ISOCtrlPlugin.h"

// The tool plug-ins of one image window: owned, kept in drawing order, and fed with the
// window's mouse messages. Button bindings are kept by name and resolved again whenever a
// plug-in is added or removed, so they survive a plug-in's removal and return.
class SOPluginMgr {
 public:
  SOPluginMgr();
  SOPluginMgr(const SOPluginMgr&) = delete;
  SOPluginMgr& operator=(const SOPluginMgr&) = delete;
  ~SOPluginMgr();

  // Deletes every plug-in; the binding names stay.
  void Clear();
  bool AddPlugin(ISOCtrlPlugin* plugin);
  // Makes "OVERINFO", "ORIENT" or "RULER" when none of that name is present.
  bool AddPlugin(const char* name);
  // Does not resolve the bindings again.
  bool InsertPlugin(int index, ISOCtrlPlugin* plugin);
  bool RemovePlugin(ISOCtrlPlugin* plugin);
  bool RemovePlugin(const char* name);
  ISOCtrlPlugin* GetPlugin(const char* name);
  void SetPluginHost(IPluginHost* host);
  IPluginHost* GetPluginHost();

  // The left button also takes the graphic types "RECTANGLE", "ELLIPSE", "LENGTH", "ANGLE"
  // and "SLICES", which bind "GRAPHICS" in that drawing mode.
  void SetLButtonPlugin(const char* name);
  void SetRButtonPlugin(const char* name);
  void SetMButtonPlugin(const char* name);
  void SetWheelPlugin(const char* name);
  const char* GetLButtonPlugin();
  const char* GetRButtonPlugin();
  const char* GetMButtonPlugin();

  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void DrawBefore(HDC hdc, RECT rect);
  void Draw(HDC hdc, RECT rect);
  // To the plug-in of that name, or to every plug-in when name is null.
  void SetTextColor(unsigned long color, const char* name);
  void SetLineColor(unsigned long color, const char* name);
  void SetEnable(const char* name, bool enable);
  bool SetLocationLine(ISOImageObject* reference);

 private:
  struct Members;
  void Rebind();
  std::unique_ptr<Members> m_;
};

// The intersection of the line through p1 and p2 with the line through p3 and p4; false, out
// untouched, for parallel lines.
bool IntersectLines(const float p1[2], const float p2[2], const float p3[2], const float p4[2], float out[2]);
