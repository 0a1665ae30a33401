#pragma once

#include <string>

#include "ISOCtrlPlugin.h"
#include "SOMatrix2R2C.h"

// "ORIENT": the patient directions of the image's left and bottom edges (R, L, A, P, H, F),
// following the view's turns and mirrors.
class SOPluginOrient : public ISOCtrlPlugin {
 public:
  const char* GetName() override { return "ORIENT"; }
  void SetEnable(bool enable) override { enabled_ = enable; }
  void SetHost(IPluginHost* host) override { host_ = host; }
  void Draw(HDC hdc, RECT rect) override;

  // The labels for an Image Orientation (Patient) seen through the view matrix.
  static void Labels(const double orientation[6], const SOMatrix2R2C& view, std::string& left, std::string& bottom);

 private:
  bool enabled_ = true;
  IPluginHost* host_ = nullptr;
};
