#pragma once

#include <memory>
#include <string>

#include "ISOCtrlPlugin.h"
#include "ISOGraphic.h"
#include "SOToolKinds.h"

class SOGraphic;
class SOGraphicMgr;

// "GRAPHICS": connects the measurement graphics of the shown image to its window, routes the
// mouse and Delete key to them, and draws a new graphic of the left button's drawing type.
class SOPluginGraphic : public ISOCtrlPlugin,
                        public ISOGraphicWindow,
                        public IPluginHostCallback,
                        public ISOGraphicTool {
 public:
  SOPluginGraphic();
  ~SOPluginGraphic() override;

  const char* GetName() override { return "GRAPHICS"; }
  void SetHost(IPluginHost* host) override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Draw(HDC hdc, RECT rect) override;
  HCURSOR GetCursor() override;

  void UpdateWindow() override;
  bool ImageToScreenCoords(const SOPointF& image, SOPointF& screen) override;
  bool ScreenToImageCoords(const SOPointF& screen, SOPointF& image) override;

  void OnImageObjectChangedEvent(ISOImageObject* image) override;
  void SetGraphicType(const char* type) override { type_ = type ? type : ""; }
  const std::string& GetGraphicType() const { return type_; }

 private:
  void Attach(ISOImageObject* image);
  void Detach();
  SOGraphicMgr* Manager() const;
  void FinishStep(int x, int y);
  bool StartDrawing(UINT msg, WPARAM wParam, LPARAM lParam);

  IPluginHost* host_ = nullptr;
  ISOImageObject* image_ = nullptr;
  std::string type_;
  std::unique_ptr<SOGraphic> drawn_;  // owned until the drawing ends
};
