#pragma once

#include <cmath>
#include <vector>

#include "ISOGraphic.h"
#include "SOHitRegion.h"
#include "SOPoint.h"

// The common base of the measurement graphics: description, hit testing, the mouse state
// machine, handles, label and title. Control points are image coordinates; hit regions are
// screen coordinates, rebuilt before every draw. Belongs to the UI thread.
class SOGraphic : public ISOGraphic {
 public:
  static constexpr uint32_t kShadowColor = 0x80000000;  // pen width 3, drawn first
  static constexpr uint32_t kLineColor = 0xFF00FF00;    // pen width 1, drawn over it

  SOGraphic(const char* type, int handleCount);
  SOGraphic(const SOGraphic&) = delete;
  SOGraphic& operator=(const SOGraphic&) = delete;

  SOString* GetType() override { return &data_.type; }
  SOArray<SOPointF>* GetPoints() override { return &data_.points; }
  bool SetPoints(const SOArray<SOPointF>& points) override;
  SOString* GetTitle() override { return &data_.title; }
  void SetTitle(const char* title) override;
  SOGraphicValues* GetValues() override { return &data_.values; }
  SOGraphicData* GetData() override { return &data_; }
  void SetImageObject(ISOImageObject* imageObject) override;
  bool SetData(const SOGraphicData& data) override;
  bool CheckType(const char* type) override { return data_.type == type; }
  void OnDragStart(int part, int handle, float startX, float startY) override {}
  void OnDragEnd(int part, int handle, float startX, float startY) override {}
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DrawTitle(HDC hdc) override;
  void DrawLabel(HDC hdc) override;

  void Draw(HDC hdc);
  void SetGraphicWindow(ISOGraphicWindow* window);
  bool HitTest(int x, int y);
  bool SetHoverCursor();

  bool IsSelected() const { return selected_; }
  void SetSelected(bool selected) { selected_ = selected; }
  bool IsVisible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  int GetPart() const { return part_; }
  int GetHandle() const { return handle_; }
  const SORectI& GetLabelRect() const { return labelRect_; }
  const SOString& GetLabel() const { return label_; }
  std::vector<ISOGraphicObjectCallback*>& ObjectCallbacks() { return objectCallbacks_; }

 protected:
  // Every Calculate starts here: count 0, length, angle and area 0, max, min and sd -10000.
  void ResetValues();
  // Asks the window to repaint; nothing without one.
  void RepaintWindow();
  bool ToScreen(const SOPointF& image, SOPointF& screen);
  SOPointF ToImage(const SOPointF& screen);
  // Tells the object callbacks that the description changed.
  void NotifyChanged();
  // The label anchor: where the label goes when placed automatically (and the label position
  // follows it), else the dragged label position on screen.
  void PlaceLabel(int x, int y, int horizontal, int vertical);
  // Pixel spacing and size of the attached image, when it can be measured on.
  bool CanMeasure(const double*& spacing);
  void SetHandle(int index, SOPointF screen);
  // Starts a drag of part/handle without a button-down hit (the measurement tool's drawing).
  void BeginDrag(int part, int handle);
  // out = the description with the points moved by move(points); false, leaving out alone,
  // for a step below 0.005 in both directions.
  template <typename MovePoints>
  bool MovedData(float dx, float dy, SOGraphicData* out, MovePoints move) {
    if (std::fabs(dx) < 0.005f && std::fabs(dy) < 0.005f) return false;
    out->type = data_.type;
    out->title = data_.title;
    out->points = data_.points;
    out->values = data_.values;
    move(out->points);
    return true;
  }
  static void DrawSegments(HDC hdc, const std::vector<SOPointF>& ends, bool antiAlias);

  SOGraphicData data_;
  ISOImageObject* imageObject_ = nullptr;
  ISOGraphicWindow* window_ = nullptr;
  SOString label_;
  SOHitRegion body_;
  SOHitRegion turn_;
  SOPoint titleAnchor_;
  bool autoLabel_ = true;

 private:
  bool selected_ = false;
  bool visible_ = true;
  int part_ = SOGraphicPartNone;
  int handle_ = 0;
  SORectI labelRect_;
  std::vector<SORectI> handles_;
  SOPointF labelPos_;
  SOPoint labelAnchor_;
  int labelHorizontal_ = 0;  // 0 text starts at the anchor, 1 ends there, 2 centred
  int labelVertical_ = 1;    // 0 text ends at the anchor, 1 starts there, 2 centred
  bool dragging_ = false;
  SOPointF dragStart_;
  SOPointF dragLast_;
  std::vector<ISOGraphicObjectCallback*> objectCallbacks_;
};
